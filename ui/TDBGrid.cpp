#include "ui/TDBGrid.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCompleter>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStringListModel>
#include <QStyledItemDelegate>

#include <algorithm>

#include "storage/views/TTable.h"
#include "ui/ErrorBoundary.h"
#include "ui/Messages.h"
#include "ui/TDataSource.h"

namespace {

const QString DeleteQuestion = QStringLiteral("Удалить запись?");
const QString DeleteCaption = QStringLiteral("Подтверждение");

bool IsTypedText(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers commands =
        Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    const QString text = event->text();
    return !text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & commands);
}

bool IsCtrlDelete(const QKeyEvent* event)
{
    return event->key() == Qt::Key_Delete &&
           (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier;
}

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

// Every move of the current cell passes here: the grid may refuse a change of row. The
// selection is the grid's own: the view's handlers cannot select anything themselves.
class TDBGridSelectionModel final : public QItemSelectionModel
{
public:
    TDBGridSelectionModel(QAbstractItemModel* model, TDBGrid* grid)
        : QItemSelectionModel(model, grid), m_grid(grid)
    {
    }

    void setCurrentIndex(const QModelIndex& index, SelectionFlags command) override
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

    void select(const QModelIndex&, SelectionFlags) override {}
    void select(const QItemSelection&, SelectionFlags) override {}

    void Apply(const QItemSelection& selection)
    {
        if (selection != this->selection())
            QItemSelectionModel::select(selection, QItemSelectionModel::ClearAndSelect);
    }

private:
    TDBGrid* m_grid;
};

// Applies the grid's typed-character hook inside a cell editor.
class TEditorFilter final : public QObject
{
public:
    TEditorFilter(TDBGrid* grid, QLineEdit* editor) : QObject(editor), m_grid(grid), m_editor(editor)
    {
        editor->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_editor || m_sending)
            return false;
        switch (event->type()) {
        case QEvent::ShortcutOverride: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (IsCtrlDelete(key)) {
                key->accept();
                return true;
            }
            return false;
        }
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key == m_grid->ViewFilteredEvent())
                return false; // filtered by the grid already
            if (IsCtrlDelete(key)) {
                QApplication::sendEvent(m_grid, key);
                return true;
            }
            if (key->matches(QKeySequence::Paste)) {
                m_editor->insert(Filter(QApplication::clipboard()->text()));
                m_editor->setModified(true);
                m_grid->EditorTextEdited();
                return true;
            }
            if (!IsTypedText(key))
                return false;
            const QString original = key->text();
            const QString filtered = Filter(original);
            if (filtered == original)
                return false;
            if (filtered.isEmpty() || !m_grid->isAncestorOf(QApplication::focusWidget()))
                return true;
            QKeyEvent replacement(QEvent::KeyPress, key->key(), key->modifiers(), filtered,
                                  key->isAutoRepeat(), ushort(key->count()));
            m_sending = true;
            QApplication::sendEvent(m_editor, &replacement);
            m_sending = false;
            return true;
        }
        case QEvent::InputMethod: {
            auto* input = static_cast<QInputMethodEvent*>(event);
            if (!input->commitString().isEmpty()) {
                const QString filtered = Filter(input->commitString());
                if (filtered != input->commitString())
                    input->setCommitString(filtered, input->replacementStart(),
                                           input->replacementLength());
            }
            return false;
        }
        case QEvent::MouseButtonRelease:
            // Middle-click paste of the selection would bypass the hook.
            return static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton;
        default:
            return false;
        }
    }

private:
    QString Filter(const QString& text) const
    {
        QString result;
        for (QChar c : text) {
            m_grid->FilterTypedChar(c);
            if (!c.isNull())
                result += c;
        }
        return result;
    }

    TDBGrid* m_grid;
    QLineEdit* m_editor;
    bool m_sending = false;
};

