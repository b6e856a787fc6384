#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "amount/Amount.h"
#include "storage/layouts/Layouts.h"
#include "storage/backup/StoreBackup.h"
#include "storage/views/TQuery.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"
#include "storage/engine/TableSchema.h"
#include "storage/layouts/TableUpgrade.h"
#include "tests/storage/StoreTestKit.h"
#include "tests/support/SqlStore.h"
#include "tests/support/FolderTest.h"

using namespace StoreTestKit;
using namespace SqlStore;

class TestUpgrade : public QObject, FolderTest
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void amountPass_data();
    void amountPass();
    void amountPassKeepsRowsBeforeAFailure();
    void currentLayoutGoesThroughNoStatement();
    void nameStepKeepsFio();
    void fullUpgradeInOneStart();
    void carryOver_data();
    void carryOver();
    void organizationCarriedIntoOrganization120();
    void failuresLeaveTheTableAsItWas_data();
    void failuresLeaveTheTableAsItWas();
    void unusableLayoutsFoundWithoutWriting_data();
    void unusableLayoutsFoundWithoutWriting();
    void conversionFailureKeepsOrganizations();
    void duplicateKeysWaitUntilMended();
    void duplicatesRefusedWhileKeyWaits_data();
    void duplicatesRefusedWhileKeyWaits();
    void droppingAnIndexedColumnRebuilds();
    void copyBeforeLayoutChange();
    void dailyCopies();
    void failedCopyIsToldAndUpgradeGoesOn();

private:
    void Upgrade();
    void EmployeeStepRefused(const QStringList& schemaBefore);
    QStringList Rows(const QString& query) { return SqlStore::Column(m_data, query); }

    TQuery m_runner;
    int m_backupFailures = 0;
    QDateTime m_now;
};

void TestUpgrade::init()
{
    StartFolder();
    m_backupFailures = 0;
    m_now = QDateTime(QDate(2026, 12, 9), QTime(10, 15, 0));
}

void TestUpgrade::cleanup()
{
    EndFolder();
}

// Both tables, as the start-up upgrades them: the employee table, then the organisations.
void TestUpgrade::Upgrade()
{
    TTableUpgrade upgrade(m_data, m_runner);
    upgrade.Now = [this] { return m_now; };
    upgrade.OnBackupFailed = [this](const Exception&) { ++m_backupFailures; };
    TTable base;
    base.SetDatabaseName(m_data);
    base.SetTableName(QStringLiteral("base"));
    if (base.Exists())
        upgrade.UpgradeEmployees(base);
    TTable config;
    config.SetDatabaseName(m_data);
    config.SetTableName(QStringLiteral("config.db"));
    if (config.Exists()) {
        config.Open();
        upgrade.UpgradeOrganizations(config);
    }
    Session().CloseAll();
}

// The employee step refuses the table with a store error and leaves the layouts as they were.
void TestUpgrade::EmployeeStepRefused(const QStringList& schemaBefore)
{
    TTableUpgrade upgrade(m_data, m_runner);
    TTable base;
    base.SetDatabaseName(m_data);
    base.SetTableName(QStringLiteral("base"));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, upgrade.UpgradeEmployees(base));
    Session().CloseAll();
    QCOMPARE(SqlStore::Schema(m_data), schemaBefore);
}

void TestUpgrade::amountPass_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");

    QTest::newRow("blank") << "<null>"
                           << "0.00";
    QTest::newRow("whole number") << "1500"
                                  << "1500.00";
    QTest::newRow("one decimal") << "12.5"
                                 << "12.50";
    QTest::newRow("normalised stays") << "1500.00"
                                      << "1500.00";
    QTest::newRow("spaces kept with two decimals") << " 1.50"
                                                   << " 1.50";
    QTest::newRow("three parts") << "1.2.3"
                                 << "1.2";
    QTest::newRow("no number") << "abc"
                               << "abc.00";
    QTest::newRow("cut to the field") << "123456789012345"
                                      << "123456789012345";
    QTest::newRow("leading point") << ".5"
                                   << ".50";
    QTest::newRow("decimal comma, as older tables hold it") << "0,75"
                                                             << "0.75";
    QTest::newRow("grouped thousands") << "1 500,50"
                                       << "1500.50";
}

