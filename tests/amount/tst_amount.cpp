#include "amount/Amount.h"

#include <QTest>

#include <stdexcept>

using namespace Amount;

class TestAmount : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void normalize_data();
    void normalize();
    void normalizeBlank_data();
    void normalizeBlank();
    void readWritten_data();
    void readWritten();
    void words_data();
    void words();
    void wordsInvalid_data();
    void wordsInvalid();
    void triad_data();
    void triad();
    void triadRange_data();
    void triadRange();
    void numberWordsIndex();
};

void TestAmount::normalize_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    // clang-format off
    QTest::newRow("empty gives zero") << "" << "0.00";
    QTest::newRow("whole number") << "12" << "12.00";
    QTest::newRow("one decimal padded") << "12.5" << "12.50";
    QTest::newRow("trailing point") << "12." << "12.00";
    QTest::newRow("no integer part") << ".5" << ".50";
    QTest::newRow("point alone") << "." << ".00";
    QTest::newRow("two decimals kept") << "12.34" << "12.34";
    QTest::newRow("three decimals cut") << "12.345" << "12.34";
    QTest::newRow("cut without rounding") << "12.999" << "12.99";
    QTest::newRow("zero cut without rounding") << "0.999" << "0.99";
    QTest::newRow("three parts keep second as is") << "1.2.3" << "1.2";
    QTest::newRow("four parts") << "1.2.3.4" << "1.2";
    QTest::newRow("double point gives empty part") << "1..2" << "1.";
    QTest::newRow("final point adds third part") << "1.2." << "1.2";
    QTest::newRow("comma is no decimal mark") << "12,5" << "12,5.00";
    QTest::newRow("space splits like a point") << "12 5" << "12.50";
    QTest::newRow("tab splits like a point") << "12\t5" << "12.50";
    QTest::newRow("code 1 is whitespace") << QString::fromUtf16(u"12\u00015") << "12.50";
    QTest::newRow("nul is no whitespace") << QString::fromUtf16(u"12\u00005", 4) << QString::fromUtf16(u"12\u00005.00", 7);
    QTest::newRow("no-break space is no whitespace") << "12\u00A05" << "12\u00A05.00";
    QTest::newRow("spaces around point") << "12 . 5" << "12.50";
    QTest::newRow("two decimals return input as is") << "12 . 50" << "12 . 50";
    QTest::newRow("leading space kept in whole") << " 12" << " 12.00";
    QTest::newRow("trailing space kept in whole") << "12 " << "12 .00";
    QTest::newRow("point before space is not final") << "12. " << "12. .00";
    QTest::newRow("final point after space") << "12 ." << "12.00";
    QTest::newRow("grouping space gives three parts") << "1 234.56" << "1.234";
    QTest::newRow("leading zeros kept") << "007" << "007.00";
    QTest::newRow("letters not checked") << "abc" << "abc.00";
    QTest::newRow("normal form unchanged") << "0.00" << "0.00";
    QTest::newRow("leading space kept with two decimals") << " 1.50" << " 1.50";
    QTest::newRow("length not limited") << "123456789012345" << "123456789012345.00";
    QTest::newRow("quoted point does not split") << "\"1.5\"" << "\"1.5\".00";
    QTest::newRow("quotes dropped from parts") << "\"1\".5" << "1.50";
    QTest::newRow("quoted space does not split") << "\"1 2\".\"345\"" << "1 2.34";
    QTest::newRow("doubled quote is one quote") << "\"1\"\"2\".5" << "1\"2.50";
    QTest::newRow("fraction length counts unescaped") << "1.\"\"\"x\"" << "1.\"\"\"x\"";
    QTest::newRow("unclosed quote runs to end") << "\"12.5" << "\"12.5.00";
    QTest::newRow("lone quote is one empty part") << "\"" << "\".00";
    QTest::newRow("empty quoted part") << "\"\".5" << ".50";
    QTest::newRow("part after closing quote") << "\"1\"5" << "1.50";
    QTest::newRow("quote inside run is plain") << "1\"2.5\"" << "1\"2.5\"";
    QTest::newRow("leading space before quote") << " \"1\".5" << "1.50";
    // clang-format on
}

void TestAmount::normalize()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(NormalizeAmount(input), expected);
}

void TestAmount::normalizeBlank_data()
{
    QTest::addColumn<QString>("input");

    // clang-format off
    QTest::newRow("space") << " ";
    QTest::newRow("tab") << "\t";
    QTest::newRow("spaces and newline") << " \n ";
    QTest::newRow("control characters") << QString::fromUtf16(u"\u0001\u001F ");
    // clang-format on
}

void TestAmount::normalizeBlank()
{
    QFETCH(QString, input);
    // Read as written or normalised, a text of blanks is no amount at all.
    for (auto read : {&NormalizeAmount, &ReadWrittenAmount}) {
        try {
            read(input);
            QFAIL("no exception");
        } catch (const EEmptyAmount& e) {
            QCOMPARE(e.Message(), QStringLiteral("Сумма не указана"));
        }
    }
}

