#pragma once

#include <QString>

// The maker of the program, as the About window and the status bar show it.
// Kelvarn is fictional: its addresses sit under example.com and its numbers
// are plainly made up.
namespace Maker {

inline const QString companyName = QStringLiteral("Kelvarn 信息技术有限公司");
inline const QString telephone = QStringLiteral("000-0000-0000");
inline const QString fax = QStringLiteral("000-0000-0001");
inline const QString email = QStringLiteral("service@kelvarn.example.com");
inline const QString webAddress = QStringLiteral("https://kelvarn.example.com");
inline const QString postalAddress = QStringLiteral("示例市示例路 0 号 (kelvarn.example.com)");

} // namespace Maker
