#pragma once

#include <QChar>
#include <QObject>
#include <QString>

class QLineEdit;

// The typed-character rules for employee data, shared by the grid and the dialogs.
namespace KeyRules {

enum class Rule {
    Any,     // nothing refused
    Upper,   // each character turned to upper case
    Account, // digits and "-"
    Amount,  // digits and "."
};

// The character after the rule; QChar() (code 0) when refused.
QChar Apply(Rule rule, QChar c);
// A pasted or typed text after the rule: refused characters are dropped.
QString ApplyText(Rule rule, const QString& text);

// Applies a rule to the text typed or pasted into a line editor; context menu, drops and
// middle-click paste are turned off so nothing bypasses it.
class TypedCharFilter final : public QObject
{
    Q_OBJECT

public:
    TypedCharFilter(Rule rule, QLineEdit* editor);
    Rule GetRule() const { return m_rule; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Rule m_rule;
    QLineEdit* m_editor;
    bool m_sending = false;
};

} // namespace KeyRules
