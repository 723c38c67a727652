// Installs the build into a scratch prefix, as `cmake --install` does for a
// package, and checks the layout a desktop expects and that the installed
// program finds its data from there.

#include "data/EnterpriseTable.h"
#include "data/Sqlite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "TestStores.h"

namespace {

const QString appId = QStringLiteral("com.example.kelvarn.quorvane");

// The cmake that configured this build, so that an older one on PATH does
// not install with different rules.
QString cmakeCommand()
{
    QFile cache(QStringLiteral(QUORVANE_BINARY_DIR "/CMakeCache.txt"));
    if (cache.open(QIODevice::ReadOnly | QIODevice::Text)) {
        static const QRegularExpression entry(QStringLiteral("^CMAKE_COMMAND:INTERNAL=(.*)$"),
                                              QRegularExpression::MultilineOption);
        const auto match = entry.match(QString::fromUtf8(cache.readAll()));
        if (match.hasMatch())
            return match.captured(1).trimmed();
    }
    return QStandardPaths::findExecutable(QStringLiteral("cmake"));
}

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("did not finish: ") + process.errorString();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// How the manual writes a text: every character as an RTF \uN escape.
QByteArray rtfEscaped(const QString &text)
{
    QByteArray out;
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            out += char(c.unicode());
        else
            out += "\\u" + QByteArray::number(qint16(c.unicode())) + '?';
    }
    return out;
}

} // namespace

class TestInstall final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void layout_data();
    void layout();
    void helpManual();
    void desktopEntry();
    void metainfo();
    void programFindsItsData();

private:
    QString path(const QString &relative) const { return m_prefix + u'/' + relative; }

    QTemporaryDir m_dir;
    QString m_prefix;
};

void TestInstall::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // A prefix with a space and Chinese characters, as a user's own may have.
    m_prefix = m_dir.filePath(QStringLiteral("安装 目录"));
    const QString cmake = cmakeCommand();
    QVERIFY2(!cmake.isEmpty(), "cmake not found");
    const Run install =
        run(cmake, {QStringLiteral("--install"), QStringLiteral(QUORVANE_BINARY_DIR),
                    QStringLiteral("--prefix"), m_prefix});
    QVERIFY2(install.exitCode == 0, qPrintable(install.out + install.err));
}

void TestInstall::layout_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("executable");

    QTest::newRow("program") << "bin/quorvane" << true;
    QTest::newRow("command line") << "bin/quorvane-cli" << true;
    QTest::newRow("Jet reader") << "libexec/quorvane/quorvane-jet-reader" << true;
    QTest::newRow("manual beside the program") << "bin/help.doc" << false;
    QTest::newRow("manual with the data") << "share/quorvane/help.doc" << false;
    QTest::newRow("desktop entry") << "share/applications/" + appId + ".desktop" << false;
    QTest::newRow("metainfo") << "share/metainfo/" + appId + ".metainfo.xml" << false;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1x%1").arg(size);
        QTest::addRow("icon %s", qPrintable(dir))
            << "share/icons/hicolor/" + dir + "/apps/" + appId + ".png" << false;
    }
    QTest::newRow("scalable icon")
        << "share/icons/hicolor/scalable/apps/" + appId + ".svg" << false;
}

void TestInstall::layout()
{
    QFETCH(QString, file);
    QFETCH(bool, executable);

    const QFileInfo info(path(file));
    QVERIFY2(info.exists(), qPrintable(file + QStringLiteral(" is missing")));
    QVERIFY(info.isFile());
    QCOMPARE(info.isExecutable(), executable);
    QVERIFY(info.size() > 0);
}

