#include "data/JetHeader.h"

#include "data/QuorvaneError.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <array>
#include <cmath>
#include <limits>

namespace {

// Jet hides bytes 0x18 to 0x97 of page 0 under the RC4 stream of this fixed key.
constexpr std::array<uchar, 4> headerKey = {0xC7, 0xDA, 0x39, 0x6B};
constexpr int maskedStart = 0x18;
constexpr int maskedLength = 0x80;

constexpr int codePageOffset = 0x3C;
constexpr int pageKeyOffset = 0x3E;
constexpr int passwordOffset = 0x42;
constexpr int passwordBytes = 40;
constexpr int creationDateOffset = 0x72;

void rc4(const uchar *key, int keyLength, uchar *data, int length)
{
    std::array<uchar, 256> s;
    for (int i = 0; i < 256; ++i)
        s[i] = uchar(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % keyLength]) & 0xff;
        std::swap(s[i], s[j]);
    }
    for (int n = 0, i = 0, j = 0; n < length; ++n) {
        i = (i + 1) & 0xff;
        j = (j + s[i]) & 0xff;
        std::swap(s[i], s[j]);
        data[n] ^= s[(s[i] + s[j]) & 0xff];
    }
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString damaged(const QString &path, const QString &cause)
{
    return QStringLiteral("数据库文件“%1”已损坏：%2").arg(shown(path), cause);
}

} // namespace

std::optional<JetHeader> JetHeader::parse(const QByteArray &page0)
{
    if (page0.size() < maskedStart + maskedLength)
        return std::nullopt;
    QByteArray plain = page0.left(maskedStart + maskedLength);
    auto *bytes = reinterpret_cast<uchar *>(plain.data());
    rc4(headerKey.data(), int(headerKey.size()), bytes + maskedStart, maskedLength);

    JetHeader header;
    header.m_codePage = qFromLittleEndian<quint16>(bytes + codePageOffset);
    header.m_pageKey = qFromLittleEndian<quint32>(bytes + pageKeyOffset);
    header.m_creationDate = qFromLittleEndian<double>(bytes + creationDateOffset);

    // Jet 4 also hides the password under the whole-day number of the
    // creation date. A date that has none cannot come from Jet.
    const double days = std::floor(header.m_creationDate);
    if (!std::isfinite(days) || days < std::numeric_limits<qint32>::min() ||
        days > std::numeric_limits<qint32>::max())
        return std::nullopt;
    uchar mask[4];
    qToLittleEndian<qint32>(qint32(days), mask);

    char16_t password[passwordBytes / 2];
    int length = 0;
    for (; length < passwordBytes / 2; ++length) {
        const uchar low = bytes[passwordOffset + 2 * length] ^ mask[(2 * length) % 4];
        const uchar high = bytes[passwordOffset + 2 * length + 1] ^ mask[(2 * length + 1) % 4];
        const char16_t unit = char16_t(low | high << 8);
        if (unit == 0)
            break;
        password[length] = unit;
    }
    header.m_password = QString::fromUtf16(password, length);
    return header;
}

JetHeader JetHeader::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw QuorvaneError(
            QStringLiteral("无法读取数据库文件“%1”：%2").arg(shown(path), file.errorString()));
    const qint64 size = file.size();
    const QByteArray page0 = file.read(pageSize);
    if (size < pageSize || page0.size() < pageSize)
        throw QuorvaneError(damaged(path, QStringLiteral("文件头不完整")));
    // Jet only ever grows a file by whole pages; a part page means it was cut short.
    if (size % pageSize != 0)
        throw QuorvaneError(damaged(path, QStringLiteral("文件被截断")));
    const std::optional<JetHeader> header = parse(page0);
    if (!header)
        throw QuorvaneError(damaged(path, QStringLiteral("文件头无效")));
    return *header;
}

bool JetHeader::accepts(const QString &password) const
{
    return m_password.isEmpty() || m_password == password;
}

void JetHeader::checkPassword(const QString &path, const QString &password) const
{
    if (!accepts(password))
        throw QuorvaneError(QStringLiteral("无法打开数据库文件“%1”：密码不正确").arg(shown(path)));
}
