#include "data/Search.h"

#include "data/Query.h"

QString SearchCriteria::trimmed(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

SearchCriteria SearchCriteria::normalized() const
{
    return {trimmed(tradeCode), trimmed(businessScope), trimmed(companyName),
            trimmed(trade),     trimmed(province),      trimmed(address)};
}

bool SearchCriteria::hasAny() const
{
    const SearchCriteria t = normalized();
    return !(t.tradeCode.isEmpty() && t.businessScope.isEmpty() && t.companyName.isEmpty() &&
             t.trade.isEmpty() && t.province.isEmpty() && t.address.isEmpty());
}

std::optional<SearchStatements> BuildSearchStatement(const SearchCriteria &raw)
{
    const SearchCriteria criteria = raw.normalized();
    if (!criteria.hasAny())
        return std::nullopt;

    QString suffix;
    const auto append = [&suffix](const QString &value, const QString &condition) {
        if (value.isEmpty())
            return;
        QString quoted = value;
        quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
        suffix += condition.arg(quoted);
    };
    append(criteria.tradeCode, QStringLiteral(" AND 行业代码 like '%1%'"));
    append(criteria.businessScope,
           QStringLiteral(" AND InStr(1,LCase(经营范围),LCase('%1'),0)<>0"));
    append(criteria.companyName, QStringLiteral(" AND 公司名称 like '%%1%'"));
    append(criteria.trade, QStringLiteral(" AND 行业 like '%%1%'"));
    append(criteria.province, QStringLiteral(" AND 省份 like '%1%'"));
    append(criteria.address, QStringLiteral(" AND 地址 like '%%1%'"));
    return SearchStatements{rowStatementHead + suffix, countStatementHead + suffix};
}

std::optional<qint64> runSearch(Connection &connection, Query &rows, const SearchCriteria &criteria)
{
    Query count(&connection);
    const std::optional<SearchStatements> statements = BuildSearchStatement(criteria);
    if (!statements)
        return std::nullopt;
    rows.setSql(statements->rows);
    rows.open();
    count.setSql(statements->count);
    count.open();
    return count.firstValueAsInteger();
}

QString totalText(qint64 total)
{
    return QStringLiteral("总记录：") + QString::number(total);
}
