#pragma once

#include "views/ReportLayout.h"

#include <QWidget>

#include <memory>

namespace Ui {
class TfrmQRep;
}

class QPagedPaintDevice;
class QPrintPreviewDialog;
class QPrinter;
class Query;

// The enterprise list report. The form itself is never shown, only its preview.
class TfrmQRep final : public QWidget
{
    Q_OBJECT

public:
    using PrintHook = void (TfrmQRep::*)(QString &value);

    // From this many rows on, laying the report out shows its progress.
    static constexpr int progressThreshold = 300;

    explicit TfrmQRep(Query *dataSet, QWidget *parent = nullptr);
    ~TfrmQRep() override;

    // Walks the row set into a modal print preview; returns when it closes,
    // or when the user cancels laying out a long report.
    void preview();

    // Walks the row set, first row to last, into pages, leaving it on its
    // last row. Returns false when the user cancelled. preview() starts here.
    bool prepare();
    const ReportLayout::Document &document() const { return m_document; }

    // Paints the prepared pages on a device carrying the report's page layout.
    void print(QPagedPaintDevice *device) const;
    // Writes the prepared pages to a PDF file, whole or not at all. Throws QuorvaneError.
    void exportPdf(const QString &fileName) const;

    // The print hooks of the text boxes of columns 3, 4, 5, 8, 9 and 10:
    // each breaks its text into lines of its column's break width.
    void QRDBText3Print(QString &value);
    void QRDBText4Print(QString &value);
    void QRDBText5Print(QString &value);
    void QRDBText8Print(QString &value);
    void QRDBText9Print(QString &value);
    void QRDBText10Print(QString &value);

    // The hook the text box of a column (0-based) runs at print time; nullptr for none.
    static PrintHook onPrint(int column);

private:
    void QuickRep1PaintRequested(QPrinter *printer);
    void actExportPdfClick();

    std::unique_ptr<Ui::TfrmQRep> ui;
    Query *m_dataSet;
    ReportLayout::Document m_document;
    QPrintPreviewDialog *m_previewDialog = nullptr;
};
