// Quorvane: looks up foreign-invested enterprises in the database that ships with it.

#include "app/Mainfrm.h"
#include "app/Skin.h"
#include "views/InfoFrm.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantorel"));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.example.kelvarn.quorvane"));
    applySkin(application);

    TfrmMain frmMain;
    TfrmInfo frmInfo(frmMain.dataSource(), &frmMain);
    frmMain.setInfoWindow(&frmInfo);
    frmMain.showMaximized();
    return QApplication::exec();
}
