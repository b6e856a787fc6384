#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QScreen>
#include <QSysInfo>
#include <QTest>
#include <QTimer>

#include <memory>

#include "app/TMainForm.h"
#include "core/Platform.h"
#include "export/AtomicFileWriter.h"
#include "export/DocumentViewer.h"
#include "export/ExportJournal.h"
#include "export/RegisterCheck.h"
#include "export/TExportCheckBox.h"
#include "export/TExportForm.h"
#include "export/TWordExportCheckBox.h"
#include "export/TWordExportForm.h"
#include "storage/views/TSession.h"
#include "tests/export/ExportTestKit.h"
#include "tests/export/JournalTestKit.h"
#include "tests/support/FolderTest.h"
#include "tests/support/ScreenChecks.h"
#include "tests/support/SqlStore.h"
#include "tests/support/TestStore.h"

namespace {

const QString Alpha = QStringLiteral("Альфа");
const QString Beta = QStringLiteral("Бета");
const QString All = QStringLiteral("Все");
const QString Announcement = QStringLiteral("Экспорт в текстовый файл");
const QString CheckCaption = QStringLiteral("Проверка реестра");

// Records the message boxes and, at each, the files the out folder holds at that moment.
class OutFolderWatcher final : public Messages::Handler
{
public:
    explicit OutFolderWatcher(QString outDir) : m_outDir(std::move(outDir))
    {
        Messages::SetHandler(this);
    }
    ~OutFolderWatcher() override { Messages::SetHandler(nullptr); }

    bool Show(Messages::Kind kind, const QString& text, const QString& caption) override
    {
        Shown << text + QLatin1Char('|') + caption;
        FilesAtMessage << FilesIn(m_outDir).join(QLatin1Char(','));
        return kind != Messages::Kind::Question || Answer;
    }

    bool Answer = true;
    QStringList Shown;
    QStringList FilesAtMessage;

private:
    QString m_outDir;
};

// A target that records what it was asked, and may fail.
class RecordingTarget final : public TExportCheckBox
{
public:
    RecordingTarget(const QString& name, QStringList& calls, bool fails, QWidget* parent,
                    int windowsOpened = 0)
        : TExportCheckBox(name, parent), m_calls(calls), m_fails(fails),
          m_windowsOpened(windowsOpened)
    {
        setObjectName(name);
        setChecked(true);
    }

    void Export(TTable&, TTable&, const QString& str) override
    {
        m_calls << objectName() + QLatin1Char(':') + str;
        // As a message box or a nested window does, parented to the dialog.
        for (int i = 0; i < m_windowsOpened; ++i)
            new QWidget(parentWidget());
        if (m_fails)
            throw Exception(QStringLiteral("Сбой цели ") + objectName());
    }

private:
    QStringList& m_calls;
    bool m_fails;
    int m_windowsOpened;
};

} // namespace

class TestExportForm : public QObject, WindowTest<TExportForm>
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void singleOrganisationWritesListTxt();
    void allWritesOneFilePerOrganisationWithCleanedTags();
    void announcementOnceBeforeAnyFile();
    void unknownOrganisationWritesNothing();
    void faultWritesNoRegister_data();
    void faultWritesNoRegister();
    void exportReadsTheRowsAsStored_data();
    void exportReadsTheRowsAsStored();
    void unreadableAmountsStopTheWholeExport();
    void missingOutFolderIsNamed();
    void journalKeepsEveryFileWritten_data();
    void journalKeepsEveryFileWritten();
    void failedFileLeavesNoRow_data();
    void failedFileLeavesNoRow();
    void refusedJournalRowIsTold_data();
    void refusedJournalRowIsTold();
    void journalNumbersText_data();
    void journalNumbersText();

    void listStartsFromTheExportSelector_data();
    void listStartsFromTheExportSelector();
    void ticksSurviveReshowing();
    void longOrganisationNameKeepsDialogOnScreen();
    void targetsAskedInControlOrderWithTheTypedChoice();
    void errorInATargetStopsLaterTargetsAndCloses();
    void windowsOpenedByATargetDoNotUpsetTheVisit();
    void okWritesTheRegisterOfTheChosenOrganisation();
    void checkAsksOnceBeforeBothTargets_data();
    void checkAsksOnceBeforeBothTargets();
    void soundRegisterAsksNothing();
    void exportCommandOfTheMainWindowExportsTheSelectorChoice();

