#pragma once

#include <QString>
#include <QUrl>

// Hands an address or a document to the desktop, which opens it in the
// browser or in the application registered for it. Its answer is ignored:
// a failure shows nothing.
class UrlOpener
{
public:
    virtual ~UrlOpener();
    virtual void open(const QUrl &url) = 0;
};

// The opener in use: the desktop's, unless a test put its own.
UrlOpener &urlOpener();
void setUrlOpener(UrlOpener *opener); // nullptr restores the desktop's

// The help manual, looked for beside the executable.
inline const QString helpManualFileName = QStringLiteral("help.doc");

// The help manual in the directory exeDir (with or without a trailing
// separator), as a file URL. The path travels whole, never through a command
// line, so spaces, '#', '%' and Chinese characters in it arrive intact.
QUrl helpManualUrl(const QString &exeDir);
