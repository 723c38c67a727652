#pragma once

#include <QWidget>

class Query;

// The enterprise list report. The form itself is never shown, only its preview.
class TfrmQRep final : public QWidget
{
    Q_OBJECT

public:
    explicit TfrmQRep(Query *dataSet, QWidget *parent = nullptr);

    // Walks the row set into a modal print preview; returns when it closes.
    void preview();

private:
    Query *m_dataSet;
};
