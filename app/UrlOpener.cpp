#include "app/UrlOpener.h"

#include <QDesktopServices>
#include <QDir>

namespace {

// QDesktopServices goes to the shell's "open" on Windows and to the desktop's
// portal or xdg-open elsewhere; whether that succeeded is of no interest here.
class DesktopOpener final : public UrlOpener
{
public:
    void open(const QUrl &url) override { QDesktopServices::openUrl(url); }
};

UrlOpener *current = nullptr;

} // namespace

UrlOpener::~UrlOpener() = default;

UrlOpener &urlOpener()
{
    static DesktopOpener desktop;
    return current ? *current : desktop;
}

void setUrlOpener(UrlOpener *opener)
{
    current = opener;
}

QUrl helpManualUrl(const QString &exeDir)
{
    return QUrl::fromLocalFile(QDir(exeDir).filePath(helpManualFileName));
}
