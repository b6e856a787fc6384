#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "app/TMainForm.h"
#include "storage/backup/StoreBackup.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"
#include "tests/support/FolderTest.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/SqlStore.h"
#include "tests/support/StoreRows.h"
#include "tests/support/TempDataFolder.h"

using namespace SqlStore;

// The start-up with tables in older layouts: what the user sees and what is stored.
class tst_UpgradeStart : public QObject, WindowTest<TMainForm>
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void olderTablesUpgradedSilently();
    void noEmployeeTable();
    void layoutsTheUpgradeCompletesOpen_data();
    void layoutsTheUpgradeCompletesOpen();
    void failureEndsStartWithItsMessage_data();
    void failureEndsStartWithItsMessage();
    void failedBackupToldOnce();
    void duplicatesListedAtEachStart();
    void copyBeforeFirstWrite_data();
    void copyBeforeFirstWrite();

private:
    void Start();
    QStringList Rows(const QString& query) { return Column(m_folder->DataDir(), query); }

};

void tst_UpgradeStart::init()
{
    StartFolder();
}

void tst_UpgradeStart::cleanup()
{
    EndFolder();
}

void tst_UpgradeStart::Start()
{
    m_form = std::make_unique<TMainForm>();
}

void tst_UpgradeStart::olderTablesUpgradedSilently()
{
    Exec(m_folder->DataDir(),
         {OlderBase, OlderConfig, "CREATE UNIQUE INDEX Fio_Accnt ON base (Fio, Accnt)",
          OlderEmployee("ПЕТРОВ", "2", "Ромашка"), OlderEmployee("ИВАНОВ", "1", "Нигде"),
          OlderOrganization("Бета"), OlderOrganization("ООО Ромашка")});
    Start();

    QCOMPARE(m_messages->Texts(), QStringList());
    TTable* employees = m_form->EmployeeTable();
    QVERIFY(employees->Active());
    QCOMPARE(employees->RecordCount(), 2);
    employees->First();
    QCOMPARE(employees->FieldByName("Fio100").AsString(), QStringLiteral("ИВАНОВ"));
    // No match: the start-up's fill gives the first organisation.
    QCOMPARE(employees->FieldByName("Org120").AsString(), QStringLiteral("Бета"));
    employees->Next();
    QCOMPARE(employees->FieldByName("Org120").AsString(), QStringLiteral("ООО Ромашка"));
    QCOMPARE(employees->FieldByName("Amount").AsString(), QStringLiteral("1.00"));
    auto* box = m_form->findChild<QComboBox*>(QStringLiteral("OrgBoxExport"));
    QCOMPARE(box->count(), 3);
    QCOMPARE(box->itemText(2), QStringLiteral("ООО Ромашка"));

    // Today's copy, and the copy made before the layouts changed.
    const QStringList copies =
        QDir(TStoreBackup::Folder(m_folder->DataDir())).entryList(QDir::Files);
    QCOMPARE(copies.size(), 2);
    QVERIFY(copies.contains(
        QDate::currentDate().toString(QStringLiteral("'store-'yyyyMMdd'.sqlite3'"))));
}

void tst_UpgradeStart::noEmployeeTable()
{
    Exec(m_folder->DataDir(), {OlderConfig, OlderOrganization("Альфа")});
    Start();

    QCOMPARE(m_messages->Texts(), QStringList());
    QVERIFY(m_form->EmployeeTable()->Active());
    QCOMPARE(m_form->EmployeeTable()->RecordCount(), 0);
    QCOMPARE(m_form->OrgTable()->FieldByName("Organization120").AsString(),
             QStringLiteral("Альфа"));
    QCOMPARE(m_form->OrgTable()->FindField("Organization"), -1);
}

