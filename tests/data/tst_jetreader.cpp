// The Jet reading layer under the connection: what the reader child makes
// of real files (both text encodings, deleted rows, other column types),
// and how the program takes a reader whose output cannot be trusted.

#include "data/JetLoader.h"
#include "data/JetReaderProtocol.h"
#include "data/QuorvaneError.h"
#include "data/Sqlite.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

namespace P = JetReaderProtocol;

const QString fixtures = QStringLiteral(QUORVANE_TEST_FIXTURES "/jet/");
// In expected rows: any text at all, for values no other source vouches for.
const QVariant anyText = QStringLiteral("\x01any");

QList<QVariantList> tableRows(SqliteDatabase &db, const QString &table, QStringList *columns)
{
    QByteArray name = table.toUtf8();
    name.replace('"', "\"\"");
    SqliteStatement select(db.handle(), "SELECT * FROM \"" + name + "\" ORDER BY rowid");
    QList<QVariantList> rows;
    columns->clear();
    for (int c = 0; c < select.columnCount(); ++c)
        *columns << select.columnName(c);
    while (select.step()) {
        QVariantList row;
        for (int c = 0; c < select.columnCount(); ++c)
            row << (select.isNull(c) ? QVariant() : QVariant(select.text(c)));
        rows << row;
    }
    return rows;
}

// The bytes of a reader's stream, built frame by frame.
class StreamBuilder final
{
public:
    StreamBuilder() { m_bytes.append(P::magic, sizeof P::magic); }

    StreamBuilder &header(quint32 rows, const QList<QByteArray> &names)
    {
        QByteArray payload = u32(rows) + u32(quint32(names.size()));
        for (const QByteArray &name : names)
            payload += u32(quint32(name.size())) + name + char(10); // Jet's text type
        return frame(P::Frame::Header, payload);
    }
    StreamBuilder &row(const QList<QByteArray> &values)
    {
        QByteArray payload;
        for (const QByteArray &value : values)
            payload += value.isNull() ? u32(P::nullValue) : u32(quint32(value.size())) + value;
        return frame(P::Frame::Row, payload);
    }
    StreamBuilder &end(quint32 rows) { return frame(P::Frame::End, u32(rows)); }
    StreamBuilder &failure(quint8 code) { return frame(P::Frame::Failure, char(code) + u32(7)); }
    StreamBuilder &frame(P::Frame kind, const QByteArray &payload)
    {
        return raw(char(kind) + u32(quint32(payload.size())) + payload);
    }
    StreamBuilder &raw(const QByteArray &bytes)
    {
        m_bytes += bytes;
        return *this;
    }
    QByteArray bytes() const { return m_bytes; }

    static QByteArray u32(quint32 value)
    {
        QByteArray bytes(4, Qt::Uninitialized);
        qToLittleEndian(value, bytes.data());
        return bytes;
    }

private:
    QByteArray m_bytes;
};

} // namespace

class TestJetReader final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void realFiles_data();
    void realFiles();

    void untrustedStream_data();
    void untrustedStream();

private:
    QTemporaryDir m_dir;
};

void TestJetReader::initTestCase()
{
    QVERIFY(m_dir.isValid());
    JetLoader::setReaderPath(QStringLiteral(QUORVANE_BIN_DIR "/quorvane-jet-reader"));
}

void TestJetReader::cleanupTestCase()
{
    JetLoader::setReaderPath(QString());
}

