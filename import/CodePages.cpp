#include "import/CodePages.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <array>

#include "core/Exception.h"

namespace CodePages {
namespace {

using ByteTable = std::array<char16_t, 256>;

// Every byte of a single-byte code page, decoded once.
ByteTable Decoded(const char* codePage)
{
    QStringDecoder decoder(codePage, QStringDecoder::Flag::Stateless);
    if (!decoder.isValid())
        throw Exception(QStringLiteral("Кодировка %1 недоступна.").arg(QLatin1String(codePage)));
    ByteTable table{};
    for (int b = 0; b < 256; ++b) {
        const char byte = char(b);
        const QString text = decoder.decode(QByteArrayView(&byte, 1));
        table[std::size_t(b)] = text.size() == 1 ? text.front().unicode() : u'?';
    }
    return table;
}

// CP866 decoded, keeping a character only when Windows-1251 stores it as itself (a
// look-alike substitute of the encoder does not count).
ByteTable Cp866Restricted()
{
    ByteTable table = Decoded("IBM866");
    const ByteTable ansi = Decoded("windows-1251");
    for (char16_t& c : table) {
        // A fresh encoder each time: an ICU-backed one keeps its error once it had one.
        QStringEncoder encoder("windows-1251", QStringEncoder::Flag::Stateless);
        if (!encoder.isValid())
            throw Exception(QStringLiteral("Кодировка windows-1251 недоступна."));
        const QChar ch(c);
        const QByteArray encoded = encoder.encode(QStringView(&ch, 1));
        const bool kept = !encoder.hasError() && encoded.size() == 1 &&
                          ansi[static_cast<unsigned char>(encoded[0])] == c;
        if (!kept)
            c = u'?';
    }
    return table;
}

QString Map(const ByteTable& table, QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = table[static_cast<unsigned char>(bytes[i])];
    return text;
}

} // namespace

QString FromCp866Name(QByteArrayView bytes)
{
    static const ByteTable table = Cp866Restricted();
    return Map(table, bytes);
}

QString FromWindows1251(QByteArrayView bytes)
{
    static const ByteTable table = Decoded("windows-1251");
    return Map(table, bytes);
}

} // namespace CodePages
