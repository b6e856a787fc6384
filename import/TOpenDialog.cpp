#include "import/TOpenDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

#include "ui/FileFilter.h"

namespace {

TOpenDialog::Chooser& CurrentChooser()
{
    static TOpenDialog::Chooser chooser;
    return chooser;
}

} // namespace

void TOpenDialog::SetChooser(Chooser chooser)
{
    CurrentChooser() = std::move(chooser);
}

QString TOpenDialog::QtFilter() const
{
    return QtFileFilter(Filter);
}

bool TOpenDialog::Execute(QWidget* parent)
{
    std::optional<QString> chosen;
    if (CurrentChooser()) {
        chosen = CurrentChooser()(*this);
    } else {
        const QString path = QFileDialog::getOpenFileName(parent, QString(), InitialDir, QtFilter());
        if (!path.isEmpty())
            chosen = path;
    }
    if (!chosen || chosen->isEmpty())
        return false;
    FileName = QDir::toNativeSeparators(*chosen);
    return true;
}
