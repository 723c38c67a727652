// The search: trimming the criteria, the two statements, what they find on
// a small store, and input meant to break them.

#include "data/Connection.h"
#include "data/DatabaseLocation.h"
#include "data/EnterpriseTable.h"
#include "data/Query.h"
#include "data/QuorvaneError.h"
#include "data/Search.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

enum Field { TradeCode, Scope, Company, Trade, Province, Address };

void set(SearchCriteria &criteria, Field field, const QString &value)
{
    QString *fields[] = {&criteria.tradeCode, &criteria.businessScope, &criteria.companyName,
                         &criteria.trade,     &criteria.province,      &criteria.address};
    *fields[field] = value;
}

SearchCriteria only(Field field, const QString &value)
{
    SearchCriteria criteria;
    set(criteria, field, value);
    return criteria;
}

// 企业代码, 省份, 公司名称, 地址, 经营范围, 行业代码, 行业; nullptr for NULL.
struct Firm
{
    const char *code, *province, *name, *address, *scope, *tradeCode, *trade;
};

const Firm companies[] = {
    {"E001", "广东省", "深圳电子有限公司", "深圳市南山区", "Software development; 电子产品", "C13",
     "电子"},
    {"E002", "广西壮族自治区", "南宁电子厂", "南宁市青秀区", "software SERVICES", "C1301",
     "电子元件"},
    {"E003", "江苏广陵", "广陵机械有限公司", "扬州市广陵区", "机械制造", "C34", "机械"},
    {"E004", "北京市", "O'Brien 咨询有限公司", "北京市朝阳区", "CONSULTING 100% 服务", "L72",
     "咨询"},
    {"E005", "上海市", "上海ΣΙΓΜΑ贸易公司", "上海市黄浦区", "ΕΛΛΗΝΙΚΆ εμπόριο", "F51", "贸易"},
    {"E006", "浙江省", nullptr, nullptr, nullptr, "C13", nullptr},
    {"E007", "上海市", "Ａｃｍｅ 公司", "上海_浦东", "trade_x 50%", "F52", "贸易"},
    {"E008", "天津市", "ПРИВЕТ компания", "Café Street 5", "ÉCOLE de commerce", "P82", "教育"},
    {"E009", "广东省", "中国　联合 [集团]", "广州市\\天河区", "电子", "C39", "电子"},
};

QString text(const char *utf8)
{
    return utf8 ? QString::fromUtf8(utf8) : QString();
}

QString makeStore(const QTemporaryDir &dir, const QString &name = QStringLiteral("zoradu.dll"),
                  const QByteArray &schema = {})
{
    const QString path = dir.filePath(name);
    SqliteDatabase db = SqliteDatabase::openForWriting(path);
    db.exec(schema.isEmpty() ? QByteArray("CREATE TABLE 外商 (企业代码 TEXT, 省份 TEXT, 公司名称 "
                                          "TEXT, 地址 TEXT, 经营范围 TEXT, 行业代码 TEXT, 邮编 "
                                          "TEXT, 行业 TEXT, 电话 TEXT, 传真 TEXT, 注册资本 "
                                          "INTEGER, 备注 TEXT)")
                             : schema);
    if (!schema.isEmpty())
        return path;
    SqliteStatement insert(db.handle(), "INSERT INTO 外商 VALUES (?1, ?2, ?3, ?4, ?5, ?6, "
                                        "'100000', ?7, '010-1', NULL, 500, '外资')");
    for (const Firm &c : companies) {
        const char *values[] = {c.code,  c.province,  c.name, c.address,
                                c.scope, c.tradeCode, c.trade};
        for (int i = 0; i < 7; ++i)
            insert.bind(i + 1, text(values[i]));
        insert.step();
        insert.reset();
    }
    return path;
}

QStringList codes(const Query &rows)
{
    QStringList result;
    const int column = rows.fieldIndex(EnterpriseTable::enterpriseCode);
    for (int r = 0; r < rows.recordCount(); ++r)
        result << rows.text(r, column);
    result.sort();
    return result;
}

