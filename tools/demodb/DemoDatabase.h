#pragma once

#include <QString>

#include <cstdint>

// Writes a database of rows fictitious enterprises to path, replacing any
// file there only once the new one is complete. Creates the directory when
// missing. Throws QuorvaneError, and then leaves nothing behind.
void writeDemoDatabase(const QString &path, std::int64_t rows, std::uint64_t seed);

// Asks a running writeDemoDatabase to stop (it then throws); safe to call
// from a signal handler.
void cancelDemoDatabase();
