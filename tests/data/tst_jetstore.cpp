// Opening original Jet 4.0 databases through the connection: the password
// as Jet checks it, the search on the 300-row 外商 sample, NULL against
// empty text, progress, and damaged files that must fail cleanly while the
// program goes on and the file stays as it was.

#include "data/Connection.h"
#include "data/DatabaseLocation.h"
#include "data/EnterpriseTable.h"
#include "data/JetHeader.h"
#include "data/JetLoader.h"
#include "data/JetReaderProtocol.h"
#include "data/Query.h"
#include "data/QuorvaneError.h"
#include "data/Search.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <optional>

namespace {

const QString fixtures = QStringLiteral(QUORVANE_TEST_FIXTURES "/jet/");
const QString sample300 = QStringLiteral("waishang-jackcess-300.mdb");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// What the generator of the 300-row sample put in row i (1 to 300); see
// the fixtures' README. An oracle that owes nothing to libmdb.
struct SampleRow
{
    int i;
    QString province, company, address, scope, tradeCode, trade;
    std::optional<QString> fax;
    QString remark;
};

SampleRow sampleRow(int i)
{
    static const QStringList provinces = {"北京市", "上海市", "广东省",
                                          "江苏省", "浙江省", "山东省"};
    static const QStringList codes = {"C13", "C39", "F51", "I65", "M73"};
    static const QStringList trades = {"农副食品加工业", "计算机、通信和其他电子设备制造业",
                                       "批发业", "软件和信息技术服务业", "研究和试验发展"};
    static const QString sentence = QStringLiteral(
        "生产、销售电子产品及配件；技术咨询与服务；LED Display 研发（依法须经批准的项目，"
        "经相关部门批准后方可开展经营活动）");
    SampleRow row;
    row.i = i;
    row.province = provinces[i % 6];
    row.company = QStringLiteral("示例外商投资企业%1有限公司").arg(i);
    row.address = QStringLiteral("%1示例路%2号").arg(provinces[i % 6]).arg(i);
    row.scope = i % 7 == 0 ? sentence + sentence : sentence;
    row.tradeCode = codes[i % 5] + QString::number(i % 10);
    row.trade = trades[i % 5];
    if (i % 3 != 0)
        row.fax = QStringLiteral("021-%1").arg(70000000 + i);
    row.remark = i % 4 == 0 ? QString() : QStringLiteral("第%1行").arg(i);
    return row;
}

bool matches(const SampleRow &row, const SearchCriteria &c)
{
    return row.tradeCode.startsWith(c.tradeCode) &&
           row.scope.contains(c.businessScope, Qt::CaseInsensitive) &&
           row.company.contains(c.companyName) && row.trade.contains(c.trade) &&
           row.province.startsWith(c.province) && row.address.contains(c.address);
}

QString connectionStringFor(const QString &path, const QString &password)
{
    return DatabaseLocation::connectionString(QDir::toNativeSeparators(path), password);
}

// Opens path; returns the error's message, or an empty string on success.
QString openError(const QString &path, const QString &password)
{
    Connection connection;
    connection.setConnectionString(connectionStringFor(path, password));
    try {
        connection.open();
    } catch (const QuorvaneError &error) {
        if (connection.isConnected())
            return QStringLiteral("connected despite: ") + error.message();
        return error.message().isEmpty() ? QStringLiteral("(empty message)") : error.message();
    }
    return QString();
}

// The files in a directory with their checksums: a run that writes a
// lock, a journal or anything else beside the database shows here.
QMap<QString, QByteArray> snapshot(const QString &directory)
{
    QMap<QString, QByteArray> files;
    const QDir dir(directory);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot))
        files.insert(name, QCryptographicHash::hash(readAll(dir.filePath(name)),
                                                    QCryptographicHash::Sha256));
    return files;
}

SearchCriteria ledCriteria()
{
    SearchCriteria criteria;
    criteria.businessScope = QStringLiteral("LED");
    return criteria;
}

class FaultGuard final
{
public:
    explicit FaultGuard(const QByteArray &fault)
    {
        qputenv(JetReaderProtocol::faultVariable, fault);
    }
    ~FaultGuard() { qunsetenv(JetReaderProtocol::faultVariable); }
};

} // namespace

class TestJetStore final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void header_data();
    void header();
    void password_data();
    void password();

    void search_data();
    void search();
    void nullAndEmptyText();

    void progress();
    void cancel();

    void damagedFile_data();
    void damagedFile();
    void readerFault_data();
    void readerFault();
    void missingReader();

private:
    QString copyToTemporary(const QString &fixture);

    QTemporaryDir m_dir;
};

