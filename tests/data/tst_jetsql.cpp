// The Jet SQL the search statements are written in, as SQLite runs it:
// InStr, LCase and a LIKE that ignores letter case in every alphabet.

#include "data/JetFunctions.h"
#include "data/Sqlite.h"

#include <QTest>

#include <sqlite3.h>

namespace {

// The value of one SQL expression, or the error text when it fails.
QVariant evaluate(const SqliteDatabase &db, const QString &expression)
{
    SqliteStatement statement(db.handle(), (QStringLiteral("SELECT ") + expression).toUtf8());
    if (!statement.step())
        return QStringLiteral("<no row>");
    switch (sqlite3_column_type(statement.handle(), 0)) {
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_INTEGER:
        return statement.int64(0);
    default:
        return statement.text(0);
    }
}

} // namespace

class TestJetSql final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void instr_data();
    void instr();
    void instrRejectsBadArguments();
    void lcase_data();
    void lcase();
    void like_data();
    void like();
    void likeWithPatternPerRow();

private:
    SqliteDatabase m_db;
};

void TestJetSql::init()
{
    m_db = SqliteDatabase::openInMemory();
    registerJetFunctions(m_db.handle());
}

void TestJetSql::cleanup()
{
    m_db = SqliteDatabase();
}

void TestJetSql::instr_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QVariant>("expected");

    const auto row = [](const char *name, const char *expression, const QVariant &expected) {
        QTest::newRow(name) << QString::fromUtf8(expression) << expected;
    };
    const QVariant null;
    row("found at start", "InStr(1, 'abc', 'a', 0)", 1);
    row("found inside", "InStr(1, 'abcabc', 'ca', 0)", 3);
    row("first occurrence", "InStr(1, 'abcabc', 'bc', 0)", 2);
    row("not found", "InStr(1, 'abc', 'd', 0)", 0);
    row("binary compare minds case", "InStr(1, 'ABC', 'b', 0)", 0);
    row("text compare ignores case", "InStr(1, 'ABC', 'b', 1)", 2);
    row("start skips earlier hits", "InStr(3, 'abcabc', 'a', 0)", 4);
    row("start at last char", "InStr(6, 'abcabc', 'c', 0)", 6);
    row("start past the end", "InStr(7, 'abcabc', 'c', 0)", 0);
    row("two arguments", "InStr('abc', 'c')", 3);
    row("three arguments", "InStr(2, 'abca', 'a')", 4);
    row("empty haystack", "InStr(1, '', 'a', 0)", 0);
    row("empty needle", "InStr(2, 'abc', '', 0)", 2);
    row("CJK position in characters", "InStr(1, '深圳电子有限公司', '电子', 0)", 3);
    row("CJK with start", "InStr(4, '电子电子', '电子', 0)", 0);
    row("CJK with start 3", "InStr(3, '电子电子', '电子', 0)", 3);
    row("CJK after ASCII", "InStr(2, 'a电b电', '电', 0)", 2);
    row("CJK start beyond first hit", "InStr(3, 'a电b电', '电', 0)", 4);
    row("supplementary plane", "InStr(1, '𠀀𠀁x', 'x', 0)", 3);
    row("NULL haystack", "InStr(1, NULL, 'a', 0)", null);
    row("NULL needle", "InStr(1, 'abc', NULL, 0)", null);
    row("NULL start", "InStr(NULL, 'abc', 'a', 0)", null);
    row("NULL compare", "InStr(1, 'abc', 'a', NULL)", null);
    row("as the search writes it", "InStr(1,LCase('Software Development'),LCase('SOFTWARE'),0)<>0",
        1);
    row("search on NULL scope", "InStr(1,LCase(NULL),LCase('x'),0)<>0", null);
}

void TestJetSql::instr()
{
    QFETCH(QString, expression);
    QFETCH(QVariant, expected);
    const QVariant actual = evaluate(m_db, expression);
    QCOMPARE(actual.isValid(), expected.isValid());
    if (expected.isValid())
        QCOMPARE(actual.toLongLong(), expected.toLongLong());
}

void TestJetSql::instrRejectsBadArguments()
{
    // Jet raises "invalid procedure call" for these rather than guessing.
    for (const char *expression :
         {"InStr(0, 'abc', 'a', 0)", "InStr(-1, 'abc', 'a', 0)", "InStr(1, 'abc', 'a', 7)"}) {
        bool failed = false;
        try {
            evaluate(m_db, QString::fromUtf8(expression));
        } catch (const std::exception &) {
            failed = true;
        }
        QVERIFY2(failed, expression);
    }
}

