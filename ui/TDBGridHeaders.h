#pragma once

#include <QHeaderView>

class TDBGrid;

// The row indicator: a triangle on the current row in browse, an I-beam in edit, a star
// on an inserted row. A press selects the row's cell in the current column.
class TIndicatorHeader final : public QHeaderView
{
public:
    explicit TIndicatorHeader(TDBGrid* grid);

    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent*) override {}
    void mouseReleaseEvent(QMouseEvent*) override {}
    void mouseDoubleClickEvent(QMouseEvent*) override {}

private:
    TDBGrid* m_grid;
};

// Column titles: fixed widths; pressing or hovering a title only highlights it.
class TTitleHeader final : public QHeaderView
{
public:
    explicit TTitleHeader(TDBGrid* grid);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override {}

private:
    void SetHover(int section);
    void SetPressed(int section);
    void Repaint(int section);

    TDBGrid* m_grid;
    int m_hover = -1;
    int m_pressed = -1;
};
