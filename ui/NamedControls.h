#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>

// Controls of a form, each with the object name the design gives it (tests find them by it).
namespace NamedControls {

inline QLabel* Label(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

inline QLineEdit* Edit(QWidget* parent, const char* name)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

// Enter in an editor must not press a button by accident.
inline QPushButton* Button(QWidget* parent, const char* name, const QString& text)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace NamedControls
