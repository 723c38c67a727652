#include "data/EnterpriseStore.h"

#include "data/EnterpriseTable.h"
#include "data/QuorvaneError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace {

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

quint32 bigEndian32(const QByteArray &bytes, int offset)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData()) + offset;
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

// An SQLite file whose header promises more pages than the file holds has
// been cut short; SQLite itself would only notice on reaching the missing pages.
void checkSqliteLength(const QString &path, const QByteArray &header, qint64 fileSize)
{
    if (header.size() < 100)
        throw QuorvaneError(QStringLiteral("数据库文件“%1”已损坏：文件头不完整").arg(shown(path)));
    const auto *p = reinterpret_cast<const uchar *>(header.constData());
    qint64 pageSize = (p[16] << 8) | p[17];
    if (pageSize == 1)
        pageSize = 65536;
    const bool sizeValid = bigEndian32(header, 24) == bigEndian32(header, 92);
    const qint64 pages = bigEndian32(header, 28);
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0)
        throw QuorvaneError(QStringLiteral("数据库文件“%1”已损坏：页大小无效").arg(shown(path)));
    if (sizeValid && pages > 0 && pages * pageSize > fileSize)
        throw QuorvaneError(QStringLiteral("数据库文件“%1”已损坏：文件被截断").arg(shown(path)));
}

SqliteDatabase openSqliteStore(const QString &path, const QByteArray &header, qint64 fileSize)
{
    checkSqliteLength(path, header, fileSize);
    SqliteDatabase db;
    try {
        db = SqliteDatabase::openReadOnly(path);
        SqliteStatement probe(db.handle(),
                              "SELECT count(*) FROM sqlite_master WHERE type IN ('table','view') "
                              "AND name = ?1");
        probe.bind(1, EnterpriseTable::name);
        probe.step();
        if (probe.int64(0) == 0)
            throw QuorvaneError(QStringLiteral("数据库文件“%1”中没有表“%2”")
                                    .arg(shown(path), EnterpriseTable::name));
    } catch (const QuorvaneError &error) {
        if (error.message().startsWith(QStringLiteral("数据库文件")))
            throw;
        throw QuorvaneError(
            QStringLiteral("数据库文件“%1”已损坏：%2").arg(shown(path), error.message()));
    }
    return db;
}

} // namespace

DatabaseFileKind detectDatabaseFile(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile())
        return DatabaseFileKind::Missing;
    if (!file.open(QIODevice::ReadOnly))
        return DatabaseFileKind::Missing;
    const QByteArray header = file.read(100);
    if (header.isEmpty())
        return DatabaseFileKind::Empty;
    if (header.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return DatabaseFileKind::Sqlite;
    if (header.size() > 0x14 && header[0] == 0 && header.mid(4, 15) == "Standard Jet DB") {
        if (header[0x14] == 1)
            return DatabaseFileKind::Jet4;
        if (header[0x14] == 0)
            return DatabaseFileKind::Jet3;
    }
    return DatabaseFileKind::NotADatabase;
}

SqliteDatabase openEnterpriseStore(const QString &path, const QString &password)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw QuorvaneError(QStringLiteral("“%1”不是数据库文件，而是一个目录").arg(shown(path)));
    QByteArray header;
    qint64 size = 0;
    if (info.exists()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw QuorvaneError(
                QStringLiteral("无法读取数据库文件“%1”：%2").arg(shown(path), file.errorString()));
        header = file.read(100);
        size = file.size();
    }

    const DatabaseFileKind kind = detectDatabaseFile(path);
    if (const QString problem = databaseFileProblem(path, kind); !problem.isEmpty())
        throw QuorvaneError(problem);
    if (kind == DatabaseFileKind::Jet4)
        return openJetStore(path, password);
    return openSqliteStore(path, header, size);
}

QString databaseFileProblem(const QString &path, DatabaseFileKind kind)
{
    switch (kind) {
    case DatabaseFileKind::Missing:
        return QStringLiteral("找不到数据库文件“%1”").arg(shown(path));
    case DatabaseFileKind::Empty:
        return QStringLiteral("数据库文件“%1”是空文件").arg(shown(path));
    case DatabaseFileKind::NotADatabase:
        return QStringLiteral("文件“%1”不是数据库").arg(shown(path));
    case DatabaseFileKind::Jet3:
        return QStringLiteral("数据库文件“%1”是 Jet 3 格式（Access 97 或更早），不受支持，"
                              "请先用 Access 转换为 Access 2000 格式")
            .arg(shown(path));
    case DatabaseFileKind::Jet4:
    case DatabaseFileKind::Sqlite:
        break;
    }
    return {};
}
