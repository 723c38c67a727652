// quorvane-cli search, run as a user runs it.

#include "data/Connection.h"
#include "data/DatabaseLocation.h"
#include "data/Query.h"
#include "data/Sqlite.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

QProcess *start(const QStringList &arguments)
{
    auto *process = new QProcess;
    process->setProgram(QStringLiteral(QUORVANE_BIN_DIR "/quorvane-cli"));
    process->setArguments(arguments);
    process->start();
    return process;
}

Run finish(QProcess *process)
{
    Run run;
    if (!process->waitForFinished(60000) || process->exitStatus() != QProcess::NormalExit) {
        process->kill();
        process->waitForFinished();
    } else {
        run.exitCode = process->exitCode();
    }
    run.out = QString::fromUtf8(process->readAllStandardOutput());
    run.err = QString::fromUtf8(process->readAllStandardError());
    delete process;
    return run;
}

Run cli(const QStringList &arguments)
{
    return finish(start(arguments));
}

// RFC 4180: fields split at commas, quoted fields may hold commas, line
// breaks and doubled quotes.
QList<QStringList> parseCsv(const QString &text)
{
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            record << field;
            field.clear();
        } else if (c == QLatin1Char('\n')) {
            record << field;
            records << record;
            record.clear();
            field.clear();
        } else if (c != QLatin1Char('\r')) {
            field += c;
        }
    }
    if (!field.isEmpty() || !record.isEmpty())
        records << (record << field);
    return records;
}

const QStringList header = {"企业代码", "省份", "公司名称", "地址", "经营范围", "行业代码",
                            "邮编",     "行业", "电话",     "传真", "注册资本"};

void makeStore(const QString &path)
{
    SqliteDatabase db = SqliteDatabase::openForWriting(path);
    db.exec("CREATE TABLE 外商 (企业代码 TEXT, 省份 TEXT, 公司名称 TEXT, 地址 TEXT, 经营范围 TEXT,"
            " 行业代码 TEXT, 邮编 TEXT, 行业 TEXT, 电话 TEXT, 传真 TEXT, 注册资本 INTEGER);"
            "INSERT INTO 外商 VALUES ('E1', '广东省', '深圳电子有限公司', '上海市, \"浦东\"\n新区',"
            " 'Software', 'C13', '518000', '电子', '0755-1', NULL, 100);"
            "INSERT INTO 外商 VALUES ('E2', '广西壮族自治区', 'O''Neil 电子', '南宁市', 'IT',"
            " 'C1301', '530000', '电子', NULL, NULL, NULL);"
            "INSERT INTO 外商 VALUES ('E3', '江苏广陵', '广陵机械', '扬州市', '机械', 'C34',"
            " '225000', '机械', NULL, NULL, NULL)");
}

} // namespace

class TestCli final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void badUsage_data();
    void badUsage();
    void printsStatements();
    void search_data();
    void search();
    void databaseErrors_data();
    void databaseErrors();
    void defaultDatabase();
    void oddPath();
    void readersAtTheSameTime();

private:
    QTemporaryDir m_dir;
    QString m_store;
};

void TestCli::initTestCase()
{
    QVERIFY(QFile::exists(QStringLiteral(QUORVANE_BIN_DIR "/quorvane-cli")));
    m_store = m_dir.filePath(QStringLiteral("zoradu.dll"));
    makeStore(m_store);
}

void TestCli::badUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("nothing") << QStringList{};
    QTest::newRow("unknown command") << QStringList{"find"};
    QTest::newRow("no criterion") << QStringList{"search", "--db", "x"};
    QTest::newRow("blank criterion") << QStringList{"search", "--company", " \t "};
    QTest::newRow("unknown option") << QStringList{"search", "--city", "广"};
    QTest::newRow("missing value") << QStringList{"search", "--province"};
    QTest::newRow("stray argument") << QStringList{"search", "--province", "广", "extra"};
    QTest::newRow("statements of nothing") << QStringList{"search", "--sql"};
}

void TestCli::badUsage()
{
    QFETCH(QStringList, arguments);
    const Run run = cli(arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY(!run.err.isEmpty());
}

void TestCli::printsStatements()
{
    const Run run = cli({"search", "--sql", "--trade-code", "C13", "--company", "电子", "--db",
                         m_dir.filePath(QStringLiteral("not there"))});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out,
             QStringLiteral("SELECT * FROM 外商 WHERE 1=1 AND 行业代码 like 'C13%' AND 公司名称 "
                            "like '%电子%'\nSELECT Count(*) as totalcount FROM 外商 WHERE 1=1 AND "
                            "行业代码 like 'C13%' AND 公司名称 like '%电子%'\n"));
    QVERIFY(run.err.isEmpty());

    const Run all = cli({"search", "--sql", "--address", "f", "--province", "e", "--trade", "d",
                         "--company", "c", "--scope", "b'", "--trade-code", "a"});
    QCOMPARE(all.exitCode, 0);
    QCOMPARE(all.out.section(QLatin1Char('\n'), 0, 0),
             QStringLiteral("SELECT * FROM 外商 WHERE 1=1 AND 行业代码 like 'a%' AND "
                            "InStr(1,LCase(经营范围),LCase('b'''),0)<>0 AND 公司名称 like '%c%' "
                            "AND 行业 like '%d%' AND 省份 like 'e%' AND 地址 like '%f%'"));
}

