#pragma once

#include <QObject>

class Query;

// Links a row set to the views that show it. While their updating is
// suspended the views hear nothing; on resuming they are told to read
// everything again, once.
class DataSource final : public QObject
{
    Q_OBJECT

public:
    explicit DataSource(Query *dataSet, QObject *parent = nullptr);

    Query *dataSet() const { return m_dataSet; }

    // Nested calls are counted: updating resumes with the last resume.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disabled > 0; }

Q_SIGNALS:
    // The row set was opened, closed or replaced: read all again.
    void dataSetChanged();
    // The current row moved.
    void recordChanged();

private:
    Query *m_dataSet;
    int m_disabled = 0;
};

// Keeps views suspended for the lifetime of the guard, whatever happens.
class DisabledControls final
{
public:
    explicit DisabledControls(DataSource *source) : m_source(source) { source->disableControls(); }
    ~DisabledControls() { m_source->enableControls(); }
    DisabledControls(const DisabledControls &) = delete;
    DisabledControls &operator=(const DisabledControls &) = delete;

private:
    DataSource *m_source;
};
