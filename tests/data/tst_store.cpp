// The connection string, and opening the enterprise store: strictly for
// reading, and with a clear message naming the file for every kind of bad file.

#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/DatabaseLocation.h"
#include "data/EnterpriseStore.h"
#include "data/EnterpriseTable.h"
#include "data/Query.h"
#include "data/QuorvaneError.h"
#include "data/Search.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

const char *const createTable = "CREATE TABLE 外商 (企业代码 TEXT, 省份 TEXT, 公司名称 TEXT, "
                                "地址 TEXT, 经营范围 TEXT, 行业代码 TEXT, 邮编 TEXT, 行业 TEXT, "
                                "电话 TEXT, 传真 TEXT, 注册资本 INTEGER, 备注 TEXT)";

// A store of `rows` companies; long texts spread them over many pages.
void createStore(const QString &path, int rows = 3, const QByteArray &extraSql = {})
{
    SqliteDatabase db = SqliteDatabase::openForWriting(path);
    db.exec(createTable);
    db.exec("BEGIN");
    SqliteStatement insert(db.handle(), "INSERT INTO 外商 VALUES (?1, ?2, ?3, '地址', ?4, "
                                        "'C13', '100000', '电子', '010', NULL, 100, NULL)");
    for (int i = 0; i < rows; ++i) {
        insert.bind(1, QStringLiteral("E%1").arg(i));
        insert.bind(2, i % 2 ? QStringLiteral("广东省") : QStringLiteral("江苏省"));
        insert.bind(3, QStringLiteral("电子公司%1").arg(i));
        insert.bind(4, QStringLiteral("Software 电子产品 ").repeated(20 + i % 7));
        insert.step();
        insert.reset();
    }
    db.exec("COMMIT");
    if (!extraSql.isEmpty())
        db.exec(extraSql);
}

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray jetHeader(char version)
{
    QByteArray header(4096, '\0');
    header[1] = 1;
    header.replace(4, 16, QByteArray("Standard Jet DB\0", 16));
    header[0x14] = version;
    return header;
}

QString connectionStringFor(const QString &path)
{
    return DatabaseLocation::connectionString(path, DatabaseLocation::password);
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                               QDir::NoDotAndDotDot);
}

// Runs a search over the whole table, reading every row.
qint64 searchAll(Connection &connection)
{
    Query rows(&connection);
    SearchCriteria criteria;
    criteria.businessScope = QStringLiteral("software");
    const std::optional<qint64> total = runSearch(connection, rows, criteria);
    for (rows.first(); !rows.eof(); rows.next())
        rows.fieldText(EnterpriseTable::companyName);
    return total.value_or(-1);
}

} // namespace

using FileMaker = std::function<void(const QString &path)>;
Q_DECLARE_METATYPE(FileMaker)

class TestStore final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parseConnectionString_data();
    void parseConnectionString();
    void malformedConnectionString_data();
    void malformedConnectionString();
    void builtConnectionString();
    void builtConnectionStringRoundTrips_data();
    void builtConnectionStringRoundTrips();

    void detect_data();
    void detect();

    void badFile_data();
    void badFile();
    void corruptedPagesFailOnSearch();
    void randomDamageNeverCrashes();

    void readOnlyAndLeavesNothingBeside_data();
    void readOnlyAndLeavesNothingBeside();
    void takesNoLocks();
    void connectionChecksProviderAndSource();
    void connectionRetriesAfterFailure();
};

