#pragma once

#include "data/Sqlite.h"

#include <QString>
#include <QStringList>

#include <functional>

// Reads one table of a Jet 4.0 database into an SQLite database, as a table
// of the same name whose columns, in the file's order, all hold text and
// keep NULL apart from empty text.
//
// libmdb does the reading, in the helper program quorvane-jet-reader: it
// is not safe on damaged files, so a crash or an endless loop there must
// cost a child process and not the program. Everything the child sends is
// checked before it is believed. The file is only read.
class JetLoader final
{
public:
    // Told how many rows are in so far and how many the table claims; may
    // be called often. Returning false abandons the load.
    using ProgressHandler = std::function<bool(qint64 done, qint64 total)>;

    static constexpr int defaultTimeout = 15000;

    explicit JetLoader(const QString &path);

    void setTableName(const QString &name) { m_tableName = name; }
    QString tableName() const { return m_tableName; }
    void setProgressHandler(ProgressHandler handler) { m_progress = std::move(handler); }
    // How long, in milliseconds, the reader may send nothing before it is
    // taken for hung and killed.
    void setTimeout(int milliseconds) { m_timeout = milliseconds; }

    // Creates the table in db and fills it, in one transaction. Throws
    // QuorvaneError naming the file: no such table, a damaged file, a
    // reader that crashed, hung or cannot be found, or a load abandoned.
    void loadInto(SqliteDatabase &db);

    // After a load: the columns and the number of rows read.
    QStringList columnNames() const { return m_columns; }
    qint64 rowCount() const { return m_rows; }

    // The helper program: the one set here, else the first found next to
    // the running executable, in <its directory>/../bin or in
    // <its directory>/../libexec/quorvane. Empty when there is none.
    static QString readerPath();
    static void setReaderPath(const QString &path);

    // The handler every load through openJetStore() reports to, so that the
    // windows, which the data layer does not know, can show the progress.
    static void setDefaultProgressHandler(ProgressHandler handler);
    static ProgressHandler defaultProgressHandler();

private:
    class Stream;

    QString m_path;
    QString m_tableName;
    ProgressHandler m_progress;
    int m_timeout = defaultTimeout;
    QStringList m_columns;
    qint64 m_rows = 0;
};