void TestJetReader::realFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QList<QVariantList>>("rows");

    QString latin1;
    for (char16_t c = 1; c <= 0xFF; ++c)
        latin1 += QChar(c);
    // Rows 1-4 and 7-8 are stored one byte a character, row 5 as UTF-16.
    QTest::newRow("both text encodings")
        << "testUnicodeCompV2003.mdb"
        << "Table" << QStringList{"ID", "Unicode"}
        << QList<QVariantList>{{"1", "only ascii chars"},
                               {"2", "ääkkösiä"},
                               {"3", "Мир"},
                               // The file holds the oxia accents, which NFC would fold.
                               {"4", "ϰαὶ τ\u1f79τ' ἐγὼ Κ\u1f7bϰλωπα"},
                               {"5", "漢字仮名交じり文"},
                               {"6", anyText},
                               {"7", "ümlaut"},
                               {"8", latin1}};
    QTest::newRow("deleted row skipped")
        << "delTestV2000.mdb"
        << "Table" << QStringList{"a", "b"} << QList<QVariantList>{{"z", "y"}, {"v", "u"}};
    QTest::newRow("numbers and dates as text")
        << "fixedTextTestV2000.mdb"
        << "users" << QStringList{"i_user_id",   "c_user_login", "c_user_pwd",  "c_user_session",
                                  "c_user_name", "i_user_flags", "i_user_type", "i_user_merch",
                                  "c_flag_",     "d_stamp_"}
        << QList<QVariantList>{{"1", "CORE USER", anyText, "-1", "Core User", "1", "16408", "-1",
                                "N", "2009-11-05 23:41:28"},
                               {"2", "admin", anyText, "-1", "Admin User", "1", "81928", "120", "N",
                                "2009-10-22 03:57:13"}};
    QTest::newRow("password file")
        << "V2003_with-password.mdb"
        << "Table1" << QStringList{"ID", "Data"}
        << QList<QVariantList>{{"1", "One"}, {"2", "Two"}, {"3", "Three"}};
}

void TestJetReader::realFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, table);
    QFETCH(QStringList, columns);
    QFETCH(QList<QVariantList>, rows);

    JetLoader loader(fixtures + file);
    loader.setTableName(table);
    SqliteDatabase db = SqliteDatabase::openInMemory();
    loader.loadInto(db);
    QCOMPARE(loader.columnNames(), columns);
    QCOMPARE(loader.rowCount(), qint64(rows.size()));

    QStringList stored;
    QList<QVariantList> got = tableRows(db, table, &stored);
    QCOMPARE(stored, columns);
    QCOMPARE(got.size(), rows.size());
    for (qsizetype r = 0; r < rows.size(); ++r) {
        for (qsizetype c = 0; c < rows[r].size(); ++c) {
            if (rows[r][c] == anyText) {
                QVERIFY(got[r][c].isValid());
                got[r][c] = anyText;
            }
        }
        QCOMPARE(got[r], rows[r]);
    }
}

