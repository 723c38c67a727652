#pragma once

// The stream that quorvane-jet-reader writes on its standard output and the
// program reads back. Shared by both sides, so it uses no Qt.
//
// The stream starts with the four bytes of `magic`, then frames follow, each
// a one-byte kind, a 32-bit payload length and the payload. All integers
// are little-endian and unsigned. The program trusts none of it: every
// length is checked against what is left of its frame.
//
//   Header  u32 rows the table claims, u32 column count, then per column:
//           u32 name length, the name in UTF-8, u8 Jet column type
//   Row     per column: u32 value length or `nullValue`, then the UTF-8 bytes
//   Failure u8 one of `Failure`, u32 a detail number (a page, say), then an
//           ASCII note for the log
//   End     u32 rows sent; nothing may follow it
//
// A stream that stops before End, or a reader that exits otherwise than
// normally with status 0, means the reading failed.

#include <cstdint>

namespace JetReaderProtocol {

inline constexpr char magic[4] = {'Q', 'J', 'R', '1'};

enum class Frame : std::uint8_t {
    Header = 'H',
    Row = 'R',
    Failure = 'F',
    End = 'Z',
};

enum class Failure : std::uint8_t {
    CannotOpen = 1,     // libmdb refused the file
    BadCatalog = 2,     // the list of tables could not be read
    NoTable = 3,        // no user table of that name
    BadTableDef = 4,    // the table's definition page could not be read
    PageOutOfFile = 5,  // a page the table uses lies past the end of the file
    BadPage = 6,        // a page could not be read or is not what it claims
    BadRow = 7,         // a row's place on its page is impossible
    TooManyColumns = 8, // more columns than the format allows
    BadUsageMap = 9,    // the list of the table's pages could not be read
};

inline constexpr std::uint32_t nullValue = 0xFFFFFFFFu;
inline constexpr std::uint32_t frameHeaderSize = 5;
inline constexpr std::uint32_t maxColumns = 256;

// Arguments: the database file, the table name (UTF-8).
// The reader takes its test hooks from this variable: "crash" aborts after
// the header, "hang" stops responding after the header, "garbage" sends a
// malformed frame. Only the tests set it.
inline constexpr const char *faultVariable = "QUORVANE_JET_READER_FAULT";

} // namespace JetReaderProtocol
