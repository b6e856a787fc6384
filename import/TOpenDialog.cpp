#include "import/TOpenDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

#include "ui/FileFilter.h"

QString TOpenDialog::QtFilter() const
{
    return QtFileFilter(Filter);
}

bool TOpenDialog::Execute(QWidget* parent)
{
    const QString chosen = Choose(
        [&] { return QFileDialog::getOpenFileName(parent, QString(), InitialDir, QtFilter()); });
    if (chosen.isEmpty())
        return false;
    FileName = chosen;
    return true;
}
