#include "tools/cli/Commands.h"

#include "data/Connection.h"
#include "data/DatabaseLocation.h"
#include "data/Query.h"
#include "data/QuorvaneError.h"
#include "data/Search.h"

#include <QCommandLineParser>
#include <QTextStream>

#include <cstdio>

namespace {

QString csvField(const QString &value)
{
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

void printCsv(const Query &rows, QTextStream &out)
{
    QStringList line;
    for (const QString &name : rows.fieldNames())
        line << csvField(name);
    out << line.join(QLatin1Char(',')) << '\n';
    const int columns = int(rows.fieldNames().size());
    for (int r = 0; r < rows.recordCount(); ++r) {
        line.clear();
        for (int c = 0; c < columns; ++c)
            line << csvField(rows.text(r, c));
        out << line.join(QLatin1Char(',')) << '\n';
    }
}

} // namespace

int runSearchCommand(const QStringList &arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Search the enterprise database. Prints the rows as CSV on standard "
                       "output and the total on standard error."));
    const QCommandLineOption tradeCode(QStringLiteral("trade-code"),
                                       QStringLiteral("industry code starts with"),
                                       QStringLiteral("text"));
    const QCommandLineOption scope(QStringLiteral("scope"),
                                   QStringLiteral("business scope contains, ignoring case"),
                                   QStringLiteral("text"));
    const QCommandLineOption company(QStringLiteral("company"),
                                     QStringLiteral("company name contains"),
                                     QStringLiteral("text"));
    const QCommandLineOption trade(QStringLiteral("trade"), QStringLiteral("industry contains"),
                                   QStringLiteral("text"));
    const QCommandLineOption province(QStringLiteral("province"),
                                      QStringLiteral("province starts with"),
                                      QStringLiteral("text"));
    const QCommandLineOption address(QStringLiteral("address"),
                                     QStringLiteral("address contains"), QStringLiteral("text"));
    const QCommandLineOption db(QStringLiteral("db"),
                                QStringLiteral("database file (default: the program's own)"),
                                QStringLiteral("path"));
    const QCommandLineOption sql(QStringLiteral("sql"),
                                 QStringLiteral("print the two statements instead of running them"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("show this help"));
    parser.addOptions({tradeCode, scope, company, trade, province, address, db, sql, help});

    if (!parser.parse(QStringList{QStringLiteral("quorvane-cli search")} + arguments)) {
        err << "quorvane-cli search: " << parser.errorText() << '\n';
        return ExitUsage;
    }
    if (parser.isSet(help)) {
        out << parser.helpText();
        return ExitSuccess;
    }
    if (!parser.positionalArguments().isEmpty()) {
        err << "quorvane-cli search: unexpected argument '" << parser.positionalArguments().first()
            << "'\n";
        return ExitUsage;
    }

    const SearchCriteria criteria{parser.value(tradeCode), parser.value(scope),
                                  parser.value(company),   parser.value(trade),
                                  parser.value(province),  parser.value(address)};
    if (parser.isSet(sql)) {
        const auto statements = BuildSearchStatement(criteria);
        if (!statements) {
            err << "quorvane-cli search: no criterion given\n";
            return ExitUsage;
        }
        out << statements->rows << '\n' << statements->count << '\n';
        return ExitSuccess;
    }
    if (!criteria.hasAny()) {
        err << "quorvane-cli search: no criterion given\n";
        return ExitUsage;
    }

    const QString path = parser.isSet(db) ? parser.value(db) : DatabaseLocation::databasePath();
    try {
        Connection connection;
        connection.setConnectionString(
            DatabaseLocation::connectionString(path, DatabaseLocation::password));
        connection.open();
        Query rows(&connection);
        const std::optional<qint64> total = runSearch(connection, rows, criteria);
        printCsv(rows, out);
        out.flush();
        if (total && *total >= 0)
            err << totalText(*total) << '\n';
    } catch (const QuorvaneError &error) {
        out.flush();
        err << "quorvane-cli search: " << error.message() << '\n';
        return ExitFailure;
    }
    return ExitSuccess;
}
