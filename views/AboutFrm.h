#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TfrmAbout;
}

class TfrmMain;

// The About window: the maker's name, numbers, addresses and logo, shown
// modally over the main window. It has no caption buttons; Escape, Enter and
// its "确定" button close it.
class TfrmAbout final : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmAbout(TfrmMain *mainWindow);
    ~TfrmAbout() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Label7Click();

    std::unique_ptr<Ui::TfrmAbout> ui;
    TfrmMain *m_mainWindow;
};
