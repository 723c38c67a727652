#include "app/Mainfrm.h"

#include "ui_Mainfrm.h"

#include "data/DataSource.h"
#include "data/Query.h"

TfrmMain::TfrmMain(QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TfrmMain>()),
      AdoQuery(new Query(&ADOConnection1, this)), DataSource1(new DataSource(AdoQuery, this))
{
    ui->setupUi(this);
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::OpenWebsite() {}
void TfrmMain::OpenHelpManual() {}
void TfrmMain::FormCreate() {}
void TfrmMain::btnSearchClick() {}
void TfrmMain::AdoQueryAfterScroll() {}
void TfrmMain::DBGrid1DblClick() {}
void TfrmMain::menuFile_ReportClick() {}
void TfrmMain::menuHelp_AboutClick() {}
void TfrmMain::N5Click() {}
void TfrmMain::N6Click() {}
void TfrmMain::lblWebsiteClick() {}
