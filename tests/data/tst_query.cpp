// Row sets and the data source: positioning, the notifications views rely
// on, and that the keyset path gives the rows the statement means.

#include "data/Connection.h"
#include "data/DataSource.h"
#include "data/DatabaseLocation.h"
#include "data/JetFunctions.h"
#include "data/Query.h"
#include "data/QuorvaneError.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray columns = "企业代码 TEXT, 省份 TEXT, 公司名称 TEXT, 地址 TEXT, 经营范围 TEXT, "
                           "行业代码 TEXT, 邮编 TEXT, 行业 TEXT, 电话 TEXT, 传真 TEXT";

// Fills table `table` (already created) with `rows` companies.
void fill(SqliteDatabase &db, const QByteArray &table, int rows)
{
    const char *provinces[] = {"广东省", "江苏省", "广西壮族自治区", "北京市", "上海市"};
    db.exec("BEGIN");
    SqliteStatement insert(db.handle(),
                           "INSERT INTO " + table +
                               " (企业代码, 省份, 公司名称, 地址, 经营范围, 行业代码, "
                               "邮编, 行业, 电话, 传真) VALUES "
                               "(?1, ?2, ?3, ?4, ?5, ?6, '100000', '电子', '010', ?7)");
    for (int i = 0; i < rows; ++i) {
        insert.bind(1, QStringLiteral("E%1").arg(i, 5, 10, QLatin1Char('0')));
        insert.bind(2, QString::fromUtf8(provinces[(i * 7) % 5]));
        insert.bind(3, i % 11 == 0 ? QStringLiteral("Union 联合电子%1").arg(i)
                                   : QStringLiteral("电子公司%1").arg(i));
        if (i % 13 == 0)
            insert.bindNull(4);
        else
            insert.bind(4, QStringLiteral("路%1号").arg(i));
        insert.bind(5, QStringLiteral("Software %1").arg(i % 3));
        insert.bind(6, QStringLiteral("C%1").arg(10 + i % 30));
        insert.bindNull(7);
        insert.step();
        insert.reset();
    }
    db.exec("COMMIT");
}

QString makeStore(const QTemporaryDir &dir, const QByteArray &schema, int rows,
                  const QByteArray &table = "外商")
{
    const QString path = dir.filePath(QStringLiteral("zoradu.dll"));
    SqliteDatabase db = SqliteDatabase::openForWriting(path);
    db.exec("PRAGMA synchronous = OFF");
    db.exec(schema);
    fill(db, table, rows);
    return path;
}

QString plainSchema()
{
    return QStringLiteral("CREATE TABLE 外商 (%1, 注册资本 INTEGER)")
        .arg(QString::fromUtf8(columns));
}

// Every row of the statement as SQLite gives it when run as written.
QList<QVariantList> asWritten(const QString &path, const QString &sql)
{
    SqliteDatabase db = SqliteDatabase::openReadOnly(path);
    registerJetFunctions(db.handle());
    SqliteStatement statement(db.handle(), sql.toUtf8());
    QList<QVariantList> rows;
    while (statement.step()) {
        QVariantList row;
        for (int c = 0; c < statement.columnCount(); ++c)
            row << (statement.isNull(c) ? QVariant() : QVariant(statement.text(c)));
        rows << row;
    }
    return rows;
}

QList<QVariantList> rowsOf(const Query &query)
{
    QList<QVariantList> rows;
    for (int r = 0; r < query.recordCount(); ++r) {
        QVariantList row;
        for (int c = 0; c < query.fieldNames().size(); ++c)
            row << query.value(r, c);
        rows << row;
    }
    return rows;
}

} // namespace

class TestQuery final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void positioningAndNotifications_data();
    void positioningAndNotifications();
    void emptyAndFailingResults();
    void values();
    void count();
    void rowsOutliveTheConnection();
    void sameRowsAsWritten_data();
    void sameRowsAsWritten();
    void manyRowsInAnyOrder();
    void dataSourceSuspendsViews();

private:
    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<Connection> m_connection;
};

void TestQuery::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    if (m_path.isEmpty())
        m_path = makeStore(m_dir, plainSchema().toUtf8(), 3);
    m_connection = std::make_unique<Connection>();
    m_connection->setConnectionString(
        DatabaseLocation::connectionString(m_path, DatabaseLocation::password));
}

