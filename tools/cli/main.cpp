// quorvane-cli: the enterprise search and the database tools, from a terminal.

#include "tools/cli/Commands.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

void printUsage(QTextStream &out)
{
    out << "Usage: quorvane-cli <command> [options]\n\n"
           "Commands:\n"
           "  search    search the enterprise database and print the rows as CSV\n"
           "  convert   convert an original Jet 4.0 database into the program's store\n\n"
           "Run 'quorvane-cli <command> --help' for the options of a command.\n";
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvane-cli"));

    QStringList arguments = QCoreApplication::arguments().mid(1);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (arguments.isEmpty()) {
        printUsage(err);
        return ExitUsage;
    }
    const QString command = arguments.takeFirst();
    if (command == QLatin1String("search"))
        return runSearchCommand(arguments);
    if (command == QLatin1String("convert"))
        return runConvertCommand(arguments);
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        printUsage(out);
        return ExitSuccess;
    }
    err << "quorvane-cli: unknown command '" << command << "'\n\n";
    printUsage(err);
    return ExitUsage;
}