private:
    void Export(const QString& choice);
    void ShowForm();
    QString Out(const QString& name) const { return m_folder->OutDir() + name; }

    std::unique_ptr<ExportViews> m_views;
};

void TestExportForm::init()
{
    StartFolder();
    m_views = std::make_unique<ExportViews>();
    m_views->AddOrg(Beta, QStringLiteral("40702810000000000002"), QStringLiteral("22"));
    m_views->AddOrg(Alpha, QStringLiteral("40702810000000000001"), QStringLiteral("11"));
    m_views->AddEmployee(QStringLiteral("ЯКОВЛЕВ"), QStringLiteral("1"), Alpha,
                         QStringLiteral("0.10"));
    m_views->AddEmployee(QStringLiteral("АНТОНОВ"), QStringLiteral("2"), Alpha,
                         QStringLiteral("0.20"));
    m_views->AddEmployee(QStringLiteral("БОРИСОВ"), QStringLiteral("3"), Beta,
                         QStringLiteral("4.00"));
    m_views->AddEmployee(QStringLiteral("ВАСИЛЬЕВ"), QStringLiteral("4"), Alpha,
                         QStringLiteral("5.00"), false);
    m_views->AddEmployee(QStringLiteral("ГРИГОРЬЕВ"), QStringLiteral("5"), QStringLiteral("альфа"),
                         QStringLiteral("6.00"));
    m_views->AddEmployee(QStringLiteral("ДМИТРИЕВ"), QStringLiteral("6"), QStringLiteral(" Альфа"),
                         QStringLiteral("7.00"));
    m_form = std::make_unique<TExportForm>(*m_views);
}

void TestExportForm::cleanup()
{
    m_form.reset();
    m_views.reset();
    EndFolder();
}

void TestExportForm::Export(const QString& choice)
{
    TExportCheckBox target(QStringLiteral("Текстовый файл"));
    target.Export(*m_views->EmployeeTable(), *m_views->OrgTable(), choice);
}

void TestExportForm::ShowForm()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestExportForm::singleOrganisationWritesListTxt()
{
    Export(Alpha);
    QCOMPARE(FilesIn(m_folder->OutDir()), QStringList{QStringLiteral("list.txt")});
    const QStringList alphaLines = {QStringLiteral("=========="),
                                    QStringLiteral("Версия 2;1;40702810000000000001;11;Альфа"),
                                    QStringLiteral("АНТОНОВ;2;0.20"),
                                    QStringLiteral("ЯКОВЛЕВ;1;0.10"),
                                    QStringLiteral("=========="),
                                    QStringLiteral("Итого:") + QString(58, QLatin1Char(' ')) +
                                        QStringLiteral("0.30")};
    QCOMPARE(RegisterLines(Out(QStringLiteral("list.txt"))), alphaLines);

    Export(Beta);
    QCOMPARE(FilesIn(m_folder->OutDir()), QStringList{QStringLiteral("list.txt")});
    QCOMPARE(RegisterLines(Out(QStringLiteral("list.txt"))).value(2),
             QStringLiteral("БОРИСОВ;3;4.00"));
}

void TestExportForm::allWritesOneFilePerOrganisationWithCleanedTags()
{
    m_views->AddOrg(QStringLiteral("ООО \"Рога/Копыта\""), QStringLiteral("3"),
                    QStringLiteral("33"));
    m_views->AddOrg(QStringLiteral("А/Б"), QStringLiteral("earlier"), QStringLiteral("44"));
    m_views->AddOrg(QStringLiteral("АБ"), QStringLiteral("later"), QStringLiteral("55"));
    m_views->AddEmployee(QStringLiteral("ЖУКОВ"), QStringLiteral("7"), QStringLiteral("А/Б"),
                         QStringLiteral("1"));
    Export(All);

    QCOMPARE(FilesIn(m_folder->OutDir()),
             (QStringList{QStringLiteral("list_АБ (2).txt"), QStringLiteral("list_АБ.txt"),
                          QStringLiteral("list_Альфа.txt"), QStringLiteral("list_Бета.txt"),
                          QStringLiteral("list_ООО РогаКопыта.txt")}));
    QCOMPARE(RegisterLines(Out(QStringLiteral("list_Альфа.txt"))).value(3),
             QStringLiteral("ЯКОВЛЕВ;1;0.10"));
    QCOMPARE(RegisterLines(Out(QStringLiteral("list_Бета.txt"))).mid(1, 2),
             (QStringList{QStringLiteral("Версия 2;1;40702810000000000002;22;Бета"),
                          QStringLiteral("БОРИСОВ;3;4.00")}));
    // "А/Б" comes before "АБ" by name: the later one is numbered instead of replacing it.
    QCOMPARE(
        RegisterLines(Out(QStringLiteral("list_АБ.txt"))).mid(1, 2),
        (QStringList{QStringLiteral("Версия 2;1;earlier;44;А/Б"), QStringLiteral("ЖУКОВ;7;1")}));
    QCOMPARE(RegisterLines(Out(QStringLiteral("list_АБ (2).txt"))),
             (QStringList{QStringLiteral("=========="), QStringLiteral("Версия 2;1;later;55;АБ"),
                          QStringLiteral("=========="),
                          QStringLiteral("Итого:") + QString(58, QLatin1Char(' ')) +
                              QStringLiteral("0.00")}));
    QCOMPARE(m_messages->Texts().value(1).section(QLatin1Char('\n'), -1),
             QStringLiteral("«АБ» — list_АБ (2).txt"));
}

