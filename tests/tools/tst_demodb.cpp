// quorvane-demodb: the demo database it writes (the table the program
// expects, with data that is consistent and exercises the search), that the
// same seed gives the same file, and that a failure leaves nothing behind.

#include "data/Sqlite.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <functional>
#include <sys/resource.h>

namespace {

const QString tool = QStringLiteral(QUORVANE_BIN_DIR "/quorvane-demodb");
const QString dataDir = QStringLiteral(QUORVANE_SOURCE_DIR "/tools/demodb/data");

const QStringList columns = {
    QStringLiteral("企业代码"), QStringLiteral("省份"),     QStringLiteral("公司名称"),
    QStringLiteral("地址"),     QStringLiteral("经营范围"), QStringLiteral("行业代码"),
    QStringLiteral("邮编"),     QStringLiteral("行业"),     QStringLiteral("电话"),
    QStringLiteral("传真"),     QStringLiteral("成立日期"), QStringLiteral("注册资本"),
};
enum Column { Code, Province, Company, Address, Scope, TradeCode, Postcode, Trade, Phone, Fax };

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
};

Result run(const QStringList &arguments, const std::function<void()> &inChild = {})
{
    QProcess process;
    if (inChild)
        process.setChildProcessModifier(inChild);
    process.start(tool, arguments);
    if (!process.waitForFinished(120000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// The rows of one of the tool's own CSV files (none of them quotes a field).
QList<QStringList> readCsv(const QString &name)
{
    QFile file(dataDir + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QStringList> rows;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (!lines[i].isEmpty())
            rows << lines[i].split(QLatin1Char(','));
    }
    return rows;
}

QStringList entries(const QString &directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestDemoDb final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void schema();
    void leavesOnlyTheDatabase();
    void codesAreUnique();
    void placesAreConsistent();
    void industriesAreClasses();
    void namesAndScopesMixScripts();
    void faxesMissTwoWays();
    void searchesFindPlausibleShares_data();
    void searchesFindPlausibleShares();
    void sameSeedSameFile();
    void replacesAnExistingFile();
    void failedWriteLeavesOldFile();
    void badUsage_data();
    void badUsage();

private:
    qint64 count(const QString &condition) const;

    static constexpr int rows = 1000;
    QTemporaryDir m_dir;
    QString m_outputDir;
    QString m_output;
    SqliteDatabase m_db;
    QList<QStringList> m_rows; // NULL read as a null QString
};

void TestDemoDb::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // A directory that does not exist yet: the tool makes it.
    m_outputDir = m_dir.filePath(QStringLiteral("share/quorvane"));
    m_output = m_outputDir + QStringLiteral("/zoradu.dll");
    const Result result = run({QStringLiteral("--rows"), QString::number(rows),
                               QStringLiteral("--seed"), QStringLiteral("11"), m_output});
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));

    m_db = SqliteDatabase::openReadOnly(m_output);
    SqliteStatement select(m_db.handle(), "SELECT * FROM 外商 ORDER BY rowid");
    while (select.step()) {
        QStringList row;
        for (int c = 0; c < select.columnCount(); ++c)
            row << (select.isNull(c) ? QString() : select.text(c));
        m_rows << row;
    }
    QCOMPARE(m_rows.size(), rows);
}

qint64 TestDemoDb::count(const QString &condition) const
{
    SqliteStatement statement(
        m_db.handle(), (QStringLiteral("SELECT count(*) FROM 外商 WHERE ") + condition).toUtf8());
    statement.step();
    return statement.int64(0);
}

void TestDemoDb::schema()
{
    SqliteStatement info(m_db.handle(), "PRAGMA table_info(外商)");
    QStringList names;
    while (info.step()) {
        names << info.text(1);
        QCOMPARE(info.text(2), QStringLiteral("TEXT"));
    }
    QCOMPARE(names, columns);

    // An ordinary rollback-journal file with 4096-byte pages: bytes 18 and
    // 19 of the header are 2 in a WAL database.
    const QByteArray header = contents(m_output).left(100);
    QVERIFY(header.startsWith("SQLite format 3"));
    QCOMPARE((uchar(header[16]) << 8) | uchar(header[17]), 4096);
    QCOMPARE(int(header[18]), 1);
    QCOMPARE(int(header[19]), 1);
}

void TestDemoDb::leavesOnlyTheDatabase()
{
    QCOMPARE(entries(m_outputDir), QStringList{QStringLiteral("zoradu.dll")});
    QVERIFY(QFile::permissions(m_output) & QFile::ReadOther);
}