void TestUpgrade::amountPass()
{
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    CreateEmployees(m_data);
    SqlStore::Exec(m_data,
                   {QStringLiteral("INSERT INTO base (Fio100, Accnt, Amount) VALUES (%1)")
                        .arg(Values({"ИВАНОВ", "1", stored})),
                    QStringLiteral("INSERT INTO base (Fio100, Accnt, Amount) VALUES ('ПЕТРОВ', "
                                   "'2', '7.00')"),
                    "CREATE TABLE writes (n INTEGER)",
                    "CREATE TRIGGER counted AFTER UPDATE ON base "
                    "BEGIN INSERT INTO writes VALUES (1); END"});

    TTableUpgrade upgrade(m_data, m_runner);
    const int written = upgrade.NormalizeAmounts(QStringLiteral("base"));
    Session().CloseAll();

    QCOMPARE(Rows("SELECT Amount FROM base ORDER BY Id"), QStringList({expected, "7.00"}));
    // Only a row whose text changes is written.
    const int changed = expected != stored ? 1 : 0;
    QCOMPARE(Rows("SELECT count(*) FROM writes"), QStringList{QString::number(changed)});
    QCOMPARE(written, changed);
}

void TestUpgrade::amountPassKeepsRowsBeforeAFailure()
{
    CreateEmployees(m_data);
    SqlStore::Exec(m_data, {"INSERT INTO base (Fio100, Accnt, Amount) VALUES "
                            "('А', '1', '5'), ('Б', '2', '   '), ('В', '3', '7')"});
    TTableUpgrade upgrade(m_data, m_runner);
    QVERIFY_THROWS_EXCEPTION(EEmptyAmount, upgrade.NormalizeAmounts(QStringLiteral("base")));
    Session().CloseAll();
    QCOMPARE(Rows("SELECT Amount FROM base ORDER BY Id"), QStringList({"5.00", "   ", "7"}));
}

void TestUpgrade::currentLayoutGoesThroughNoStatement()
{
    CreateEmployees(m_data);
    CreateOrganizations(m_data);
    SqlStore::Exec(m_data, {"INSERT INTO base (Fio100, Accnt, Amount, Org120) VALUES "
                            "('ИВАНОВ', '1', NULL, 'Альфа'), ('ПЕТРОВ', '2', '3', 'Бета')"});
    const QStringList schema = SqlStore::Schema(m_data);

    Upgrade();

    QCOMPARE(SqlStore::Schema(m_data), schema);
    QCOMPARE(Rows("SELECT Amount FROM base ORDER BY Id"), QStringList({"0.00", "3.00"}));
    QCOMPARE(Rows("SELECT Org120 FROM base ORDER BY Id"), QStringList({"Альфа", "Бета"}));
    // The amount pass wrote, after a copy.
    QVERIFY(QFileInfo::exists(TStoreBackup::Folder(m_data) + "store-20261209-101500.sqlite3"));
}

void TestUpgrade::nameStepKeepsFio()
{
    SqlStore::Exec(m_data, {"CREATE TABLE base (Id INTEGER PRIMARY KEY AUTOINCREMENT, "
                            "Fio CHAR(100), Accnt CHAR(22), Amount CHAR(15), Export BOOLEAN, "
                            "Org120 CHAR(120))",
                            "INSERT INTO base (Fio, Accnt, Amount, Org120) VALUES "
                            "('ИВАНОВ ИВАН', '1', '10', 'Альфа'), ('ПЕТРОВ', '2', '2.5', NULL)"});
    Upgrade();

    QCOMPARE(Rows("SELECT Fio100 FROM base ORDER BY Id"), QStringList({"ИВАНОВ ИВАН", "ПЕТРОВ"}));
    QCOMPARE(Rows("SELECT Fio FROM base ORDER BY Id"), QStringList({"ИВАНОВ ИВАН", "ПЕТРОВ"}));
    QCOMPARE(Rows("SELECT Org120 FROM base ORDER BY Id"), QStringList({"Альфа", "<null>"}));
    QCOMPARE(Rows("SELECT Amount FROM base ORDER BY Id"), QStringList({"10.00", "2.50"}));
    // The main window's ordered view opens.
    auto view = OpenEmployees(m_data);
    QCOMPARE(Column(*view, "Fio100"), QStringList({"ИВАНОВ ИВАН", "ПЕТРОВ"}));
}