void TestQuery::positioningAndNotifications_data()
{
    QTest::addColumn<QString>("sql");
    // The first reads by row ids, the second reads the whole result.
    QTest::newRow("keyset") << "SELECT * FROM 外商 WHERE 1=1";
    QTest::newRow("materialized") << "SELECT 外商.* FROM 外商 WHERE 1=1";
}

void TestQuery::positioningAndNotifications()
{
    QFETCH(QString, sql);
    Query query(m_connection.get());
    QSignalSpy scrolled(&query, &Query::afterScroll);
    QSignalSpy state(&query, &Query::stateChanged);

    QVERIFY(!query.isOpen());
    QCOMPARE(query.recNo(), 0);
    QVERIFY(query.eof());
    query.setSql(sql);
    QCOMPARE(state.count(), 0); // replacing the text of a closed set says nothing

    query.open();
    QVERIFY(query.isOpen());
    QCOMPARE(state.count(), 1);
    QCOMPARE(scrolled.count(), 1);
    QCOMPARE(query.recordCount(), 3);
    QCOMPARE(query.recNo(), 1);
    QVERIFY(!query.eof());

    // The report's walk: each move raises one notification, the step past
    // the end none.
    QStringList seen;
    for (query.first(); !query.eof(); query.next())
        seen << query.fieldText(QStringLiteral("企业代码"));
    QCOMPARE(seen, (QStringList{"E00000", "E00001", "E00002"}));
    QCOMPARE(scrolled.count(), 1 + 3);
    QCOMPARE(query.recNo(), 3);
    query.next();
    QCOMPARE(scrolled.count(), 4);
    QVERIFY(query.eof());

    query.moveTo(1);
    QCOMPARE(scrolled.count(), 5);
    QCOMPARE(query.recNo(), 2);
    QVERIFY(!query.eof());
    for (int row : {1, -1, 3, 99})
        query.moveTo(row);
    QCOMPARE(scrolled.count(), 5);
    QCOMPARE(query.recNo(), 2);

    // Reopening closes first and notifies both ways.
    query.open();
    QCOMPARE(state.count(), 3);
    QCOMPARE(scrolled.count(), 6);
    QCOMPARE(query.recNo(), 1);

    query.setSql(sql);
    QVERIFY(!query.isOpen());
    QCOMPARE(state.count(), 4);
    QCOMPARE(query.recordCount(), 0);
    QCOMPARE(query.recNo(), 0);
    QVERIFY(query.eof());
    QCOMPARE(query.fieldText(QStringLiteral("企业代码")), QString());
    query.first();
    query.next();
    query.moveTo(0);
    QCOMPARE(scrolled.count(), 6);
    query.close();
    QCOMPARE(state.count(), 4);
}

void TestQuery::emptyAndFailingResults()
{
    Query query(m_connection.get());
    QSignalSpy scrolled(&query, &Query::afterScroll);
    QSignalSpy state(&query, &Query::stateChanged);

    for (const char *sql : {"SELECT * FROM 外商 WHERE 1=0", "SELECT 外商.* FROM 外商 WHERE 1=0"}) {
        query.setSql(QString::fromUtf8(sql));
        query.open();
        QVERIFY(query.isOpen());
        QCOMPARE(query.recordCount(), 0);
        QCOMPARE(query.recNo(), 0);
        QVERIFY(query.eof());
        QCOMPARE(query.fieldNames().size(), 11); // the header of an empty result
        query.first();
        query.next();
    }
    QCOMPARE(scrolled.count(), 0);
    QCOMPARE(state.count(), 3); // open, close by setSql, open

    for (const char *sql : {"SELECT * FROM 外商 WHERE 没有这列 = 1", "SELECT * FROM 没有这表",
                            "SELECT * FROM 外商 WHERE InStr(0, 省份, 'a') > 0", "", "garbage",
                            "SELECT 1; SELECT 2"}) {
        query.setSql(QString::fromUtf8(sql));
        QVERIFY_THROWS_EXCEPTION(QuorvaneError, query.open());
        QVERIFY(!query.isOpen());
        QCOMPARE(query.recordCount(), 0);
        QVERIFY(query.fieldNames().isEmpty());
    }
    QCOMPARE(scrolled.count(), 0);
    QCOMPARE(state.count(), 4);
}

