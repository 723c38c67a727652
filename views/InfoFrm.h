#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TfrmInfo;
}

class DataSource;

// The detail window: the current row of the result, field by field.
class TfrmInfo final : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmInfo(DataSource *source, QWidget *parent = nullptr);
    ~TfrmInfo() override;

private:
    std::unique_ptr<Ui::TfrmInfo> ui;
};