void tst_UpgradeStart::layoutsTheUpgradeCompletesOpen_data()
{
    QTest::addColumn<QStringList>("tables");
    const QString current = QStringLiteral(
        "CREATE TABLE base (Id INTEGER PRIMARY KEY AUTOINCREMENT, Fio100 CHAR(100), "
        "Accnt CHAR(22), Amount CHAR(15), Export BOOLEAN%1)");
    const QString employee =
        QStringLiteral("INSERT INTO base (%1, Accnt, Amount) VALUES ('ИВАНОВ', '1', '5')");
    const QStringList organizations{OlderConfig, OlderOrganization("Альфа")};

    QTest::newRow("no organisation field")
        << QStringList{current.arg(QString()),
                       "CREATE UNIQUE INDEX \"base.Fio_Accnt\" ON base (Fio100, Accnt)",
                       employee.arg("Fio100")} +
               organizations;
    QTest::newRow("no name and account index")
        << QStringList{current.arg(", Org120 CHAR(120)"), employee.arg("Fio100")} +
               organizations;
    QTest::newRow("no key field")
        << QStringList{"CREATE TABLE base (Fio CHAR(100), Accnt CHAR(22), Amount CHAR(15), "
                       "Export BOOLEAN)",
                       employee.arg("Fio")} +
               organizations;
}

void tst_UpgradeStart::layoutsTheUpgradeCompletesOpen()
{
    QFETCH(QStringList, tables);
    Exec(m_folder->DataDir(), tables);
    Start();

    QCOMPARE(m_messages->Texts(), QStringList());
    TTable* employees = m_form->EmployeeTable();
    QVERIFY(employees->Active());
    QVERIFY(m_form->OrgTable() && m_form->OrgTable()->Active());
    QCOMPARE(employees->RecordCount(), 1);
    employees->First();
    QCOMPARE(employees->FieldByName("Fio100").AsString(), QStringLiteral("ИВАНОВ"));
    QCOMPARE(employees->FieldByName("Amount").AsString(), QStringLiteral("5.00"));
    QCOMPARE(employees->FieldByName("Org120").AsString(), QStringLiteral("Альфа"));
    QVERIFY(Schema(m_folder->DataDir()).join(QLatin1Char('\n')).contains(
        QLatin1String("CREATE UNIQUE INDEX \"base.Fio_Accnt\"")));
}

void tst_UpgradeStart::failureEndsStartWithItsMessage_data()
{
    QTest::addColumn<QStringList>("tables");
    QTest::addColumn<QString>("message");

    // Found before anything is written, so the message names the store file.
    const QString unusable = QStringLiteral("Таблица «base» в файле «%1» имеет неизвестную "
                                            "программе структуру: %2. Файл оставлен без "
                                            "изменений.");
    QTest::newRow("neither Fio100 nor Fio")
        << QStringList{"CREATE TABLE base (Id INTEGER PRIMARY KEY, Name CHAR(100), Accnt "
                       "CHAR(22), Amount CHAR(15), Export BOOLEAN, Org120 CHAR(120))"}
        << unusable.arg("%1", "нет поля «Fio100» или «Fio»");
    QTest::newRow("Org without the organisation table")
        << QStringList{OlderBase, OlderEmployee("ИВАНОВ", "1", "Альфа")}
        << unusable.arg("%1", "поле «Org» не перенести без таблицы «config»");
    QTest::newRow("Org and an organisation table without Organization")
        << QStringList{OlderBase, "CREATE TABLE config (Organization120 CHAR(120))",
                       OlderEmployee("ИВАНОВ", "1", "Альфа")}
        << unusable.arg("%1", "поле «Org» не перенести: в таблице «config» нет поля "
                              "«Organization»");
    QTest::newRow("an amount of blanks")
        << QStringList{OlderBase, OlderConfig, OlderEmployee("ИВАНОВ", "1", "Альфа"),
                       "UPDATE base SET Amount = '  '"}
        << "Сумма не указана";
}

void tst_UpgradeStart::failureEndsStartWithItsMessage()
{
    QFETCH(QStringList, tables);
    QFETCH(QString, message);
    Exec(m_folder->DataDir(), tables);
    const QStringList schema = Schema(m_folder->DataDir());
    Start();

    if (message.contains(QLatin1String("%1")))
        message = message.arg(
            QDir::toNativeSeparators(m_folder->DataDir() + QStringLiteral("store.sqlite3")));
    QCOMPARE(m_messages->Texts(), QStringList{message});
    QCOMPARE(m_messages->Messages().front().kind, Messages::Kind::Error);
    // The rest of the start was skipped, and the tables are as they were.
    QVERIFY(!m_form->EmployeeTable()->Active());
    QVERIFY(!m_form->OrgTable());
    m_form.reset();
    Session().CloseAll();
    QCOMPARE(Schema(m_folder->DataDir()), schema);
}

