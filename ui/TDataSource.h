#pragma once

#include <QMetaObject>
#include <QObject>

class TTable;

// Links data-aware controls to a view; can be pointed at another view.
class TDataSource final : public QObject
{
    Q_OBJECT

public:
    explicit TDataSource(QObject* parent = nullptr);

    void SetDataSet(TTable* table);
    TTable* DataSet() const { return m_table; }

Q_SIGNALS:
    void DataSetReplaced();
    void StateChanged();
    void DataChanged(); // the current row moved, or values changed

private:
    TTable* m_table = nullptr;
    QList<QMetaObject::Connection> m_connections;
};
