#include "ui/TDBGridHeaders.h"

#include <QMouseEvent>
#include <QPainter>

#include <utility>

#include "storage/views/TTable.h"
#include "ui/TDBGrid.h"

// ---- TIndicatorHeader ----

TIndicatorHeader::TIndicatorHeader(TDBGrid* grid) : QHeaderView(Qt::Vertical, grid), m_grid(grid)
{
    setSectionsClickable(false);
    setSectionResizeMode(QHeaderView::Fixed);
    setHighlightSections(false);
}

QSize TIndicatorHeader::sizeHint() const
{
    return QSize(14, QHeaderView::sizeHint().height());
}

void TIndicatorHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    // The common style leaves a clip behind after CE_Header.
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();

    TTable* table = m_grid->Table();
    if (!table || !table->Active() || logicalIndex != table->CurrentRow())
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QColor color = palette().color(QPalette::ButtonText);
    const QPointF c = QRectF(rect).center();
    switch (table->GetState()) {
    case TTable::State::Browse: {
        painter->setPen(Qt::NoPen);
        painter->setBrush(color);
        const QPointF triangle[3] = {c + QPointF(-2.5, -4.5), c + QPointF(2.5, 0),
                                     c + QPointF(-2.5, 4.5)};
        painter->drawPolygon(triangle, 3);
        break;
    }
    case TTable::State::Edit:
        painter->setPen(QPen(color, 1.2));
        painter->drawLine(c + QPointF(0, -5), c + QPointF(0, 5));
        painter->drawLine(c + QPointF(-2.5, -5), c + QPointF(2.5, -5));
        painter->drawLine(c + QPointF(-2.5, 5), c + QPointF(2.5, 5));
        break;
    case TTable::State::Insert:
        painter->setPen(color);
        painter->drawText(rect, Qt::AlignCenter, QStringLiteral("*"));
        break;
    case TTable::State::Inactive:
        break;
    }
    painter->restore();
}

void TIndicatorHeader::mousePressEvent(QMouseEvent* event)
{
    // Not the stock handler: its selectRow would bypass the grid's row change.
    if (event->button() != Qt::LeftButton)
        return;
    const int row = logicalIndexAt(event->position().toPoint());
    if (row >= 0 && m_grid->model())
        m_grid->PressRow(row, event->modifiers());
}

// ---- TTitleHeader ----

TTitleHeader::TTitleHeader(TDBGrid* grid) : QHeaderView(Qt::Horizontal, grid), m_grid(grid)
{
    setSectionsClickable(false);
    setSectionsMovable(false);
    setSectionResizeMode(QHeaderView::Fixed);
    setHighlightSections(false);
    setStretchLastSection(false);
    setMinimumSectionSize(4); // the style's minimum would widen narrow columns
    setMouseTracking(true);
}

void TTitleHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    if (!rect.isValid())
        return;
    QStyleOptionHeader option;
    initStyleOptionForIndex(&option, logicalIndex);
    option.rect = rect;
    const TDBGrid::Options options = m_grid->GetOptions();
    if ((options & TDBGrid::TitleHotTrack) && logicalIndex == m_hover)
        option.state |= QStyle::State_MouseOver;
    if ((options & TDBGrid::TitleClick) && logicalIndex == m_pressed)
        option.state |= QStyle::State_Sunken;
    painter->save();
    style()->drawControl(QStyle::CE_Header, &option, painter, this);
    painter->restore();
}

void TTitleHeader::mouseMoveEvent(QMouseEvent* event)
{
    SetHover(logicalIndexAt(event->position().toPoint()));
}

void TTitleHeader::leaveEvent(QEvent*)
{
    SetHover(-1);
}

void TTitleHeader::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        SetPressed(logicalIndexAt(event->position().toPoint()));
}

void TTitleHeader::mouseReleaseEvent(QMouseEvent*)
{
    SetPressed(-1);
}

void TTitleHeader::SetHover(int section)
{
    if (section == m_hover)
        return;
    std::swap(section, m_hover);
    Repaint(section);
    Repaint(m_hover);
}

void TTitleHeader::SetPressed(int section)
{
    if (section == m_pressed)
        return;
    std::swap(section, m_pressed);
    Repaint(section);
    Repaint(m_pressed);
}

void TTitleHeader::Repaint(int section)
{
    if (section >= 0)
        updateSection(section);
}
