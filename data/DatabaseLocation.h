#pragma once

#include <QString>

// Where the enterprise database lives and how the connection to it is described.
namespace DatabaseLocation {

inline const QString fileName = QStringLiteral("zoradu.dll");
inline const QString password = QStringLiteral("5B0D7A9C3F26E18B4");
inline const QString connectionStringTemplate =
    QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Persist Security Info=False;"
                   "Jet OLEDB:Database Password=%2");

// On Windows the system directory; elsewhere the program's data directory,
// <directory of the executable>/../share/quorvane, which holds in the build
// tree and in an installed copy alike.
QString dataDirectory();
QString databasePath();
// The template filled in. A path holding ';', starting with a quote or
// with blanks at either end is quoted, so that it reads back unchanged.
QString connectionString(const QString &databasePath, const QString &password);

} // namespace DatabaseLocation
