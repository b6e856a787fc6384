#pragma once

class QPoint;
class QRect;
class QWidget;

// The top-left corner for a window frame inside an available screen area: the frame's own
// position where it fits, moved in by the least distance where it does not; a frame larger
// than the area keeps its top-left corner (title bar, menu) on the screen.
QPoint PlaceInside(const QRect& frame, const QRect& available);

// Moves a top-level window inside the available geometry of its screen (the desktop less
// panels and task bars). Call it after the window has its size and position.
void FitOnScreen(QWidget* window);

// Puts a top-level window in the middle of the available geometry of its screen, inside it.
void CenterOnScreen(QWidget* window);
