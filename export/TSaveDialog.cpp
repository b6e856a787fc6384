#include "export/TSaveDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

#include "ui/FileFilter.h"

bool TSaveDialog::Execute(QWidget* parent)
{
    const QString chosen = Choose([&] {
        return QFileDialog::getSaveFileName(parent, Title, QDir::home().filePath(FileName),
                                            QtFileFilter(Filter));
    });
    if (chosen.isEmpty())
        return false;
    FileName = chosen;
    return true;
}
