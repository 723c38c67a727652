#include "data/Sqlite.h"

#include "data/QuorvaneError.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <sqlite3.h>

namespace {

QString sqliteMessage(sqlite3 *db)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
}

// Damage may lie in pages that only a search reaches, long after the store
// opened; the user must then still learn which file is at fault and why.
QString statementFailure(sqlite3 *db, int rc)
{
    const QString message = sqliteMessage(db);
    const char *name = sqlite3_db_filename(db, "main");
    const QString file = QDir::toNativeSeparators(QString::fromUtf8(name ? name : ""));
    const bool damaged = (rc & 0xFF) == SQLITE_CORRUPT || (rc & 0xFF) == SQLITE_NOTADB ||
                         rc == SQLITE_IOERR_SHORT_READ;
    if (damaged) {
        return file.isEmpty() ? QStringLiteral("数据库已损坏：%1").arg(message)
                              : QStringLiteral("数据库文件“%1”已损坏：%2").arg(file, message);
    }
    if ((rc & 0xFF) == SQLITE_IOERR) {
        return file.isEmpty() ? QStringLiteral("访问数据库出错：%1").arg(message)
                              : QStringLiteral("访问数据库文件“%1”出错：%2").arg(file, message);
    }
    return message;
}

} // namespace

void SqliteDatabase::Closer::operator()(sqlite3 *db) const
{
    sqlite3_close_v2(db);
}

SqliteDatabase::SqliteDatabase(sqlite3 *db) : m_db(db) {}

static sqlite3 *openOrThrow(const QByteArray &name, int flags)
{
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(name.constData(), &db, flags | SQLITE_OPEN_URI, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = sqliteMessage(db);
        sqlite3_close_v2(db);
        throw QuorvaneError(message);
    }
    sqlite3_extended_result_codes(db, 1);
    return db;
}

SqliteDatabase SqliteDatabase::openReadOnly(const QString &path)
{
    // immutable=1: the store never changes under us, so SQLite needs no
    // locks and creates no journal or shared-memory file, and other
    // processes may read the same file freely.
    QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    url.setQuery(QStringLiteral("mode=ro&immutable=1"));
    return SqliteDatabase(openOrThrow(url.toEncoded(), SQLITE_OPEN_READONLY));
}

SqliteDatabase SqliteDatabase::openForWriting(const QString &path)
{
    QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    return SqliteDatabase(openOrThrow(url.toEncoded(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
}

SqliteDatabase SqliteDatabase::openInMemory()
{
    return SqliteDatabase(openOrThrow(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
}

void SqliteDatabase::exec(const QByteArray &sql)
{
    char *error = nullptr;
    if (sqlite3_exec(handle(), sql.constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QString message = error ? QString::fromUtf8(error) : errorMessage();
        sqlite3_free(error);
        throw QuorvaneError(message);
    }
}

QString SqliteDatabase::errorMessage() const
{
    return sqliteMessage(handle());
}

void SqliteStatement::Finalizer::operator()(sqlite3_stmt *stmt) const
{
    sqlite3_finalize(stmt);
}

SqliteStatement::SqliteStatement(sqlite3 *db, const QByteArray &sql) : m_db(db)
{
    // SQLite reads a statement only up to a NUL: what it would run is not
    // what was written.
    if (sql.contains('\0'))
        throw QuorvaneError(QStringLiteral("语句中含有空字符（U+0000），无法执行"));
    sqlite3_stmt *stmt = nullptr;
    const char *tail = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &stmt, &tail);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        throw QuorvaneError(statementFailure(db, rc));
    }
    if (!stmt) // only white space or a comment
        throw QuorvaneError(QStringLiteral("语句为空"));
    m_stmt.reset(stmt);

    // Whatever follows the first statement would be silently ignored.
    const char *end = sql.constData() + sql.size();
    while (tail && tail < end) {
        sqlite3_stmt *next = nullptr;
        const char *rest = tail;
        const int restRc = sqlite3_prepare_v2(db, rest, int(end - rest), &next, &tail);
        const bool more = restRc != SQLITE_OK || next != nullptr || tail == rest;
        sqlite3_finalize(next);
        if (more)
            throw QuorvaneError(QStringLiteral("一次只能执行一条语句"));
    }
}

bool SqliteStatement::step()
{
    const int rc = sqlite3_step(handle());
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    throw QuorvaneError(statementFailure(m_db, rc));
}

void SqliteStatement::reset()
{
    sqlite3_reset(handle());
}

void SqliteStatement::bind(int index, qint64 value)
{
    sqlite3_bind_int64(handle(), index, value);
}

void SqliteStatement::bind(int index, const QByteArray &utf8)
{
    sqlite3_bind_text(handle(), index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void SqliteStatement::bind(int index, const QString &text)
{
    if (text.isNull())
        bindNull(index);
    else
        bind(index, text.toUtf8());
}

void SqliteStatement::bindNull(int index)
{
    sqlite3_bind_null(handle(), index);
}

int SqliteStatement::columnCount() const
{
    return sqlite3_column_count(handle());
}

QString SqliteStatement::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(handle(), column));
}

bool SqliteStatement::isNull(int column) const
{
    return sqlite3_column_type(handle(), column) == SQLITE_NULL;
}

qint64 SqliteStatement::int64(int column) const
{
    return sqlite3_column_int64(handle(), column);
}

QString SqliteStatement::text(int column) const
{
    const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(handle(), column));
    return QString::fromUtf8(data, sqlite3_column_bytes(handle(), column));
}

QByteArray SqliteStatement::rawText(int column) const
{
    const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(handle(), column));
    return QByteArray::fromRawData(data, sqlite3_column_bytes(handle(), column));
}