// The statement with every string literal emptied, and the literals' contents.
std::pair<QString, QStringList> splitLiterals(const QString &sql)
{
    QString skeleton;
    QStringList literals;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        if (sql[i] != QLatin1Char('\'')) {
            skeleton += sql[i];
            continue;
        }
        QString literal;
        for (++i; i < sql.size(); ++i) {
            if (sql[i] == QLatin1Char('\'')) {
                if (i + 1 < sql.size() && sql[i + 1] == QLatin1Char('\'')) {
                    literal += QLatin1Char('\'');
                    ++i;
                    continue;
                }
                break;
            }
            literal += sql[i];
        }
        skeleton += QStringLiteral("''");
        literals << literal;
    }
    return {skeleton, literals};
}

} // namespace

class TestSearch final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void trimming_data();
    void trimming();
    void statements_data();
    void statements();
    void workedExample();
    void nothingToSearchFor();
    void totalText();

    void matches_data();
    void matches();
    void badInput_data();
    void badInput();
    void nulCharacter();
    void rowStatementFails();
    void countStatementFails();

private:
    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<Connection> m_connection;
};

void TestSearch::initTestCase()
{
    m_path = makeStore(m_dir);
}

void TestSearch::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    m_connection = std::make_unique<Connection>();
    m_connection->setConnectionString(
        DatabaseLocation::connectionString(m_path, DatabaseLocation::password));
}

void TestSearch::trimming_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("trimmed");
    QTest::newRow("plain") << "C13"
                           << "C13";
    QTest::newRow("spaces") << "  C13  "
                            << "C13";
    QTest::newRow("controls") << QStringLiteral("\t\r\n\x01"
                                                "C13\x1f ")
                              << "C13";
    QTest::newRow("NUL at the ends") << (QChar(0) + QStringLiteral("C13") + QChar(0)) << "C13";
    QTest::newRow("inner blanks stay") << " 电子 有限\t公司 "
                                       << "电子 有限\t公司";
    QTest::newRow("ideographic space stays") << "　电子　"
                                             << "　电子　";
    QTest::newRow("only ideographic space") << "　"
                                            << "　";
    QTest::newRow("no-break space stays") << "\u00a0x\u00a0"
                                          << "\u00a0x\u00a0";
    QTest::newRow("DEL stays") << "\x7f"
                               << "\x7f";
    QTest::newRow("only blanks") << " \t\n "
                                 << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestSearch::trimming()
{
    QFETCH(QString, typed);
    QFETCH(QString, trimmed);
    QCOMPARE(SearchCriteria::trimmed(typed), trimmed);
    for (int f = TradeCode; f <= Address; ++f) {
        const SearchCriteria criteria = only(Field(f), typed);
        QCOMPARE(criteria.hasAny(), !trimmed.isEmpty());
        const auto statements = BuildSearchStatement(criteria);
        QCOMPARE(statements.has_value(), !trimmed.isEmpty());
        if (statements)
            QVERIFY(statements->rows.contains(trimmed));
    }
}

void TestSearch::statements_data()
{
    QTest::addColumn<SearchCriteria>("criteria");
    QTest::addColumn<QString>("conditions");

    const auto add = [](const char *name, const SearchCriteria &criteria, const char *conditions) {
        QTest::newRow(name) << criteria << QString::fromUtf8(conditions);
    };
    add("industry code", only(TradeCode, "C13"), " AND 行业代码 like 'C13%'");
    add("business scope", only(Scope, "Software"),
        " AND InStr(1,LCase(经营范围),LCase('Software'),0)<>0");
    add("company name", only(Company, "电子"), " AND 公司名称 like '%电子%'");
    add("industry", only(Trade, "电子"), " AND 行业 like '%电子%'");
    add("province", only(Province, "广"), " AND 省份 like '广%'");
    add("address", only(Address, "深圳"), " AND 地址 like '%深圳%'");
    add("quotes doubled", only(Company, "O'Brien''s"), " AND 公司名称 like '%O''Brien''''s%'");
    add("quote in scope", only(Scope, "it's"), " AND InStr(1,LCase(经营范围),LCase('it''s'),0)<>0");
    add("nothing else altered", only(Address, "%_[\\\"%1"), " AND 地址 like '%%_[\\\"%1%'");

    SearchCriteria all{"a", "b", "c", "d", "e", "f"};
    add("all six in fixed order", all,
        " AND 行业代码 like 'a%' AND InStr(1,LCase(经营范围),LCase('b'),0)<>0"
        " AND 公司名称 like '%c%' AND 行业 like '%d%' AND 省份 like 'e%' AND 地址 like '%f%'");
    SearchCriteria some{" x ", "\t", "", "　", "", "y"};
    add("absent ones skipped", some,
        " AND 行业代码 like 'x%' AND 行业 like '%　%' AND 地址 like '%y%'");
}