void tst_UpgradeStart::failedBackupToldOnce()
{
    Exec(m_folder->DataDir(), {OlderBase, OlderConfig, OlderOrganization("Альфа"),
                               OlderEmployee("ИВАНОВ", "1", "Альфа")});
    QFile blocker(m_folder->DataDir() + QStringLiteral("backup"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Start();

    QCOMPARE(m_messages->Messages().size(), 1);
    QCOMPARE(m_messages->Messages().front().kind, Messages::Kind::Message);
    QVERIFY2(m_messages->Texts().front().startsWith(
                 QStringLiteral("Не удалось сделать резервную копию базы данных в «")),
             qPrintable(m_messages->Texts().front()));
    QCOMPARE(m_form->EmployeeTable()->FieldByName("Org120").AsString(), QStringLiteral("Альфа"));
}

void tst_UpgradeStart::duplicatesListedAtEachStart()
{
    QStringList tables{OlderBase, OlderConfig, OlderOrganization("Альфа")};
    QStringList listed;
    for (int i = 0; i < 22; ++i) {
        const QString fio = QStringLiteral("ЁЛКИН %1").arg(i + 10);
        tables << OlderEmployee(fio, "1", "Альфа") << OlderEmployee(fio.toLower(), "1", "Альфа");
        listed << fio + ", счет 1";
    }
    const QString told = "В таблице сотрудников одни и те же ФИО и счет (без учета регистра "
                         "букв) записаны больше одного раза:\n\n" +
                         listed.mid(0, 20).join('\n') +
                         "\nи ещё 2\n\nНичего не удалено, а новых повторов программа не "
                         "допустит. Исправьте или удалите лишние записи: ФИО и счет снова станут "
                         "уникальным ключом таблицы при первом запуске без повторов.";
    Exec(m_folder->DataDir(), tables);
    for (const bool mended : {false, false, true}) { // told at each start until mended
        if (mended)
            Exec(m_folder->DataDir(), {"DELETE FROM base WHERE Id % 2 = 0"});
        m_messages->Clear();
        Start();
        m_form.reset();
        Session().CloseAll();
        QCOMPARE(m_messages->Texts(), mended ? QStringList() : QStringList{told});
    }
    QCOMPARE(Rows("SELECT count(*) FROM base"), QStringList{"22"});
    QVERIFY(Schema(m_folder->DataDir()).join('\n').contains("UNIQUE INDEX \"base.Fio_Accnt\""));
}

void tst_UpgradeStart::copyBeforeFirstWrite_data()
{
    QTest::addColumn<QStringList>("row"); // amount, organisation
    QTest::addColumn<bool>("written");
    QTest::newRow("amount pass") << QStringList{"12.999", "Альфа"} << true;
    QTest::newRow("fill of empty organisations") << QStringList{"12.99", ""} << true;
    QTest::newRow("nothing written") << QStringList{"12.99", "Альфа"} << false;
}

void tst_UpgradeStart::copyBeforeFirstWrite()
{
    QFETCH(QStringList, row);
    QFETCH(bool, written);
    const QString data = m_folder->DataDir();
    const QString folder = TStoreBackup::Folder(data);
    StoreRows::CreateEmployees(data, {{"ИВАНОВ", "1", row[0], row[1]}});
    StoreRows::CreateOrganizations(data, {"Альфа"});
    // Today's copy is made, and as many older copies before changes as are kept.
    const QString daily = TStoreBackup::MakeDaily(data, QDate::currentDate());
    for (int i = 0; i < TStoreBackup::ChangeCopies; ++i)
        QFile::copy(daily, folder + QStringLiteral("store-20200101-0000%1.sqlite3").arg(i + 10));
    Session().CloseAll();
    Start();

    // A start that writes copies the store first, and the oldest copy goes.
    const QStringList copies =
        QDir(folder).entryList({"store-*-*.sqlite3"}, QDir::Files, QDir::Name);
    QCOMPARE(copies.size(), TStoreBackup::ChangeCopies);
    QCOMPARE(copies.first() != "store-20200101-000010.sqlite3", written);
    QTemporaryDir before; // the newest holds the row as it was
    QVERIFY(QFile::copy(folder + copies.last(), before.path() + "/store.sqlite3"));
    QCOMPARE(Column(before.path() + "/", "SELECT Amount || coalesce(Org120, '') FROM base"),
             QStringList{row.join(QString())});
}

QTEST_MAIN(tst_UpgradeStart)
#include "tst_upgradestart.moc"