void TestStore::parseConnectionString_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    const QString jet = connectionStringFor(QStringLiteral("C:\\Windows\\system32\\zoradu.dll"));
    QTest::newRow("template: provider") << jet << "Provider"
                                        << "Microsoft.Jet.OLEDB.4.0";
    QTest::newRow("template: source") << jet << "Data Source"
                                      << "C:\\Windows\\system32\\zoradu.dll";
    QTest::newRow("template: password") << jet << "Jet OLEDB:Database Password"
                                        << "5B0D7A9C3F26E18B4";
    QTest::newRow("template: security") << jet << "Persist Security Info"
                                        << "False";
    QTest::newRow("keys ignore case") << "DATA SOURCE=a.mdb"
                                      << "data source"
                                      << "a.mdb";
    QTest::newRow("blanks around") << "  Data Source =  a b.mdb  ;"
                                   << "Data Source"
                                   << "a b.mdb";
    QTest::newRow("double quotes") << "Data Source=\"a;b.mdb\";X=1"
                                   << "Data Source"
                                   << "a;b.mdb";
    QTest::newRow("single quotes") << "Data Source='a;b.mdb'"
                                   << "Data Source"
                                   << "a;b.mdb";
    QTest::newRow("doubled quote") << "Data Source=\"a\"\"b\""
                                   << "Data Source"
                                   << "a\"b";
    QTest::newRow("other quote inside") << "Data Source=\"O'Neil\""
                                        << "Data Source"
                                        << "O'Neil";
    QTest::newRow("quote inside plain value") << "Data Source=O'Neil.mdb"
                                              << "Data Source"
                                              << "O'Neil.mdb";
    QTest::newRow("empty pairs") << ";;Data Source=a;;"
                                 << "Data Source"
                                 << "a";
    QTest::newRow("empty value") << "Data Source=;X=1"
                                 << "Data Source"
                                 << "";
    QTest::newRow("last one wins") << "Data Source=a;data source=b"
                                   << "Data Source"
                                   << "b";
    QTest::newRow("doubled = in key") << "a==b=c"
                                      << "a=b"
                                      << "c";
    QTest::newRow("= in value") << "k=a=b"
                                << "k"
                                << "a=b";
}

void TestStore::parseConnectionString()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(QString, value);
    const ConnectionString parsed = ConnectionString::parse(text);
    QVERIFY(parsed.contains(key));
    QCOMPARE(parsed.value(key), value);
    QVERIFY(!parsed.contains(QStringLiteral("User ID")));
}

void TestStore::malformedConnectionString_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("no =") << "Provider";
    QTest::newRow("no = before ;") << "Provider;Data Source=a";
    QTest::newRow("no key") << "=a";
    QTest::newRow("open quote") << "Data Source=\"a;b";
    QTest::newRow("text after quote") << "Data Source=\"a\"b";
}

void TestStore::malformedConnectionString()
{
    QFETCH(QString, text);
    QVERIFY_THROWS_EXCEPTION(QuorvaneError, ConnectionString::parse(text));
}

void TestStore::builtConnectionString()
{
    QCOMPARE(connectionStringFor(QStringLiteral("C:\\WINDOWS\\system32\\zoradu.dll")),
             QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\WINDOWS\\system32\\"
                            "zoradu.dll;Persist Security Info=False;Jet OLEDB:Database "
                            "Password=5B0D7A9C3F26E18B4"));
    // A %1 in the path is not mistaken for the password's place.
    QCOMPARE(ConnectionString::parse(connectionStringFor(QStringLiteral("/d%1/%2.db")))
                 .value(QStringLiteral("Data Source")),
             QStringLiteral("/d%1/%2.db"));
    QVERIFY(DatabaseLocation::databasePath().endsWith(QStringLiteral("zoradu.dll")));
}

void TestStore::builtConnectionStringRoundTrips_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("semicolon") << "/tmp/a;b/zoradu.dll";
    QTest::newRow("both quotes") << "/tmp/O'Neil \"x\";/zoradu.dll";
    QTest::newRow("leading quote") << "\"quoted\"";
    QTest::newRow("leading blank") << " /tmp/x.db ";
    QTest::newRow("equals") << "/tmp/a=b.db";
}