void TestQuery::values()
{
    Query query(m_connection.get());
    query.setSql(QStringLiteral("SELECT * FROM 外商 WHERE 1=1"));
    query.open();
    QCOMPARE(query.fieldNames(),
             (QStringList{"企业代码", "省份", "公司名称", "地址", "经营范围", "行业代码", "邮编",
                          "行业", "电话", "传真", "注册资本"}));
    QCOMPARE(query.fieldText(QStringLiteral("公司名称")), QStringLiteral("Union 联合电子0"));
    // NULL: an invalid value, read as empty text.
    const int fax = query.fieldIndex(QStringLiteral("传真"));
    QVERIFY(!query.value(0, fax).isValid());
    QCOMPARE(query.fieldText(QStringLiteral("传真")), QString());
    QCOMPARE(query.fieldText(QStringLiteral("注册资本")), QString());
    QCOMPARE(query.fieldText(QStringLiteral("没有这列")), QString());
    QVERIFY(!query.value(0, 99).isValid());
    QVERIFY(!query.value(7, 0).isValid());
    QCOMPARE(query.text(2, 0), QStringLiteral("E00002"));
}

void TestQuery::count()
{
    Query query(m_connection.get());
    query.setSql(QStringLiteral("SELECT Count(*) as totalcount FROM 外商 WHERE 1=1"));
    query.open();
    QCOMPARE(query.firstValueAsInteger(), 3);
    query.setSql(QStringLiteral("SELECT Count(*) as totalcount FROM 外商 WHERE 1=0"));
    query.open();
    QCOMPARE(query.firstValueAsInteger(), 0);

    for (const char *sql : {"SELECT 企业代码 FROM 外商 WHERE 1=0", "SELECT 省份 FROM 外商"}) {
        query.setSql(QString::fromUtf8(sql));
        query.open();
        QVERIFY_THROWS_EXCEPTION(QuorvaneError, query.firstValueAsInteger());
    }
    query.close();
    QVERIFY_THROWS_EXCEPTION(QuorvaneError, query.firstValueAsInteger());
}

void TestQuery::rowsOutliveTheConnection()
{
    Query query(m_connection.get());
    query.setSql(QStringLiteral("SELECT * FROM 外商 WHERE 1=1"));
    query.open();
    m_connection->close();
    QCOMPARE(query.text(2, 0), QStringLiteral("E00002"));
    m_connection.reset();
    QCOMPARE(query.text(1, 0), QStringLiteral("E00001"));
}

void TestQuery::sameRowsAsWritten_data()
{
    QTest::addColumn<QByteArray>("schema");
    QTest::addColumn<QString>("sql");

    const QByteArray indexed = plainSchema().toUtf8() + ";CREATE INDEX p ON 外商(省份);"
                                                        "CREATE INDEX c ON 外商(行业代码)";
    const QByteArray named = "CREATE TABLE 外商 (" + columns +
                             ", rowid INTEGER, _rowid_ INTEGER);"
                             "CREATE INDEX p ON 外商(省份)";
    const QByteArray allNamed =
        "CREATE TABLE 外商 (" + columns + ", rowid INTEGER, _rowid_ INTEGER, oid INTEGER)";
    const QByteArray view =
        "CREATE TABLE base (" + columns + ");CREATE VIEW 外商 AS SELECT * FROM base WHERE 1=1";
    const QByteArray withoutRowid =
        "CREATE TABLE 外商 (" + columns + ", PRIMARY KEY (企业代码)) WITHOUT ROWID";

    const QStringList statements = {
        "SELECT * FROM 外商",
        "SELECT * FROM 外商 WHERE 1=1",
        "SELECT * FROM 外商 WHERE 1=1 AND 省份 like '广%'",
        "SELECT * FROM 外商 WHERE 1=1 AND 行业代码 like 'C1%' AND 公司名称 like '%电子%'",
        "SELECT * FROM 外商 WHERE 省份 > '北' AND 行业代码 = 'C13'",
        "select * from 外商 where 公司名称 like '%union%'",
        "SELECT * FROM 外商 WHERE 省份 like '广%' UNION SELECT * FROM 外商 WHERE 省份 like '江%'",
        "SELECT * FROM 外商 WHERE 省份 like '上%' UNION ALL SELECT * FROM 外商 WHERE 1=1",
        "SELECT * FROM 外商 WHERE 省份 IN (SELECT 省份 FROM 外商 WHERE 行业代码 like 'C2%')",
        "SELECT * FROM 外商 WHERE 1=1 ORDER BY 公司名称 DESC",
        "SELECT * FROM 外商 WHERE 1=1 ORDER BY 2, 1",
        "SELECT * FROM 外商 WHERE 1=1 LIMIT 7 OFFSET 3",
        "SELECT * FROM [外商] WHERE 地址 IS NULL",
        "SELECT * FROM 外商 WHERE 1=1 GROUP BY 省份",
    };
    const std::pair<const char *, QByteArray> schemas[] = {
        {"indexed", indexed}, {"rowid columns", named},        {"all aliases taken", allNamed},
        {"view", view},       {"without rowid", withoutRowid},
    };
    for (const auto &[name, schema] : schemas) {
        for (int i = 0; i < statements.size(); ++i)
            QTest::addRow("%s %d", name, i) << schema << statements[i];
    }
}

