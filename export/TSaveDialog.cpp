#include "export/TSaveDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

namespace {

TSaveDialog::Chooser& CurrentChooser()
{
    static TSaveDialog::Chooser chooser;
    return chooser;
}

QString QtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        entries << parts[i] + QStringLiteral(" (") + parts[i + 1] + QLatin1Char(')');
    return entries.join(QStringLiteral(";;"));
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
            parent, Title, QDir::home().filePath(FileName), QtFilter(Filter));
        if (!path.isEmpty())
            chosen = path;
    }
    if (!chosen || chosen->isEmpty())
        return false;
    FileName = QDir::toNativeSeparators(*chosen);
    return true;
}
