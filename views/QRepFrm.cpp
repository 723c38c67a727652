#include "views/QRepFrm.h"

TfrmQRep::TfrmQRep(Query *dataSet, QWidget *parent) : QWidget(parent), m_dataSet(dataSet) {}

void TfrmQRep::preview() {}
