#pragma once

#include <QString>

#include <functional>

// Shows a finished document to the user in the desktop's default application. Tests replace
// the opener in-process.
namespace DocumentViewer {

using Opener = std::function<void(const QString& path)>;

void Open(const QString& path);

// Replaces the opener; an empty function restores the desktop's.
void SetOpener(Opener opener);

} // namespace DocumentViewer
