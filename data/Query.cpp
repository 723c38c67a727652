#include "data/Query.h"

#include "data/Connection.h"
#include "data/QuorvaneError.h"

#include <QRegularExpression>

namespace {

// True when the text, outside its string literals and quoted names, holds
// nothing that could make "SELECT rowid FROM t WHERE ..." mean other rows
// than "SELECT * FROM t WHERE ...".
bool isPlainCondition(const QString &where)
{
    QString code;
    for (qsizetype i = 0; i < where.size(); ++i) {
        const QChar c = where[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('[') ||
            c == QLatin1Char('`')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            for (++i; i < where.size() && where[i] != close; ++i) {
            }
            code += QLatin1Char(' ');
            continue;
        }
        code += c;
    }
    static const QRegularExpression unsafe(
        QStringLiteral(R"(;|\b(SELECT|UNION|INTERSECT|EXCEPT|GROUP|HAVING|WINDOW)\b)"),
        QRegularExpression::CaseInsensitiveOption);
    return !unsafe.match(code).hasMatch();
}

} // namespace

Query::Query(Connection *connection, QObject *parent)
    : QObject(parent), m_connection(connection), m_cache(4096)
{}

Query::~Query() = default;

void Query::setSql(const QString &sql)
{
    close();
    m_sql = sql;
}

void Query::open()
{
    close();
    m_db = m_connection->database();
    try {
        static const QRegularExpression selectAll(
            QStringLiteral(R"(^\s*SELECT\s+\*\s+FROM\s+([^\s;()'"]+)(?:\s+(WHERE\s.*))?\s*$)"),
            QRegularExpression::CaseInsensitiveOption |
                QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpressionMatch match = selectAll.match(m_sql);
        if (!match.hasMatch() || !openKeyset(match.captured(1), match.captured(2)))
            openMaterialized();
    } catch (...) {
        m_rowIds.clear();
        m_rows.clear();
        m_fetch.reset();
        m_fieldNames.clear();
        m_db.reset();
        throw;
    }
    m_open = true;
    m_current = recordCount() > 0 ? 0 : -1;
    m_eof = recordCount() == 0;
    Q_EMIT stateChanged();
    if (m_current == 0)
        Q_EMIT afterScroll();
}

bool Query::openKeyset(const QString &table, const QString &where)
{
    if (!where.isEmpty() && !isPlainCondition(where.mid(5)))
        return false;
    std::unique_ptr<SqliteStatement> fetch;
    std::unique_ptr<SqliteStatement> ids;
    try {
        // A column may itself be called rowid; then one of SQLite's other
        // names for the row id is used, and when all three are taken the
        // statement is read whole.
        const SqliteStatement all(m_db->handle(),
                                  QStringLiteral("SELECT * FROM %1").arg(table).toUtf8());
        QStringList names;
        for (int c = 0; c < all.columnCount(); ++c)
            names << all.columnName(c);
        QString rowId;
        for (const QString &alias :
             {QStringLiteral("rowid"), QStringLiteral("_rowid_"), QStringLiteral("oid")}) {
            if (!names.contains(alias, Qt::CaseInsensitive)) {
                rowId = alias;
                break;
            }
        }
        if (rowId.isEmpty())
            return false;
        fetch = std::make_unique<SqliteStatement>(
            m_db->handle(),
            QStringLiteral("SELECT * FROM %1 WHERE %2 = ?1").arg(table, rowId).toUtf8());
        // The row id goes after the columns the statement selects, so that
        // SQLite plans it as it would the statement itself (a covering index
        // could otherwise give other rows under LIMIT, or another order) and
        // ORDER BY 2 still names the statement's own second column.
        ids = std::make_unique<SqliteStatement>(
            m_db->handle(),
            QStringLiteral("SELECT *, %1 FROM %2 %3").arg(rowId, table, where).toUtf8());
    } catch (const QuorvaneError &) {
        // A table without row ids, or a statement SQLite rejects: the plain
        // path runs it as written and reports its own error.
        return false;
    }
    const int idColumn = ids->columnCount() - 1;
    m_keyset = true;
    m_rowIds.clear();
    while (ids->step()) {
        // A view has no row ids; SQLite gives NULL for them.
        if (ids->isNull(idColumn)) {
            m_keyset = false;
            m_rowIds.clear();
            return false;
        }
        m_rowIds.push_back(ids->int64(idColumn));
    }
    m_rowIds.shrink_to_fit();
    for (int c = 0; c < fetch->columnCount(); ++c)
        m_fieldNames << fetch->columnName(c);
    m_fetch = std::move(fetch);
    return true;
}

