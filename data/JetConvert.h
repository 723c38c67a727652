#pragma once

#include "data/JetLoader.h"

#include <QString>
#include <QStringList>

struct JetConversion
{
    qint64 rows = 0;
    QStringList columns;
};

// Writes the program's own store from an original Jet 4.0 database: an
// SQLite file holding the table 外商 with the source's columns, in its
// order, as text, NULLs kept. The password is checked as Jet checks it.
//
// The store appears at target whole or not at all: it is built in a
// temporary file beside target and renamed over it at the end, and nothing
// is left behind when anything fails. The source is only read.
// Throws QuorvaneError naming the file at fault.
JetConversion convertJetDatabase(const QString &source, const QString &target,
                                 const QString &password,
                                 const JetLoader::ProgressHandler &progress = {});
