#pragma once

#include "data/Sqlite.h"

#include <QCache>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

class Connection;

// A read-only row set over one statement: a static snapshot with an exact
// row count and a current row. A statement of the form SELECT * FROM t
// WHERE ... keeps only the row ids of its result and fetches the rows that
// are looked at, so a result of a million rows costs a few megabytes;
// any other statement is read whole.
class Query final : public QObject
{
    Q_OBJECT

public:
    explicit Query(Connection *connection, QObject *parent = nullptr);
    ~Query() override;

    // Replacing the statement of an open row set closes it.
    void setSql(const QString &sql);
    QString sql() const { return m_sql; }

    // Runs the statement and stands on the first row. Opens the connection
    // first when it is closed. Throws QuorvaneError; the set stays closed then.
    void open();
    void close();
    bool isOpen() const { return m_open; }

    int recordCount() const;
    // 1-based number of the current row; 0 when closed or empty.
    int recNo() const;
    int currentRow() const { return m_current; } // 0-based, -1 when none
    bool eof() const;

    void first();
    void next();
    void moveTo(int row); // 0-based

    QStringList fieldNames() const { return m_fieldNames; }
    int fieldIndex(const QString &name) const;

    // Values: an invalid QVariant stands for NULL.
    QVariant value(int row, int column) const;
    // Display text of a column of the current row; NULL and unknown columns read as "".
    QString fieldText(const QString &name) const;
    QString text(int row, int column) const;
    // The first column of the first row as an integer, as a count statement gives it.
    qint64 firstValueAsInteger() const;

Q_SIGNALS:
    // After every change of the current row, and after an open that found a row.
    void afterScroll();
    // After the set was opened or closed.
    void stateChanged();

private:
    using Row = QList<QVariant>;

    bool openKeyset(const QString &table, const QString &where);
    void openMaterialized();
    const Row *row(int index) const;

    Connection *m_connection;
    QString m_sql;
    bool m_open = false;
    int m_current = -1;
    bool m_eof = true;
    QStringList m_fieldNames;

    std::shared_ptr<SqliteDatabase> m_db;
    // Keyset mode: the row ids, and one statement that fetches a row by id.
    std::vector<qint64> m_rowIds;
    std::unique_ptr<SqliteStatement> m_fetch;
    mutable QCache<int, Row> m_cache;
    // Otherwise: every row.
    std::vector<Row> m_rows;
    bool m_keyset = false;
};
