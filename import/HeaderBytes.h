#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

#include "core/Exception.h"

// What the readers of the dBASE and Paradox headers share: little-endian numbers of a
// header, and the error of a file that is not a table of its format.
namespace HeaderBytes {

inline unsigned Word(const QByteArray& data, qsizetype at)
{
    return unsigned(static_cast<unsigned char>(data[at])) |
           unsigned(static_cast<unsigned char>(data[at + 1])) << 8;
}

inline quint32 DoubleWord(const QByteArray& data, qsizetype at)
{
    return quint32(Word(data, at)) | quint32(Word(data, at + 2)) << 16;
}

inline QString FileText(const QString& name)
{
    return QDir::toNativeSeparators(name);
}

// format: "dBASE", "Paradox".
[[noreturn]] inline void Damaged(const char* format, const QString& name, const QString& reason)
{
    throw EDatabaseError(QStringLiteral("Файл «%1» не является таблицей %2 или поврежден: %3.")
                             .arg(FileText(name), QLatin1String(format), reason),
                         EDatabaseError::Kind::Damaged);
}

} // namespace HeaderBytes
