#pragma once

#include "data/Sqlite.h"

#include <QString>

#include <memory>

// The database connection: opened from an OLE DB style connection string
// whose provider, data source and password say which file to read and how.
class Connection final
{
public:
    static inline const QString jetProvider = QStringLiteral("Microsoft.Jet.OLEDB.4.0");

    void setConnectionString(const QString &connectionString);
    QString connectionString() const { return m_connectionString; }

    // Throws QuorvaneError when the store cannot be opened; stays closed then.
    void open();
    void close();
    bool isConnected() const { return m_db != nullptr; }

    // The open database, opening it first when it is closed.
    std::shared_ptr<SqliteDatabase> database();

private:
    QString m_connectionString;
    std::shared_ptr<SqliteDatabase> m_db;
};
