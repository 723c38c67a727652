#include "app/ErrorHandler.h"
#include "data/Connection.h"
#include "data/DataSource.h"
#include "data/DatabaseLocation.h"
#include "data/EnterpriseTable.h"
#include "data/Query.h"
#include "data/QuorvaneError.h"
#include "data/Sqlite.h"
#include "views/QRepFrm.h"
#include "views/ReportLayout.h"
#include "views/ReportRenderer.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontInfo>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QProgressDialog>
#include <QRawFont>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <functional>

using namespace ReportLayout;

namespace {

// Twenty characters: lines of 8, 8 and 4 at the company name's break width.
const QString longCompanyName = QStringLiteral("苏州工业园区华泰精密电子科技股份有限公司");
const QString thirteenDigits = QStringLiteral("0512676123456");

// A store with the table the program reads, and rows of the ten columns.
QString makeStore(const QTemporaryDir &dir, int rows)
{
    const QString path = dir.filePath(QStringLiteral("store.db"));
    SqliteDatabase db = SqliteDatabase::openForWriting(path);
    db.exec("CREATE TABLE 外商 (企业代码 TEXT, 省份 TEXT, 公司名称 TEXT, 地址 TEXT, 经营范围 TEXT, "
            "行业代码 TEXT, 邮编 TEXT, 行业 TEXT, 电话 TEXT, 传真 TEXT)");
    db.exec("BEGIN");
    SqliteStatement insert(db.handle(), "INSERT INTO 外商 VALUES (?1,?2,?3,?4,?5,?6,?7,?8,?9,?10)");
    for (int i = 0; i < rows; ++i) {
        const QStringList values = {QStringLiteral("3205%1").arg(i, 8, 10, QLatin1Char('0')),
                                    QStringLiteral("江苏省"),
                                    i == 0 ? longCompanyName
                                           : QStringLiteral("昆山第%1电子有限公司").arg(i + 1),
                                    QStringLiteral("昆山市开发区前进东路%1号").arg(i + 1),
                                    QStringLiteral("生产电子元器件、集成电路，销售自产产品"),
                                    QStringLiteral("C3971"),
                                    QStringLiteral("215300"),
                                    QStringLiteral("电子元件制造"),
                                    i == 0 ? thirteenDigits : QStringLiteral("0512-57701234"),
                                    QStringLiteral("0512-57705678")};
        for (int c = 0; c < values.size(); ++c)
            insert.bind(c + 1, values[c]);
        insert.step();
        insert.reset();
    }
    db.exec("COMMIT");
    return path;
}

// A search result over a fresh store, as the main window holds it.
struct Result
{
    explicit Result(int rows)
    {
        connection.setConnectionString(
            DatabaseLocation::connectionString(makeStore(dir, rows), DatabaseLocation::password));
        query.setSql(QStringLiteral("SELECT * FROM 外商"));
        query.open();
    }

    QTemporaryDir dir;
    Connection connection;
    Query query{&connection};
};

QList<int> rowCounts(const QList<Page> &pages)
{
    QList<int> counts;
    for (const Page &page : pages)
        counts << page.rowCount;
    return counts;
}

// Qt writes the text of a PDF glyph as the lowest code point the font
// maps to it, and CJK fonts give many ideographs the glyph of a Kangxi
// radical (行 and ⾏): compatibility normalisation reads them back.
QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput())
        .normalized(QString::NormalizationForm_KC);
}

// Runs body while a modal event loop is up; poll is called whenever that
// loop runs and returns true when it has done its part.
class ModalDriver
{
public:
    explicit ModalDriver(std::function<bool()> poll) : m_poll(std::move(poll))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_poll())
                m_timer.stop();
        });
        m_timer.start(0);
    }

private:
    std::function<bool()> m_poll;
    QTimer m_timer;
};

template<class Dialog> Dialog *activeModal()
{
    return qobject_cast<Dialog *>(QApplication::activeModalWidget());
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The file dialog keeps its last folder in the user's settings.
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { ErrorHandler::resetPresenter(); }

    void breakIntoLines_data();
    void breakIntoLines();
    void pagination_data();
    void pagination();
    void templateGeometry();
    void printHooks_data();
    void printHooks();

    void walkLeavesTheLastRow();
    void walkOfNoRows();
    void walkCancelled();

    void songFaceCoversTheText();
    void pdf_data();
    void pdf();
    void pdfExportFailure();

    void previewLeavesTheLastRow();
    void failureInsidePreviewResumesViews();
    void failureDuringWalkResumesViews();
    void cancellingLongLayoutReturns();
};

