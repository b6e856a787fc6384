#include <QTest>

#include "storage/views/TQuery.h"
#include "storage/views/TSession.h"
#include "storage/views/TTransaction.h"
#include "tests/storage/StoreTestKit.h"
#include "tests/support/TempDataFolder.h"
#include "tests/support/TestServer.h"
#include "tests/support/TestStore.h"

using namespace StoreTestKit;

// A server of its own stopped at once mid-work: nothing half-stored, a clear error, the row
// in edit kept, and the next command reaches the server again.
class TestServerFaults : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestServer> m_server;

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("PELLOMAR_TEST_SERVER"))
            QSKIP("PELLOMAR_TEST_SERVER names no test server (scripts/test starts one)");
        m_server = std::make_unique<TestServer>(); // the shared server stays up for other suites
        QVERIFY(!m_server->Connection().isEmpty());
        qputenv("PELLOMAR_TEST_SERVER", m_server->Connection());
        qputenv("PELLOMAR_TEST_STORE", "server");
    }
    void cleanupTestCase()
    {
        Session().CloseAll();
        m_server.reset();
    }
    void lostInTheMiddle_data();
    void lostInTheMiddle();
    void listensAgainAfterRestart();
};

void TestServerFaults::lostInTheMiddle_data()
{
    QTest::addColumn<QString>("work");
    QTest::addColumn<int>("killAt");   // the imported row before which the server stops
    QTest::addColumn<QString>("kept"); // the name the employee view keeps in edit
    QTest::addColumn<QString>("told"); // a part of the message besides the lost connection
    QTest::newRow("post") << "post" << 0 << "Изменено"
                          << "";
    QTest::newRow("import") << "import" << 50 << "Новый 50"
                            << "";
    QTest::newRow("import lost at commit") << "import" << 100 << ""
                                           << "Неизвестно";
    QTest::newRow("cascade") << "cascade" << 0 << ""
                             << "";
}

void TestServerFaults::lostInTheMiddle()
{
    QFETCH(QString, work);
    QFETCH(int, killAt);
    QFETCH(QString, kept);
    QFETCH(QString, told);
    TempDataFolder folder;
    const QString data = folder.DataDir(), org = QStringLiteral("Орг"),
                  renamed = QStringLiteral("Новая");
    TestStore::Prepare(data);
    const QList<StoreRows::Employee> before{{QStringLiteral("Анна"), "1", "10.00", org},
                                            {QStringLiteral("Борис"), "2", "20.00", org}};
    CreateEmployees(data, before);
    StoreRows::CreateOrganizations(data, {org});
    auto employees = OpenEmployees(data);
    auto orgs = OpenOrganizations(data);
    auto kill = [this] { QVERIFY(m_server->Kill()); };
    QString error;
    try {
        if (work == QLatin1String("post")) {
            employees->Edit();
            employees->FieldByName(Layouts::FioField).SetAsString(kept);
            employees->BeforePost = [&](TTable&) { kill(); };
            employees->Post();
        }
        TTransaction transaction(data, TTransaction::Mode::Atomic);
        for (int i = 0; i < 100 && work == QLatin1String("import"); ++i) {
            if (i == killAt)
                kill();
            AddEmployee(*employees, QStringLiteral("Новый %1").arg(i), QString::number(i), {}, org);
        }
        if (work == QLatin1String("cascade")) { // the settings' rename of an organisation
            orgs->Edit();
            orgs->FieldByName(Layouts::OrgNameField).SetAsString(renamed);
            orgs->Post();
            kill();
            TQuery query;
            query.SetDatabaseName(data);
            query.SQL =
                QStringLiteral("UPDATE base SET %1 = ?2 WHERE %1 = ?1").arg(Layouts::OrgField);
            query.Params = {org, renamed};
            query.ExecSQL();
        }
        kill();
        transaction.Commit();
    } catch (const EDatabaseError& e) {
        error = e.Message();
    }
    QVERIFY2(error.startsWith(QStringLiteral("Нет связи с сервером «%1»").arg(m_server->Folder())),
             qPrintable(error));
    QVERIFY2(error.contains(told), qPrintable(error));
    if (!kept.isEmpty())
        QCOMPARE(employees->FieldByName(Layouts::FioField).AsString(), kept);

    QVERIFY(m_server->Restart());
    employees->Cancel();
    employees->BeforePost = {};
    QCOMPARE(StoreRows::StoredEmployees(data), before);
    orgs->Refresh();
    QCOMPARE(Column(*orgs, Layouts::OrgNameField), QStringList{org});
    AddEmployee(*employees, QStringLiteral("Вера"), QStringLiteral("3"), {}, org);
    QCOMPARE(StoreRows::StoredEmployees(data).size(), before.size() + 1);
}

// No command of the user's is needed: asking for announcements reconnects and listens again.
void TestServerFaults::listensAgainAfterRestart()
{
    TempDataFolder folder;
    const QString data = folder.DataDir();
    TestStore::Prepare(data);
    CreateEmployees(data, {{QStringLiteral("Анна"), "1", "10.00", {}}});
    const std::shared_ptr<StoreConnection> connection = Session().Connect(data, false);
    QCOMPARE(connection->TakeChanges(), QStringList());
    QVERIFY(m_server->Kill());
    // The server's farewell may come before the closed socket is seen.
    auto twice = [&] {
        connection->TakeChanges();
        connection->TakeChanges();
    };
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, twice());
    QVERIFY(m_server->Restart());
    // What was written while nobody listened: every table once.
    QStringList missed = connection->TakeChanges();
    missed.sort();
    QCOMPARE(missed, QStringList({"base"}));
    RawStore other(data);
    QCOMPARE(other.Exec("UPDATE base SET \"Amount\" = '2.00'"), 0);
    QStringList changed;
    QTRY_COMPARE((changed += connection->TakeChanges(), changed), QStringList({"base"}));
}

QTEST_MAIN(TestServerFaults)
#include "tst_serverfaults.moc"
