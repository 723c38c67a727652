// How fast the search is on a large store, against the sqlite3 shell
// running the same statements and against a bare scan of the text in
// memory, and how much memory a result of nearly every row takes.
// Run by hand through bench/run-search.sh; see bench/README.md.

#include "data/Connection.h"
#include "data/DatabaseLocation.h"
#include "data/JetFunctions.h"
#include "data/Query.h"
#include "data/QuorvaneError.h"
#include "data/Search.h"
#include "data/Sqlite.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>

#include <sqlite3.h>

#include <ctime>
#include <sys/resource.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

QTextStream out(stdout);

struct Bench
{
    QString name;
    SearchCriteria criteria;
};

// The searches measured: each criterion alone, all six, one that finds
// nearly every row and one that finds none.
std::vector<Bench> benches()
{
    const auto only = [](auto member, const char *value) {
        SearchCriteria c;
        c.*member = QString::fromUtf8(value);
        return c;
    };
    SearchCriteria all;
    all.tradeCode = QStringLiteral("C39");
    all.businessScope = QStringLiteral("software");
    all.companyName = QStringLiteral("电子");
    all.trade = QStringLiteral("制造");
    all.province = QStringLiteral("广");
    all.address = QStringLiteral("路");
    return {
        {QStringLiteral("company 电子"), only(&SearchCriteria::companyName, "电子")},
        {QStringLiteral("province 广"), only(&SearchCriteria::province, "广")},
        {QStringLiteral("industry code C39"), only(&SearchCriteria::tradeCode, "C39")},
        {QStringLiteral("scope software"), only(&SearchCriteria::businessScope, "software")},
        {QStringLiteral("industry 制造"), only(&SearchCriteria::trade, "制造")},
        {QStringLiteral("address 路"), only(&SearchCriteria::address, "路")},
        {QStringLiteral("all six"), all},
        {QStringLiteral("near-all: company 公司"), only(&SearchCriteria::companyName, "公司")},
        {QStringLiteral("none: company 无此企业"), only(&SearchCriteria::companyName, "无此企业")},
    };
}

const Bench &nearAll(const std::vector<Bench> &all)
{
    return all[all.size() - 2];
}

double milliseconds(qint64 nanoseconds)
{
    return double(nanoseconds) / 1e6;
}

