#include "data/JetConvert.h"

#include "data/EnterpriseStore.h"
#include "data/JetHeader.h"
#include "data/QuorvaneError.h"
#include "data/Sqlite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

void checkSource(const QString &source)
{
    const DatabaseFileKind kind = detectDatabaseFile(source);
    if (kind == DatabaseFileKind::Jet4)
        return;
    if (kind == DatabaseFileKind::Sqlite)
        throw QuorvaneError(
            QStringLiteral("数据库文件“%1”已经是本程序的格式，无需转换").arg(shown(source)));
    if (kind == DatabaseFileKind::NotADatabase)
        throw QuorvaneError(QStringLiteral("文件“%1”不是 Jet 4.0 数据库").arg(shown(source)));
    throw QuorvaneError(databaseFileProblem(source, kind));
}

// The data must be on the disk before the name points at it, or a crash
// right after the rename could leave an empty store under the real name.
void flushToDisk(const QString &path)
{
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(path);
#endif
}

bool replaceFile(const QString &from, const QString &to)
{
#ifdef Q_OS_WIN
    return MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(from).utf16()),
                       reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(to).utf16()),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

} // namespace

JetConversion convertJetDatabase(const QString &source, const QString &target,
                                 const QString &password,
                                 const JetLoader::ProgressHandler &progress)
{
    checkSource(source);
    const QFileInfo targetInfo(target);
    if (targetInfo.isDir())
        throw QuorvaneError(QStringLiteral("目标“%1”是一个目录").arg(shown(target)));
    const QString directory = targetInfo.absolutePath();
    if (!QFileInfo(directory).isDir())
        throw QuorvaneError(QStringLiteral("目标目录“%1”不存在").arg(shown(directory)));
    // Renaming over the source would destroy the only copy of the data.
    if (targetInfo.exists() &&
        targetInfo.canonicalFilePath() == QFileInfo(source).canonicalFilePath())
        throw QuorvaneError(QStringLiteral("目标文件“%1”就是源文件，不能覆盖").arg(shown(target)));

    JetHeader::read(source).checkPassword(source, password);

    QTemporaryFile temporary(directory + QLatin1Char('/') + targetInfo.fileName() +
                             QStringLiteral(".converting-XXXXXX"));
    if (!temporary.open())
        throw QuorvaneError(QStringLiteral("无法在目录“%1”中创建文件：%2")
                                .arg(shown(directory), temporary.errorString()));
    temporary.close();

    JetLoader loader(source);
    loader.setProgressHandler(progress);
    {
        SqliteDatabase db = SqliteDatabase::openForWriting(temporary.fileName());
        // A failed build is thrown away whole, so a journal would only be one
        // more file to leave behind. The file stays in rollback-journal format.
        db.exec("PRAGMA journal_mode = OFF");
        loader.loadInto(db);
    }
    flushToDisk(temporary.fileName());

    QFile::setPermissions(temporary.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ReadGroup |
                                                    QFileDevice::ReadOther);
    if (!replaceFile(temporary.fileName(), target))
        throw QuorvaneError(QStringLiteral("无法写入目标文件“%1”").arg(shown(target)));
    temporary.setAutoRemove(false);
    return {loader.rowCount(), loader.columnNames()};
}
