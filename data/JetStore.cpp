#include "data/EnterpriseStore.h"

#include "data/JetHeader.h"
#include "data/JetLoader.h"

SqliteDatabase openJetStore(const QString &path, const QString &password)
{
    // libmdb ignores the password, so it is checked here, before any reading.
    JetHeader::read(path).checkPassword(path, password);

    JetLoader loader(path);
    loader.setProgressHandler(JetLoader::defaultProgressHandler());
    SqliteDatabase db = SqliteDatabase::openInMemory();
    loader.loadInto(db);
    // The copy stands for a file the program only reads.
    db.exec("PRAGMA query_only = 1");
    return db;
}
