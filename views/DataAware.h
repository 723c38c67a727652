#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QObject>
#include <QStringList>

class DataSource;
class QWidget;

// The grid's view of a row set through its data source: the named columns
// of every row, read only when shown. The current row carries the row
// indicator in the vertical header.
class DbGridModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    DbGridModel(DataSource *source, const QStringList &fields, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void dataSetChanged();
    void recordChanged();

    DataSource *m_source;
    QStringList m_fields;
    QList<int> m_columns; // field index in the row set, -1 when absent
    int m_rows = 0;
    int m_indicatorRow = -1;
};

// Binds every child of a window that carries a "dataField" property to that
// column of the data source's current row: read-only line edits and text
// boxes showing its text, empty while the row set is closed.
class DbFieldLinks final : public QObject
{
    Q_OBJECT

public:
    DbFieldLinks(DataSource *source, QWidget *form);

private:
    void refresh();

    DataSource *m_source;
    QList<QWidget *> m_fields;
};
