#include "data/Connection.h"

#include "data/ConnectionString.h"
#include "data/EnterpriseStore.h"
#include "data/JetFunctions.h"
#include "data/QuorvaneError.h"

void Connection::setConnectionString(const QString &connectionString)
{
    close();
    m_connectionString = connectionString;
}

void Connection::open()
{
    close();
    const ConnectionString parsed = ConnectionString::parse(m_connectionString);
    const QString provider = parsed.value(QStringLiteral("Provider"));
    if (provider.compare(jetProvider, Qt::CaseInsensitive) != 0)
        throw QuorvaneError(QStringLiteral("不支持的数据提供程序“%1”").arg(provider));
    const QString path = parsed.value(QStringLiteral("Data Source"));
    if (path.isEmpty())
        throw QuorvaneError(QStringLiteral("连接字符串中没有指定数据库文件（Data Source）"));

    auto db = std::make_shared<SqliteDatabase>(
        openEnterpriseStore(path, parsed.value(QStringLiteral("Jet OLEDB:Database Password"))));
    registerJetFunctions(db->handle());
    // The store is read whole by a search; mapping it spares a copy of every page.
    db->exec("PRAGMA mmap_size = 4294967296");
    m_db = std::move(db);
}

void Connection::close()
{
    // Row sets still open keep their own reference and finish with it.
    m_db.reset();
}

std::shared_ptr<SqliteDatabase> Connection::database()
{
    if (!m_db)
        open();
    return m_db;
}