void TestReport::breakIntoLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");

    const QString cr = QStringLiteral("\r");
    QTest::newRow("ten at 8") << "ABCDEFGHIJ" << 8 << "ABCDEFGH" + cr + "IJ";
    QTest::newRow("exactly 8") << "ABCDEFGH" << 8 << "ABCDEFGH";
    QTest::newRow("exactly 16: no break at the end")
        << "ABCDEFGHIJKLMNOP" << 8 << "ABCDEFGH" + cr + "IJKLMNOP";
    QTest::newRow("20 Chinese: 8, 8, 4")
        << longCompanyName << 8
        << longCompanyName.left(8) + cr + longCompanyName.mid(8, 8) + cr + longCompanyName.mid(16);
    QTest::newRow("13-digit telephone at 11") << thirteenDigits << 11 << "05126761234" + cr + "56";
    QTest::newRow("width 1") << "ABC" << 1 << "A" + cr + "B" + cr + "C";
    QTest::newRow("empty") << "" << 8 << "";
    // U+20000.. are outside the BMP: two UTF-16 units, one character.
    QTest::newRow("supplementary plane")
        << QStringLiteral("𠀀𠀁𠀂𠀃𠀄") << 2
        << QStringLiteral("𠀀𠀁") + cr + QStringLiteral("𠀂𠀃") + cr + QStringLiteral("𠀄");
    QTest::newRow("supplementary not split at an odd width")
        << QStringLiteral("a𠀀b𠀁") << 3 << QStringLiteral("a𠀀b") + cr + QStringLiteral("𠀁");
    QTest::newRow("existing line breaks count as characters")
        << "AB\r\nCDEFGH" << 4 << "AB\r\n" + cr + "CDEF" + cr + "GH";
    QTest::newRow("width 0 leaves the text") << "ABCDEFGHIJ" << 0 << "ABCDEFGHIJ";
    QTest::newRow("negative width leaves the text") << "ABCDEFGHIJ" << -3 << "ABCDEFGHIJ";
}

void TestReport::breakIntoLines()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QCOMPARE(BreakIntoLines(text, width), expected);
}

void TestReport::pagination_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QList<int>>("perPage");

    QTest::newRow("none: title and header only") << 0 << QList<int>{0};
    QTest::newRow("1") << 1 << QList<int>{1};
    QTest::newRow("10: first page full") << 10 << QList<int>{10};
    QTest::newRow("11") << 11 << QList<int>{10, 1};
    QTest::newRow("21") << 21 << QList<int>{10, 11};
    QTest::newRow("25") << 25 << QList<int>{10, 11, 4};
    QTest::newRow("32") << 32 << QList<int>{10, 11, 11};
    QTest::newRow("1000: 91 pages") << 1000 << [] {
        QList<int> pages{10};
        for (int i = 0; i < 90; ++i)
            pages << 11;
        return pages;
    }();
}

void TestReport::pagination()
{
    QFETCH(int, rows);
    QFETCH(QList<int>, perPage);
    const QList<Page> pages = paginate(rows);
    QCOMPARE(rowCounts(pages), perPage);
    int next = 0;
    for (int i = 0; i < pages.size(); ++i) {
        QCOMPARE(pages[i].hasTitle, i == 0);
        QCOMPARE(pages[i].firstRow, next);
        next += pages[i].rowCount;
    }
}

void TestReport::templateGeometry()
{
    const Template &layout = reportTemplate();
    QCOMPARE(layout.bandWidth(), 297.0 - 2 * 9.9);
    for (int c = 0; c < columnCount; ++c) {
        const Column &column = layout.columns[c];
        QCOMPARE(column.field, EnterpriseTable::columns().at(c));
        const QByteArray name = column.field.toUtf8();
        // Each cell reaches over its left neighbour's right edge and no
        // further than its left edge, so the two share one line.
        if (c > 0) {
            const Column &left = layout.columns[c - 1];
            QVERIFY2(column.cellLeft < left.cellLeft + left.cellWidth, name);
            QVERIFY2(column.cellLeft > left.cellLeft, name);
        }
        QVERIFY2(column.cellLeft + column.cellWidth <= layout.bandWidth(), name);
        if (!column.sizedToText()) {
            QVERIFY2(column.textX >= column.cellLeft, name);
            QVERIFY2(column.textX + column.textWidth <= column.cellLeft + column.cellWidth, name);
        }
        QVERIFY2(column.textTop + column.textHeight <= layout.detailBandHeight, name);
        QVERIFY2(column.headerLeft + column.headerWidth <= layout.bandWidth(), name);
    }
}