void TestJetReader::untrustedStream_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("expected"); // "" loads

    using S = StreamBuilder;
    const QList<QByteArray> ab = {"a", "b"};
    const QString invalid = QStringLiteral("输出无效");
    const QString ended = QStringLiteral("异常退出");

    QTest::newRow("sound")
        << S().header(2, ab).row({"x", QByteArray()}).row({"", "y"}).end(2).bytes() << 0
        << QString();
    QTest::newRow("no table") << S().failure(quint8(P::Failure::NoTable)).bytes() << 0
                              << QStringLiteral("中没有表");
    QTest::newRow("page past the end")
        << S().header(1, ab).failure(quint8(P::Failure::PageOutOfFile)).bytes() << 0
        << QStringLiteral("第 7 页超出文件末尾");
    QTest::newRow("nothing at all") << QByteArray() << 0 << ended;
    QTest::newRow("wrong magic") << QByteArray("QJR2") + S().header(1, ab).bytes().mid(4) << 0
                                 << invalid;
    QTest::newRow("stops before the end")
        << S().header(2, ab).row({"x", "y"}).bytes() << 0 << ended;
    QTest::newRow("cut inside a frame")
        << S().header(2, ab).row({"x", "y"}).bytes().chopped(2) << 0 << ended;
    QTest::newRow("end miscounts")
        << S().header(2, ab).row({"x", "y"}).end(2).bytes() << 0 << invalid;
    QTest::newRow("row before header") << S().row({"x", "y"}).end(1).bytes() << 0 << invalid;
    QTest::newRow("no columns") << S().header(0, {}).end(0).bytes() << 0 << invalid;
    QList<QByteArray> many;
    for (int i = 0; i < 257; ++i)
        many << "c" + QByteArray::number(i);
    QTest::newRow("too many columns") << S().header(0, many).end(0).bytes() << 0 << invalid;
    QTest::newRow("same name twice")
        << S().header(0, {"Name", "NAME"}).end(0).bytes() << 0 << invalid;
    QTest::newRow("empty name") << S().header(0, {"a", ""}).end(0).bytes() << 0 << invalid;
    QTest::newRow("name not UTF-8")
        << S().header(0, {"a", "\xff\xfe"}).end(0).bytes() << 0 << invalid;
    QTest::newRow("value not UTF-8")
        << S().header(1, ab).row({"x", "\xc3"}).end(1).bytes() << 0 << invalid;
    QTest::newRow("row short of a value")
        << S().header(1, ab).row({"x"}).end(1).bytes() << 0 << invalid;
    QTest::newRow("row with bytes over")
        << S().header(1, ab).frame(P::Frame::Row, S::u32(1) + "x" + S::u32(1) + "yz").end(1).bytes()
        << 0 << invalid;
    QTest::newRow("value longer than its frame")
        << S().header(1, ab)
               .frame(P::Frame::Row, S::u32(1) + "x" + S::u32(1000) + "y")
               .end(1)
               .bytes()
        << 0 << invalid;
    QTest::newRow("frame claims 4 GB")
        << S().header(1, ab).raw(QByteArray("R") + S::u32(0xFFFFFFF0u) + "xy").bytes() << 0
        << invalid;
    QTest::newRow("unknown frame")
        << S().header(0, ab).frame(P::Frame('?'), "").end(0).bytes() << 0 << invalid;
    QTest::newRow("unknown failure") << S().header(0, ab).failure(200).bytes() << 0 << invalid;
    QTest::newRow("bytes after the end")
        << S().header(0, ab).end(0).raw("Z").bytes() << 0 << invalid;
    QTest::newRow("frame after the end")
        << S().header(0, ab).end(0).row({"x", "y"}).bytes() << 0 << invalid;
    QTest::newRow("whole stream, then failed") << S().header(0, ab).end(0).bytes() << 1 << ended;
}

void TestJetReader::untrustedStream()
{
    QFETCH(QByteArray, stream);
    QFETCH(int, exitCode);
    QFETCH(QString, expected);

    // A stand-in reader that says exactly these bytes.
    const QString base =
        m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), '-'));
    QFile data(base + QStringLiteral(".stream"));
    QVERIFY(data.open(QIODevice::WriteOnly));
    data.write(stream);
    data.close();
    QFile script(base + QStringLiteral(".sh"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\ncat '" + QFile::encodeName(data.fileName()) + "'\nexit " +
                 QByteArray::number(exitCode) + "\n");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    JetLoader::setReaderPath(script.fileName());

    const QString database = fixtures + QStringLiteral("delTestV2000.mdb");
    JetLoader loader(database);
    loader.setTableName(QStringLiteral("t"));
    SqliteDatabase db = SqliteDatabase::openInMemory();
    QString error;
    try {
        loader.loadInto(db);
    } catch (const QuorvaneError &e) {
        error = e.message();
    }
    JetLoader::setReaderPath(QStringLiteral(QUORVANE_BIN_DIR "/quorvane-jet-reader"));

    if (expected.isEmpty()) {
        QCOMPARE(error, QString());
        QStringList columns;
        const QList<QVariantList> rows = tableRows(db, QStringLiteral("t"), &columns);
        QCOMPARE(columns, (QStringList{"a", "b"}));
        QCOMPARE(rows, (QList<QVariantList>{{"x", QVariant()}, {"", "y"}}));
        return;
    }
    QVERIFY2(error.contains(expected), qPrintable(error));
    QVERIFY2(error.contains(QDir::toNativeSeparators(database)), qPrintable(error));
    SqliteStatement tables(db.handle(), "SELECT count(*) FROM sqlite_master");
    QVERIFY(tables.step());
    QCOMPARE(tables.int64(0), 0);
}

QTEST_GUILESS_MAIN(TestJetReader)
#include "tst_jetreader.moc"
