#include "tests/support/ScreenChecks.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QScreen>
#include <QTest>

#include <algorithm>

QString LongOrganisationName()
{
    return QStringLiteral("Общество с ограниченной ответственностью ").leftJustified(117, QChar(u'Ж'));
}

void CheckKeptOnScreen(const QWidget* window, int widthBefore)
{
    QCOMPARE(window->width(), widthBefore);
    const QRect available = window->screen()->availableGeometry();
    QVERIFY(available.contains(window->frameGeometry()));
    QVERIFY(qAbs(window->frameGeometry().center().x() - available.center().x()) <= 2);
}

void CheckListShowsWhole(QComboBox* box, const QString& text)
{
    const QRect available = box->screen()->availableGeometry();
    const int textWidth = box->fontMetrics().horizontalAdvance(text);
    QVERIFY(box->width() < textWidth);
    box->showPopup();
    QTRY_VERIFY(box->view()->isVisible());
    QVERIFY(box->view()->width() >= std::min(textWidth, available.width() / 2));
    QVERIFY(box->view()->width() <= available.width());
    box->hidePopup();
}