void TestExportForm::announcementOnceBeforeAnyFile()
{
    OutFolderWatcher watcher(m_folder->OutDir());
    Export(All);
    // The closing announcement comes once, after every file, with the journal's numbers.
    const QList<qint64> numbers = JournalTestKit::Numbers();
    QCOMPARE(numbers.size(), 2);
    QCOMPARE(watcher.Shown,
             (QStringList{Announcement + QStringLiteral("|Export"),
                          QStringLiteral("Записано файлов: 2.\nНомера в журнале: %1–%2|")
                                  .arg(numbers[0])
                                  .arg(numbers[1]) +
                              Messages::ProgramTitle}));
    QCOMPARE(watcher.FilesAtMessage,
             (QStringList{QString(), QStringLiteral("list_Альфа.txt,list_Бета.txt")}));
}

void TestExportForm::unknownOrganisationWritesNothing()
{
    const QString typed = QStringLiteral("альфа");
    try {
        Export(typed);
        QFAIL("exported");
    } catch (const Exception& error) {
        QCOMPARE(error.Message(), QStringLiteral("Организация не найдена: ") + typed);
    }
    QCOMPARE(m_messages->Texts(), QStringList{Announcement});
    QCOMPARE(FilesIn(m_folder->OutDir()), QStringList());
}

void TestExportForm::faultWritesNoRegister_data()
{
    QTest::addColumn<QString>("fio");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("contract");
    QTest::addColumn<QString>("named");
    QTest::newRow("unreadable amount") << "ЕФИМОВ"
                                       << "12,5.00"
                                       << "66"
                                       << "ЕФИМОВ";
    QTest::newRow("line smuggled into a name") << "ЕФИМОВ\r\nВОР;4081;99999.00"
                                               << "1.00"
                                               << "66"
                                               << "ВОР";
    QTest::newRow("semicolon in the contract") << "ЕФИМОВ"
                                               << "1.00"
                                               << "6;6"
                                               << "Вега";
}

void TestExportForm::faultWritesNoRegister()
{
    QFETCH(QString, fio);
    QFETCH(QString, amount);
    QFETCH(QString, contract);
    QFETCH(QString, named);
    const QString vega = QStringLiteral("Вега");
    m_views->AddOrg(vega, QStringLiteral("5"), contract);
    m_views->AddEmployee(fio, QStringLiteral("9"), vega, amount);
    {
        QFile earlier(Out(QStringLiteral("list_Вега.txt")));
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier register");
    }
    try {
        Export(All);
        QFAIL("exported");
    } catch (const Exception& error) {
        QVERIFY2(error.Message().contains(named), qPrintable(error.Message()));
    }
    // Альфа and Бета come before Вега by name, yet no register is written; Вега's earlier
    // file is untouched.
    QCOMPARE(FilesIn(m_folder->OutDir()), QStringList{QStringLiteral("list_Вега.txt")});
    QCOMPARE(ReadBytes(Out(QStringLiteral("list_Вега.txt"))), QByteArray("earlier register"));
}

void TestExportForm::exportReadsTheRowsAsStored_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<QString>("choice");
    for (const QString& choice : {Beta, All}) {
        for (const char* writer : {"another view", "a query", "another program", "own edit"})
            QTest::addRow("%s, %s", writer, qPrintable(choice)) << writer << choice;
    }
}

