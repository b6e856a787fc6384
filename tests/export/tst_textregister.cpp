#include <QBuffer>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "export/AtomicFileWriter.h"
#include "export/ExportData.h"
#include "export/TextRegister.h"
#include "storage/views/TSession.h"
#include "tests/export/ExportTestKit.h"
#include "tests/support/TempDataFolder.h"

using ExportData::ListedEmployee;
using ExportData::Money;
using ExportData::Organisation;

Q_DECLARE_METATYPE(Organisation)
Q_DECLARE_METATYPE(QList<ListedEmployee>)

namespace {

Organisation Org(const QString& name, const QString& accnt, const QString& contract)
{
    Organisation org;
    org.Organization120 = name;
    org.Accnt = accnt;
    org.Contract = contract;
    return org;
}

QByteArray RegisterBytes(const Organisation& org, const QList<ListedEmployee>& employees)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    TextRegister::Write(buffer, org, employees);
    return buffer.data();
}

} // namespace

class TestTextRegister : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readAmount_data();
    void readAmount();
    void unreadableAmountNamesEmployeeAndText_data();
    void unreadableAmountNamesEmployeeAndText();
    void totalIsExactInDecimal();
    void totalOutOfRangeIsAnError();
    void fileTagRemovesTheNineCharacters_data();
    void fileTagRemovesTheNineCharacters();
    void outputFilesNeitherClashNorOverflow_data();
    void outputFilesNeitherClashNorOverflow();

    void goldenFiles_data();
    void goldenFiles();
    void totalStartsAtThe65thCharacter_data();
    void totalStartsAtThe65thCharacter();
    void fieldThatWouldCorruptTheRegisterStopsIt_data();
    void fieldThatWouldCorruptTheRegisterStopsIt();
    void unreadableAmountWritesNothing();
    void twentyUnreadableAmountsNamedThenHowManyMore();

    void listedEmployeesGroupedInOnePass();

    void atomicWriteReplacesOnlyWhenComplete();
    void atomicWriteIntoMissingFolderNamesThePath();
};

void TestTextRegister::readAmount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("cents");
    QTest::newRow("normalised") << "1500.00" << qint64(150000);
    QTest::newRow("whole number") << "12" << qint64(1200);
    QTest::newRow("trailing point") << "12." << qint64(1200);
    QTest::newRow("leading point") << ".5" << qint64(50);
    QTest::newRow("blanks around") << "  7.25 " << qint64(725);
    QTest::newRow("minus") << "-5" << qint64(-500);
    QTest::newRow("plus") << "+0.01" << qint64(1);
    QTest::newRow("leading zeros") << "007.00" << qint64(700);
    QTest::newRow("third decimal rounds half up") << "0.125" << qint64(13);
    QTest::newRow("third decimal below half") << "0.124999" << qint64(12);
    QTest::newRow("negative half away from zero") << "-0.125" << qint64(-13);
    QTest::newRow("rounding carries") << "9.995" << qint64(1000);
    QTest::newRow("fifteen digits") << "999999999999999" << qint64(99999999999999900);
}

void TestTextRegister::readAmount()
{
    QFETCH(QString, text);
    QFETCH(qint64, cents);
    QCOMPARE(ExportData::ReadAmount(text, QStringLiteral("ИВАНОВ")).Cents(), cents);
}

void TestTextRegister::unreadableAmountNamesEmployeeAndText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("comma") << "12,5.00";
    QTest::newRow("empty") << "";
    QTest::newRow("blanks only") << "   ";
    QTest::newRow("sign only") << "-";
    QTest::newRow("point only") << ".";
    QTest::newRow("two points") << "1.2.3";
    QTest::newRow("letters") << "abc.00";
    QTest::newRow("blank inside") << "1 234.56";
    QTest::newRow("sign after blank inside") << "- 5";
    QTest::newRow("exponent") << "1e3";
    QTest::newRow("too many digits") << "12345678901234567.00";
}

void TestTextRegister::unreadableAmountNamesEmployeeAndText()
{
    QFETCH(QString, text);
    const QString name = QStringLiteral("ПЕТРОВ ПЕТР");
    try {
        ExportData::ReadAmount(text, name);
        QFAIL("no error");
    } catch (const EConvertError& error) {
        QVERIFY2(error.Message().contains(name), qPrintable(error.Message()));
        QVERIFY2(error.Message().contains(QStringLiteral("«") + text + QStringLiteral("»")),
                 qPrintable(error.Message()));
    }
}