void TestStore::builtConnectionStringRoundTrips()
{
    // Whatever the path, the built string names that same file.
    QFETCH(QString, path);
    const ConnectionString parsed = ConnectionString::parse(connectionStringFor(path));
    QCOMPARE(parsed.value(QStringLiteral("Data Source")), path);
    QCOMPARE(parsed.value(QStringLiteral("Jet OLEDB:Database Password")),
             DatabaseLocation::password);
}

void TestStore::detect_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<DatabaseFileKind>("kind");
    QTest::newRow("empty") << QByteArray() << DatabaseFileKind::Empty;
    QTest::newRow("sqlite") << QByteArray("SQLite format 3\0abc", 19) << DatabaseFileKind::Sqlite;
    QTest::newRow("jet 4") << jetHeader(1) << DatabaseFileKind::Jet4;
    QTest::newRow("jet 3") << jetHeader(0) << DatabaseFileKind::Jet3;
    QTest::newRow("text") << QByteArray("Provider=Microsoft.Jet.OLEDB.4.0\n")
                          << DatabaseFileKind::NotADatabase;
    QTest::newRow("jet name not at 4")
        << QByteArray("Standard Jet DB and more bytes here") << DatabaseFileKind::NotADatabase;
    QByteArray ace = jetHeader(2);
    ace.replace(4, 16, QByteArray("Standard ACE DB\0", 16));
    QTest::newRow("accdb") << ace << DatabaseFileKind::NotADatabase;
}

void TestStore::detect()
{
    QFETCH(QByteArray, content);
    QFETCH(DatabaseFileKind, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zoradu.dll"));
    QCOMPARE(detectDatabaseFile(path), DatabaseFileKind::Missing);
    writeFile(path, content);
    QCOMPARE(detectDatabaseFile(path), kind);
    QCOMPARE(detectDatabaseFile(dir.path()), DatabaseFileKind::Missing);
}

void TestStore::badFile_data()
{
    QTest::addColumn<FileMaker>("make");
    QTest::addColumn<QString>("cause");

    const auto add = [](const char *name, FileMaker make, const char *cause) {
        QTest::newRow(name) << make << QString::fromUtf8(cause);
    };
    add(
        "missing", [](const QString &) {}, "找不到");
    add(
        "empty", [](const QString &p) { writeFile(p, {}); }, "空文件");
    add(
        "text", [](const QString &p) { writeFile(p, "企业代码,省份\nE1,广东\n"); }, "不是数据库");
    add(
        "random bytes",
        [](const QString &p) {
            QByteArray bytes(8192, '\0');
            QRandomGenerator gen(7);
            for (char &b : bytes)
                b = char(gen.bounded(256));
            writeFile(p, bytes);
        },
        "不是数据库");
    add(
        "sqlite header only",
        [](const QString &p) {
            writeFile(p, QByteArray("SQLite format 3\0", 16) + QByteArray(20, '\x01'));
        },
        "已损坏");
    add(
        "truncated",
        [](const QString &p) {
            createStore(p, 400);
            const QByteArray all = readFile(p);
            writeFile(p, all.left(all.size() / 2));
        },
        "已损坏");
    add(
        "truncated to one page",
        [](const QString &p) {
            createStore(p, 400);
            writeFile(p, readFile(p).left(4096));
        },
        "已损坏");
    add(
        "bad page size",
        [](const QString &p) {
            createStore(p);
            QByteArray all = readFile(p);
            all[16] = 0x03;
            all[17] = 0x01;
            writeFile(p, all);
        },
        "已损坏");
    add(
        "schema page garbage",
        [](const QString &p) {
            createStore(p, 50);
            QByteArray all = readFile(p);
            for (int i = 100; i < 4096; ++i)
                all[i] = char(i * 37);
            writeFile(p, all);
        },
        "已损坏");
    add(
        "no table 外商",
        [](const QString &p) {
            SqliteDatabase db = SqliteDatabase::openForWriting(p);
            db.exec("CREATE TABLE 外资 (企业代码 TEXT)");
        },
        "没有表“外商”");
    add(
        "directory", [](const QString &p) { QDir().mkpath(p); }, "目录");
    add(
        "jet 3", [](const QString &p) { writeFile(p, jetHeader(0)); }, "Jet 3");
}

void TestStore::badFile()
{
    QFETCH(FileMaker, make);
    QFETCH(QString, cause);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("数据 #1?/zoradu.dll"));
    QDir().mkpath(QFileInfo(path).path());
    make(path);
    const QByteArray before = fileHash(path);
    const QStringList listing = entries(QFileInfo(path).path());

    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            if (attempt == 0) {
                openEnterpriseStore(path, DatabaseLocation::password);
            } else {
                Connection connection;
                connection.setConnectionString(connectionStringFor(path));
                searchAll(connection);
            }
            QFAIL("no error");
        } catch (const QuorvaneError &error) {
            QVERIFY2(error.message().contains(QDir::toNativeSeparators(path)),
                     qPrintable(error.message()));
            QVERIFY2(error.message().contains(cause), qPrintable(error.message()));
        }
    }
    QCOMPARE(fileHash(path), before);
    QCOMPARE(entries(QFileInfo(path).path()), listing);
}