void Query::openMaterialized()
{
    m_keyset = false;
    SqliteStatement statement(m_db->handle(), m_sql.toUtf8());
    const int columns = statement.columnCount();
    for (int c = 0; c < columns; ++c)
        m_fieldNames << statement.columnName(c);
    while (statement.step()) {
        Row row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row << (statement.isNull(c) ? QVariant() : QVariant(statement.text(c)));
        m_rows.push_back(std::move(row));
    }
}

void Query::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_current = -1;
    m_eof = true;
    m_rowIds = {};
    m_rows = {};
    m_cache.clear();
    m_fetch.reset();
    m_fieldNames.clear();
    m_db.reset();
    Q_EMIT stateChanged();
}

int Query::recordCount() const
{
    if (!m_open)
        return 0;
    return int(m_keyset ? m_rowIds.size() : m_rows.size());
}

int Query::recNo() const
{
    return m_current + 1;
}

bool Query::eof() const
{
    return !m_open || m_eof;
}

void Query::first()
{
    if (!m_open || recordCount() == 0)
        return;
    m_current = 0;
    m_eof = false;
    Q_EMIT afterScroll();
}

void Query::next()
{
    if (!m_open)
        return;
    if (m_current + 1 >= recordCount()) {
        m_eof = true;
        return;
    }
    ++m_current;
    m_eof = false;
    Q_EMIT afterScroll();
}

void Query::moveTo(int row)
{
    if (!m_open || row < 0 || row >= recordCount() || row == m_current)
        return;
    m_current = row;
    m_eof = false;
    Q_EMIT afterScroll();
}

int Query::fieldIndex(const QString &name) const
{
    for (int i = 0; i < m_fieldNames.size(); ++i) {
        if (m_fieldNames[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

const Query::Row *Query::row(int index) const
{
    if (!m_open || index < 0 || index >= recordCount())
        return nullptr;
    if (!m_keyset)
        return &m_rows[size_t(index)];
    if (const Row *cached = m_cache.object(index))
        return cached;
    m_fetch->reset();
    m_fetch->bind(1, m_rowIds[size_t(index)]);
    auto fetched = std::make_unique<Row>();
    // Rows are read while views paint, where no exception may travel: a
    // page SQLite cannot read shows as an empty row instead.
    try {
        if (m_fetch->step()) {
            for (int c = 0; c < m_fetch->columnCount(); ++c)
                *fetched << (m_fetch->isNull(c) ? QVariant() : QVariant(m_fetch->text(c)));
        }
    } catch (const QuorvaneError &) {
        fetched->clear();
    }
    if (fetched->isEmpty())
        fetched->resize(m_fieldNames.size());
    m_fetch->reset();
    Row *raw = fetched.release();
    m_cache.insert(index, raw);
    return raw;
}

QVariant Query::value(int rowIndex, int column) const
{
    const Row *r = row(rowIndex);
    if (!r || column < 0 || column >= r->size())
        return {};
    return r->at(column);
}

QString Query::text(int rowIndex, int column) const
{
    return value(rowIndex, column).toString();
}

QString Query::fieldText(const QString &name) const
{
    return text(m_current, fieldIndex(name));
}

qint64 Query::firstValueAsInteger() const
{
    if (recordCount() == 0 || m_fieldNames.isEmpty())
        throw QuorvaneError(QStringLiteral("查询没有返回数值"));
    bool ok = false;
    const qint64 result = value(0, 0).toLongLong(&ok);
    if (!ok)
        throw QuorvaneError(QStringLiteral("查询结果“%1”不是整数").arg(text(0, 0)));
    return result;
}
