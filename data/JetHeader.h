#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What page 0 of a Jet 4.0 database says about the file: read by the
// program itself because libmdb ignores the database password.
class JetHeader final
{
public:
    static constexpr int pageSize = 4096;

    // Reads page 0 of the file at path. Throws QuorvaneError naming the file
    // when it is not a whole Jet 4 file (too short, cut short, header unreadable).
    static JetHeader read(const QString &path);
    // The header of page 0; nothing when the bytes cannot hold one.
    static std::optional<JetHeader> parse(const QByteArray &page0);

    quint16 codePage() const { return m_codePage; }
    // The key of the pages' own encryption, 0 when the pages are plain.
    quint32 pageKey() const { return m_pageKey; }
    // Days since 1899-12-30, as Jet stores dates.
    double creationDate() const { return m_creationDate; }
    // Empty when the database has no password.
    QString password() const { return m_password; }
    bool hasPassword() const { return !m_password.isEmpty(); }

    // Jet's check of the connection's password: a database without one
    // opens with any; otherwise the two must match exactly, letter case too.
    bool accepts(const QString &password) const;
    // Throws QuorvaneError naming the file when the password is refused.
    void checkPassword(const QString &path, const QString &password) const;

private:
    quint16 m_codePage = 0;
    quint32 m_pageKey = 0;
    double m_creationDate = 0;
    QString m_password;
};
