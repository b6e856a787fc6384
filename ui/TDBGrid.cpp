#include "ui/TDBGrid.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScopedValueRollback>

#include <algorithm>

#include "storage/views/TTable.h"
#include "ui/ErrorBoundary.h"
#include "ui/KeyRules.h"
#include "ui/Messages.h"
#include "ui/TDBGridEditors.h"
#include "ui/TDBGridHeaders.h"
#include "ui/TDataSource.h"

namespace {

const QString DeleteQuestion = QStringLiteral("Удалить запись?");
const QString DeleteCaption = QStringLiteral("Подтверждение");

bool IsMoveKey(int key)
{
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        return false;
    }
}

constexpr Qt::KeyboardModifiers SelectModifiers = Qt::ShiftModifier | Qt::ControlModifier;

} // namespace

// ---- TDBGrid ----

TDBGrid::TDBGrid(QWidget* parent)
    : QTableView(parent),
      m_model(new TDBGridModel(this)),
      m_selection(this, m_model),
      m_editors(std::make_unique<TDBGridEditors>(this))
{
    setHorizontalHeader(new TTitleHeader(this));
    setVerticalHeader(new TIndicatorHeader(this));
    setModel(m_model);
    InstallSelectionModel();
    setItemDelegate(new TDBGridDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setDragEnabled(false);
    setAcceptDrops(false);
    setAutoScroll(true);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setMinimumSectionSize(fontMetrics().height() + 2);

    connect(m_model, &TDBGridModel::Resynced, this, [this] {
        SyncCurrent();
        ApplySelection();
        EmitCellMoved();
    });
    connect(m_model, &QAbstractItemModel::dataChanged, this, &TDBGrid::EmitCellMoved);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, &TDBGrid::EmitCellMoved);
    SetOptions(Options(Editing | Titles | Indicator | ColLines | RowLines | Tabs | ConfirmDelete |
                       CancelOnExit));
}

TDBGrid::~TDBGrid() = default;

void TDBGrid::InstallSelectionModel()
{
    QItemSelectionModel* old = selectionModel();
    setSelectionModel(new TDBGridSelectionModel(m_model, this));
    delete old;
}

void TDBGrid::SetDataSource(TDataSource* source)
{
    if (TDataSource* old = m_model->DataSource())
        disconnect(old, nullptr, this, nullptr);
    m_selection.Forget();
    m_model->SetDataSource(source);
    if (source) {
        connect(source, &TDataSource::DataChanged, this, &TDBGrid::SyncCurrent);
        // Identities are only good for the view they were taken from, while it is open.
        connect(source, &TDataSource::DataSetReplaced, this, [this] { m_selection.Forget(); });
        connect(source, &TDataSource::StateChanged, this, [this] {
            if (!Table() || !Table()->Active())
                m_selection.Forget();
        });
    }
    SyncCurrent();
    ApplySelection();
}

TDataSource* TDBGrid::DataSource() const
{
    return m_model->DataSource();
}

TTable* TDBGrid::Table() const
{
    return m_model->Table();
}

void TDBGrid::SetColumns(QList<TGridColumn> columns)
{
    m_model->SetColumns(std::move(columns));
    for (int i = 0; i < m_model->Columns().size(); ++i)
        horizontalHeader()->resizeSection(i, LeastColumnWidth(i));
    FitColumns();
}

int TDBGrid::LeastColumnWidth(int column) const
{
    // The stated width is the least: a column is as wide as its title needs in the font.
    return std::max(m_model->Columns()[column].Width, horizontalHeader()->sectionSizeHint(column));
}