void TestAmount::readWritten_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected"); // null: not a number

    const QString none;
    // clang-format off
    QTest::newRow("empty gives zero") << "" << "0.00";
    QTest::newRow("stored form as is") << "1500.50" << "1500.50";
    QTest::newRow("comma is the decimal mark") << "1500,50" << "1500.50";
    QTest::newRow("comma with one decimal") << "0,75" << "0.75";
    QTest::newRow("comma with no decimals") << "12," << "12.00";
    QTest::newRow("comma without integer part") << ",5" << "0.50";
    QTest::newRow("point without integer part") << ".5" << "0.50";
    QTest::newRow("space between thousands") << "1 500.50" << "1500.50";
    QTest::newRow("spaces and comma") << "1 234 567,8" << "1234567.80";
    QTest::newRow("no-break space between thousands") << "1\u00A0500,50" << "1500.50";
    QTest::newRow("narrow no-break space") << "12\u202F000" << "12000.00";
    QTest::newRow("blanks around dropped") << " \u00A01 500,5\t " << "1500.50";
    QTest::newRow("minus kept") << "-1 500,5" << "-1500.50";
    QTest::newRow("three decimals cut after comma") << "2,999" << "2.99";
    QTest::newRow("two marks") << "1.2.3" << none;
    QTest::newRow("point and comma") << "1.500,50" << none;
    QTest::newRow("space as decimal mark") << "12 50" << none;
    QTest::newRow("group of four") << "1500 000" << none;
    QTest::newRow("short last group") << "1 50" << none;
    QTest::newRow("two spaces") << "1  500" << none;
    QTest::newRow("space in decimals") << "1,500 5" << none;
    QTest::newRow("letters") << "abc" << none;
    QTest::newRow("quoted") << "\"1\".5" << none;
    QTest::newRow("sign alone") << "-" << none;
    QTest::newRow("mark alone") << "," << none;
    QTest::newRow("space after sign") << "- 5" << none;
    // clang-format on
}

void TestAmount::readWritten()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    const QString read = ReadWrittenAmount(input);
    QCOMPARE(read.isNull(), expected.isNull());
    QCOMPARE(read, expected);
}

void TestAmount::words_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("expected");

    // clang-format off
    QTest::newRow("zero") << "0" << "ноль";
    QTest::newRow("empty is zero") << "" << "ноль";
    QTest::newRow("one") << "1" << "один";
    QTest::newRow("two") << "2" << "два";
    QTest::newRow("five") << "5" << "пять";
    QTest::newRow("leading zero") << "05" << "пять";
    QTest::newRow("eleven") << "11" << "одиннадцать";
    QTest::newRow("tens and one") << "21" << "двадцать один";
    QTest::newRow("hundred and one") << "101" << "сто один";
    QTest::newRow("hundred and ten") << "110" << "сто десять";
    QTest::newRow("units two stays masculine") << "1002" << "одна тысяча два";
    QTest::newRow("thousand") << "1000" << "одна тысяча";
    QTest::newRow("thousand and one") << "1001" << "одна тысяча один";
    QTest::newRow("two thousand") << "2000" << "две тысячи";
    QTest::newRow("three thousand") << "3000" << "три тысячи";
    QTest::newRow("five thousand") << "5000" << "пять тысяч";
    QTest::newRow("teen thousand") << "11000" << "одиннадцать тысяч";
    QTest::newRow("twenty one thousand") << "21000" << "двадцать одна тысяча";
    QTest::newRow("twenty two thousand") << "22000" << "двадцать две тысячи";
    QTest::newRow("seventy four thousand") << "74000" << "семьдесят четыре тысячи";
    QTest::newRow("hundred thousand") << "100000" << "сто тысяч";
    QTest::newRow("hundred eleven thousand") << "111000" << "сто одиннадцать тысяч";
    QTest::newRow("million") << "1000000" << "один миллион";
    QTest::newRow("two million") << "2000000" << "два миллиона";
    QTest::newRow("five million") << "5000000" << "пять миллионов";
    QTest::newRow("eight million") << "8000000" << "восемь миллионов";
    QTest::newRow("ten million") << "10000000" << "десять миллионов";
    QTest::newRow("eleven million") << "11000000" << "одиннадцать миллионов";
    QTest::newRow("million and one") << "1000001" << "один миллион один";
    QTest::newRow("million two thousand") << "2002000" << "два миллиона две тысячи";
    QTest::newRow("billion") << "1000000000" << "один миллиард";
    QTest::newRow("three billion") << "3000000000" << "три миллиарда";
    QTest::newRow("trillion") << "1000000000000" << "один триллион";
    QTest::newRow("two quadrillion") << "2000000000000000" << "два квадриллиона";
    QTest::newRow("quintillion") << "1000000000000000000" << "один квинтиллион";
    QTest::newRow("full groups") << "12345" << "двенадцать тысяч триста сорок пять";
    QTest::newRow("digits 1 to 9")
        << "123456789"
        << "сто двадцать три миллиона четыреста пятьдесят шесть тысяч семьсот восемьдесят девять";
    QTest::newRow("digits 9 to 1")
        << "987654321"
        << "девятьсот восемьдесят семь миллионов шестьсот пятьдесят четыре тысячи триста двадцать "
           "один";
    QTest::newRow("digits 2 to 0")
        << "234567890"
        << "двести тридцать четыре миллиона пятьсот шестьдесят семь тысяч восемьсот девяносто";
    QTest::newRow("teens 13 to 15")
        << "13014015" << "тринадцать миллионов четырнадцать тысяч пятнадцать";
    QTest::newRow("teens 16 to 19")
        << "16017018019"
        << "шестнадцать миллиардов семнадцать миллионов восемнадцать тысяч девятнадцать";
    QTest::newRow("21 nines")
        << QString(21, u'9')
        << "девятьсот девяносто девять квинтиллионов девятьсот девяносто девять квадриллионов "
           "девятьсот девяносто девять триллионов девятьсот девяносто девять миллиардов девятьсот "
           "девяносто девять миллионов девятьсот девяносто девять тысяч девятьсот девяносто девять";
    QTest::newRow("22 digits too large") << "1" + QString(21, u'0') << "Value is too large";
    QTest::newRow("length counts leading zeros") << "0" + QString(21, u'9') << "Value is too large";
    QTest::newRow("zero group is empty") << "00" << "";
    QTest::newRow("zero groups are empty") << "000000" << "";
    QTest::newRow("minus") << "-1234" << "минус одна тысяча двести тридцать четыре";
    QTest::newRow("minus zero has no sign") << "-0" << "ноль";
    QTest::newRow("minus zero groups") << "-000" << "";
    QTest::newRow("minus too large") << "-" + QString(22, u'1') << "Value is too large";
    // clang-format on
}

