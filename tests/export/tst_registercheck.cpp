#include <QTest>

#include "export/RegisterCheck.h"

using ExportData::ExportRows;

namespace {

const QString Alpha = QStringLiteral("Альфа");
const QString Beta = QStringLiteral("Бета");
const QString Good = QStringLiteral("40817810000000000001");

// Альфа with the given data and Бета with sound data; rows "org|fio|accnt|amount",
// unlisted "fio|org".
ExportRows Rows(const QString& accnt, const QString& contract, const QString& crnc,
                const QStringList& rows, const QStringList& unlisted = {})
{
    ExportRows result;
    result.organisations = {{Alpha, accnt, {}, {}, {}, contract, crnc},
                            {Beta,
                             QStringLiteral("40702810000000000002"),
                             {},
                             {},
                             {},
                             QStringLiteral("22"),
                             QStringLiteral("RUR")}};
    result.listed.resize(2);
    for (const QString& row : rows) {
        const QStringList f = row.split(QLatin1Char('|'));
        result.listed[f[0] == Beta ? 1 : 0].append({f[1], f[2], f[3]});
    }
    for (const QString& row : unlisted)
        result.unlisted.append(
            {row.section(QLatin1Char('|'), 0, 0), row.section(QLatin1Char('|'), 1)});
    return result;
}

ExportRows Sound(const QStringList& rows, const QStringList& unlisted = {})
{
    return Rows(QStringLiteral("40702810000000000001"), QStringLiteral("11"), QStringLiteral("RUR"),
                rows, unlisted);
}

} // namespace

class TestRegisterCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findings_data();
    void findings();
    void question_data();
    void question();
};

