// The About window, the help manual and the web site: what the desktop is
// asked to open, and that the About window holds the main window while open.

#include "app/ErrorHandler.h"
#include "app/Mainfrm.h"
#include "app/Maker.h"
#include "app/Skin.h"
#include "app/UrlOpener.h"
#include "data/EnterpriseTable.h"
#include "data/Sqlite.h"
#include "views/AboutFrm.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "TestStores.h"
#include <QTimer>

#include <memory>

namespace {

class RecordingOpener final : public UrlOpener
{
public:
    void open(const QUrl &url) override { opened << url; }
    QList<QUrl> opened;
};

// Counts the presses a widget receives, to tell whether input got through.
class PressCounter final : public QObject
{
public:
    int presses = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress)
            ++presses;
        return QObject::eventFilter(watched, event);
    }
};

// An empty enterprise table is enough for the main window to open cleanly.
QString makeStore(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("zoradu.dll"));
    SqliteDatabase db = SqliteDatabase::openForWriting(path);
    createEnterpriseTable(db);
    return path;
}

template<class T> T *child(QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    return found;
}

} // namespace

class TestAbout final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void helpManualUrl_data();
    void helpManualUrl();
    void websiteFromEveryEntry_data();
    void websiteFromEveryEntry();
    void helpManualFromMenu();
    void missingHelpManualShowsNothing();
    void aboutTexts_data();
    void aboutTexts();
    void aboutWindow();
    void aboutIsModal();
    void aboutDismissal_data();
    void aboutDismissal();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    RecordingOpener m_opener;
    QStringList m_messages;
    std::unique_ptr<TfrmMain> m_main;
};

// The program's own font and style sheet, so that the labels are measured
// in the font the user sees.
void TestAbout::initTestCase()
{
    applySkin(*qApp);
}

void TestAbout::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_messages.clear();
    m_opener.opened.clear();
    ErrorHandler::setPresenter(
        [this](const QString &, const QString &text) { m_messages << text; });
    setUrlOpener(&m_opener);
    m_main = std::make_unique<TfrmMain>(makeStore(*m_dir));
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(u'\n')));
}

void TestAbout::cleanup()
{
    m_main.reset();
    m_dir.reset();
    setUrlOpener(nullptr);
    ErrorHandler::resetPresenter();
}

void TestAbout::helpManualUrl_data()
{
    QTest::addColumn<QString>("exeDir");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << "/usr/bin"
                           << "/usr/bin/help.doc";
    QTest::newRow("trailing separator") << "/usr/bin/"
                                        << "/usr/bin/help.doc";
    QTest::newRow("spaces") << "/opt/Quorvane 1.0/my programs/bin"
                            << "/opt/Quorvane 1.0/my programs/bin/help.doc";
    QTest::newRow("chinese and spaces") << QStringLiteral("/home/用户/外商 查询/bin")
                                        << QStringLiteral("/home/用户/外商 查询/bin/help.doc");
    // Characters a URL would otherwise read as a fragment, a query or an escape.
    QTest::newRow("url characters") << "/tmp/a#b?c%20d/bin"
                                    << "/tmp/a#b?c%20d/bin/help.doc";
}

void TestAbout::helpManualUrl()
{
    QFETCH(QString, exeDir);
    QFETCH(QString, expected);

    const QUrl url = ::helpManualUrl(exeDir);
    QVERIFY(url.isLocalFile());
    QCOMPARE(url.toLocalFile(), expected);
    QVERIFY(!url.hasFragment());
    QVERIFY(!url.hasQuery());
    // The desktop receives the URL as text; it must read back as the same file.
    QCOMPARE(QUrl(url.toString(QUrl::FullyEncoded)).toLocalFile(), expected);
}

enum class WebsiteEntry { Operation, Menu, StatusBar, AboutLabel };

void TestAbout::websiteFromEveryEntry_data()
{
    QTest::addColumn<WebsiteEntry>("entry");
    QTest::newRow("OpenWebsite") << WebsiteEntry::Operation;
    QTest::newRow("menu 公司网站") << WebsiteEntry::Menu;
    QTest::newRow("status bar lblWebsite") << WebsiteEntry::StatusBar;
    QTest::newRow("About window Label7") << WebsiteEntry::AboutLabel;
}

