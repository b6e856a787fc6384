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

// Replaces the common-folder provider; an empty function restores the real one.
void SetCommonAppDataProvider(FolderProvider provider);

// Replaces the program folder (where templates/ lies); an empty text restores the real one.
void SetProgramFolder(const QString& folder);

} // namespace Platform
