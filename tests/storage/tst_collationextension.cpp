#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include "core/Exception.h"
#include "tests/storage/StoreTestKit.h"
#include "tests/support/FolderTest.h"

using namespace StoreTestKit;

// The collation as a loadable extension: the sqlite3 shell writes the employee table of a
// store the program made and keeps its key and order as the program does.
class TestCollationExtension : public QObject, FolderTest
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void keyAsTheProgram_data();
    void keyAsTheProgram();
    void orderAsTheProgram();

private:
    struct ShellRun
    {
        int exitCode = -1;
        QString output;
        QString errors;
    };
    // Runs the script through the shell on the store of the data folder, after `.load`
    // of the extension as the README spells it (no file suffix).
    ShellRun Shell(const QString& script);
    bool ProgramRefuses(const QString& stored, const QString& typed, const QString& typedAccnt);

    QString m_shell;
};

namespace {

const QString Accnt = QStringLiteral("40817810000000000001");

QString Literal(const QString& text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QLatin1String("''")) +
           QLatin1Char('\'');
}

QString Insert(const QString& fio, const QString& accnt)
{
    return QStringLiteral("INSERT INTO base (Fio100, Accnt) VALUES (%1, %2);\n")
        .arg(Literal(fio), Literal(accnt));
}

} // namespace

void TestCollationExtension::initTestCase()
{
    m_shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    QVERIFY2(!m_shell.isEmpty(), "no sqlite3 shell: scripts/install-deps installs it");
}

void TestCollationExtension::init()
{
    StartFolder();
}

void TestCollationExtension::cleanup()
{
    EndFolder();
}

TestCollationExtension::ShellRun TestCollationExtension::Shell(const QString& script)
{
    QProcess shell;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
#ifdef SANITIZER_RUNTIME
    // The extension is built with the sanitizers; the shell is not.
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(SANITIZER_RUNTIME));
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
#endif
    shell.setProcessEnvironment(environment);
    // No ~/.sqliterc: its settings would change what the shell prints.
    shell.start(m_shell, {QStringLiteral("-init"), QStringLiteral("/dev/null"),
                          QStringLiteral("-batch"), QStringLiteral("-bail"), StoreFile(m_data)});
    shell.write(QStringLiteral(".load \"%1\"\n").arg(QStringLiteral(RU_NOCASE_EXTENSION)).toUtf8() +
                script.toUtf8());
    shell.closeWriteChannel();
    ShellRun run;
    if (!shell.waitForFinished(30000) || shell.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = shell.exitCode();
    run.output = QString::fromUtf8(shell.readAllStandardOutput());
    run.errors = QString::fromUtf8(shell.readAllStandardError());
    return run;
}

// The same rows given to the program, in a store of their own.
bool TestCollationExtension::ProgramRefuses(const QString& stored, const QString& typed,
                                            const QString& typedAccnt)
{
    const QString folder = m_data + QStringLiteral("program/");
    QDir().mkpath(folder);
    CreateEmployees(folder, {{stored, Accnt, QString(), QString()}});
    auto view = OpenEmployees(folder);
    try {
        AddEmployee(*view, typed, typedAccnt);
    } catch (const EDatabaseError&) {
        return true;
    }
    return false;
}

void TestCollationExtension::keyAsTheProgram_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("typedAccnt");
    QTest::addColumn<bool>("refused");

    QTest::newRow("Cyrillic capitals") << "Иванов Иван"
                                       << "ИВАНОВ ИВАН" << Accnt << true;
    QTest::newRow("Cyrillic small") << "ИВАНОВ ИВАН"
                                    << "иванов иван" << Accnt << true;
    QTest::newRow("other account") << "Иванов Иван"
                                   << "ИВАНОВ ИВАН"
                                   << "40817810000000000002" << false;
    QTest::newRow("Ё in either case") << "Ёлкин"
                                      << "ёЛКИН" << Accnt << true;
    QTest::newRow("Ё is no Е") << "Ёлкин"
                               << "Елкин" << Accnt << false;
    QTest::newRow("е is no ё") << "елкин"
                               << "ЁЛКИН" << Accnt << false;
    QTest::newRow("Latin") << "Smith John"
                           << "SMITH JOHN" << Accnt << true;
    QTest::newRow("Latin C is no Cyrillic С") << "Смит"
                                              << "Cмит" << Accnt << false;
    QTest::newRow("Ѐ and Ѓ") << "Ѐѓ"
                             << "ѐЃ" << Accnt << true;
    // Beyond the Russian alphabet the folding is Qt's.
    QTest::newRow("Ґ") << "Ґонта"
                       << "ґОНТА" << Accnt << true;
    QTest::newRow("Greek final sigma") << "Σοφίας"
                                       << "ΣΟΦΊΑΣ" << Accnt << true;
    QTest::newRow("dotless ı is no i") << "Kılıç"
                                       << "KILIÇ" << Accnt << false;
}

void TestCollationExtension::keyAsTheProgram()
{
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(QString, typedAccnt);
    QFETCH(bool, refused);

    QCOMPARE(ProgramRefuses(stored, typed, typedAccnt), refused);

    CreateEmployees(m_data, {{stored, Accnt, QString(), QString()}});
    const ShellRun run = Shell(Insert(typed, typedAccnt));
    QCOMPARE(run.exitCode != 0, refused);
    if (refused)
        QVERIFY2(run.errors.contains(QLatin1String("UNIQUE constraint failed")),
                 qPrintable(run.errors));
    else
        QCOMPARE(run.errors, QString());
    QCOMPARE(Shell(QStringLiteral("PRAGMA integrity_check;\n")).output, QStringLiteral("ok\n"));
    QCOMPARE(StoreRows::StoredEmployees(m_data).size(), refused ? 1 : 2);
}

void TestCollationExtension::orderAsTheProgram()
{
    // In the order of the Russian alphabet, letter case aside; Latin before Cyrillic.
    const QStringList sorted = {"abc", "ABD",    "Еж",  "ежа", "Ёж", "ёжа",
                                "Ж",   "жёлудь", "Жук", "Я",   "Ґ"};
    CreateEmployees(m_data);
    QString script;
    for (int i : {7, 2, 10, 0, 5, 3, 9, 1, 6, 4, 8})
        script += Insert(sorted[i], Accnt);
    script += QStringLiteral(
        "SELECT Fio100 FROM base ORDER BY Fio100 COLLATE RU_NOCASE, Accnt COLLATE RU_NOCASE;\n");
    const ShellRun run = Shell(script);
    QCOMPARE(run.errors, QString());
    QCOMPARE(run.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts), sorted);

    QStringList program;
    for (const StoreRows::Employee& employee : StoreRows::StoredEmployees(m_data))
        program << employee.fio;
    QCOMPARE(program, sorted);
    QCOMPARE(Shell(QStringLiteral("PRAGMA integrity_check;\n")).output, QStringLiteral("ok\n"));
}

QTEST_GUILESS_MAIN(TestCollationExtension)
#include "tst_collationextension.moc"