void TestSearch::statements()
{
    QFETCH(SearchCriteria, criteria);
    QFETCH(QString, conditions);
    const std::optional<SearchStatements> statements = BuildSearchStatement(criteria);
    QVERIFY(statements);
    QCOMPARE(statements->rows, QStringLiteral("SELECT * FROM 外商 WHERE 1=1") + conditions);
    QCOMPARE(statements->count,
             QStringLiteral("SELECT Count(*) as totalcount FROM 外商 WHERE 1=1") + conditions);
}

void TestSearch::workedExample()
{
    SearchCriteria criteria;
    criteria.tradeCode = QStringLiteral("C13");
    criteria.companyName = QStringLiteral("电子");
    const auto statements = BuildSearchStatement(criteria);
    QVERIFY(statements);
    QCOMPARE(
        statements->rows,
        QStringLiteral(
            "SELECT * FROM 外商 WHERE 1=1 AND 行业代码 like 'C13%' AND 公司名称 like '%电子%'"));
    QCOMPARE(statements->count,
             QStringLiteral("SELECT Count(*) as totalcount FROM 外商 WHERE 1=1 AND 行业代码 like "
                            "'C13%' AND 公司名称 like '%电子%'"));
}

void TestSearch::nothingToSearchFor()
{
    // Nothing runs and nothing changes: the rows of the last search stay.
    Query rows(m_connection.get());
    QCOMPARE(runSearch(*m_connection, rows, only(Province, QStringLiteral("广"))),
             std::optional<qint64>(3));
    QSignalSpy scrolled(&rows, &Query::afterScroll);
    QSignalSpy state(&rows, &Query::stateChanged);
    rows.next();
    for (const SearchCriteria &criteria :
         {SearchCriteria{}, SearchCriteria{" ", "\t", "\n", "\r\n", QString(QChar(0)), ""}}) {
        QVERIFY(!BuildSearchStatement(criteria));
        QCOMPARE(runSearch(*m_connection, rows, criteria), std::nullopt);
    }
    QVERIFY(rows.isOpen());
    QCOMPARE(rows.recordCount(), 3);
    QCOMPARE(rows.recNo(), 2);
    QCOMPARE(scrolled.count(), 1);
    QCOMPARE(state.count(), 0);
}

void TestSearch::totalText()
{
    QCOMPARE(::totalText(25), QStringLiteral("总记录：25"));
    QCOMPARE(::totalText(0), QStringLiteral("总记录：0"));
    QCOMPARE(::totalText(1234567), QStringLiteral("总记录：1234567"));
}

