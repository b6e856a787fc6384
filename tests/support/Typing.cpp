#include "tests/support/Typing.h"

#include <QTest>
#include <QWidget>

void TypeChar(QWidget* widget, QChar c)
{
    const auto key = Qt::Key(c.toUpper().unicode());
    QTest::sendKeyEvent(QTest::Press, widget, key, QString(c), Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, widget, key, QString(c), Qt::NoModifier);
}

void TypeText(QWidget* widget, const QString& text)
{
    for (QChar c : text)
        TypeChar(widget, c);
}
