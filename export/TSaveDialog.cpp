#include "export/TSaveDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

#include "ui/FileFilter.h"

namespace {

TSaveDialog::Chooser& CurrentChooser()
{
    static TSaveDialog::Chooser chooser;
    return chooser;
}

} // namespace

void TSaveDialog::SetChooser(Chooser chooser)
{
    CurrentChooser() = std::move(chooser);
}

bool TSaveDialog::Execute(QWidget* parent)
{
    std::optional<QString> chosen;
    if (CurrentChooser()) {
        chosen = CurrentChooser()(*this);
    } else {
        const QString path = QFileDialog::getSaveFileName(
            parent, Title, QDir::home().filePath(FileName), QtFileFilter(Filter));
        if (!path.isEmpty())
            chosen = path;
    }
    if (!chosen || chosen->isEmpty())
        return false;
    FileName = QDir::toNativeSeparators(*chosen);
    return true;
}