int TDBGrid::NeededWidth() const
{
    const int indicator = (m_options & Indicator) ? verticalHeader()->sizeHint().width() : 0;
    int columns = 0;
    for (int i = 0; i < ColumnCount(); ++i)
        columns += LeastColumnWidth(i);
    return 2 * frameWidth() + indicator + columns +
           style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

void TDBGrid::SetStretchColumns(QList<int> columns)
{
    m_stretchColumns = std::move(columns);
    FitColumns();
}

void TDBGrid::FitColumns()
{
    // Measured against the least widths, with room for the vertical scroll bar whether it is
    // shown or not, so its coming and going never changes the columns.
    const int extra = std::max(0, width() - NeededWidth());
    int stretchLeast = 0;
    for (const int column : std::as_const(m_stretchColumns))
        stretchLeast += LeastColumnWidth(column);
    int given = 0;
    for (qsizetype i = 0; i < m_stretchColumns.size(); ++i) {
        const int column = m_stretchColumns[i];
        const int least = LeastColumnWidth(column);
        const int share = i + 1 == m_stretchColumns.size()
                              ? extra - given
                              : int(qint64(extra) * least / std::max(1, stretchLeast));
        given += share;
        horizontalHeader()->resizeSection(column, least + share);
    }
}

int TDBGrid::ColumnCount() const
{
    return int(m_model->Columns().size());
}

const TGridColumn& TDBGrid::Column(int column) const
{
    return m_model->Columns()[column];
}

void TDBGrid::SetPickList(int column, const QStringList& items)
{
    if (column >= 0 && column < ColumnCount())
        m_model->Column(column).PickList = items;
}

const QStringList& TDBGrid::PickList(int column) const
{
    static const QStringList none;
    return column >= 0 && column < ColumnCount() ? m_model->Columns()[column].PickList : none;
}

int TDBGrid::FieldSize(int column) const
{
    return m_model->FieldSize(column);
}

void TDBGrid::SetOptions(Options options)
{
    m_options = options;
    ApplyEditTriggers();
    setTabKeyNavigation(options & Tabs);
    setShowGrid(options & (ColLines | RowLines));
    horizontalHeader()->setVisible(options & Titles);
    verticalHeader()->setVisible(options & Indicator);
    if (!(options & Editing) && state() == EditingState)
        CommitEditor();
}

void TDBGrid::ApplyEditTriggers()
{
    setEditTriggers((m_options & Editing) ? EditTriggers(DoubleClicked | SelectedClicked |
                                                         EditKeyPressed | AnyKeyPressed)
                                          : NoEditTriggers);
}

int TDBGrid::CurrentColumn() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.column() : -1;
}

QString TDBGrid::CurrentField() const
{
    const int column = CurrentColumn();
    return column >= 0 ? Column(column).FieldName : QString();
}

QRect TDBGrid::CellRect(int row, int column) const
{
    const QRect cell = visualRect(m_model->index(row, column)) & viewport()->rect();
    return cell.isEmpty() ? QRect() : cell.translated(viewport()->pos());
}

bool TDBGrid::IsEditableColumn(int column) const
{
    return m_model->IsTextColumn(column);
}

void TDBGrid::FilterTypedChar(QChar& key)
{
    if (OnKeyPress)
        OnKeyPress(key);
}

void TDBGrid::EditorTextEdited()
{
    m_editors->EditorTextEdited();
}

void TDBGrid::EditorReverted()
{
    m_editors->EditorReverted();
}

QKeyEvent* TDBGrid::ViewFilteredEvent() const
{
    return m_editors->ViewFilteredEvent();
}

void TDBGrid::CommitEditor()
{
    m_editors->CommitEditor();
}

void TDBGrid::DisableControls()
{
    if (m_disabled++ == 0)
        m_model->Suspend();
}

void TDBGrid::EnableControls()
{
    if (m_disabled == 0 || --m_disabled > 0)
        return;
    m_model->Resume();
    SyncCurrent();
    ApplySelection();
    viewport()->update();
    verticalHeader()->viewport()->update();
}

bool TDBGrid::NeedsStore() const
{
    const TTable* table = Table();
    return table && (table->GetState() == TTable::State::Edit ||
                     table->GetState() == TTable::State::Insert) &&
           table->Modified();
}

bool TDBGrid::AllowCurrentChange(const QModelIndex& target)
{
    if (m_syncing)
        return true;
    if (m_pending.active)
        return false;
    const QModelIndex current = currentIndex();
    if (!target.isValid() || !current.isValid() || target.row() == current.row())
        return true;
    TTable* table = Table();
    if (!table || !table->Active())
        return true;
    CommitEditor();
    if (NeedsStore()) {
        // The store may show a message: run it outside the input handler that asked.
        m_pending = Pending{true, false, QPersistentModelIndex(target), target.row(),
                            target.column(), false, m_select};
        QueueStore();
        return false;
    }
    const int row = target.row();
    return Guarded([&] {
        if (row < table->RecordCount())
            table->SetRecNo(row + 1);
    });
}

