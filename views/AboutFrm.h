#pragma once

#include <QDialog>

class TfrmMain;

// The About window, shown modally over the main window.
class TfrmAbout final : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmAbout(TfrmMain *mainWindow);
};
