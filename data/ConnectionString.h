#pragma once

#include <QMap>
#include <QString>

// An OLE DB connection string: ';'-separated key=value pairs. Keys are
// matched without regard to case; a value may be quoted with ' or ", a
// doubled quote standing for one inside it.
class ConnectionString final
{
public:
    // Throws QuorvaneError when the text is not a well-formed connection string.
    static ConnectionString parse(const QString &text);

    QString value(const QString &key) const;
    bool contains(const QString &key) const;

private:
    QMap<QString, QString> m_values; // keys lower-cased
};
