#pragma once

#include <QString>

#include <functional>

#include "core/Exception.h"

class QIODevice;

// An output file that could not be created or completed; the message names the path.
class EFileCreateError : public Exception
{
public:
    using Exception::Exception;
};

// Writes a file the user relies on: write fills a temporary file beside the target, which
// replaces the target only when write returned and everything reached the disk. When write
// throws, or the file cannot be created or completed, an earlier file of that name stays as
// it was and no temporary file is left.
void WriteFileAtomically(const QString& path, const std::function<void(QIODevice&)>& write);