void TestUpgrade::fullUpgradeInOneStart()
{
    SqlStore::Exec(m_data,
                   {OlderBase, OlderConfig, "CREATE UNIQUE INDEX ByName ON base (Fio, Accnt)",
                    "CREATE INDEX Fio_Accnt ON base (Fio)", OlderEmployee("ПЕТРОВ", "2", "Ромашка"),
                    OlderEmployee("ИВАНОВ", "1", "Бета"), OlderOrganization("ООО Ромашка"),
                    OlderOrganization("Бета")});
    Upgrade();

    const QStringList fields = Rows("SELECT name FROM pragma_table_info('base')");
    QVERIFY2(fields.contains("Fio") && fields.contains("Fio100") && fields.contains("Org120") &&
                 !fields.contains("Org"),
             qPrintable(fields.join(',')));
    auto view = OpenEmployees(m_data);
    QCOMPARE(Column(*view, "Fio100"), QStringList({"ИВАНОВ", "ПЕТРОВ"}));
    QCOMPARE(Column(*view, "Org120"), QStringList({"Бета", "ООО Ромашка"}));
    QCOMPARE(Column(*view, "Amount"), QStringList({"1.00", "1.00"}));
    // Current keys: the name and account are unique without regard to letter case, and the
    // older unique index on other fields stays.
    TableSchema::StoredLayout layout;
    {
        auto connection = Session().Connect(m_data, false);
        layout = TableSchema::ReadLayout(*connection, QStringLiteral("base"));
    }
    QCOMPARE(layout.Primary()->Def.Fields, QStringLiteral("Id"));
    QCOMPARE(layout.Fields[std::size_t(layout.RowidAlias)].DataType, TFieldType::AutoInc);
    QVERIFY(layout.FindIndex(QStringLiteral("Amount")));
    QVERIFY(layout.FindIndex(QStringLiteral("ByName")));
    QCOMPARE(layout.FindIndex(QStringLiteral("Fio_Accnt"))->Def.Fields,
             QStringLiteral("Fio100;Accnt"));
    view->Append();
    view->FieldByName(QStringLiteral("Fio100")).SetAsString(QStringLiteral("иванов"));
    view->FieldByName(QStringLiteral("Accnt")).SetAsString(QStringLiteral("1"));
    try {
        view->Post();
        QFAIL("a duplicate name and account was stored");
    } catch (const EDatabaseError& error) {
        QVERIFY(error.IsKeyViolation());
        QCOMPARE(error.IndexName(), QStringLiteral("Fio_Accnt"));
    }
    view->Cancel();
    AddEmployee(*view, QStringLiteral("СИДОРОВ"), QStringLiteral("3"), QStringLiteral("5.00"));
    QCOMPARE(Rows("SELECT Id FROM base WHERE Fio100 = 'СИДОРОВ'"), QStringList{"3"});

    QCOMPARE(Rows("SELECT Organization120 FROM config ORDER BY 1"),
             QStringList({"Бета", "ООО Ромашка"}));
}

void TestUpgrade::carryOver_data()
{
    QTest::addColumn<QStringList>("organizations");
    QTest::addColumn<QString>("old");
    QTest::addColumn<QString>("expected");

    // The organisation table is read in its key's order.
    QTest::newRow("equal name after a containing one")
        << QStringList{"ООО Ромашка", "Ромашка"} << "Ромашка"
        << "Ромашка";
    QTest::newRow("equal name before a containing one")
        << QStringList{"Ромашка", "Ромашка-Плюс"} << "Ромашка"
        << "Ромашка";
    QTest::newRow("first of two containing names")
        << QStringList{"ООО Ромашка", "ПАО Ромашка"} << "Ромашка"
        << "ООО Ромашка";
    QTest::newRow("letter case counts") << QStringList{"Ромашка"} << "ромашка"
                                        << "<null>";
    QTest::newRow("empty old value matches nothing") << QStringList{"Ромашка"} << "<null>"
                                                     << "<null>";
    QTest::newRow("no organisation contains it") << QStringList{"Альфа"} << "Бета"
                                                 << "<null>";
}

