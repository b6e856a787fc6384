#pragma once

#include <QChar>
#include <QString>

class QWidget;

// Typing as the keyboard does it, any alphabet (QTest::keyClicks takes Latin-1 only): each
// character is a key press and release carrying its text, the key code its upper case.
void TypeChar(QWidget* widget, QChar c);
void TypeText(QWidget* widget, const QString& text);
