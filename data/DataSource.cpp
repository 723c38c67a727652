#include "data/DataSource.h"

#include "data/Query.h"

DataSource::DataSource(Query *dataSet, QObject *parent) : QObject(parent), m_dataSet(dataSet)
{
    connect(dataSet, &Query::stateChanged, this, [this] {
        if (!controlsDisabled())
            Q_EMIT dataSetChanged();
    });
    connect(dataSet, &Query::afterScroll, this, [this] {
        if (!controlsDisabled())
            Q_EMIT recordChanged();
    });
}

void DataSource::disableControls()
{
    ++m_disabled;
}

void DataSource::enableControls()
{
    if (m_disabled == 0 || --m_disabled > 0)
        return;
    Q_EMIT dataSetChanged();
    Q_EMIT recordChanged();
}
