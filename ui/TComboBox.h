#pragma once

#include <QComboBox>

// A drop-down of the program: as wide as its window makes it, however long its entries.
// A long entry is elided in the closed box and shown whole in the open list (up to the
// width of the screen).
class TComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit TComboBox(QWidget* parent = nullptr);

    void showPopup() override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
