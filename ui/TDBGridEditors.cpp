#include "ui/TDBGridEditors.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCompleter>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

#include "storage/views/TTable.h"
#include "ui/ErrorBoundary.h"
#include "ui/KeyRules.h"
#include "ui/TDBGrid.h"

namespace {

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
            if (TDBGridEditors::IsCtrlDelete(key)) {
                key->accept();
                return true;
            }
            return false;
        }
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key == m_grid->ViewFilteredEvent())
                return false; // filtered by the grid already
            if (TDBGridEditors::IsCtrlDelete(key)) {
                QApplication::sendEvent(m_grid, key);
                return true;
            }
            if (key->matches(QKeySequence::Paste)) {
                m_editor->insert(Filter(QApplication::clipboard()->text()));
                m_editor->setModified(true);
                m_grid->EditorTextEdited();
                return true;
            }
            if (!KeyRules::IsTypedText(key))
                return false;
            const QString original = key->text();
            const QString filtered = Filter(original);
            if (filtered == original)
                return false;
            if (filtered.isEmpty() || !m_grid->isAncestorOf(QApplication::focusWidget()))
                return true;
            KeyRules::SendRetyped(m_editor, key, filtered, m_sending);
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

} // namespace

// ---- TDBGridDelegate ----

TDBGridDelegate::TDBGridDelegate(TDBGrid* grid) : QStyledItemDelegate(grid), m_grid(grid)
{
}

QWidget* TDBGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                       const QModelIndex& index) const
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

void TDBGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (!line || line->isModified())
        return; // keep what the user typed
    line->setText(index.data(Qt::EditRole).toString());
}

void TDBGridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                   const QModelIndex& index) const
{
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (!line || !line->isModified())
        return;
    if (model->setData(index, line->text(), Qt::EditRole))
        line->setModified(false);
}

void TDBGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    if (m_grid->OnDrawColumnCell) {
        painter->save();
        m_grid->OnDrawColumnCell(*painter, option, index);
        painter->restore();
    }
}

// ---- TDBGridEditors ----

TDBGridEditors::TDBGridEditors(TDBGrid* grid) : m_grid(grid)
{
}

TDBGridEditors::~TDBGridEditors() = default;

bool TDBGridEditors::IsCtrlDelete(const QKeyEvent* event)
{
    return event->key() == Qt::Key_Delete &&
           (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier;
}

QLineEdit* TDBGridEditors::OpenEditor() const
{
    if (!m_grid->EditorOpen())
        return nullptr;
    return qobject_cast<QLineEdit*>(m_grid->indexWidget(m_grid->currentIndex()));
}

void TDBGridEditors::CommitEditor()
{
    if (QLineEdit* editor = OpenEditor()) {
        m_grid->commitData(editor);
        m_grid->QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void TDBGridEditors::EditorTextEdited()
{
    Guarded([this] {
        TTable* table = m_grid->Table();
        if (table && table->GetState() == TTable::State::Browse)
            table->Edit();
    });
}

void TDBGridEditors::EditorReverted()
{
    // Escape in the editor: its text is dropped; a row that nothing else changed goes
    // back to browse.
    Guarded([this] {
        TTable* table = m_grid->Table();
        if (table && table->GetState() == TTable::State::Edit && !table->Modified())
            table->Cancel();
    });
}

void TDBGridEditors::TypeKey(QKeyEvent* event)
{
    // The first character opens the editor and is forwarded to it as this same event.
    const QString original = event->text();
    QChar key = original.at(0);
    m_grid->FilterTypedChar(key);
    if (key.isNull() || !m_grid->FocusInside()) {
        event->accept();
        return;
    }
    if (key != original.at(0)) {
        QKeyEvent replacement(QEvent::KeyPress, event->key(), event->modifiers(), QString(key),
                              event->isAutoRepeat(), ushort(event->count()));
        m_viewFilteredEvent = &replacement;
        m_grid->QTableView::keyPressEvent(&replacement);
        m_viewFilteredEvent = nullptr;
        event->setAccepted(replacement.isAccepted());
        return;
    }
    m_viewFilteredEvent = event;
    m_grid->QTableView::keyPressEvent(event);
    m_viewFilteredEvent = nullptr;
}

bool TDBGridEditors::TypeCommit(QInputMethodEvent* event)
{
    // Qt opens the editor on a commit here but drops the committed text: forward it.
    if (!m_grid->EditorOpen() && !event->commitString().isEmpty() &&
        event->preeditString().isEmpty()) {
        QString text;
        for (QChar c : event->commitString()) {
            m_grid->FilterTypedChar(c);
            if (!c.isNull())
                text += c;
        }
        const QModelIndex current = m_grid->currentIndex();
        if (!text.isEmpty() && m_grid->FocusInside() && current.isValid() &&
            m_grid->edit(current, QAbstractItemView::AnyKeyPressed, nullptr)) {
            if (QLineEdit* editor = OpenEditor()) {
                editor->insert(text);
                editor->setModified(true);
                EditorTextEdited();
            }
        }
        event->accept();
        return true;
    }
    return false;
}

bool TDBGridEditors::PassOn(QKeyEvent* event)
{
    if (QWidget* focus = QApplication::focusWidget();
        focus && !m_grid->FocusInside() && focus->window() == m_grid->window()) {
        // Sent here before the focus moved on (into the organisation picker, say).
        QApplication::sendEvent(focus, event);
        return true;
    }
    return false;
}

void TDBGridEditors::HoldKey(QKeyEvent* event)
{
    m_heldKeys.emplace_back(event->clone());
    event->accept();
}

void TDBGridEditors::ReplayHeldKeys()
{
    // In order, each to where the focus is by then; a key that starts the next store keeps
    // the rest for after that one.
    while (!m_heldKeys.empty() && !m_grid->MovePending()) {
        const std::unique_ptr<QKeyEvent> key = std::move(m_heldKeys.front());
        m_heldKeys.pop_front();
        QWidget* focus = QApplication::focusWidget();
        if (!focus || focus->window() != m_grid->window()) {
            m_heldKeys.clear();
            return;
        }
        QApplication::sendEvent(focus, key.get());
    }
}

void TDBGridEditors::DropHeldKeys()
{
    m_heldKeys.clear();
}