// The machine is shared, so wall times swing with the load of others; the
// processor time spent is the steadier figure and the one compared.
struct Sample
{
    double wallMs = 0;
    double cpuMs = 0;
};

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Processor time of the children waited for so far.
double childrenCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval &t) {
        return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Times run() in this thread.
template<typename F> Sample timed(F &&run)
{
    QElapsedTimer timer;
    const double cpu = threadCpuMs();
    timer.start();
    run();
    return {milliseconds(timer.nsecsElapsed()), threadCpuMs() - cpu};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Fields of /proc/self/status in KiB.
std::map<QString, qint64> processStatus()
{
    std::map<QString, qint64> fields;
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return fields;
    static const QRegularExpression line(QStringLiteral(R"(^(\w+):\s+(\d+) kB$)"),
                                         QRegularExpression::MultilineOption);
    const QString text = QString::fromLatin1(file.readAll());
    for (auto it = line.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        fields[m.captured(1)] = m.captured(2).toLongLong();
    }
    return fields;
}

// Lets VmHWM start again from the present size (Linux 4.0 and later).
void resetPeakMemory()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    if (file.open(QIODevice::WriteOnly))
        file.write("5");
}

QString connectionString(const QString &path)
{
    return DatabaseLocation::connectionString(path, DatabaseLocation::password);
}

// What the program does for a search: both statements, then the text of
// every column of the rows the grid shows first.
Sample searchAndShow(Connection &connection, const SearchCriteria &criteria, qint64 *total)
{
    QElapsedTimer timer;
    const double cpu = threadCpuMs();
    timer.start();
    Query rows(&connection);
    const std::optional<qint64> count = runSearch(connection, rows, criteria);
    const int shown = std::min(rows.recordCount(), 50);
    const int columns = int(rows.fieldNames().size());
    qsizetype characters = 0;
    for (int r = 0; r < shown; ++r) {
        for (int c = 0; c < columns; ++c)
            characters += rows.text(r, c).size();
    }
    const Sample sample{milliseconds(timer.nsecsElapsed()), threadCpuMs() - cpu};
    if (total)
        *total = count.value_or(-1);
    if (shown > 0 && characters == 0)
        throw QuorvaneError(QStringLiteral("the first rows read as empty"));
    return sample;
}

// The statements in the sqlite3 shell's dialect: lower() and instr() for
// LCase and InStr. Its LIKE folds A to Z only, which the searches here
// do not depend on.
QString forSqliteShell(QString statement)
{
    static const QRegularExpression instr(
        QStringLiteral(R"(InStr\(1,LCase\(([^()]+)\),LCase\(('(?:[^']|'')*')\),0\))"));
    statement.replace(instr, QStringLiteral(R"(instr(lower(\1),lower(\2)))"));
    return statement;
}

class SqliteShell final
{
public:
    SqliteShell(QString program, QString database)
        : m_program(std::move(program)), m_database(std::move(database))
    {}

    // Runs the statements with their output thrown away.
    Sample time(const QString &sql) const
    {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer timer;
        const double cpu = childrenCpuMs();
        timer.start();
        process.start(m_program, {QStringLiteral("-readonly"), m_database, sql});
        process.waitForFinished(-1);
        const Sample sample{milliseconds(timer.nsecsElapsed()), childrenCpuMs() - cpu};
        check(process);
        return sample;
    }

    QString output(const QString &sql) const
    {
        QProcess process;
        process.start(m_program, {QStringLiteral("-readonly"), m_database, sql});
        process.waitForFinished(-1);
        check(process);
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }

private:
    void check(QProcess &process) const
    {
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            throw QuorvaneError(QStringLiteral("%1 failed: %2 %3")
                                    .arg(m_program, process.errorString(),
                                         QString::fromUtf8(process.readAllStandardError())));
    }

    QString m_program;
    QString m_database;
};

// One column of every row in one buffer, each value preceded by a NUL, so
// that "starts with x" is a search for NUL x and no match spans two rows.
struct ColumnText
{
    std::string bytes;
    std::vector<size_t> starts; // offset of each row's NUL

    size_t rowAt(size_t offset) const
    {
        return size_t(std::upper_bound(starts.begin(), starts.end(), offset) - starts.begin()) - 1;
    }
    std::string_view value(size_t row) const
    {
        const size_t begin = starts[row] + 1;
        const size_t end = row + 1 < starts.size() ? starts[row + 1] : bytes.size();
        return std::string_view(bytes).substr(begin, end - begin);
    }
};

std::string asciiLower(std::string text)
{
    for (char &c : text) {
        if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
    }
    return text;
}

ColumnText loadColumn(const QString &path, const QString &column, bool lowered)
{
    const SqliteDatabase db = SqliteDatabase::openReadOnly(path);
    SqliteStatement select(
        db.handle(), QStringLiteral("SELECT %1 FROM 外商 ORDER BY rowid").arg(column).toUtf8());
    ColumnText text;
    while (select.step()) {
        text.starts.push_back(text.bytes.size());
        text.bytes += '\0';
        const QByteArray value = select.rawText(0);
        text.bytes.append(value.constData(), size_t(value.size()));
    }
    if (lowered)
        text.bytes = asciiLower(std::move(text.bytes));
    return text;
}

// One criterion of the bare scan: the column's text, the bytes looked for,
// and whether they must start the value.
struct RawCriterion
{
    const ColumnText *column;
    std::string needle;
    bool prefix;

    bool matches(size_t row) const
    {
        const std::string_view v = column->value(row);
        if (prefix)
            return v.starts_with(needle);
        return memmem(v.data(), v.size(), needle.data(), needle.size()) != nullptr;
    }
};

// The physical limit: memmem over the first criterion's column in memory,
// the others only checked on the rows it found, as SQLite checks them.
qint64 rawCount(const std::vector<RawCriterion> &criteria)
{
    const RawCriterion &first = criteria.front();
    const std::string &bytes = first.column->bytes;
    const std::string needle = first.prefix ? '\0' + first.needle : first.needle;
    qint64 count = 0;
    size_t pos = 0;
    while (pos < bytes.size()) {
        const void *hit =
            memmem(bytes.data() + pos, bytes.size() - pos, needle.data(), needle.size());
        if (!hit)
            break;
        const size_t offset = size_t(static_cast<const char *>(hit) - bytes.data());
        bool all = true;
        if (criteria.size() > 1) {
            const size_t row = first.column->rowAt(offset);
            for (size_t i = 1; i < criteria.size() && all; ++i)
                all = criteria[i].matches(row);
        }
        count += all;
        // On to the next row.
        const void *end = memchr(bytes.data() + offset + 1, '\0', bytes.size() - offset - 1);
        pos = end ? size_t(static_cast<const char *>(end) - bytes.data()) : bytes.size();
    }
    return count;
}

struct Columns
{
    std::map<QString, ColumnText> texts;
};

std::vector<RawCriterion> rawCriteria(const SearchCriteria &raw, Columns &columns,
                                      const QString &path)
{
    const SearchCriteria c = raw.normalized();
    std::vector<RawCriterion> result;
    const auto add = [&](const QString &value, const QString &column, bool prefix, bool lowered) {
        if (value.isEmpty())
            return;
        auto it = columns.texts.find(column);
        if (it == columns.texts.end())
            it = columns.texts.emplace(column, loadColumn(path, column, lowered)).first;
        std::string needle = value.toStdString();
        result.push_back({&it->second, lowered ? asciiLower(needle) : needle, prefix});
    };
    // The order of the statement's conditions.
    add(c.tradeCode, QStringLiteral("行业代码"), true, false);
    add(c.businessScope, QStringLiteral("经营范围"), false, true);
    add(c.companyName, QStringLiteral("公司名称"), false, false);
    add(c.trade, QStringLiteral("行业"), false, false);
    add(c.province, QStringLiteral("省份"), true, false);
    add(c.address, QStringLiteral("地址"), false, false);
    return result;
}

// Runs the contenders in turn, repeat times over, so that a change in the
// load of the machine falls on all of them alike; the medians of each.
std::vector<Sample> interleaved(int repeat, const std::vector<std::function<Sample()>> &runs)
{
    std::vector<std::vector<double>> walls(runs.size()), cpus(runs.size());
    for (int i = 0; i < repeat; ++i) {
        for (size_t r = 0; r < runs.size(); ++r) {
            const Sample sample = runs[r]();
            walls[r].push_back(sample.wallMs);
            cpus[r].push_back(sample.cpuMs);
        }
    }
    std::vector<Sample> medians;
    for (size_t r = 0; r < runs.size(); ++r)
        medians.push_back({median(walls[r]), median(cpus[r])});
    return medians;
}

QString fixed(double value, int decimals = 1)
{
    return QString::number(value, 'f', decimals);
}

QString ratio(double a, double b)
{
    return b > 0 ? fixed(a / b, 2) : QStringLiteral("-");
}

// "cpu / wall"
QString both(const Sample &s, int decimals = 0)
{
    return fixed(s.cpuMs, decimals) + QStringLiteral(" / ") + fixed(s.wallMs, decimals);
}

QString ratios(const Sample &a, const Sample &b)
{
    return ratio(a.cpuMs, b.cpuMs) + QStringLiteral(" / ") + ratio(a.wallMs, b.wallMs);
}

qint64 statusField(const std::map<QString, qint64> &status, const char *key)
{
    const auto it = status.find(QLatin1String(key));
    return it == status.end() ? 0 : it->second;
}

void measureMemory(const QString &path, const Bench &bench)
{
    Connection connection;
    connection.setConnectionString(connectionString(path));
    connection.open();
    const auto before = processStatus();
    resetPeakMemory();
    // Kept open, as the grid keeps it, while the memory is read.
    Query rows(&connection);
    const Sample first = timed([&] {
        runSearch(connection, rows, bench.criteria);
        for (int r = 0; r < std::min(rows.recordCount(), 50); ++r) {
            for (int c = 0; c < rows.fieldNames().size(); ++c)
                rows.text(r, c);
        }
    });
    const auto after = processStatus();
    const auto mib = [](qint64 kib) { return fixed(double(kib) / 1024.0); };
    const auto grown = [&](const char *key) {
        return mib(statusField(after, key) - statusField(before, key));
    };

    out << "## Memory of the near-all search (" << bench.name << ", " << rows.recordCount()
        << " rows)\n\n"
        << "The first search in a fresh process, on a connection just opened (the store's "
           "pages are mapped as the scan reaches them): "
        << both(first) << " ms cpu / wall.\n\n"
        << "| measure | MiB |\n|---|---:|\n"
        << "| VmHWM after the search (peak resident, whole process) | "
        << mib(statusField(after, "VmHWM")) << " |\n"
        << "| VmRSS growth (heap and mapped file pages) | " << grown("VmRSS") << " |\n"
        << "| - RssAnon growth: the row set's own memory | " << grown("RssAnon") << " |\n"
        << "| - RssFile growth: store pages mapped by SQLite (shared page cache) | "
        << grown("RssFile") << " |\n"
        << "| peak growth during the search (VmHWM after - VmRSS before) | "
        << mib(statusField(after, "VmHWM") - statusField(before, "VmRSS")) << " |\n\n";
    out.flush();
}

// Our LIKE (and LCase/InStr) against SQLite's own, on one statement, in
// this process, on connections that differ only in registerJetFunctions.
void measureFunctions(const QString &path, int repeat)
{
    struct Case
    {
        QString name;
        QString ours;
        QString builtin; // when SQLite's spelling differs
    };
    const QString head = QStringLiteral("SELECT count(*) FROM 外商 WHERE ");
    const std::vector<Case> cases = {
        {QStringLiteral("公司名称 LIKE '%电子%'"),
         head + QStringLiteral("公司名称 like '%电子%'"),
         {}},
        {QStringLiteral("公司名称 LIKE '%norvex%'"),
         head + QStringLiteral("公司名称 like '%norvex%'"),
         {}},
        {QStringLiteral("省份 LIKE '广%'"), head + QStringLiteral("省份 like '广%'"), {}},
        {QStringLiteral("InStr/LCase on 经营范围 (SQLite: instr/lower)"),
         head + QStringLiteral("InStr(1,LCase(经营范围),LCase('software'),0)<>0"),
         head + QStringLiteral("instr(lower(经营范围),lower('software'))<>0")},
        {QStringLiteral("no function: 公司名称 IS NOT NULL (the scan alone)"),
         head + QStringLiteral("公司名称 IS NOT NULL"),
         {}},
    };
    const auto open = [&](bool jet) {
        SqliteDatabase db = SqliteDatabase::openReadOnly(path);
        if (jet)
            registerJetFunctions(db.handle());
        db.exec("PRAGMA mmap_size = 4294967296"); // as Connection::open does
        return db;
    };
    const SqliteDatabase ours = open(true);
    const SqliteDatabase plain = open(false);
    const auto countOn = [](const SqliteDatabase &db, const QString &sql, qint64 *count) {
        return timed([&] {
            SqliteStatement statement(db.handle(), sql.toUtf8());
            statement.step();
            *count = statement.int64(0);
        });
    };

    out << "## Our registered functions against SQLite's own\n\n"
        << "count(*) with the same condition on two connections to the store that differ only "
           "in registerJetFunctions; median of "
        << repeat << " runs, cpu / wall ms.\n\n"
        << "| condition | rows ours | rows SQLite | ours | SQLite | ours/SQLite |\n"
        << "|---|---:|---:|---:|---:|---:|\n";
    for (const Case &c : cases) {
        const QString builtin = c.builtin.isEmpty() ? c.ours : c.builtin;
        qint64 oursCount = 0, plainCount = 0;
        countOn(ours, c.ours, &oursCount); // maps the file
        countOn(plain, builtin, &plainCount);
        const std::vector<Sample> times =
            interleaved(repeat, {[&] { return countOn(ours, c.ours, &oursCount); },
                                 [&] { return countOn(plain, builtin, &plainCount); }});
        const Sample &oursTime = times[0];
        const Sample &plainTime = times[1];
        out << "| " << c.name << " | " << oursCount << " | " << plainCount << " | "
            << both(oursTime) << " | " << both(plainTime) << " | " << ratios(oursTime, plainTime)
            << " |\n";
    }
    out << "\n";
    out.flush();
}

void measureSearches(const QString &path, const std::vector<Bench> &all, const SqliteShell &shell,
                     int repeat, const QString &filter)
{
    Connection connection;
    connection.setConnectionString(connectionString(path));
    connection.open();
    // As in the program, the connection stays open across searches, so
    // the store's pages are mapped once.
    searchAndShow(connection, nearAll(all).criteria, nullptr);
    Columns columns;

    out << "## Searches\n\n"
        << "Median of " << repeat
        << " interleaved runs; times in ms as cpu / wall, ratios likewise.\n\n"
        << "- open: Connection::open (wall)\n"
        << "- ours: runSearch (row and count statements) and the text of every column of rows "
           "0..49, on the open connection\n"
        << "- sqlite3: `sqlite3 -readonly` running the same two statements (lower/instr for "
           "LCase/InStr), output to /dev/null, process start included\n"
        << "- raw: memmem over the searched column's text held in one buffer in memory (for "
           "all six: over the first column, the rest checked on its hits)\n\n"
        << "| search | rows | open | ours | sqlite3 | raw | ours/sqlite3 | ours/raw |\n"
        << "|---|---:|---:|---:|---:|---:|---:|---:|\n";
    out.flush();
    for (const Bench &bench : all) {
        if (!bench.name.contains(filter))
            continue;
        const std::optional<SearchStatements> statements = BuildSearchStatement(bench.criteria);
        const QString shellSql = forSqliteShell(statements->rows) + QStringLiteral("; ") +
                                 forSqliteShell(statements->count) + QStringLiteral(";");
        const std::vector<RawCriterion> raw = rawCriteria(bench.criteria, columns, path);

        qint64 total = 0;
        qint64 rawTotal = 0;
        const std::vector<Sample> times =
            interleaved(repeat, {[&] {
                                     Connection c;
                                     c.setConnectionString(connectionString(path));
                                     return timed([&] { c.open(); });
                                 },
                                 [&] { return searchAndShow(connection, bench.criteria, &total); },
                                 [&] { return shell.time(shellSql); },
                                 [&] { return timed([&] { rawTotal = rawCount(raw); }); }});
        const Sample &open = times[0];
        const Sample &ours = times[1];
        const Sample &sqlite = times[2];
        const Sample &bare = times[3];

        // The three must agree, or the comparison means nothing.
        const qint64 shellTotal = shell.output(forSqliteShell(statements->count)).toLongLong();
        QString rows = QString::number(total);
        if (shellTotal != total || rawTotal != total)
            rows += QStringLiteral(" (MISMATCH: sqlite3 %1, raw %2)").arg(shellTotal).arg(rawTotal);
        out << "| " << bench.name << " | " << rows << " | " << fixed(open.wallMs, 2) << " | "
            << both(ours) << " | " << both(sqlite) << " | " << both(bare, 1) << " | "
            << ratios(ours, sqlite) << " | " << ratios(ours, bare) << " |\n";
        out.flush();
    }
    out << "\n";
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures the enterprise search."));
    parser.addHelpOption();
    const QCommandLineOption repeatOption(QStringLiteral("repeat"),
                                          QStringLiteral("Runs per figure; the median is shown."),
                                          QStringLiteral("N"), QStringLiteral("5"));
    const QCommandLineOption shellOption(QStringLiteral("sqlite3"),
                                         QStringLiteral("The sqlite3 shell to compare with."),
                                         QStringLiteral("PROGRAM"), QStringLiteral("sqlite3"));
    const QCommandLineOption partOption(
        QStringLiteral("only"), QStringLiteral("Run one part: memory, searches or functions."),
        QStringLiteral("PART"));
    parser.addOption(repeatOption);
    parser.addOption(shellOption);
    const QCommandLineOption searchOption(
        QStringLiteral("search"),
        QStringLiteral("Measure only the searches whose name contains TEXT (for profiling)."),
        QStringLiteral("TEXT"));
    parser.addOption(partOption);
    parser.addOption(searchOption);
    parser.addPositionalArgument(QStringLiteral("DATABASE"),
                                 QStringLiteral("The store to search."));
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);
    const QString path = QFileInfo(parser.positionalArguments().front()).absoluteFilePath();
    const int repeat = std::max(1, parser.value(repeatOption).toInt());
    const QString only = parser.value(partOption);
    const auto wanted = [&](const char *part) {
        return only.isEmpty() || only == QLatin1String(part);
    };
    const std::vector<Bench> all = benches();

    try {
        // First, while nothing else has touched memory in this process.
        if (wanted("memory"))
            measureMemory(path, nearAll(all));
        if (wanted("searches"))
            measureSearches(path, all, SqliteShell(parser.value(shellOption), path), repeat,
                            parser.value(searchOption));
        if (wanted("functions"))
            measureFunctions(path, repeat);
    } catch (const QuorvaneError &error) {
        QTextStream(stderr) << "quorvane-bench-search: " << error.message() << '\n';
        return 1;
    }
    return 0;
}
