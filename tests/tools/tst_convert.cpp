// quorvane-cli convert: a Jet 4.0 database into the program's own store.
// The store must search exactly like the original, appear whole or not at
// all, and leave the source and the target's directory as they were on failure.

#include "data/Connection.h"
#include "data/DatabaseLocation.h"
#include "data/JetReaderProtocol.h"
#include "data/Query.h"
#include "data/QuorvaneError.h"
#include "data/Search.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString fixtures = QStringLiteral(QUORVANE_TEST_FIXTURES "/jet/");
const QString sample300 = fixtures + QStringLiteral("waishang-jackcess-300.mdb");
const QString cli = QStringLiteral(QUORVANE_BIN_DIR "/quorvane-cli");

struct Run
{
    int exitCode = -1;
    QString errorOutput;
};

Run convert(const QStringList &arguments, const QByteArray &fault = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!fault.isEmpty())
        environment.insert(QString::fromLatin1(JetReaderProtocol::faultVariable),
                           QString::fromLatin1(fault));
    process.setProcessEnvironment(environment);
    process.start(cli, QStringList{QStringLiteral("convert")} + arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

QMap<QString, QByteArray> snapshot(const QString &directory)
{
    QMap<QString, QByteArray> files;
    const QDir dir(directory);
    for (const QString &name :
         dir.entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        QFile file(dir.filePath(name));
        QByteArray hash = "dir";
        if (file.open(QIODevice::ReadOnly))
            hash = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
        files.insert(name, hash);
    }
    return files;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Result
{
    qint64 total = -1;
    QStringList fields;
    QList<QVariantList> rows;
};

Result search(const QString &path, const SearchCriteria &criteria)
{
    Connection connection;
    connection.setConnectionString(DatabaseLocation::connectionString(
        QDir::toNativeSeparators(path), DatabaseLocation::password));
    Query query(&connection);
    Result result;
    result.total = runSearch(connection, query, criteria).value_or(-1);
    result.fields = query.fieldNames();
    for (int r = 0; r < query.recordCount(); ++r) {
        QVariantList row;
        for (int c = 0; c < result.fields.size(); ++c)
            row << query.value(r, c);
        result.rows << row;
    }
    return result;
}

} // namespace

class TestConvert final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void usage_data();
    void usage();

    void converts();
    void replacesTarget();

    void sameResults_data();
    void sameResults();

    void failure_data();
    void failure();

private:
    QString newDirectory();

    QTemporaryDir m_dir;
    QString m_store;
    int m_directories = 0;
};

void TestConvert::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QFileInfo(cli).isExecutable());
    m_store = m_dir.filePath(QStringLiteral("store.db"));
    const Run run = convert({sample300, m_store});
    QVERIFY2(run.exitCode == 0, qPrintable(run.errorOutput));
}

QString TestConvert::newDirectory()
{
    const QString path = m_dir.filePath(QStringLiteral("d%1").arg(++m_directories));
    QDir().mkpath(path);
    return path;
}

void TestConvert::usage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("nothing") << QStringList{} << 2;
    QTest::newRow("source only") << QStringList{sample300} << 2;
    QTest::newRow("three files") << QStringList{sample300, "a", "b"} << 2;
    QTest::newRow("unknown option") << QStringList{"--frobnicate", sample300, "a"} << 2;
    QTest::newRow("password without value") << QStringList{sample300, "a", "--password"} << 2;
    QTest::newRow("help") << QStringList{"--help"} << 0;
}

void TestConvert::usage()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);

    const QString directory = newDirectory();
    QDir::setCurrent(directory);
    const Run run = convert(arguments);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY(snapshot(directory).isEmpty());
}

