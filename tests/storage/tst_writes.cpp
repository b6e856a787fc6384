#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include "storage/engine/sqlite/SqliteStore.h"
#include "storage/backup/StoreBackup.h"
#include "storage/views/TQuery.h"
#include "storage/views/TSession.h"
#include "storage/views/TTransaction.h"
#include "tests/storage/StoreTestKit.h"
#include "tests/support/FolderTest.h"
#include "tests/support/TestStore.h"

using namespace StoreTestKit;

// Writes that meet other views, other programs, failing commits and hooks.
class TestWrites : public QObject, FolderTest
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void staleWrites_data();
    void staleWrites();
    void reusedRowidIsNotOverwritten();
    void failedCommitEndsTransaction_data();
    void failedCommitEndsTransaction();
    void hooksThatCancel_data();
    void hooksThatCancel();
    void fieldOfClosedView();
    void unknownIndexKeepsView();
    void statementTexts_data();
    void statementTexts();
    void rowsOnDemand_data();
    void rowsOnDemand();
    void serverStoreCopiedAsSqliteFile();
    void otherProgramsWritesAnnounced();

private:
};

void TestWrites::init()
{
    StartFolder();
}

void TestWrites::cleanup()
{
    EndFolder();
}

void TestWrites::staleWrites_data()
{
    QTest::addColumn<bool>("otherProgram");
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("storedAmount");
    QTest::addColumn<QString>("storedAccnt");
    for (const bool program : {false, true}) {
        const char* who = program ? "another program" : "another view";
        QTest::addRow("%s deleted the row", who) << program << "delete" << true << ""
                                                 << "";
        QTest::addRow("%s changed the same field", who)
            << program << "same field" << true << "20.00"
            << "1";
        QTest::addRow("%s changed another field", who)
            << program << "other field" << false << "30.00"
            << "2";
    }
}

void TestWrites::staleWrites()
{
    QFETCH(bool, otherProgram);
    QFETCH(QString, change);
    QFETCH(bool, refused);
    QFETCH(QString, storedAmount);
    QFETCH(QString, storedAccnt);

    auto first = NewEmployees(m_data);
    AddEmployee(*first, "ИВАНОВ", "1", "10.00");
    auto second = OpenEmployees(m_data);

    if (otherProgram) {
        RawStore raw(m_data);
        const char* sql = change == "delete"       ? "DELETE FROM base"
                          : change == "same field" ? "UPDATE base SET \"Amount\" = '20.00'"
                                                   : "UPDATE base SET \"Accnt\" = '2'";
        QCOMPARE(raw.Exec(QString::fromUtf8(sql)), SQLITE_OK);
    } else if (change == "delete") {
        first->Delete();
    } else {
        first->Edit();
        if (change == "same field")
            first->FieldByName("Amount").SetAsString("20.00");
        else
            first->FieldByName("Accnt").SetAsString("2");
        first->Post();
    }

    second->Edit();
    second->FieldByName("Amount").SetAsString("30.00");
    if (refused) {
        try {
            second->Post();
            QFAIL("a stale write was reported as stored");
        } catch (const EDatabaseError& error) {
            QCOMPARE(error.ErrorKind(), EDatabaseError::Kind::RecordChanged);
            QVERIFY(error.Message().contains(QStringLiteral("другим пользователем")));
        }
        // The user's value stays in edit; a refresh shows what is stored.
        QCOMPARE(second->GetState(), TTable::State::Edit);
        QCOMPARE(second->FieldByName("Amount").AsString(), QStringLiteral("30.00"));
        second->Cancel();
        second->Refresh();
    } else {
        second->Post();
        // The view shows the stored row: its own change and the other one.
        QCOMPARE(second->FieldByName("Accnt").AsString(), storedAccnt);
        QCOMPARE(second->FieldByName("Amount").AsString(), storedAmount);
    }
    auto fresh = OpenEmployees(m_data);
    const QStringList amounts = change == "delete" ? QStringList() : QStringList{storedAmount};
    const QStringList accounts = change == "delete" ? QStringList() : QStringList{storedAccnt};
    QCOMPARE(Column(*fresh, "Amount"), amounts);
    QCOMPARE(Column(*fresh, "Accnt"), accounts);
    QCOMPARE(Column(*second, "Amount"), amounts);
}

