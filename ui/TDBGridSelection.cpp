#include "ui/TDBGridSelection.h"

#include <algorithm>
#include <utility>

#include "storage/views/TTable.h"
#include "ui/TDBGrid.h"

// ---- TDBGridSelectionModel ----

TDBGridSelectionModel::TDBGridSelectionModel(QAbstractItemModel* model, TDBGrid* grid)
    : QItemSelectionModel(model, grid), m_grid(grid)
{
}

void TDBGridSelectionModel::setCurrentIndex(const QModelIndex& index, SelectionFlags command)
{
    Q_UNUSED(command);
    // Taken first: moving the view's row lets the grid follow it at once.
    const QModelIndex from = currentIndex();
    if (!m_grid->AllowCurrentChange(index))
        return;
    const QModelIndex previous = currentIndex();
    const bool columnChange =
        index.isValid() && (!previous.isValid() || previous.column() != index.column());
    if (columnChange && previous.isValid())
        Q_EMIT m_grid->ColExit();
    if (index.isValid())
        m_grid->SelectForMove(from, index);
    QItemSelectionModel::setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    m_grid->ApplySelection();
    if (columnChange)
        Q_EMIT m_grid->ColEnter();
}

void TDBGridSelectionModel::Apply(const QItemSelection& selection)
{
    if (selection != this->selection())
        QItemSelectionModel::select(selection, QItemSelectionModel::ClearAndSelect);
}

// ---- TDBGridSelection ----

TDBGridSelection::Select TDBGridSelection::SelectFor(Qt::KeyboardModifiers modifiers, bool mouse)
{
    if (modifiers & Qt::ShiftModifier)
        return mouse && (modifiers & Qt::ControlModifier) ? Select::ExtendAdd : Select::Extend;
    if (modifiers & Qt::ControlModifier)
        return mouse ? Select::Toggle : Select::Keep;
    return Select::Collapse;
}

TDBGridSelection::TDBGridSelection(TDBGrid* grid, TDBGridModel* model)
    : m_grid(grid), m_model(model)
{
}

void TDBGridSelection::SelectForMove(const QModelIndex& previous, const QModelIndex& target,
                                     Select select)
{
    TTable* table = m_grid->Table();
    if (!table || !table->Active() || m_selectionTable != table)
        return;
    const qint64 from = previous.isValid() ? table->RowidAt(previous.row()) : -1;
    const qint64 to = table->RowidAt(target.row());
    switch (select) {
    case Select::Collapse:
        m_selected.clear();
        m_anchor = to;
        break;
    case Select::Keep:
        if (m_selected.isEmpty() && from >= 0)
            m_selected.insert(from);
        break;
    case Select::Toggle:
        if (m_selected.isEmpty() && from >= 0)
            m_selected.insert(from);
        if (to >= 0 && !m_selected.remove(to))
            m_selected.insert(to);
        m_anchor = to;
        break;
    case Select::Extend:
    case Select::ExtendAdd: {
        int anchor = RowOf(m_anchor);
        if (anchor < 0) {
            anchor = previous.isValid() ? previous.row() : target.row();
            m_anchor = table->RowidAt(anchor);
        }
        if (select == Select::Extend)
            m_selected.clear();
        for (const qint64 rowid : RowidsBetween(anchor, target.row()))
            m_selected.insert(rowid);
        break;
    }
    }
    // The current row alone is what no choice at all shows.
    if (m_selected.size() == 1 && m_selected.contains(to))
        m_selected.clear();
}

void TDBGridSelection::ToggleCurrentRow()
{
    TTable* table = m_grid->Table();
    const QModelIndex current = m_grid->currentIndex();
    if (!table || !table->Active() || !current.isValid() || m_selectionTable != table)
        return;
    const qint64 rowid = table->RowidAt(current.row());
    if (rowid < 0)
        return;
    if (!m_selected.remove(rowid))
        m_selected.insert(rowid);
    m_anchor = rowid;
    if (m_selected.size() == 1 && m_selected.contains(rowid))
        m_selected.clear();
    m_grid->ApplySelection();
}

void TDBGridSelection::SelectAll()
{
    TTable* table = m_grid->Table();
    if (!table || !table->Active() || m_selectionTable != table)
        return;
    const QList<qint64> all = RowidsBetween(0, m_model->rowCount() - 1);
    m_selected = QSet<qint64>(all.begin(), all.end());
    if (m_selected.size() == 1)
        m_selected.clear();
    m_grid->ApplySelection();
}

void TDBGridSelection::Forget()
{
    m_selected.clear();
    m_anchor = -1;
    TTable* table = m_grid->Table();
    m_selectionTable = table && table->Active() ? table : nullptr;
}

void TDBGridSelection::Collapse()
{
    m_selected.clear();
    m_grid->ApplySelection();
}

QList<qint64> TDBGridSelection::RowidsBetween(int first, int last) const
{
    QList<qint64> result;
    const TTable* table = m_grid->Table();
    if (!table || !table->Active())
        return result;
    if (first > last)
        std::swap(first, last);
    for (int row = std::max(first, 0); row <= last; ++row) {
        const qint64 rowid = table->RowidAt(row);
        if (rowid >= 0)
            result << rowid;
    }
    return result;
}

int TDBGridSelection::RowOf(qint64 rowid) const
{
    const TTable* table = m_grid->Table();
    if (rowid < 0 || !table || !table->Active())
        return -1;
    for (int row = 0; row < table->RecordCount(); ++row) {
        if (table->RowidAt(row) == rowid)
            return row;
    }
    return -1;
}

bool TDBGridSelection::IsRowSelected(int row) const
{
    const TTable* table = m_grid->Table();
    if (!table || !table->Active())
        return false;
    if (m_selected.isEmpty() || m_selectionTable != table)
        return row == m_grid->currentIndex().row();
    const qint64 rowid = table->RowidAt(row);
    return rowid >= 0 && m_selected.contains(rowid);
}

QList<qint64> TDBGridSelection::SelectedRowids() const
{
    const TTable* table = m_grid->Table();
    if (!table || !table->Active())
        return {};
    if (m_selected.isEmpty() || m_selectionTable != table) {
        const qint64 current = table->CurrentRowid();
        return current >= 0 ? QList<qint64>{current} : QList<qint64>{};
    }
    QList<qint64> result;
    for (const qint64 rowid : RowidsBetween(0, table->RecordCount() - 1)) {
        if (m_selected.contains(rowid))
            result << rowid;
    }
    return result;
}

void TDBGridSelection::Apply()
{
    TTable* table = m_grid->Table();
    if (table != m_selectionTable || !table || !table->Active())
        Forget();
    QItemSelection selection;
    const int rows = m_model->rowCount();
    const int columns = m_model->columnCount();
    if (!m_selected.isEmpty() && columns > 0) {
        QSet<qint64> shown;
        int start = -1;
        for (int row = 0; row <= rows; ++row) {
            const qint64 rowid = row < rows ? table->RowidAt(row) : -1;
            const bool chosen = rowid >= 0 && m_selected.contains(rowid);
            if (chosen) {
                shown.insert(rowid);
                if (start < 0)
                    start = row;
            } else if (start >= 0) {
                selection.select(m_model->index(start, 0), m_model->index(row - 1, columns - 1));
                start = -1;
            }
        }
        m_selected = shown;
    }
    const QModelIndex current = m_grid->currentIndex();
    if (m_selected.isEmpty() && current.isValid())
        selection.select(current, current);
    static_cast<TDBGridSelectionModel*>(m_grid->selectionModel())->Apply(selection);
}
