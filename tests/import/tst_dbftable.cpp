#include <QDir>
#include <QTest>

#include "core/Exception.h"
#include "import/CodePages.h"
#include "import/TDbfTable.h"
#include "tests/import/ImportTestKit.h"

class TestDbfTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void readsRecordsInFileOrder();
    void numericFields_data();
    void numericFields();
    void fieldsByName();
    void cp866Names_data();
    void cp866Names();
    void badInput_data();
    void badInput();
    void foxBaseWithUncountedRecord();
    void missingFile();

private:
    DbfFolder m_folder;
    QByteArray m_valid; // two records of the import layout
};

void TestDbfTable::initTestCase()
{
    const QString path = m_folder.Make(QStringLiteral("valid.dbf"), [](DbfWriter& w) {
        w.AddEmployee(QStringLiteral("ИВАНОВ"), "100", "111");
        w.AddEmployee(QStringLiteral("ПЕТРОВ"), "200", "222");
    });
    m_valid = DbfFolder::Read(path);
}

void TestDbfTable::readsRecordsInFileOrder()
{
    const QString path = m_folder.Make(QStringLiteral("order.dbf"), [](DbfWriter& w) {
        w.Add({Cp866(QStringLiteral("ИВАНОВ ИВАН")), "1500", "", "40817810000000000001", "1"});
        w.Add({Cp866(QStringLiteral("УДАЛЕН")), "1", "", "2", "1"}, true);
        w.Add({Cp866(QStringLiteral("  ПЕТРОВ  ")), " 20.5 ", "", "  3 ", ""});
        w.Add({});
    });
    TDbfTable table;
    table.SetTableName(path);
    table.Open();
    QVERIFY(table.Active());
    QCOMPARE(table.RecordCount(), 4);

    const TDbfField name = table.FieldByName(QStringLiteral("L1__01"));
    const TDbfField amount = table.FieldByName(QStringLiteral("L1__02"));
    const TDbfField account = table.FieldByName(QStringLiteral("L1__04"));
    QStringList seen;
    for (table.First(); !table.Eof(); table.Next()) {
        seen << QStringLiteral("%1|%2|%3|%4")
                    .arg(table.RecNo())
                    .arg(CodePages::FromCp866Name(name.AsBytes()), amount.AsString(),
                         account.AsString());
    }
    // The deleted record is skipped; blanks around a value are dropped.
    QCOMPARE(seen,
             QStringList({"1|ИВАНОВ ИВАН|1500|40817810000000000001", "3|ПЕТРОВ|20.5|3", "4|||"}));
    QCOMPARE(table.RecNo(), 4);
    table.Next();
    QVERIFY(table.Eof());

    // First goes back after the end.
    table.First();
    QCOMPARE(table.RecNo(), 1);
    QVERIFY(!table.Eof());
}

void TestDbfTable::numericFields_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("text");

    QTest::newRow("decimals with the point") << QByteArray("1500.50") << "1500.50";
    QTest::newRow("whole number") << QByteArray("700") << "700";
    QTest::newRow("blank") << QByteArray() << "";
    QTest::newRow("overflow asterisks are blank") << QByteArray("**********") << "";
}

void TestDbfTable::numericFields()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, text);
    std::vector<DbfWriter::Field> fields = DbfWriter::ImportFields();
    fields[1] = {"L1__02", 'N', 10, 2};
    const QString path = m_folder.Make(
        QStringLiteral("numeric.dbf"),
        [&](DbfWriter& w) {
            w.Add({"A", stored, "", "1", ""});
        },
        fields);
    TDbfTable table;
    table.SetTableName(path);
    table.Open();
    QCOMPARE(table.FieldByName(QStringLiteral("L1__02")).AsString(), text);
}

void TestDbfTable::fieldsByName()
{
    TDbfTable table;
    table.OpenBytes(m_valid, QStringLiteral("valid.dbf"));
    QCOMPARE(table.FieldNames(), QStringList({"L1__01", "L1__02", "L1__03", "L1__04", "L1__05"}));
    QCOMPARE(table.FindField(QStringLiteral("l1__04")), 3);
    QCOMPARE(table.FindField(QStringLiteral("L1__06")), -1);
    try {
        table.FieldByName(QStringLiteral("L1__06"));
        QFAIL("a missing field was found");
    } catch (const EDatabaseError& error) {
        QVERIFY2(error.Message().contains(QStringLiteral("L1__06")), qPrintable(error.Message()));
    }
    table.Close();
    QVERIFY(!table.Active());
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, table.First());
}

