#include "data/JetLoader.h"

#include "data/EnterpriseTable.h"
#include "data/JetHeader.h"
#include "data/JetReaderProtocol.h"
#include "data/QuorvaneError.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QtEndian>

#include <sqlite3.h>

namespace {

Q_LOGGING_CATEGORY(lcJet, "quorvane.jet", QtWarningMsg)

namespace P = JetReaderProtocol;

// A frame larger than this is not a row of any database we could hold.
constexpr quint32 maxFrameSize = 256u << 20;
constexpr quint32 maxNameBytes = 1024;
// Even rows of nothing but a null mask take a few bytes of a 4096-byte page.
constexpr qint64 maxRowsPerPage = JetHeader::pageSize / 2;
constexpr int progressInterval = 50;
constexpr qsizetype stderrTail = 4096;

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QuorvaneError damaged(const QString &path, const QString &cause)
{
    return QuorvaneError(QStringLiteral("数据库文件“%1”已损坏：%2").arg(shown(path), cause));
}

// The copy could not be stored: a full disk, say, when converting.
QuorvaneError writeFailed(const QString &path, const QuorvaneError &cause)
{
    return QuorvaneError(
        QStringLiteral("无法保存从数据库文件“%1”读出的数据：%2").arg(shown(path), cause.message()));
}

QString &configuredReaderPath()
{
    static QString path;
    return path;
}

JetLoader::ProgressHandler &installedProgressHandler()
{
    static JetLoader::ProgressHandler handler;
    return handler;
}

QByteArray quotedIdentifier(const QString &name)
{
    QByteArray utf8 = name.toUtf8();
    utf8.replace('"', "\"\"");
    return '"' + utf8 + '"';
}

// Reads a payload from the front, refusing to step past its end.
class Cursor final
{
public:
    explicit Cursor(QByteArrayView bytes) : m_bytes(bytes) {}