void TDBGrid::QueueStore()
{
    QMetaObject::invokeMethod(this, &TDBGrid::RunPendingStore, Qt::QueuedConnection);
}

void TDBGrid::RunPendingStore()
{
    const Pending pending = m_pending;
    m_pending = Pending{};
    if (!pending.active)
        return;
    TTable* table = Table();
    if (!table || !table->Active())
        return;
    const int from = table->CurrentRow();
    if (NeedsStore() && !Guarded([table] { table->Post(); })) {
        // Refused: the row stays current and in edit; what was typed after the move is not
        // meant for it.
        m_editors->DropHeldKeys();
        return;
    }
    if (pending.insert) {
        Guarded([table] { table->Insert(); });
        m_editors->ReplayHeldKeys();
        return;
    }
    // The stored row may have moved in the order; the target row moves with it.
    const int to = table->CurrentRow();
    int row = pending.row;
    if (to > from && row > from && row <= to)
        --row;
    else if (to < from && row >= to && row < from)
        ++row;
    {
        const QScopedValueRollback select(m_select, pending.select);
        MoveTo(row, pending.column);
    }
    if (pending.click && currentIndex().row() == row && currentIndex().column() == pending.column)
        Q_EMIT CellClick(pending.column);
    m_editors->ReplayHeldKeys();
}

void TDBGrid::MoveTo(int row, int column)
{
    TTable* table = Table();
    if (!table || !table->Active() || m_model->rowCount() == 0)
        return;
    row = std::clamp(row, 0, m_model->rowCount() - 1);
    if (!Guarded([&] {
            if (row < table->RecordCount())
                table->SetRecNo(row + 1);
        }))
        return;
    selectionModel()->setCurrentIndex(m_model->index(table->CurrentRow(), column),
                                      QItemSelectionModel::ClearAndSelect);
}

void TDBGrid::SyncCurrent()
{
    if (m_disabled || ColumnCount() == 0)
        return;
    TTable* table = Table();
    if (!table || !table->Active())
        return;
    const int row = table->CurrentRow();
    if (row < 0 || row >= m_model->rowCount())
        return;
    const int column = std::max(CurrentColumn(), 0);
    const QModelIndex index = m_model->index(row, column);
    if (index == currentIndex())
        return;
    ++m_syncing;
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    --m_syncing;
}

void TDBGrid::StartInsert()
{
    TTable* table = Table();
    if (!(m_options & Editing) || !table || !table->Active() || m_pending.active)
        return;
    CommitEditor();
    if (table->GetState() == TTable::State::Insert)
        return;
    if (NeedsStore()) {
        m_pending = Pending{true, true, {}, -1, CurrentColumn(), false, Select::Collapse};
        QueueStore();
        return;
    }
    Guarded([table] { table->Insert(); });
}

void TDBGrid::DeleteCurrent()
{
    TTable* table = Table();
    if (!table || !table->Active() || m_pending.active)
        return;
    if (QLineEdit* editor = m_editors->OpenEditor())
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    if ((m_options & ConfirmDelete) && !Messages::AskYesNo(DeleteQuestion, DeleteCaption))
        return;
    Guarded([table] { table->Delete(); });
}

void TDBGrid::CancelRow()
{
    TTable* table = Table();
    if (!table || m_pending.active)
        return;
    Guarded([table] {
        if (table->GetState() == TTable::State::Edit || table->GetState() == TTable::State::Insert)
            table->Cancel();
    });
}

bool TDBGrid::LeavesGrid(bool forward, Qt::KeyboardModifiers modifiers) const
{
    // Ctrl+Tab always goes on to the window's next control; Tab only from the last cell of
    // the last row (Shift+Tab from the first cell of the first row), where it would wrap.
    if (modifiers & Qt::ControlModifier)
        return true;
    if (!(m_options & Tabs))
        return false;
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return true;
    const int rows = m_model->rowCount();
    const int columns = m_model->columnCount();
    return forward ? current.row() == rows - 1 && current.column() == columns - 1
                   : current.row() == 0 && current.column() == 0;
}

bool TDBGrid::FocusInside() const
{
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        if (w == this)
            return true;
    }
    return false;
}