void TestInstall::helpManual()
{
    QFile built(QStringLiteral(QUORVANE_BIN_DIR "/help.doc"));
    QVERIFY2(built.open(QIODevice::ReadOnly), "help.doc is not beside the built program");
    const QByteArray rtf = built.readAll();
    QFile installed(path(QStringLiteral("bin/help.doc")));
    QVERIFY(installed.open(QIODevice::ReadOnly));
    QCOMPARE(installed.readAll(), rtf);

    QVERIFY(rtf.startsWith("{\\rtf1"));
    // Every character outside ASCII is escaped, whatever the reader's code page.
    for (const char byte : rtf)
        QVERIFY2(uchar(byte) < 0x80, "a raw non-ASCII byte in the RTF");
    int depth = 0;
    for (qsizetype i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\')
            ++i; // an escaped brace or backslash, or a control word's first letter
        else if (rtf[i] == '{')
            ++depth;
        else if (rtf[i] == '}')
            QVERIFY2(--depth >= 0, "a group closes that never opened");
    }
    QCOMPARE(depth, 0);

    // What the manual has to explain.
    for (const QString &term :
         {QStringLiteral("行业代码"), QStringLiteral("经营范围"),
          QStringLiteral("不区分英文字母大小写"), QStringLiteral("通配符"),
          QStringLiteral("当前记录"), QStringLiteral("总记录"), QStringLiteral("详细信息"),
          QStringLiteral("报表打印"), QStringLiteral("导出PDF"),
          QStringLiteral("share/quorvane/zoradu.dll"), QStringLiteral("quorvane-cli convert")})
        QVERIFY2(rtf.contains(rtfEscaped(term)), qPrintable(term));
}

void TestInstall::desktopEntry()
{
    const QString file = path("share/applications/" + appId + ".desktop");
    const QString validator =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        QSKIP("desktop-file-validate is not installed");
    const Run check = run(validator, {file});
    QVERIFY2(check.exitCode == 0 && check.out.isEmpty(), qPrintable(check.out + check.err));

    QFile entry(file);
    QVERIFY(entry.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(entry.readAll()).split(u'\n');
    QVERIFY(lines.contains(QStringLiteral("Exec=quorvane")));
    QVERIFY(lines.contains("Icon=" + appId));
    QVERIFY(lines.contains(QStringLiteral("Categories=Office;")));
    QVERIFY(lines.filter(QRegularExpression(QStringLiteral("^Name\\[zh_CN\\]=\\S"))).size() == 1);
}

void TestInstall::metainfo()
{
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
    if (validator.isEmpty())
        QSKIP("appstreamcli is not installed");
    const Run check = run(validator, {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                      path("share/metainfo/" + appId + ".metainfo.xml")});
    QVERIFY2(check.exitCode == 0, qPrintable(check.out + check.err));
}

void TestInstall::programFindsItsData()
{
    const QString cli = path(QStringLiteral("bin/quorvane-cli"));
    const QString database = path(QStringLiteral("share/quorvane/zoradu.dll"));
    QFile::remove(database); // one installed with QUORVANE_DATABASE

    // With nothing there, it names the file it looked for: in the prefix.
    const Run missing =
        run(cli, {QStringLiteral("search"), QStringLiteral("--company"), QStringLiteral("测试")});
    QVERIFY(missing.exitCode != 0);
    QVERIFY2(missing.err.contains(QDir::toNativeSeparators(database)), qPrintable(missing.err));

    {
        QDir().mkpath(QFileInfo(database).path());
        SqliteDatabase db = SqliteDatabase::openForWriting(database);
        createEnterpriseTable(db);
        SqliteStatement insert(db.handle(),
                               QStringLiteral("INSERT INTO \"%1\" (\"%2\") VALUES (?1)")
                                   .arg(EnterpriseTable::name, EnterpriseTable::companyName)
                                   .toUtf8());
        insert.bind(1, QStringLiteral("凯瓦恩安装测试有限公司"));
        insert.step();
    }

    const Run found = run(
        cli, {QStringLiteral("search"), QStringLiteral("--company"), QStringLiteral("安装测试")});
    QVERIFY2(found.exitCode == 0, qPrintable(found.err));
    QVERIFY2(found.out.contains(QStringLiteral("凯瓦恩安装测试有限公司")), qPrintable(found.out));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