// Cell editors limited to the field size, and the draw-cell hook after default painting.
class TDBGridDelegate final : public QStyledItemDelegate
{
public:
    explicit TDBGridDelegate(TDBGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override
    {
        if (!m_grid->IsEditableColumn(index.column()))
            return nullptr;
        auto* editor = new QLineEdit(parent);
        editor->setFrame(false);
        editor->setContextMenuPolicy(Qt::NoContextMenu);
        editor->setAcceptDrops(false);
        editor->setAlignment(m_grid->Column(index.column()).Alignment | Qt::AlignVCenter);
        const int size = m_grid->FieldSize(index.column());
        if (size > 0)
            editor->setMaxLength(size);
        new TEditorFilter(m_grid, editor);
        QObject::connect(editor, &QLineEdit::textEdited, m_grid, &TDBGrid::EditorTextEdited);
        const QStringList& items = m_grid->PickList(index.column());
        if (!items.isEmpty()) {
            auto* completer = new QCompleter(items, editor);
            completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
            completer->setWidget(editor);
            QAction* drop = editor->addAction(
                editor->style()->standardIcon(QStyle::SP_ArrowDown), QLineEdit::TrailingPosition);
            QObject::connect(drop, &QAction::triggered, completer, [completer] {
                completer->setCompletionPrefix(QString());
                completer->complete();
            });
            QObject::connect(completer, qOverload<const QString&>(&QCompleter::activated), editor,
                             [this, editor](const QString& text) {
                                 editor->setText(text);
                                 editor->setModified(true);
                                 m_grid->EditorTextEdited();
                             });
        }
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (!line || line->isModified())
            return; // keep what the user typed
        line->setText(index.data(Qt::EditRole).toString());
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override
    {
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (!line || !line->isModified())
            return;
        if (model->setData(index, line->text(), Qt::EditRole))
            line->setModified(false);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (m_grid->OnDrawColumnCell) {
            painter->save();
            m_grid->OnDrawColumnCell(*painter, option, index);
            painter->restore();
        }
    }

private:
    TDBGrid* m_grid;
};

// The row indicator: a triangle on the current row in browse, an I-beam in edit, a star
// on an inserted row. A press selects the row's cell in the current column.
class TIndicatorHeader final : public QHeaderView
{
public:
    explicit TIndicatorHeader(TDBGrid* grid) : QHeaderView(Qt::Vertical, grid), m_grid(grid)
    {
        setSectionsClickable(false);
        setSectionResizeMode(QHeaderView::Fixed);
        setHighlightSections(false);
    }

    QSize sizeHint() const override { return QSize(14, QHeaderView::sizeHint().height()); }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override
    {
        // The common style leaves a clip behind after CE_Header.
        painter->save();
        QHeaderView::paintSection(painter, rect, logicalIndex);
        painter->restore();

        TTable* table = m_grid->Table();
        if (!table || !table->Active() || logicalIndex != table->CurrentRow())
            return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QColor color = palette().color(QPalette::ButtonText);
        const QPointF c = QRectF(rect).center();
        switch (table->GetState()) {
        case TTable::State::Browse: {
            painter->setPen(Qt::NoPen);
            painter->setBrush(color);
            const QPointF triangle[3] = {c + QPointF(-2.5, -4.5), c + QPointF(2.5, 0),
                                         c + QPointF(-2.5, 4.5)};
            painter->drawPolygon(triangle, 3);
            break;
        }
        case TTable::State::Edit:
            painter->setPen(QPen(color, 1.2));
            painter->drawLine(c + QPointF(0, -5), c + QPointF(0, 5));
            painter->drawLine(c + QPointF(-2.5, -5), c + QPointF(2.5, -5));
            painter->drawLine(c + QPointF(-2.5, 5), c + QPointF(2.5, 5));
            break;
        case TTable::State::Insert:
            painter->setPen(color);
            painter->drawText(rect, Qt::AlignCenter, QStringLiteral("*"));
            break;
        case TTable::State::Inactive:
            break;
        }
        painter->restore();
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        // Not the stock handler: its selectRow would bypass the grid's row change.
        if (event->button() != Qt::LeftButton)
            return;
        const int row = logicalIndexAt(event->position().toPoint());
        if (row >= 0 && m_grid->model())
            m_grid->PressRow(row, event->modifiers());
    }
    void mouseMoveEvent(QMouseEvent*) override {}
    void mouseReleaseEvent(QMouseEvent*) override {}
    void mouseDoubleClickEvent(QMouseEvent*) override {}

private:
    TDBGrid* m_grid;
};

// Column titles: fixed widths; pressing or hovering a title only highlights it.
class TTitleHeader final : public QHeaderView
{
public:
    explicit TTitleHeader(TDBGrid* grid) : QHeaderView(Qt::Horizontal, grid), m_grid(grid)
    {
        setSectionsClickable(false);
        setSectionsMovable(false);
        setSectionResizeMode(QHeaderView::Fixed);
        setHighlightSections(false);
        setStretchLastSection(false);
        setMinimumSectionSize(4); // the style's minimum would widen narrow columns
        setMouseTracking(true);
    }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override
    {
        if (!rect.isValid())
            return;
        QStyleOptionHeader option;
        initStyleOptionForIndex(&option, logicalIndex);
        option.rect = rect;
        const TDBGrid::Options options = m_grid->GetOptions();
        if ((options & TDBGrid::TitleHotTrack) && logicalIndex == m_hover)
            option.state |= QStyle::State_MouseOver;
        if ((options & TDBGrid::TitleClick) && logicalIndex == m_pressed)
            option.state |= QStyle::State_Sunken;
        painter->save();
        style()->drawControl(QStyle::CE_Header, &option, painter, this);
        painter->restore();
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        SetHover(logicalIndexAt(event->position().toPoint()));
    }
    void leaveEvent(QEvent*) override { SetHover(-1); }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton)
            SetPressed(logicalIndexAt(event->position().toPoint()));
    }
    void mouseReleaseEvent(QMouseEvent*) override { SetPressed(-1); }
    void mouseDoubleClickEvent(QMouseEvent*) override {}

private:
    void SetHover(int section)
    {
        if (section == m_hover)
            return;
        std::swap(section, m_hover);
        Repaint(section);
        Repaint(m_hover);
    }
    void SetPressed(int section)
    {
        if (section == m_pressed)
            return;
        std::swap(section, m_pressed);
        Repaint(section);
        Repaint(m_pressed);
    }
    void Repaint(int section)
    {
        if (section >= 0)
            updateSection(section);
    }