void TestSearch::matches_data()
{
    QTest::addColumn<SearchCriteria>("criteria");
    QTest::addColumn<QStringList>("expected");

    const auto add = [](const char *name, const SearchCriteria &criteria, QStringList expected) {
        QTest::newRow(name) << criteria << expected;
    };
    add("province starts with 广", only(Province, "广"), {"E001", "E002", "E009"});
    add("province 广东", only(Province, "广东"), {"E001", "E009"});
    add("province in the middle", only(Province, "东"), {});
    add("company contains 电子", only(Company, "电子"), {"E001", "E002"});
    add("industry code prefix", only(TradeCode, "C13"), {"E001", "E002", "E006"});
    add("code and company", SearchCriteria{"C13", "", "电子", "", "", ""}, {"E001", "E002"});
    add("scope upper", only(Scope, "SOFTWARE"), {"E001", "E002"});
    add("scope lower", only(Scope, "software"), {"E001", "E002"});
    add("scope Greek", only(Scope, "ελληνικά"), {"E005"});
    add("scope diacritics", only(Scope, "école"), {"E008"});
    add("scope % plain", only(Scope, "%"), {"E004", "E007"});
    add("scope 100% plain", only(Scope, "100%"), {"E004"});
    add("scope _ plain", only(Scope, "_"), {"E007"});
    add("scope e_x is not a wildcard", only(Scope, "e_x"), {"E007"});
    add("scope d_v is not a wildcard", only(Scope, "d_v"), {});
    add("company % wildcard", only(Company, "%"),
        {"E001", "E002", "E003", "E004", "E005", "E007", "E008", "E009"});
    add("company _ wildcard", only(Company, "南_电"), {"E002"});
    add("address _ literal too", only(Address, "上海_浦东"), {"E007"});
    add("company apostrophe", only(Company, "O'Brien"), {"E004"});
    add("company fullwidth upper", only(Company, "ＡＣＭＥ"), {"E007"});
    add("company fullwidth lower", only(Company, "ａｃｍｅ"), {"E007"});
    add("company Greek lower", only(Company, "σιγμα"), {"E005"});
    add("company Cyrillic lower", only(Company, "привет"), {"E008"});
    add("address diacritics", only(Address, "CAFÉ"), {"E008"});
    add("ideographic space", only(Company, "　"), {"E009"});
    add("brackets are plain", only(Company, "[集团]"), {"E009"});
    add("backslash", only(Address, "\\"), {"E009"});
    add("industry", only(Trade, "电子"), {"E001", "E002", "E009"});
    add("industry and province", SearchCriteria{"", "", "", "电子", "广东", ""}, {"E001", "E009"});
    add("all six", SearchCriteria{"C", "电子", "电子", "电子", "广", "深圳"}, {"E001"});
    add("trimmed", only(Province, "\t广\n"), {"E001", "E002", "E009"});
    add("nothing found", only(Company, "不存在的公司"), {});
}

void TestSearch::matches()
{
    QFETCH(SearchCriteria, criteria);
    QFETCH(QStringList, expected);

    Query rows(m_connection.get());
    QSignalSpy scrolled(&rows, &Query::afterScroll);
    const std::optional<qint64> total = runSearch(*m_connection, rows, criteria);
    QVERIFY(total);
    QCOMPARE(codes(rows), expected);
    QCOMPARE(*total, qint64(expected.size()));
    QCOMPARE(rows.recNo(), expected.isEmpty() ? 0 : 1);
    QCOMPARE(scrolled.count(), expected.isEmpty() ? 0 : 1);
}

void TestSearch::badInput_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("findsNothing");

    QTest::newRow("quote") << "'" << false;
    QTest::newRow("two quotes") << "''" << true;
    QTest::newRow("injection") << "x' OR '1'='1" << true;
    QTest::newRow("injection comment") << "x'--" << true;
    QTest::newRow("injection union") << "' UNION SELECT * FROM 外商 --" << true;
    QTest::newRow("statement end") << "'; DROP TABLE 外商; --" << true;
    QTest::newRow("percent") << "%" << false;
    QTest::newRow("underscore") << "_" << false;
    QTest::newRow("bracket") << "[" << false;
    QTest::newRow("brackets") << "[a-z]" << true;
    QTest::newRow("backslash") << "\\" << false;
    QTest::newRow("backslash quote") << "\\'" << true;
    QTest::newRow("double quote") << "\"" << true;
    QTest::newRow("controls") << QStringLiteral("a\x01\x07\x1b\x7f b") << true;
    QTest::newRow("line break inside") << "a\nb" << true;
    QTest::newRow("10000 characters") << QStringLiteral("电").repeated(10000) << true;
    QTest::newRow("10000 wildcards") << QStringLiteral("%_").repeated(5000) << true;
    QTest::newRow("5000 quotes") << QStringLiteral("a'").repeated(5000) << true;
    QTest::newRow("outside the BMP") << "𠀀😀𐐀" << true;
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << true;
    QTest::newRow("place markers") << "%1%2" << true;
}

