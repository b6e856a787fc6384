#include "ui/WindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

QScreen* ScreenOf(const QWidget* window)
{
    return window->screen() ? window->screen() : QGuiApplication::primaryScreen();
}

// The frame of a window with its layout's size; before its first showing the frame's
// decoration is not known yet, so the client geometry stands for it.
QRect FrameOf(QWidget* window)
{
    if (QLayout* layout = window->layout())
        layout->activate();
    return window->frameGeometry();
}

void MoveInside(QWidget* window)
{
    const QScreen* screen = ScreenOf(window);
    if (!screen)
        return;
    const QRect frame = FrameOf(window);
    const QPoint place = PlaceInside(frame, screen->availableGeometry());
    if (place != frame.topLeft())
        window->move(place);
}

// The window system adds the frame (title bar, borders) only once the window is on the
// screen: look again when the window is first activated, with the frame known.
class RefitWhenActivated final : public QObject
{
public:
    static void Watch(QWidget* window)
    {
        if (!window->findChild<QObject*>(Name, Qt::FindDirectChildrenOnly))
            window->installEventFilter(new RefitWhenActivated(window));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::WindowActivate) {
            MoveInside(static_cast<QWidget*>(watched));
            setObjectName(QString()); // a later showing watches afresh
            deleteLater();
        }
        return false;
    }

private:
    static inline const QString Name = QStringLiteral("RefitWhenActivated");

    explicit RefitWhenActivated(QWidget* window) : QObject(window) { setObjectName(Name); }
};

} // namespace

QPoint PlaceInside(const QRect& frame, const QRect& available)
{
    // Right and bottom first, then left and top: those win for a frame larger than the area.
    int x = std::min(frame.x(), available.right() + 1 - frame.width());
    int y = std::min(frame.y(), available.bottom() + 1 - frame.height());
    x = std::max(x, available.left());
    y = std::max(y, available.top());
    return {x, y};
}

void FitOnScreen(QWidget* window)
{
    MoveInside(window);
    RefitWhenActivated::Watch(window);
}

void CenterOnScreen(QWidget* window)
{
    const QScreen* screen = ScreenOf(window);
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    QRect frame = FrameOf(window);
    frame.moveCenter(available.center());
    window->move(PlaceInside(frame, available));
    RefitWhenActivated::Watch(window);
}