void TestExportForm::exportReadsTheRowsAsStored()
{
    QFETCH(QString, writer);
    QFETCH(QString, choice);
    if (writer == QLatin1String("another program") && TestStore::IsServer())
        QSKIP("another program's connection is one to the SQLite file");
    m_views->AddEmployee(QStringLiteral("ЕГОРОВ"), QStringLiteral("7"), Beta,
                         QStringLiteral("15.00"));
    TTable& shown = *m_views->EmployeeTable();
    const auto goTo = [](TTable& view, const char* accnt) {
        for (view.First(); view.FieldByName(QStringLiteral("Accnt")).AsString() != accnt;)
            view.Next();
    };
    // The view shows Бета with 4.00 and 15.00 when ЕГОРОВ is deleted and БОРИСОВ gets 11.00.
    const QString amount = QStringLiteral("UPDATE base SET Amount = '11.00' WHERE Accnt = '3'");
    const QString removal = QStringLiteral("DELETE FROM base WHERE Accnt = '7'");
    if (writer == QLatin1String("another program")) {
        QVERIFY(SqlStore::Exec(m_data, {amount, removal}));
    } else if (writer == QLatin1String("a query")) {
        FakeMainViews::Exec(amount);
        FakeMainViews::Exec(removal);
    } else {
        const std::unique_ptr<TTable> other = StoreRows::OpenEmployees(m_data);
        goTo(*other, "7");
        other->Delete();
        // Own edit: the change waits in the shown view's edit, as in the grid.
        TTable& editor = writer == QLatin1String("own edit") ? shown : *other;
        goTo(editor, "3");
        editor.Edit();
        editor.FieldByName(QStringLiteral("Amount")).SetAsString(QStringLiteral("11.00"));
        if (&editor == other.get())
            other->Post();
    }

    Export(choice);
    const QString file =
        choice == All ? QStringLiteral("list_Бета.txt") : QStringLiteral("list.txt");
    QCOMPARE(RegisterLines(Out(file)).mid(2),
             (QStringList{QStringLiteral("БОРИСОВ;3;11.00"), QStringLiteral("=========="),
                          QStringLiteral("Итого:") + QString(58, QLatin1Char(' ')) +
                              QStringLiteral("11.00")}));
    // The grid shows what was exported.
    QCOMPARE(shown.RecordCount(), 6);
    goTo(shown, "3");
    QCOMPARE(shown.FieldByName(QStringLiteral("Amount")).AsString(), QStringLiteral("11.00"));
}

void TestExportForm::unreadableAmountsStopTheWholeExport()
{
    const QString vega = QStringLiteral("Вега");
    m_views->AddOrg(vega, QStringLiteral("5"), QStringLiteral("66"));
    m_views->AddEmployee(QStringLiteral("ЕФИМОВ"), QStringLiteral("8"), vega,
                         QStringLiteral("12,5.00"));
    m_views->AddEmployee(QStringLiteral("ЖУКОВ"), QStringLiteral("9"), Alpha,
                         QStringLiteral("1 000"));
    ShowForm();
    Find<TExportCheckBox>("ExportCheckBox1")->setChecked(true);
    Find<TWordExportCheckBox>("WordExportCheckBox1")->setChecked(true);
    Find<QComboBox>("ComboBox1")->setEditText(All);
    QTest::mouseClick(Find<QPushButton>("Button1"), Qt::LeftButton);

    // One message for both, in the organisations' order; the Word target is not asked.
    QCOMPARE(m_messages->Texts(),
             (QStringList{Announcement,
                          QStringLiteral("Суммы не читаются как число, экспорт не выполнен:\n"
                                         "«ЖУКОВ» (организация «Альфа»): «1 000»\n"
                                         "«ЕФИМОВ» (организация «Вега»): «12,5.00»")}));
    QCOMPARE(FilesIn(m_folder->OutDir()), QStringList());
}

void TestExportForm::missingOutFolderIsNamed()
{
    QVERIFY(QDir(m_folder->OutDir()).removeRecursively());
    try {
        Export(Alpha);
        QFAIL("exported");
    } catch (const Exception& error) {
        QVERIFY2(
            error.Message().contains(QDir::toNativeSeparators(Out(QStringLiteral("list.txt")))),
            qPrintable(error.Message()));
    }
    QVERIFY(!QFileInfo::exists(m_folder->OutDir()));
}