    TDBGrid* m_grid;
    int m_hover = -1;
    int m_pressed = -1;
};

// ---- TDBGrid ----

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent), m_model(new TDBGridModel(this))
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
    ForgetSelection();
    m_model->SetDataSource(source);
    if (source) {
        connect(source, &TDataSource::DataChanged, this, &TDBGrid::SyncCurrent);
        // Identities are only good for the view they were taken from, while it is open.
        connect(source, &TDataSource::DataSetReplaced, this, &TDBGrid::ForgetSelection);
        connect(source, &TDataSource::StateChanged, this, [this] {
            if (!Table() || !Table()->Active())
                ForgetSelection();
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
    Guarded([this] {
        TTable* table = Table();
        if (table && table->GetState() == TTable::State::Browse)
            table->Edit();
    });
}

void TDBGrid::EditorReverted()
{
    // Escape in the editor: its text is dropped; a row that nothing else changed goes
    // back to browse.
    Guarded([this] {
        TTable* table = Table();
        if (table && table->GetState() == TTable::State::Edit && !table->Modified())
            table->Cancel();
    });
}

QLineEdit* TDBGrid::OpenEditor() const
{
    if (state() != EditingState)
        return nullptr;
    return qobject_cast<QLineEdit*>(indexWidget(currentIndex()));
}

void TDBGrid::CommitEditor()
{
    if (QLineEdit* editor = OpenEditor()) {
        commitData(editor);
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
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
        m_heldKeys.clear();
        return;
    }
    if (pending.insert) {
        Guarded([table] { table->Insert(); });
        ReplayHeldKeys();
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
    ReplayHeldKeys();
}

void TDBGrid::ReplayHeldKeys()
{
    // In order, each to where the focus is by then; a key that starts the next store keeps
    // the rest for after that one.
    while (!m_heldKeys.empty() && !m_pending.active) {
        const std::unique_ptr<QKeyEvent> key = std::move(m_heldKeys.front());
        m_heldKeys.pop_front();
        QWidget* focus = QApplication::focusWidget();
        if (!focus || focus->window() != window()) {
            m_heldKeys.clear();
            return;
        }
        QApplication::sendEvent(focus, key.get());
    }
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
    if (QLineEdit* editor = OpenEditor())
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
        m_heldKeys.emplace_back(event->clone());
        event->accept();
        return;
    }
    if (QWidget* focus = QApplication::focusWidget();
        focus && !FocusInside() && focus->window() == window()) {
        // Sent here before the focus moved on (into the organisation picker, say).
        QApplication::sendEvent(focus, event);
        return;
    }
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
    if (IsCtrlDelete(event)) {
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
        ToggleCurrentRow();
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
    if (IsTypedText(event)) {
        // The first character opens the editor and is forwarded to it as this same event.
        const QString original = event->text();
        QChar key = original.at(0);
        FilterTypedChar(key);
        if (key.isNull() || !FocusInside()) {
            event->accept();
            return;
        }
        if (key != original.at(0)) {
            QKeyEvent replacement(QEvent::KeyPress, event->key(), event->modifiers(), QString(key),
                                  event->isAutoRepeat(), ushort(event->count()));
            m_viewFilteredEvent = &replacement;
            QTableView::keyPressEvent(&replacement);
            m_viewFilteredEvent = nullptr;
            event->setAccepted(replacement.isAccepted());
            return;
        }
        m_viewFilteredEvent = event;
        QTableView::keyPressEvent(event);
        m_viewFilteredEvent = nullptr;
        return;
    }
    const QScopedValueRollback select(
        m_select, IsMoveKey(event->key()) ? SelectFor(modifiers, false) : Select::Collapse);
    QTableView::keyPressEvent(event);
}

void TDBGrid::inputMethodEvent(QInputMethodEvent* event)
{
    // Qt opens the editor on a commit here but drops the committed text: forward it.
    if (state() != EditingState && !event->commitString().isEmpty() &&
        event->preeditString().isEmpty()) {
        QString text;
        for (QChar c : event->commitString()) {
            FilterTypedChar(c);
            if (!c.isNull())
                text += c;
        }
        const QModelIndex current = currentIndex();
        if (!text.isEmpty() && FocusInside() && current.isValid() &&
            edit(current, AnyKeyPressed, nullptr)) {
            if (QLineEdit* editor = OpenEditor()) {
                editor->insert(text);
                editor->setModified(true);
                EditorTextEdited();
            }
        }
        event->accept();
        return;
    }
    QTableView::inputMethodEvent(event);
}

bool TDBGrid::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape || IsCtrlDelete(key)) {
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
        IsRowSelected(m_pressed.row())) {
        // The context menu is for the selection as it stands.
        event->accept();
        return;
    }
    const QScopedValueRollback select(m_select, event->button() == Qt::LeftButton
                                                    ? SelectFor(m_pressModifiers, true)
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
            if (QLineEdit* editor = OpenEditor(); editor && editor->isModified())
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

TDBGrid::Select TDBGrid::SelectFor(Qt::KeyboardModifiers modifiers, bool mouse)
{
    if (modifiers & Qt::ShiftModifier)
        return mouse && (modifiers & Qt::ControlModifier) ? Select::ExtendAdd : Select::Extend;
    if (modifiers & Qt::ControlModifier)
        return mouse ? Select::Toggle : Select::Keep;
    return Select::Collapse;
}

void TDBGrid::PressRow(int row, Qt::KeyboardModifiers modifiers)
{
    const int column = std::max(CurrentColumn(), 0);
    setFocus(Qt::MouseFocusReason);
    const QScopedValueRollback select(m_select, SelectFor(modifiers, true));
    selectionModel()->setCurrentIndex(m_model->index(row, column),
                                      QItemSelectionModel::ClearAndSelect);
}

void TDBGrid::SelectForMove(const QModelIndex& previous, const QModelIndex& target)
{
    TTable* table = Table();
    if (m_syncing || !table || !table->Active() || m_selectionTable != table)
        return; // the view moved by itself: the chosen rows stay chosen
    const qint64 from = previous.isValid() ? table->RowidAt(previous.row()) : -1;
    const qint64 to = table->RowidAt(target.row());
    switch (m_select) {
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
        if (m_select == Select::Extend)
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

void TDBGrid::ToggleCurrentRow()
{
    TTable* table = Table();
    const QModelIndex current = currentIndex();
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
    ApplySelection();
}

void TDBGrid::selectAll()
{
    TTable* table = Table();
    if (!table || !table->Active() || m_selectionTable != table)
        return;
    const QList<qint64> all = RowidsBetween(0, m_model->rowCount() - 1);
    m_selected = QSet<qint64>(all.begin(), all.end());
    if (m_selected.size() == 1)
        m_selected.clear();
    ApplySelection();
}

void TDBGrid::ForgetSelection()
{
    m_selected.clear();
    m_anchor = -1;
    m_selectionTable = Table() && Table()->Active() ? Table() : nullptr;
}

void TDBGrid::CollapseSelection()
{
    m_selected.clear();
    ApplySelection();
}

QList<qint64> TDBGrid::RowidsBetween(int first, int last) const
{
    QList<qint64> result;
    const TTable* table = Table();
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

int TDBGrid::RowOf(qint64 rowid) const
{
    const TTable* table = Table();
    if (rowid < 0 || !table || !table->Active())
        return -1;
    for (int row = 0; row < table->RecordCount(); ++row) {
        if (table->RowidAt(row) == rowid)
            return row;
    }
    return -1;
}

bool TDBGrid::IsRowSelected(int row) const
{
    const TTable* table = Table();
    if (!table || !table->Active())
        return false;
    if (m_selected.isEmpty() || m_selectionTable != table)
        return row == currentIndex().row();
    const qint64 rowid = table->RowidAt(row);
    return rowid >= 0 && m_selected.contains(rowid);
}

QList<qint64> TDBGrid::SelectedRowids() const
{
    const TTable* table = Table();
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

// Shows the chosen rows where they are now; rows that are gone are no longer chosen.
void TDBGrid::ApplySelection()
{
    if (m_disabled)
        return;
    TTable* table = Table();
    if (table != m_selectionTable || !table || !table->Active())
        ForgetSelection();
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
    const QModelIndex current = currentIndex();
    if (m_selected.isEmpty() && current.isValid())
        selection.select(current, current);
    static_cast<TDBGridSelectionModel*>(selectionModel())->Apply(selection);
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