    bool u8(quint8 &value)
    {
        if (m_bytes.size() - m_pos < 1)
            return false;
        value = quint8(m_bytes[m_pos++]);
        return true;
    }
    bool u32(quint32 &value)
    {
        if (m_bytes.size() - m_pos < 4)
            return false;
        value = qFromLittleEndian<quint32>(m_bytes.data() + m_pos);
        m_pos += 4;
        return true;
    }
    bool bytes(quint32 length, QByteArrayView &value)
    {
        if (quint64(m_bytes.size() - m_pos) < length)
            return false;
        value = m_bytes.sliced(m_pos, qsizetype(length));
        m_pos += qsizetype(length);
        return true;
    }
    QByteArrayView rest() const { return m_bytes.sliced(m_pos); }
    bool atEnd() const { return m_pos == m_bytes.size(); }

private:
    QByteArrayView m_bytes;
    qsizetype m_pos = 0;
};

// Rolls back unless committed, so that a failed load leaves no half table.
class Transaction final
{
public:
    explicit Transaction(SqliteDatabase &db) : m_db(db) { m_db.exec("BEGIN"); }
    ~Transaction()
    {
        if (!m_committed)
            sqlite3_exec(m_db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void commit()
    {
        m_db.exec("COMMIT");
        m_committed = true;
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

private:
    SqliteDatabase &m_db;
    bool m_committed = false;
};

} // namespace

// The parent's side of the stream: checks each frame and turns it into
// rows of the SQLite table.
class JetLoader::Stream final
{
public:
    Stream(JetLoader &loader, SqliteDatabase &db, qint64 maxRows)
        : m_loader(loader), m_db(db), m_maxRows(maxRows)
    {}

    bool headerSeen() const { return m_insert != nullptr; }
    bool ended() const { return m_ended; }
    qint64 rows() const { return m_rows; }
    qint64 claimedRows() const { return m_claimedRows; }

    // Takes every whole frame at the front of data; returns the bytes used.
    qsizetype consume(QByteArrayView data)
    {
        qsizetype used = 0;
        if (!m_magicSeen) {
            if (data.size() < qsizetype(sizeof P::magic))
                return 0;
            if (data.first(sizeof P::magic) != QByteArrayView(P::magic, sizeof P::magic))
                throw invalid();
            m_magicSeen = true;
            used = sizeof P::magic;
        }
        while (data.size() - used >= qsizetype(P::frameHeaderSize)) {
            if (m_ended)
                throw invalid();
            const auto kind = P::Frame(quint8(data[used]));
            const quint32 length = qFromLittleEndian<quint32>(data.data() + used + 1);
            if (length > maxFrameSize)
                throw invalid();
            if (data.size() - used - qsizetype(P::frameHeaderSize) < qsizetype(length))
                break;
            frame(kind, data.sliced(used + P::frameHeaderSize, length));
            used += P::frameHeaderSize + length;
        }
        return used;
    }

private:
    QuorvaneError invalid() const
    {
        return damaged(m_loader.m_path, QStringLiteral("读取程序的输出无效"));
    }

    void frame(P::Frame kind, QByteArrayView payload)
    {
        switch (kind) {
        case P::Frame::Header:
            header(payload);
            return;
        case P::Frame::Row:
            row(payload);
            return;
        case P::Frame::Failure:
            failure(payload);
            return;
        case P::Frame::End:
            end(payload);
            return;
        }
        throw invalid();
    }

    void header(QByteArrayView payload)
    {
        if (headerSeen())
            throw invalid();
        Cursor in(payload);
        quint32 claimed = 0;
        quint32 count = 0;
        if (!in.u32(claimed) || !in.u32(count) || count == 0 || count > P::maxColumns)
            throw invalid();
        QStringList names;
        for (quint32 i = 0; i < count; ++i) {
            quint32 length = 0;
            QByteArrayView name;
            quint8 type = 0;
            if (!in.u32(length) || length == 0 || length > maxNameBytes ||
                !in.bytes(length, name) || !in.u8(type) || !name.isValidUtf8() ||
                name.contains('\0'))
                throw invalid();
            const QString text = QString::fromUtf8(name);
            // SQLite, like Jet, does not tell names apart by letter case.
            if (names.contains(text, Qt::CaseInsensitive))
                throw invalid();
            names << text;
        }
        if (!in.atEnd())
            throw invalid();

        QByteArray create = "CREATE TABLE " + quotedIdentifier(m_loader.m_tableName) + " (";
        QByteArray insert = "INSERT INTO " + quotedIdentifier(m_loader.m_tableName) + " VALUES (";
        for (qsizetype i = 0; i < names.size(); ++i) {
            create += (i ? ", " : "") + quotedIdentifier(names[i]) + " TEXT";
            insert += i ? ",?" : "?";
        }
        try {
            m_db.exec(create + ')');
            m_insert = std::make_unique<SqliteStatement>(m_db.handle(), insert + ')');
        } catch (const QuorvaneError &error) {
            throw writeFailed(m_loader.m_path, error);
        }
        m_columns = int(names.size());
        m_claimedRows = claimed;
        m_loader.m_columns = names;
    }

    void row(QByteArrayView payload)
    {
        if (!headerSeen() || m_rows >= m_maxRows)
            throw invalid();
        Cursor in(payload);
        sqlite3_stmt *stmt = m_insert->handle();
        for (int column = 1; column <= m_columns; ++column) {
            quint32 length = 0;
            if (!in.u32(length))
                throw invalid();
            if (length == P::nullValue) {
                sqlite3_bind_null(stmt, column);
                continue;
            }
            QByteArrayView value;
            if (!in.bytes(length, value) || !value.isValidUtf8())
                throw invalid();
            // The bytes stay put until the row is stepped below.
            sqlite3_bind_text(stmt, column, value.data(), int(value.size()), SQLITE_STATIC);
        }
        if (!in.atEnd())
            throw invalid();
        try {
            m_insert->step();
        } catch (const QuorvaneError &error) {
            throw writeFailed(m_loader.m_path, error);
        }
        m_insert->reset();
        ++m_rows;
    }

    void failure(QByteArrayView payload)
    {
        Cursor in(payload);
        quint8 code = 0;
        quint32 detail = 0;
        if (!in.u8(code) || !in.u32(detail))
            throw invalid();
        qCDebug(lcJet) << "reader failure" << code << detail << in.rest();
        const QString &path = m_loader.m_path;
        switch (P::Failure(code)) {
        case P::Failure::NoTable:
            throw QuorvaneError(QStringLiteral("数据库文件“%1”中没有表“%2”")
                                    .arg(shown(path), m_loader.m_tableName));
        case P::Failure::CannotOpen:
            throw damaged(path, QStringLiteral("无法识别文件结构"));
        case P::Failure::BadCatalog:
            throw damaged(path, QStringLiteral("无法读取表目录"));
        case P::Failure::BadTableDef:
            throw damaged(path, QStringLiteral("无法读取表“%1”的定义").arg(m_loader.m_tableName));
        case P::Failure::PageOutOfFile:
            throw damaged(path, QStringLiteral("第 %1 页超出文件末尾，文件可能被截断").arg(detail));
        case P::Failure::BadPage:
            throw damaged(path, QStringLiteral("第 %1 页无法读取").arg(detail));
        case P::Failure::BadRow:
            throw damaged(path, QStringLiteral("第 %1 页上的行数据无效").arg(detail));
        case P::Failure::BadUsageMap:
            throw damaged(path,
                          QStringLiteral("无法读取表“%1”的页使用表").arg(m_loader.m_tableName));
        case P::Failure::TooManyColumns:
            throw damaged(path,
                          QStringLiteral("表“%1”的列数超出格式的上限").arg(m_loader.m_tableName));
        }
        throw invalid();
    }

    void end(QByteArrayView payload)
    {
        Cursor in(payload);
        quint32 sent = 0;
        if (!headerSeen() || !in.u32(sent) || !in.atEnd() || sent != m_rows)
            throw invalid();
        m_ended = true;
    }

    JetLoader &m_loader;
    SqliteDatabase &m_db;
    const qint64 m_maxRows;
    bool m_magicSeen = false;
    bool m_ended = false;
    int m_columns = 0;
    qint64 m_rows = 0;
    qint64 m_claimedRows = 0;
    std::unique_ptr<SqliteStatement> m_insert;
};

JetLoader::JetLoader(const QString &path) : m_path(path), m_tableName(EnterpriseTable::name) {}

void JetLoader::loadInto(SqliteDatabase &db)
{
    m_columns.clear();
    m_rows = 0;
    const QString reader = readerPath();
    if (reader.isEmpty() || !QFileInfo(reader).isFile())
        throw QuorvaneError(QStringLiteral("找不到读取 Jet 数据库的辅助程序"
                                           "“quorvane-jet-reader”，无法打开数据库文件“%1”")
                                .arg(shown(m_path)));
    const QFileInfo file(m_path);
    const qint64 maxRows = qMax<qint64>(1, file.size() / JetHeader::pageSize) * maxRowsPerPage;

    QProcess process;
    process.setProgram(reader);
    process.setArguments({QDir::toNativeSeparators(file.absoluteFilePath()), m_tableName});
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(m_timeout))
        throw QuorvaneError(QStringLiteral("无法启动辅助程序“%1”读取数据库文件“%2”：%3")
                                .arg(shown(reader), shown(m_path), process.errorString()));

    QByteArray errors;
    const auto keepErrors = [&] {
        errors += process.readAllStandardError();
        if (errors.size() > stderrTail)
            errors = errors.right(stderrTail);
    };
    const auto stop = [&] {
        process.kill();
        process.waitForFinished(m_timeout);
        keepErrors();
        qCDebug(lcJet) << "reader stopped; its last words:" << errors;
    };

    Transaction transaction(db);
    Stream stream(*this, db, maxRows);
    QElapsedTimer quiet;
    quiet.start();
    QElapsedTimer sinceProgress;
    enum Moment { During, First, Last };
    const auto progress = [&](Moment moment) {
        if (!m_progress || (moment == During && sinceProgress.isValid() &&
                            sinceProgress.elapsed() < progressInterval))
            return;
        sinceProgress.start();
        // The count the table claims is only a guide; at the end the rows read
        // are the whole, so that a progress bar closes.
        const qint64 total =
            moment == Last ? stream.rows() : qMax(stream.rows(), stream.claimedRows());
        if (!m_progress(stream.rows(), total)) {
            stop();
            throw QuorvaneError(QStringLiteral("已取消读取数据库文件“%1”").arg(shown(m_path)));
        }
    };

    // Bytes not yet taken start at pending[used]; the front is dropped now
    // and then, not after every frame.
    QByteArray pending;
    qsizetype used = 0;
    try {
        progress(First);
        for (;;) {
            QByteArray chunk = process.readAllStandardOutput();
            if (chunk.isEmpty()) {
                if (process.state() == QProcess::NotRunning)
                    break;
                if (quiet.elapsed() >= m_timeout) {
                    stop();
                    throw damaged(m_path, QStringLiteral("读取超时，读取程序无响应"));
                }
                process.waitForReadyRead(
                    int(qMin<qint64>(progressInterval, m_timeout - quiet.elapsed() + 1)));
                keepErrors();
                progress(During);
                continue;
            }
            quiet.restart();
            if (used == pending.size()) {
                pending = std::move(chunk);
                used = 0;
            } else {
                if (used > (1 << 20)) {
                    pending.remove(0, used);
                    used = 0;
                }
                pending += chunk;
            }
            used += stream.consume(QByteArrayView(pending).sliced(used));
            progress(During);
        }
        keepErrors();
        if (!stream.ended()) {
            qCDebug(lcJet) << "reader ended early; its last words:" << errors;
            throw damaged(m_path, QStringLiteral("读取程序异常退出"));
        }
        if (used != pending.size())
            throw damaged(m_path, QStringLiteral("读取程序的输出无效"));
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            qCDebug(lcJet) << "reader exit" << process.exitCode() << errors;
            throw damaged(m_path, QStringLiteral("读取程序异常退出"));
        }
        progress(Last);
    } catch (...) {
        if (process.state() != QProcess::NotRunning)
            stop();
        throw;
    }
    try {
        transaction.commit();
    } catch (const QuorvaneError &error) {
        throw writeFailed(m_path, error);
    }
    m_rows = stream.rows();
}

QString JetLoader::readerPath()
{
    if (!configuredReaderPath().isEmpty())
        return configuredReaderPath();
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("quorvane-jet-reader.exe");
#else
    const QString name = QStringLiteral("quorvane-jet-reader");
#endif
    const QString dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty())
        return {};
    for (const QString &place :
         {QString(), QStringLiteral("/../bin"), QStringLiteral("/../libexec/quorvane")}) {
        const QFileInfo candidate(QDir::cleanPath(dir + place + QLatin1Char('/') + name));
        if (candidate.isFile() && candidate.isExecutable())
            return candidate.filePath();
    }
    return {};
}

void JetLoader::setReaderPath(const QString &path)
{
    configuredReaderPath() = path;
}

void JetLoader::setDefaultProgressHandler(ProgressHandler handler)
{
    installedProgressHandler() = std::move(handler);
}

JetLoader::ProgressHandler JetLoader::defaultProgressHandler()
{
    return installedProgressHandler();
}