void TestDbfTable::cp866Names_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("name");

    QTest::newRow("Cyrillic name") << Cp866(QStringLiteral("ФАМИЛИЯ ИМЯ")) << "ФАМИЛИЯ ИМЯ";
    QTest::newRow("every Cyrillic letter")
        << Cp866(
               QStringLiteral("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя"))
        << "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя";
    QTest::newRow("Ё and box drawing")
        << QByteArray("\xF0\xAB\x8A\x88\xAD \xB0\xC4\xDB\xBA") << "ЁлКИн ????";
    QTest::newRow("symbols Windows-1251 holds") << QByteArray("\xFC\xF8\xF2") << "№°Є";
    QTest::newRow("symbols it lacks") << QByteArray("\xF9\xFB\xFE") << "???";
    QTest::newRow("ASCII") << QByteArray("Smith J. 1-2") << "Smith J. 1-2";
}

void TestDbfTable::cp866Names()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, name);
    QCOMPARE(CodePages::FromCp866Name(stored), name);
}

void TestDbfTable::badInput_data()
{
    QTest::addColumn<QByteArray>("bytes");

    // The valid file: header 32 bytes, five descriptors, the terminator, two records.
    const int headerLength = 32 + 5 * 32 + 1;
    const int recordLength = 1 + 60 + 15 + 8 + 30 + 10;
    QCOMPARE(m_valid.size(), headerLength + 2 * recordLength + 1);

    auto changed = [this](const std::function<void(QByteArray&)>& change) {
        QByteArray bytes = m_valid;
        change(bytes);
        return bytes;
    };
    QTest::newRow("not a dBASE file") << QByteArray("ФИО;Счет;Сумма\nИВАНОВ;1;2\n");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("shorter than its header") << m_valid.left(20);
    QTest::newRow("cut inside the field descriptors") << m_valid.left(100);
    QTest::newRow("cut inside a record") << m_valid.left(headerLength + recordLength + 10);
    QTest::newRow("more records claimed than stored")
        << changed([](QByteArray& b) { PutDoubleWord(b, 4, 3); });
    QTest::newRow("huge record count")
        << changed([](QByteArray& b) { PutDoubleWord(b, 4, 0x7FFFFFFF); });
    QTest::newRow("record count with the top bit")
        << changed([](QByteArray& b) { PutDoubleWord(b, 4, 0x80000001u); });
    QTest::newRow("record length too long")
        << changed([&](QByteArray& b) { PutWord(b, 10, recordLength + 1); });
    QTest::newRow("record length too short")
        << changed([&](QByteArray& b) { PutWord(b, 10, recordLength - 1); });
    QTest::newRow("record length zero") << changed([](QByteArray& b) { PutWord(b, 10, 0); });
    QTest::newRow("header length past the end")
        << changed([&](QByteArray& b) { PutWord(b, 8, b.size() + 10); });
    QTest::newRow("header length without fields")
        << changed([](QByteArray& b) { PutWord(b, 8, 33); });
    QTest::newRow("field of zero width") << changed([](QByteArray& b) { b[32 + 16] = 0; });
    QTest::newRow("field of huge width") << changed([](QByteArray& b) { b[32 + 16] = char(255); });
    QTest::newRow("widths summing to the record length wrongly")
        << changed([](QByteArray& b) { b[32 + 16] = char(59), b[64 + 16] = char(17); });
    QTest::newRow("unknown field type") << changed([](QByteArray& b) { b[32 + 11] = 0; });
    QTest::newRow("dBASE 7 header") << changed([](QByteArray& b) { b[0] = 0x04; });
    QTest::newRow("terminator first") << changed([](QByteArray& b) { b[32] = 0x0D; });
}

void TestDbfTable::badInput()
{
    QFETCH(QByteArray, bytes);
    const QString path = m_folder.Write(QStringLiteral("bad.dbf"), bytes);
    TDbfTable table;
    table.SetTableName(path);
    try {
        table.Open();
        QFAIL("a bad file opened");
    } catch (const EDatabaseError& error) {
        QVERIFY2(error.Message().contains(QDir::toNativeSeparators(path)),
                 qPrintable(error.Message()));
    }
    QVERIFY(!table.Active());
    QCOMPARE(table.RecordCount(), 0);
}

void TestDbfTable::foxBaseWithUncountedRecord()
{
    QByteArray bytes = m_valid;
    bytes[0] = 0x02;
    PutDoubleWord(bytes, 4, 1); // of the two stored
    TDbfTable table;
    table.OpenBytes(bytes, QStringLiteral("foxbase.dbf"));
    QCOMPARE(table.RecordCount(), 1);
    table.Next();
    QVERIFY(table.Eof());
}

void TestDbfTable::missingFile()
{
    const QString path = m_folder.Path(QStringLiteral("missing.dbf"));
    TDbfTable table;
    table.SetTableName(path);
    try {
        table.Open();
        QFAIL("a missing file opened");
    } catch (const EDatabaseError& error) {
        QVERIFY2(error.Message().contains(QDir::toNativeSeparators(path)),
                 qPrintable(error.Message()));
    }
}

QTEST_GUILESS_MAIN(TestDbfTable)
#include "tst_dbftable.moc"
