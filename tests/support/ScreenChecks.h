#pragma once

#include <QString>

class QComboBox;
class QWidget;

// An organisation name of 117 characters, near the 120 the store holds.
QString LongOrganisationName();

// A window shown again after a long name came into its lists: as wide as before, inside
// the screen's available area and centred across it.
void CheckKeptOnScreen(const QWidget* window, int widthBefore);

// A box showing text too wide for it: its open list shows the text whole, within the screen.
void CheckListShowsWhole(QComboBox* box, const QString& text);