void TestRegisterCheck::findings_data()
{
    QTest::addColumn<ExportRows>("rows");
    QTest::addColumn<QStringList>("expected");
    const QString ivanov = QStringLiteral("«ИВАНОВ» (организация «Альфа»): ");

    QTest::newRow("sound register")
        << Sound({"Альфа|ИВАНОВ|" + Good + "|100.00", "Бета|ИВАНОВ|" + Good + "|1",
                  "Альфа|SMITH|" + QStringLiteral("40817810000000000002") + "|1"})
        << QStringList();
    QTest::newRow("19 digits") << Sound({"Альфа|ИВАНОВ|4081781000000000000|1"})
                               << QStringList{ivanov + "счёт «4081781000000000000» — не 20 цифр"};
    QTest::newRow("euro account, RUR organisation")
        << Sound({"Альфа|ИВАНОВ|40817978000000000001|1"})
        << QStringList{ivanov + "счёт «40817978000000000001» в валюте 978, а у организации — 810"};
    QTest::newRow("rouble account, 978 organisation")
        << Rows("40702978000000000001", "11", "978", {"Альфа|ИВАНОВ|" + Good + "|1"})
        << QStringList{ivanov + "счёт «" + Good + "» в валюте 810, а у организации — 978"};
    QTest::newRow("one account, two names")
        << Sound({"Альфа|ИВАНОВ|" + Good + "|1", "Альфа|ПЕТРОВ|" + Good + "|2"})
        << QStringList{"«ПЕТРОВ» (организация «Альфа»): счёт «" + Good + "» уже указан у «ИВАНОВ»"};
    QTest::newRow("one account, the same name twice")
        << Sound({"Альфа|ИВАНОВ|" + Good + "|1", "Альфа|ИВАНОВ|" + Good + "|2"})
        << QStringList{ivanov + "счёт «" + Good + "» указан дважды"};
    QTest::newRow("zero") << Sound({"Альфа|ИВАНОВ|" + Good + "| 0.00"})
                          << QStringList{ivanov + "сумма « 0.00» равна нулю"};
    QTest::newRow("below zero") << Sound({"Альфа|ИВАНОВ|" + Good + "|-0.01"})
                                << QStringList{ivanov + "сумма «-0.01» меньше нуля"};
    QTest::newRow("unreadable amount is left to the amount check")
        << Sound({"Альфа|ИВАНОВ|" + Good + "|12,5"}) << QStringList();
    QTest::newRow("Latin letters in a Cyrillic name")
        << Sound({"Альфа|ИВAНОВ ИВAН Cергеевич|" + Good + "|1"})
        << QStringList{"«ИВAНОВ ИВAН Cергеевич» (организация «Альфа»): в имени смешаны "
                       "кириллица и латиница (латинские буквы: A, C)"};
    const QString longName =
        QStringLiteral("КОНСТАНТИНОПОЛЬСКИЙ-ВЕРХНЕВОЛЖСКИЙ АЛЕКСАНДР ВЛАДИМИРОВИЧ");
    QTest::newRow("a long name is cut")
        << Sound({"Альфа|" + longName + "|1|1"})
        << QStringList{"«КОНСТАНТИНОПОЛЬСКИЙ-ВЕРХНЕВОЛЖСКИЙ АЛЕК…» (организация «Альфа»): "
                       "счёт «1» — не 20 цифр"};
    QTest::newRow("organisation's account and agreement")
        << Rows("4070281000000000000", " ", "RUR", {"Альфа|ИВАНОВ|" + Good + "|1"})
        << QStringList{"Организация «Альфа»: счёт организации «4070281000000000000» — не 20 цифр",
                       "Организация «Альфа»: не указан номер зарплатного соглашения"};
    QTest::newRow("ticked employees outside every register")
        << Sound({}, {"ИВАНОВ|", "ПЕТРОВ|альфа", "СИДОРОВ|", "ФЕДОРОВ|"})
        << QStringList{"Отмечены, но не войдут ни в один реестр (организация не указана или её "
                       "нет в списке): 4 — «ИВАНОВ» (без организации), «ПЕТРОВ» (организация "
                       "«альфа»), «СИДОРОВ» (без организации), …"};
    QTest::newRow("several, in the register's order")
        << Rows("40702810000000000001", "", "RUB",
                {"Альфа|ИВАНОВ|1|0", "Бета|ПЕТРОВ|" + Good + "|-5", "Бета|ПЕТРOВ|" + Good + "|5"},
                {"ФЕДОРОВ|"})
        << QStringList{"Отмечены, но не войдут ни в один реестр (организация не указана или её "
                       "нет в списке): 1 — «ФЕДОРОВ» (без организации)",
                       "Организация «Альфа»: не указан номер зарплатного соглашения",
                       ivanov + "счёт «1» — не 20 цифр",
                       ivanov + "сумма «0» равна нулю",
                       "«ПЕТРОВ» (организация «Бета»): сумма «-5» меньше нуля",
                       "«ПЕТРOВ» (организация «Бета»): счёт «" + Good + "» уже указан у «ПЕТРОВ»",
                       "«ПЕТРOВ» (организация «Бета»): в имени смешаны кириллица и латиница "
                       "(латинские буквы: O)"};
}

void TestRegisterCheck::findings()
{
    QFETCH(ExportRows, rows);
    QFETCH(QStringList, expected);
    QCOMPARE(RegisterCheck::Findings(rows), expected);
}

void TestRegisterCheck::question_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("expected");
    QStringList twenty;
    for (int i = 1; i <= 20; ++i)
        twenty << QStringLiteral("находка %1").arg(i);
    const QString head = QStringLiteral("Перед выгрузкой проверьте:\n");
    const QString tail = QStringLiteral("\n\nПродолжить выгрузку?");
    QTest::newRow("none: no question") << 0 << QString();
    QTest::newRow("twenty, all named") << 20 << head + twenty.join(QLatin1Char('\n')) + tail;
    QTest::newRow("twenty-three, three counted")
        << 23 << head + twenty.join(QLatin1Char('\n')) + QStringLiteral("\nи ещё 3") + tail;
}

void TestRegisterCheck::question()
{
    QFETCH(int, count);
    QFETCH(QString, expected);
    QStringList findings;
    for (int i = 1; i <= count; ++i)
        findings << QStringLiteral("находка %1").arg(i);
    QCOMPARE(RegisterCheck::Question(findings), expected);
}

QTEST_MAIN(TestRegisterCheck)
#include "tst_registercheck.moc"
