#include "views/QRepFrm.h"

#include "ui_QRepFrm.h"

#include "app/ErrorHandler.h"
#include "data/Query.h"
#include "data/QuorvaneError.h"
#include "views/ReportRenderer.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPaintEngine>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QSaveFile>
#include <QStandardPaths>
#include <QToolBar>

#include <array>

namespace {

QString exportFailure(const QString &fileName, const QString &cause)
{
    return QStringLiteral("无法导出PDF文件“%1”：%2").arg(QDir::toNativeSeparators(fileName), cause);
}

// Why a PDF file could not be written, in the user's terms; the system's
// own words follow for whoever has to look further.
QString writeFailureCause(const QSaveFile &file, bool opening)
{
    const QFileInfo folder(QFileInfo(file.fileName()).absolutePath());
    if (opening && !folder.isDir())
        return QStringLiteral("文件夹“%1”不存在")
            .arg(QDir::toNativeSeparators(folder.absoluteFilePath()));
    QString cause;
    switch (file.error()) {
    case QFileDevice::PermissionsError:
        cause = QStringLiteral("没有写入权限");
        break;
    case QFileDevice::ResourceError:
        cause = QStringLiteral("磁盘空间不足");
        break;
    case QFileDevice::OpenError:
        cause =
            folder.isWritable() ? QStringLiteral("无法创建文件") : QStringLiteral("文件夹不可写入");
        break;
    default:
        cause = opening ? QStringLiteral("无法创建文件") : QStringLiteral("写入失败，磁盘可能已满");
        break;
    }
    return QStringLiteral("%1（%2）").arg(cause, file.errorString());
}

// A long report shows how far it got, with a button to give up. It
// shows at once: the work that follows runs without the event loop, and
// the dialog gets its events only when told of progress.
std::unique_ptr<QProgressDialog> progressFor(const QString &label, int maximum, QWidget *parent,
                                             const QString &title)
{
    auto progress =
        std::make_unique<QProgressDialog>(label, QStringLiteral("取消"), 0, maximum, parent);
    progress->setWindowTitle(title);
    progress->setWindowModality(Qt::ApplicationModal);
    progress->setMinimumDuration(0);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setValue(0);
    return progress;
}

// Telling the dialog of every step would spend more time in the event loop
// than on the work.
bool advance(QProgressDialog &progress, int done, int total, int every)
{
    if (done % every == 0 || done == total)
        progress.setValue(done);
    return !progress.wasCanceled();
}

} // namespace

TfrmQRep::TfrmQRep(Query *dataSet, QWidget *parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::TfrmQRep>()), m_dataSet(dataSet)
{
    ui->setupUi(this);
    ReportRenderer::installFontSubstitutes();
    m_document.pages = ReportLayout::paginate(0);
    connect(ui->actExportPdf, &QAction::triggered, this,
            ErrorHandler::handler(this, &TfrmQRep::actExportPdfClick));
}

TfrmQRep::~TfrmQRep() = default;

TfrmQRep::PrintHook TfrmQRep::onPrint(int column)
{
    // The wiring of the template's text boxes QRDBText1 to QRDBText10.
    static constexpr std::array<PrintHook, ReportLayout::columnCount> hooks = {
        nullptr,
        nullptr,
        &TfrmQRep::QRDBText3Print,
        &TfrmQRep::QRDBText4Print,
        &TfrmQRep::QRDBText5Print,
        nullptr,
        nullptr,
        &TfrmQRep::QRDBText8Print,
        &TfrmQRep::QRDBText9Print,
        &TfrmQRep::QRDBText10Print,
    };
    return column >= 0 && column < ReportLayout::columnCount ? hooks[size_t(column)] : nullptr;
}

namespace {

QString breakForColumn(const QString &value, int column)
{
    return BreakIntoLines(value, ReportLayout::reportTemplate().columns[size_t(column)].breakWidth);
}

} // namespace

void TfrmQRep::QRDBText3Print(QString &value)
{
    value = breakForColumn(value, 2);
}

void TfrmQRep::QRDBText4Print(QString &value)
{
    value = breakForColumn(value, 3);
}

void TfrmQRep::QRDBText5Print(QString &value)
{
    value = breakForColumn(value, 4);
}