void TestWrites::reusedRowidIsNotOverwritten()
{
    if (TestStore::IsServer())
        QSKIP("a server never gives a row identity twice");
    CreateOrganizations(m_data);
    auto first = OpenOrganizations(m_data);
    AddOrganization(*first, "Альфа", "111");
    AddOrganization(*first, "Бета", "222");
    auto stale = OpenOrganizations(m_data);

    first->Last();
    first->Delete();
    AddOrganization(*first, "Гамма", "333");
    RawStore raw(m_data);
    // The premise: the newest row's rowid went to the new organisation.
    QCOMPARE(raw.Query("SELECT \"Organization120\" FROM config WHERE rowid = 2"),
             QStringList({"Гамма"}));

    stale->Last();
    QCOMPARE(stale->FieldByName("Organization120").AsString(), QStringLiteral("Бета"));
    stale->Edit();
    stale->FieldByName("Accnt").SetAsString("999");
    try {
        stale->Post();
        QFAIL("the write landed in another row");
    } catch (const EDatabaseError& error) {
        QCOMPARE(error.ErrorKind(), EDatabaseError::Kind::RecordChanged);
    }
    stale->Cancel();
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, stale->Delete());
    QCOMPARE(raw.Query("SELECT \"Organization120\" || ':' || \"Accnt\" FROM config ORDER BY 1"),
             QStringList({"Альфа:111", "Гамма:333"}));
}

void TestWrites::failedCommitEndsTransaction_data()
{
    QTest::addColumn<bool>("explicitCommit");
    QTest::newRow("Commit()") << true;
    QTest::newRow("end of scope") << false;
}

void TestWrites::failedCommitEndsTransaction()
{
    QFETCH(bool, explicitCommit);
    CreateEmployees(m_data);
    {
        RawStore raw(m_data);
        QCOMPARE(raw.Exec("CREATE TABLE parent (id INTEGER PRIMARY KEY)"), SQLITE_OK);
        QCOMPARE(raw.Exec(QStringLiteral("CREATE TABLE child (%1, p INTEGER REFERENCES "
                                         "parent (id) DEFERRABLE INITIALLY DEFERRED)")
                              .arg(TestStore::IsServer()
                                       ? "rowid bigint GENERATED ALWAYS AS IDENTITY UNIQUE"
                                       : "id INTEGER PRIMARY KEY")),
                 SQLITE_OK);
    }
    const std::shared_ptr<StoreConnection> connection = Session().Connect(m_data, false);
    if (!TestStore::IsServer())
        connection->Exec("PRAGMA foreign_keys = ON");
    TTable child;
    child.SetDatabaseName(m_data);
    child.SetTableName("child");
    child.Open();

    // The missing parent is found only when the transaction commits.
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, [&] {
        TTransaction transaction(m_data);
        child.Append();
        child.FieldByName("p").SetAsString("5");
        child.Post();
        if (explicitCommit)
            transaction.Commit();
    }());
    QCOMPARE(connection->Depth(), 0);
    if (!TestStore::IsServer())
        QVERIFY(sqlite3_get_autocommit(static_cast<SqliteConnection&>(*connection).Handle()));
    QCOMPARE(child.RecordCount(), 0);

    // A later write is not swallowed by a transaction left open.
    auto employees = OpenEmployees(m_data);
    AddEmployee(*employees, "ИВАНОВ", "1");
    RawStore raw(m_data);
    QCOMPARE(raw.Query("SELECT \"Fio100\" FROM base"), QStringList({"ИВАНОВ"}));
    QCOMPARE(raw.Query("SELECT count(*) FROM child"), QStringList({"0"}));
}

void TestWrites::hooksThatCancel_data()
{
    QTest::addColumn<bool>("inserting");
    QTest::addColumn<QString>("hook");
    for (const bool inserting : {false, true}) {
        const char* state = inserting ? "insert" : "edit";
        for (const char* hook :
             {"before post", "post error, fail", "post error, abort", "post error, retry"})
            QTest::addRow("%s: %s", state, hook) << inserting << QString::fromUtf8(hook);
    }
}

