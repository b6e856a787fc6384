#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#ifdef Q_OS_UNIX
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "core/Platform.h"
#include "export/AtomicFileWriter.h"
#include "export/word/DocxPackage.h"
#include "storage/engine/sqlite/Collation.h"
#include "storage/backup/StoreBackup.h"
#include "storage/views/TSession.h"
#include "storage/views/TTransaction.h"
#include "tests/storage/StoreTestKit.h"
#include "tests/support/FolderTest.h"

using namespace StoreTestKit;

// Store files that are not ours, damaged, or held by another program.
class TestStoreFiles : public QObject, FolderTest
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void foreignFileIsLeftAlone_data();
    void foreignFileIsLeftAlone();
    void damagedPageIsReported();
    void lockedStoreMakesWriteWaitThenFail();
    void lockedStoreFailsPassWithoutHalfRows();
    void missingFolder();
    void newStoreIsSharedByAllUsers();
    void filesAreForTheGroupOnly();
    void lockHeldByAnotherProcess();
    void killedWriterLeavesNoHalfRows();

private:
    QByteArray Digest(const QString& file);

};

void TestStoreFiles::init()
{
    StartFolder();
    Session().SetBusyTimeout(300);
}

void TestStoreFiles::cleanup()
{
    Session().SetBusyTimeout(5000);
    EndFolder();
}

QByteArray TestStoreFiles::Digest(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

void TestStoreFiles::foreignFileIsLeftAlone_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("text") << QByteArray("ФИО;Счет\nИВАНОВ;123\n");
    QTest::newRow("old table header") << QByteArray(4096, '\x02');
    QByteArray fakeHeader("SQLite format 3");
    fakeHeader.append('\0');
    fakeHeader.append(QByteArray(200, '\xff'));
    QTest::newRow("broken sqlite header") << fakeHeader;
}

void TestStoreFiles::foreignFileIsLeftAlone()
{
    QFETCH(QByteArray, content);
    const QString file = StoreFile(m_data);
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    const QByteArray before = Digest(file);
    auto attempt = [&](const std::function<void()>& operation) {
        try {
            operation();
            QFAIL("a foreign file was used as a store");
        } catch (const EDatabaseError& error) {
            QCOMPARE(error.ErrorKind(), EDatabaseError::Kind::Damaged);
            QVERIFY2(error.Message().contains(QDir::toNativeSeparators(file)),
                     qPrintable(error.Message()));
        }
    };
    attempt([&] { OpenEmployees(m_data); });
    attempt([&] { CreateEmployees(m_data); });
    TTable probe;
    probe.SetDatabaseName(m_data);
    probe.SetTableName("base");
    attempt([&] { probe.Exists(); });
    QCOMPARE(Digest(file), before);
    QVERIFY(!QFile::exists(file + "-wal"));
}

void TestStoreFiles::damagedPageIsReported()
{
    CreateEmployees(m_data);
    {
        auto view = OpenEmployees(m_data);
        for (int i = 0; i < 400; ++i)
            AddEmployee(*view, QStringLiteral("СОТРУДНИК %1").arg(i), "40817", "1.00", "Орг");
    }
    Session().CloseAll();
    const QString file = StoreFile(m_data);
    {
        // Overwrite the middle of the file: the table's pages.
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.size() > 8192);
        f.seek(f.size() / 2);
        f.write(QByteArray(4096, '\x5a'));
        f.seek(4096 + 10);
        f.write(QByteArray(2048, '\x00'));
    }
    const QByteArray before = Digest(file);
    try {
        OpenEmployees(m_data);
        QFAIL("a damaged table was read without an error");
    } catch (const EDatabaseError& error) {
        QCOMPARE(error.ErrorKind(), EDatabaseError::Kind::Damaged);
        QVERIFY(error.Message().contains(QDir::toNativeSeparators(file)));
    }
    Session().CloseAll();
    QCOMPARE(Digest(file), before);
}

