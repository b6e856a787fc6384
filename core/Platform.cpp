#include "core/Platform.h"

#include <QCoreApplication>
#include <QDir>

#ifdef Q_OS_WIN
#include <shlobj.h>
#include <windows.h>
#endif

namespace Platform {
namespace {

std::optional<QString> SystemCommonAppDataFolder()
{
#ifdef Q_OS_WIN
    wchar_t buffer[MAX_PATH + 1] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT,
                                buffer)))
        return std::nullopt;
    const QString folder = QString::fromWCharArray(buffer);
    if (folder.isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(folder);
#else
    return QStringLiteral("/var/lib");
#endif
}

FolderProvider& Provider()
{
    static FolderProvider provider;
    return provider;
}

} // namespace

std::optional<QString> CommonAppDataFolder()
{
    if (Provider())
        return Provider()();
    return SystemCommonAppDataFolder();
}

static QString& ProgramFolderOverride()
{
    static QString folder;
    return folder;
}

QString ProgramFolder()
{
    if (!ProgramFolderOverride().isEmpty())
        return ProgramFolderOverride();
    return QCoreApplication::applicationDirPath();
}

void SetProgramFolder(const QString& folder)
{
    ProgramFolderOverride() = folder;
}

void SetCommonAppDataProvider(FolderProvider provider)
{
    Provider() = std::move(provider);
}

} // namespace Platform
