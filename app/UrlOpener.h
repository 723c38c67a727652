#pragma once

#include <QUrl>

// Hands an address or a document to the desktop, which opens it in the
// browser or in the application registered for it. Its answer is ignored.
class UrlOpener
{
public:
    virtual ~UrlOpener();
    virtual void open(const QUrl &url) = 0;
};

// The opener in use: the desktop's, unless a test put its own.
UrlOpener &urlOpener();
void setUrlOpener(UrlOpener *opener); // nullptr restores the desktop's
