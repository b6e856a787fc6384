#include "ui/KeyRules.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>

#include "ui/ErrorBoundary.h"
#include "ui/Messages.h"

namespace KeyRules {

QChar Apply(Rule rule, QChar c)
{
    switch (rule) {
    case Rule::Any:
        return c;
    case Rule::Upper:
        return c.toUpper();
    case Rule::Account:
        return (c.isDigit() && c.unicode() < 128) || c == QLatin1Char('-') ? c : QChar();
    case Rule::Amount:
        if (c == QLatin1Char(','))
            return QLatin1Char('.');
        return (c.isDigit() && c.unicode() < 128) || c == QLatin1Char('.') ? c : QChar();
    }
    return c;
}

QString ApplyText(Rule rule, const QString& text)
{
    if (rule == Rule::Upper)
        return text.toUpper();
    QString result;
    result.reserve(text.size());
    for (QChar c : text) {
        const QChar kept = Apply(rule, c);
        if (!kept.isNull())
            result += kept;
    }
    return result;
}

QString TooLongPasteText(const QString& caption, int size)
{
    // "не больше" takes the genitive: 1, 21, 101 знака; 2, 5, 11, 22 знаков.
    const bool singular = size % 10 == 1 && size % 100 != 11;
    const QString limit =
        QStringLiteral("не больше %1 %2").arg(size).arg(singular ? u"знака" : u"знаков");
    if (caption.isEmpty())
        return QStringLiteral("Текст не вставлен: поле вмещает %1.").arg(limit);
    return QStringLiteral("Текст не вставлен: поле «%1» вмещает %2.").arg(caption, limit);
}

bool IsTypedText(const QKeyEvent* key)
{
    const Qt::KeyboardModifiers commands =
        Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    const QString text = key->text();
    return !text.isEmpty() && text.at(0).isPrint() && !(key->modifiers() & commands);
}

void SendRetyped(QLineEdit* editor, const QKeyEvent* key, const QString& text, bool& sending)
{
    QKeyEvent replacement(QEvent::KeyPress, key->key(), key->modifiers(), text,
                          key->isAutoRepeat(), ushort(key->count()));
    sending = true;
    QApplication::sendEvent(editor, &replacement);
    sending = false;
}

TypedCharFilter::TypedCharFilter(Rule rule, QLineEdit* editor, const QString& caption)
    : QObject(editor), m_rule(rule), m_editor(editor), m_caption(caption)
{
    editor->installEventFilter(this);
    if (rule != Rule::Any)
        editor->setContextMenuPolicy(Qt::NoContextMenu);
    editor->setAcceptDrops(false);
}

void TypedCharFilter::Paste(QClipboard::Mode mode)
{
    if (m_editor->isReadOnly())
        return;
    const QString text = ApplyText(m_rule, QApplication::clipboard()->text(mode));
    const qsizetype kept = m_editor->text().size() - m_editor->selectedText().size();
    if (kept + text.size() > m_editor->maxLength()) {
        Messages::ShowMessage(TooLongPasteText(m_caption, m_editor->maxLength()));
        return;
    }
    m_editor->insert(text);
}

void TypedCharFilter::ShowContextMenu(const QPoint& globalPos)
{
    QMenu* menu = m_editor->createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The menu's Paste is the action wired to the editor's own paste; it goes through here.
    for (QAction* action : menu->actions()) {
        // Qt wires it by name or by member, depending on its version.
        const bool paste =
            disconnect(action, SIGNAL(triggered()), m_editor, SLOT(paste())) ||
            disconnect(action, &QAction::triggered, m_editor, &QLineEdit::paste);
        if (paste) {
            action->setObjectName(QStringLiteral("edit-paste"));
            connect(action, &QAction::triggered, this,
                    [this] { Guarded([this] { Paste(QClipboard::Clipboard); }); });
        }
    }
    menu->popup(globalPos);
}

bool TypedCharFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_editor || m_sending)
        return QObject::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste)) {
            Guarded([this] { Paste(QClipboard::Clipboard); });
            return true;
        }
        break;
    case QEvent::ContextMenu:
        ShowContextMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    case QEvent::MouseButtonRelease:
        // Middle-click pastes the selection where the system has one.
        if (auto* mouse = static_cast<QMouseEvent*>(event); mouse->button() == Qt::MiddleButton) {
            if (QApplication::clipboard()->supportsSelection()) {
                m_editor->deselect();
                m_editor->setCursorPosition(
                    m_editor->cursorPositionAt(mouse->position().toPoint()));
                Guarded([this] { Paste(QClipboard::Selection); });
            }
            return true;
        }
        break;
    default:
        break;
    }
    if (m_rule == Rule::Any)
        return QObject::eventFilter(watched, event);

    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!IsTypedText(key))
            return false;
        const QString text = key->text();
        const QString filtered = ApplyText(m_rule, text);
        if (filtered == text)
            return false;
        if (filtered.isEmpty())
            return true;
        SendRetyped(m_editor, key, filtered, m_sending);
        return true;
    }
    if (event->type() == QEvent::InputMethod) {
        auto* input = static_cast<QInputMethodEvent*>(event);
        if (!input->commitString().isEmpty()) {
            const QString filtered = ApplyText(m_rule, input->commitString());
            if (filtered != input->commitString())
                input->setCommitString(filtered, input->replacementStart(),
                                       input->replacementLength());
        }
        return false;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace KeyRules
