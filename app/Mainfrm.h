#pragma once

#include "data/Connection.h"
#include "data/DatabaseLocation.h"

#include <QMainWindow>

#include <memory>

namespace Ui {
class TfrmMain;
}

class DataSource;
class DbGridModel;
class QProgressDialog;
class Query;
class TfrmInfo;

// The main window: the criteria, the result grid, the status bar and the menu.
class TfrmMain final : public QMainWindow
{
    Q_OBJECT

public:
    // The database is the program's own; tests hand in theirs.
    explicit TfrmMain(const QString &databasePath = DatabaseLocation::databasePath(),
                      QWidget *parent = nullptr);
    ~TfrmMain() override;

    // The detail window, shown by a double-click on the grid.
    void setInfoWindow(TfrmInfo *info) { m_info = info; }

    Connection &connection() { return ADOConnection1; }
    Query *query() const { return AdoQuery; }
    DataSource *dataSource() const { return DataSource1; }

    void OpenWebsite();
    void OpenHelpManual();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void btnSearchClick();
    void AdoQueryAfterScroll();
    void DBGrid1DblClick();
    void DBGrid1CurrentChanged();
    void DataSource1RecordChanged();
    void bsSkinPanel1Resize();
    void menuFile_ReportClick();
    void menuHelp_AboutClick();
    void N5Click();
    void N6Click();
    void lblWebsiteClick();
    bool showLoadProgress(qint64 done, qint64 total);

    std::unique_ptr<Ui::TfrmMain> ui;
    Connection ADOConnection1;
    Query *AdoQuery;
    DataSource *DataSource1;
    DbGridModel *m_gridModel;
    TfrmInfo *m_info = nullptr;
    QString m_databasePath;
    std::unique_ptr<QProgressDialog> m_loadProgress;
};
