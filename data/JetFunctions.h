#pragma once

#include <QByteArray>

struct sqlite3;

// The parts of Jet SQL that the search statements rely on, added to an
// SQLite connection: InStr, LCase, and a LIKE that ignores letter case in
// every alphabet as Jet's does (SQLite's own folds only A to Z).
void registerJetFunctions(sqlite3 *db);

namespace JetText {

// Full Unicode lower-casing of UTF-8 text.
QByteArray lowerCase(const QByteArray &utf8);
// Case folding for comparisons that ignore letter case.
QByteArray caseFolded(const QByteArray &utf8);
// Jet's LIKE: % any run of characters, _ one character, letter case ignored.
bool like(const QByteArray &pattern, const QByteArray &text);

} // namespace JetText