void TestWrites::hooksThatCancel()
{
    QFETCH(bool, inserting);
    QFETCH(QString, hook);
    auto view = NewEmployees(m_data);
    AddEmployee(*view, "А", "1");
    AddEmployee(*view, "Б", "1");

    int calls = 0;
    if (hook == "before post") {
        view->BeforePost = [&calls](TTable& table) {
            ++calls;
            table.Cancel();
        };
    } else {
        const TTable::DataAction action = hook.endsWith("fail")    ? TTable::DataAction::Fail
                                          : hook.endsWith("abort") ? TTable::DataAction::Abort
                                                                   : TTable::DataAction::Retry;
        view->OnPostError = [&calls, action](TTable& table, const EDatabaseError&,
                                             TTable::DataAction& chosen) {
            ++calls;
            table.Cancel();
            chosen = action;
        };
    }
    if (inserting) {
        view->Append();
    } else {
        view->Last();
        view->Edit();
    }
    // A duplicate of the first row: the store refuses it.
    view->FieldByName("Fio100").SetAsString("а");
    view->FieldByName("Accnt").SetAsString("1");

    if (hook.endsWith("fail"))
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, view->Post());
    else if (hook.endsWith("abort"))
        QVERIFY_THROWS_EXCEPTION(EAbort, view->Post());
    else
        view->Post();
    QCOMPARE(calls, 1);
    QCOMPARE(view->GetState(), TTable::State::Browse);
    QCOMPARE(view->RecordCount(), 2);
    QVERIFY(view->RecNo() >= 1 && view->RecNo() <= 2);
    QCOMPARE(Column(*view, "Fio100"), QStringList({"А", "Б"}));
    auto fresh = OpenEmployees(m_data);
    QCOMPARE(Column(*fresh, "Fio100"), QStringList({"А", "Б"}));
}

void TestWrites::fieldOfClosedView()
{
    auto view = NewEmployees(m_data);
    AddEmployee(*view, "А", "1");
    TField field = view->FieldByName("Accnt");
    view->Close();
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, field.AsString());
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, field.FieldName());
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, field.IsNull());
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, field.SetAsString("2"));
}

void TestWrites::unknownIndexKeepsView()
{
    auto view = NewEmployees(m_data);
    for (const char* name : {"В", "А", "Б"})
        AddEmployee(*view, QString::fromUtf8(name), "1");
    view->SetRecNo(2);
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, view->SetIndexName("NoSuchIndex"));
    QCOMPARE(view->IndexName(), QStringLiteral("Fio_Accnt"));
    QCOMPARE(view->FieldByName("Fio100").AsString(), QStringLiteral("Б"));
    AddEmployee(*view, "АА", "1");
    QCOMPARE(view->RecNo(), 2);
    QCOMPARE(Column(*view, "Fio100"), QStringList({"А", "АА", "Б", "В"}));
}

void TestWrites::statementTexts_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("params");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("one statement") << "UPDATE base SET Amount = '1'" << QStringList() << true;
    QTest::newRow("trailing semicolons")
        << "UPDATE base SET Amount = '1'; ;" << QStringList() << true;
    QTest::newRow("trailing comment")
        << "UPDATE base SET Amount = '1'; -- all rows" << QStringList() << true;
    QTest::newRow("two statements")
        << "UPDATE base SET Amount = '1'; DELETE FROM base" << QStringList() << false;
    QTest::newRow("more values than parameters")
        << "UPDATE base SET Amount = ?1" << QStringList({"1", ""}) << false;
}

void TestWrites::statementTexts()
{
    QFETCH(QString, sql);
    QFETCH(QStringList, params);
    QFETCH(bool, accepted);
    CreateEmployees(m_data);
    {
        auto view = OpenEmployees(m_data);
        AddEmployee(*view, "А", "1", "5");
    }
    TQuery query;
    query.SetDatabaseName(m_data);
    query.SQL = sql;
    query.Params = params;
    if (accepted)
        query.ExecSQL();
    else
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, query.ExecSQL());
    RawStore raw(m_data);
    QCOMPARE(raw.Query("SELECT \"Amount\" FROM base"), QStringList({accepted ? "1" : "5"}));
}

void TestWrites::rowsOnDemand_data()
{
    QTest::addColumn<QString>("work");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("current");
    // A row another program adds after the open shows only because the rows are read late.
    QTest::newRow("insert, then read") << "insert" << QStringList({"А", "Б", "В"}) << "Б";
    QTest::newRow("cancelled insert") << "cancel" << QStringList({"А", "В"}) << "А";
    QTest::newRow("read first") << "read" << QStringList({"А", "В"}) << "А";
    // A write reported as done is a stored write.
    QTest::newRow("insert ignored by the store") << "ignored" << QStringList({"А", "В"}) << "А";
}

