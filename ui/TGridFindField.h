#pragma once

#include <QLineEdit>
#include <QStringList>

class TDBGrid;

// The find field of a data grid: typing moves the grid to the first row whose fields hold the
// text (letter case aside, Ё taken as Е); Enter or F3 goes to the next such row, Shift+F3 to
// the one before, round the ends. A text that no row holds turns the field red and leaves the
// grid where it is.
class TGridFindField final : public QLineEdit
{
    Q_OBJECT
    Q_DISABLE_COPY(TGridFindField)

public:
    TGridFindField(TDBGrid* grid, QStringList fields, QWidget* parent = nullptr);
    ~TGridFindField() override;

    // Ctrl+F into the field, F3 and Shift+F3, as shortcuts of window.
    void AddShortcuts(QWidget* window);

    // Moves the grid to the nearest row after (step 1) or before (step -1) the current one
    // that holds the text; false when none does.
    bool FindNext(int step);

    static QColor NotFoundColor();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The row, from start on in the direction of step round the ends, that holds the text.
    int FindRow(int start, int step) const;
    bool Find(int start, int step);
    void ShowFound(bool found);

    TDBGrid* m_grid;
    QStringList m_fields;
};
