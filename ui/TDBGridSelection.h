#pragma once

#include <QItemSelectionModel>
#include <QList>
#include <QSet>

class TDBGrid;
class TDBGridModel;
class TTable;

// Every move of the current cell passes here: the grid may refuse a change of row. The
// selection is the grid's own: the view's handlers cannot select anything themselves.
class TDBGridSelectionModel final : public QItemSelectionModel
{
public:
    TDBGridSelectionModel(QAbstractItemModel* model, TDBGrid* grid);

    void setCurrentIndex(const QModelIndex& index, SelectionFlags command) override;
    void select(const QModelIndex&, SelectionFlags) override {}
    void select(const QItemSelection&, SelectionFlags) override {}

    void Apply(const QItemSelection& selection);

private:
    TDBGrid* m_grid;
};

// The whole rows of a grid chosen with Shift and Ctrl, held as row identities, so the
// choice follows its records when rows move and drops those that are gone. With none
// chosen the current row alone is the selection.
class TDBGridSelection
{
public:
    // What a move of the current cell does to the selected rows.
    enum class Select
    {
        Collapse,  // the current row alone
        Extend,    // the rows from the anchor to the new current one
        ExtendAdd, // those rows added
        Toggle,    // the new current row in or out
        Keep,      // unchanged: the current row moves on its own
    };
    static Select SelectFor(Qt::KeyboardModifiers modifiers, bool mouse);

    TDBGridSelection(TDBGrid* grid, TDBGridModel* model);

    // The current cell moves from previous to target; select is what the move asks for.
    void SelectForMove(const QModelIndex& previous, const QModelIndex& target, Select select);
    void ToggleCurrentRow();
    void SelectAll();
    void Collapse();
    // Nothing chosen; the choices to come belong to the grid's view as it is now.
    void Forget();
    bool IsRowSelected(int row) const;
    QList<qint64> SelectedRowids() const;
    // Shows the chosen rows where they are now; rows that are gone are no longer chosen.
    void Apply();

private:
    QList<qint64> RowidsBetween(int first, int last) const;
    int RowOf(qint64 rowid) const;

    TDBGrid* m_grid;
    TDBGridModel* m_model;
    // Rows chosen besides the current one, by identity; empty: the current row alone.
    QSet<qint64> m_selected;
    qint64 m_anchor = -1; // where Shift ranges start
    const TTable* m_selectionTable = nullptr;
};