void TestExportForm::journalKeepsEveryFileWritten_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("one organisation")
        << Alpha << QStringList{QStringLiteral("Альфа|list|list.txt|2|0.30|same bytes")};
    QTest::newRow("all") << All
                         << QStringList{
                                QStringLiteral("Альфа|list|list_Альфа.txt|2|0.30|same bytes"),
                                QStringLiteral("Бета|list|list_Бета.txt|1|4.00|same bytes")};
}

void TestExportForm::journalKeepsEveryFileWritten()
{
    QFETCH(QString, choice);
    QFETCH(QStringList, rows);
    const QDateTime start = QDateTime::currentDateTime().addSecs(-1);
    Export(choice);
    QCOMPARE(JournalTestKit::Rows(), rows);
    for (const TRegisterEntry& entry : JournalTestKit::Journal().Entries()) {
        QVERIFY(entry.Made >= start && entry.Made <= QDateTime::currentDateTime());
        QVERIFY(!entry.UserName.isEmpty());
        QCOMPARE(entry.UserName, Platform::LoginName());
        QCOMPARE(entry.Host, QSysInfo::machineHostName());
    }
    // A later export over the same file keeps the earlier row with the bytes sent then.
    const qint64 first = JournalTestKit::Numbers().value(0);
    const QByteArray sent = ReadBytes(Out(rows[0].section(QLatin1Char('|'), 2, 2)));
    FakeMainViews::Exec(QStringLiteral("UPDATE base SET Amount = '1.00' WHERE Accnt = '1'"));
    Export(choice);
    const QStringList after = JournalTestKit::Rows();
    QCOMPARE(after.size(), 2 * rows.size());
    QCOMPARE(after[0].section(QLatin1Char('|'), 3), QStringLiteral("2|0.30|other bytes"));
    QCOMPARE(after[rows.size()].section(QLatin1Char('|'), 3), QStringLiteral("2|1.20|same bytes"));
    QCOMPARE(JournalTestKit::Journal().Content(first), sent);
}

void TestExportForm::failedFileLeavesNoRow_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("second file cannot replace a folder")
        << "folder" << QStringList{QStringLiteral("Альфа|list|list_Альфа.txt|2|0.30|same bytes")}
        << QStringList{Announcement,
                       QStringLiteral("Записан файл «list_Альфа.txt».\nНомер в журнале: %1")};
    QTest::newRow("no out folder") << "out" << QStringList() << QStringList{Announcement};
}

void TestExportForm::failedFileLeavesNoRow()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, texts);
    if (fault == QLatin1String("folder"))
        QVERIFY(QDir(m_folder->OutDir()).mkdir(QStringLiteral("list_Бета.txt")));
    else
        QVERIFY(QDir(m_folder->OutDir()).removeRecursively());
    QVERIFY_THROWS_EXCEPTION(EFileCreateError, Export(All));
    QCOMPARE(JournalTestKit::Rows(), rows);
    if (!rows.isEmpty())
        texts.last() = texts.last().arg(JournalTestKit::Numbers().value(0));
    QCOMPARE(m_messages->Texts(), texts);
}

void TestExportForm::refusedJournalRowIsTold_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("told");
    QTest::newRow("one organisation")
        << Alpha
        << "Записан файл «list.txt».\n\nФайл «list.txt» записан, но в журнал выгрузок не внесён: ";
    QTest::newRow("all") << All
                         << "Записано файлов: 2.\n\nФайлы записаны, но в журнал выгрузок не "
                            "внесены (2):\nlist_Альфа.txt\nlist_Бета.txt\nПричина: ";
}

void TestExportForm::refusedJournalRowIsTold()
{
    QFETCH(QString, choice);
    QFETCH(QString, told);
    JournalTestKit::RefuseRows();
    Export(choice);
    QCOMPARE(JournalTestKit::Rows(), QStringList());
    QCOMPARE(FilesIn(m_folder->OutDir()).size(), choice == All ? 2 : 1);
    const QString closing = m_messages->Texts().value(1);
    QVERIFY2(closing.startsWith(told) && closing.contains(QStringLiteral("journal refused")),
             qPrintable(closing));
}

void TestExportForm::journalNumbersText_data()
{
    QTest::addColumn<QList<qint64>>("numbers");
    QTest::addColumn<QString>("text");
    QTest::newRow("one") << QList<qint64>{17} << "Номер в журнале: 17";
    QTest::newRow("a run") << QList<qint64>{17, 18, 19} << "Номера в журнале: 17–19";
    QTest::newRow("another computer's row between")
        << QList<qint64>{17, 18, 20, 22, 23} << "Номера в журнале: 17–18, 20, 22–23";
}

