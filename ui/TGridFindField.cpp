#include "ui/TGridFindField.h"

#include <QAction>
#include <QKeyEvent>

#include <vector>

#include "storage/views/TTable.h"
#include "ui/TDBGrid.h"

namespace {

QChar Folded(QChar c)
{
    c = c.toCaseFolded();
    return c == u'ё' ? QChar(u'е') : c;
}

QString Folded(const QString& text)
{
    QString folded = text;
    for (QChar& c : folded)
        c = Folded(c);
    return folded;
}

// Whether text holds the folded needle, compared character by character with no copy of text.
bool Holds(const QString& text, const QString& needle)
{
    const qsizetype last = text.size() - needle.size();
    for (qsizetype i = 0; i <= last; ++i) {
        qsizetype j = 0;
        while (j < needle.size() && Folded(text[i + j]) == needle[j])
            ++j;
        if (j == needle.size())
            return true;
    }
    return false;
}

} // namespace

TGridFindField::TGridFindField(TDBGrid* grid, QStringList fields, QWidget* parent)
    : QLineEdit(parent), m_grid(grid), m_fields(std::move(fields))
{
    setObjectName(QStringLiteral("FindField"));
    setPlaceholderText(QStringLiteral("Поиск"));
    setAccessibleName(QStringLiteral("Поиск"));
    setToolTip(QStringLiteral("Поиск по ФИО и счету (Ctrl+F). Enter или F3 — следующий, "
                              "Shift+F3 — предыдущий."));
    setClearButtonEnabled(true);
    connect(this, &QLineEdit::textEdited, this, [this] { Find(0, 1); });
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty())
            ShowFound(true); // cleared, however
    });
}

TGridFindField::~TGridFindField() = default;

void TGridFindField::AddShortcuts(QWidget* window)
{
    const auto add = [window](const char* name, const QKeySequence& keys) {
        auto* action = new QAction(window);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        window->addAction(action);
        return action;
    };
    connect(add("find1", QKeySequence(Qt::CTRL | Qt::Key_F)), &QAction::triggered, this, [this] {
        setFocus(Qt::ShortcutFocusReason);
        selectAll();
    });
    connect(add("findNext1", QKeySequence(Qt::Key_F3)), &QAction::triggered, this,
            [this] { FindNext(1); });
    connect(add("findPrevious1", QKeySequence(Qt::SHIFT | Qt::Key_F3)), &QAction::triggered, this,
            [this] { FindNext(-1); });
}

QColor TGridFindField::NotFoundColor()
{
    return QColor(0xff, 0x9c, 0x9c);
}

bool TGridFindField::FindNext(int step)
{
    const int current = m_grid->currentIndex().row();
    return Find(current < 0 ? 0 : current + step, step);
}

void TGridFindField::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        FindNext(event->modifiers() & Qt::ShiftModifier ? -1 : 1);
        return;
    case Qt::Key_Escape:
        m_grid->setFocus(Qt::OtherFocusReason);
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

int TGridFindField::FindRow(int start, int step) const
{
    const TTable* table = m_grid->Table();
    if (!table || !table->Active())
        return -1;
    std::vector<int> fields;
    for (const QString& name : m_fields) {
        const int field = table->FindField(name);
        if (field >= 0)
            fields.push_back(field);
    }
    const QString needle = Folded(text());
    const int count = table->RecordCount();
    if (needle.isEmpty() || count == 0)
        return -1;
    int row = ((start % count) + count) % count;
    for (int i = 0; i < count; ++i, row = (row + step + count) % count) {
        for (const int field : fields) {
            if (Holds(table->CellText(row, field), needle))
                return row;
        }
    }
    return -1;
}

bool TGridFindField::Find(int start, int step)
{
    if (text().isEmpty()) {
        ShowFound(true);
        return false;
    }
    const int row = FindRow(start, step);
    ShowFound(row >= 0);
    if (row < 0)
        return false;
    const QModelIndex current = m_grid->currentIndex();
    const int column = current.isValid() ? current.column() : 0;
    m_grid->selectionModel()->setCurrentIndex(m_grid->model()->index(row, column),
                                              QItemSelectionModel::ClearAndSelect);
    return true;
}

void TGridFindField::ShowFound(bool found)
{
    QPalette colours;
    if (!found)
        colours.setColor(QPalette::Base, NotFoundColor());
    setPalette(colours);
}
