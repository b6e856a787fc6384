#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QMetaObject>
#include <QStringList>

class TDataSource;
class TTable;

// One column of a data grid: the field it shows and how.
struct TGridColumn
{
    QString FieldName;
    QString Title;
    int Width = 64;
    Qt::Alignment Alignment = Qt::AlignLeft;
    Qt::Alignment TitleAlignment = Qt::AlignLeft;
    QStringList PickList; // offered by the cell editor as a drop-down; empty for none
};

// A table model over the view of a data source. It answers from the view's memory and
// follows the view's signals; row numbers are the view's display rows (an inserted row
// is the last one).
class TDBGridModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TDBGridModel(QObject* parent = nullptr);
    ~TDBGridModel() override;

    void SetDataSource(TDataSource* source);
    TDataSource* DataSource() const { return m_source; }
    TTable* Table() const;

    void SetColumns(QList<TGridColumn> columns);
    const QList<TGridColumn>& Columns() const { return m_columns; }
    TGridColumn& Column(int column) { return m_columns[column]; }
    // The view's field index of a column; -1 when the view is closed or lacks the field.
    int FieldIndex(int column) const;
    bool IsTextColumn(int column) const;
    int FieldSize(int column) const;

    // While suspended the model ignores the view; Resume brings it up to date at once.
    void Suspend();
    void Resume();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    // Reverting an editor keeps the row's pending values: only the grid cancels a row.
    void revert() override {}

Q_SIGNALS:
    void Resynced(); // rows were added, removed or re-read

private:
    void Rebind();
    void ResolveFields();
    void Resync();
    void OnRowChanged(int row);
    void OnStateChanged();

    TDataSource* m_source = nullptr;
    TTable* m_table = nullptr;
    QList<TGridColumn> m_columns;
    QList<int> m_fields;
    QList<QMetaObject::Connection> m_connections;
    int m_rows = 0;
    int m_suspended = 0;
    int m_indicatorRow = -1;
};
