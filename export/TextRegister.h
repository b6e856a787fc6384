#pragma once

#include <QList>

#include "core/Exception.h"
#include "export/ExportData.h"

class QIODevice;

// A field text that would break the register's line format or cannot be written in its code
// page; the message names the employee or organisation and the field.
class EInvalidRegisterText : public Exception
{
public:
    using Exception::Exception;
};

namespace TextRegister {

// The register of one organisation: "==========", the header, one "Fio100;Accnt;Amount" line
// per listed employee, "==========" and the total line, each ended by CR LF, in Windows-1251.
// Every field and amount is checked before the first byte is written, so a failure
// (EInvalidRegisterText, EConvertError) leaves the device untouched.
void Write(QIODevice& device, const ExportData::Organisation& organisation,
           const QList<ExportData::ListedEmployee>& employees);

// The register's bytes, checked as Write checks them.
QByteArray Build(const ExportData::Organisation& organisation,
                 const QList<ExportData::ListedEmployee>& employees);

// Writes bytes that Build made.
void Write(QIODevice& device, const QByteArray& bytes);

} // namespace TextRegister