void TestReport::printHooks_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("width");
    QTest::newRow("企业代码") << 0 << 0;
    QTest::newRow("省份") << 1 << 0;
    QTest::newRow("公司名称 QRDBText3Print") << 2 << 8;
    QTest::newRow("地址 QRDBText4Print") << 3 << 10;
    QTest::newRow("经营范围 QRDBText5Print") << 4 << 12;
    QTest::newRow("行业代码") << 5 << 0;
    QTest::newRow("邮编") << 6 << 0;
    QTest::newRow("行业 QRDBText8Print") << 7 << 6;
    QTest::newRow("电话 QRDBText9Print") << 8 << 11;
    QTest::newRow("传真 QRDBText10Print") << 9 << 11;
}

void TestReport::printHooks()
{
    QFETCH(int, column);
    QFETCH(int, width);
    QCOMPARE(reportTemplate().columns[column].breakWidth, width);
    const QString text = QStringLiteral("一二三四五六七八九十一二三四五六七八九十");
    TfrmQRep report(nullptr);
    QString printed = text;
    if (const TfrmQRep::PrintHook hook = TfrmQRep::onPrint(column))
        (report.*hook)(printed);
    QCOMPARE(printed, width > 0 ? BreakIntoLines(text, width) : text);
}

void TestReport::walkLeavesTheLastRow()
{
    Result result(25);
    QSignalSpy scrolled(&result.query, &Query::afterScroll);
    QList<int> hookedColumns;
    const std::optional<Document> document = collect(result.query, [&](int column, QString &text) {
        hookedColumns << column;
        text = text.toUpper();
    });
    QVERIFY(document);
    QCOMPARE(document->rows.size(), 25);
    QCOMPARE(rowCounts(document->pages), (QList<int>{10, 11, 4}));
    QCOMPARE(result.query.recNo(), 25);
    QCOMPARE(scrolled.size(), 25);
    QCOMPARE(hookedColumns.size(), 25 * columnCount);
    QCOMPARE(document->rows.first().at(2), longCompanyName);
    QCOMPARE(document->rows.last().at(0), QStringLiteral("320500000024"));
    QCOMPARE(document->rows.last().at(6), QStringLiteral("215300"));
}

void TestReport::walkOfNoRows()
{
    Result result(0);
    std::optional<Document> document = collect(result.query);
    QVERIFY(document);
    QCOMPARE(document->rows.size(), 0);
    QCOMPARE(rowCounts(document->pages), QList<int>{0});

    result.query.close();
    document = collect(result.query);
    QVERIFY(document);
    QCOMPARE(document->pages.size(), 1);
    QVERIFY(document->pages.first().hasTitle);
}

void TestReport::walkCancelled()
{
    Result result(40);
    int calls = 0;
    const std::optional<Document> document = collect(result.query, {}, [&](int done, int total) {
        ++calls;
        return !(done == 5 && total == 40);
    });
    QVERIFY(!document);
    QCOMPARE(calls, 5);
}

void TestReport::songFaceCoversTheText()
{
    ReportRenderer::installFontSubstitutes();
    QFont font(reportTemplate().baseFont.family);
    const QString family = QFontInfo(font).family();
#ifndef Q_OS_WIN
    QVERIFY2(family.contains(QStringLiteral("Serif CJK")) ||
                 family.contains(QStringLiteral("Song")) || family.contains(QStringLiteral("Ming")),
             qPrintable(family));
#endif
    QString text =
        reportTemplate().titleCaption + longCompanyName +
        QStringLiteral("江苏省昆山市开发区前进东路号生产电子元器件、集成电路，销售自产产品");
    for (const Column &column : reportTemplate().columns)
        text += column.field;
    const QRawFont raw = QRawFont::fromFont(font);
    for (const QChar c : std::as_const(text))
        QVERIFY2(raw.supportsCharacter(c),
                 qPrintable(QStringLiteral("%1 in %2").arg(c).arg(family)));
}

