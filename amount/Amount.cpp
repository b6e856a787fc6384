#include "amount/Amount.h"

#include <algorithm>
#include <stdexcept>

EEmptyAmount::EEmptyAmount() : EConvertError(QStringLiteral("Сумма не указана")) {}

namespace Amount {

const QStringView HundredWords[10] = {
    u"",         u" сто",      u" двести",  u" триста",    u" четыреста",
    u" пятьсот", u" шестьсот", u" семьсот", u" восемьсот", u" девятьсот",
};

const QStringView TenWords[10] = {
    u"",
    u"",
    u" двадцать",
    u" тридцать",
    u" сорок",
    u" пятьдесят",
    u" шестьдесят",
    u" семьдесят",
    u" восемьдесят",
    u" девяносто",
};

const QStringView NumberWordTable::m_words[Last - First + 1] = {
    u" три",          u" четыре",       u" пять",       u" шесть",       u" семь",
    u" восемь",       u" девять",       u" десять",     u" одиннадцать", u" двенадцать",
    u" тринадцать",   u" четырнадцать", u" пятнадцать", u" шестнадцать", u" семнадцать",
    u" восемнадцать", u" девятнадцать",
};

const QStringView ScaleWords[7] = {
    u"", u" тысяч", u" миллион", u" миллиард", u" триллион", u" квадриллион", u" квинтиллион",
};

const NumberWordTable NumberWords;

QStringView NumberWordTable::operator[](int n) const
{
    if (n < First || n > Last)
        throw std::out_of_range("NumberWords index out of range");
    return m_words[n - First];
}

namespace {

constexpr bool IsBlank(char16_t c)
{
    return c >= 1 && c <= 32;
}

constexpr bool IsDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// One part of an amount text. A quoted part with doubled quotes owns its unescaped copy.
struct Part
{
    QStringView text;
    QString unescaped;
    bool owned = false;

    QStringView View() const { return owned ? QStringView(unescaped) : text; }
};

} // namespace

QString NormalizeAmount(const QString& input)
{
    if (input.isEmpty())
        return QStringLiteral("0.00");

    const QStringView s(input);
    const qsizetype len = s.size();
    qsizetype pos = 0;
    auto skipBlanks = [&] {
        while (pos < len && IsBlank(s[pos].unicode()))
            ++pos;
    };

    // Only the first two parts are kept; the count stops at three since more changes nothing.
    Part parts[2];
    int count = 0;

    skipBlanks();
    while (pos < len && count < 3) {
        Part* part = count < 2 ? &parts[count] : nullptr;
        if (s[pos] == u'"') {
            const qsizetype start = ++pos;
            bool doubled = false;
            while (pos < len) {
                if (s[pos] == u'"') {
                    if (pos + 1 < len && s[pos + 1] == u'"') {
                        doubled = true;
                        pos += 2;
                        continue;
                    }
                    break;
                }
                ++pos;
            }
            if (part) {
                part->text = s.sliced(start, pos - start);
                if (doubled) {
                    part->unescaped = part->text.toString().replace(QLatin1StringView("\"\""),
                                                                    QLatin1StringView("\""));
                    part->owned = true;
                }
            }
            if (pos < len)
                ++pos; // closing quote
        } else {
            const qsizetype start = pos;
            while (pos < len && s[pos] != u'.' && !IsBlank(s[pos].unicode()))
                ++pos;
            if (part)
                part->text = s.sliced(start, pos - start);
        }
        ++count;

        skipBlanks();
        if (pos < len && s[pos] == u'.') {
            if (pos == len - 1)
                ++count; // a final point opens an empty part; parts[1] is already empty
            ++pos;
            skipBlanks();
        }
    }

    if (count == 0)
        throw EEmptyAmount();
    if (count == 1) {
        QString result;
        result.reserve(input.size() + 3);
        result.append(input);
        result.append(u".00");
        return result;
    }

    const QStringView whole = parts[0].View();
    const QStringView fraction = parts[1].View();
    if (count == 2 && fraction.size() == 2)
        return input;

    QString result;
    result.reserve(whole.size() + 1 + std::max<qsizetype>(fraction.size(), 2));
    result.append(whole);
    result.append(u'.');
    if (count > 2) {
        result.append(fraction);
    } else if (fraction.size() > 2) {
        result.append(fraction.first(2));
    } else {
        result.append(fraction);
        for (qsizetype i = fraction.size(); i < 2; ++i)
            result.append(u'0');
    }
    return result;
}

namespace {

constexpr bool IsGroupSeparator(char16_t c)
{
    return c == u' ' || c == u'\u00A0' || c == u'\u202F';
}

constexpr bool IsBlankAround(char16_t c)
{
    return IsBlank(c) || c == u'\u00A0' || c == u'\u202F';
}

// Digits with at most one point after the first digit: NormalizeAmount reads it as it is.
bool IsPlainAmount(QStringView s)
{
    qsizetype i = s.startsWith(u'-') || s.startsWith(u'+') ? 1 : 0;
    if (i == s.size() || !IsDigit(s[i].unicode()))
        return false;
    bool point = false;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (c == u'.' && !point)
            point = true;
        else if (!IsDigit(c))
            return false;
    }
    return true;
}

} // namespace

