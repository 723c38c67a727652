#pragma once

#include <QString>

// The maker of the program, in one place: the About window shows all of it,
// the status bar and the menu's "公司网站" the web address.
// Kelvarn is fictional: its addresses sit under example.com and its numbers
// are plainly made up.
namespace Maker {

inline const QString companyName = QStringLiteral("凯瓦恩（Kelvarn）信息技术有限公司");
inline const QString telephone = QStringLiteral("400-000-0000");
inline const QString fax = QStringLiteral("010-0000-0001");
inline const QString email = QStringLiteral("service@kelvarn.example.com");
inline const QString webAddress = QStringLiteral("https://kelvarn.example.com");
inline const QString postalAddress = QStringLiteral("示例市高新区示例路 88 号（邮编 000000）");

} // namespace Maker
