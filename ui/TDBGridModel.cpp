#include "ui/TDBGridModel.h"

#include "storage/views/TTable.h"
#include "ui/ErrorBoundary.h"
#include "ui/TDataSource.h"

TDBGridModel::TDBGridModel(QObject* parent) : QAbstractTableModel(parent)
{
}

TDBGridModel::~TDBGridModel() = default;

void TDBGridModel::SetDataSource(TDataSource* source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (m_source)
        connect(m_source, &TDataSource::DataSetReplaced, this, &TDBGridModel::Rebind);
    Rebind();
}

TTable* TDBGridModel::Table() const
{
    return m_table;
}

void TDBGridModel::SetColumns(QList<TGridColumn> columns)
{
    beginResetModel();
    m_columns = std::move(columns);
    ResolveFields();
    endResetModel();
    Q_EMIT Resynced();
}

void TDBGridModel::Rebind()
{
    for (const QMetaObject::Connection& connection : m_connections)
        disconnect(connection);
    m_connections.clear();
    beginResetModel();
    m_table = m_source ? m_source->DataSet() : nullptr;
    ResolveFields();
    m_rows = m_table && m_table->Active() ? m_table->DisplayRowCount() : 0;
    m_indicatorRow = m_table ? m_table->CurrentRow() : -1;
    endResetModel();
    if (m_table) {
        m_connections << connect(m_table, &TTable::RowChanged, this, &TDBGridModel::OnRowChanged)
                      << connect(m_table, &TTable::RowsChanged, this, &TDBGridModel::Resync)
                      << connect(m_table, &TTable::StateChanged, this,
                                 &TDBGridModel::OnStateChanged)
                      << connect(m_table, &TTable::CurrentChanged, this,
                                 &TDBGridModel::OnStateChanged);
    }
    Q_EMIT Resynced();
}

void TDBGridModel::ResolveFields()
{
    m_fields.clear();
    for (const TGridColumn& column : m_columns)
        m_fields << (m_table && m_table->Active() ? m_table->FindField(column.FieldName) : -1);
}

int TDBGridModel::FieldIndex(int column) const
{
    return column >= 0 && column < m_fields.size() ? m_fields[column] : -1;
}

bool TDBGridModel::IsTextColumn(int column) const
{
    const int field = FieldIndex(column);
    return field >= 0 && m_table->FieldDef(field).DataType == TFieldType::String;
}

int TDBGridModel::FieldSize(int column) const
{
    const int field = FieldIndex(column);
    return field >= 0 ? m_table->FieldDef(field).Size : 0;
}

void TDBGridModel::Suspend()
{
    ++m_suspended;
}

void TDBGridModel::Resume()
{
    if (m_suspended > 0 && --m_suspended == 0)
        Resync();
}

// The view reports only that its rows changed, after the fact: the model keeps the row
// count the attached views know, so it can announce the difference at the end and then
// mark every row changed.
void TDBGridModel::Resync()
{
    if (m_suspended)
        return;
    const QList<int> before = m_fields;
    ResolveFields();
    if (before != m_fields) {
        beginResetModel();
        m_rows = m_table && m_table->Active() ? m_table->DisplayRowCount() : 0;
        endResetModel();
    } else {
        const int rows = m_table && m_table->Active() ? m_table->DisplayRowCount() : 0;
        if (rows > m_rows) {
            beginInsertRows(QModelIndex(), m_rows, rows - 1);
            m_rows = rows;
            endInsertRows();
        } else if (rows < m_rows) {
            beginRemoveRows(QModelIndex(), rows, m_rows - 1);
            m_rows = rows;
            endRemoveRows();
        }
        if (m_rows > 0 && !m_columns.isEmpty()) {
            Q_EMIT dataChanged(index(0, 0), index(m_rows - 1, int(m_columns.size()) - 1));
            Q_EMIT headerDataChanged(Qt::Vertical, 0, m_rows - 1);
        }
    }
    m_indicatorRow = m_table ? m_table->CurrentRow() : -1;
    Q_EMIT Resynced();
}

void TDBGridModel::OnRowChanged(int row)
{
    if (m_suspended || row < 0 || row >= m_rows || m_columns.isEmpty())
        return;
    Q_EMIT dataChanged(index(row, 0), index(row, int(m_columns.size()) - 1));
}

void TDBGridModel::OnStateChanged()
{
    if (m_suspended || !m_table)
        return;
    // The row indicator shows the state on the current row: repaint the old and new one.
    const int row = m_table->CurrentRow();
    for (const int r : {m_indicatorRow, row}) {
        if (r >= 0 && r < m_rows)
            Q_EMIT headerDataChanged(Qt::Vertical, r, r);
    }
    m_indicatorRow = row;
}

int TDBGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TDBGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant TDBGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.column() >= m_columns.size())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        const int field = FieldIndex(index.column());
        // While suspended the view may have fewer rows than the attached views know.
        if (field < 0 || !m_table->Active() || index.row() >= m_table->DisplayRowCount())
            return QString();
        return m_table->CellText(index.row(), field);
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(m_columns[index.column()].Alignment | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical || section < 0 || section >= m_columns.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_columns[section].Title;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(m_columns[section].TitleAlignment | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags TDBGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (IsTextColumn(index.column()))
        result |= Qt::ItemIsEditable;
    return result;
}

// Writes an editor's text into the current row, putting it into edit when it changes.
bool TDBGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !IsTextColumn(index.column()))
        return false;
    if (!m_table->Active() || index.row() != m_table->CurrentRow())
        return false;
    const int field = FieldIndex(index.column());
    const QString text = value.toString();
    return Guarded([&] {
        if (m_table->GetState() == TTable::State::Browse) {
            if (m_table->CellText(index.row(), field) == text)
                return;
            m_table->Edit();
        }
        m_table->Fields(field).SetAsString(text);
    });
}
