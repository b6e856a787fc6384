#pragma once

#include "core/Exception.h"

#include <QString>
#include <QStringView>

// An amount text made only of whitespace: there is nothing to read.
class EEmptyAmount : public EConvertError
{
public:
    EEmptyAmount();
};

namespace Amount {

// Brings an amount text to "<integer part>.<two decimals>" ("1500" -> "1500.00").
// Cuts extra decimals without rounding; checks neither digits nor length.
// Throws EEmptyAmount for a text made only of whitespace.
QString NormalizeAmount(const QString& text);

// Reads an amount written the Russian way or the stored way: a sign, the integer digits whole
// or in groups of three split by a space or a no-break space, then a comma or a point and the
// decimals ("1 500,50", "0,75", "1500.5"). Gives NormalizeAmount of its plain form
// ("1500.50"; "" gives "0.00"); blanks around the number are dropped. A null string for a
// text that is no such number ("1.2.3", "12 50", "abc"). Throws EEmptyAmount for a text
// made only of whitespace, as NormalizeAmount does.
QString ReadWrittenAmount(const QString& text);

// Russian cardinal words, lower case, for a string of decimal digits ("21" -> "двадцать один").
// A leading minus gives "минус ..."; any other non-digit throws EConvertError.
QString AmountToWords(const QString& digits);

// Words for one group of three digits (0..999) at scale group 0..6 (0 units, 1 thousands, ...),
// with a leading space; empty for 0. Throws EConvertError outside those ranges.
QString TriadToWords(int value, int group);

// Word tables; every non-empty entry begins with one space.
extern const QStringView HundredWords[10]; // by hundreds digit
extern const QStringView TenWords[10];     // by tens digit, 2..9 filled
extern const QStringView ScaleWords[7];    // by group of three digits

// Words for 3..19, read as NumberWords[n].
class NumberWordTable
{
public:
    static constexpr int First = 3;
    static constexpr int Last = 19;

    // Throws std::out_of_range outside First..Last.
    QStringView operator[](int n) const;

private:
    static const QStringView m_words[Last - First + 1];
};

extern const NumberWordTable NumberWords;

} // namespace Amount
