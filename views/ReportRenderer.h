#pragma once

#include "views/ReportLayout.h"

#include <QPageLayout>

#include <functional>

class QPagedPaintDevice;
class QPainter;
class QPrinter;

// Paints the pages of a laid-out report with QPainter, on whatever paged
// device is at hand: the preview, a printer or a PDF writer. Every position
// and font comes from the report template.
class ReportRenderer final
{
public:
    explicit ReportRenderer(const ReportLayout::Document &document);

    // SimSun ships with Chinese Windows only. Elsewhere a Song face of the
    // same design stands in, chosen here rather than in the system's font
    // configuration, which would as soon pick a sans-serif face.
    static void installFontSubstitutes();

    // A4 landscape with the template's margins.
    static QPageLayout pageLayout();
    // The page layout, one copy, no duplex, the automatic paper bin.
    static void setUpPrinter(QPrinter &printer);

    // Called after each page with the pages painted so far and their
    // number; false stops painting.
    using Progress = std::function<bool(int done, int total)>;

    // Paints every page on a device already carrying pageLayout(). Returns
    // false when progress stopped it, aborting a printer's job. Throws QuorvaneError when the
    // device cannot be painted on.
    bool render(QPagedPaintDevice *device, const Progress &progress = {}) const;

private:
    struct Context;
    void paintPage(QPainter &painter, const Context &context, const ReportLayout::Page &page) const;
    void paintDetail(QPainter &painter, const Context &context, qreal top,
                     const QStringList &texts) const;

    const ReportLayout::Document &m_document;
};
