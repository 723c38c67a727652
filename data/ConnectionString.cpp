#include "data/ConnectionString.h"

#include "data/QuorvaneError.h"

namespace {

[[noreturn]] void malformed(const QString &why)
{
    throw QuorvaneError(QStringLiteral("连接字符串格式错误：%1").arg(why));
}

} // namespace

ConnectionString ConnectionString::parse(const QString &text)
{
    ConnectionString result;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        // Key: everything up to '=', where "==" stands for a literal '='.
        QString key;
        while (i < n) {
            if (text[i] == QLatin1Char('=')) {
                if (i + 1 < n && text[i + 1] == QLatin1Char('=')) {
                    key += QLatin1Char('=');
                    i += 2;
                    continue;
                }
                break;
            }
            if (text[i] == QLatin1Char(';') && key.trimmed().isEmpty()) {
                key.clear();
                ++i;
                continue;
            }
            if (text[i] == QLatin1Char(';'))
                malformed(QStringLiteral("“%1”缺少“=”").arg(key.trimmed()));
            key += text[i++];
        }
        key = key.trimmed();
        if (i >= n) {
            if (!key.isEmpty())
                malformed(QStringLiteral("“%1”缺少“=”").arg(key));
            break;
        }
        if (key.isEmpty())
            malformed(QStringLiteral("缺少关键字"));
        ++i; // '='

        while (i < n && text[i].isSpace())
            ++i;
        QString value;
        if (i < n && (text[i] == QLatin1Char('"') || text[i] == QLatin1Char('\''))) {
            const QChar quote = text[i++];
            bool closed = false;
            while (i < n) {
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += text[i++];
            }
            if (!closed)
                malformed(QStringLiteral("“%1”的值缺少结束引号").arg(key));
            while (i < n && text[i].isSpace())
                ++i;
            if (i < n && text[i] != QLatin1Char(';'))
                malformed(QStringLiteral("“%1”的值在引号后有多余字符").arg(key));
        } else {
            while (i < n && text[i] != QLatin1Char(';'))
                value += text[i++];
            value = value.trimmed();
        }
        if (i < n)
            ++i; // ';'
        result.m_values.insert(key.toLower(), value);
    }
    return result;
}

QString ConnectionString::value(const QString &key) const
{
    return m_values.value(key.toLower());
}

bool ConnectionString::contains(const QString &key) const
{
    return m_values.contains(key.toLower());
}
