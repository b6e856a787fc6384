#pragma once

#include <QChar>
#include <QClipboard>
#include <QObject>
#include <QString>

class QKeyEvent;
class QLineEdit;
class QPoint;

// The typed-character rules for employee data, shared by the grid and the dialogs.
namespace KeyRules {

enum class Rule {
    Any,     // nothing refused
    Upper,   // each character turned to upper case
    Account, // digits and "-"
    Amount,  // digits and "."; a comma (the decimal key of a Russian keypad) becomes "."
};

// The character after the rule; QChar() (code 0) when refused.
QChar Apply(Rule rule, QChar c);
// A pasted or typed text after the rule: refused characters are dropped.
QString ApplyText(Rule rule, const QString& text);

// "Текст не вставлен: поле «<caption>» вмещает не больше <size> знаков."
QString TooLongPasteText(const QString& caption, int size);

// A key press that types printable text: no command with Ctrl, Alt or Meta.
bool IsTypedText(const QKeyEvent* key);
// Sends the key press again to the editor with text in place of its own; sending is set on
// the way, so the filter that sends it lets it through.
void SendRetyped(QLineEdit* editor, const QKeyEvent* key, const QString& text, bool& sending);

// Applies a rule to the text typed or pasted into a line editor of a field. Typing stops at
// the editor's maxLength; a paste that would not fit is refused whole, with a message that
// names the field by its caption, never cut. Drops are turned off; a rule other than Any
// turns the context menu off too, and its paste, where there is one, goes through here.
class TypedCharFilter final : public QObject
{
    Q_OBJECT

public:
    TypedCharFilter(Rule rule, QLineEdit* editor, const QString& caption = QString());
    Rule GetRule() const { return m_rule; }
    void SetCaption(const QString& caption) { m_caption = caption; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Paste(QClipboard::Mode mode);
    void ShowContextMenu(const QPoint& globalPos);

    Rule m_rule;
    QLineEdit* m_editor;
    QString m_caption;
    bool m_sending = false;
};

} // namespace KeyRules
