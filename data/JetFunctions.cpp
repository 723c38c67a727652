#include "data/JetFunctions.h"

#include <QString>

#include <sqlite3.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

enum class CaseMapping { Lower, Fold };

// Characters that have no letter case, so that mapping leaves them as they
// are. They cover nearly all Chinese text, which lets the common case run
// over bytes without decoding.
bool isCaseless(char32_t c)
{
    return (c >= 0x2000 && c <= 0x206F) || (c >= 0x3000 && c <= 0x9FFF) ||
           (c >= 0xAC00 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFF01 && c <= 0xFF20) || (c >= 0xFF3B && c <= 0xFF40) ||
           (c >= 0xFF5B && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x3FFFF);
}

// Decodes one UTF-8 sequence at s (n bytes available). Returns its length,
// or 0 when the bytes are not valid UTF-8.
int decodeUtf8(const unsigned char *s, size_t n, char32_t &c)
{
    const unsigned char b = s[0];
    if (b < 0x80) {
        c = b;
        return 1;
    }
    int len;
    char32_t min;
    if ((b & 0xE0) == 0xC0) {
        len = 2, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        len = 3, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        len = 4, c = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (size_t(len) > n)
        return 0;
    for (int i = 1; i < len; ++i) {
        if ((s[i] & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (s[i] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return len;
}

// What case mapping does to a byte seen on its own. Most bytes stay as they
// are: ASCII other than A to Z, continuation bytes, and the first bytes of
// the 3-byte forms of U+3000..U+9FFF and U+B000..U+D7FF (CJK, Hangul), whose
// characters have no case whichever bytes follow (an invalid sequence keeps
// its bytes too). Only the other lead bytes need the character decoded.
enum ByteAction : unsigned char { KeepByte, LowerAscii, DecodeCharacter };

constexpr std::array<unsigned char, 256> byteActions = [] {
    std::array<unsigned char, 256> actions{};
    for (int b = 0; b < 256; ++b) {
        if (b >= 'A' && b <= 'Z')
            actions[b] = LowerAscii;
        else if (b < 0xC0 || (b >= 0xE3 && b <= 0xE9) || (b >= 0xEB && b <= 0xED))
            actions[b] = KeepByte;
        else
            actions[b] = DecodeCharacter;
    }
    return actions;
}();

// Maps text byte by byte into out, which has room for as many bytes; the
// result keeps the length. Returns false, leaving out unfinished, when the
// text holds a letter with case beyond ASCII: that needs Unicode's mapping.
bool mapBytes(std::string_view in, char *out)
{
    const auto *s = reinterpret_cast<const unsigned char *>(in.data());
    const size_t n = in.size();
    // Copied whole first: the loop then only visits the bytes that change.
    std::memcpy(out, s, n);
    for (size_t i = 0; i < n; ++i) {
        const unsigned char b = s[i];
        const unsigned char action = byteActions[b];
        if (action == KeepByte)
            continue;
        if (action == LowerAscii) {
            out[i] = char(b + 32);
            continue;
        }
        // The full-width punctuation of Chinese text, U+FF01..U+FF20, has no case.
        if (b == 0xEF && i + 2 < n && s[i + 1] == 0xBC && s[i + 2] >= 0x81 && s[i + 2] <= 0xA0) {
            i += 2;
            continue;
        }
        char32_t c;
        const int len = decodeUtf8(s + i, n - i, c);
        if (len != 0 && !isCaseless(c))
            return false;
        // Not UTF-8, or a character without case: its bytes stay as copied.
        if (len > 1)
            i += size_t(len - 1);
    }
    return true;
}

// Maps text into out: nearly all Chinese text byte by byte, anything with
// other letters through Qt's full Unicode mapping.
void mapCase(std::string_view in, CaseMapping mapping, std::string &out)
{
    out.resize(in.size());
    if (mapBytes(in, out.data()))
        return;
    const QString text = QString::fromUtf8(in.data(), qsizetype(in.size()));
    const QByteArray mapped =
        (mapping == CaseMapping::Lower ? text.toLower() : text.toCaseFolded()).toUtf8();
    out.assign(mapped.constData(), size_t(mapped.size()));
}

size_t utf8Length(std::string_view s)
{
    size_t count = 0;
    for (const char ch : s)
        count += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
    return count;
}

// Byte offset of the character with 0-based index chars (or s.size()).
size_t utf8Offset(std::string_view s, size_t chars)
{
    size_t i = 0;
    for (; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (chars == 0)
                return i;
            --chars;
        }
    }
    return s.size();
}

size_t utf8CharLength(std::string_view s, size_t at)
{
    size_t j = at + 1;
    while (j < s.size() && (static_cast<unsigned char>(s[j]) & 0xC0) == 0x80)
        ++j;
    return j - at;
}

// A LIKE pattern, folded and split once per statement rather than per row.
class LikePattern final
{
public:
    explicit LikePattern(std::string_view pattern)
    {
        mapCase(pattern, CaseMapping::Fold, m_folded);
        m_hasUnderscore = m_folded.find('_') != std::string::npos;
        // A pattern without cased letters cannot be affected by the text's
        // case: searching for 电子 then skips folding every row.
        m_needsFolding = false;
        const auto *p = reinterpret_cast<const unsigned char *>(m_folded.data());
        for (size_t i = 0; i < m_folded.size() && !m_needsFolding;) {
            char32_t c;
            const int len = decodeUtf8(p + i, m_folded.size() - i, c);
            m_needsFolding = len == 0 || (c < 0x80 ? (c >= 'a' && c <= 'z') : !isCaseless(c));
            i += size_t(len ? len : 1);
        }
        if (!m_hasUnderscore) {
            size_t start = 0;
            for (;;) {
                const size_t percent = m_folded.find('%', start);
                m_segments.emplace_back(m_folded.substr(start, percent - start));
                if (percent == std::string::npos)
                    break;
                start = percent + 1;
            }
        }
    }

    bool matches(std::string_view text) const
    {
        if (!m_needsFolding)
            return match(text);
        thread_local std::string folded;
        mapCase(text, CaseMapping::Fold, folded);
        return match(folded);
    }

private:
    bool match(std::string_view text) const
    {
        return m_hasUnderscore ? matchWildcards(text) : matchSegments(text);
    }

    // Only '%': the first segment anchors at the start, the last at the end,
    // and those in between are found leftmost, which is exact for '%' alone.
    bool matchSegments(std::string_view text) const
    {
        if (m_segments.size() == 1)
            return text == m_segments.front();
        const std::string &head = m_segments.front();
        const std::string &tail = m_segments.back();
        if (text.size() < head.size() + tail.size())
            return false;
        if (text.compare(0, head.size(), head) != 0)
            return false;
        if (text.compare(text.size() - tail.size(), tail.size(), tail) != 0)
            return false;
        size_t pos = head.size();
        const size_t end = text.size() - tail.size();
        for (size_t k = 1; k + 1 < m_segments.size(); ++k) {
            const std::string &segment = m_segments[k];
            if (segment.empty())
                continue;
            // find() looks for the first byte with memchr: on short texts
            // that beats memmem, which sets up tables on every call.
            const size_t hit = text.substr(0, end).find(segment, pos);
            if (hit == std::string_view::npos)
                return false;
            pos = hit + segment.size();
        }
        return true;
    }

    // The general matcher: '%' backtracks to the last star, '_' takes one
    // whole UTF-8 character.
    bool matchWildcards(std::string_view text) const
    {
        const std::string &p = m_folded;
        size_t ti = 0, pi = 0;
        size_t starP = std::string::npos, starT = 0;
        while (ti < text.size()) {
            if (pi < p.size() && p[pi] == '%') {
                starP = pi++;
                starT = ti;
            } else if (pi < p.size() && p[pi] == '_') {
                ++pi;
                ti += utf8CharLength(text, ti);
            } else if (pi < p.size() && p[pi] == text[ti]) {
                ++pi;
                ++ti;
            } else if (starP != std::string::npos) {
                pi = starP + 1;
                starT += utf8CharLength(text, starT);
                ti = starT;
            } else {
                return false;
            }
        }
        while (pi < p.size() && p[pi] == '%')
            ++pi;
        return pi == p.size();
    }

    std::string m_folded;
    std::vector<std::string> m_segments;
    bool m_hasUnderscore = false;
    bool m_needsFolding = true;
};

std::string_view textArg(sqlite3_value *value)
{
    const auto *data = reinterpret_cast<const char *>(sqlite3_value_text(value));
    return {data ? data : "", size_t(sqlite3_value_bytes(value))};
}

void likeFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(context);
    auto *pattern = static_cast<LikePattern *>(sqlite3_get_auxdata(context, 0));
    if (!pattern) {
        pattern = new LikePattern(textArg(argv[0]));
        sqlite3_set_auxdata(context, 0, pattern,
                            [](void *p) { delete static_cast<LikePattern *>(p); });
        // SQLite may have freed it already when it could not keep it.
        pattern = static_cast<LikePattern *>(sqlite3_get_auxdata(context, 0));
        if (!pattern) {
            const LikePattern once(textArg(argv[0]));
            return sqlite3_result_int(context, once.matches(textArg(argv[1])));
        }
    }
    sqlite3_result_int(context, pattern->matches(textArg(argv[1])));
}

void lcaseFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(context);
    // Mapped straight into the buffer SQLite keeps, sparing a copy per row.
    const std::string_view text = textArg(argv[0]);
    auto *buffer = static_cast<char *>(sqlite3_malloc64(text.size() + 1));
    if (!buffer)
        return sqlite3_result_error_nomem(context);
    if (mapBytes(text, buffer))
        return sqlite3_result_text64(context, buffer, text.size(), sqlite3_free, SQLITE_UTF8);
    sqlite3_free(buffer);
    thread_local std::string lowered;
    mapCase(text, CaseMapping::Lower, lowered);
    sqlite3_result_text64(context, lowered.data(), lowered.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// InStr([start,] string1, string2[, compare]) with VBA's rules: 1-based
// positions counted in characters, 0 when not found, NULL for any NULL
// argument; compare 0 is binary, 1 ignores letter case.
void instrFunction(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            return sqlite3_result_null(context);
    }
    sqlite3_int64 start = 1;
    int first = 0;
    if (argc >= 3) {
        start = sqlite3_value_int64(argv[0]);
        first = 1;
    }
    const sqlite3_int64 compare = argc == 4 ? sqlite3_value_int64(argv[3]) : 0;
    if (start < 1 || compare < 0 || compare > 2)
        return sqlite3_result_error(context, "InStr: invalid procedure call or argument", -1);

    std::string_view haystack = textArg(argv[first]);
    std::string_view needle = textArg(argv[first + 1]);
    thread_local std::string foldedHaystack, foldedNeedle;
    if (compare != 0) {
        mapCase(haystack, CaseMapping::Fold, foldedHaystack);
        mapCase(needle, CaseMapping::Fold, foldedNeedle);
        haystack = foldedHaystack;
        needle = foldedNeedle;
    }
    if (haystack.empty())
        return sqlite3_result_int64(context, 0);
    // Only the start has to be counted in characters; with start 1 the
    // search itself runs over bytes.
    const size_t from = start == 1 ? 0 : utf8Offset(haystack, size_t(start - 1));
    if (from >= haystack.size())
        return sqlite3_result_int64(context, 0);
    if (needle.empty())
        return sqlite3_result_int64(context, start);
    const size_t offset = haystack.find(needle, from);
    if (offset == std::string_view::npos)
        return sqlite3_result_int64(context, 0);
    sqlite3_result_int64(context, sqlite3_int64(utf8Length(haystack.substr(0, offset)) + 1));
}

} // namespace

void registerJetFunctions(sqlite3 *db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    sqlite3_create_function_v2(db, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr,
                               nullptr);
    sqlite3_create_function_v2(db, "LCase", 1, flags, nullptr, lcaseFunction, nullptr, nullptr,
                               nullptr);
    for (int argc = 2; argc <= 4; ++argc)
        sqlite3_create_function_v2(db, "InStr", argc, flags, nullptr, instrFunction, nullptr,
                                   nullptr, nullptr);
}

QByteArray JetText::lowerCase(const QByteArray &utf8)
{
    std::string out;
    mapCase({utf8.constData(), size_t(utf8.size())}, CaseMapping::Lower, out);
    return QByteArray(out.data(), qsizetype(out.size()));
}

QByteArray JetText::caseFolded(const QByteArray &utf8)
{
    std::string out;
    mapCase({utf8.constData(), size_t(utf8.size())}, CaseMapping::Fold, out);
    return QByteArray(out.data(), qsizetype(out.size()));
}

bool JetText::like(const QByteArray &pattern, const QByteArray &text)
{
    return LikePattern({pattern.constData(), size_t(pattern.size())})
        .matches({text.constData(), size_t(text.size())});
}
