#include "core/Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#ifdef Q_OS_WIN
#include <lmcons.h>
#include <shlobj.h>
#include <windows.h>
#else
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>
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

void KeepFilesInGroup()
{
#ifndef Q_OS_WIN
    umask(S_IRWXO);
#endif
}

bool MayUseFolder(const QString& folder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(folder);
    return true;
#else
    const QByteArray path = QFile::encodeName(QDir::cleanPath(folder));
    struct stat info {};
    if (stat(path.constData(), &info) != 0)
        return true;
    return access(path.constData(), R_OK | W_OK | X_OK) == 0;
#endif
}

QString LoginName()
{
#ifdef Q_OS_WIN
    wchar_t buffer[UNLEN + 1] = {};
    DWORD size = UNLEN + 1;
    if (GetUserNameW(buffer, &size))
        return QString::fromWCharArray(buffer);
    return qEnvironmentVariable("USERNAME");
#else
    // The account of the process, as the system knows it; the environment only where the
    // account has no entry (a container's numeric user).
    long bufferSize = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(std::size_t(bufferSize > 0 ? bufferSize : 16384));
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_name)
        return QString::fromLocal8Bit(found->pw_name);
    return qEnvironmentVariable("USER");
#endif
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
