#pragma once

#include <QPersistentModelIndex>
#include <QTableView>

#include <functional>
#include <memory>

#include "ui/TDBGridModel.h"
#include "ui/TDBGridSelection.h"

class QKeyEvent;
class TDataSource;
class TDBGridEditors;
class TTable;

// A data-set grid over a view: one row per record, the current cell follows the view's
// current row. Leaving an edited row stores it first; a refused store keeps the grid on
// that row with the user's values. Insert (or Down on the last row) starts a new row,
// Escape cancels the pending row, Ctrl+Delete deletes the current row after a question.
// Whole rows are chosen with Shift and Ctrl (mouse or keys) and held as row identities, so
// a selection follows its records when rows move and drops those that are gone.
class TDBGrid final : public QTableView
{
    Q_OBJECT

public:
    enum Option {
        Editing = 1 << 0,       // in-place editing
        Titles = 1 << 1,        // column titles
        Indicator = 1 << 2,     // row indicator column
        ColLines = 1 << 3,
        RowLines = 1 << 4,
        Tabs = 1 << 5,          // Tab and Shift+Tab move between cells
        ConfirmDelete = 1 << 6, // Ctrl+Delete asks first
        CancelOnExit = 1 << 7,  // an empty inserted row is dropped when the grid is left
        TitleClick = 1 << 8,    // titles highlight when pressed
        TitleHotTrack = 1 << 9, // titles highlight under the mouse
    };
    Q_DECLARE_FLAGS(Options, Option)

    // Called for every character typed into the grid or its cell editor; may replace the
    // character or set it to QChar() to discard it.
    using KeyPressHook = std::function<void(QChar& key)>;
    // Called after a data cell has been painted.
    using DrawCellHook = std::function<void(QPainter& painter, const QStyleOptionViewItem& option,
                                            const QModelIndex& index)>;

    explicit TDBGrid(QWidget* parent = nullptr);
    ~TDBGrid() override;

    void SetDataSource(TDataSource* source);
    TDataSource* DataSource() const;
    TTable* Table() const;

    void SetColumns(QList<TGridColumn> columns);
    // The width that shows every column and the row indicator without a horizontal
    // scroll bar, room for the vertical one included.
    int NeededWidth() const;
    // Columns that share the room of a grid wider than NeededWidth, in proportion to their
    // least widths; the others keep theirs.
    void SetStretchColumns(QList<int> columns);
    int ColumnCount() const;
    const TGridColumn& Column(int column) const;
    void SetPickList(int column, const QStringList& items);
    const QStringList& PickList(int column) const;
    int FieldSize(int column) const;

    Options GetOptions() const { return m_options; }
    void SetOptions(Options options);

    int CurrentColumn() const;     // -1 without a current cell
    QString CurrentField() const;  // field of the current column; empty without one
    // The cell rectangle in the grid's own coordinates; empty when it is not visible.
    QRect CellRect(int row, int column) const;

    // Writes an open cell editor into the current row and closes it.
    void CommitEditor();
    bool EditorOpen() const { return state() == EditingState; }
    // True while a store started by leaving a row is waiting to run.
    bool MovePending() const { return m_pending.active; }

    // The selected rows' identities in the view's order: the current row alone unless rows
    // were chosen with Shift or Ctrl. Empty without a stored current row.
    QList<qint64> SelectedRowids() const;
    int SelectedCount() const { return int(SelectedRowids().size()); }
    // Back to the current row alone.
    void CollapseSelection();
    void selectAll() override;

    // Stops following the view during a long pass; EnableControls catches up at once.
    void DisableControls();
    void EnableControls();

    KeyPressHook OnKeyPress;
    DrawCellHook OnDrawColumnCell;

    // Internal: called by the grid's selection model and delegate.
    bool AllowCurrentChange(const QModelIndex& target);
    void SelectForMove(const QModelIndex& previous, const QModelIndex& target);
    void ApplySelection();
    void PressRow(int row, Qt::KeyboardModifiers modifiers); // the row indicator's press
    bool IsEditableColumn(int column) const;
    void FilterTypedChar(QChar& key);
    void EditorTextEdited();
    void EditorReverted();
    QKeyEvent* ViewFilteredEvent() const;

Q_SIGNALS:
    void ColEnter();  // a column became current
    void ColExit();   // the current column is about to be left
    void CellClick(int column); // a click on a data cell, after it made the cell current
    // The current cell may have moved on screen (row, column, scrolling, size, focus).
    void CurrentCellMoved();
    // A context menu is asked for over the selected rows, to be shown at that global point.
    void ContextMenu(const QPoint& globalPos);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags flags) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyboardSearch(const QString& search) override;

private:
    friend class TDBGridEditors; // commits, closes and opens editors through the view

    using Select = TDBGridSelection::Select;

    struct Pending
    {
        bool active = false;
        bool insert = false;          // start a new row once stored
        QPersistentModelIndex target; // else move here
        int row = -1;
        int column = -1;
        bool click = false;           // the click that asked for the move ended on the target
        Select select = Select::Collapse;
    };

    void InstallSelectionModel();
    void SyncCurrent();
    void ApplyEditTriggers();
    bool NeedsStore() const;
    void QueueStore();
    void RunPendingStore();
    void StartInsert();
    void DeleteCurrent();
    void CancelRow();
    void MoveTo(int row, int column);
    bool LeavesGrid(bool forward, Qt::KeyboardModifiers modifiers) const;
    bool FocusInside() const;
    void EmitCellMoved();
    int LeastColumnWidth(int column) const;
    void FitColumns();

    TDBGridModel* m_model;
    Options m_options;
    Pending m_pending;
    int m_syncing = 0;
    int m_disabled = 0;
    bool m_cellMovedQueued = false;
    QPersistentModelIndex m_pressed;
    Qt::KeyboardModifiers m_pressModifiers;
    TDBGridSelection m_selection;
    Select m_select = Select::Collapse; // set by the input handler making the move
    QList<int> m_stretchColumns;
    const std::unique_ptr<TDBGridEditors> m_editors;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TDBGrid::Options)