void TestUpgrade::carryOver()
{
    QFETCH(QStringList, organizations);
    QFETCH(QString, old);
    QFETCH(QString, expected);
    QStringList sql{OlderBase, OlderConfig, OlderEmployee("ИВАНОВ", "1", old)};
    for (const QString& name : organizations)
        sql << OlderOrganization(name);
    SqlStore::Exec(m_data, sql);

    Upgrade();

    QCOMPARE(Rows("SELECT Org120 FROM base"), QStringList{expected});
}

void TestUpgrade::organizationCarriedIntoOrganization120()
{
    CreateEmployees(m_data);
    SqlStore::Exec(m_data,
                   {OlderConfig, OlderOrganization("Альфа"), OlderOrganization("ООО \"Бета\"")});
    Upgrade();

    QCOMPARE(Rows("SELECT Organization120 FROM config ORDER BY 1"),
             QStringList({"Альфа", "ООО \"Бета\""}));
    QCOMPARE(Rows("SELECT Director FROM config"), QStringList({"Петров П.П.", "Петров П.П."}));
    QVERIFY(!Rows("SELECT name FROM pragma_table_info('config')").contains("Organization"));
    auto connection = Session().Connect(m_data, false);
    const TableSchema::StoredLayout layout =
        TableSchema::ReadLayout(*connection, QStringLiteral("config"));
    QCOMPARE(layout.Primary()->Def.Fields, QStringLiteral("Organization120"));
    QVERIFY(layout.Fields[std::size_t(layout.FindField("Organization120"))].Required);
}

void TestUpgrade::failuresLeaveTheTableAsItWas_data()
{
    QTest::addColumn<QStringList>("tables");

    QTest::newRow("neither Fio100 nor Fio") << QStringList{
        "CREATE TABLE base (Id INTEGER PRIMARY KEY, Name CHAR(100), Accnt "
        "CHAR(22), Amount CHAR(15), Org CHAR(120))",
        OlderConfig, "INSERT INTO base (Name, Amount, Org) VALUES ('А', '1.00', 'Б')"};
    QTest::newRow("Org without an organisation table")
        << QStringList{OlderBase, OlderEmployee("ИВАНОВ", "1", "Альфа")};
    QTest::newRow("Org and an organisation table without Organization")
        << QStringList{OlderBase, "CREATE TABLE config (Organization120 CHAR(120))",
                       OlderEmployee("ИВАНОВ", "1", "Альфа")};
}

void TestUpgrade::failuresLeaveTheTableAsItWas()
{
    QFETCH(QStringList, tables);
    SqlStore::Exec(m_data, tables);
    SqlStore::Exec(m_data, {"UPDATE base SET Amount = '1.00'"});
    const QStringList schema = SqlStore::Schema(m_data);
    const QStringList rows = Rows("SELECT quote(Org) FROM base");

    // The start-up's check finds each of them before the upgrade is tried.
    QVERIFY(TTableUpgrade::FindUnusable(m_data));
    EmployeeStepRefused(schema);
    QCOMPARE(Rows("SELECT quote(Org) FROM base"), rows);
}