void TestStore::corruptedPagesFailOnSearch()
{
    // The schema reads well, so the store opens; the damage lies in the
    // rows, which only the search reaches.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zoradu.dll"));
    createStore(path, 600);
    QByteArray all = readFile(path);
    QVERIFY(all.size() > 40 * 4096);
    for (qsizetype i = 8 * 4096; i < 30 * 4096; ++i)
        all[i] = char(0xA5 ^ (i & 0xFF));
    writeFile(path, all);
    const QByteArray before = fileHash(path);

    Connection connection;
    connection.setConnectionString(connectionStringFor(path));
    connection.open();
    try {
        searchAll(connection);
        QFAIL("the damage went unnoticed");
    } catch (const QuorvaneError &error) {
        QVERIFY2(error.message().contains(QDir::toNativeSeparators(path)),
                 qPrintable(error.message()));
        QVERIFY2(error.message().contains(QStringLiteral("已损坏")), qPrintable(error.message()));
    }
    connection.close();
    QCOMPARE(fileHash(path), before);
    QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("zoradu.dll")});
}

void TestStore::randomDamageNeverCrashes()
{
    // Bytes flipped anywhere, the schema page included: the search either
    // works or reports an error; it never crashes or hangs.
    QTemporaryDir dir;
    const QString pristine = dir.filePath(QStringLiteral("pristine.db"));
    createStore(pristine, 300, "CREATE INDEX by_province ON 外商(省份)");
    const QByteArray original = readFile(pristine);
    const QString path = dir.filePath(QStringLiteral("zoradu.dll"));
    QRandomGenerator gen(20240611);
    int failures = 0;
    for (int round = 0; round < 60; ++round) {
        QByteArray damaged = original;
        const int flips = 1 + int(gen.bounded(40));
        for (int f = 0; f < flips; ++f)
            damaged[gen.bounded(int(damaged.size()))] = char(gen.bounded(256));
        writeFile(path, damaged);
        try {
            Connection connection;
            connection.setConnectionString(connectionStringFor(path));
            searchAll(connection);
        } catch (const QuorvaneError &error) {
            QVERIFY(!error.message().isEmpty());
            ++failures;
        }
        QCOMPARE(readFile(path), damaged);
    }
    qInfo("%d of 60 damaged stores reported an error", failures);
}

void TestStore::readOnlyAndLeavesNothingBeside_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("extraSql");
    QTest::newRow("plain") << "zoradu.dll" << QByteArray();
    QTest::newRow("odd name") << "a;b #1 ?x=%20 中文 'q'.dll" << QByteArray();
    QTest::newRow("WAL store") << "zoradu.dll" << QByteArray("PRAGMA journal_mode=WAL");
}