void TestAmount::words()
{
    QFETCH(QString, digits);
    QFETCH(QString, expected);
    QCOMPARE(AmountToWords(digits), expected);
}

void TestAmount::wordsInvalid_data()
{
    QTest::addColumn<QString>("digits");

    // clang-format off
    QTest::newRow("point") << "12.5";
    QTest::newRow("comma") << "12,5";
    QTest::newRow("letter") << "1a";
    QTest::newRow("leading space") << " 1";
    QTest::newRow("trailing space") << "1 ";
    QTest::newRow("plus") << "+1";
    QTest::newRow("minus inside") << "1-2";
    QTest::newRow("double minus") << "--1";
    QTest::newRow("minus alone") << "-";
    QTest::newRow("minus then space") << "- 1";
    QTest::newRow("arabic-indic digit") << "\u0661";
    QTest::newRow("fullwidth digit") << "\uFF11";
    QTest::newRow("bad char beyond 21 digits") << QString(22, u'1') + "x";
    // clang-format on
}

void TestAmount::wordsInvalid()
{
    QFETCH(QString, digits);
    try {
        AmountToWords(digits);
        QFAIL("no exception");
    } catch (const EConvertError& e) {
        QCOMPARE(e.Message(), QStringLiteral("Сумма «%1» не является целым числом").arg(digits));
    }
}

void TestAmount::triad_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("group");
    QTest::addColumn<QString>("expected");

    // clang-format off
    QTest::newRow("zero has no scale word") << 0 << 3 << "";
    QTest::newRow("one unit") << 1 << 0 << " один";
    QTest::newRow("one thousand") << 1 << 1 << " одна тысяча";
    QTest::newRow("two thousand") << 2 << 1 << " две тысячи";
    QTest::newRow("twenty one million") << 21 << 2 << " двадцать один миллион";
    QTest::newRow("hundred thousand") << 100 << 1 << " сто тысяч";
    QTest::newRow("teen quintillion") << 512 << 6 << " пятьсот двенадцать квинтиллионов";
    QTest::newRow("four quadrillion") << 4 << 5 << " четыре квадриллиона";
    QTest::newRow("largest unit triad") << 999 << 0 << " девятьсот девяносто девять";
    // clang-format on
}

void TestAmount::triad()
{
    QFETCH(int, value);
    QFETCH(int, group);
    QFETCH(QString, expected);
    QCOMPARE(TriadToWords(value, group), expected);
}

void TestAmount::triadRange_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("group");

    // clang-format off
    QTest::newRow("negative value") << -1 << 0;
    QTest::newRow("four digits") << 1000 << 0;
    QTest::newRow("negative group") << 1 << -1;
    QTest::newRow("group past quintillion") << 1 << 7;
    QTest::newRow("zero in bad group") << 0 << 7;
    // clang-format on
}

void TestAmount::triadRange()
{
    QFETCH(int, value);
    QFETCH(int, group);
    QVERIFY_THROWS_EXCEPTION(EConvertError, TriadToWords(value, group));
}

void TestAmount::numberWordsIndex()
{
    QCOMPARE(NumberWords[3], QStringView(u" три"));
    QCOMPARE(NumberWords[19], QStringView(u" девятнадцать"));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, NumberWords[2]);
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, NumberWords[20]);
}

QTEST_GUILESS_MAIN(TestAmount)
#include "tst_amount.moc"
