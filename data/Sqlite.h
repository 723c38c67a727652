#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

// A small RAII layer over the SQLite C API. Errors become QuorvaneError.
class SqliteDatabase final
{
public:
    SqliteDatabase() = default;

    // Opens an existing file for reading only: never creates it, never
    // writes it, takes no locks and leaves no journal beside it.
    static SqliteDatabase openReadOnly(const QString &path);
    // Opens (creating if needed) a file for writing, e.g. when building a store.
    static SqliteDatabase openForWriting(const QString &path);
    static SqliteDatabase openInMemory();

    sqlite3 *handle() const { return m_db.get(); }
    bool isValid() const { return m_db != nullptr; }
    explicit operator bool() const { return isValid(); }

    void exec(const QByteArray &sql);
    QString errorMessage() const;

private:
    struct Closer
    {
        void operator()(sqlite3 *db) const;
    };
    explicit SqliteDatabase(sqlite3 *db);

    std::unique_ptr<sqlite3, Closer> m_db;
};

class SqliteStatement final
{
public:
    SqliteStatement() = default;
    SqliteStatement(sqlite3 *db, const QByteArray &sql);

    sqlite3_stmt *handle() const { return m_stmt.get(); }
    bool isValid() const { return m_stmt != nullptr; }

    // Returns true while a row is available.
    bool step();
    void reset();

    void bind(int index, qint64 value);
    void bind(int index, const QByteArray &utf8);
    void bind(int index, const QString &text);
    void bindNull(int index);

    int columnCount() const;
    QString columnName(int column) const;
    bool isNull(int column) const;
    qint64 int64(int column) const;
    QString text(int column) const;
    // The raw UTF-8 bytes, valid until the next step or reset.
    QByteArray rawText(int column) const;

private:
    struct Finalizer
    {
        void operator()(sqlite3_stmt *stmt) const;
    };

    sqlite3 *m_db = nullptr;
    std::unique_ptr<sqlite3_stmt, Finalizer> m_stmt;
};
