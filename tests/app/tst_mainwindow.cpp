// The main window and the detail window, driven as a user would.

#include "app/ErrorHandler.h"
#include "app/Mainfrm.h"
#include "data/JetLoader.h"
#include "data/Query.h"
#include "data/Sqlite.h"
#include "views/InfoFrm.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "TestStores.h"

namespace {

struct Company
{
    const char *province;
    const char *name;
    const char *scope;
};

const Company companies[] = {
    {"广东省", "深圳华光电子有限公司", "电子产品 Software 开发"},
    {"广西壮族自治区", "南宁绿源食品有限公司", "食品加工"},
    {"江苏省", "苏州精密电子（中国）有限公司", "精密零件"},
    {"广东省", "广州O'Neil贸易有限公司", "货物进出口"},
};

QString makeStore(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("zoradu.dll"));
    SqliteDatabase db = SqliteDatabase::openForWriting(path);
    createEnterpriseTable(db, {QStringLiteral("注册资本")});
    SqliteStatement insert(db.handle(),
                           "INSERT INTO 外商 VALUES (?1, ?2, ?3, ?4, ?5, 'C3911', '518000', "
                           "'计算机制造', '0755-1', NULL, '100万美元')");
    int n = 0;
    for (const Company &c : companies) {
        insert.bind(1, QStringLiteral("WS%1").arg(++n));
        insert.bind(2, QString::fromUtf8(c.province));
        insert.bind(3, QString::fromUtf8(c.name));
        insert.bind(4, QStringLiteral("示例路%1号").arg(n));
        insert.bind(5, QString::fromUtf8(c.scope));
        insert.step();
        insert.reset();
    }
    return path;
}

} // namespace

class TestMainWindow final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void searchFillsGridAndStatus();
    void blankCriteriaChangeNothing_data();
    void blankCriteriaChangeNothing();
    void enterDoesNotSearch();
    void doubleClick_data();
    void doubleClick();
    void movingUpdatesStatusAndDetailAtOnce();
    void emptyResultKeepsCurrentRecordText();
    void startupFailureShowsOneErrorThenWindow();
    void jetFileWithWrongPassword();
    void fullStopRule_data();
    void fullStopRule();
    void resizeKeepsAnchors();

private:
    void setEdit(const char *name, const QString &text);
    void search();
    QString text(const char *label) const;
    QString detail(const char *field) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TfrmMain> m_main;
    TfrmInfo *m_info = nullptr;
    QStringList m_errors;
};

void TestMainWindow::init()
{
    m_errors.clear();
    ErrorHandler::setPresenter([this](const QString &, const QString &text) { m_errors << text; });
    m_dir = std::make_unique<QTemporaryDir>();
    m_main = std::make_unique<TfrmMain>(makeStore(*m_dir));
    m_info = new TfrmInfo(m_main->dataSource(), m_main.get());
    m_main->setInfoWindow(m_info);
    m_main->resize(1000, 600);
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
}

void TestMainWindow::cleanup()
{
    m_main.reset();
    m_dir.reset();
    ErrorHandler::resetPresenter();
}

void TestMainWindow::setEdit(const char *name, const QString &text)
{
    auto *edit = m_main->findChild<QLineEdit *>(QLatin1String(name));
    QVERIFY(edit);
    edit->setText(text);
}

void TestMainWindow::search()
{
    QTest::mouseClick(m_main->findChild<QPushButton *>(QStringLiteral("btnSearch")),
                      Qt::LeftButton);
}

QString TestMainWindow::text(const char *label) const
{
    return m_main->findChild<QLabel *>(QLatin1String(label))->text();
}

QString TestMainWindow::detail(const char *field) const
{
    QWidget *widget = m_info->findChild<QWidget *>(QLatin1String(field));
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        return edit->text();
    return qobject_cast<QPlainTextEdit *>(widget)->toPlainText();
}

void TestMainWindow::searchFillsGridAndStatus()
{
    QCOMPARE(text("lblWebsite"), QStringLiteral("https://kelvarn.example.com"));
    QVERIFY(text("span1").isEmpty());
    setEdit("edtCity", QStringLiteral("广"));
    search();
    auto *grid = m_main->findChild<QTableView *>(QStringLiteral("DBGrid1"));
    QCOMPARE(grid->model()->rowCount(), 3);
    QCOMPARE(grid->model()->columnCount(), 9);
    QCOMPARE(grid->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("公司名称"));
    QCOMPARE(grid->columnWidth(3), 400);
    QCOMPARE(grid->currentIndex().row(), 0);
    QCOMPARE(text("span1"), QStringLiteral("当前记录：1"));
    QCOMPARE(text("span2"), QStringLiteral("总记录：3"));
    QVERIFY(text("span3").isEmpty());
    QVERIFY(m_errors.isEmpty());
}

void TestMainWindow::blankCriteriaChangeNothing_data()
{
    QTest::addColumn<QString>("criterion");
    QTest::newRow("empty") << QString();
    QTest::newRow("spaces") << QStringLiteral("   ");
    QTest::newRow("tabs and line breaks") << QStringLiteral("\t \r\n");
}

