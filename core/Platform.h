#pragma once

#include <QString>

#include <functional>
#include <optional>

// What the program asks of the operating system. Tests replace the providers in-process.
namespace Platform {

// The machine-wide folder shared by all users, without a trailing separator;
// std::nullopt when the platform cannot report it.
using FolderProvider = std::function<std::optional<QString>()>;

std::optional<QString> CommonAppDataFolder();
QString ProgramFolder();

// The login name of the user running the program (the account, not a setting); empty when
// the system reports none.
QString LoginName();

// Makes every file and folder the process creates from now on readable and writable by
// its owner and group and by nobody else, whatever the user's umask (a no-op on Windows).
void KeepFilesInGroup();

// The system group whose members share the tables.
inline constexpr const char* SharingGroup = "pellomar";

// False when the folder exists and this user may not list, enter or write it; true when it
// is usable or missing (its creation then tells its own failure).
bool MayUseFolder(const QString& folder);

// Replaces the common-folder provider; an empty function restores the real one.
void SetCommonAppDataProvider(FolderProvider provider);

// Replaces the program folder (where templates/ lies); an empty text restores the real one.
void SetProgramFolder(const QString& folder);

} // namespace Platform