void TestSearch::badInput()
{
    QFETCH(QString, value);
    QFETCH(bool, findsNothing);

    for (int f = TradeCode; f <= Address; ++f) {
        const SearchCriteria criteria = only(Field(f), value);
        const auto statements = BuildSearchStatement(criteria);
        QVERIFY(statements);
        const auto probe = BuildSearchStatement(only(Field(f), QStringLiteral("v")));

        // Well-formed: the text stays inside its one literal, whole.
        const auto [skeleton, literals] = splitLiterals(statements->rows);
        const auto [expectedSkeleton, probeLiterals] = splitLiterals(probe->rows);
        QCOMPARE(skeleton, expectedSkeleton);
        QCOMPARE(literals.size(), 1);
        QVERIFY(literals.first().contains(SearchCriteria::trimmed(value)));
        QCOMPARE(literals.first().size(),
                 probeLiterals.first().size() - 1 + SearchCriteria::trimmed(value).size());
        QCOMPARE(splitLiterals(statements->count).second, literals);

        Query rows(m_connection.get());
        const std::optional<qint64> total = runSearch(*m_connection, rows, criteria);
        QVERIFY(total);
        QCOMPARE(*total, qint64(rows.recordCount()));
        if (findsNothing)
            QCOMPARE(*total, 0);
    }
}

void TestSearch::nulCharacter()
{
    // SQLite stops reading a statement at a NUL; the search must not run
    // what is left of it, nor crash: it reports the character.
    const QString value = QStringLiteral("电子") + QChar(0) + QStringLiteral("' OR 1=1 --");
    for (int f = TradeCode; f <= Address; ++f) {
        Query rows(m_connection.get());
        QCOMPARE(runSearch(*m_connection, rows, only(Province, QStringLiteral("广"))),
                 std::optional<qint64>(3));
        try {
            runSearch(*m_connection, rows, only(Field(f), value));
            QFAIL("a statement holding NUL ran");
        } catch (const QuorvaneError &error) {
            QVERIFY2(error.message().contains(QStringLiteral("空字符")),
                     qPrintable(error.message()));
        }
        QVERIFY(!rows.isOpen());
    }
}

void TestSearch::rowStatementFails()
{
    // The rows' store lacks the columns, so the row statement fails: the
    // grid is left empty and the count, on a connection of its own here,
    // is never run (that connection never opens).
    QTemporaryDir dir;
    const QString bad =
        makeStore(dir, QStringLiteral("bad.db"), "CREATE TABLE 外商 (企业代码 TEXT, 省份 TEXT)");
    Connection rowsConnection;
    rowsConnection.setConnectionString(
        DatabaseLocation::connectionString(bad, DatabaseLocation::password));
    Query rows(&rowsConnection);
    rows.setSql(QStringLiteral("SELECT * FROM 外商"));
    rows.open();
    QVERIFY(rows.isOpen());

    QVERIFY_THROWS_EXCEPTION(QuorvaneError,
                             runSearch(*m_connection, rows, only(Company, QStringLiteral("电子"))));
    QVERIFY(!rows.isOpen());
    QCOMPARE(rows.recordCount(), 0);
    QVERIFY(!m_connection->isConnected());
}

void TestSearch::countStatementFails()
{
    // Only the count's store lacks the column: the new rows stay.
    QTemporaryDir dir;
    const QString bad =
        makeStore(dir, QStringLiteral("bad.db"), "CREATE TABLE 外商 (企业代码 TEXT, 省份 TEXT)");
    Connection countConnection;
    countConnection.setConnectionString(
        DatabaseLocation::connectionString(bad, DatabaseLocation::password));
    Query rows(m_connection.get());
    QSignalSpy scrolled(&rows, &Query::afterScroll);
    QVERIFY_THROWS_EXCEPTION(
        QuorvaneError, runSearch(countConnection, rows, only(Company, QStringLiteral("电子"))));
    QVERIFY(rows.isOpen());
    QCOMPARE(codes(rows), (QStringList{"E001", "E002"}));
    QCOMPARE(scrolled.count(), 1);
}

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