void TestConvert::converts()
{
    // The store of initTestCase: the table 外商 with the source's eleven
    // columns, all rows, in rollback-journal format and nothing beside it.
    const QByteArray header = readAll(m_store).left(100);
    QVERIFY(header.startsWith("SQLite format 3"));
    QCOMPARE(int(header[18]), 1); // legacy (rollback) write version, not WAL
    QCOMPARE(int(header[19]), 1);
    QCOMPARE(snapshot(m_dir.path()).keys().filter(QStringLiteral("store")),
             QStringList{QStringLiteral("store.db")});
    QCOMPARE(QFileInfo(m_store).permissions() & QFileDevice::ReadOther, QFileDevice::ReadOther);

    SearchCriteria all;
    all.businessScope = QStringLiteral("LED");
    const Result result = search(m_store, all);
    QCOMPARE(result.total, 300);
    QCOMPARE(result.fields.size(), 11);
    QCOMPARE(result.fields.last(), QStringLiteral("备注"));

    // An explicit password does the same, and the terminal is not written to
    // with a progress bar when stderr is no terminal.
    const QString directory = newDirectory();
    const Run run = convert({QStringLiteral("--password"), DatabaseLocation::password, sample300,
                             directory + QStringLiteral("/again.db")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(!run.errorOutput.contains(QLatin1Char('\r')));
    QVERIFY2(run.errorOutput.contains(QStringLiteral("300 rows")), qPrintable(run.errorOutput));
    QCOMPARE(readAll(directory + QStringLiteral("/again.db")), readAll(m_store));
}

void TestConvert::replacesTarget()
{
    const QString directory = newDirectory();
    const QString target = directory + QStringLiteral("/zoradu.dll");
    writeFile(target, "an older store");
    const Run run = convert({sample300, target});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(readAll(target), readAll(m_store));
    QCOMPARE(snapshot(directory).keys(), QStringList{QStringLiteral("zoradu.dll")});
}

void TestConvert::sameResults_data()
{
    QTest::addColumn<SearchCriteria>("criteria");

    auto row = [](const char *name, int field, const char *text) {
        SearchCriteria criteria;
        QString *fields[] = {&criteria.tradeCode, &criteria.businessScope, &criteria.companyName,
                             &criteria.trade,     &criteria.province,      &criteria.address};
        *fields[field] = QString::fromUtf8(text);
        QTest::newRow(name) << criteria;
    };
    row("trade code", 0, "M7");
    row("scope, any case", 1, "led DISPLAY");
    row("company", 2, "企业2");
    row("trade", 3, "软件");
    row("province", 4, "浙江");
    row("address", 5, "路29");
    row("none", 2, "没有这家");
}

void TestConvert::sameResults()
{
    QFETCH(SearchCriteria, criteria);

    const Result original = search(sample300, criteria);
    const Result converted = search(m_store, criteria);
    QVERIFY(original.total >= 0);
    QCOMPARE(converted.total, original.total);
    QCOMPARE(converted.fields, original.fields);
    QCOMPARE(converted.rows.size(), original.rows.size());
    for (qsizetype r = 0; r < original.rows.size(); ++r) {
        for (qsizetype c = 0; c < original.fields.size(); ++c) {
            // NULL stays NULL, empty stays empty.
            QCOMPARE(converted.rows[r][c].isValid(), original.rows[r][c].isValid());
            QCOMPARE(converted.rows[r][c].toString(), original.rows[r][c].toString());
        }
    }
}

void TestConvert::failure_data()
{
    QTest::addColumn<QString>("source"); // a fixture, or a name made in the directory
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("target"); // relative to the test's directory
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<QString>("expected");

    const QString target = QStringLiteral("zoradu.dll");
    QTest::newRow("wrong password") << sample300 << QStringList{"--password", "5b0d7a9c3f26e18b4"}
                                    << target << QByteArray() << "密码不正确";
    QTest::newRow("missing source")
        << "missing.mdb" << QStringList{} << target << QByteArray() << "找不到数据库文件";
    QTest::newRow("damaged source")
        << "half.mdb" << QStringList{} << target << QByteArray() << "已损坏";
    QTest::newRow("no table 外商") << fixtures + "V2000_no-password.mdb" << QStringList{} << target
                                   << QByteArray() << "中没有表“外商”";
    QTest::newRow("already a store")
        << "store.db" << QStringList{} << target << QByteArray() << "无需转换";
    QTest::newRow("reader crashes")
        << sample300 << QStringList{} << target << QByteArray("crash") << "异常退出";
    QTest::newRow("target is a directory")
        << sample300 << QStringList{} << "sub" << QByteArray() << "是一个目录";
    QTest::newRow("target directory missing")
        << sample300 << QStringList{} << "nowhere/store.db" << QByteArray() << "不存在";
    QTest::newRow("target is the source")
        << "copy.mdb" << QStringList{} << "copy.mdb" << QByteArray() << "就是源文件";
}

void TestConvert::failure()
{
    QFETCH(QString, source);
    QFETCH(QStringList, options);
    QFETCH(QString, target);
    QFETCH(QByteArray, fault);
    QFETCH(QString, expected);

    const QString directory = newDirectory();
    const QByteArray sample = readAll(sample300);
    if (source == QLatin1String("half.mdb"))
        writeFile(directory + QStringLiteral("/half.mdb"), sample.left(sample.size() / 2));
    if (source == QLatin1String("copy.mdb"))
        writeFile(directory + QStringLiteral("/copy.mdb"), sample);
    if (source == QLatin1String("store.db"))
        QVERIFY(QFile::copy(m_store, directory + QStringLiteral("/store.db")));
    if (target == QLatin1String("sub"))
        QDir(directory).mkdir(QStringLiteral("sub"));
    // Whatever the target held before must survive a failed conversion.
    if (target == QLatin1String("zoradu.dll"))
        writeFile(directory + QStringLiteral("/zoradu.dll"), "the store in use");
    if (QFileInfo(source).isRelative())
        source = directory + QLatin1Char('/') + source;
    const QByteArray sourceBefore = readAll(source);
    const auto before = snapshot(directory);

    const Run run =
        convert(options + QStringList{source, directory + QLatin1Char('/') + target}, fault);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.errorOutput.contains(expected), qPrintable(run.errorOutput));
    QCOMPARE(snapshot(directory), before);
    QCOMPARE(readAll(source), sourceBefore);
}

QTEST_GUILESS_MAIN(TestConvert)
#include "tst_convert.moc"
