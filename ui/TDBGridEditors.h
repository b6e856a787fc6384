#pragma once

#include <QStyledItemDelegate>

#include <deque>
#include <memory>

class QInputMethodEvent;
class QKeyEvent;
class QLineEdit;
class TDBGrid;

// Cell editors limited to the field size, and the draw-cell hook after default painting.
class TDBGridDelegate final : public QStyledItemDelegate
{
public:
    explicit TDBGridDelegate(TDBGrid* grid);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    TDBGrid* m_grid;
};

// The grid's side of its cell editor: commits and reverts it, and brings typed keys to it.
// Each typed character goes through the grid's hook; keys typed while a store is pending
// are held and replayed after it; keys that reach the grid after the focus left it (for a
// picker, say) are passed on.
class TDBGridEditors
{
public:
    explicit TDBGridEditors(TDBGrid* grid);
    ~TDBGridEditors();

    // Ctrl+Delete deletes the current row, from an open editor too.
    static bool IsCtrlDelete(const QKeyEvent* event);

    QLineEdit* OpenEditor() const;
    void CommitEditor();
    void EditorTextEdited();
    void EditorReverted();

    // The first typed character, before an editor is open: filtered, then let open one.
    void TypeKey(QKeyEvent* event);
    // An input method's commit with no editor open: filtered and typed into a new editor.
    // False when it is not such a commit.
    bool TypeCommit(QInputMethodEvent* event);
    // A key that reached the grid while the focus is on another control of its window: sent
    // on there. False when the focus is in the grid.
    bool PassOn(QKeyEvent* event);
    void HoldKey(QKeyEvent* event);
    void ReplayHeldKeys();
    void DropHeldKeys();
    QKeyEvent* ViewFilteredEvent() const { return m_viewFilteredEvent; }

private:
    TDBGrid* m_grid;
    QKeyEvent* m_viewFilteredEvent = nullptr;
    // Keys typed while a store is pending, replayed once it has run.
    std::deque<std::unique_ptr<QKeyEvent>> m_heldKeys;
};
