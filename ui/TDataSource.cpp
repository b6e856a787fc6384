#include "ui/TDataSource.h"

#include "storage/views/TTable.h"

TDataSource::TDataSource(QObject* parent) : QObject(parent)
{
}

void TDataSource::SetDataSet(TTable* table)
{
    if (table == m_table)
        return;
    for (const QMetaObject::Connection& connection : m_connections)
        disconnect(connection);
    m_connections.clear();
    m_table = table;
    if (m_table) {
        m_connections << connect(m_table, &TTable::StateChanged, this, &TDataSource::StateChanged)
                      << connect(m_table, &TTable::CurrentChanged, this, &TDataSource::DataChanged)
                      << connect(m_table, &TTable::RowChanged, this, &TDataSource::DataChanged)
                      << connect(m_table, &TTable::RowsChanged, this, &TDataSource::DataChanged)
                      << connect(m_table, &QObject::destroyed, this, [this] {
                             m_table = nullptr;
                             m_connections.clear();
                             Q_EMIT DataSetReplaced();
                         });
    }
    Q_EMIT DataSetReplaced();
}