void TestTextRegister::totalIsExactInDecimal()
{
    // 0.10 three hundred thousand times is 30000.00 exactly; a binary sum drifts from it.
    Money sum;
    const Money dime = ExportData::ReadAmount(QStringLiteral("0.10"), {});
    for (int i = 0; i < 300000; ++i)
        sum += dime;
    QCOMPARE(sum.toString(), QStringLiteral("30000.00"));

    sum = ExportData::ReadAmount(QStringLiteral("0.01"), {}) +
          ExportData::ReadAmount(QStringLiteral("-5.01"), {});
    QCOMPARE(sum.toString(), QStringLiteral("-5.00"));
    QCOMPARE(Money().toString(), QStringLiteral("0.00"));
    QCOMPARE(Money::FromCents(-7).toString(), QStringLiteral("-0.07"));
    QCOMPARE(Money::FromCents(123456).toString(), QStringLiteral("1234.56"));
}

void TestTextRegister::totalOutOfRangeIsAnError()
{
    Money sum = Money::FromCents(std::numeric_limits<qint64>::max() - 1);
    QVERIFY_THROWS_EXCEPTION(EConvertError, sum += Money::FromCents(2));
    QCOMPARE(sum.Cents(), std::numeric_limits<qint64>::max() - 1);
}

void TestTextRegister::fileTagRemovesTheNineCharacters_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("tag");
    QTest::newRow("plain") << "ООО Пример"
                           << "_ООО Пример";
    QTest::newRow("all nine") << "a/b\\c:d*e?f<g>h|i\"j"
                              << "_abcdefghij";
    QTest::newRow("only removed characters") << "/\\:*?<>|\""
                                             << "_";
    QTest::newRow("repeated quotes") << "ООО \"Ромашка\""
                                     << "_ООО Ромашка";
    QTest::newRow("spaces and dots stay") << " А. Б ."
                                          << "_ А. Б .";
    QTest::newRow("no length limit")
        << QString(120, QLatin1Char('x')) << QLatin1Char('_') + QString(120, QLatin1Char('x'));
}

void TestTextRegister::fileTagRemovesTheNineCharacters()
{
    QFETCH(QString, name);
    QFETCH(QString, tag);
    QCOMPARE(ExportData::FileTag(name), tag);
}

void TestTextRegister::outputFilesNeitherClashNorOverflow_data()
{
    QTest::addColumn<QString>("stem");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("files"); // "*" marks a renamed one

    const QString statement = QStringLiteral("Ведомость");
    const QString long117 = QString(117, QChar(u'Ж'));
    // "Ведомость_" and ".doc" leave 225 of the 248 bytes: 112 two-byte letters.
    QTest::newRow("cleaned names clash") << "list" << QStringList{"ООО \"Альфа\"", "ООО Альфа"}
                                         << QStringList{"list_ООО Альфа", "*list_ООО Альфа (2)"};
    QTest::newRow("case ignored, numbered on")
        << "list" << QStringList{"А/Б", "АБ", "аб"}
        << QStringList{"list_АБ", "*list_АБ (2)", "*list_аб (3)"};
    QTest::newRow("a number taken by a name")
        << "list" << QStringList{"Х", "Х?", "Х (2)"}
        << QStringList{"list_Х", "*list_Х (2)", "*list_Х (2) (2)"};
    QTest::newRow("long name cut to fit")
        << statement << QStringList{long117} << QStringList{"*Ведомость_" + long117.left(112)};
    QTest::newRow("clash after the cut")
        << statement << QStringList{long117, long117.left(116) + "Я"}
        << QStringList{"*Ведомость_" + long117.left(112),
                       "*Ведомость_" + long117.left(110) + " (2)"};
    QTest::newRow("surrogate pair cut whole")
        << statement << QStringList{QString(111, QChar(u'Ж')) + "😀"}
        << QStringList{"*Ведомость_" + QString(111, QChar(u'Ж'))};
}

void TestTextRegister::outputFilesNeitherClashNorOverflow()
{
    QFETCH(QString, stem);
    QFETCH(QStringList, names);
    QFETCH(QStringList, files);
    const QString ending = stem == QLatin1String("list") ? ".txt" : ".doc";
    QList<Organisation> orgs;
    for (const QString& name : names)
        orgs << Org(name, {}, {});
    QStringList made;
    for (const ExportData::OutputFile& file :
         ExportData::OutputFiles(ExportData::AllOrganizations, orgs, [&](const QString& tag) {
             return "/out/" + stem + tag + ending;
         })) {
        QVERIFY(file.path.endsWith(ending));
        made << (file.renamed ? "*" : "") + file.path.mid(5).chopped(4);
    }
    QCOMPARE(made, files);
}