void TestMainWindow::blankCriteriaChangeNothing()
{
    QFETCH(QString, criterion);
    setEdit("edtComName", QStringLiteral("电子"));
    search();
    QCOMPARE(text("span2"), QStringLiteral("总记录：2"));
    QTest::keyClick(m_main->findChild<QTableView *>(QStringLiteral("DBGrid1")), Qt::Key_Down);
    QCOMPARE(text("span1"), QStringLiteral("当前记录：2"));

    for (const char *edit :
         {"edtComName", "edtSell", "edtTradeCode", "edtCity", "edtTrade", "edtAddr"})
        setEdit(edit, criterion);
    search();
    QVERIFY(m_main->query()->isOpen());
    QCOMPARE(m_main->query()->recordCount(), 2);
    QCOMPARE(text("span1"), QStringLiteral("当前记录：2"));
    QCOMPARE(text("span2"), QStringLiteral("总记录：2"));
    QVERIFY(m_errors.isEmpty());
}

void TestMainWindow::enterDoesNotSearch()
{
    auto *edit = m_main->findChild<QLineEdit *>(QStringLiteral("edtCity"));
    edit->setText(QStringLiteral("广"));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Enter);
    QVERIFY(!m_main->query()->isOpen());
    QVERIFY(text("span2").isEmpty());
}

void TestMainWindow::doubleClick_data()
{
    QTest::addColumn<QString>("company");
    QTest::addColumn<bool>("opens");
    QTest::newRow("before any search") << QString() << false;
    QTest::newRow("nothing found") << QStringLiteral("不存在") << false;
    QTest::newRow("rows found") << QStringLiteral("电子") << true;
}

void TestMainWindow::doubleClick()
{
    QFETCH(QString, company);
    QFETCH(bool, opens);
    if (!company.isEmpty()) {
        setEdit("edtComName", company);
        search();
    }
    auto *grid = m_main->findChild<QTableView *>(QStringLiteral("DBGrid1"));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, QPoint(40, 10));
    QCOMPARE(m_info->isVisible(), opens);
    if (opens) {
        QCOMPARE(detail("edtComName"), QStringLiteral("深圳华光电子有限公司"));
        QVERIFY(m_info->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!m_info->isModal());
        QCOMPARE(m_info->size(), QSize(572, 295));
        // Its close button only hides it.
        m_info->close();
        QVERIFY(!m_info->isVisible());
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, QPoint(40, 10));
        QVERIFY(m_info->isVisible());
    }
}

void TestMainWindow::movingUpdatesStatusAndDetailAtOnce()
{
    setEdit("edtTradeCode", QStringLiteral("C39"));
    search();
    m_main->findChild<QAction *>(QStringLiteral("N2"))->trigger(); // shown, does nothing
    auto *grid = m_main->findChild<QTableView *>(QStringLiteral("DBGrid1"));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, QPoint(40, 10));
    QCOMPARE(detail("edtProvince"), QStringLiteral("广东省"));

    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(text("span1"), QStringLiteral("当前记录：2"));
    QCOMPARE(detail("edtComName"), QStringLiteral("南宁绿源食品有限公司"));
    QCOMPARE(detail("edtProvince"), QStringLiteral("广西壮族自治区"));
    QCOMPARE(detail("memScope"), QStringLiteral("食品加工"));
    QCOMPARE(detail("edtFax"), QString());

    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(text("span1"), QStringLiteral("当前记录：4"));
    QCOMPARE(grid->currentIndex().column(), 0); // stays in the column being read
    QCOMPARE(detail("edtComName"), QStringLiteral("广州O'Neil贸易有限公司"));

    // Moving the record moves the grid too.
    m_main->query()->moveTo(2);
    QCOMPARE(grid->currentIndex().row(), 2);
    QCOMPARE(text("span1"), QStringLiteral("当前记录：3"));
}

void TestMainWindow::emptyResultKeepsCurrentRecordText()
{
    setEdit("edtComName", QStringLiteral("电子"));
    search();
    auto *grid = m_main->findChild<QTableView *>(QStringLiteral("DBGrid1"));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, QPoint(40, 10));
    QVERIFY(m_info->isVisible());
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(text("span1"), QStringLiteral("当前记录：2"));

    setEdit("edtComName", QStringLiteral("没有这家公司"));
    search();
    QCOMPARE(text("span2"), QStringLiteral("总记录：0"));
    QCOMPARE(text("span1"), QStringLiteral("当前记录：2"));
    QCOMPARE(grid->model()->rowCount(), 0);
    QVERIFY(m_info->isVisible());
    QCOMPARE(detail("edtComName"), QString());
    QCOMPARE(detail("memScope"), QString());
}