QString ReadWrittenAmount(const QString& input)
{
    if (IsPlainAmount(input))
        return NormalizeAmount(input);

    QStringView s(input);
    while (!s.isEmpty() && IsBlankAround(s.front().unicode()))
        s = s.sliced(1);
    while (!s.isEmpty() && IsBlankAround(s.back().unicode()))
        s.chop(1);
    if (s.isEmpty()) {
        if (input.isEmpty())
            return NormalizeAmount(input);
        throw EEmptyAmount();
    }

    QString plain;
    plain.reserve(s.size() + 1);
    qsizetype i = 0;
    if (s[0] == u'-' || s[0] == u'+')
        plain.append(s[i++]);

    // The integer digits: whole, or a group of one to three and then groups of three.
    qsizetype digits = 0;
    qsizetype run = 0;
    bool grouped = false;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (IsDigit(c)) {
            plain.append(QChar(c));
            ++run;
        } else if (IsGroupSeparator(c)) {
            if (run == 0 || run > 3 || (grouped && run != 3))
                return QString();
            grouped = true;
            digits += run;
            run = 0;
        } else {
            break;
        }
    }
    if (grouped && run != 3)
        return QString();
    digits += run;
    if (i < s.size()) {
        if (s[i] != u'.' && s[i] != u',')
            return QString();
        if (digits == 0)
            plain.append(u'0');
        plain.append(u'.');
        for (++i; i < s.size(); ++i) {
            if (!IsDigit(s[i].unicode()))
                return QString();
            plain.append(s[i]);
            ++digits;
        }
    }
    if (digits == 0)
        return QString();
    return NormalizeAmount(plain);
}

QString TriadToWords(int value, int group)
{
    if (value < 0 || value > 999)
        throw EConvertError(QStringLiteral("Число %1 не укладывается в три цифры").arg(value));
    if (group < 0 || group > 6)
        throw EConvertError(QStringLiteral("Разряд %1 вне диапазона 0..6").arg(group));

    QString text = HundredWords[value / 100].toString();
    if (value == 0)
        return text;

    const int tens = value % 100 / 10;
    const int units = value % 10;
    if (tens == 1) {
        text += NumberWords[value % 100];
        text += ScaleWords[group];
        if (group >= 2)
            text += u"ов";
        return text;
    }

    text += TenWords[tens];
    if (units == 1)
        text += group == 1 ? u" одна" : u" один";
    else if (units == 2)
        text += group == 1 ? u" две" : u" два";
    else if (units >= 3)
        text += NumberWords[units];
    text += ScaleWords[group];

    if (units == 1) {
        if (group == 1)
            text += u'а';
    } else if (units >= 2 && units <= 4) {
        if (group == 1)
            text += u'и';
        else if (group >= 2)
            text += u'а';
    } else if (group >= 2) {
        text += u"ов";
    }
    return text;
}

QString AmountToWords(const QString& text)
{
    QStringView digits(text);
    const bool negative = digits.startsWith(u'-');
    if (negative)
        digits = digits.sliced(1);
    if ((negative && digits.isEmpty()) ||
        !std::all_of(digits.begin(), digits.end(), [](QChar c) { return IsDigit(c.unicode()); }))
        throw EConvertError(QStringLiteral("Сумма «%1» не является целым числом").arg(text));

    if (digits.isEmpty() || digits == u"0")
        return QStringLiteral("ноль");

    const qsizetype groups = (digits.size() + 2) / 3;
    if (groups > 7)
        return QStringLiteral("Value is too large");

    // Groups from the highest; the highest may be short of three digits.
    QString words;
    qsizetype start = 0;
    qsizetype end = digits.size() - 3 * (groups - 1);
    for (qsizetype group = groups - 1; group >= 0; --group) {
        int value = 0;
        for (qsizetype i = start; i < end; ++i)
            value = value * 10 + (digits[i].unicode() - u'0');
        words += TriadToWords(value, int(group));
        start = end;
        end += 3;
    }

    if (words.isEmpty())
        return words; // all zeros: "00" and the like
    words.remove(0, 1);
    if (negative)
        words.prepend(u"минус ");
    return words;
}

} // namespace Amount