void TestStoreFiles::lockedStoreMakesWriteWaitThenFail()
{
    auto view = NewEmployees(m_data);
    AddEmployee(*view, "А", "1");
    RawStore other(m_data);
    QCOMPARE(other.Exec("BEGIN IMMEDIATE"), 0);

    view->Edit();
    view->FieldByName("Accnt").SetAsString("2");
    QElapsedTimer timer;
    timer.start();
    try {
        view->Post();
        QFAIL("a write went through a held lock");
    } catch (const EDatabaseError& error) {
        QCOMPARE(error.ErrorKind(), EDatabaseError::Kind::Locked);
        QVERIFY(error.Message().contains(QStringLiteral("занята")));
    }
    QVERIFY(timer.elapsed() >= 250); // it waited for the busy timeout
    QCOMPARE(view->GetState(), TTable::State::Edit);
    QCOMPARE(view->FieldByName("Accnt").AsString(), QStringLiteral("2"));

    QCOMPARE(other.Exec("COMMIT"), 0);
    view->Post();
    auto fresh = OpenEmployees(m_data);
    QCOMPARE(Column(*fresh, "Accnt"), QStringList({"2"}));
}

void TestStoreFiles::lockedStoreFailsPassWithoutHalfRows()
{
    auto view = NewEmployees(m_data);
    AddEmployee(*view, "А", "1");
    AddEmployee(*view, "Б", "1");
    RawStore other(m_data);
    QCOMPARE(other.Exec("BEGIN IMMEDIATE"), 0);
    try {
        TTransaction pass(m_data, TTransaction::Mode::KeepDone);
        QFAIL("a transaction began through a held lock");
    } catch (const EDatabaseError& error) {
        QCOMPARE(error.ErrorKind(), EDatabaseError::Kind::Locked);
    }
    QCOMPARE(other.Exec("ROLLBACK"), 0);
    // The connection is usable again afterwards.
    TTransaction pass(m_data, TTransaction::Mode::KeepDone);
    view->First();
    view->Edit();
    view->FieldByName("Amount").SetAsString("5.00");
    view->Post();
    pass.Commit();
    QCOMPARE(other.Query("SELECT Amount FROM base ORDER BY Id"), QStringList({"5.00", "<null>"}));
}

void TestStoreFiles::missingFolder()
{
    const QString missing = m_folder->Root() + "/nowhere/";
    TTable table;
    table.SetDatabaseName(missing);
    table.SetTableName("base");
    QVERIFY(!table.Exists());
    table.FieldDefs() = Layouts::EmployeeFields();
    try {
        table.CreateTable();
        QFAIL("a table was created in a missing folder");
    } catch (const EDatabaseError& error) {
        QVERIFY(error.Message().contains("nowhere"));
    }
    QVERIFY(!QFile::exists(missing));
}

void TestStoreFiles::newStoreIsSharedByAllUsers()
{
#ifdef Q_OS_UNIX
    CreateEmployees(m_data);
    const QFileDevice::Permissions group = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ReadGroup | QFileDevice::WriteGroup;
    QCOMPARE(QFile::permissions(StoreFile(m_data)) & group, group);
#else
    QSKIP("permissions of this kind are POSIX");
#endif
}

// Under a umask that removes nothing, every file the program makes (store with its WAL and
// SHM, backup folder and copy, register, statement) is the owner's and group's alone.
void TestStoreFiles::filesAreForTheGroupOnly()
{
#ifdef Q_OS_UNIX
    const mode_t before = umask(0);
    Platform::KeepFilesInGroup();
    auto view = NewEmployees(m_data);
    view->Append();
    view->FieldByName("Fio100").SetAsString(QStringLiteral("Иванов Иван"));
    view->FieldByName("Accnt").SetAsString(QStringLiteral("1"));
    view->Post();
    const QString backup = TStoreBackup::MakeDaily(m_data, QDate(2026, 3, 1));
    WriteFileAtomically(m_data + "register.txt", [](QIODevice& file) { file.write("list"); });
    DocxPackage statement;
    statement.SetPart(QStringLiteral("word/document.xml"), "<w:document/>");
    statement.SaveAs(m_data + "statement.docx");
    umask(before);

    const QStringList made = {StoreFile(m_data), StoreFile(m_data) + "-wal",
                              StoreFile(m_data) + "-shm", TStoreBackup::Folder(m_data), backup,
                              m_data + "register.txt", m_data + "statement.docx"};
    const QFileDevice::Permissions others =
        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    const QFileDevice::Permissions group = QFileDevice::ReadGroup | QFileDevice::WriteGroup;
    for (const QString& file : made) {
        const QFileDevice::Permissions mode = QFile::permissions(file);
        QVERIFY2(QFileInfo::exists(file), qPrintable(file));
        QVERIFY2(!(mode & others), qPrintable(file));
        QVERIFY2((mode & group) == group, qPrintable(file));
    }
#else
    QSKIP("permissions of this kind are POSIX");
#endif
}