void TDBGrid::keyPressEvent(QKeyEvent* event)
{
    if (m_pending.active) {
        // The move waits for its store: the keys after it act once it has run.
        m_editors->HoldKey(event);
        return;
    }
    if (m_editors->PassOn(event))
        return;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Escape && modifiers == Qt::NoModifier) {
        CancelRow();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Insert && modifiers == Qt::NoModifier) {
        StartInsert();
        event->accept();
        return;
    }
    if (TDBGridEditors::IsCtrlDelete(event)) {
        DeleteCurrent();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Down && modifiers == Qt::NoModifier) {
        const QModelIndex current = currentIndex();
        if (current.isValid() && current.row() == m_model->rowCount() - 1) {
            StartInsert();
            event->accept();
            return;
        }
    }
    if (event->key() == Qt::Key_Space && modifiers == Qt::ControlModifier) {
        m_selection.ToggleCurrentRow();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
        const bool forward = event->key() == Qt::Key_Tab && !(modifiers & Qt::ShiftModifier);
        if (LeavesGrid(forward, modifiers)) {
            QWidget::focusNextPrevChild(forward);
            event->accept();
            return;
        }
    }
    if (KeyRules::IsTypedText(event)) {
        m_editors->TypeKey(event);
        return;
    }
    const QScopedValueRollback select(
        m_select, IsMoveKey(event->key()) ? TDBGridSelection::SelectFor(modifiers, false)
                                          : Select::Collapse);
    QTableView::keyPressEvent(event);
}

void TDBGrid::inputMethodEvent(QInputMethodEvent* event)
{
    if (m_editors->TypeCommit(event))
        return;
    QTableView::inputMethodEvent(event);
}

bool TDBGrid::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape || TDBGridEditors::IsCtrlDelete(key)) {
            key->accept();
            return true;
        }
    }
    return QTableView::event(event);
}

void TDBGrid::mousePressEvent(QMouseEvent* event)
{
    m_pressed = indexAt(event->position().toPoint());
    m_pressModifiers = event->modifiers() & SelectModifiers;
    if (event->button() == Qt::RightButton && m_pressed.isValid() &&
        m_selection.IsRowSelected(m_pressed.row())) {
        // The context menu is for the selection as it stands.
        event->accept();
        return;
    }
    const QScopedValueRollback select(
        m_select, event->button() == Qt::LeftButton
                      ? TDBGridSelection::SelectFor(m_pressModifiers, true)
                      : Select::Collapse);
    QTableView::mousePressEvent(event);
}

void TDBGrid::mouseMoveEvent(QMouseEvent* event)
{
    // A drag selects the rows it passes over.
    Select select = Select::Collapse;
    if (event->buttons() & Qt::LeftButton)
        select = (m_pressModifiers & Qt::ControlModifier) ? Select::ExtendAdd : Select::Extend;
    const QScopedValueRollback scope(m_select, select);
    QTableView::mouseMoveEvent(event);
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    m_pressed = indexAt(event->position().toPoint());
    m_pressModifiers = event->modifiers() & SelectModifiers;
    QTableView::mouseDoubleClickEvent(event);
}

void TDBGrid::mouseReleaseEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    // A click with Shift or Ctrl only selects.
    const bool click = event->button() == Qt::LeftButton && index.isValid() &&
                       index == QModelIndex(m_pressed) && !m_pressModifiers;
    QTableView::mouseReleaseEvent(event);
    if (!click)
        return;
    // A press on another row may still be waiting for the pending row to be stored.
    if (m_pending.active) {
        if (!m_pending.insert && m_pending.row == index.row() && m_pending.column == index.column())
            m_pending.click = true;
        return;
    }
    if (currentIndex() == index)
        Q_EMIT CellClick(index.column());
}

void TDBGrid::focusInEvent(QFocusEvent* event)
{
    QTableView::focusInEvent(event);
    EmitCellMoved();
}

void TDBGrid::focusOutEvent(QFocusEvent* event)
{
    QTableView::focusOutEvent(event);
    EmitCellMoved();
    if (!(m_options & CancelOnExit))
        return;
    // The focus may only have moved into the cell editor: look once it has settled.
    QMetaObject::invokeMethod(
        this,
        [this] {
            TTable* table = Table();
            if (FocusInside() || !table || table->GetState() != TTable::State::Insert ||
                table->Modified() || m_pending.active)
                return;
            if (QLineEdit* editor = m_editors->OpenEditor(); editor && editor->isModified())
                return;
            Guarded([table] { table->Cancel(); });
        },
        Qt::QueuedConnection);
}

