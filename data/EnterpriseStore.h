#pragma once

#include "data/Sqlite.h"

#include <QString>

// What a database file is, told by its first bytes alone.
enum class DatabaseFileKind {
    Missing,
    Empty,
    Sqlite,
    Jet4,
    Jet3,
    NotADatabase,
};

DatabaseFileKind detectDatabaseFile(const QString &path);

// Why a file of this kind cannot be read (missing, empty, Jet 3, not a
// database), naming it; empty for the kinds that can be opened.
QString databaseFileProblem(const QString &path, DatabaseFileKind kind);

// Opens the enterprise database at path for reading, whatever its kind,
// as an SQLite handle on which the table 外商 can be queried. Checks the
// password where the file carries one. Throws QuorvaneError with a message
// naming the file and the cause. The file is never modified.
SqliteDatabase openEnterpriseStore(const QString &path, const QString &password);

// Reads a Jet 4.0 file into an SQLite database held in memory.
SqliteDatabase openJetStore(const QString &path, const QString &password);
