// quorvane-jet-reader: reads one table of a Jet 4.0 database with libmdb and
// streams it on standard output in the format of data/JetReaderProtocol.h.
//
// It runs as a child of the program because libmdb trusts the file: a
// damaged database can make it crash or loop for ever. Here that costs only
// this process; the program notices and reports the file as damaged.

#include "data/JetReaderProtocol.h"

// glib first: mdbtools.h uses its types without including it in C++.
#include <glib.h>

#include <mdbtools.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace P = JetReaderProtocol;

constexpr unsigned offsetMask = 0x1fff;
constexpr unsigned deletedRowFlag = 0x4000;
// Text is at most two bytes of UTF-8 per stored byte; keep well clear of it.
constexpr size_t minimumBindSize = 256;
// A memo longer than this is not a memo but a damaged length.
constexpr size_t maximumMemoBytes = size_t(64) << 20;

// The protocol goes to a private copy of standard output; the real one is
// pointed at standard error, so whatever libmdb prints cannot mix with it.
class Output final
{
public:
    bool open()
    {
        const int fd = dup(STDOUT_FILENO);
        if (fd < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
            return false;
        m_file = fdopen(fd, "wb");
        if (!m_file)
            return false;
        setvbuf(m_file, nullptr, _IOFBF, 1 << 16);
        return std::fwrite(P::magic, 1, sizeof P::magic, m_file) == sizeof P::magic;
    }

    void frame(P::Frame kind, const std::string &payload)
    {
        std::string head(1, char(kind));
        appendU32(head, std::uint32_t(payload.size()));
        write(head);
        write(payload);
    }

    void flush()
    {
        if (std::fflush(m_file) != 0)
            std::_Exit(3); // the program went away; nobody is left to tell
    }

    static void appendU32(std::string &out, std::uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            out.push_back(char((value >> (8 * i)) & 0xff));
    }

private:
    void write(const std::string &bytes)
    {
        if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size())
            std::_Exit(3);
    }

    std::FILE *m_file = nullptr;
};

Output out;

[[noreturn]] void fail(P::Failure failure, std::uint32_t detail, const char *note)
{
    std::string payload(1, char(failure));
    Output::appendU32(payload, detail);
    payload += note;
    out.frame(P::Frame::Failure, payload);
    out.flush();
    std::exit(0);
}

// The tests' stand-ins for what a damaged file can do to libmdb.
void applyFault()
{
    const char *fault = std::getenv(P::faultVariable);
    if (!fault)
        return;
    out.flush();
    if (std::strcmp(fault, "crash") == 0)
        std::abort();
    if (std::strcmp(fault, "hang") == 0) {
        for (;;)
            pause();
    }
    if (std::strcmp(fault, "garbage") == 0) {
        std::string payload(3, '\xff');
        out.frame(P::Frame::Row, payload);
        out.flush();
        std::exit(0);
    }
}

struct Column
{
    MdbColumn *column;
    std::string name;
};

