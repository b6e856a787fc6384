#pragma once

#include <QString>

// The reasons the operating system gives for a failed file operation, put in Russian for the
// program's messages. Only the common ones are known; any other keeps the system's own text.
namespace SystemReason {

// The reason for an errno code.
QString FromErrno(int code);

// A reason text as Qt's file classes give it (QFileDevice::errorString and the like): the
// system's texts of the known codes, wherever they stand in it, become Russian.
QString InRussian(const QString& reason);

} // namespace SystemReason