void TestExportForm::journalNumbersText()
{
    QFETCH(QList<qint64>, numbers);
    QFETCH(QString, text);
    QCOMPARE(ExportJournal::NumbersText(numbers), text);
}

void TestExportForm::listStartsFromTheExportSelector_data()
{
    QTest::addColumn<QString>("selector");
    QTest::newRow("all") << All;
    QTest::newRow("an organisation") << Beta;
    QTest::newRow("typed text") << QStringLiteral(" нет такой ");
}

void TestExportForm::listStartsFromTheExportSelector()
{
    QFETCH(QString, selector);
    m_views->SelectorText = QStringLiteral("Альфа");
    ShowForm();
    m_form->hide();
    m_views->AddOrg(QStringLiteral("Вега"), QStringLiteral("5"), QStringLiteral("6"));
    m_views->SelectorText = selector;
    ShowForm();
    auto* box = Find<QComboBox>("ComboBox1");
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    QCOMPARE(items, (QStringList{All, Alpha, Beta, QStringLiteral("Вега")}));
    QCOMPARE(box->currentText(), selector);
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Экспорт данных"));
}

void TestExportForm::ticksSurviveReshowing()
{
    ShowForm();
    Find<TExportCheckBox>("ExportCheckBox1")->setChecked(true);
    m_form->reject();
    ShowForm();
    QVERIFY(Find<TExportCheckBox>("ExportCheckBox1")->isChecked());
    QVERIFY(!Find<TWordExportCheckBox>("WordExportCheckBox1")->isChecked());
}

void TestExportForm::longOrganisationNameKeepsDialogOnScreen()
{
    ShowForm();
    const int width = m_form->width();
    m_form->hide();
    const QString name = LongOrganisationName();
    m_views->AddOrg(name, QStringLiteral("7"), QStringLiteral("8"));
    m_views->SelectorText = name;
    ShowForm();

    auto* box = Find<QComboBox>("ComboBox1");
    QCOMPARE(box->currentText(), name);
    CheckKeptOnScreen(m_form.get(), width);
    CheckListShowsWhole(box, name);
}

void TestExportForm::targetsAskedInControlOrderWithTheTypedChoice()
{
    QList<QObject*> order;
    for (QObject* child : m_form->children()) {
        if (qobject_cast<TExportCheckBox*>(child))
            order << child;
    }
    QCOMPARE(order, (QList<QObject*>{Find<TExportCheckBox>("ExportCheckBox1"),
                                     Find<TWordExportCheckBox>("WordExportCheckBox1")}));

    QStringList calls;
    new RecordingTarget(QStringLiteral("First"), calls, false, m_form.get());
    auto* unticked = new RecordingTarget(QStringLiteral("Unticked"), calls, false, m_form.get());
    unticked->setChecked(false);
    new RecordingTarget(QStringLiteral("Last"), calls, false, m_form.get());
    ShowForm();
    const QString typed = QStringLiteral("  Альфа ");
    Find<QComboBox>("ComboBox1")->setEditText(typed);
    QTest::mouseClick(Find<QPushButton>("Button1"), Qt::LeftButton);
    QCOMPARE(calls,
             (QStringList{QStringLiteral("First:") + typed, QStringLiteral("Last:") + typed}));
    QCOMPARE(m_messages->Texts(), QStringList());
    QVERIFY(!m_form->isVisible());
    QCOMPARE(m_form->result(), int(QDialog::Accepted));
}

void TestExportForm::errorInATargetStopsLaterTargetsAndCloses()
{
    QStringList calls;
    new RecordingTarget(QStringLiteral("Failing"), calls, true, m_form.get());
    new RecordingTarget(QStringLiteral("Later"), calls, false, m_form.get());
    ShowForm();
    Find<QComboBox>("ComboBox1")->setEditText(Beta);
    QTest::mouseClick(Find<QPushButton>("Button1"), Qt::LeftButton);
    QCOMPARE(calls, QStringList{QStringLiteral("Failing:") + Beta});
    // The register check's question, answered Yes, then the target's error.
    QCOMPARE(m_messages->Messages().size(), 2);
    QCOMPARE(m_messages->Messages().front().caption, CheckCaption);
    QCOMPARE(m_messages->Messages().back().kind, Messages::Kind::Error);
    QCOMPARE(m_messages->Messages().back().text, QStringLiteral("Сбой цели Failing"));
    QVERIFY(!m_form->isVisible());
    QCOMPARE(m_form->result(), int(QDialog::Accepted));
}

