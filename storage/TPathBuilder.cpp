#include "storage/TPathBuilder.h"

#include <QDir>

#include "core/Exception.h"
#include "core/Platform.h"

namespace {

QString Separator()
{
    return QString(QDir::separator());
}

} // namespace

QString TPathBuilder::GetBasePath()
{
    const std::optional<QString> common = Platform::CommonAppDataFolder();
    if (!common || common->isEmpty())
        throw Exception(QStringLiteral(
            "Не удалось определить общую папку данных программ этого компьютера."));
    QString base = QDir::toNativeSeparators(*common);
    if (!base.endsWith(Separator()))
        base += Separator();
    return base + QStringLiteral("Tarnoquill") + Separator() + QStringLiteral("Pellomar") +
           Separator();
}

QString TPathBuilder::GetDataPath()
{
    return GetBasePath() + QStringLiteral("data") + Separator();
}

QString TPathBuilder::GetOutPath()
{
    return GetBasePath() + QStringLiteral("out") + Separator();
}

QString TPathBuilder::GetTemplatesPath()
{
    return GetBasePath() + QStringLiteral("templates") + Separator();
}

QString TPathBuilder::GetEmployeeDBPath()
{
    return GetDataPath();
}

QString TPathBuilder::GetSettingsDBPath()
{
    return GetDataPath();
}

QString TPathBuilder::GetSessionDBPath()
{
    return GetDataPath();
}

QString TPathBuilder::GetOutTxtPath(const QString& org)
{
    return GetOutPath() + QStringLiteral("list") + org + QStringLiteral(".txt");
}

QString TPathBuilder::GetOutWordPath(const QString& org)
{
    return GetOutPath() + QStringLiteral("Ведомость") + org + QStringLiteral(".doc");
}
