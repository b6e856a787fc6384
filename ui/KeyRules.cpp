#include "ui/KeyRules.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>

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

TypedCharFilter::TypedCharFilter(Rule rule, QLineEdit* editor)
    : QObject(editor), m_rule(rule), m_editor(editor)
{
    editor->installEventFilter(this);
    editor->setContextMenuPolicy(Qt::NoContextMenu);
    editor->setAcceptDrops(false);
}

bool TypedCharFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_editor || m_sending || m_rule == Rule::Any)
        return QObject::eventFilter(watched, event);

    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Paste)) {
            m_editor->insert(ApplyText(m_rule, QApplication::clipboard()->text()));
            return true;
        }
        const QString text = key->text();
        const Qt::KeyboardModifiers commands = Qt::ControlModifier | Qt::AltModifier |
                                                Qt::MetaModifier;
        if (text.isEmpty() || (key->modifiers() & commands) || !text.at(0).isPrint())
            return false;
        const QString filtered = ApplyText(m_rule, text);
        if (filtered == text)
            return false;
        if (filtered.isEmpty())
            return true;
        QKeyEvent replacement(QEvent::KeyPress, key->key(), key->modifiers(), filtered,
                              key->isAutoRepeat(), ushort(key->count()));
        m_sending = true;
        QApplication::sendEvent(m_editor, &replacement);
        m_sending = false;
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
    if (event->type() == QEvent::MouseButtonRelease) {
        // Middle-click paste of the selection clipboard would bypass the rule.
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::MiddleButton)
            return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace KeyRules