void TestMainWindow::startupFailureShowsOneErrorThenWindow()
{
    cleanup();
    m_errors.clear();
    ErrorHandler::setPresenter([this](const QString &, const QString &text) { m_errors << text; });
    QTemporaryDir empty;
    const QString missing = empty.filePath(QStringLiteral("zoradu.dll"));
    TfrmMain main(missing);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors[0].contains(QStringLiteral("zoradu.dll")), qPrintable(m_errors[0]));
    QCOMPARE(main.findChild<QLabel *>(QStringLiteral("lblWebsite"))->text(),
             QStringLiteral("lblWebsite"));

    main.findChild<QLineEdit *>(QStringLiteral("edtCity"))->setText(QStringLiteral("广"));
    QTest::mouseClick(main.findChild<QPushButton *>(QStringLiteral("btnSearch")), Qt::LeftButton);
    QCOMPARE(m_errors.size(), 2);
    QCOMPARE(m_errors[1], m_errors[0]);
    QVERIFY(!main.query()->isOpen());
    QVERIFY(main.findChild<QLabel *>(QStringLiteral("span2"))->text().isEmpty());

    // Once the file is there, the next search connects and finds it.
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QFile::copy(makeStore(*m_dir), missing));
    QTest::mouseClick(main.findChild<QPushButton *>(QStringLiteral("btnSearch")), Qt::LeftButton);
    QCOMPARE(m_errors.size(), 2);
    QCOMPARE(main.findChild<QLabel *>(QStringLiteral("span2"))->text(),
             QStringLiteral("总记录：3"));
}

// The product's password does not open a file protected by another one.
void TestMainWindow::jetFileWithWrongPassword()
{
    cleanup();
    m_errors.clear();
    ErrorHandler::setPresenter([this](const QString &, const QString &text) { m_errors << text; });
    JetLoader::setReaderPath(QStringLiteral(QUORVANE_BIN_DIR "/quorvane-jet-reader"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zoradu.dll"));
    QVERIFY(
        QFile::copy(QStringLiteral(QUORVANE_TEST_FIXTURES "/jet/V2000_with-password.mdb"), path));
    TfrmMain main(path);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors[0].contains(QStringLiteral("密码")), qPrintable(m_errors[0]));
    QVERIFY(!main.connection().isConnected());

    // The product's own Jet file opens and searches like the store.
    QVERIFY(QFile::remove(path));
    QVERIFY(
        QFile::copy(QStringLiteral(QUORVANE_TEST_FIXTURES "/jet/waishang-jackcess-300.mdb"), path));
    main.findChild<QLineEdit *>(QStringLiteral("edtCity"))->setText(QStringLiteral("广东"));
    QTest::mouseClick(main.findChild<QPushButton *>(QStringLiteral("btnSearch")), Qt::LeftButton);
    QCOMPARE(m_errors.size(), 1);
    QCOMPARE(main.findChild<QLabel *>(QStringLiteral("span2"))->text(),
             QStringLiteral("总记录：50"));
}

void TestMainWindow::fullStopRule_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ASCII") << QStringLiteral("Disk full") << QStringLiteral("Disk full.");
    QTest::newRow("ends in a full stop") << QStringLiteral("Done.") << QStringLiteral("Done.");
    QTest::newRow("ends in a digit") << QStringLiteral("code 42") << QStringLiteral("code 42.");
    QTest::newRow("ends in a comma") << QStringLiteral("a,") << QStringLiteral("a,");
    QTest::newRow("ideographic full stop")
        << QStringLiteral("找不到文件。") << QStringLiteral("找不到文件。.");
    QTest::newRow("empty") << QString() << QString();
}

void TestMainWindow::fullStopRule()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(ErrorHandler::displayText(message), shown);
    QString title;
    QString text;
    ErrorHandler::setPresenter([&](const QString &t, const QString &m) {
        title = t;
        text = m;
    });
    ErrorHandler::dispatch([&] { throw std::runtime_error(message.toStdString()); });
    QCOMPARE(title, QStringLiteral("Vantorel"));
    QCOMPARE(text, shown);
}

void TestMainWindow::resizeKeepsAnchors()
{
    auto *panel = m_main->findChild<QWidget *>(QStringLiteral("bsSkinPanel1"));
    auto *button = m_main->findChild<QWidget *>(QStringLiteral("btnSearch"));
    auto *grid = m_main->findChild<QWidget *>(QStringLiteral("DBGrid1"));
    auto *status = m_main->findChild<QWidget *>(QStringLiteral("sbarInfo"));
    for (const QSize size : {QSize(800, 500), QSize(1200, 800), QSize(1000, 600)}) {
        m_main->resize(size);
        QTRY_COMPARE(m_main->size(), size);
        QCoreApplication::processEvents();
        const QWidget *central = m_main->centralWidget();
        QCOMPARE(panel->y(), 0);
        QCOMPARE(panel->height(), 137);
        QCOMPARE(panel->width(), central->width());
        QCOMPARE(panel->width() - button->geometry().right() - 1, 44);
        QCOMPARE(button->y(), 56);
        QCOMPARE(status->geometry().bottom(), central->height() - 1);
        QCOMPARE(status->height(), 21);
        const QPoint gridBottom = grid->mapTo(central, QPoint(0, grid->height()));
        QVERIFY(gridBottom.y() <= status->y());
        QVERIFY(gridBottom.y() >= status->y() - 8);
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
