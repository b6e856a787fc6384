#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>
#include <optional>

#include "app/TMainForm.h"
#include "core/Exception.h"
#include "import/ParadoxTable.h"
#include "import/TImportForm.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/ParadoxWriter.h"
#include "tests/support/StoreRows.h"
#include "tests/support/TempDataFolder.h"

using StoreRows::Employee;

// The old program's Paradox tables: the checked reader, the take-over at start-up and the
// import window.
class tst_Paradox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void takenOverAtStart_data();
    void takenOverAtStart();
    void damagedFileRefused_data();
    void damagedFileRefused();
    void failedTakeOverKeepsFilesAndRetries_data();
    void failedTakeOverKeepsFilesAndRetries();
    void importWindowAddsEmployeesAndOrganizations();
    void importWindowReadsWrittenAmounts_data();
    void importWindowReadsWrittenAmounts();

private:
    // Moves the tables written into the data folder aside and imports them with the window.
    void ImportWithWindow();
    // base.DB and config.DB in the data folder, written by pxlib.
    void WriteTables(int codePage, bool older, const std::vector<QVariant>& extraEmployee = {});
    QString Data(const QString& name) const { return m_folder->DataDir() + name; }

    std::unique_ptr<TempDataFolder> m_folder;
    std::unique_ptr<MessageRecorder> m_messages;
};

void tst_Paradox::init()
{
    m_folder = std::make_unique<TempDataFolder>();
    m_messages = std::make_unique<MessageRecorder>();
}

void tst_Paradox::cleanup()
{
    TOpenDialog::SetChooser({});
    Session().CloseAll();
    m_messages.reset();
    m_folder.reset();
}

void tst_Paradox::WriteTables(int codePage, bool older, const std::vector<QVariant>& extra)
{
    {
        ParadoxWriter base(Data("BASE.DB"),
                           older ? ParadoxWriter::OlderEmployeeFields()
                                 : ParadoxWriter::EmployeeFields(),
                           codePage);
        int id = 0;
        const auto add = [&](std::vector<QVariant> row) {
            if (!older)
                row.insert(row.begin(), QVariant(++id));
            base.Add(row);
        };
        add({QStringLiteral("Ёлкина Алла"), "40817", "1500", true,
             older ? QStringLiteral("Ромашка") : QStringLiteral("ООО Ромашка")});
        add({QStringLiteral("Щукин Юрий"), "40818", QVariant(), false, QVariant()});
        if (!extra.empty())
            add(extra);
    }
    ParadoxWriter config(Data("config.db"),
                         older ? ParadoxWriter::OlderOrganizationFields()
                               : ParadoxWriter::OrganizationFields(),
                         codePage);
    for (const QString& name : {QStringLiteral("Бета"), QStringLiteral("ООО Ромашка")})
        config.Add({name, "40702", QStringLiteral("Директор"), "Д", "Б", "7", "RUR"});
}

void tst_Paradox::takenOverAtStart_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<bool>("older");
    QTest::newRow("current layout, 1251") << 1251 << false;
    QTest::newRow("current layout, 866") << 866 << false;
    QTest::newRow("current layout, code page 0") << 0 << false;
    QTest::newRow("Fio, Org and Organization, 1251") << 1251 << true;
    QTest::newRow("Fio, Org and Organization, 866") << 866 << true;
}

void tst_Paradox::takenOverAtStart()
{
    QFETCH(int, codePage);
    QFETCH(bool, older);
    WriteTables(codePage, older);
    for (const char* other : {"base.PX", "CONFIG.VAL", "base.txt"})
        QVERIFY(QFile(Data(other)).open(QIODevice::WriteOnly));
    const QList<Employee> expected{{"Ёлкина Алла", "40817", "1500.00", "ООО Ромашка", true},
                                   // No organisation: the start-up's fill gives the first.
                                   {"Щукин Юрий", "40818", "0.00", "Бета", false}};
    for (int start = 0; start < 2; ++start) {
        auto form = std::make_unique<TMainForm>();
        QVERIFY2(m_messages->Texts().isEmpty(), qPrintable(m_messages->Texts().join('\n')));
        QCOMPARE(form->OrgTable()->RecordCount(), 2);
        form.reset();
        QCOMPARE(StoreRows::StoredEmployees(m_folder->DataDir()), expected);
        Session().CloseAll();
    }
    QStringList moved = QDir(Data("paradox")).entryList(QDir::Files);
    moved.sort();
    QCOMPARE(moved, QStringList({"BASE.DB", "CONFIG.VAL", "base.PX", "config.db"}));
    QVERIFY(QFile::exists(Data("base.txt")));
    QVERIFY(!QFile::exists(Data("BASE.DB")));
}