void TestTextRegister::goldenFiles_data()
{
    QTest::addColumn<QString>("golden");
    QTest::addColumn<Organisation>("org");
    QTest::addColumn<QList<ListedEmployee>>("employees");

    QTest::newRow("two employees")
        << "register_two_employees.txt"
        << Org(QStringLiteral("ООО Пример"), QStringLiteral("40702810900000000001"),
               QStringLiteral("17"))
        << QList<ListedEmployee>{
               {QStringLiteral("ИВАНОВ ИВАН ИВАНОВИЧ"), QStringLiteral("40817810100000000001"),
                QStringLiteral("1500.00")},
               {QStringLiteral("ПЕТРОВ ПЕТР"), QStringLiteral("40817810100000000002"),
                QStringLiteral("2250.50")}};
    QTest::newRow("nobody listed")
        << "register_nobody_listed.txt"
        << Org(QStringLiteral("ЗАО Ромашка"), QStringLiteral("40702810000000000002"),
               QStringLiteral("5"))
        << QList<ListedEmployee>{};
    QTest::newRow("negative total")
        << "register_negative_total.txt"
        << Org(QStringLiteral("ИП Кузнецов"), QStringLiteral("40702810500000000003"),
               QStringLiteral("8"))
        << QList<ListedEmployee>{{QStringLiteral("КУЗНЕЦОВА МАРИЯ"),
                                  QStringLiteral("40817810100000000003"), QStringLiteral("50.00")},
                                 {QStringLiteral("СОКОЛОВ ОЛЕГ"),
                                  QStringLiteral("40817810100000000004"),
                                  QStringLiteral("-100.25")}};
    QTest::newRow("cyrillic in every field")
        << "register_cyrillic_everywhere.txt"
        << Org(QStringLiteral("ООО «Ёлочка и Щит»"), QStringLiteral("СЧЁТ №7-Б"),
               QStringLiteral("ДОГОВОР Ж-12/ё"))
        << QList<ListedEmployee>{
               {QStringLiteral("ЁЖИКОВ ЩУКА ЭДУАРДОВИЧ"), QStringLiteral("СЧЁТ-Ъ-ЯЮ"),
                QStringLiteral("1.05")},
               {QStringLiteral("ЮЩЕНКО ЫЛЬЯ"), QStringLiteral("Л/С №15"), QStringLiteral("0.10")}};
}

void TestTextRegister::goldenFiles()
{
    QFETCH(QString, golden);
    QFETCH(Organisation, org);
    QFETCH(QList<ListedEmployee>, employees);
    const QByteArray expected = ReadBytes(TestDataPath(golden));
    QVERIFY(!expected.isEmpty());
    QCOMPARE(RegisterBytes(org, employees), expected);
}

void TestTextRegister::totalStartsAtThe65thCharacter_data()
{
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QByteArray>("total");
    QTest::newRow("zero") << "0.00" << QByteArray("0.00");
    QTest::newRow("negative cents") << "-0.07" << QByteArray("-0.07");
    QTest::newRow("fifteen digits") << "999999999999999" << QByteArray("999999999999999.00");
}

void TestTextRegister::totalStartsAtThe65thCharacter()
{
    QFETCH(QString, amount);
    QFETCH(QByteArray, total);
    const QByteArray bytes =
        RegisterBytes(Org(QStringLiteral("А"), QStringLiteral("1"), QStringLiteral("2")),
                      {{QStringLiteral("Б"), QStringLiteral("3"), amount}});
    QVERIFY(bytes.endsWith("\r\n"));
    const QByteArray last = bytes.chopped(2).mid(bytes.chopped(2).lastIndexOf("\r\n") + 2);
    QCOMPARE(last.left(6), QStringEncoder("windows-1251").encode(QStringLiteral("Итого:")));
    QCOMPARE(last.mid(6, 58), QByteArray(58, ' '));
    QCOMPARE(last.mid(64), total);
}

