#include "storage/engine/sqlite/Collation.h"

#include <QChar>

namespace Collation {
namespace {

inline char32_t Fold(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    // The basic Cyrillic block folds by fixed offsets; names are mostly made of it.
    if (c >= 0x0400 && c < 0x0460) {
        if (c < 0x0410)
            return c + 0x50; // Ѐ..Џ, Ё among them
        if (c < 0x0430)
            return c + 0x20; // А..Я
        return c;
    }
    return QChar::toCaseFolded(c);
}

// The weight of a folded code point: ё sorts between е and ж as in the Russian alphabet;
// every other letter keeps its code point order, and distinct letters stay distinct.
inline char32_t Weight(char32_t folded)
{
    constexpr char32_t SmallIe = 0x0435; // е
    constexpr char32_t SmallIo = 0x0451; // ё
    return folded == SmallIo ? SmallIe * 2 + 1 : folded * 2;
}

// Decodes one code point of UTF-8; an invalid byte stands for itself.
inline char32_t NextUtf8(const unsigned char*& p, const unsigned char* end)
{
    const unsigned char c = *p++;
    if (c < 0x80)
        return c;
    int extra = 0;
    char32_t cp = 0;
    if ((c & 0xE0) == 0xC0) {
        extra = 1;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3;
        cp = c & 0x07;
    } else {
        return c;
    }
    if (end - p < extra)
        return c;
    for (int i = 0; i < extra; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return c;
    }
    for (int i = 0; i < extra; ++i)
        cp = (cp << 6) | (*p++ & 0x3F);
    return cp;
}

inline char32_t NextUtf16(const QChar*& p, const QChar* end)
{
    const char16_t c = p->unicode();
    ++p;
    if (QChar::isHighSurrogate(c) && p != end && p->isLowSurrogate()) {
        const char32_t cp = QChar::surrogateToUcs4(c, p->unicode());
        ++p;
        return cp;
    }
    return c;
}

template <bool Folded> int CompareUtf16(QStringView a, QStringView b)
{
    const QChar* pa = a.data();
    const QChar* ea = pa + a.size();
    const QChar* pb = b.data();
    const QChar* eb = pb + b.size();
    while (pa != ea && pb != eb) {
        char32_t ca = NextUtf16(pa, ea);
        char32_t cb = NextUtf16(pb, eb);
        if (ca == cb)
            continue; // the common prefix needs no folding
        if constexpr (Folded) {
            ca = Weight(Fold(ca));
            cb = Weight(Fold(cb));
        }
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (pa == ea)
        return pb == eb ? 0 : -1;
    return 1;
}

} // namespace

int CompareNoCase(QStringView a, QStringView b)
{
    return CompareUtf16<true>(a, b);
}

int CompareBinary(QStringView a, QStringView b)
{
    return CompareUtf16<false>(a, b);
}

int CompareNoCaseUtf8(const char* a, int na, const char* b, int nb)
{
    auto pa = reinterpret_cast<const unsigned char*>(a);
    auto pb = reinterpret_cast<const unsigned char*>(b);
    const unsigned char* ea = pa + na;
    const unsigned char* eb = pb + nb;
    while (pa != ea && pb != eb) {
        // Plain ASCII runs are the common case: no decoding needed.
        if (*pa < 0x80 && *pb < 0x80) {
            const char32_t ca = Fold(*pa++);
            const char32_t cb = Fold(*pb++);
            if (ca != cb)
                return ca < cb ? -1 : 1;
            continue;
        }
        const char32_t ca = Weight(Fold(NextUtf8(pa, ea)));
        const char32_t cb = Weight(Fold(NextUtf8(pb, eb)));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (pa == ea)
        return pb == eb ? 0 : -1;
    return 1;
}

int SqliteCompare(void*, int na, const void* a, int nb, const void* b)
{
    return CompareNoCaseUtf8(static_cast<const char*>(a), na, static_cast<const char*>(b), nb);
}

} // namespace Collation