void tst_Paradox::damagedFileRefused_data()
{
    QTest::addColumn<int>("at"); // from the start, or from the first block when negative - 1
    QTest::addColumn<QByteArray>("patch");
    QTest::addColumn<int>("size"); // the file cut to this size; -1 keeps it
    QTest::addColumn<QString>("reason");

    const QByteArray none;
    QTest::newRow("shorter than a header") << 0 << none << 0x50 << "файл короче заголовка";
    QTest::newRow("not a table") << 4 << QByteArray("\x07") << -1 << "неизвестный тип файла";
    QTest::newRow("encrypted") << 0x5C << QByteArray("\x78\x56\x34\x12") << -1
                               << "защищена паролем";
    QTest::newRow("header longer than file")
        << 2 << QByteArray("\xff\xff") << -1 << "длина заголовка (65535) больше файла";
    QTest::newRow("header cuts descriptors")
        << 2 << QByteArray("\x00\x01", 2) << -1 << "заголовок короче описаний полей";
    QTest::newRow("record size lies") << 0 << QByteArray("\x05\x01") << -1
                                      << "длина записи (261) не равна сумме ширин полей (262)";
    QTest::newRow("zero width") << 0x7B << QByteArray("\x00", 1) << -1
                                << "«Fio100» неверной ширины";
    QTest::newRow("wider than the record") << 0x7B << QByteArray("\xff") << -1 << "длина записи";
    QTest::newRow("wrong fixed width")
        << 0x79 << QByteArray("\x08") << -1 << "«Id» неверной ширины";
    QTest::newRow("unknown kind") << 0x78 << QByteArray("\x30") << -1 << "неизвестного типа";
    QTest::newRow("no fields") << 0x21 << QByteArray("\x00\x00", 2) << -1 << "неверное число полей";
    QTest::newRow("huge field count")
        << 0x21 << QByteArray("\xff\x7f") << -1 << "неверное число полей";
    QTest::newRow("name too long") << 421 << QByteArray(30, 'A') << -1 << "длина имени поля 1";
    QTest::newRow("field named twice")
        << 424 << QByteArray("Id\0", 3) << -1 << "«Id» описано дважды";
    QTest::newRow("zero block size") << 5 << QByteArray("\x00", 1) << -1 << "размер блока";
    QTest::newRow("more blocks than file")
        << 0x0C << QByteArray("\x32\x00", 2) << -1 << "больше блоков (50)";
    QTest::newRow("pxlib's double free: a chain in a table without blocks")
        << 6 << QByteArray("\0\0\0\0\0\0\0\0\0\x27", 10) << -1 << "блок 9984 за пределами";
    QTest::newRow("chain loops") << -1 << QByteArray("\x01\x00", 2) << -1 << "в кольцо";
    QTest::newRow("chain leaves file")
        << 0x0E << QByteArray("\x07\x00", 2) << -1 << "блок 7 за пределами";
    QTest::newRow("block fill lies") << -5 << QByteArray("\xff\x7f") << -1 << "заполнение блока 1";
    QTest::newRow("record count lies")
        << 6 << QByteArray("\x04\x00", 2) << -1 << "число записей в заголовке (4)";
    QTest::newRow("records cut off") << 0 << none << 0x800 + 300 << "записи блока 1 за концом";
}

