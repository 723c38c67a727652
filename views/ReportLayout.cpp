#include "views/ReportLayout.h"

#include "data/EnterpriseTable.h"
#include "data/Query.h"

#include <cmath>

QString BreakIntoLines(const QString &text, int width)
{
    if (width < 1)
        return text;
    QString result;
    result.reserve(text.size() + text.size() / width);
    int inLine = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2
                                                                                             : 1;
        // The break goes in front of a character only once the line is full,
        // so a text of exactly n lines gets no break at its end.
        if (inLine == width) {
            result += QChar(u'\r');
            inLine = 0;
        }
        result.append(text.constData() + i, length);
        ++inLine;
        i += length;
    }
    return result;
}

namespace ReportLayout {

namespace {

using enum Alignment;
namespace T = EnterpriseTable;

// The report template. The columns: header caption box (left, width), cell
// (left, width), text box (left or centre, top, width x height; width 0 is
// sized to the text), alignment, break width.
const Template layout{
    .paperWidth = 297.0,
    .paperHeight = 210.0,
    .margin = 9.9,
    .copies = 1,
    .baseFont = {QStringLiteral("SimSun"), 9},
    .titleBandHeight = 10.6,
    .titleCaption = QStringLiteral("报表"),
    .titleTop = 1.1,
    .titleFont = {QStringLiteral("SimSun"), 20, true, true, 0x000080},
    .headerBandHeight = 5.3,
    .headerFont = {QStringLiteral("SimSun"), 10, true},
    .detailBandHeight = 16.4,
    .cellPenWidth = 0.2,
    .columns = {{
        {T::enterpriseCode, 1.9, 25.4, 0.3, 27.3, 2.6, 6.6, 0, 4.5, Left, 0},
        {T::province, 31.5, 15.3, 27.0, 22.0, 38.5, 6.6, 0, 4.5, Centre, 0},
        {T::companyName, 49.2, 35.5, 48.7, 38.4, 50.8, 1.3, 31.0, 14.3, Left, 8},
        {T::address, 84.7, 44.2, 86.8, 44.2, 88.9, 1.3, 38.4, 14.3, Left, 10},
        {T::businessScope, 129.1, 45.8, 130.7, 46.8, 131.8, 1.3, 44.2, 14.3, Left, 12},
        {T::tradeCode, 175.4, 17.5, 175.2, 17.7, 185.1, 6.6, 0, 4.5, Centre, 0},
        {T::postcode, 192.1, 15.6, 191.8, 15.9, 199.6, 6.6, 0, 4.5, Centre, 0},
        {T::trade, 207.4, 21.2, 207.4, 22.2, 208.2, 1.6, 20.6, 14.3, Left, 6},
        {T::telephone, 228.6, 24.3, 228.6, 24.6, 230.7, 2.1, 21.4, 13.0, Left, 11},
        {T::fax, 252.7, 24.3, 252.9, 24.3, 254.0, 2.1, 21.4, 13.0, Left, 11},
    }},
};

// Band heights are given to a tenth of a millimetre; the tolerance keeps a
// band that fits exactly from being lost to rounding.
int bandsThatFit(double height, double bandHeight)
{
    return std::max(0, int(std::floor(height / bandHeight + 1e-9)));
}

} // namespace

const Template &reportTemplate()
{
    return layout;
}

int rowsOnFirstPage()
{
    return bandsThatFit(layout.printableHeight() - layout.titleBandHeight - layout.headerBandHeight,
                        layout.detailBandHeight);
}

int rowsOnLaterPage()
{
    return bandsThatFit(layout.printableHeight() - layout.headerBandHeight,
                        layout.detailBandHeight);
}

QList<Page> paginate(int rowCount)
{
    QList<Page> pages;
    pages.append({0, std::min(std::max(rowCount, 0), rowsOnFirstPage()), true});
    for (int row = pages.first().rowCount; row < rowCount; row += rowsOnLaterPage())
        pages.append({row, std::min(rowCount - row, rowsOnLaterPage()), false});
    return pages;
}

std::optional<Document> collect(Query &rows, const PrintHook &onPrint, const Progress &progress)
{
    Document document;
    if (rows.isOpen() && rows.recordCount() > 0) {
        std::array<int, columnCount> fields;
        for (int c = 0; c < columnCount; ++c)
            fields[c] = rows.fieldIndex(layout.columns[c].field);
        const int total = rows.recordCount();
        document.rows.reserve(total);
        rows.first();
        // The count caps the walk in case a handler of the row set's
        // notifications moves it back.
        while (!rows.eof() && document.rows.size() < total) {
            QStringList texts;
            texts.reserve(columnCount);
            for (int c = 0; c < columnCount; ++c) {
                QString text = fields[c] < 0 ? QString() : rows.text(rows.currentRow(), fields[c]);
                if (onPrint)
                    onPrint(c, text);
                texts.append(std::move(text));
            }
            document.rows.append(std::move(texts));
            if (progress && !progress(int(document.rows.size()), total))
                return std::nullopt;
            rows.next();
        }
    }
    document.pages = paginate(int(document.rows.size()));
    return document;
}

} // namespace ReportLayout
