#pragma once

class QApplication;
class QFont;

// What every window of the program shares: Qt's own Russian texts (standard buttons, the
// file dialog), one font, and combo boxes that a stray wheel notch cannot change.
namespace LookAndFeel {

// The program's one font: the platform's family at the design's 8 points.
QFont ProgramFont();

// Call once, right after the application object is made and before any window: every
// window made afterwards gets the font, and every combo box takes the focus on click or
// Tab only and ignores the wheel unless it has the focus.
void Install(QApplication& application);

} // namespace LookAndFeel