void TestExportForm::windowsOpenedByATargetDoNotUpsetTheVisit()
{
    QStringList calls;
    new RecordingTarget(QStringLiteral("Opening"), calls, false, m_form.get(), 64);
    new RecordingTarget(QStringLiteral("Later"), calls, false, m_form.get());
    ShowForm();
    Find<QComboBox>("ComboBox1")->setEditText(Alpha);
    QTest::mouseClick(Find<QPushButton>("Button1"), Qt::LeftButton);
    QCOMPARE(calls,
             (QStringList{QStringLiteral("Opening:") + Alpha, QStringLiteral("Later:") + Alpha}));
}

void TestExportForm::okWritesTheRegisterOfTheChosenOrganisation()
{
    m_views->SelectorText = Beta;
    ShowForm();
    Find<TExportCheckBox>("ExportCheckBox1")->setChecked(true);
    QTest::mouseClick(Find<QPushButton>("Button1"), Qt::LeftButton);
    // The register check's question, answered Yes, the announcement, the closing message.
    QCOMPARE(m_messages->Messages().size(), 3);
    QCOMPARE(m_messages->Messages().front().kind, Messages::Kind::Question);
    QCOMPARE(m_messages->Messages().at(1).caption, QStringLiteral("Export"));
    QCOMPARE(FilesIn(m_folder->OutDir()), QStringList{QStringLiteral("list.txt")});
    QCOMPARE(RegisterLines(Out(QStringLiteral("list.txt"))).value(1),
             QStringLiteral("Версия 2;1;40702810000000000002;22;Бета"));
    QVERIFY(!m_form->isVisible());
}

void TestExportForm::checkAsksOnceBeforeBothTargets_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("findings");
    // Flagged, in the grid's order: ГРИГОРЬЕВ and ДМИТРИЕВ name no organisation exactly,
    // ЕГОРОВ and ЖУКОВ none at all; accounts of one digit.
    const QString unlisted = QStringLiteral(
        "Отмечены, но не войдут ни в один реестр (организация не указана или её нет в списке): "
        "4 — «ГРИГОРЬЕВ» (организация «альфа»), «ДМИТРИЕВ» (организация « Альфа»), «ЕГОРОВ» "
        "(без организации), …\n");
    const QString beta = QStringLiteral("«БОРИСОВ» (организация «Бета»): счёт «3» — не 20 цифр");
    QTest::newRow("all, yes") << All << true
                              << QStringList{"list_Альфа.txt", "list_Бета.txt",
                                             "Ведомость_Альфа.doc", "Ведомость_Бета.doc"}
                              << unlisted +
                                     QStringLiteral("«АНТОНОВ» (организация «Альфа»): счёт «2» — "
                                                    "не 20 цифр\n«ЯКОВЛЕВ» (организация "
                                                    "«Альфа»): счёт «1» — не 20 цифр\n") +
                                     beta;
    QTest::newRow("all, no") << All << false << QStringList() << QString();
    QTest::newRow("one organisation, yes")
        << Beta << true << QStringList{"list.txt", "Ведомость.doc"} << unlisted + beta;
}

