#include "app/Mainfrm.h"

#include "ui_Mainfrm.h"

#include "app/ErrorHandler.h"
#include "app/Maker.h"
#include "app/UrlOpener.h"
#include "data/DataSource.h"
#include "data/DatabaseLocation.h"
#include "data/JetLoader.h"
#include "data/Query.h"
#include "data/Search.h"
#include "views/AboutFrm.h"
#include "views/DataAware.h"
#include "views/InfoFrm.h"
#include "views/QRepFrm.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProgressDialog>

using ErrorHandler::handler;

namespace {

// Shows the wait cursor while a statement runs on the interface thread.
class WaitCursor final
{
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

} // namespace

TfrmMain::TfrmMain(const QString &databasePath, QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TfrmMain>()),
      AdoQuery(new Query(&ADOConnection1, this)), DataSource1(new DataSource(AdoQuery, this)),
      m_databasePath(databasePath)
{
    ui->setupUi(this);

    // The grid's columns and their widths are settings of the layout.
    m_gridModel =
        new DbGridModel(DataSource1, ui->DBGrid1->property("dataFields").toStringList(), this);
    ui->DBGrid1->setModel(m_gridModel);
    const QStringList widths = ui->DBGrid1->property("columnWidths").toString().split(u',');
    for (int column = 0; column < widths.size(); ++column)
        ui->DBGrid1->setColumnWidth(column, widths[column].toInt());
    ui->DBGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ui->DBGrid1->verticalHeader()->setFixedWidth(22);
    ui->DBGrid1->verticalHeader()->setDefaultAlignment(Qt::AlignCenter);

    connect(ui->btnSearch, &QPushButton::clicked, this, handler(this, &TfrmMain::btnSearchClick));
    connect(AdoQuery, &Query::afterScroll, this, handler(this, &TfrmMain::AdoQueryAfterScroll));
    connect(ui->DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            handler(this, &TfrmMain::DBGrid1CurrentChanged));
    connect(DataSource1, &DataSource::recordChanged, this,
            handler(this, &TfrmMain::DataSource1RecordChanged));
    connect(ui->menuFile_Report, &QAction::triggered, this,
            handler(this, &TfrmMain::menuFile_ReportClick));
    connect(ui->menuHelp_About, &QAction::triggered, this,
            handler(this, &TfrmMain::menuHelp_AboutClick));
    connect(ui->N5, &QAction::triggered, this, handler(this, &TfrmMain::N5Click));
    connect(ui->N6, &QAction::triggered, this, handler(this, &TfrmMain::N6Click));
    ui->DBGrid1->viewport()->installEventFilter(this);
    ui->DBGrid1->installEventFilter(this);
    ui->lblWebsite->installEventFilter(this);
    ui->bsSkinPanel1->installEventFilter(this);

    // Reading an original Jet file can take a while, at start-up or when a
    // search reconnects: the loader reports here.
    JetLoader::setDefaultProgressHandler(
        [this](qint64 done, qint64 total) { return showLoadProgress(done, total); });

    ErrorHandler::dispatch([this] { FormCreate(); });
}

TfrmMain::~TfrmMain()
{
    JetLoader::setDefaultProgressHandler({});
}

bool TfrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->DBGrid1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        ErrorHandler::dispatch([this] { DBGrid1DblClick(); });
    } else if (watched == ui->lblWebsite && event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        ErrorHandler::dispatch([this] { lblWebsiteClick(); });
        return true;
    } else if (watched == ui->DBGrid1 && event->type() == QEvent::KeyPress) {
        // Ctrl+Home and Ctrl+End go to the first and last company, staying
        // in the column the user is reading.
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() == Qt::ControlModifier &&
            (key->key() == Qt::Key_Home || key->key() == Qt::Key_End)) {
            ErrorHandler::dispatch([this, key] {
                if (AdoQuery->recordCount() > 0)
                    AdoQuery->moveTo(key->key() == Qt::Key_Home ? 0 : AdoQuery->recordCount() - 1);
            });
            return true;
        }
    } else if (watched == ui->bsSkinPanel1 && event->type() == QEvent::Resize) {
        ErrorHandler::dispatch([this] { bsSkinPanel1Resize(); });
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::FormCreate()
{
    const QString connectionString =
        DatabaseLocation::connectionString(m_databasePath, DatabaseLocation::password);
    ADOConnection1.close();
    ADOConnection1.setConnectionString(connectionString);
    {
        WaitCursor busy;
        ADOConnection1.open();
    }
    ui->lblWebsite->setText(Maker::webAddress);
}

void TfrmMain::btnSearchClick()
{
    const SearchCriteria criteria{ui->edtTradeCode->text(), ui->edtSell->text(),
                                  ui->edtComName->text(),   ui->edtTrade->text(),
                                  ui->edtCity->text(),      ui->edtAddr->text()};
    if (!criteria.hasAny())
        return;
    WaitCursor busy;
    const std::optional<qint64> total = runSearch(ADOConnection1, *AdoQuery, criteria);
    if (total && *total >= 0)
        ui->span2->setText(totalText(*total));
}

void TfrmMain::AdoQueryAfterScroll()
{
    ui->span1->setText(QStringLiteral("当前记录：%1").arg(AdoQuery->recNo()));
}

void TfrmMain::DBGrid1DblClick()
{
    if (m_info && AdoQuery->isOpen() && AdoQuery->recordCount() > 0) {
        m_info->show();
        m_info->raise();
        m_info->activateWindow();
    }
}

// The grid's current row and the row set's current record are one.
void TfrmMain::DBGrid1CurrentChanged()
{
    const QModelIndex current = ui->DBGrid1->currentIndex();
    if (current.isValid())
        AdoQuery->moveTo(current.row());
}

void TfrmMain::DataSource1RecordChanged()
{
    const int row = AdoQuery->currentRow();
    if (row < 0 || ui->DBGrid1->currentIndex().row() == row)
        return;
    const int column = qMax(0, ui->DBGrid1->currentIndex().column());
    ui->DBGrid1->setCurrentIndex(m_gridModel->index(row, column));
}

// The search button keeps its distance from the panel's right edge.
void TfrmMain::bsSkinPanel1Resize()
{
    const int rightAnchor = ui->btnSearch->property("rightAnchor").toInt();
    ui->btnSearch->move(ui->bsSkinPanel1->width() - rightAnchor - ui->btnSearch->width(),
                        ui->btnSearch->y());
}

void TfrmMain::menuFile_ReportClick()
{
    DisabledControls suspended(DataSource1);
    TfrmQRep report(AdoQuery, this);
    report.preview();
}

void TfrmMain::menuHelp_AboutClick()
{
    TfrmAbout about(this);
    about.exec();
}

void TfrmMain::N5Click()
{
    OpenWebsite();
}

void TfrmMain::N6Click()
{
    OpenHelpManual();
}

void TfrmMain::lblWebsiteClick()
{
    OpenWebsite();
}

bool TfrmMain::showLoadProgress(qint64 done, qint64 total)
{
    if (!m_loadProgress) {
        m_loadProgress = std::make_unique<QProgressDialog>(
            QStringLiteral("正在读取数据库，请稍候…"), QStringLiteral("取消"), 0, 0, this);
        m_loadProgress->setWindowTitle(windowTitle());
        m_loadProgress->setWindowModality(Qt::ApplicationModal);
        m_loadProgress->setMinimumDuration(500);
        m_loadProgress->setAutoReset(false);
        m_loadProgress->setAutoClose(false);
    }
    const int scale = total > 0 ? 1000 : 0;
    m_loadProgress->setMaximum(scale);
    m_loadProgress->setValue(total > 0 ? int(qMin(done, total) * scale / total) : 0);
    const bool cancelled = m_loadProgress->wasCanceled();
    if (cancelled || (total > 0 && done >= total))
        m_loadProgress.reset();
    return !cancelled;
}

void TfrmMain::OpenWebsite()
{
    urlOpener().open(QUrl(Maker::webAddress));
}

void TfrmMain::OpenHelpManual()
{
    urlOpener().open(helpManualUrl(QCoreApplication::applicationDirPath()));
}