void TestTextRegister::fieldThatWouldCorruptTheRegisterStopsIt_data()
{
    QTest::addColumn<QString>("orgName");
    QTest::addColumn<QString>("orgAccnt");
    QTest::addColumn<QString>("orgContract");
    QTest::addColumn<QString>("fio");
    QTest::addColumn<QString>("accnt");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("named");
    QTest::addColumn<QString>("field");

    const QString org = QStringLiteral("ООО Пример");
    const QString fio = QStringLiteral("ИВАНОВ");
    QTest::newRow("semicolon in name") << org << "1"
                                       << "2"
                                       << "ИВАНОВ;1;99999.00"
                                       << "3"
                                       << "1.00"
                                       << "ИВАНОВ;1;99999.00"
                                       << "ФИО";
    QTest::newRow("line break in name") << org << "1"
                                        << "2"
                                        << "ИВАНОВ\r\nЧУЖОЙ;4;9.00"
                                        << "3"
                                        << "1.00"
                                        << "ЧУЖОЙ"
                                        << "ФИО";
    QTest::newRow("tab in account") << org << "1"
                                    << "2" << fio << "40817\t810"
                                    << "1.00" << fio << "Счет";
    QTest::newRow("line separator in account") << org << "1"
                                               << "2" << fio << "40817\u2028810"
                                               << "1.00" << fio << "Счет";
    QTest::newRow("semicolon in amount") << org << "1"
                                         << "2" << fio << "3"
                                         << "1;00" << fio << "Сумма";
    QTest::newRow("outside the code page in name") << org << "1"
                                                   << "2"
                                                   << "ИВАНОВ Ω"
                                                   << "3"
                                                   << "1.00"
                                                   << "Ω"
                                                   << "ФИО";
    QTest::newRow("outside the basic plane in name") << org << "1"
                                                     << "2"
                                                     << "ИВАНОВ 😀"
                                                     << "3"
                                                     << "1.00"
                                                     << "«😀»"
                                                     << "ФИО";
    QTest::newRow("semicolon in organisation name") << "ООО А;Б"
                                                    << "1"
                                                    << "2" << fio << "3"
                                                    << "1.00"
                                                    << "ООО А;Б"
                                                    << "Название организации";
    QTest::newRow("line break in organisation account") << org << "1\n2"
                                                        << "2" << fio << "3"
                                                        << "1.00" << org << "Расчетный счет";
    QTest::newRow("outside the code page in contract") << org << "1"
                                                       << "№ 中" << fio << "3"
                                                       << "1.00"
                                                       << "中"
                                                       << "Номер зарплатного соглашения";
}

void TestTextRegister::fieldThatWouldCorruptTheRegisterStopsIt()
{
    QFETCH(QString, orgName);
    QFETCH(QString, orgAccnt);
    QFETCH(QString, orgContract);
    QFETCH(QString, fio);
    QFETCH(QString, accnt);
    QFETCH(QString, amount);
    QFETCH(QString, named);
    QFETCH(QString, field);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const QList<ListedEmployee> employees = {
        {QStringLiteral("АНДРЕЕВ"), QStringLiteral("5"), QStringLiteral("2.00")},
        {fio, accnt, amount}};
    try {
        TextRegister::Write(buffer, Org(orgName, orgAccnt, orgContract), employees);
        QFAIL("the register was written");
    } catch (const EInvalidRegisterText& error) {
        QVERIFY2(error.Message().contains(named), qPrintable(error.Message()));
        QVERIFY2(error.Message().contains(QStringLiteral("«") + field + QStringLiteral("»")),
                 qPrintable(error.Message()));
    }
    QCOMPARE(buffer.size(), 0);
}

void TestTextRegister::unreadableAmountWritesNothing()
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVERIFY_THROWS_EXCEPTION(
        EConvertError,
        TextRegister::Write(
            buffer, Org(QStringLiteral("А"), QStringLiteral("1"), QStringLiteral("2")),
            {{QStringLiteral("Б"), QStringLiteral("3"), QStringLiteral("1.00")},
             {QStringLiteral("В"), QStringLiteral("4"), QStringLiteral("12,5.00")}}));
    QCOMPARE(buffer.size(), 0);
}

void TestTextRegister::twentyUnreadableAmountsNamedThenHowManyMore()
{
    ExportData::ExportRows rows{
        {Org(QStringLiteral("Альфа"), "1", "1"), Org(QStringLiteral("Бета"), "2", "2")}, {{}, {}}};
    for (int i = 1; i <= 30; ++i) // odd ones in Альфа; the first 23 unreadable
        rows.listed[(i - 1) % 2].append({QStringLiteral("Р%1").arg(i), QStringLiteral("4081"),
                                         i <= 23 ? QStringLiteral("1,%1").arg(i) : "1.00"});
    try {
        ExportData::CheckAmounts(rows);
        QFAIL("read");
    } catch (const EConvertError& error) {
        const QStringList lines = error.Message().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 22);
        // Organisation by organisation: Альфа's twelve, then Бета's.
        QCOMPARE(lines[20], QStringLiteral("«Р16» (организация «Бета»): «1,16»"));
        QCOMPARE(lines[21], QStringLiteral("и ещё 3"));
    }
}