void TestExportForm::checkAsksOnceBeforeBothTargets()
{
    QFETCH(QString, choice);
    QFETCH(bool, answer);
    QFETCH(QStringList, files);
    QFETCH(QString, findings);
    m_views->AddEmployee(QStringLiteral("ЕГОРОВ"), QStringLiteral("7"), QString(),
                         QStringLiteral("1.00"));
    m_views->AddEmployee(QStringLiteral("ЖУКОВ"), QStringLiteral("8"), QString(),
                         QStringLiteral("1.00"));
    Platform::SetProgramFolder(QFileInfo(QStringLiteral(EXPORT_TEMPLATE)).dir().absolutePath() +
                               QStringLiteral("/.."));
    DocumentViewer::SetOpener([](const QString&) {});
    TWordExportForm word;
    OutFolderWatcher watcher(m_folder->OutDir());
    watcher.Answer = answer;
    QTimer start; // fires in the Word window's own loop, if it is shown
    start.setSingleShot(true);
    connect(&start, &QTimer::timeout, &word, [&] { word.StartButton->click(); });

    ShowForm();
    Find<TExportCheckBox>("ExportCheckBox1")->setChecked(true);
    Find<TWordExportCheckBox>("WordExportCheckBox1")->setChecked(true);
    Find<QComboBox>("ComboBox1")->setEditText(choice);
    start.start(0);
    QTest::mouseClick(Find<QPushButton>("Button1"), Qt::LeftButton);
    const bool wordShown = !start.isActive();
    start.stop();
    DocumentViewer::SetOpener({});
    Platform::SetProgramFolder(QString());

    QCOMPARE(watcher.Shown.size() > 0, true);
    const QString question = watcher.Shown.front();
    QVERIFY2(question.endsWith(QLatin1Char('|') + CheckCaption), qPrintable(question));
    if (answer)
        QCOMPARE(question, QStringLiteral("Перед выгрузкой проверьте:\n") + findings +
                               QStringLiteral("\n\nПродолжить выгрузку?|") + CheckCaption);
    QCOMPARE(watcher.FilesAtMessage.front(), QString());
    QCOMPARE(watcher.Shown.filter(CheckCaption).size(), 1);
    QCOMPARE(watcher.Shown.contains(Announcement + QStringLiteral("|Export")), answer);
    QCOMPARE(wordShown, answer);
    QCOMPARE(FilesIn(m_folder->OutDir()), files);
    QVERIFY(!m_form->isVisible());
}

void TestExportForm::soundRegisterAsksNothing()
{
    TTable& employees = *m_views->EmployeeTable();
    for (employees.First(); !employees.Eof(); employees.Next()) {
        employees.Edit();
        employees.FieldByName(QStringLiteral("Export")).SetAsBoolean(false);
        employees.Post();
    }
    const QString vega = QStringLiteral("Вега");
    m_views->AddOrg(vega, QStringLiteral("40702810000000000003"), QStringLiteral("33"));
    m_views->AddEmployee(QStringLiteral("ЕГОРОВ"), QStringLiteral("40817810000000000007"), vega,
                         QStringLiteral("7.00"));
    m_views->SelectorText = vega;
    ShowForm();
    Find<TExportCheckBox>("ExportCheckBox1")->setChecked(true);
    QTest::mouseClick(Find<QPushButton>("Button1"), Qt::LeftButton);
    QCOMPARE(m_messages->Texts(),
             (QStringList{Announcement,
                          QStringLiteral("Записан файл «list.txt».\nНомер в журнале: %1")
                              .arg(JournalTestKit::Numbers().value(0))}));
    QCOMPARE(RegisterLines(Out(QStringLiteral("list.txt"))).value(2),
             QStringLiteral("ЕГОРОВ;40817810000000000007;7.00"));
}

void TestExportForm::exportCommandOfTheMainWindowExportsTheSelectorChoice()
{
    TMainForm main;
    TExportForm form(main, &main);
    main.SetExportForm(&form);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    // Choosing an organisation in the selector flags its employees only.
    main.findChild<QComboBox*>(QStringLiteral("OrgBoxExport"))->setCurrentText(Beta);

    QString startedWith;
    QTimer::singleShot(0, &form, [&] {
        QTRY_VERIFY(form.isVisible());
        startedWith = form.findChild<QComboBox*>(QStringLiteral("ComboBox1"))->currentText();
        form.findChild<TExportCheckBox*>(QStringLiteral("ExportCheckBox1"))->setChecked(true);
        QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
    });
    main.findChild<QAction*>(QStringLiteral("export1"))->trigger();

    QCOMPARE(startedWith, Beta);
    QVERIFY(!form.isVisible());
    // The selector flagged Бета's employees only, so the others are not named; the start-up
    // made the journal.
    QCOMPARE(m_messages->Texts(),
             (QStringList{QStringLiteral("Перед выгрузкой проверьте:\n"
                                         "«БОРИСОВ» (организация «Бета»): счёт «3» — не 20 цифр\n"
                                         "\nПродолжить выгрузку?"),
                          Announcement,
                          QStringLiteral("Записан файл «list.txt».\nНомер в журнале: %1")
                              .arg(JournalTestKit::Numbers().value(0))}));
    QCOMPARE(RegisterLines(Out(QStringLiteral("list.txt"))).mid(1, 3),
             (QStringList{QStringLiteral("Версия 2;1;40702810000000000002;22;Бета"),
                          QStringLiteral("БОРИСОВ;3;4.00"), QStringLiteral("==========")}));
}

QTEST_MAIN(TestExportForm)
#include "tst_exportform.moc"
