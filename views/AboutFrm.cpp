#include "views/AboutFrm.h"

#include "app/Mainfrm.h"

TfrmAbout::TfrmAbout(TfrmMain *mainWindow) : QDialog(mainWindow) {}