void TestJetStore::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // The reader is found beside the tests too (../bin), but say it plainly.
    JetLoader::setReaderPath(QStringLiteral(QUORVANE_BIN_DIR "/quorvane-jet-reader"));
    QVERIFY(QFileInfo(JetLoader::readerPath()).isExecutable());
}

void TestJetStore::cleanup()
{
    JetLoader::setDefaultProgressHandler({});
    JetLoader::setReaderPath(QStringLiteral(QUORVANE_BIN_DIR "/quorvane-jet-reader"));
}

QString TestJetStore::copyToTemporary(const QString &fixture)
{
    const QString directory =
        m_dir.filePath(QString::number(QRandomGenerator::global()->generate()));
    QDir().mkpath(directory);
    const QString path = directory + QLatin1Char('/') + fixture;
    QFile::copy(fixtures + fixture, path);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return path;
}

void TestJetStore::header_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("creationDay");

    QTest::newRow("V2000 with") << "V2000_with-password.mdb"
                                << "password" << 44568;
    QTest::newRow("V2003 with") << "V2003_with-password.mdb"
                                << "password" << 44568;
    QTest::newRow("V2000 without") << "V2000_no-password.mdb"
                                   << "" << 44568;
    QTest::newRow("empty Jet4") << "emptyJet4.mdb"
                                << "" << 42850;
    QTest::newRow("300 rows") << sample300 << DatabaseLocation::password << 38143;
}

void TestJetStore::header()
{
    QFETCH(QString, file);
    QFETCH(QString, password);
    QFETCH(int, creationDay);

    const JetHeader header = JetHeader::read(fixtures + file);
    QCOMPARE(header.password(), password);
    QCOMPARE(int(std::floor(header.creationDate())), creationDay);
    QCOMPARE(header.codePage(), quint16(1252));
    QCOMPARE(header.pageKey(), quint32(0));
}

void TestJetStore::password_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expected"); // "" opens; otherwise part of the error

    const QString wrong = QStringLiteral("密码不正确");
    // These open past the password and then lack the table 外商.
    const QString passed = QStringLiteral("中没有表“外商”");
    for (const char *file : {"V2000_with-password.mdb", "V2003_with-password.mdb"}) {
        const QString name = QString::fromLatin1(file).section(QLatin1Char('_'), 0, 0);
        QTest::newRow(qPrintable(name + " right")) << file << "password" << passed;
        QTest::newRow(qPrintable(name + " wrong")) << file << "passwort" << wrong;
        QTest::newRow(qPrintable(name + " letter case")) << file << "Password" << wrong;
        QTest::newRow(qPrintable(name + " empty")) << file << "" << wrong;
        QTest::newRow(qPrintable(name + " longer")) << file << "password1" << wrong;
        QTest::newRow(qPrintable(name + " product's"))
            << file << DatabaseLocation::password << wrong;
    }
    for (const char *file : {"V2000_no-password.mdb", "V2003_no-password.mdb", "emptyJet4.mdb"}) {
        QTest::newRow(qPrintable(QString::fromLatin1(file) + " any"))
            << file << "anything" << passed;
        QTest::newRow(qPrintable(QString::fromLatin1(file) + " empty")) << file << "" << passed;
        QTest::newRow(qPrintable(QString::fromLatin1(file) + " product's"))
            << file << DatabaseLocation::password << passed;
    }
    QTest::newRow("300 rows product's") << sample300 << DatabaseLocation::password << "";
    QTest::newRow("300 rows lower case")
        << sample300 << DatabaseLocation::password.toLower() << wrong;
    QTest::newRow("300 rows empty") << sample300 << "" << wrong;
}