void TestDemoDb::codesAreUnique()
{
    static const QRegularExpression format(
        QStringLiteral("^91[0-9]{14}[0-9X][0-9A-HJ-NPQRTUWXY]$"));
    QSet<QString> codes;
    for (const QStringList &row : std::as_const(m_rows)) {
        QVERIFY2(format.match(row[Code]).hasMatch(), qPrintable(row[Code]));
        codes.insert(row[Code]);
    }
    QCOMPARE(codes.size(), rows);
}

void TestDemoDb::placesAreConsistent()
{
    QSet<QString> mainland, other;
    for (const QStringList &p : readCsv(QStringLiteral("provinces.csv")))
        (p.value(6) == QLatin1String("yes") ? mainland : other).insert(p[0]);
    // The telephone's area code and the postcode belong to one city of the province.
    QMultiHash<QString, QString> cities;
    for (const QStringList &c : readCsv(QStringLiteral("cities.csv")))
        cities.insert(c[0] + QLatin1Char('|') + c.value(3) + QLatin1Char('|') + c.value(4), c[1]);
    QVERIFY(mainland.contains(QStringLiteral("广西壮族自治区")));

    static const QRegularExpression phone(QStringLiteral("^(0[0-9]{2,3})-[2-8][0-9]{7}$"));
    QSet<QString> seen;
    for (const QStringList &row : std::as_const(m_rows)) {
        QVERIFY2(mainland.contains(row[Province]), qPrintable(row[Province]));
        const QRegularExpressionMatch match = phone.match(row[Phone]);
        QVERIFY2(match.hasMatch(), qPrintable(row[Phone]));
        const QString place =
            row[Province] + QLatin1Char('|') + match.captured(1) + QLatin1Char('|') + row[Postcode];
        const QStringList names = cities.values(place);
        QVERIFY2(!names.isEmpty(), qPrintable(place));
        // The address is in that city.
        QVERIFY2(std::any_of(names.begin(), names.end(),
                             [&](const QString &city) { return row[Address].contains(city); }),
                 qPrintable(row[Address]));
        seen.insert(row[Province]);
    }
    QVERIFY(seen.contains(QStringLiteral("广东省")));
    QVERIFY(seen.contains(QStringLiteral("广西壮族自治区")));
    QVERIFY(!seen.intersects(other));
}

void TestDemoDb::industriesAreClasses()
{
    QHash<QString, QString> classes;
    for (const QStringList &i : readCsv(QStringLiteral("industries.csv"))) {
        if (i.value(2) == QLatin1String("class"))
            classes.insert(i[0], i[1]);
    }
    static const QRegularExpression format(QStringLiteral("^[A-T][0-9]{4}$"));
    for (const QStringList &row : std::as_const(m_rows)) {
        QVERIFY2(format.match(row[TradeCode]).hasMatch(), qPrintable(row[TradeCode]));
        QCOMPARE(row[Trade], classes.value(row[TradeCode]));
    }
}

void TestDemoDb::namesAndScopesMixScripts()
{
    static const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
    static const QRegularExpression han(QStringLiteral("\\p{Han}"));
    int apostrophes = 0, mixed = 0;
    for (const QStringList &row : std::as_const(m_rows)) {
        QVERIFY2(han.match(row[Company]).hasMatch(), qPrintable(row[Company]));
        apostrophes += row[Company].contains(QLatin1Char('\''));
        mixed += row[Company].contains(latin);
    }
    QVERIFY(apostrophes > 0);
    QVERIFY(apostrophes < rows / 20);
    QVERIFY(mixed > rows / 10);
    // The case-insensitive scope search meets every spelling.
    for (const char *spelling : {"software", "Software", "SOFTWARE"})
        QVERIFY2(count(QStringLiteral("instr(经营范围, '%1') > 0").arg(QLatin1String(spelling))) >
                     0,
                 spelling);
}

void TestDemoDb::faxesMissTwoWays()
{
    int nulls = 0, empties = 0;
    for (const QStringList &row : std::as_const(m_rows)) {
        if (row[Fax].isNull()) {
            ++nulls;
        } else if (row[Fax].isEmpty()) {
            ++empties;
        } else {
            // Same area code as the telephone.
            QCOMPARE(row[Fax].section(QLatin1Char('-'), 0, 0),
                     row[Phone].section(QLatin1Char('-'), 0, 0));
        }
    }
    QVERIFY(nulls > 0);
    QVERIFY(empties > 0);
    QVERIFY(nulls + empties < rows / 2);
}

