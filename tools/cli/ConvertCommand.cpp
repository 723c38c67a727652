#include "tools/cli/Commands.h"

#include <QTextStream>

int runConvertCommand(const QStringList &)
{
    QTextStream(stderr) << "quorvane-cli convert: not available yet\n";
    return ExitFailure;
}
