#pragma once

#include <QStringList>

class SqliteDatabase;

// Creates the enterprise table, all columns text, in a store a test builds;
// extra columns follow the ten the program names.
void createEnterpriseTable(SqliteDatabase &db, const QStringList &extraColumns = {});
