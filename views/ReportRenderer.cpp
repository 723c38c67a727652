#include "views/ReportRenderer.h"

#include "data/QuorvaneError.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QTextLayout>

#include <cmath>

using namespace ReportLayout;

namespace {

constexpr qreal millimetresPerInch = 25.4;
constexpr qreal pointsPerInch = 72.0;

// SimSun's own metrics make a line one em high, which leaves its glyphs a
// little air; the Song faces that stand in for it draw their ideographs
// larger in the em and would touch. A tenth of an em more keeps them apart
// and still fits four lines in the 14.3 mm boxes, as SimSun does; the
// 13.0 mm telephone and fax boxes then hold three, more than any number
// broken at eleven digits needs.
constexpr qreal lineSpacingInEms = 1.1;

// The room kept between a text and the rule of its cell, in millimetres.
constexpr double cellInset = 0.4;

QFont fontFor(const FontStyle &style)
{
    QFont font(style.family);
    font.setPointSizeF(style.pointSize);
    font.setBold(style.bold);
    font.setItalic(style.italic);
    // Unhinted outlines measure the same on the screen, a printer and a
    // PDF, so a text wraps alike in the preview and on paper.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// A lone carriage return (what BreakIntoLines inserts), a line feed or both
// in a row each end a line.
QStringList paragraphsOf(const QString &text)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    return text.split(lineBreak);
}

} // namespace

struct ReportRenderer::Context
{
    Context(const Template &layout, QPaintDevice *device)
        : dpiX(device->logicalDpiX()), dpiY(device->logicalDpiY()),
          baseFont(fontFor(layout.baseFont)), titleFont(fontFor(layout.titleFont)),
          headerFont(fontFor(layout.headerFont)), base(baseFont, device), title(titleFont, device),
          header(headerFont, device), device(device),
          cellPen(Qt::black, x(layout.cellPenWidth), Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin),
          linePitch(layout.baseFont.pointSize * lineSpacingInEms * dpiY / pointsPerInch)
    {}

    qreal x(double millimetres) const { return millimetres * dpiX / millimetresPerInch; }
    qreal y(double millimetres) const { return millimetres * dpiY / millimetresPerInch; }

    // The baseline of a line of text whose line box starts at top and is
    // height high: the face's own ascent and descent centred in it.
    static qreal baseline(const QFontMetricsF &metrics, qreal top, qreal height)
    {
        return top + (height - metrics.ascent() - metrics.descent()) / 2 + metrics.ascent();
    }

    qreal dpiX;
    qreal dpiY;
    QFont baseFont;
    QFont titleFont;
    QFont headerFont;
    QFontMetricsF base;
    QFontMetricsF title;
    QFontMetricsF header;
    QPaintDevice *device;
    QPen cellPen;
    qreal linePitch;
};

ReportRenderer::ReportRenderer(const Document &document) : m_document(document) {}

void ReportRenderer::installFontSubstitutes()
{
    static const bool installed = [] {
        const QStringList songFaces = {
            QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Source Han Serif SC"),
            QStringLiteral("Noto Serif CJK"), QStringLiteral("AR PL UMing CN"),
            QStringLiteral("AR PL SungtiL GB")};
        QFont::insertSubstitutions(QStringLiteral("SimSun"), songFaces);
        QFont::insertSubstitutions(QStringLiteral("宋体"), songFaces);
        return true;
    }();
    Q_UNUSED(installed);
}

QPageLayout ReportRenderer::pageLayout()
{
    const Template &layout = reportTemplate();
    // Given portrait, as paper sizes are named; a fuzzy match makes it A4 by name.
    const QPageSize paper(QSizeF(std::min(layout.paperWidth, layout.paperHeight),
                                 std::max(layout.paperWidth, layout.paperHeight)),
                          QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch);
    const QMarginsF margins(layout.margin, layout.margin, layout.margin, layout.margin);
    return QPageLayout(paper, QPageLayout::Landscape, margins, QPageLayout::Millimeter);
}

void ReportRenderer::setUpPrinter(QPrinter &printer)
{
    printer.setFullPage(false);
    printer.setPageLayout(pageLayout());
    printer.setCopyCount(reportTemplate().copies);
    printer.setDuplex(QPrinter::DuplexNone);
    printer.setPaperSource(QPrinter::Auto);
    printer.setDocName(reportTemplate().titleCaption);
}

bool ReportRenderer::render(QPagedPaintDevice *device, const Progress &progress) const
{
    installFontSubstitutes();
    QPainter painter;
    if (!painter.begin(device))
        throw QuorvaneError(QStringLiteral("无法开始打印报表：打印设备不可用"));
    const Context context(reportTemplate(), device);
    const qsizetype pages = m_document.pages.size();
    for (qsizetype i = 0; i < pages; ++i) {
        if (i > 0 && !device->newPage())
            throw QuorvaneError(QStringLiteral("无法开始报表的第 %1 页").arg(i + 1));
        paintPage(painter, context, m_document.pages[i]);
        if (progress && !progress(int(i + 1), int(pages))) {
            // Drop the job before the painter ends, which would send it.
            if (auto *printer = dynamic_cast<QPrinter *>(device))
                printer->abort();
            return false;
        }
    }
    if (!painter.end())
        throw QuorvaneError(QStringLiteral("无法完成报表的打印：打印设备报告了错误"));
    return true;
}

