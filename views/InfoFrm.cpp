#include "views/InfoFrm.h"

#include "ui_InfoFrm.h"

TfrmInfo::TfrmInfo(DataSource *, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfrmInfo>())
{
    ui->setupUi(this);
}

TfrmInfo::~TfrmInfo() = default;