void TestStore::readOnlyAndLeavesNothingBeside()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, extraSql);
    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    createStore(path, 50, extraSql);
    QCOMPARE(entries(dir.path()), QStringList{fileName});
    const QByteArray before = fileHash(path);
    QFile(path).setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup);

    {
        Connection connection;
        connection.setConnectionString(connectionStringFor(path));
        connection.open();
        QCOMPARE(searchAll(connection), 50);
        // Not even a statement of ours can change it.
        QVERIFY_THROWS_EXCEPTION(QuorvaneError, connection.database()->exec("DELETE FROM 外商"));
        QVERIFY_THROWS_EXCEPTION(QuorvaneError, connection.database()->exec("CREATE TABLE x (a)"));
        QCOMPARE(entries(dir.path()), QStringList{fileName});
    }
    QCOMPARE(entries(dir.path()), QStringList{fileName});
    QCOMPARE(fileHash(path), before);

    // A missing store is never created, neither by the store nor by SQLite.
    const QString missing = dir.filePath(QStringLiteral("missing.db"));
    QVERIFY_THROWS_EXCEPTION(QuorvaneError, SqliteDatabase::openReadOnly(missing));
    QVERIFY(!QFile::exists(missing));
}

void TestStore::takesNoLocks()
{
    // Other programs may open the file while we hold it: two connections
    // of ours read together, and a writer can still lock it exclusively.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zoradu.dll"));
    createStore(path, 20);

    Connection first;
    first.setConnectionString(connectionStringFor(path));
    Connection second;
    second.setConnectionString(connectionStringFor(path));
    Query rows(&first);
    rows.setSql(QStringLiteral("SELECT * FROM 外商 WHERE 1=1"));
    rows.open();
    QCOMPARE(searchAll(second), 20);

    SqliteDatabase writer = SqliteDatabase::openForWriting(path);
    writer.exec("PRAGMA busy_timeout = 0");
    writer.exec("BEGIN EXCLUSIVE");
    writer.exec("ROLLBACK");
    QCOMPARE(rows.recordCount(), 20);
    QCOMPARE(rows.fieldText(EnterpriseTable::enterpriseCode), QStringLiteral("E0"));
}

void TestStore::connectionChecksProviderAndSource()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zoradu.dll"));
    createStore(path);
    const QStringList bad = {
        QStringLiteral("Provider=SQLOLEDB;Data Source=%1").arg(path),
        QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0"),
        QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"%1").arg(path),
    };
    for (const QString &text : bad) {
        Connection connection;
        connection.setConnectionString(text);
        QVERIFY_THROWS_EXCEPTION(QuorvaneError, connection.open());
        QVERIFY(!connection.isConnected());
    }
    Connection connection;
    connection.setConnectionString(
        QStringLiteral("provider=microsoft.jet.oledb.4.0; data source = '%1'").arg(path));
    connection.open();
    QVERIFY(connection.isConnected());
    connection.setConnectionString(connectionStringFor(path));
    QVERIFY(!connection.isConnected());
}

void TestStore::connectionRetriesAfterFailure()
{
    // A store that was missing at start is picked up by the next search.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zoradu.dll"));
    Connection connection;
    connection.setConnectionString(connectionStringFor(path));
    QVERIFY_THROWS_EXCEPTION(QuorvaneError, connection.open());
    Query rows(&connection);
    SearchCriteria criteria;
    criteria.province = QStringLiteral("广");
    QVERIFY_THROWS_EXCEPTION(QuorvaneError, runSearch(connection, rows, criteria));
    QVERIFY(!rows.isOpen());
    QVERIFY(!connection.isConnected());

    createStore(path, 4);
    QCOMPARE(runSearch(connection, rows, criteria), std::optional<qint64>(2));
    QVERIFY(connection.isConnected());
    QCOMPARE(rows.recordCount(), 2);
}

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