void TestUpgrade::unusableLayoutsFoundWithoutWriting_data()
{
    QTest::addColumn<QStringList>("tables");
    QTest::addColumn<QString>("table"); // empty: the upgrade brings every table to its layout
    QTest::addColumn<QString>("reason");
    const QString current = QStringLiteral(
        "CREATE TABLE base (Id INTEGER PRIMARY KEY AUTOINCREMENT, Fio100 CHAR(100), "
        "Accnt CHAR(22), Amount CHAR(15), Export BOOLEAN, Org120 CHAR(120))");
    const QString config = QStringLiteral(
        "CREATE TABLE config (%1 CHAR(120), Accnt CHAR(22), Position CHAR(30), "
        "Director CHAR(30), Accountant CHAR(30), Contract CHAR(8), Crnc CHAR(3))");

    QTest::newRow("no tables") << QStringList{} << QString() << QString();
    QTest::newRow("current layouts")
        << QStringList{current, config.arg("Organization120")} << QString() << QString();
    QTest::newRow("older layouts") << QStringList{OlderBase, OlderConfig} << QString()
                                   << QString();
    QTest::newRow("Fio, neither organisation field, no key or index")
        << QStringList{"CREATE TABLE base (Fio CHAR(100), Accnt CHAR(22), Amount CHAR(15), "
                       "Export BOOLEAN, Extra TEXT)"}
        << QString() << QString();
    QTest::newRow("older organisations alone") << QStringList{OlderConfig} << QString()
                                               << QString();
    QTest::newRow("Org with a current organisation table beside Org120")
        << QStringList{QString(current).replace("Org120 CHAR(120)",
                                                "Org120 CHAR(120), Org CHAR(120)"),
                       config.arg("Organization120")}
        << QString() << QString();

    QTest::newRow("neither name field")
        << QStringList{QString(current).replace("Fio100", "Name")} << "base"
        << "нет поля «Fio100» или «Fio»";
    QTest::newRow("name field in another letter case")
        << QStringList{QString(current).replace("Fio100", "FIO100")} << "base"
        << "поле «FIO100» вместо «Fio100»";
    QTest::newRow("Org without an organisation table")
        << QStringList{OlderBase} << "base" << "поле «Org» не перенести без таблицы «config»";
    QTest::newRow("Org with a current organisation table")
        << QStringList{OlderBase, config.arg("Organization120")} << "base"
        << "в таблице «config» нет поля «Organization»";
    QTest::newRow("no account field")
        << QStringList{QString(current).replace("Accnt CHAR(22), ", "")} << "base"
        << "нет поля «Accnt»";
    QTest::newRow("amount of another kind")
        << QStringList{QString(current).replace("Amount CHAR(15)", "Amount INTEGER")} << "base"
        << "поле «Amount» другого типа";
    QTest::newRow("organisation name in both forms")
        << QStringList{current,
                       config.arg("Organization120").replace("(Organization120",
                                                             "(Organization, Organization120")}
        << "config" << "поля «Organization» и «Organization120» вместе";
    QTest::newRow("organisations without a field")
        << QStringList{current, config.arg("Organization120").remove(", Crnc CHAR(3)")}
        << "config" << "нет поля «Crnc»";
}

void TestUpgrade::unusableLayoutsFoundWithoutWriting()
{
    QFETCH(QStringList, tables);
    QFETCH(QString, table);
    QFETCH(QString, reason);
    SqlStore::Exec(m_data, tables);
    const QString file = m_data + QStringLiteral("store.sqlite3");
    QFile store(file);
    const QByteArray before = store.open(QIODevice::ReadOnly) ? store.readAll() : QByteArray();
    store.close();
    const QStringList files = QDir(m_data).entryList(QDir::Files);

    const std::optional<TTableUpgrade::Unusable> unusable = TTableUpgrade::FindUnusable(m_data);
    QCOMPARE(unusable ? unusable->Table : QString(), table);
    QVERIFY2(unusable ? unusable->Reason.contains(reason) : reason.isEmpty(),
             qPrintable(unusable ? unusable->Reason : QString()));
    QVERIFY(store.open(QIODevice::ReadOnly));
    QCOMPARE(store.readAll(), before);
    QCOMPARE(QDir(m_data).entryList(QDir::Files), files);

    // What the check lets through, the upgrade brings to the current layouts.
    if (!unusable && !tables.isEmpty()) {
        Upgrade();
        if (const auto base = TableSchema::ReadLayoutReadOnly(m_data, QStringLiteral("base")))
            QCOMPARE(TableSchema::Lacks(*base, Layouts::EmployeeFields(),
                                        {QString::fromLatin1(Layouts::EmployeeIndex)}),
                     QString());
        if (const auto config = TableSchema::ReadLayoutReadOnly(m_data, QStringLiteral("config")))
            QCOMPARE(TableSchema::Lacks(*config, Layouts::OrganizationFields(), {}), QString());
    }
}

void TestUpgrade::conversionFailureKeepsOrganizations()
{
    // The carry-over's writes are refused after the new field has been added.
    SqlStore::Exec(m_data, {OlderBase, OlderConfig, OlderEmployee("ИВАНОВ", "1", "Альфа"),
                            OlderEmployee("ПЕТРОВ", "2", "Бета"), OlderOrganization("Альфа"),
                            OlderOrganization("Бета"), "UPDATE base SET Amount = '1.00'",
                            "ALTER TABLE base ADD Fio100 CHAR(100)", "UPDATE base SET Fio100 = Fio",
                            "CREATE TRIGGER refuse BEFORE UPDATE ON base "
                            "BEGIN SELECT RAISE(ABORT, 'refused'); END"});
    EmployeeStepRefused(SqlStore::Schema(m_data));
    QCOMPARE(Rows("SELECT Org FROM base ORDER BY Id"), QStringList({"Альфа", "Бета"}));
}

