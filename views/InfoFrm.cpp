#include "views/InfoFrm.h"

#include "ui_InfoFrm.h"

#include "views/DataAware.h"

TfrmInfo::TfrmInfo(DataSource *source, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TfrmInfo>())
{
    ui->setupUi(this);
    new DbFieldLinks(source, this);
}

TfrmInfo::~TfrmInfo() = default;
