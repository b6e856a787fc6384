#pragma once

#include <QByteArrayView>
#include <QString>

// Single-byte code pages of dBASE files, decoded through Qt's converters.
namespace CodePages {

// A name stored in CP866, kept to what Windows-1251 can hold: any other character
// (box drawing, a few symbols) becomes "?".
QString FromCp866Name(QByteArrayView bytes);

// Text stored in Windows-1251.
QString FromWindows1251(QByteArrayView bytes);

} // namespace CodePages
