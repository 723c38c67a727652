#include "tools/cli/Commands.h"

#include "data/DatabaseLocation.h"
#include "data/JetConvert.h"
#include "data/QuorvaneError.h"

#include <QCommandLineParser>
#include <QDir>
#include <QTextStream>

#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

// A bar on the terminal, redrawn in place only when it changes, so that a
// large table does not flood a slow terminal.
class ProgressBar final
{
public:
    explicit ProgressBar(QTextStream &err) : m_err(err) {}
    ~ProgressBar() { finish(); }

    bool update(qint64 done, qint64 total)
    {
        const int percent = total > 0 ? int(done * 100 / total) : 0;
        if (percent == m_percent && done != total)
            return true;
        m_percent = percent;
        const int filled = percent * width / 100;
        m_err << "\rconverting [" << QString(filled, QLatin1Char('#'))
              << QString(width - filled, QLatin1Char(' ')) << "] " << qSetFieldWidth(3) << percent
              << qSetFieldWidth(0) << "%  " << done << '/' << total << " rows";
        m_err.flush();
        m_drawn = true;
        return true;
    }

    void finish()
    {
        if (m_drawn)
            m_err << '\n';
        m_err.flush();
        m_drawn = false;
    }

private:
    static constexpr int width = 30;
    QTextStream &m_err;
    int m_percent = -1;
    bool m_drawn = false;
};

} // namespace

int runConvertCommand(const QStringList &arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Convert the table 外商 of an original Jet 4.0 (Access) database into "
                       "the program's own store, written as a whole or not at all."));
    parser.addPositionalArgument(QStringLiteral("source"), QStringLiteral("the Jet 4.0 database"));
    parser.addPositionalArgument(QStringLiteral("target"),
                                 QStringLiteral("the store to write (replaced if it exists)"));
    const QCommandLineOption password(
        QStringLiteral("password"),
        QStringLiteral("the database password (default: the product's own)"),
        QStringLiteral("text"), DatabaseLocation::password);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("show this help"));
    parser.addOptions({password, help});

    if (!parser.parse(QStringList{QStringLiteral("quorvane-cli convert")} + arguments)) {
        err << "quorvane-cli convert: " << parser.errorText() << '\n';
        return ExitUsage;
    }
    if (parser.isSet(help)) {
        out << parser.helpText();
        return ExitSuccess;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() != 2) {
        err << "quorvane-cli convert: expected SOURCE and TARGET\n\n" << parser.helpText();
        return ExitUsage;
    }

    ProgressBar bar(err);
    JetLoader::ProgressHandler progress;
    if (isatty(fileno(stderr)))
        progress = [&bar](qint64 done, qint64 total) { return bar.update(done, total); };
    try {
        const JetConversion result =
            convertJetDatabase(files[0], files[1], parser.value(password), progress);
        bar.finish();
        err << "quorvane-cli convert: " << result.rows << " rows, " << result.columns.size()
            << " columns written to " << QDir::toNativeSeparators(files[1]) << '\n';
    } catch (const QuorvaneError &error) {
        bar.finish();
        err << "quorvane-cli convert: " << error.message() << '\n';
        return ExitFailure;
    }
    return ExitSuccess;
}
