#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

class Query;

// Inserts a lone carriage return (U+000D) after every width characters of
// text, counting code points, so that a character outside the Basic
// Multilingual Plane counts once and is never split. Nothing else changes:
// a text of at most width characters comes back as it is, and so does any
// text when width is below 1.
QString BreakIntoLines(const QString &text, int width);

// The enterprise list report as data: page, bands and columns in
// millimetres, fonts in points. The painting code reads everything from
// here, so the template can be checked and changed in one place.
namespace ReportLayout {

struct FontStyle
{
    QString family;
    double pointSize = 0;
    bool bold = false;
    bool italic = false;
    quint32 rgb = 0x000000;
};

enum class Alignment { Left, Centre };

struct Column
{
    // The column read from the row set; also the caption of its header.
    QString field;
    double headerLeft;
    double headerWidth;
    double cellLeft;
    double cellWidth;
    // The left edge of the text box, or its centre when the box is centred
    // and sized to its text.
    double textX;
    double textTop;
    // 0 for a box sized to its text, which holds one line.
    double textWidth;
    double textHeight;
    Alignment alignment;
    // The width its print hook breaks the text at; 0 for a column without one.
    int breakWidth;

    bool sizedToText() const { return textWidth <= 0; }
};

inline constexpr int columnCount = 10;

struct Template
{
    // The paper, landscape; margins on all four sides.
    double paperWidth;
    double paperHeight;
    double margin;
    int copies;

    FontStyle baseFont;

    double titleBandHeight;
    QString titleCaption;
    double titleTop; // from the top of the band; centred across it
    FontStyle titleFont;

    double headerBandHeight;
    FontStyle headerFont;

    double detailBandHeight;
    // Outline of the cells, black on white.
    double cellPenWidth;

    std::array<Column, columnCount> columns;

    double bandWidth() const { return paperWidth - 2 * margin; }
    double printableHeight() const { return paperHeight - 2 * margin; }
};

const Template &reportTemplate();

// The rows the page holds below the title (first page) and the column header.
int rowsOnFirstPage();
int rowsOnLaterPage();

struct Page
{
    int firstRow = 0;
    int rowCount = 0;
    bool hasTitle = false;
};

// The pages for a number of rows: there is always at least one page, which
// carries the title; every page carries the column header.
QList<Page> paginate(int rowCount);

// The report as it will be printed: the texts of every row, as the print
// hooks left them, and the pages they fall on. Painting reads only this.
struct Document
{
    QList<QStringList> rows;
    QList<Page> pages;
};

// Called with the column (0-based) and the text about to be printed; may replace it.
using PrintHook = std::function<void(int column, QString &text)>;
// Called now and then with the rows walked so far and the total; false cancels.
using Progress = std::function<bool(int done, int total)>;

// Walks the row set from its first row to its end, as the report engine
// does, leaving it on its last row. A closed row set gives an empty
// report. Returns nothing when progress cancelled the walk.
std::optional<Document> collect(Query &rows, const PrintHook &onPrint = {},
                                const Progress &progress = {});

} // namespace ReportLayout