void TestReport::pdf_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("pages");
    QTest::newRow("25 rows") << 25 << 3;
    QTest::newRow("empty result: title and header") << 0 << 1;
}

void TestReport::pdf()
{
    QFETCH(int, rows);
    QFETCH(int, pages);
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("poppler-utils is not installed");
    Result result(rows);
    TfrmQRep report(&result.query);
    QVERIFY(report.prepare());
    const QString pdf = result.dir.filePath(QStringLiteral("报表.pdf"));
    report.exportPdf(pdf);

    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(pages))),
             qPrintable(info));
    QVERIFY2(info.contains(QRegularExpression(
                 QStringLiteral("Page size:\\s+84[12](\\.\\d+)? x 595(\\.\\d+)? pts \\(A4\\)"))),
             qPrintable(info));

    const QString text = run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    QCOMPARE(text.count(reportTemplate().titleCaption), 1);
    // Once on each page; 行业 also stands in 行业代码.
    for (const Column &column : reportTemplate().columns) {
        int captions = 0;
        for (const Column &other : reportTemplate().columns)
            captions += other.field.contains(column.field) ? 1 : 0;
        QCOMPARE(text.count(column.field), pages * captions);
    }
    QCOMPARE(text.count(QStringLiteral("215300")), rows);
    if (rows == 0)
        return;

    // The cells of the first row, cut out of page 1 in points.
    const auto cell = [&](const Column &column) {
        const Template &layout = reportTemplate();
        const auto pt = [](double mm) { return QString::number(qRound(mm * 72 / 25.4)); };
        const double top = layout.margin + layout.titleBandHeight + layout.headerBandHeight;
        QStringList lines =
            run(QStringLiteral("pdftotext"),
                {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                 QStringLiteral("1"), QStringLiteral("-x"), pt(layout.margin + column.cellLeft),
                 QStringLiteral("-y"), pt(top), QStringLiteral("-W"), pt(column.cellWidth),
                 QStringLiteral("-H"), pt(layout.detailBandHeight), pdf, QStringLiteral("-")})
                .split(QLatin1Char('\n'));
        lines.removeIf([](const QString &line) { return line.trimmed().isEmpty(); });
        for (QString &line : lines)
            line = line.trimmed();
        return lines;
    };
    QCOMPARE(
        cell(reportTemplate().columns[2]),
        (QStringList{longCompanyName.left(8), longCompanyName.mid(8, 8), longCompanyName.mid(16)}));
    QCOMPARE(cell(reportTemplate().columns[8]),
             (QStringList{thirteenDigits.left(11), thirteenDigits.mid(11)}));
}