void TestJetStore::password()
{
    QFETCH(QString, file);
    QFETCH(QString, password);
    QFETCH(QString, expected);

    const QString path = copyToTemporary(file);
    const QByteArray before = readAll(path);
    const auto filesBefore = snapshot(QFileInfo(path).path());

    const QString error = openError(path, password);
    if (expected.isEmpty()) {
        QCOMPARE(error, QString());
    } else {
        QVERIFY2(error.contains(expected), qPrintable(error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
    }
    QCOMPARE(readAll(path), before);
    QCOMPARE(snapshot(QFileInfo(path).path()), filesBefore);
}

void TestJetStore::search_data()
{
    QTest::addColumn<SearchCriteria>("criteria");

    using Field = QString SearchCriteria::*;
    auto row = [](const char *name, std::initializer_list<std::pair<Field, const char *>> fields) {
        SearchCriteria criteria;
        for (const auto &[field, text] : fields)
            criteria.*field = QString::fromUtf8(text);
        QTest::newRow(name) << criteria;
    };
    const Field tradeCode = &SearchCriteria::tradeCode;
    const Field scope = &SearchCriteria::businessScope;
    const Field company = &SearchCriteria::companyName;
    const Field trade = &SearchCriteria::trade;
    const Field province = &SearchCriteria::province;
    const Field address = &SearchCriteria::address;
    row("province", {{province, "北京"}});
    row("province is a prefix", {{province, "京"}});
    row("trade code prefix", {{tradeCode, "C39"}});
    row("trade code digit", {{tradeCode, "F512"}});
    row("scope other case", {{scope, "led display"}});
    row("scope doubled", {{scope, "活动）生产"}});
    row("company", {{company, "企业12"}});
    row("one company", {{company, "企业300有限"}});
    row("trade", {{trade, "服务"}});
    row("address", {{address, "示例路1"}});
    row("several", {{tradeCode, "C"}, {trade, "制造"}, {province, "上海"}});
    row("nothing", {{company, "不存在"}});
}

void TestJetStore::search()
{
    QFETCH(SearchCriteria, criteria);

    QList<SampleRow> expected;
    for (int i = 1; i <= 300; ++i) {
        if (matches(sampleRow(i), criteria.normalized()))
            expected << sampleRow(i);
    }

    Connection connection;
    connection.setConnectionString(
        connectionStringFor(fixtures + sample300, DatabaseLocation::password));
    Query rows(&connection);
    const std::optional<qint64> total = runSearch(connection, rows, criteria);
    QVERIFY(total);
    QCOMPARE(*total, qint64(expected.size()));
    QCOMPARE(rows.recordCount(), int(expected.size()));
    QCOMPARE(rows.fieldNames(), EnterpriseTable::columns() << QStringLiteral("备注"));
    for (int r = 0; r < rows.recordCount(); ++r) {
        const SampleRow &want = expected[r];
        rows.moveTo(r);
        QCOMPARE(rows.fieldText(EnterpriseTable::enterpriseCode),
                 QStringLiteral("WS%1").arg(want.i, 6, 10, QLatin1Char('0')));
        QCOMPARE(rows.fieldText(EnterpriseTable::companyName), want.company);
        QCOMPARE(rows.fieldText(EnterpriseTable::businessScope), want.scope);
        QCOMPARE(rows.fieldText(EnterpriseTable::tradeCode), want.tradeCode);
        QCOMPARE(rows.fieldText(EnterpriseTable::address), want.address);
    }
}

void TestJetStore::nullAndEmptyText()
{
    Connection connection;
    connection.setConnectionString(
        connectionStringFor(fixtures + sample300, DatabaseLocation::password));
    Query rows(&connection);
    QCOMPARE(runSearch(connection, rows, ledCriteria()), std::optional<qint64>(300));

    const int fax = rows.fieldIndex(EnterpriseTable::fax);
    const int remark = rows.fieldIndex(QStringLiteral("备注"));
    const int code = rows.fieldIndex(EnterpriseTable::enterpriseCode);
    int nulls = 0;
    int empties = 0;
    for (int r = 0; r < rows.recordCount(); ++r) {
        const SampleRow want = sampleRow(rows.text(r, code).mid(2).toInt());
        const QVariant faxValue = rows.value(r, fax);
        QCOMPARE(faxValue.isValid(), want.fax.has_value());
        if (want.fax)
            QCOMPARE(faxValue.toString(), *want.fax);
        else
            ++nulls;
        const QVariant remarkValue = rows.value(r, remark);
        QVERIFY2(remarkValue.isValid(), "empty text must not read as NULL");
        QCOMPARE(remarkValue.toString(), want.remark);
        empties += want.remark.isEmpty();
    }
    QCOMPARE(nulls, 100);
    QCOMPARE(empties, 75);
}

void TestJetStore::progress()
{
    QList<QPair<qint64, qint64>> calls;
    JetLoader::setDefaultProgressHandler([&calls](qint64 done, qint64 total) {
        calls.append({done, total});
        return true;
    });
    QCOMPARE(openError(fixtures + sample300, DatabaseLocation::password), QString());
    QVERIFY(calls.size() >= 2);
    QCOMPARE(calls.first().first, qint64(0));
    QCOMPARE(calls.last(), (QPair<qint64, qint64>(300, 300)));
    for (qsizetype i = 1; i < calls.size(); ++i) {
        QVERIFY(calls[i].first >= calls[i - 1].first);
        QVERIFY(calls[i].first <= calls[i].second);
    }
}

void TestJetStore::cancel()
{
    JetLoader::setDefaultProgressHandler([](qint64, qint64) { return false; });
    const QString path = copyToTemporary(sample300);
    const QString error = openError(path, DatabaseLocation::password);
    QVERIFY2(error.contains(QStringLiteral("已取消")), qPrintable(error));

    // The next attempt, with nobody cancelling, succeeds.
    JetLoader::setDefaultProgressHandler({});
    QCOMPARE(openError(path, DatabaseLocation::password), QString());
}

void TestJetStore::damagedFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    const QByteArray sample = readAll(fixtures + sample300);
    QVERIFY(sample.size() == 52 * JetHeader::pageSize);
    QByteArray jet3 = sample.left(JetHeader::pageSize * 4);
    jet3[0x14] = 0;
    QByteArray random(64 * 1024, Qt::Uninitialized);
    QRandomGenerator generator(20240611);
    for (char &c : random)
        c = char(generator.bounded(256));
    random[0] = 1; // not even a Jet page 0
    QByteArray randomAfterHeader = sample.left(JetHeader::pageSize) + random;
    // A header whose creation date is no number hides no password anyone can check.
    QByteArray badDate = sample;
    for (int i = 0x72; i < 0x7A; ++i)
        badDate[i] = char(0xFF);

    const QString broken = QStringLiteral("已损坏");
    QTest::newRow("empty") << QByteArray() << QStringLiteral("空文件");
    QTest::newRow("100 bytes") << sample.left(100) << broken;
    QTest::newRow("one page") << sample.left(JetHeader::pageSize) << broken;
    QTest::newRow("random bytes") << random << QStringLiteral("不是数据库");
    QTest::newRow("random after a Jet header") << randomAfterHeader << broken;
    QTest::newRow("half, cut at a page") << sample.left(sample.size() / 2) << broken;
    QTest::newRow("cut inside a page") << sample.left(sample.size() - 1000) << broken;
    QTest::newRow("Jet 3") << jet3 << QStringLiteral("Jet 3");
    QTest::newRow("creation date not a number") << badDate << broken;
}

void TestJetStore::damagedFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);

    const QString directory = m_dir.filePath(QStringLiteral("damaged-") + QTest::currentDataTag());
    QDir().mkpath(directory);
    const QString path = directory + QStringLiteral("/zoradu.dll");
    writeFile(path, bytes);
    const auto before = snapshot(directory);

    const QString error = openError(path, DatabaseLocation::password);
    QVERIFY2(error.contains(expected), qPrintable(error));
    QVERIFY2(error.contains(QDir::toNativeSeparators(path)), qPrintable(error));
    QCOMPARE(snapshot(directory), before);

    // The program carries on: a good database opens right after.
    QCOMPARE(openError(fixtures + sample300, DatabaseLocation::password), QString());
}