void TestUpgrade::duplicateKeysWaitUntilMended()
{
    // An older table without a case-insensitive key can hold one employee twice.
    SqlStore::Exec(m_data,
                   {OlderBase, OlderConfig, OlderOrganization("Альфа"),
                    OlderEmployee("ИВАНОВ", "1", "Альфа"), OlderEmployee("Иванов", "1", "Альфа")});
    Upgrade();

    auto view = OpenEmployees(m_data); // nothing is lost, and the ordered view opens
    QCOMPARE(Column(*view, "Fio100").size(), 2);
    view->First();
    view->Delete();
    view.reset();
    Session().CloseAll();

    Upgrade();
    auto connection = Session().Connect(m_data, false);
    const TableSchema::StoredLayout layout =
        TableSchema::ReadLayout(*connection, QStringLiteral("base"));
    QCOMPARE(layout.FindIndex(QStringLiteral("Fio_Accnt"))->Def.Options,
             unsigned(ixUnique | ixCaseInsensitive));
    QCOMPARE(Rows("SELECT name FROM sqlite_master WHERE type = 'trigger'"), QStringList());
}

void TestUpgrade::duplicatesRefusedWhileKeyWaits_data()
{
    QTest::addColumn<QStringList>("write"); // the row written (a new one), its name and account
    QTest::addColumn<bool>("refused");
    QTest::newRow("Cyrillic in another case") << QStringList{"", "иванов", "1"} << true;
    QTest::newRow("Latin in another case") << QStringList{"", "petrov", "2"} << true;
    QTest::newRow("another account") << QStringList{"", "иванов", "3"} << false;
    QTest::newRow("renamed onto another") << QStringList{"СИДОРОВ", "Petrov", "2"} << true;
    QTest::newRow("a duplicate keeps its key") << QStringList{"ИВАНОВ", "иванов", "1"} << false;
}

void TestUpgrade::duplicatesRefusedWhileKeyWaits()
{
    QFETCH(QStringList, write);
    QFETCH(bool, refused);
    SqlStore::Exec(m_data, {OlderBase, OlderConfig, OlderEmployee("ИВАНОВ", "1", ""),
                            OlderEmployee("Иванов", "1", ""), OlderEmployee("PETROV", "2", ""),
                            OlderEmployee("СИДОРОВ", "4", "")});
    Upgrade();
    const QStringList before = Rows("SELECT Fio100 || Accnt FROM base ORDER BY Id");
    auto view = OpenEmployees(m_data);
    try {
        for (view->First(); view->FieldByName("Fio100").AsString() != write[0] && !view->Eof();)
            view->Next();
        view->Eof() ? view->Append() : view->Edit();
        view->FieldByName("Fio100").SetAsString(write[1]);
        view->FieldByName("Accnt").SetAsString(write[2]);
        view->Post();
        QVERIFY(!refused);
    } catch (const EDatabaseError& error) { // as the unique index would refuse it
        QVERIFY2(refused && error.IndexName() == "Fio_Accnt", qPrintable(error.Message()));
    }
    QCOMPARE(Rows("SELECT Fio100 || Accnt FROM base ORDER BY Id") == before, refused);
}

