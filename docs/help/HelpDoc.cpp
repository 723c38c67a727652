// Turns the manual's source (UTF-8, a small line markup described at the top
// of help.txt) into RTF, which Word and LibreOffice both open from a file
// named help.doc. Every character outside ASCII is written as an \uN escape,
// so the document does not depend on any code page.
//
// Usage: quorvane-helpdoc <help.txt> <help.doc>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int pageWidth = 11906; // A4 in twips
constexpr int pageHeight = 16838;
constexpr int margin = 1440;
constexpr int textWidth = pageWidth - 2 * margin;

// Decodes UTF-8; a malformed byte becomes U+FFFD rather than stopping the build.
std::u32string decode(const std::string &text)
{
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t cp = 0;
        if (byte < 0x80) {
            cp = byte;
        } else if ((byte & 0xE0) == 0xC0) {
            extra = 1;
            cp = byte & 0x1F;
        } else if ((byte & 0xF0) == 0xE0) {
            extra = 2;
            cp = byte & 0x0F;
        } else if ((byte & 0xF8) == 0xF0) {
            extra = 3;
            cp = byte & 0x07;
        } else {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        bool valid = i + extra < text.size();
        for (int k = 1; valid && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                valid = false;
            else
                cp = (cp << 6) | (next & 0x3F);
        }
        if (!valid) {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        out += cp;
        i += extra + 1;
    }
    return out;
}

// RTF's \u takes a signed 16-bit number; characters beyond the BMP go as
// their two UTF-16 halves. The '?' after each is what a reader without
// Unicode support shows instead (\uc1).
void appendUnit(std::string &rtf, std::uint16_t unit)
{
    rtf += "\\u" + std::to_string(static_cast<std::int16_t>(unit)) + '?';
}

std::string escape(const std::u32string &text)
{
    std::string rtf;
    for (const char32_t c : text) {
        if (c == U'\\' || c == U'{' || c == U'}') {
            rtf += '\\';
            rtf += static_cast<char>(c);
        } else if (c == U'\t') {
            rtf += "\\tab ";
        } else if (c < 0x20) {
            // other control characters have no place in the manual
        } else if (c < 0x80) {
            rtf += static_cast<char>(c);
        } else if (c < 0x10000) {
            appendUnit(rtf, static_cast<std::uint16_t>(c));
        } else {
            const char32_t v = c - 0x10000;
            appendUnit(rtf, static_cast<std::uint16_t>(0xD800 + (v >> 10)));
            appendUnit(rtf, static_cast<std::uint16_t>(0xDC00 + (v & 0x3FF)));
        }
    }
    return rtf;
}

// **bold** and `code` inside a line.
std::string inlineText(const std::u32string &text)
{
    std::string rtf;
    std::u32string plain;
    bool bold = false;
    bool code = false;
    auto flush = [&] {
        rtf += escape(plain);
        plain.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!code && text.compare(i, 2, U"**") == 0) {
            flush();
            rtf += bold ? "\\b0 " : "\\b ";
            bold = !bold;
            ++i;
        } else if (text[i] == U'`') {
            flush();
            rtf += code ? "\\f0 " : "\\f1 ";
            code = !code;
        } else {
            plain += text[i];
        }
    }
    flush();
    if (bold)
        rtf += "\\b0 ";
    if (code)
        rtf += "\\f0 ";
    return rtf;
}

std::u32string trimmed(const std::u32string &text)
{
    const auto first = text.find_first_not_of(U" \t\r");
    if (first == std::u32string::npos)
        return {};
    const auto last = text.find_last_not_of(U" \t\r");
    return text.substr(first, last - first + 1);
}

bool startsWith(const std::u32string &text, const std::u32string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// How wide a cell's text is, counting a CJK character as two Latin ones.
int displayWidth(const std::u32string &text)
{
    int width = 0;
    for (const char32_t c : text)
        width += c >= 0x1100 ? 2 : 1;
    return width;
}

std::vector<std::u32string> cells(const std::u32string &row)
{
    std::vector<std::u32string> out;
    std::u32string inner = trimmed(row);
    if (startsWith(inner, U"|"))
        inner.erase(0, 1);
    if (!inner.empty() && inner.back() == U'|')
        inner.pop_back();
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = inner.find(U'|', start);
        out.push_back(trimmed(inner.substr(start, bar - start)));
        if (bar == std::u32string::npos)
            break;
        start = bar + 1;
    }
    return out;
}

// Column widths in proportion to the widest text of each column.
std::string table(const std::vector<std::vector<std::u32string>> &rows, std::size_t headerRows)
{
    std::size_t columns = 0;
    for (const auto &row : rows)
        columns = std::max(columns, row.size());
    std::vector<int> widest(columns, 4);
    for (const auto &row : rows)
        for (std::size_t c = 0; c < row.size(); ++c)
            widest[c] = std::max(widest[c], std::min(displayWidth(row[c]), 40));
    // Room for the cell's inner margins, so a short column does not wrap.
    int total = 0;
    for (int &w : widest)
        total += w += 4;

    std::string rtf;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const bool header = r < headerRows;
        std::string row = "\\trowd\\trgaph108\\trleft0";
        if (header)
            row += "\\trhdr";
        int edge = 0;
        for (std::size_t c = 0; c < columns; ++c) {
            edge = c + 1 == columns ? textWidth : edge + textWidth * widest[c] / total;
            row += "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10"
                   "\\clbrdrb\\brdrs\\brdrw10\\clbrdrr\\brdrs\\brdrw10";
            if (header)
                row += "\\clcbpat3";
            row += "\\cellx" + std::to_string(edge);
        }
        rtf += row + '\n';
        for (std::size_t c = 0; c < columns; ++c) {
            rtf += "\\pard\\intbl\\sa40\\sb40 ";
            if (header)
                rtf += "\\b ";
            rtf += c < rows[r].size() ? inlineText(rows[r][c]) : std::string();
            if (header)
                rtf += "\\b0 ";
            rtf += "\\cell\n";
        }
        rtf += "\\row\n";
    }
    rtf += "\\pard\\sa120\\par\n";
    return rtf;
}