void TestAbout::websiteFromEveryEntry()
{
    QFETCH(WebsiteEntry, entry);

    // The status bar shows the same address that is opened.
    auto *lblWebsite = child<QLabel>(m_main.get(), "lblWebsite");
    QCOMPARE(lblWebsite->text(), Maker::webAddress);

    switch (entry) {
    case WebsiteEntry::Operation:
        m_main->OpenWebsite();
        break;
    case WebsiteEntry::Menu:
        child<QAction>(m_main.get(), "N5")->trigger();
        break;
    case WebsiteEntry::StatusBar:
        QTest::mouseClick(lblWebsite, Qt::LeftButton);
        break;
    case WebsiteEntry::AboutLabel: {
        TfrmAbout about(m_main.get());
        about.show();
        QTest::mouseClick(child<QLabel>(&about, "Label7"), Qt::LeftButton);
        QVERIFY(about.isVisible());
        break;
    }
    }

    QCOMPARE(m_opener.opened.size(), 1);
    const QUrl url = m_opener.opened.first();
    QCOMPARE(url, QUrl(Maker::webAddress));
    QVERIFY(url.isValid());
    QVERIFY(url.scheme() == u"https" || url.scheme() == u"http");
    // Kelvarn is fictional: nothing of it may point at a real site or mailbox.
    QVERIFY(url.host().endsWith(QLatin1String(".example.com")));
    QVERIFY(Maker::email.endsWith(QLatin1String(".example.com")));
    QVERIFY(m_messages.isEmpty());
}

void TestAbout::helpManualFromMenu()
{
    child<QAction>(m_main.get(), "N6")->trigger();
    m_main->OpenHelpManual();

    const QUrl expected = ::helpManualUrl(QCoreApplication::applicationDirPath());
    QCOMPARE(m_opener.opened, (QList<QUrl>{expected, expected}));
    QVERIFY(m_messages.isEmpty());
}

void TestAbout::missingHelpManualShowsNothing()
{
    const QString path = ::helpManualUrl(QCoreApplication::applicationDirPath()).toLocalFile();
    if (QFileInfo::exists(path))
        QSKIP("a help.doc lies beside the test program");

    // The desktop's own opener, asked for a document that is not there.
    setUrlOpener(nullptr);
    child<QAction>(m_main.get(), "N6")->trigger();
    QCoreApplication::processEvents();
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(u'\n')));
}

void TestAbout::aboutTexts_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("designed");

    // Two characters with nine spaces between them, then the full-width colon.
    const auto spaced = [](QChar first, QChar second) {
        return first + QString(9, u' ') + second + QChar(u'：');
    };
    QTest::newRow("Label2") << "Label2" << Maker::companyName << QRect(16, 64, 265, 17);
    QTest::newRow("Label4") << "Label4" << QStringLiteral("客服电话：") + Maker::telephone
                            << QRect(17, 88, 169, 13);
    QTest::newRow("lbl1") << "lbl1" << spaced(u'传', u'真') + Maker::fax << QRect(16, 104, 193, 13);
    QTest::newRow("Label6") << "Label6" << spaced(u'邮', u'箱') + Maker::email
                            << QRect(17, 120, 224, 13);
    QTest::newRow("Label7") << "Label7" << spaced(u'网', u'址') + Maker::webAddress
                            << QRect(17, 136, 182, 17);
    QTest::newRow("Label3") << "Label3" << spaced(u'地', u'址') + Maker::postalAddress
                            << QRect(17, 152, 310, 13);
}

void TestAbout::aboutTexts()
{
    QFETCH(QString, label);
    QFETCH(QString, text);
    QFETCH(QRect, designed);

    TfrmAbout about(m_main.get());
    const auto *widget = child<QLabel>(&about, label.toLatin1().constData());
    QCOMPARE(widget->text(), text);
    QCOMPARE(widget->pos(), designed.topLeft());
    // Grown to the text in the font in use, never shrunk, and still inside the window.
    QVERIFY(widget->width() >= designed.width());
    QVERIFY(widget->height() >= designed.height());
    QVERIFY2(widget->width() >= widget->sizeHint().width(), "the text is cut off at the right");
    QVERIFY2(widget->height() >= widget->sizeHint().height(), "the text is cut off below");
    QVERIFY2(widget->geometry().right() < about.width(), "the text runs out of the window");
}

