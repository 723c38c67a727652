// quorvane-demodb: makes a database of fictitious foreign-invested
// enterprises for trying out and measuring the program.

#include "data/QuorvaneError.h"
#include "tools/demodb/DemoDatabase.h"
#include "tools/demodb/EnterpriseGenerator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTextStream>

#include <csignal>
#include <limits>

namespace {

enum ExitCode { ExitSuccess = 0, ExitFailure = 1, ExitUsage = 2 };

constexpr qint64 defaultRows = 20000;
constexpr quint64 defaultSeed = 4754;

void onSignal(int)
{
    cancelDemoDatabase();
}

int usageError(QTextStream &err, const QCommandLineParser &parser, const QString &message)
{
    err << "quorvane-demodb: " << message << "\n\n" << parser.helpText();
    return ExitUsage;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvane-demodb"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes an SQLite database of fictitious foreign-invested enterprises "
                       "(table 外商). The same rows and seed always give the same content."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption rowsOption(
        QStringLiteral("rows"),
        QStringLiteral("Number of enterprises (default %1).").arg(defaultRows), QStringLiteral("N"),
        QString::number(defaultRows));
    const QCommandLineOption seedOption(
        QStringLiteral("seed"),
        QStringLiteral("Seed of the random choices (default %1).").arg(defaultSeed),
        QStringLiteral("S"), QString::number(defaultSeed));
    parser.addOption(rowsOption);
    parser.addOption(seedOption);
    parser.addPositionalArgument(
        QStringLiteral("OUTPUT"),
        QStringLiteral("The database file to write; replaced if present."));

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(err, parser, parser.errorText());
    if (parser.isSet(helpOption)) {
        out << parser.helpText();
        return ExitSuccess;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return usageError(err, parser,
                          positional.isEmpty() ? QStringLiteral("no OUTPUT file given")
                                               : QStringLiteral("only one OUTPUT file is allowed"));
    bool ok = false;
    const qint64 rows = parser.value(rowsOption).toLongLong(&ok);
    if (!ok || rows < 0 || rows > EnterpriseGenerator::maximumRows)
        return usageError(err, parser,
                          QStringLiteral("--rows takes a whole number from 0 to %1, not '%2'")
                              .arg(EnterpriseGenerator::maximumRows)
                              .arg(parser.value(rowsOption)));
    const quint64 seed = parser.value(seedOption).toULongLong(&ok);
    if (!ok)
        return usageError(err, parser,
                          QStringLiteral("--seed takes a whole number from 0 to %1, not '%2'")
                              .arg(std::numeric_limits<quint64>::max())
                              .arg(parser.value(seedOption)));
    const QString output = positional.front();

    // Ctrl+C stops between two rows, so the half-built file is removed.
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    QElapsedTimer timer;
    timer.start();
    try {
        writeDemoDatabase(output, rows, seed);
    } catch (const QuorvaneError &error) {
        err << "quorvane-demodb: cannot write " << QDir::toNativeSeparators(output) << ": "
            << error.message() << '\n';
        return ExitFailure;
    } catch (const std::exception &error) {
        err << "quorvane-demodb: cannot write " << QDir::toNativeSeparators(output) << ": "
            << error.what() << '\n';
        return ExitFailure;
    }
    out << "Wrote " << rows << " enterprises to " << QDir::toNativeSeparators(output) << " in "
        << QString::number(timer.elapsed() / 1000.0, 'f', 1) << " s\n";
    return ExitSuccess;
}
