#include "data/DatabaseLocation.h"

#include <QCoreApplication>
#include <QDir>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

QString DatabaseLocation::dataDirectory()
{
#ifdef Q_OS_WIN
    wchar_t buffer[MAX_PATH];
    const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
    return QDir::fromNativeSeparators(QString::fromWCharArray(buffer, int(length)));
#else
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../share/quorvane"));
#endif
}

QString DatabaseLocation::databasePath()
{
    return QDir::toNativeSeparators(dataDirectory() + QLatin1Char('/') + fileName);
}

QString DatabaseLocation::connectionString(const QString &databasePath, const QString &password)
{
    // A path that the provider would split or trim, or take for a quoted
    // value, is quoted so that it still names the same file; any other
    // path goes into the template as it is.
    QString source = databasePath;
    if (source.contains(QLatin1Char(';')) || source.startsWith(QLatin1Char('"')) ||
        source.startsWith(QLatin1Char('\'')) || source != source.trimmed()) {
        source.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        source = QLatin1Char('"') + source + QLatin1Char('"');
    }
    // arg() with two arguments substitutes in one pass, so a '%1' inside
    // the path is not taken for the password's place holder.
    return connectionStringTemplate.arg(source, password);
}
