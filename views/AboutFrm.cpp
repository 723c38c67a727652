#include "views/AboutFrm.h"

#include "ui_AboutFrm.h"

#include "app/ErrorHandler.h"
#include "app/Mainfrm.h"
#include "app/Maker.h"

#include <QMouseEvent>

namespace {

// The layout holds each label's prefix; the maker's value follows it.
void append(QLabel *label, const QString &value)
{
    label->setText(label->text() + value);
}

// The layout's sizes were made for a smaller Latin font; like a label that
// sizes itself, grow to the text in the font actually used (never shrink),
// so no CJK glyph or address is cut off. The position stays.
void fitToText(QLabel *label)
{
    label->ensurePolished();
    const QSize needed = label->sizeHint();
    label->resize(qMax(label->width(), needed.width()), qMax(label->height(), needed.height()));
}

} // namespace

TfrmAbout::TfrmAbout(TfrmMain *mainWindow)
    : QDialog(mainWindow), ui(std::make_unique<Ui::TfrmAbout>()), m_mainWindow(mainWindow)
{
    ui->setupUi(this);
    // A title and nothing else: no close, minimise or maximise button. Window
    // flags cannot be kept in the .ui. Window managers that honour the Motif
    // hints (KWin, Mutter) draw no buttons; a few, such as Openbox, still do.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(size());

    append(ui->Label2, Maker::companyName);
    append(ui->Label4, Maker::telephone);
    append(ui->lbl1, Maker::fax);
    append(ui->Label6, Maker::email);
    append(ui->Label7, Maker::webAddress);
    append(ui->Label3, Maker::postalAddress);
    for (QLabel *label : {ui->Label2, ui->Label4, ui->lbl1, ui->Label6, ui->Label7, ui->Label3})
        fitToText(label);

    connect(ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
    ui->Label7->installEventFilter(this);
}

TfrmAbout::~TfrmAbout() = default;

bool TfrmAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->Label7 && event->type() == QEvent::MouseButtonRelease) {
        // A press dragged off the label before release is no click.
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton &&
            ui->Label7->rect().contains(mouse->position().toPoint())) {
            ErrorHandler::dispatch([this] { Label7Click(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAbout::Label7Click()
{
    m_mainWindow->OpenWebsite();
}