void TestUpgrade::droppingAnIndexedColumnRebuilds()
{
    SqlStore::Exec(m_data,
                   {"CREATE TABLE base (Id INTEGER PRIMARY KEY AUTOINCREMENT, Fio CHAR(100), "
                    "Accnt CHAR(22), Org CHAR(120), UNIQUE (Accnt))",
                    "CREATE INDEX ByOrg ON base (Fio, Org)",
                    "INSERT INTO base (Id, Fio, Accnt, Org) VALUES (7, 'ИВАНОВ', '1', 'Альфа')"});
    m_runner.SetDatabaseName(m_data);
    m_runner.SQL = QStringLiteral("ALTER TABLE base Drop Org");
    m_runner.ExecSQL();
    Session().CloseAll();

    QCOMPARE(Rows("SELECT name FROM pragma_table_info('base')"),
             QStringList({"Id", "Fio", "Accnt"}));
    QCOMPARE(Rows("SELECT Id || Fio || Accnt FROM base"), QStringList{"7ИВАНОВ1"});
    QVERIFY(Rows("SELECT name FROM sqlite_master WHERE type = 'index'").filter("ByOrg").isEmpty());
    // The other keys stay: the account is still unique, the identity counts on.
    QCOMPARE(Rows("SELECT count(*) FROM pragma_index_list('base') WHERE \"unique\""),
             QStringList{"1"});
    SqlStore::Exec(m_data, {"INSERT INTO base (Fio, Accnt) VALUES ('ПЕТРОВ', '2')"});
    QCOMPARE(Rows("SELECT Id FROM base WHERE Accnt = '2'"), QStringList{"8"});
}

void TestUpgrade::copyBeforeLayoutChange()
{
    SqlStore::Exec(m_data, {OlderBase, OlderConfig, OlderOrganization("Альфа"),
                            OlderEmployee("ИВАНОВ", "1", "Альфа")});
    Upgrade();

    const QString copy = TStoreBackup::Folder(m_data) + "store-20261209-101500.sqlite3";
    QVERIFY(QFileInfo::exists(copy));
    QCOMPARE(QDir(TStoreBackup::Folder(m_data)).entryList(QDir::Files),
             QStringList{"store-20261209-101500.sqlite3"});
    // The copy holds the tables as they were before the change, in one file.
    QTemporaryDir other;
    QVERIFY(QFile::copy(copy, other.path() + "/store.sqlite3"));
    QCOMPARE(SqlStore::Column(other.path() + "/", "SELECT Org FROM base"), QStringList{"Альфа"});
    QCOMPARE(SqlStore::Column(other.path() + "/", "SELECT Organization FROM config"),
             QStringList{"Альфа"});
    QCOMPARE(m_backupFailures, 0);
}

void TestUpgrade::dailyCopies()
{
    CreateEmployees(m_data);
    const QString folder = TStoreBackup::Folder(m_data);
    const QDate first(2026, 11, 20);
    for (int day = 0; day < 16; ++day) {
        SqlStore::Exec(m_data, {QStringLiteral("INSERT INTO base (Fio100, Accnt) VALUES "
                                               "('ДЕНЬ %1', '1')")
                                    .arg(day)});
        const QString made = TStoreBackup::MakeDaily(m_data, first.addDays(day));
        QCOMPARE(made, folder + first.addDays(day).toString("'store-'yyyyMMdd'.sqlite3'"));
    }
    // One copy a day: a second start that day makes none.
    QCOMPARE(TStoreBackup::MakeDaily(m_data, first.addDays(15)), QString());

    QStringList expected;
    for (int day = 2; day < 16; ++day)
        expected << first.addDays(day).toString("'store-'yyyyMMdd'.sqlite3'");
    QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), expected);
    // The last copy holds the rows of its day.
    QTemporaryDir other;
    QVERIFY(QFile::copy(folder + expected.last(), other.path() + "/store.sqlite3"));
    QCOMPARE(SqlStore::Column(other.path() + "/", "SELECT count(*) FROM base"), QStringList{"16"});
}

void TestUpgrade::failedCopyIsToldAndUpgradeGoesOn()
{
    SqlStore::Exec(m_data, {OlderBase, OlderConfig, OlderOrganization("Альфа"),
                            OlderEmployee("ИВАНОВ", "1", "Альфа")});
    // Where the copies would go stands a file.
    QFile blocker(m_data + "backup");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY_THROWS_EXCEPTION(Exception, TStoreBackup::MakeDaily(m_data, QDate(2026, 12, 9)));

    Upgrade();

    QCOMPARE(m_backupFailures, 1);
    QCOMPARE(Rows("SELECT Org120 FROM base"), QStringList{"Альфа"});
    QCOMPARE(Rows("SELECT Organization120 FROM config"), QStringList{"Альфа"});
}

QTEST_GUILESS_MAIN(TestUpgrade)
#include "tst_upgrade.moc"