void TestJetStore::readerFault_data()
{
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<QString>("expected");

    QTest::newRow("crash") << QByteArray("crash") << QStringLiteral("异常退出");
    QTest::newRow("hang") << QByteArray("hang") << QStringLiteral("无响应");
    QTest::newRow("garbage") << QByteArray("garbage") << QStringLiteral("输出无效");
}

void TestJetStore::readerFault()
{
    QFETCH(QByteArray, fault);
    QFETCH(QString, expected);

    const QString path = copyToTemporary(sample300);
    const auto before = snapshot(QFileInfo(path).path());
    {
        FaultGuard guard(fault);
        JetLoader loader(path);
        loader.setTimeout(500);
        SqliteDatabase db = SqliteDatabase::openInMemory();
        try {
            loader.loadInto(db);
            QFAIL("a failing reader went unnoticed");
        } catch (const QuorvaneError &error) {
            QVERIFY2(error.message().contains(QStringLiteral("已损坏")),
                     qPrintable(error.message()));
            QVERIFY2(error.message().contains(expected), qPrintable(error.message()));
            QVERIFY2(error.message().contains(QDir::toNativeSeparators(path)),
                     qPrintable(error.message()));
        }
        // Nothing of the failed load stays behind.
        SqliteStatement tables(db.handle(), "SELECT count(*) FROM sqlite_master");
        QVERIFY(tables.step());
        QCOMPARE(tables.int64(0), 0);
    }
    QCOMPARE(snapshot(QFileInfo(path).path()), before);
    QCOMPARE(openError(path, DatabaseLocation::password), QString());
}

void TestJetStore::missingReader()
{
    JetLoader::setReaderPath(m_dir.filePath(QStringLiteral("no-such-reader")));
    const QString error = openError(fixtures + sample300, DatabaseLocation::password);
    QVERIFY2(error.contains(QStringLiteral("quorvane-jet-reader")), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestJetStore)
#include "tst_jetstore.moc"