std::string convert(const std::string &source)
{
    std::string body;
    std::u32string title;
    std::vector<std::vector<std::u32string>> rows;
    std::size_t headerRows = 0;
    auto endTable = [&] {
        if (!rows.empty())
            body += table(rows, headerRows);
        rows.clear();
        headerRows = 0;
    };

    std::istringstream lines(source);
    std::string raw;
    while (std::getline(lines, raw)) {
        const std::u32string line = trimmed(decode(raw));
        if (startsWith(line, U"|-")) {
            headerRows = rows.size();
            continue;
        }
        if (startsWith(line, U"|")) {
            rows.push_back(cells(line));
            continue;
        }
        endTable();
        if (line.empty() || startsWith(line, U"#"))
            continue;
        if (startsWith(line, U"=== ")) {
            body += "\\pard\\s2\\outlinelevel1\\keepn\\sb240\\sa80\\b\\fs26\\cf2 " +
                    inlineText(line.substr(4)) + "\\par\n";
        } else if (startsWith(line, U"== ")) {
            body += "\\pard\\s1\\outlinelevel0\\keepn\\sb360\\sa120\\b\\fs32\\cf2 " +
                    inlineText(line.substr(3)) + "\\par\n";
        } else if (startsWith(line, U"= ")) {
            title = line.substr(2);
            body += "\\pard\\qc\\sb240\\sa360\\b\\fs40\\cf2 " + inlineText(title) + "\\par\n";
        } else if (startsWith(line, U"- ")) {
            body += "\\pard\\s0\\fi-300\\li600\\tx600\\sa80 \\u8226?\\tab " +
                    inlineText(line.substr(2)) + "\\par\n";
        } else if (startsWith(line, U"> ")) {
            body += "\\pard\\s0\\li300\\ri300\\sb60\\sa120\\box\\brdrs\\brdrw10\\brsp80"
                    "\\cbpat3 " +
                    inlineText(line.substr(2)) + "\\par\n";
        } else if (startsWith(line, U"`") && line.back() == U'`') {
            body += "\\pard\\s0\\li600\\sb60\\sa120\\f1 " +
                    escape(line.substr(1, line.size() - 2)) + "\\f0\\par\n";
        } else {
            body += "\\pard\\s0\\sa120\\sl300\\slmult1 " + inlineText(line) + "\\par\n";
        }
        // Every paragraph starts from the plain body look again.
        body += "\\plain\\f0\\fs21\n";
    }
    endTable();

    std::string rtf = "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang2052\\uc1\n"
                      "{\\fonttbl{\\f0\\fnil\\fcharset134 Noto Sans CJK SC{\\*\\falt SimSun};}"
                      "{\\f1\\fmodern\\fcharset0 DejaVu Sans Mono{\\*\\falt Courier New};}}\n"
                      "{\\colortbl;\\red0\\green0\\blue0;\\red31\\green95\\blue168;"
                      "\\red232\\green239\\blue248;}\n"
                      "{\\stylesheet{\\s0\\f0\\fs21 Normal;}"
                      "{\\s1\\sb360\\sa120\\keepn\\b\\fs32\\cf2 heading 1;}"
                      "{\\s2\\sb240\\sa80\\keepn\\b\\fs26\\cf2 heading 2;}}\n"
                      "{\\info{\\title " +
                      escape(title) +
                      "}{\\author Kelvarn}}\n"
                      "\\paperw" +
                      std::to_string(pageWidth) + "\\paperh" + std::to_string(pageHeight) +
                      "\\margl" + std::to_string(margin) + "\\margr" + std::to_string(margin) +
                      "\\margt" + std::to_string(margin) + "\\margb" + std::to_string(margin) +
                      "\\viewkind1\n\\plain\\f0\\fs21\n";
    rtf += body;
    rtf += "}\n";
    return rtf;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::cerr << "usage: quorvane-helpdoc <help.txt> <help.doc>\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << "quorvane-helpdoc: cannot read " << argv[1] << '\n';
        return 1;
    }
    std::ostringstream source;
    source << in.rdbuf();
    const std::string rtf = convert(source.str());

    // Written beside and renamed, so an interrupted build leaves no half manual.
    const std::string partial = std::string(argv[2]) + ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << rtf;
        if (!out.flush()) {
            std::cerr << "quorvane-helpdoc: cannot write " << partial << '\n';
            return 1;
        }
    }
    if (std::rename(partial.c_str(), argv[2]) != 0) {
        std::cerr << "quorvane-helpdoc: cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