#ifdef Q_OS_UNIX
namespace {

// Another program: opens the store, takes the write lock, reports on the pipe, then waits
// for one byte before it lets go.
pid_t HoldLockInChild(const QString& file, int ready[2], int release[2])
{
    const QByteArray path = file.toUtf8();
    const pid_t pid = fork();
    if (pid == 0) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        const char ok = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == 0
                            ? '1'
                            : '0';
        (void)!write(ready[1], &ok, 1);
        char byte = 0;
        (void)!read(release[0], &byte, 1);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        _exit(0);
    }
    return pid;
}

} // namespace
#endif

void TestStoreFiles::lockHeldByAnotherProcess()
{
#ifdef Q_OS_UNIX
    auto view = NewEmployees(m_data);
    AddEmployee(*view, "А", "1");
    int ready[2], release[2];
    QCOMPARE(pipe(ready), 0);
    QCOMPARE(pipe(release), 0);
    const pid_t child = HoldLockInChild(StoreFile(m_data), ready, release);
    QVERIFY(child > 0);
    char ok = 0;
    QCOMPARE(read(ready[0], &ok, 1), ssize_t(1));
    QCOMPARE(ok, '1');

    view->Edit();
    view->FieldByName("Accnt").SetAsString("2");
    try {
        view->Post();
        QFAIL("a write went through another process's lock");
    } catch (const EDatabaseError& error) {
        QCOMPARE(error.ErrorKind(), EDatabaseError::Kind::Locked);
    }
    QCOMPARE(view->GetState(), TTable::State::Edit);

    (void)!write(release[1], "x", 1);
    int status = 0;
    waitpid(child, &status, 0);
    view->Post();
    auto fresh = OpenEmployees(m_data);
    QCOMPARE(Column(*fresh, "Accnt"), QStringList({"2"}));
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        close(fd);
#else
    QSKIP("needs fork()");
#endif
}

void TestStoreFiles::killedWriterLeavesNoHalfRows()
{
#ifdef Q_OS_UNIX
    CreateEmployees(m_data);
    {
        auto view = OpenEmployees(m_data);
        AddEmployee(*view, "ПЕРВЫЙ", "1");
    }
    Session().CloseAll();
    int ready[2];
    QCOMPARE(pipe(ready), 0);
    const QByteArray path = StoreFile(m_data).toUtf8();
    const pid_t child = fork();
    if (child == 0) {
        // A writer killed in the middle of a pass of many rows.
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        Collation::Register(db);
        sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        for (int i = 0;; ++i) {
            const QByteArray sql = "INSERT INTO base (Fio100, Accnt) VALUES ('Р" +
                                   QByteArray::number(i) + "', '1')";
            sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
            if (i == 2000)
                (void)!write(ready[1], "x", 1);
        }
    }
    QVERIFY(child > 0);
    char byte = 0;
    QCOMPARE(read(ready[0], &byte, 1), ssize_t(1));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);
    close(ready[1]);

    auto view = OpenEmployees(m_data);
    QCOMPARE(Column(*view, "Fio100"), QStringList({"ПЕРВЫЙ"}));
    RawStore raw(m_data);
    QCOMPARE(raw.Query("PRAGMA integrity_check"), QStringList({"ok"}));
    AddEmployee(*view, "ВТОРОЙ", "1"); // and the store takes writes again
    QCOMPARE(view->RecordCount(), 2);
#else
    QSKIP("needs fork()");
#endif
}

QTEST_GUILESS_MAIN(TestStoreFiles)
#include "tst_storefiles.moc"
