#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

#include "dialogs/TServerForm.h"
#include "storage/engine/postgres/PgStore.h"
#include "storage/backup/StoreBackup.h"
#include "storage/views/TSession.h"
#include "tests/dialogs/DialogsTestKit.h"
#include "tests/support/FolderTest.h"
#include "tests/support/SqlStore.h"
#include "tests/support/TestStore.h"

// Runs only against the test server that scripts/test starts; the tables go to the schema
// named after the server's role, made afresh for each case.
class TestServerForm : public QObject, WindowTest<TServerForm>
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void checkTellsWhatItFound();
    void transferCopiesBothTablesAndSwitches();
    void transferRefused_data();
    void transferRefused();
    void removedCopyIsTransferredAgain();

private:
    QString Status() const { return Find<QLabel>("StatusLabel")->text(); }
    QString Conf() const { return QDir(m_data).filePath(QStringLiteral("server.conf")); }

    std::unique_ptr<FakeMainViews> m_views;
    std::shared_ptr<PgConnection> m_server;
};

void TestServerForm::init()
{
    const QString server = QString::fromUtf8(qgetenv("PELLOMAR_TEST_SERVER"));
    if (server.isEmpty() || TestStore::IsServer())
        QSKIP("needs PELLOMAR_TEST_SERVER and the local store (scripts/test)");
    StartFolder();
    m_server = PgConnection::Open(server, 1000);
    const QString role = m_server->QueryText(QStringLiteral("SELECT current_user"));
    m_server->Exec(QStringLiteral("DROP SCHEMA IF EXISTS \"%1\" CASCADE").arg(role));
    m_server->Exec(QStringLiteral("CREATE SCHEMA \"%1\"").arg(role));
    m_views = std::make_unique<FakeMainViews>();
    m_views->AddOrg(QStringLiteral("Альфа"));
    m_views->AddEmployee(QStringLiteral("ИВАНОВ"), QStringLiteral("1"), QStringLiteral("Альфа"));
    m_views->AddEmployee(QStringLiteral("Ёлкин"), QStringLiteral("2"), QStringLiteral("Альфа"));
    m_form = std::make_unique<TServerForm>(*m_views);
    const std::pair<const char*, const char*> fields[] = {
        {"host=", "HostEdit"}, {"dbname=", "DatabaseEdit"}, {"user=", "UserEdit"}};
    for (const QString& part : server.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        for (const auto& [key, edit] : fields) {
            if (part.startsWith(QLatin1String(key)))
                Find<QLineEdit>(edit)->setText(part.section(QLatin1Char('='), 1));
        }
    }
}

void TestServerForm::cleanup()
{
    m_form.reset();
    m_views.reset();
    m_server.reset();
    EndFolder();
}

void TestServerForm::checkTellsWhatItFound()
{
    Find<QPushButton>("CheckButton")->click();
    QVERIFY2(Status().contains(QStringLiteral("База данных пуста")), qPrintable(Status()));

    Find<QPushButton>("TransferButton")->click();
    Find<QPushButton>("CheckButton")->click();
    QVERIFY2(Status().contains(QStringLiteral("сотрудников: 2, организаций: 1")),
             qPrintable(Status()));

    Find<QLineEdit>("HostEdit")->setText(QStringLiteral("/nonexistent folder"));
    Find<QPushButton>("CheckButton")->click();
    QVERIFY2(Status().startsWith(QStringLiteral("Нет связи с сервером «/nonexistent folder»")),
             qPrintable(Status()));
}

void TestServerForm::transferCopiesBothTablesAndSwitches()
{
    const QStringList employees = FakeMainViews::StoredEmployees();
    const QStringList orgs = FakeMainViews::StoredRows(QStringLiteral("config"),
                                                       FakeMainViews::OrgFieldNames());
    Find<QPushButton>("TransferButton")->click();
    QVERIFY2(m_messages->Texts().isEmpty(), qPrintable(m_messages->Texts().join('\n')));
    QVERIFY(QFile::exists(Conf()));
    QVERIFY(QFile::exists(QDir(m_data).filePath(QStringLiteral("store.sqlite3"))));
    QVERIFY(Session().Connect(m_data, false)->IsServer());
    QVERIFY(m_views->EmployeeTable()->Active());
    QCOMPARE(FakeMainViews::StoredEmployees(), employees);
    QCOMPARE(FakeMainViews::StoredRows(QStringLiteral("config"), FakeMainViews::OrgFieldNames()),
             orgs);
    // New rows get identities after the copied ones.
    m_views->AddEmployee(QStringLiteral("ПЕТРОВ"), QStringLiteral("3"), QStringLiteral("Альфа"));
    QCOMPARE(FakeMainViews::StoredEmployees().size(), employees.size() + 1);
}

void TestServerForm::transferRefused_data()
{
    QTest::addColumn<bool>("duplicates");
    QTest::addColumn<QString>("told");
    QTest::newRow("server holds a table") << false << QStringLiteral("уже есть таблица «config»");
    QTest::newRow("local key waits for duplicates")
        << true << QStringLiteral("записи с одинаковыми ФИО и счетом");
}

void TestServerForm::transferRefused()
{
    QFETCH(bool, duplicates);
    QFETCH(QString, told);
    if (duplicates) {
        // As an upgrade leaves a table whose rows break the key: the index without UNIQUE.
        const QString name =
            SqlStore::Column(m_data, QStringLiteral("SELECT name FROM sqlite_master WHERE tbl_name "
                                                    "= 'base' AND sql LIKE 'CREATE UNIQUE%'"))
                .value(0);
        QString create = SqlStore::Column(m_data, QStringLiteral("SELECT sql FROM sqlite_master "
                                                                 "WHERE name = '%1'")
                                                      .arg(name))
                             .value(0);
        create.replace(QStringLiteral("CREATE UNIQUE INDEX"), QStringLiteral("CREATE INDEX"));
        QVERIFY(SqlStore::Exec(m_data, {QStringLiteral("DROP INDEX \"%1\"").arg(name), create}));
    } else {
        m_server->Exec(QStringLiteral("CREATE TABLE config (x integer)"));
    }
    Find<QPushButton>("TransferButton")->click();
    QVERIFY(!QFile::exists(Conf()));
    QVERIFY(!Session().Connect(m_data, false)->IsServer());
    QCOMPARE(m_messages->Texts().size(), 1);
    QVERIFY2(m_messages->Texts().first().contains(told), qPrintable(m_messages->Texts().first()));
    QCOMPARE(m_server->QueryText(QStringLiteral("SELECT count(*) FROM pg_tables WHERE "
                                                "tablename = 'base' AND schemaname = current_user")),
             QStringLiteral("0"));
}

void TestServerForm::removedCopyIsTransferredAgain()
{
    // A copy the program could not go on to use goes from the server again.
    TStoreBackup::CopyToServer(*Session().Connect(m_data, false), *m_server);
    TStoreBackup::RemoveFromServer(*m_server);
    Find<QPushButton>("TransferButton")->click();
    QVERIFY2(m_messages->Texts().isEmpty(), qPrintable(m_messages->Texts().join('\n')));
    QVERIFY(Session().Connect(m_data, false)->IsServer());
    QCOMPARE(FakeMainViews::StoredEmployees().size(), 2);
}

QTEST_MAIN(TestServerForm)
#include "tst_serverform.moc"