void TestAbout::aboutWindow()
{
    TfrmAbout about(m_main.get());
    QCOMPARE(about.windowTitle(), QStringLiteral("关于"));
    QCOMPARE(about.size(), QSize(419, 192));
    QCOMPARE(about.minimumSize(), about.maximumSize());

    const Qt::WindowFlags flags = about.windowFlags();
    QCOMPARE(about.windowType(), Qt::Dialog);
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowSystemMenuHint));

    // The logo comes from the program's resources; a null picture here means
    // the resource or the JPEG image plugin is missing.
    const auto *img1 = child<QLabel>(&about, "img1");
    QCOMPARE(img1->geometry(), QRect(272, 24, 121, 73));
    QCOMPARE(img1->pixmap().size(), QSize(121, 73));

    QCOMPARE(child<QLabel>(&about, "Label7")->cursor().shape(), Qt::PointingHandCursor);
}

void TestAbout::aboutIsModal()
{
    m_main->resize(900, 600);
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
    QWindow *window = m_main->windowHandle();
    auto *edit = child<QLineEdit>(m_main.get(), "edtComName");
    PressCounter counter;
    edit->installEventFilter(&counter);
    const QPoint editCentre = edit->mapTo(m_main.get(), edit->rect().center());

    // Without the About window, the same input reaches the main window.
    QTest::mouseClick(window, Qt::LeftButton, {}, editCentre);
    edit->setFocus();
    QTest::keyClick(window, 'a');
    QCOMPARE(counter.presses, 1);
    QCOMPARE(edit->text(), QStringLiteral("a"));

    struct
    {
        bool aboutModal = false;
        QString text;
        int presses = 0;
        QPoint offCentre;
        bool escapeClosed = false;
    } seen;
    QTimer::singleShot(0, this, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        seen.aboutModal = qobject_cast<TfrmAbout *>(modal) != nullptr;
        QTest::keyClick(window, 'b');
        QTest::mouseClick(window, Qt::LeftButton, {}, editCentre);
        seen.text = edit->text();
        seen.presses = counter.presses;
        if (!modal)
            return;
        seen.offCentre = modal->frameGeometry().center() - m_main->frameGeometry().center();
        QTest::keyClick(modal->windowHandle(), Qt::Key_Escape);
        seen.escapeClosed = !modal->isVisible();
        modal->close(); // so that a failure above cannot hang the test
    });
    child<QAction>(m_main.get(), "menuHelp_About")->trigger();

    QVERIFY(seen.aboutModal);
    QCOMPARE(seen.text, QStringLiteral("a"));
    QCOMPARE(seen.presses, 1);
    QVERIFY2(seen.offCentre.manhattanLength() <= 2, "not centred on the main window");
    QVERIFY(seen.escapeClosed);
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(m_messages.isEmpty());
}

void TestAbout::aboutDismissal_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Escape") << "escape";
    QTest::newRow("Enter") << "enter";
    QTest::newRow("确定") << "button";
}

void TestAbout::aboutDismissal()
{
    QFETCH(QString, how);

    TfrmAbout about(m_main.get());
    bool closedByInput = false;
    QTimer::singleShot(0, this, [&] {
        QWindow *window = about.windowHandle();
        if (how == u"escape")
            QTest::keyClick(window, Qt::Key_Escape);
        else if (how == u"enter")
            QTest::keyClick(window, Qt::Key_Return);
        else
            QTest::mouseClick(child<QPushButton>(&about, "btnOK"), Qt::LeftButton);
        closedByInput = !about.isVisible();
        about.close();
    });
    about.exec();
    QVERIFY(closedByInput);
    QCOMPARE(m_opener.opened.size(), 0);
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