void TestDemoDb::searchesFindPlausibleShares_data()
{
    // The benchmark's searches should behave as on real data: neither
    // nothing nor everything, except where meant.
    QTest::addColumn<QString>("condition");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::newRow("company 电子") << QStringLiteral("公司名称 LIKE '%电子%'") << 0.005 << 0.10;
    QTest::newRow("province 广") << QStringLiteral("省份 LIKE '广%'") << 0.10 << 0.40;
    QTest::newRow("province 广西") << QStringLiteral("省份 = '广西壮族自治区'") << 0.001 << 0.05;
    QTest::newRow("industry code C39") << QStringLiteral("行业代码 LIKE 'C39%'") << 0.01 << 0.10;
    QTest::newRow("scope software")
        << QStringLiteral("instr(lower(经营范围), 'software') > 0") << 0.005 << 0.10;
    QTest::newRow("industry 制造") << QStringLiteral("行业 LIKE '%制造%'") << 0.25 << 0.70;
    QTest::newRow("address 路") << QStringLiteral("地址 LIKE '%路%'") << 0.50 << 0.95;
    QTest::newRow("company 公司") << QStringLiteral("公司名称 LIKE '%公司%'") << 0.85 << 1.0;
}

void TestDemoDb::searchesFindPlausibleShares()
{
    QFETCH(QString, condition);
    QFETCH(double, low);
    QFETCH(double, high);
    const double share = double(count(condition)) / rows;
    QVERIFY2(share >= low && share <= high, qPrintable(QString::number(share)));
}

void TestDemoDb::sameSeedSameFile()
{
    const QString again = m_dir.filePath(QStringLiteral("again.db"));
    const QString other = m_dir.filePath(QStringLiteral("other.db"));
    QCOMPARE(run({QStringLiteral("--rows"), QString::number(rows), QStringLiteral("--seed"),
                  QStringLiteral("11"), again})
                 .exitCode,
             0);
    QCOMPARE(run({QStringLiteral("--rows"), QString::number(rows), QStringLiteral("--seed"),
                  QStringLiteral("12"), other})
                 .exitCode,
             0);
    const QByteArray first = contents(m_output);
    QVERIFY(!first.isEmpty());
    QVERIFY(first == contents(again));
    QVERIFY(first != contents(other));
}

void TestDemoDb::replacesAnExistingFile()
{
    const QString path = m_dir.filePath(QStringLiteral("replace/zoradu.dll"));
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("not a database");
    old.close();

    const Result result = run({QStringLiteral("--rows"), QStringLiteral("10"), path});
    QVERIFY2(result.exitCode == 0, qPrintable(result.err));
    const SqliteDatabase db = SqliteDatabase::openReadOnly(path);
    SqliteStatement statement(db.handle(), "SELECT count(*) FROM 外商");
    QVERIFY(statement.step());
    QCOMPARE(statement.int64(0), 10);
    QCOMPARE(entries(QFileInfo(path).path()), QStringList{QStringLiteral("zoradu.dll")});
}

void TestDemoDb::failedWriteLeavesOldFile()
{
    const QString directory = m_dir.filePath(QStringLiteral("full"));
    const QString path = directory + QStringLiteral("/zoradu.dll");
    QVERIFY(QDir().mkpath(directory));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("the previous database");
    old.close();

    // A file size limit makes the disk "full" after 64 KiB; writes then fail
    // with EFBIG instead of killing the process.
    const Result result = run({QStringLiteral("--rows"), QStringLiteral("20000"), path}, [] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{65536, 65536};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(QDir::toNativeSeparators(path)), qPrintable(result.err));
    QCOMPARE(entries(directory), QStringList{QStringLiteral("zoradu.dll")});
    QCOMPARE(contents(path), QByteArray("the previous database"));
}

void TestDemoDb::badUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    const QString out = QStringLiteral("x.db");
    QTest::newRow("no output") << QStringList{} << QStringLiteral("no OUTPUT");
    QTest::newRow("two outputs") << QStringList{out, out} << QStringLiteral("only one OUTPUT");
    QTest::newRow("rows not a number")
        << QStringList{QStringLiteral("--rows"), QStringLiteral("many"), out}
        << QStringLiteral("--rows");
    QTest::newRow("negative rows")
        << QStringList{QStringLiteral("--rows"), QStringLiteral("-5"), out}
        << QStringLiteral("--rows");
    QTest::newRow("rows missing") << QStringList{QStringLiteral("--rows")}
                                  << QStringLiteral("rows");
    QTest::newRow("bad seed") << QStringList{QStringLiteral("--seed"), QStringLiteral("1.5"), out}
                              << QStringLiteral("--seed");
    QTest::newRow("unknown option")
        << QStringList{QStringLiteral("--colour"), out} << QStringLiteral("colour");
}

void TestDemoDb::badUsage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QTemporaryDir scratch;
    QProcess process;
    process.setWorkingDirectory(scratch.path());
    process.start(tool, arguments);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 2);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(err.contains(message), qPrintable(err));
    QVERIFY2(err.contains(QStringLiteral("Usage:")), qPrintable(err));
    QVERIFY(entries(scratch.path()).isEmpty());
}

QTEST_GUILESS_MAIN(TestDemoDb)
#include "tst_demodb.moc"