void TestReport::pdfExportFailure()
{
    Result result(3);
    TfrmQRep report(&result.query);
    QVERIFY(report.prepare());
    const QString folder = result.dir.filePath(QStringLiteral("没有的文件夹"));
    const QString pdf = folder + QStringLiteral("/报表.pdf");
    try {
        report.exportPdf(pdf);
        QFAIL("no error for a missing folder");
    } catch (const QuorvaneError &error) {
        QVERIFY2(error.message().contains(QStringLiteral("无法导出PDF文件")),
                 qPrintable(error.message()));
        QVERIFY2(error.message().contains(QStringLiteral("不存在")), qPrintable(error.message()));
    }
    QVERIFY(!QFileInfo::exists(folder));

    // A target that is a folder: nothing is written beside it either.
    const QString taken = result.dir.filePath(QStringLiteral("taken.pdf"));
    QVERIFY(QDir(result.dir.path()).mkdir(QStringLiteral("taken.pdf")));
    const QStringList before =
        QDir(result.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QVERIFY_THROWS_EXCEPTION(QuorvaneError, report.exportPdf(taken));
    QCOMPARE(QDir(result.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
}

void TestReport::previewLeavesTheLastRow()
{
    Result result(25);
    result.query.moveTo(3);
    int pages = -1;
    bool exportOffered = false;
    ModalDriver driver([&] {
        auto *dialog = activeModal<QPrintPreviewDialog>();
        if (!dialog)
            return false;
        if (auto *preview = dialog->findChild<QPrintPreviewWidget *>())
            pages = preview->pageCount();
        if (auto *toolBar = dialog->findChild<QToolBar *>()) {
            for (const QAction *action : toolBar->actions())
                exportOffered = exportOffered || action->text() == QStringLiteral("导出PDF");
        }
        dialog->reject();
        return true;
    });
    TfrmQRep report(&result.query);
    report.preview();
    QCOMPARE(pages, 3);
    QVERIFY(exportOffered);
    QCOMPARE(result.query.recNo(), 25);
}

// The main window's command, as it runs it.
static void reportCommand(DataSource &source)
{
    ErrorHandler::dispatch([&] {
        DisabledControls suspended(&source);
        TfrmQRep report(source.dataSet());
        report.preview();
    });
}

void TestReport::failureInsidePreviewResumesViews()
{
    Result result(25);
    // The folder is chosen in the file dialog and gone when the file is
    // written: a failure no permission can avoid, root's included.
    const QString folder = result.dir.filePath(QStringLiteral("导出"));
    QVERIFY(QDir().mkdir(folder));
    const QString pdf = folder + QStringLiteral("/报表.pdf");
    DataSource source(&result.query);
    QSignalSpy resumed(&source, &DataSource::dataSetChanged);
    QStringList shown;
    ErrorHandler::setPresenter([&](const QString &, const QString &text) { shown << text; });

    enum { Preview, FileName, Error, Done } stage = Preview;
    ModalDriver driver([&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (stage == Preview) {
            auto *dialog = qobject_cast<QPrintPreviewDialog *>(modal);
            if (!dialog)
                return false;
            for (QAction *action : dialog->findChild<QToolBar *>()->actions()) {
                if (action->text() == QStringLiteral("导出PDF"))
                    QTimer::singleShot(0, action, &QAction::trigger);
            }
            stage = FileName;
        } else if (stage == FileName) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            if (!dialog)
                return false;
            dialog->selectFile(pdf);
            QDir().rmdir(folder);
            QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
            stage = Error;
        } else if (stage == Error && !shown.isEmpty()) {
            // The preview carries on after the error.
            if (auto *dialog = qobject_cast<QPrintPreviewDialog *>(modal)) {
                dialog->reject();
                stage = Done;
                return true;
            }
        }
        return false;
    });
    reportCommand(source);
    QCOMPARE(stage, Done);
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().contains(QDir::toNativeSeparators(pdf)), qPrintable(shown.first()));
    QVERIFY(!QFileInfo::exists(pdf));
    QVERIFY(!source.controlsDisabled());
    QCOMPARE(resumed.size(), 1);
    QCOMPARE(result.query.recNo(), 25);
}

void TestReport::failureDuringWalkResumesViews()
{
    Result result(25);
    DataSource source(&result.query);
    QSignalSpy resumed(&source, &DataSource::dataSetChanged);
    QStringList shown;
    ErrorHandler::setPresenter([&](const QString &, const QString &text) { shown << text; });
    // A view that fails while the report walks the rows.
    QObject::connect(&result.query, &Query::afterScroll, &source, [&] {
        if (result.query.recNo() == 7)
            throw QuorvaneError(QStringLiteral("读取失败"));
    });
    bool previewed = false;
    ModalDriver driver([&] {
        if (auto *dialog = activeModal<QPrintPreviewDialog>()) {
            previewed = true;
            dialog->reject();
            return true;
        }
        return false;
    });
    reportCommand(source);
    QVERIFY(!previewed);
    QCOMPARE(shown, QStringList{QStringLiteral("读取失败.")});
    QVERIFY(!source.controlsDisabled());
    QCOMPARE(resumed.size(), 1);
}

void TestReport::cancellingLongLayoutReturns()
{
    Result result(TfrmQRep::progressThreshold + 100);
    DataSource source(&result.query);
    bool cancelled = false;
    bool previewed = false;
    ModalDriver driver([&] {
        if (auto *progress = activeModal<QProgressDialog>()) {
            progress->cancel();
            cancelled = true;
        } else if (auto *dialog = activeModal<QPrintPreviewDialog>()) {
            previewed = true;
            dialog->reject();
            return true;
        }
        return false;
    });
    reportCommand(source);
    QVERIFY(cancelled);
    QVERIFY(!previewed);
    QVERIFY(!source.controlsDisabled());
    QVERIFY(result.query.recNo() < result.query.recordCount());
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