void TestJetSql::lcase_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ASCII") << "SoftWare 123"
                           << "software 123";
    QTest::newRow("CJK untouched") << "电子产品　销售"
                                   << "电子产品　销售";
    QTest::newRow("Greek") << "ΕΛΛΗΝΙΚΆ"
                           << "ελληνικά";
    QTest::newRow("Cyrillic") << "ПРИВЕТ"
                              << "привет";
    QTest::newRow("fullwidth Latin") << "ＡＢＣ"
                                     << "ａｂｃ";
    QTest::newRow("diacritics") << "ÉCOLE Ÿ"
                                << "école ÿ";
    QTest::newRow("mixed with CJK") << "电子ÉCOLE"
                                    << "电子école";
    QTest::newRow("Deseret (outside the BMP)") << "𐐀"
                                               << "𐐨";
    QTest::newRow("empty") << ""
                           << "";
}

void TestJetSql::lcase()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    SqliteStatement statement(m_db.handle(), "SELECT LCase(?1)");
    statement.bind(1, input.toUtf8());
    QVERIFY(statement.step());
    QCOMPARE(statement.text(0), expected);
    QVERIFY(!evaluate(m_db, QStringLiteral("LCase(NULL)")).isValid());
}

void TestJetSql::like_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");

    const auto row = [](const char *text, const char *pattern, bool matches) {
        QTest::addRow("'%s' like '%s'", text, pattern)
            << QString::fromUtf8(text) << QString::fromUtf8(pattern) << matches;
    };
    // Letter case, in every alphabet.
    row("Software", "%SOFTWARE%", true);
    row("ΣΙΓΜΑ", "σιγμα", true);
    row("σιγμα", "ΣΙΓΜΑ", true);
    row("ПРИВЕТ мир", "привет%", true);
    row("Ａｃｍｅ", "ＡＣＭＥ", true);
    row("ａ", "Ａ", true);
    row("Café", "CAFÉ", true);
    row("École", "é%", true);
    row("ÉCOLE", "E%", false); // É is not E
    // Wildcards.
    row("广东省", "广%", true);
    row("广西壮族自治区", "广%", true);
    row("江苏广陵", "广%", false);
    row("江苏广陵", "%广%", true);
    row("深圳电子有限公司", "%电子%", true);
    row("电子", "%电子%", true);
    row("电", "%电子%", false);
    row("abc", "a_c", true);
    row("ac", "a_c", false);
    row("abbc", "a_c", false);
    row("a电c", "a_c", true);
    row("a𠀀c", "a_c", true);
    row("a😀c", "a_c", true);
    row("a😀c", "a__c", false);
    row("电子", "__", true);
    row("电子", "___", false);
    row("C1301", "C13%", true);
    row("XC13", "C13%", false);
    row("abcabd", "%ab_", true);
    row("aXbXc", "%a%b%c%", true);
    row("abc", "%c%b%", false);
    row("", "%", true);
    row("", "", true);
    row("a", "", false);
    // Only % and _ are special; the rest is matched as written.
    row("[abc]", "[abc]", true);
    row("a", "[abc]", false);
    row("a\\b", "a\\b", true);
    row("50%", "50%", true);
}

void TestJetSql::like()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);

    SqliteStatement statement(m_db.handle(), "SELECT ?1 LIKE ?2, NULL LIKE ?2, ?1 LIKE NULL");
    statement.bind(1, text.toUtf8());
    statement.bind(2, pattern.toUtf8());
    QVERIFY(statement.step());
    QCOMPARE(statement.int64(0) != 0, matches);
    QVERIFY(statement.isNull(1));
    QVERIFY(statement.isNull(2));
    QCOMPARE(JetText::like(pattern.toUtf8(), text.toUtf8()), matches);
}

void TestJetSql::likeWithPatternPerRow()
{
    // A pattern that changes from row to row must not be served from the
    // previous row's compiled pattern.
    m_db.exec("CREATE TABLE t(text, pattern);"
              "INSERT INTO t VALUES ('广东省', '广%'), ('广东省', '东%'), ('ABC', 'a_c'),"
              " ('ABC', 'b%'), (NULL, '%'), ('x', NULL)");
    SqliteStatement statement(m_db.handle(), "SELECT text LIKE pattern FROM t ORDER BY rowid");
    QList<QVariant> results;
    while (statement.step())
        results << (statement.isNull(0) ? QVariant() : QVariant(statement.int64(0)));
    QCOMPARE(results, (QList<QVariant>{1, 0, 1, 0, QVariant(), QVariant()}));
}

QTEST_GUILESS_MAIN(TestJetSql)
#include "tst_jetsql.moc"