void ReportRenderer::paintPage(QPainter &painter, const Context &context, const Page &page) const
{
    const Template &layout = reportTemplate();
    qreal top = 0;

    if (page.hasTitle) {
        painter.setFont(context.titleFont);
        painter.setPen(QColor::fromRgb(layout.titleFont.rgb));
        const qreal width = context.title.horizontalAdvance(layout.titleCaption);
        const qreal left = (context.x(layout.bandWidth()) - width) / 2;
        const qreal height = context.y(layout.titleFont.pointSize * millimetresPerInch /
                                       pointsPerInch * lineSpacingInEms);
        painter.drawText(QPointF(left, Context::baseline(context.title,
                                                         top + context.y(layout.titleTop), height)),
                         layout.titleCaption);
        top += context.y(layout.titleBandHeight);
    }

    painter.setFont(context.headerFont);
    painter.setPen(Qt::black);
    const qreal headerHeight = context.y(layout.headerBandHeight);
    const qreal headerBaseline = Context::baseline(context.header, top, headerHeight);
    for (const Column &column : layout.columns) {
        const qreal width = context.header.horizontalAdvance(column.field);
        const qreal centre = context.x(column.headerLeft + column.headerWidth / 2);
        painter.drawText(QPointF(centre - width / 2, headerBaseline), column.field);
    }
    top += headerHeight;

    const qreal detailHeight = context.y(layout.detailBandHeight);
    for (int row = page.firstRow; row < page.firstRow + page.rowCount; ++row) {
        paintDetail(painter, context, top, m_document.rows.at(row));
        top += detailHeight;
    }
}

void ReportRenderer::paintDetail(QPainter &painter, const Context &context, qreal top,
                                 const QStringList &texts) const
{
    const Template &layout = reportTemplate();
    const qreal height = context.y(layout.detailBandHeight);

    // Each cell is painted white over its left neighbour's right edge, so the
    // two share the one line of the later cell.
    painter.setPen(context.cellPen);
    painter.setBrush(Qt::white);
    for (const Column &column : layout.columns)
        painter.drawRect(
            QRectF(context.x(column.cellLeft), top, context.x(column.cellWidth), height));

    painter.setBrush(Qt::NoBrush);
    painter.setPen(Qt::black);
    painter.setFont(context.baseFont);
    const QFontMetricsF &metrics = context.base;
    for (int c = 0; c < columnCount; ++c) {
        const Column &column = layout.columns[c];
        const QString &text = texts.at(c);
        if (text.isEmpty())
            continue;
        const qreal boxTop = top + context.y(column.textTop);
        const QStringList paragraphs = paragraphsOf(text);

        if (column.sizedToText()) {
            const QString &line = paragraphs.first();
            const qreal width = metrics.horizontalAdvance(line);
            const qreal anchor = context.x(column.textX);
            const qreal cellLeft = context.x(column.cellLeft + cellInset);
            const qreal cellRight = context.x(column.cellLeft + column.cellWidth - cellInset);
            // A box sized to its text grows past its cell with a long value
            // (广西壮族自治区 is wider than the province cell); rather than
            // write across the rule, the text is narrowed to the room there is.
            const bool centred = column.alignment == Alignment::Centre;
            const qreal room =
                centred ? 2 * std::min(anchor - cellLeft, cellRight - anchor) : cellRight - anchor;
            const qreal scale = width > room && room > 0 ? room / width : 1.0;
            const qreal baseline = Context::baseline(metrics, boxTop, context.linePitch);
            if (scale == 1.0) {
                painter.drawText(QPointF(centred ? anchor - width / 2 : anchor, baseline), line);
            } else {
                painter.save();
                painter.translate(anchor, baseline);
                painter.scale(scale, 1.0);
                painter.drawText(QPointF(centred ? -width / 2 : 0, 0), line);
                painter.restore();
            }
            continue;
        }

        const qreal boxLeft = context.x(column.textX);
        const qreal boxWidth = context.x(column.textWidth);
        // Whole lines only: a line that does not fit the box's height is not printed.
        const int maxLines =
            int(std::floor(context.y(column.textHeight) / context.linePitch + 1e-6));
        int lines = 0;
        const auto paint = [&](const QString &line) {
            const qreal x = column.alignment == Alignment::Centre
                                ? boxLeft + (boxWidth - metrics.horizontalAdvance(line)) / 2
                                : boxLeft;
            const qreal lineTop = boxTop + lines * context.linePitch;
            painter.drawText(QPointF(x, Context::baseline(metrics, lineTop, context.linePitch)),
                             line);
            ++lines;
        };
        for (const QString &paragraph : paragraphs) {
            if (lines >= maxLines)
                break;
            if (metrics.horizontalAdvance(paragraph) <= boxWidth) {
                paint(paragraph);
                continue;
            }
            // Wider than the box: wrap at word boundaries, or anywhere in a
            // word too long for a line of its own.
            QTextLayout wrapper(paragraph, context.baseFont, context.device);
            QTextOption option;
            option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            wrapper.setTextOption(option);
            wrapper.beginLayout();
            QStringList wrapped;
            for (QTextLine line = wrapper.createLine(); line.isValid();
                 line = wrapper.createLine()) {
                line.setLineWidth(boxWidth);
                wrapped << paragraph.mid(line.textStart(), line.textLength());
            }
            wrapper.endLayout();
            for (const QString &line : std::as_const(wrapped)) {
                if (lines >= maxLines)
                    break;
                paint(line);
            }
        }
    }
}