void TestWrites::rowsOnDemand()
{
    QFETCH(QString, work);
    QFETCH(QStringList, names);
    QFETCH(QString, current);
    if (work == "ignored" && TestStore::IsServer())
        QSKIP("an SQLite trigger");
    CreateEmployees(m_data);
    AddEmployee(*OpenEmployees(m_data), "В", "1");
    TTable view;
    view.SetDatabaseName(m_data);
    view.SetTableName("base");
    view.SetIndexName("Fio_Accnt");
    view.SetRowsOnDemand(true);
    view.Open();
    RawStore raw(m_data);
    QCOMPARE(raw.Exec("INSERT INTO base (\"Fio100\", \"Accnt\") VALUES ('А', '1')"), SQLITE_OK);
    if (work == "insert") {
        AddEmployee(view, "Б", "1");
    } else if (work == "cancel") {
        view.Append();
        view.FieldByName("Fio100").SetAsString("Б");
        view.Cancel();
    } else if (work == "ignored") {
        raw.Exec("CREATE TRIGGER ignored BEFORE INSERT ON base BEGIN SELECT RAISE(IGNORE); END");
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, AddEmployee(view, "Б", "1"));
        view.Cancel();
    }
    QCOMPARE(view.GetState(), TTable::State::Browse);
    QCOMPARE(view.RecordCount(), names.size());
    QCOMPARE(view.FieldByName("Fio100").AsString(), current);
    QCOMPARE(view.RecNo(), int(names.indexOf(current)) + 1);
    QCOMPARE(Column(view, "Fio100"), names);
    QCOMPARE(raw.Query("SELECT \"Fio100\" FROM base ORDER BY 1"), names);
}

QTEST_GUILESS_MAIN(TestWrites)
void TestWrites::serverStoreCopiedAsSqliteFile()
{
    if (!TestStore::IsServer())
        QSKIP("a server store only");
    CreateEmployees(m_data);
    CreateOrganizations(m_data);
    AddEmployee(*OpenEmployees(m_data), "ёлкин", "1", "5.00", "Альфа");
    AddEmployee(*OpenEmployees(m_data), "ЕЛКИН", "1");
    AddOrganization(*OpenOrganizations(m_data), "Альфа");
    const QString copy = TStoreBackup::MakeDaily(m_data, QDate(2026, 12, 9));
    QTemporaryDir local;
    QVERIFY(QFile::copy(copy, local.path() + "/store.sqlite3"));
    const QString folder = local.path() + "/";
    auto employees = OpenEmployees(folder);
    QCOMPARE(Column(*employees, "Fio100"), QStringList({"ЕЛКИН", "ёлкин"}));
    QCOMPARE(Column(*employees, "Amount"), QStringList({"", "5.00"}));
    QCOMPARE(Column(*employees, "Id"), QStringList({"2", "1"}));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, AddEmployee(*employees, "ЁЛКИН", "1"));
    QCOMPARE(Column(*OpenOrganizations(folder), "Organization120"), QStringList{"Альфа"});
}

void TestWrites::otherProgramsWritesAnnounced()
{
    if (!TestStore::IsServer())
        QSKIP("a server store only");
    CreateEmployees(m_data);
    CreateOrganizations(m_data);
    const std::shared_ptr<StoreConnection> connection = Session().Connect(m_data, false);
    AddEmployee(*OpenEmployees(m_data), "ИВАНОВ", "1");
    QCOMPARE(connection->TakeChanges(), QStringList()); // its own writes
    RawStore other(m_data);
    QCOMPARE(other.Exec("BEGIN"), 0);
    QCOMPARE(other.Exec("UPDATE base SET \"Amount\" = '1.00'"), 0);
    QCOMPARE(other.Exec("DELETE FROM config"), 0);
    QTest::qWait(100);
    QCOMPARE(connection->TakeChanges(), QStringList()); // nothing before the commit
    QCOMPARE(other.Exec("COMMIT"), 0);
    QStringList changed;
    QTRY_COMPARE((changed += connection->TakeChanges(), changed.size()), 2);
    changed.sort();
    QCOMPARE(changed, QStringList({"base", "config"}));
    // A rolled-back write is told to nobody; one outside a transaction at once.
    QCOMPARE(other.Exec("BEGIN"), 0);
    QCOMPARE(other.Exec("DELETE FROM config"), 0);
    QCOMPARE(other.Exec("ROLLBACK"), 0);
    QCOMPARE(other.Exec("UPDATE base SET \"Amount\" = '2.00'"), 0);
    changed.clear();
    QTRY_COMPARE((changed += connection->TakeChanges(), changed.size()), 1);
    QTest::qWait(100);
    QCOMPARE(changed + connection->TakeChanges(), QStringList{"base"});
}

#include "tst_writes.moc"
