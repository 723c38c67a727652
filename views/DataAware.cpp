#include "views/DataAware.h"

#include "data/DataSource.h"
#include "data/Query.h"

#include <QLineEdit>
#include <QPlainTextEdit>

DbGridModel::DbGridModel(DataSource *source, const QStringList &fields, QObject *parent)
    : QAbstractTableModel(parent), m_source(source), m_fields(fields)
{
    connect(source, &DataSource::dataSetChanged, this, &DbGridModel::dataSetChanged);
    connect(source, &DataSource::recordChanged, this, &DbGridModel::recordChanged);
    dataSetChanged();
}

int DbGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int DbGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_fields.size());
}

QVariant DbGridModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    const QString text =
        m_source->dataSet()->text(index.row(), m_columns.value(index.column(), -1));
    // Long scopes are cut by the column; the tooltip shows them whole.
    if (role == Qt::ToolTipRole && text.size() < 20)
        return {};
    return text;
}

QVariant DbGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return m_fields.value(section);
    return section == m_indicatorRow ? QStringLiteral("▶") : QString();
}

void DbGridModel::dataSetChanged()
{
    beginResetModel();
    const Query *query = m_source->dataSet();
    m_rows = query->isOpen() ? query->recordCount() : 0;
    m_columns.clear();
    for (const QString &field : std::as_const(m_fields))
        m_columns << query->fieldIndex(field);
    m_indicatorRow = query->currentRow();
    endResetModel();
}

void DbGridModel::recordChanged()
{
    const int previous = m_indicatorRow;
    m_indicatorRow = m_source->dataSet()->currentRow();
    if (previous >= 0 && previous < m_rows)
        Q_EMIT headerDataChanged(Qt::Vertical, previous, previous);
    if (m_indicatorRow >= 0 && m_indicatorRow < m_rows)
        Q_EMIT headerDataChanged(Qt::Vertical, m_indicatorRow, m_indicatorRow);
}

DbFieldLinks::DbFieldLinks(DataSource *source, QWidget *form) : QObject(form), m_source(source)
{
    for (QWidget *child : form->findChildren<QWidget *>()) {
        if (child->property("dataField").isValid())
            m_fields << child;
    }
    connect(source, &DataSource::dataSetChanged, this, &DbFieldLinks::refresh);
    connect(source, &DataSource::recordChanged, this, &DbFieldLinks::refresh);
    refresh();
}

void DbFieldLinks::refresh()
{
    const Query *query = m_source->dataSet();
    for (QWidget *field : std::as_const(m_fields)) {
        const QString text =
            query->isOpen() ? query->fieldText(field->property("dataField").toString()) : QString();
        if (auto *edit = qobject_cast<QLineEdit *>(field)) {
            edit->setText(text);
            edit->setCursorPosition(0);
        } else if (auto *memo = qobject_cast<QPlainTextEdit *>(field)) {
            memo->setPlainText(text);
        }
    }
}
