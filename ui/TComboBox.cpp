#include "ui/TComboBox.h"

#include <QAbstractItemView>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include <algorithm>

TComboBox::TComboBox(QWidget* parent) : QComboBox(parent)
{
    // The entries never set the box's width: the window's layout does.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    view()->setTextElideMode(Qt::ElideNone);
}

void TComboBox::showPopup()
{
    // The open list is as wide as its longest entry needs, never narrower than the box
    // and never wider than the screen.
    QAbstractItemView* list = view();
    int needed = list->sizeHintForColumn(0) + 2 * list->frameWidth() +
                 list->verticalScrollBar()->sizeHint().width();
    if (const QScreen* target = screen())
        needed = std::min(needed, target->availableGeometry().width());
    list->setMinimumWidth(std::max(needed, width()));
    QComboBox::showPopup();
}

void TComboBox::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    if (!isEditable()) {
        const QRect text = style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                   QStyle::SC_ComboBoxEditField, this);
        option.currentText =
            fontMetrics().elidedText(option.currentText, Qt::ElideRight, text.width() - 2);
    }
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}