void TestQuery::sameRowsAsWritten()
{
    QFETCH(QByteArray, schema);
    QFETCH(QString, sql);

    QTemporaryDir dir;
    const QString path =
        makeStore(dir, schema, 300, schema.contains("TABLE base") ? "base" : "外商");
    {
        SqliteDatabase db = SqliteDatabase::openForWriting(path);
        db.exec("UPDATE " + QByteArray(schema.contains("TABLE base") ? "base" : "外商") +
                " SET 传真 = 'F' || 企业代码 WHERE 企业代码 LIKE '%5'");
        if (schema.contains(" rowid INTEGER"))
            db.exec("UPDATE 外商 SET rowid = 7, _rowid_ = NULL");
    }
    Connection connection;
    connection.setConnectionString(
        DatabaseLocation::connectionString(path, DatabaseLocation::password));
    Query query(&connection);
    query.setSql(sql);
    query.open();
    const QList<QVariantList> expected = asWritten(path, sql);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(query.recordCount(), expected.size());
    QCOMPARE(rowsOf(query), expected);
}

void TestQuery::manyRowsInAnyOrder()
{
    // More rows than the row cache holds, read back to front and then at
    // random: each read gives its own row.
    QTemporaryDir dir;
    const QString path = makeStore(dir, plainSchema().toUtf8(), 9000);
    const QString sql = QStringLiteral("SELECT * FROM 外商 WHERE 1=1 AND 省份 like '广%'");
    const QList<QVariantList> expected = asWritten(path, sql);
    QCOMPARE(expected.size(), 3600);

    Connection connection;
    connection.setConnectionString(
        DatabaseLocation::connectionString(path, DatabaseLocation::password));
    Query query(&connection);
    query.setSql(sql);
    query.open();
    QCOMPARE(query.recordCount(), expected.size());
    for (int r = query.recordCount() - 1; r >= 0; --r)
        QCOMPARE(query.value(r, 0), expected[r][0]);
    for (int i = 0; i < 20000; ++i) {
        const int r = (i * 7919) % query.recordCount();
        QCOMPARE(query.value(r, 2), expected[r][2]);
    }
}

void TestQuery::dataSourceSuspendsViews()
{
    Query query(m_connection.get());
    DataSource source(&query);
    QCOMPARE(source.dataSet(), &query);
    QSignalSpy changed(&source, &DataSource::dataSetChanged);
    QSignalSpy moved(&source, &DataSource::recordChanged);

    query.setSql(QStringLiteral("SELECT * FROM 外商 WHERE 1=1"));
    query.open();
    query.next();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(moved.count(), 2);

    // Nested suspensions: nothing is heard until the last resume, which
    // asks for one full refresh.
    source.disableControls();
    source.disableControls();
    QVERIFY(source.controlsDisabled());
    query.first();
    query.next();
    query.open();
    source.enableControls();
    QVERIFY(source.controlsDisabled());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(moved.count(), 2);
    source.enableControls();
    QVERIFY(!source.controlsDisabled());
    QCOMPARE(changed.count(), 2);
    QCOMPARE(moved.count(), 3);
    source.enableControls(); // one too many: ignored
    QVERIFY(!source.controlsDisabled());
    QCOMPARE(changed.count(), 2);
    query.next();
    QCOMPARE(moved.count(), 4);

    // The guard resumes even when the walk fails.
    try {
        const DisabledControls guard(&source);
        query.next();
        QVERIFY(source.controlsDisabled());
        throw QuorvaneError(QStringLiteral("打印失败"));
    } catch (const QuorvaneError &) {
    }
    QVERIFY(!source.controlsDisabled());
    QCOMPARE(changed.count(), 3);
    QCOMPARE(moved.count(), 5);
}

QTEST_GUILESS_MAIN(TestQuery)
#include "tst_query.moc"
