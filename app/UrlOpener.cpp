#include "app/UrlOpener.h"

#include <QDesktopServices>

namespace {

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