void TDBGrid::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    FitColumns();
    EmitCellMoved();
}

void TDBGrid::moveEvent(QMoveEvent* event)
{
    QTableView::moveEvent(event);
    EmitCellMoved();
}

void TDBGrid::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    EmitCellMoved();
}

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (previous.isValid() && current.row() != previous.row()) {
        // The indicator moves with the current row.
        verticalHeader()->viewport()->update();
    }
    EmitCellMoved();
}

bool TDBGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    if (!index.isValid() || m_pending.active || !(m_options & Editing) ||
        !IsEditableColumn(index.column()))
        return false;
    if ((trigger == SelectedClicked || trigger == DoubleClicked) && m_pressModifiers)
        return false;
    const QModelIndex current = currentIndex();
    if (!current.isValid() || index.row() != current.row())
        return false;
    TTable* table = Table();
    if (!table || !table->Active())
        return false;
    return QTableView::edit(index, trigger, event);
}

void TDBGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    switch (hint) {
    case QAbstractItemDelegate::EditNextItem:
    case QAbstractItemDelegate::EditPreviousItem: {
        // Move like Tab without an editor; a refused row change must not reopen an editor.
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
        const bool forward = hint == QAbstractItemDelegate::EditNextItem;
        if (LeavesGrid(forward, QGuiApplication::keyboardModifiers())) {
            QWidget::focusNextPrevChild(forward);
            return;
        }
        if (m_options & Tabs) {
            const QModelIndex next = moveCursor(
                hint == QAbstractItemDelegate::EditNextItem ? MoveNext : MovePrevious,
                Qt::NoModifier);
            if (next.isValid())
                selectionModel()->setCurrentIndex(next, QItemSelectionModel::ClearAndSelect);
        }
        return;
    }
    case QAbstractItemDelegate::RevertModelCache:
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
        EditorReverted();
        return;
    default:
        QTableView::closeEditor(editor, hint);
    }
}

void TDBGrid::setSelection(const QRect&, QItemSelectionModel::SelectionFlags)
{
    // The selection follows the moves of the current cell only.
}

void TDBGrid::contextMenuEvent(QContextMenuEvent* event)
{
    TTable* table = Table();
    if (m_pending.active || !table || !table->Active() || SelectedRowids().isEmpty())
        return;
    QPoint at = event->globalPos();
    if (event->reason() != QContextMenuEvent::Mouse) {
        const QModelIndex current = currentIndex();
        const QRect cell = current.isValid() ? CellRect(current.row(), current.column()) : QRect();
        at = mapToGlobal(cell.isEmpty() ? rect().center() : cell.center());
    }
    event->accept();
    Q_EMIT ContextMenu(at);
}

// ---- Row selection ----

void TDBGrid::PressRow(int row, Qt::KeyboardModifiers modifiers)
{
    const int column = std::max(CurrentColumn(), 0);
    setFocus(Qt::MouseFocusReason);
    const QScopedValueRollback select(m_select, TDBGridSelection::SelectFor(modifiers, true));
    selectionModel()->setCurrentIndex(m_model->index(row, column),
                                      QItemSelectionModel::ClearAndSelect);
}

void TDBGrid::SelectForMove(const QModelIndex& previous, const QModelIndex& target)
{
    if (m_syncing)
        return; // the view moved by itself: the chosen rows stay chosen
    m_selection.SelectForMove(previous, target, m_select);
}

void TDBGrid::selectAll()
{
    m_selection.SelectAll();
}

void TDBGrid::CollapseSelection()
{
    m_selection.Collapse();
}

QList<qint64> TDBGrid::SelectedRowids() const
{
    return m_selection.SelectedRowids();
}

void TDBGrid::ApplySelection()
{
    if (m_disabled)
        return;
    m_selection.Apply();
}

void TDBGrid::keyboardSearch(const QString&)
{
    // Typing never jumps to another row.
}

void TDBGrid::EmitCellMoved()
{
    if (m_cellMovedQueued)
        return;
    m_cellMovedQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_cellMovedQueued = false;
            Q_EMIT CurrentCellMoved();
        },
        Qt::QueuedConnection);
}
