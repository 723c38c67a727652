// Quorvane: looks up foreign-invested enterprises in the database that ships with it.

#include "app/Mainfrm.h"
#include "views/InfoFrm.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantorel"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vantorel"));

    TfrmMain frmMain;
    TfrmInfo frmInfo(frmMain.dataSource(), &frmMain);
    frmMain.setInfoWindow(&frmInfo);
    frmMain.show();
    return QApplication::exec();
}
