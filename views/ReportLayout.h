#pragma once

#include <QString>

// Inserts a lone carriage return after every width characters of text.
QString BreakIntoLines(const QString &text, int width);