void TfrmQRep::QRDBText8Print(QString &value)
{
    value = breakForColumn(value, 7);
}

void TfrmQRep::QRDBText9Print(QString &value)
{
    value = breakForColumn(value, 8);
}

void TfrmQRep::QRDBText10Print(QString &value)
{
    value = breakForColumn(value, 9);
}

bool TfrmQRep::prepare()
{
    m_document = {};
    m_document.pages = ReportLayout::paginate(0);
    if (!m_dataSet)
        return true;

    std::unique_ptr<QProgressDialog> progress;
    const int total = m_dataSet->isOpen() ? m_dataSet->recordCount() : 0;
    if (total > progressThreshold)
        progress =
            progressFor(QStringLiteral("正在生成报表……"), total, parentWidget(), windowTitle());
    const auto report = [&progress](int done, int total) {
        return advance(*progress, done, total, 25);
    };
    const auto hook = [this](int column, QString &text) {
        if (const PrintHook print = onPrint(column))
            (this->*print)(text);
    };

    std::optional<ReportLayout::Document> document = ReportLayout::collect(
        *m_dataSet, hook, progress ? ReportLayout::Progress(report) : ReportLayout::Progress());
    if (!document)
        return false;
    m_document = std::move(*document);
    return true;
}

void TfrmQRep::print(QPagedPaintDevice *device) const
{
    ReportRenderer(m_document).render(device);
}

void TfrmQRep::exportPdf(const QString &fileName) const
{
    // The pages go to a temporary file beside the target, which takes the
    // target's name only once they are all written: a failure leaves no
    // half-written file, and an older file of that name as it was.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw QuorvaneError(exportFailure(fileName, writeFailureCause(file, true)));
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(ReportRenderer::pageLayout());
        writer.setTitle(windowTitle());
        writer.setCreator(QStringLiteral("Quorvane"));
        print(&writer);
    }
    if (!file.commit())
        throw QuorvaneError(exportFailure(fileName, writeFailureCause(file, false)));
}

void TfrmQRep::preview()
{
    if (!prepare())
        return;

    QPrinter printer(QPrinter::HighResolution);
    ReportRenderer::setUpPrinter(printer);
    QPrintPreviewDialog dialog(&printer, parentWidget());
    dialog.setWindowTitle(windowTitle());
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter *target) {
        ErrorHandler::dispatch([this, target] { QuickRep1PaintRequested(target); });
    });
    if (auto *toolBar = dialog.findChild<QToolBar *>()) {
        toolBar->addSeparator();
        toolBar->addAction(ui->actExportPdf);
    }
    m_previewDialog = &dialog;
    dialog.exec();
    m_previewDialog = nullptr;
}

void TfrmQRep::QuickRep1PaintRequested(QPrinter *printer)
{
    // The preview paints every page before it shows, and the
    // printer takes as long: a long report shows its progress here as well.
    if (m_document.rows.size() <= progressThreshold) {
        print(printer);
        return;
    }
    // A preview records its pages in pictures; giving up there closes the
    // preview, back to the main window. Giving up printing drops the job
    // and stays in the preview.
    const bool previewing =
        printer->paintEngine() && printer->paintEngine()->type() == QPaintEngine::Picture;
    const int pages = int(m_document.pages.size());
    const auto progress =
        progressFor(QStringLiteral("正在排版报表页面……"), pages, parentWidget(), windowTitle());
    const bool finished =
        ReportRenderer(m_document).render(printer, [&progress](int done, int total) {
            return advance(*progress, done, total, 5);
        });
    if (!finished && previewing && m_previewDialog)
        QMetaObject::invokeMethod(m_previewDialog, &QDialog::reject, Qt::QueuedConnection);
}

void TfrmQRep::actExportPdfClick()
{
    QFileDialog dialog(m_previewDialog ? static_cast<QWidget *>(m_previewDialog) : parentWidget(),
                       ui->actExportPdf->text());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("PDF 文件 (*.pdf)"));
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    dialog.setDirectory(QFileInfo(documents).isDir() ? documents : QDir::homePath());
    dialog.selectFile(windowTitle() + QStringLiteral(".pdf"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    exportPdf(dialog.selectedFiles().constFirst());
}
