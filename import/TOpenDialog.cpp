#include "import/TOpenDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QStringList>

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
    const QStringList parts = Filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns =
            parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
        // A description that shows its patterns already is taken as it stands.
        entries << (parts[i].contains(QLatin1Char('('))
                        ? parts[i]
                        : parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return entries.join(QStringLiteral(";;"));
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