void TestCli::search_data()
{
    QTest::addColumn<QStringList>("criteria");
    QTest::addColumn<QStringList>("codes");
    QTest::newRow("province") << QStringList{"--province", "广"} << QStringList{"E1", "E2"};
    QTest::newRow("scope") << QStringList{"--scope", "SOFTWARE"} << QStringList{"E1"};
    QTest::newRow("company with quote") << QStringList{"--company", "O'Neil"} << QStringList{"E2"};
    QTest::newRow("code and company")
        << QStringList{"--trade-code", "C13", "--company", "电子"} << QStringList{"E1", "E2"};
    QTest::newRow("trade and address")
        << QStringList{"--trade", "机械", "--address", "扬州"} << QStringList{"E3"};
    QTest::newRow("none found") << QStringList{"--company", "不存在"} << QStringList{};
}

void TestCli::search()
{
    QFETCH(QStringList, criteria);
    QFETCH(QStringList, codes);
    const Run run = cli(QStringList{"search", "--db", m_store} + criteria);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QStringLiteral("总记录：%1\n").arg(codes.size()));

    const QList<QStringList> records = parseCsv(run.out);
    QCOMPARE(records.size(), codes.size() + 1);
    QCOMPARE(records.first(), header);
    QStringList found;
    for (const QStringList &record : records.mid(1)) {
        QCOMPARE(record.size(), header.size());
        found << record.first();
    }
    QCOMPARE(found, codes);
    if (codes.contains(QStringLiteral("E1"))) {
        const QStringList &e1 = records[1 + codes.indexOf(QStringLiteral("E1"))];
        QCOMPARE(e1[3], QStringLiteral("上海市, \"浦东\"\n新区"));
        QCOMPARE(e1[9], QString()); // NULL
        QCOMPARE(e1[10], QStringLiteral("100"));
    }
}

void TestCli::databaseErrors_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("cause");
    QTest::newRow("missing") << QByteArray() << "找不到";
    QTest::newRow("text") << QByteArray("企业代码,省份\n") << "不是数据库";
    QTest::newRow("no table") << QByteArray("SQLite") << "没有表";
}

void TestCli::databaseErrors()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, cause);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("数据库.dll"));
    if (content == "SQLite") {
        SqliteDatabase db = SqliteDatabase::openForWriting(path);
        db.exec("CREATE TABLE 其他 (a)");
    } else if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    const Run run = cli({"search", "--db", path, "--province", "广"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains(QDir::toNativeSeparators(path)), qPrintable(run.err));
    QVERIFY2(run.err.contains(cause), qPrintable(run.err));
    QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
}

void TestCli::defaultDatabase()
{
    // Without --db the program's own database is searched: the one in its
    // data directory, which a build may or may not hold.
    const QString own = QDir::cleanPath(QStringLiteral(QUORVANE_BIN_DIR "/../share/quorvane/") +
                                        DatabaseLocation::fileName);
    const Run run = cli({"search", "--province", "广"});
    if (QFile::exists(own)) {
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.err.startsWith(QStringLiteral("总记录：")));
    } else {
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(own), qPrintable(run.err));
    }
}

void TestCli::oddPath()
{
    const QString dir = m_dir.filePath(QStringLiteral(" a;b='c' \"d\" #?%1"));
    QVERIFY(QDir().mkpath(dir));
    const QString path = dir + QStringLiteral("/store.db");
    QVERIFY(QFile::copy(m_store, path));
    const Run run = cli({"search", "--db", path, "--province", "广"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QStringLiteral("总记录：2\n"));
}

void TestCli::readersAtTheSameTime()
{
    // The store stays open here while other programs search it.
    Connection connection;
    connection.setConnectionString(
        DatabaseLocation::connectionString(m_store, DatabaseLocation::password));
    Query rows(&connection);
    rows.setSql(QStringLiteral("SELECT * FROM 外商 WHERE 1=1"));
    rows.open();
    QList<QProcess *> processes;
    for (int i = 0; i < 3; ++i)
        processes << start({"search", "--db", m_store, "--company", "电子"});
    for (QProcess *process : processes) {
        const Run run = finish(process);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QStringLiteral("总记录：2\n"));
    }
    QCOMPARE(rows.recordCount(), 3);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"zoradu.dll"});
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