// One value as text, the way libmdb renders it. Text and memo size the
// buffer to the value, so nothing is cut short.
std::string valueText(MdbHandle *mdb, MdbColumn *col, const MdbField &field)
{
    switch (col->col_type) {
    case MDB_BOOL:
        // A yes/no value lives in the null bit itself: set means yes.
        return field.is_null ? "0" : "1";
    case MDB_OLE:
        // Pictures and other objects have no text; the program never shows them.
        return std::string();
    case MDB_BINARY: {
        // As hexadecimal digits: the raw bytes are no text and may hold zeros.
        static const char digits[] = "0123456789ABCDEF";
        std::string hex;
        for (int i = 0; i < field.siz; ++i) {
            const unsigned char byte = mdb->pg_buf[field.start + i];
            hex += digits[byte >> 4];
            hex += digits[byte & 15];
        }
        return hex;
    }
    case MDB_NUMERIC: {
        char *text = mdb_numeric_to_string(mdb, field.start, col->col_scale, col->col_prec);
        std::string result = text ? text : "";
        g_free(text);
        return result;
    }
    default:
        break;
    }
    size_t bind = minimumBindSize + 2 * size_t(field.siz > 0 ? field.siz : 0);
    if (col->col_type == MDB_MEMO && field.siz >= MDB_MEMO_OVERHEAD) {
        const size_t memoLength = size_t(mdb_get_int32(mdb->pg_buf, field.start)) & 0x3fffffff;
        bind = minimumBindSize + 2 * std::min(memoLength, maximumMemoBytes);
    }
    mdb_set_bind_size(mdb, bind);
    char *text = mdb_col_to_string(mdb, mdb->pg_buf, field.start, col->col_type, field.siz);
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

MdbCatalogEntry *findTable(MdbHandle *mdb, const char *name)
{
    if (!mdb->catalog)
        return nullptr;
    for (guint i = 0; i < mdb->catalog->len; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (entry && entry->object_type == MDB_TABLE && std::strcmp(entry->object_name, name) == 0)
            return entry;
    }
    return nullptr;
}

void sendHeader(MdbTableDef *table, const std::vector<Column> &columns)
{
    std::string payload;
    Output::appendU32(payload, table->num_rows);
    Output::appendU32(payload, std::uint32_t(columns.size()));
    for (const Column &c : columns) {
        Output::appendU32(payload, std::uint32_t(c.name.size()));
        payload += c.name;
        payload.push_back(char(c.column->col_type & 0xff));
    }
    out.frame(P::Frame::Header, payload);
    out.flush();
}

// Sends the live rows of the data page now in mdb->pg_buf; returns how many.
std::uint32_t sendPage(MdbHandle *mdb, MdbTableDef *table, const std::vector<Column> &columns,
                       std::uint32_t page)
{
    const int pageSize = int(mdb->fmt->pg_size);
    const int rowCountOffset = mdb->fmt->row_count_offset;
    const int rows = mdb_get_int16(mdb->pg_buf, rowCountOffset);
    if (rows < 0 || rowCountOffset + 2 + rows * 2 > pageSize)
        fail(P::Failure::BadPage, page, "row count beyond the page");

    std::vector<MdbField> fields(table->num_cols);
    std::uint32_t sent = 0;
    std::string payload;
    for (int row = 0; row < rows; ++row) {
        const unsigned start = unsigned(mdb_get_int16(mdb->pg_buf, rowCountOffset + 2 + row * 2));
        if (start & deletedRowFlag)
            continue;
        int rowStart = 0;
        size_t rowSize = 0;
        if (mdb_find_row(mdb, row, &rowStart, &rowSize) != 0 || rowSize == 0)
            fail(P::Failure::BadRow, page, "row outside its page");
        rowStart &= offsetMask;
        if (mdb_crack_row(table, rowStart, rowSize, fields.data()) < 0)
            fail(P::Failure::BadRow, page, "row does not parse");

        payload.clear();
        for (unsigned i = 0; i < table->num_cols; ++i) {
            const MdbField &field = fields[i];
            MdbColumn *col = columns[size_t(field.colnum)].column;
            const bool inRow = field.is_null == 0 || col->col_type == MDB_BOOL;
            if (inRow && col->col_type != MDB_BOOL &&
                (field.siz < 0 || field.start < rowStart ||
                 size_t(field.start) + size_t(field.siz) > size_t(rowStart) + rowSize))
                fail(P::Failure::BadRow, page, "value outside its row");
            if (!inRow) {
                Output::appendU32(payload, P::nullValue);
                continue;
            }
            const std::string text = valueText(mdb, col, field);
            Output::appendU32(payload, std::uint32_t(text.size()));
            payload += text;
        }
        out.frame(P::Frame::Row, payload);
        ++sent;
    }
    return sent;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: quorvane-jet-reader DATABASE TABLE\n");
        return 2;
    }
    if (!out.open())
        return 3;
    // A reader whose parent died must not linger writing into nowhere.
    std::signal(SIGPIPE, SIG_DFL);

    const char *path = argv[1];
    const char *tableName = argv[2];
    struct stat info;
    if (stat(path, &info) != 0)
        fail(P::Failure::CannotOpen, 0, "cannot stat the file");

    MdbHandle *mdb = mdb_open(path, MDB_NOFLAGS);
    if (!mdb)
        fail(P::Failure::CannotOpen, 0, "libmdb cannot open the file");
    const std::uint64_t pageCount = std::uint64_t(info.st_size) / std::uint64_t(mdb->fmt->pg_size);
    mdb_set_date_fmt(mdb, "%Y-%m-%d %H:%M:%S");
    mdb_set_shortdate_fmt(mdb, "%Y-%m-%d");

    if (!mdb_read_catalog(mdb, MDB_TABLE))
        fail(P::Failure::BadCatalog, 0, "catalog unreadable");
    MdbCatalogEntry *entry = findTable(mdb, tableName);
    if (!entry)
        fail(P::Failure::NoTable, 0, "no such table");
    if (entry->table_pg >= pageCount)
        fail(P::Failure::PageOutOfFile, std::uint32_t(entry->table_pg), "table definition");
    MdbTableDef *table = mdb_read_table(entry);
    if (!table || !table->usage_map || table->map_sz < 1)
        fail(P::Failure::BadTableDef, std::uint32_t(entry->table_pg), "table definition");
    if (table->num_cols > P::maxColumns)
        fail(P::Failure::TooManyColumns, table->num_cols, "too many columns");
    if (!mdb_read_columns(table) || table->columns->len != table->num_cols)
        fail(P::Failure::BadTableDef, std::uint32_t(entry->table_pg), "columns");

    std::vector<Column> columns;
    for (unsigned i = 0; i < table->num_cols; ++i) {
        auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, i));
        columns.push_back({col, std::string(col->name, strnlen(col->name, sizeof col->name))});
    }
    sendHeader(table, columns);
    applyFault();

    // The table's own list of data pages, walked by hand: libmdb's walk
    // ends quietly at the first page it cannot read, which would lose rows.
    std::uint32_t sent = 0;
    std::uint32_t page = 0;
    for (;;) {
        const gint32 next = mdb_map_find_next(mdb, table->usage_map, unsigned(table->map_sz), page);
        if (next == 0)
            break;
        if (next < 0)
            fail(P::Failure::BadUsageMap, page, "usage map unreadable");
        if (std::uint32_t(next) <= page)
            fail(P::Failure::BadUsageMap, std::uint32_t(next), "usage map goes backwards");
        page = std::uint32_t(next);
        if (page >= pageCount)
            fail(P::Failure::PageOutOfFile, page, "data page");
        if (mdb_read_pg(mdb, page) != mdb->fmt->pg_size)
            fail(P::Failure::BadPage, page, "data page unreadable");
        // Jet leaves freed pages marked in the map; they belong to no one now.
        if (mdb->pg_buf[0] != MDB_PAGE_DATA ||
            std::uint32_t(mdb_get_int32(mdb->pg_buf, 4)) != entry->table_pg)
            continue;
        sent += sendPage(mdb, table, columns, page);
        out.flush();
    }

    std::string end;
    Output::appendU32(end, sent);
    out.frame(P::Frame::End, end);
    out.flush();

    mdb_free_tabledef(table);
    mdb_close(mdb);
    return 0;
}