void TestTextRegister::listedEmployeesGroupedInOnePass()
{
    TempDataFolder folder;
    {
        ExportViews views;
        const QString alpha = QStringLiteral("Альфа");
        const QString beta = QStringLiteral("Бета");
        views.AddEmployee(QStringLiteral("ЯКОВЛЕВ"), QStringLiteral("1"), alpha,
                          QStringLiteral("1.00"));
        views.AddEmployee(QStringLiteral("АНТОНОВ"), QStringLiteral("2"), alpha,
                          QStringLiteral("2.00"));
        views.AddEmployee(QStringLiteral("АНТОНОВ"), QStringLiteral("1"), alpha,
                          QStringLiteral("3.00"));
        views.AddEmployee(QStringLiteral("БОРИСОВ"), QStringLiteral("3"), beta,
                          QStringLiteral("4.00"));
        views.AddEmployee(QStringLiteral("ВАСИЛЬЕВ"), QStringLiteral("4"), alpha,
                          QStringLiteral("5.00"), false);
        views.AddEmployee(QStringLiteral("ГРИГОРЬЕВ"), QStringLiteral("5"), QStringLiteral("альфа"),
                          QStringLiteral("6.00"));
        views.AddEmployee(QStringLiteral("ДМИТРИЕВ"), QStringLiteral("6"), alpha + QLatin1Char(' '),
                          QStringLiteral("7.00"));
        views.AddEmployee(QStringLiteral("ЕГОРОВ"), QStringLiteral("7"), QString(),
                          QStringLiteral("8.00"));
        TTable& employees = *views.EmployeeTable();
        employees.Last();

        const auto groups = ExportData::ListedEmployeesByOrganisation(employees);
        QCOMPARE(employees.RecNo(), 1);
        auto fios = [](const QList<ListedEmployee>& list) {
            QStringList out;
            for (const ListedEmployee& e : list)
                out << e.Fio100 + QLatin1Char(';') + e.Accnt + QLatin1Char(';') + e.Amount;
            return out;
        };
        const QStringList alphaListed = {QStringLiteral("АНТОНОВ;1;3.00"),
                                         QStringLiteral("АНТОНОВ;2;2.00"),
                                         QStringLiteral("ЯКОВЛЕВ;1;1.00")};
        QCOMPARE(fios(groups.value(alpha)), alphaListed);
        QCOMPARE(fios(groups.value(beta)), QStringList{QStringLiteral("БОРИСОВ;3;4.00")});
        QCOMPARE(fios(groups.value(QStringLiteral("альфа"))),
                 QStringList{QStringLiteral("ГРИГОРЬЕВ;5;6.00")});
        QVERIFY(!groups.contains(QString()));
        QCOMPARE(fios(ExportData::ListedEmployeesOf(employees, alpha)), alphaListed);
    }
    Session().CloseAll();
}

void TestTextRegister::atomicWriteReplacesOnlyWhenComplete()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    WriteFileAtomically(path, [](QIODevice& device) { device.write("old"); });
    QCOMPARE(ReadBytes(path), QByteArray("old"));

    QVERIFY_THROWS_EXCEPTION(EConvertError, WriteFileAtomically(path, [](QIODevice& device) {
                                 device.write("half");
                                 throw EConvertError(QStringLiteral("stop"));
                             }));
    QCOMPARE(ReadBytes(path), QByteArray("old"));
    QCOMPARE(FilesIn(dir.path()), QStringList{QStringLiteral("list.txt")});

    WriteFileAtomically(path, [](QIODevice& device) { device.write("new"); });
    QCOMPARE(ReadBytes(path), QByteArray("new"));
    QCOMPARE(FilesIn(dir.path()), QStringList{QStringLiteral("list.txt")});
}

void TestTextRegister::atomicWriteIntoMissingFolderNamesThePath()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out/list.txt"));
    try {
        WriteFileAtomically(path, [](QIODevice& device) { device.write("x"); });
        QFAIL("written");
    } catch (const EFileCreateError& error) {
        QVERIFY2(error.Message().contains(QDir::toNativeSeparators(path)),
                 qPrintable(error.Message()));
        QVERIFY2(error.Message().endsWith(QStringLiteral("нет такого файла или папки")),
                 qPrintable(error.Message()));
    }
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("out"))));
}

QTEST_GUILESS_MAIN(TestTextRegister)
#include "tst_textregister.moc"
