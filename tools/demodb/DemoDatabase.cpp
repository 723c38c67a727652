#include "tools/demodb/DemoDatabase.h"

#include "data/QuorvaneError.h"
#include "data/Sqlite.h"
#include "tools/demodb/EnterpriseGenerator.h"
#include "tools/demodb/ReferenceData.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <sqlite3.h>

#include <csignal>
#include <filesystem>
#include <system_error>

namespace {

volatile std::sig_atomic_t cancelled = 0;

// The two columns after 传真 are not shown by the program; it fetches them
// with the rest, as it would any extra column of the original table.
const QByteArray createTable = "CREATE TABLE 外商 (企业代码 TEXT, 省份 TEXT, 公司名称 TEXT, "
                               "地址 TEXT, 经营范围 TEXT, 行业代码 TEXT, 邮编 TEXT, 行业 TEXT, "
                               "电话 TEXT, 传真 TEXT, 成立日期 TEXT, 注册资本 TEXT)";

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

void bindText(sqlite3 *db, sqlite3_stmt *statement, int index, const std::string &text)
{
    // The row outlives the step, so SQLite need not copy the text.
    if (sqlite3_bind_text(statement, index, text.data(), int(text.size()), SQLITE_STATIC) !=
        SQLITE_OK)
        throw QuorvaneError(QString::fromUtf8(sqlite3_errmsg(db)));
}

void fill(const QString &file, std::int64_t rows, std::uint64_t seed)
{
    const ReferenceData reference = ReferenceData::loadEmbedded();
    EnterpriseGenerator generator(reference, seed);

    SqliteDatabase db = SqliteDatabase::openForWriting(file);
    // Nothing needs protecting while the file is built: a failure throws the
    // whole file away. The page size has to be set before the first table.
    db.exec("PRAGMA page_size = 4096");
    db.exec("PRAGMA journal_mode = OFF");
    db.exec("PRAGMA synchronous = OFF");
    db.exec(createTable);
    db.exec("BEGIN");
    SqliteStatement insert(db.handle(), "INSERT INTO 外商 VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, "
                                        "?9, ?10, ?11, ?12)");
    sqlite3_stmt *statement = insert.handle();
    EnterpriseRow row;
    for (std::int64_t index = 0; index < rows; ++index) {
        if (cancelled)
            throw QuorvaneError(QStringLiteral("interrupted"));
        generator.generate(index, row);
        bindText(db.handle(), statement, 1, row.enterpriseCode);
        bindText(db.handle(), statement, 2, row.province);
        bindText(db.handle(), statement, 3, row.companyName);
        bindText(db.handle(), statement, 4, row.address);
        bindText(db.handle(), statement, 5, row.businessScope);
        bindText(db.handle(), statement, 6, row.tradeCode);
        bindText(db.handle(), statement, 7, row.postcode);
        bindText(db.handle(), statement, 8, row.trade);
        bindText(db.handle(), statement, 9, row.telephone);
        if (row.faxNull)
            insert.bindNull(10);
        else
            bindText(db.handle(), statement, 10, row.fax);
        bindText(db.handle(), statement, 11, row.founded);
        bindText(db.handle(), statement, 12, row.registeredCapital);
        insert.step();
        insert.reset();
    }
    db.exec("COMMIT");
    // What ships is an ordinary rollback-journal database (never WAL), which
    // every SQLite reader opens read-only without side files.
    db.exec("PRAGMA journal_mode = DELETE");
}

} // namespace

void cancelDemoDatabase()
{
    cancelled = 1;
}

void writeDemoDatabase(const QString &path, std::int64_t rows, std::uint64_t seed)
{
    const QFileInfo target(path);
    if (target.isDir())
        throw QuorvaneError(QStringLiteral("%1 is a directory").arg(shown(path)));
    const QDir directory = target.absoluteDir();
    if (!directory.exists() && !QDir().mkpath(directory.absolutePath()))
        throw QuorvaneError(
            QStringLiteral("cannot create the directory %1").arg(shown(directory.absolutePath())));

    // Built beside the target, so that the rename below stays on one file
    // system and replaces the old file in one step: a reader sees the old
    // database or the new one, never half of one.
    QTemporaryFile temporary(
        directory.filePath(QLatin1Char('.') + target.fileName() + QStringLiteral(".XXXXXX")));
    if (!temporary.open())
        throw QuorvaneError(QStringLiteral("cannot create a file in %1: %2")
                                .arg(shown(directory.absolutePath()), temporary.errorString()));
    temporary.close();
    const QString temporaryName = temporary.fileName();

    fill(temporaryName, rows, seed);

    // QTemporaryFile makes the file private to its owner; the database is
    // meant to be read by everyone.
    QFile::setPermissions(temporaryName, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                             QFile::ReadOther);
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(temporaryName.toStdU16String()),
                            std::filesystem::path(target.absoluteFilePath().toStdU16String()),
                            error);
    if (error)
        throw QuorvaneError(QStringLiteral("cannot move the new database to %1: %2")
                                .arg(shown(path), QString::fromLocal8Bit(error.message())));
    temporary.setAutoRemove(false);
}
