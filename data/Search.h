#pragma once

#include <QString>

#include <optional>

class Connection;
class Query;

// The six criteria as typed, each trimmed of the characters at or below
// the space (so tabs and line breaks go, but the ideographic space stays).
struct SearchCriteria
{
    QString tradeCode;
    QString businessScope;
    QString companyName;
    QString trade;
    QString province;
    QString address;

    static QString trimmed(const QString &text);
    // Trims every criterion.
    SearchCriteria normalized() const;
    bool hasAny() const;
};

struct SearchStatements
{
    QString rows;
    QString count;
};

inline const QString rowStatementHead = QStringLiteral("SELECT * FROM 外商 WHERE 1=1");
inline const QString countStatementHead =
    QStringLiteral("SELECT Count(*) as totalcount FROM 外商 WHERE 1=1");

// The row statement and the count statement for the present criteria,
// with the same conditions in the same order; nothing when none is present.
std::optional<SearchStatements> BuildSearchStatement(const SearchCriteria &criteria);

// The search: trims the criteria and, when any is present, opens rows on
// the statement for them and returns the total from the count statement.
// Returns nothing, and touches nothing, when no criterion is present.
// Throws QuorvaneError; when the row statement fails rows is left closed
// and the count is not run.
std::optional<qint64> runSearch(Connection &connection, Query &rows,
                                const SearchCriteria &criteria);

// "总记录：N" for the status bar.
QString totalText(qint64 total);
