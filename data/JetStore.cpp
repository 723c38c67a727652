#include "data/EnterpriseStore.h"

#include "data/QuorvaneError.h"

#include <QDir>

SqliteDatabase openJetStore(const QString &path, const QString &)
{
    throw QuorvaneError(QStringLiteral("数据库文件“%1”是 Jet 4.0 (Access) 格式，暂不支持直接打开")
                            .arg(QDir::toNativeSeparators(path)));
}
