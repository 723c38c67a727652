#include "TestStores.h"

#include "data/EnterpriseTable.h"
#include "data/Sqlite.h"

void createEnterpriseTable(SqliteDatabase &db, const QStringList &extraColumns)
{
    QStringList columns;
    for (const QString &column : EnterpriseTable::columns() + extraColumns)
        columns << QLatin1Char('"') + column + QStringLiteral("\" TEXT");
    db.exec(QStringLiteral("CREATE TABLE \"%1\" (%2)")
                .arg(EnterpriseTable::name, columns.join(QStringLiteral(", ")))
                .toUtf8());
}