void tst_Paradox::damagedFileRefused()
{
    QFETCH(int, at);
    QFETCH(QByteArray, patch);
    QFETCH(int, size);
    QFETCH(QString, reason);
    WriteTables(1251, false, {QStringLiteral("Третий"), "3"});
    QFile file(Data("BASE.DB"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    QCOMPARE(bytes.mid(2, 2), QByteArray("\x00\x08", 2)); // the offsets above assume it
    if (at < 0)
        at = 0x800 - at - 1;
    bytes.replace(at, patch.size(), patch);
    if (size >= 0)
        bytes.truncate(size);

    TParadoxTable table;
    try {
        table.OpenBytes(bytes, QStringLiteral("base.DB"));
        for (int record = 0; record < table.RecordCount(); ++record)
            table.Read(record);
        QFAIL("the file was read");
    } catch (const EDatabaseError& error) {
        QVERIFY2(error.Message().contains(reason), qPrintable(error.Message()));
        QVERIFY(error.Message().contains(QStringLiteral("«base.DB»")));
    }
    QVERIFY(!table.Active());
}

void tst_Paradox::failedTakeOverKeepsFilesAndRetries_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("duplicate");
    QTest::addColumn<QString>("reason");
    QTest::newRow("damaged file") << 1000 << false << "не является таблицей Paradox";
    QTest::newRow("employee twice") << -1 << true << "дважды записан сотрудник «";
}

void tst_Paradox::failedTakeOverKeepsFilesAndRetries()
{
    QFETCH(int, size);
    QFETCH(bool, duplicate);
    QFETCH(QString, reason);
    const std::vector<QVariant> twice{QStringLiteral("ЁЛКИНА АЛЛА"), "40817"};
    WriteTables(1251, true, duplicate ? twice : std::vector<QVariant>());
    if (size >= 0)
        QVERIFY(QFile::resize(Data("BASE.DB"), size));

    auto form = std::make_unique<TMainForm>();
    QCOMPARE(m_messages->Texts().size(), 1);
    QVERIFY2(m_messages->Texts().front().contains(reason), qPrintable(m_messages->Texts().front()));
    QVERIFY(m_messages->Texts().front().contains(QDir::toNativeSeparators(Data("BASE.DB"))));
    QCOMPARE(form->EmployeeTable()->RecordCount(), 0);
    QCOMPARE(form->OrgTable()->RecordCount(), 0);
    QVERIFY(QFile::exists(Data("BASE.DB")) && QFile::exists(Data("config.db")));
    form.reset();
    Session().CloseAll();

    // Mended, the files are taken over by the next start.
    WriteTables(1251, true);
    form = std::make_unique<TMainForm>();
    QCOMPARE(m_messages->Texts().size(), 1);
    QCOMPARE(form->EmployeeTable()->RecordCount(), 2);
    QVERIFY(!QFile::exists(Data("BASE.DB")));
}

void tst_Paradox::importWindowAddsEmployeesAndOrganizations()
{
    StoreRows::CreateEmployees(m_folder->DataDir(), {{"Щукин Юрий", "40818", "5.00", "", true}});
    StoreRows::CreateOrganizations(m_folder->DataDir(), {"ООО Ромашка"});
    WriteTables(866, true);
    ImportWithWindow();

    QCOMPARE(m_messages->Texts(), QStringList());
    // The second employee was there already; the first keeps its flag and organisation.
    QCOMPARE(StoreRows::StoredEmployees(m_folder->DataDir()),
             QList<Employee>({{"Ёлкина Алла", "40817", "1500.00", "ООО Ромашка", true},
                              {"Щукин Юрий", "40818", "5.00", "", true}}));
    TTable organizations;
    organizations.SetDatabaseName(m_folder->DataDir());
    organizations.SetTableName("config");
    organizations.Open();
    QCOMPARE(organizations.RecordCount(), 2);
    QCOMPARE(organizations.FieldByName("Accnt").AsString(), QStringLiteral("40702")); // "Бета"
    organizations.Next();
    QCOMPARE(organizations.FieldByName("Accnt").AsString(), QStringLiteral("1")); // kept as it was
}

void tst_Paradox::ImportWithWindow()
{
    QTemporaryDir sources;
    for (const QString& name : {QStringLiteral("BASE.DB"), QStringLiteral("config.db")})
        QVERIFY(QFile::rename(Data(name), sources.filePath(name)));

    TImportForm form;
    const QString path = sources.filePath("BASE.DB");
    TOpenDialog::SetChooser([path](const TOpenDialog&) { return std::optional<QString>(path); });
    QVERIFY(form.OpenSourceDb());
    form.show();
    QCoreApplication::processEvents();
    form.close();
}

void tst_Paradox::importWindowReadsWrittenAmounts_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("stored"); // empty: refused
    QTest::newRow("decimal comma") << 1251 << "0,75" << "0.75";
    QTest::newRow("spaces and comma") << 866 << "1 500,50" << "1500.50";
    QTest::newRow("no-break space") << 866 << "12\u00A0000" << "12000.00";
    QTest::newRow("no number") << 1251 << "0,75,1" << "";
}

void tst_Paradox::importWindowReadsWrittenAmounts()
{
    QFETCH(int, codePage);
    QFETCH(QString, amount);
    QFETCH(QString, stored);
    StoreRows::CreateEmployees(m_folder->DataDir());
    StoreRows::CreateOrganizations(m_folder->DataDir());
    WriteTables(codePage, false, {QStringLiteral("Третий"), "3", amount, true, QVariant()});
    ImportWithWindow();

    QList<Employee> expected{{"Ёлкина Алла", "40817", "1500.00", "ООО Ромашка", true},
                             {"Щукин Юрий", "40818", "0.00", "", false}};
    if (!stored.isEmpty())
        expected.insert(1, {"Третий", "3", stored, "", true});
    QCOMPARE(StoreRows::StoredEmployees(m_folder->DataDir()), expected);
    QCOMPARE(m_messages->Texts(),
             stored.isEmpty()
                 ? QStringList{"Неверные данные: сумма «" + amount + "» не является числом (Третий 3)"}
                 : QStringList());
}

QTEST_MAIN(tst_Paradox)
#include "tst_paradox.moc"
