#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

#include "app/TMainForm.h"
#include "import/TImportForm.h"
#include "import/TOpenDialog.h"
#include "storage/layouts/Layouts.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"
#include "tests/import/ImportTestKit.h"
#include "tests/support/FolderTest.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/StoreRows.h"
#include "tests/support/TempDataFolder.h"

using Records = QList<QByteArrayList>; // name bytes, amount, account

namespace {

const QString Running = QStringLiteral("Идет импорт данных...");
const QString Done = QStringLiteral("Импорт данных завершен.");
const QString BadFormat = QStringLiteral("Error format source base");

QString DoneWith(int added, int updated, int unchanged)
{
    return Done + QStringLiteral(" Добавлено: %1, обновлено: %2, без изменений: %3.")
                      .arg(added)
                      .arg(updated)
                      .arg(unchanged);
}

// Answers each message box by running a step while it is shown, with Yes or OK.
class SteppingHandler final : public Messages::Handler
{
public:
    using Step = std::function<void(const QString& text, const QString& caption)>;
    explicit SteppingHandler(Step step) : m_step(std::move(step)) { Messages::SetHandler(this); }
    ~SteppingHandler() override { Messages::SetHandler(nullptr); }

    bool Show(Messages::Kind, const QString& text, const QString& caption) override
    {
        m_step(text, caption);
        return true;
    }

private:
    Step m_step;
};

} // namespace

class TestImportForm : public QObject, WindowTest<TImportForm>
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void importsRecords_data();
    void importsRecords();
    void importingTwiceStoresNothingNew();
    void storedEmployeesGetTheFileAmounts_data();
    void storedEmployeesGetTheFileAmounts();
    void employeeChangedMeanwhileIsNotOverwritten();
    void dialogStartsWhereTheLastFileWas();
    void progressFollowsTheFile();
    void emptySourceTouchesNoBar();
    void missingField_data();
    void missingField();
    void fieldKinds_data();
    void fieldKinds();
    void cancelledChoice();
    void whitespaceAmountEndsTheImport();
    void windowStaysOpenWhileImporting();
    void fileOfAnotherProgram();
    void mainWindowCommand();
    void damagedFileThroughMainWindow();

private:
    void CreateEmployeeTable();
    QStringList Employees() const;
    QString MakeSource(const Records& records);
    void Choose(const QString& path);
    void RunImport();
    QLabel* Label() const { return m_form->findChild<QLabel*>(QStringLiteral("ProgreesLabel")); }
    QProgressBar* Bar() const
    {
        return m_form->findChild<QProgressBar*>(QStringLiteral("ProgressBar"));
    }

    std::unique_ptr<DbfFolder> m_sources;
};

void TestImportForm::init()
{
    StartFolder();
    m_sources = std::make_unique<DbfFolder>();
    CreateEmployeeTable();
    m_form = std::make_unique<TImportForm>();
}

void TestImportForm::cleanup()
{
    TOpenDialog::SetChooser({});
    m_form.reset();
    m_sources.reset();
    EndFolder();
}

void TestImportForm::CreateEmployeeTable()
{
    TTable base;
    base.SetDatabaseName(m_folder->DataDir());
    base.SetTableName(QString::fromLatin1(Layouts::EmployeeTableName));
    base.FieldDefs() = Layouts::EmployeeFields();
    base.IndexDefs() = Layouts::EmployeeIndexes();
    base.CreateTable();
}

// Every stored employee as "name|account|amount|organisation|export", in index order.
QStringList TestImportForm::Employees() const
{
    TTable base;
    base.SetDatabaseName(m_folder->DataDir());
    base.SetTableName(QString::fromLatin1(Layouts::EmployeeTableName));
    base.SetIndexName(QString::fromLatin1(Layouts::EmployeeIndex));
    base.Open();
    QStringList rows;
    for (base.First(); !base.Eof(); base.Next()) {
        QStringList row;
        for (const QString& field :
             {Layouts::FioField, Layouts::AccntField, Layouts::AmountField, Layouts::OrgField})
            row << base.FieldByName(field).AsString();
        row << (base.FieldByName(Layouts::ExportField).AsBoolean() ? "1" : "0");
        rows << row.join(QLatin1Char('|'));
    }
    return rows;
}

QString TestImportForm::MakeSource(const Records& records)
{
    return m_sources->Make(QStringLiteral("source.dbf"), [&](DbfWriter& w) {
        for (const QByteArrayList& r : records)
            w.Add({r.value(0), r.value(1), "", r.value(2), "1"});
    });
}

void TestImportForm::Choose(const QString& path)
{
    TOpenDialog::SetChooser([path](const TOpenDialog&) { return std::optional<QString>(path); });
}

// Shows the window as the main window does and lets the import run to its end.
void TestImportForm::RunImport()
{
    m_form->show();
    QCoreApplication::processEvents();
    m_form->close();
}

void TestImportForm::importsRecords_data()
{
    QTest::addColumn<Records>("records");
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("messages");

    const QByteArray account22 = "4081781000000000000122";
    const QByteArray account23 = account22 + "3";
    QTest::newRow("Cyrillic name")
        << Records{{Cp866("ФАМИЛИЯ ИМЯ"), "1500", "40817810000000000001"}}
        << QStringList{"ФАМИЛИЯ ИМЯ|40817810000000000001|1500.00||1"} << QStringList{};
    QTest::newRow("Ё and box drawing")
        << Records{{"\xF0\xAB\x8A\x88\xAD \xB0\xC4\xDB", "10.5", "7"}}
        << QStringList{"ЁлКИн ???|7|10.50||1"} << QStringList{};
    QTest::newRow("blank amount") << Records{{"A", "", "1"}} << QStringList{"A|1|0.00||1"}
                                  << QStringList{};
    QTest::newRow("name without account") << Records{{Cp866("ИВАНОВ"), "5", ""}} << QStringList{}
                                          << QStringList{"Неверные данные: ИВАНОВ "};
    QTest::newRow("account without name")
        << Records{{"", "5", "408"}} << QStringList{} << QStringList{"Неверные данные:  408"};
    QTest::newRow("blank in both")
        << Records{{"", "", ""}} << QStringList{} << QStringList{"Неверные данные:  "};
    QTest::newRow("account as long as the field")
        << Records{{"A", "1", account22}} << QStringList{"A|" + account22 + "|1.00||1"}
        << QStringList{};
    QTest::newRow("account longer than the field is not cut")
        << Records{{"A", "1", account23}} << QStringList{}
        << QStringList{"Неверные данные: A " + account23};
    QTest::newRow("amount as long as the field")
        << Records{{"A", "123456789012", "1"}} << QStringList{"A|1|123456789012.00||1"}
        << QStringList{};
    QTest::newRow("amount longer than the field is not cut")
        << Records{{"A", "1234567890123", "1"}} << QStringList{}
        << QStringList{"Неверные данные: сумма 1234567890123.00 длиннее 15 знаков (A 1)"};
    QTest::newRow("amount with a decimal comma")
        << Records{{"A", "1500,50", "1"}} << QStringList{"A|1|1500.50||1"} << QStringList{};
    QTest::newRow("amount with spaces between thousands")
        << Records{{"A", "1 500.50", "1"}, {"B", "1\xA0" "234\xA0" "567,8", "2"}}
        << QStringList{"A|1|1500.50||1", "B|2|1234567.80||1"} << QStringList{};
    QTest::newRow("amount that is no number")
        << Records{{"A", "1.2.3", "1"}, {"B", "12 50", "2"}, {"C", "7", "3"}}
        << QStringList{"C|3|7.00||1"}
        << QStringList{"Неверные данные: сумма «1.2.3» не является числом (A 1)",
                       "Неверные данные: сумма «12 50» не является числом (B 2)"};
    QTest::newRow("blank account reported before the amount")
        << Records{{"A", "abc", ""}} << QStringList{} << QStringList{"Неверные данные: A "};
    QTest::newRow("same name and account in another letter case")
        << Records{{Cp866("Иванов"), "1", "A1"}, {Cp866("ИВАНОВ"), "2", "a1"}}
        << QStringList{"Иванов|A1|1.00||1"} << QStringList{};
    QTest::newRow("invalid record between valid ones")
        << Records{{"B", "2", "2"}, {"C", "", ""}, {"A", "1", "1"}}
        << QStringList{"A|1|1.00||1", "B|2|2.00||1"} << QStringList{"Неверные данные: C "};
}

void TestImportForm::importsRecords()
{
    QFETCH(Records, records);
    QFETCH(QStringList, stored);
    QFETCH(QStringList, messages);

    Choose(MakeSource(records));
    QVERIFY(m_form->OpenSourceDb());
    RunImport();

    QCOMPARE(Employees(), stored);
    QCOMPARE(m_messages->Texts(), messages);
    for (const MessageRecorder::Shown& shown : m_messages->Messages()) {
        QCOMPARE(shown.kind, Messages::Kind::Message);
        QCOMPARE(shown.caption, QStringLiteral("2"));
    }
    QVERIFY2(Label()->text().startsWith(Done + QStringLiteral(" Добавлено: ")),
             qPrintable(Label()->text()));
}

void TestImportForm::importingTwiceStoresNothingNew()
{
    Choose(MakeSource({{"A", "1", "1"}, {"", "", "2"}, {"B", "2", "2"}}));
    QVERIFY(m_form->OpenSourceDb());
    RunImport();
    const QStringList first = Employees();
    QCOMPARE(first.size(), 2);

    QVERIFY(m_form->OpenSourceDb());
    RunImport();
    QCOMPARE(Employees(), first);
    // Only the invalid record is reported, each time.
    QCOMPARE(m_messages->Texts(), QStringList({"Неверные данные:  2", "Неверные данные:  2"}));
}

using Stored = QList<StoreRows::Employee>;

void TestImportForm::storedEmployeesGetTheFileAmounts_data()
{
    QTest::addColumn<Stored>("before");
    QTest::addColumn<Records>("records");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<int>("asked"); // employees the question names; 0: not asked
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QString>("label");

    const Stored two{{"Иванов", "1", "100.00", "Орг", false}, {"Петров", "2", "200.00", "", true}};
    const Records other{{Cp866("Иванов"), "1 500,50", "1"}, {Cp866("Петров"), "200", "2"}};
    QTest::newRow("another amount, yes")
        << two << other << true << 1
        << QStringList{"Иванов|1|1500.50|Орг|1", "Петров|2|200.00||1"} << DoneWith(0, 1, 1);
    QTest::newRow("another amount, no")
        << two << other << false << 1
        << QStringList{"Иванов|1|100.00|Орг|0", "Петров|2|200.00||1"} << DoneWith(0, 0, 2);
    QTest::newRow("same amounts written otherwise")
        << two << Records{{Cp866("Иванов"), "100,00", "1"}, {Cp866("Петров"), "200", "2"}}
        << true << 0 << QStringList{"Иванов|1|100.00|Орг|0", "Петров|2|200.00||1"}
        << DoneWith(0, 0, 2);
    QTest::newRow("letter case differs")
        << Stored{{"ёлкин иван", "ab1", "1.00", "", false}}
        << Records{{Cp866("ЁЛКИН ИВАН"), "2", "AB1"}} << true << 1
        << QStringList{"ёлкин иван|ab1|2.00||1"} << DoneWith(0, 1, 0);
    QTest::newRow("е is not ё")
        << Stored{{"Ёлкин", "1", "1.00", "", false}} << Records{{Cp866("Елкин"), "2", "1"}}
        << true << 0 << QStringList{"Елкин|1|2.00||1", "Ёлкин|1|1.00||0"} << DoneWith(1, 0, 0);
    QTest::newRow("mixed with new employees")
        << two
        << Records{{"C", "3", "3"}, {Cp866("ИВАНОВ"), "5", "1"}, {"", "", "4"},
                   {Cp866("Петров"), "200", "2"}, {"D", "4", "4"}}
        << true << 1
        << QStringList{"C|3|3.00||1", "D|4|4.00||1", "Иванов|1|5.00|Орг|1", "Петров|2|200.00||1"}
        << DoneWith(2, 1, 1);
    QTest::newRow("a stored employee twice in the file")
        << two << Records{{Cp866("Иванов"), "5", "1"}, {Cp866("иванов"), "7", "1"}} << true << 1
        << QStringList{"Иванов|1|5.00|Орг|1", "Петров|2|200.00||1"} << DoneWith(0, 1, 1);
    QTest::newRow("a new employee twice in the file")
        << Stored{} << Records{{"A", "1", "1"}, {"a", "2", "1"}} << true << 0
        << QStringList{"A|1|1.00||1"} << DoneWith(1, 0, 1);
}

void TestImportForm::storedEmployeesGetTheFileAmounts()
{
    QFETCH(Stored, before);
    QFETCH(Records, records);
    QFETCH(bool, yes);
    QFETCH(int, asked);
    QFETCH(QStringList, after);
    QFETCH(QString, label);
    {
        const std::unique_ptr<TTable> base = StoreRows::OpenEmployees(m_folder->DataDir());
        for (const StoreRows::Employee& e : before)
            StoreRows::AppendEmployee(*base, e.fio, e.accnt, e.amount, e.org, e.flag);
    }
    Choose(MakeSource(records));
    QVERIFY(m_form->OpenSourceDb());
    m_messages->SetNextAnswers({yes});
    RunImport();

    QCOMPARE(Employees(), after);
    QCOMPARE(Label()->text(), label);
    QVERIFY(Label()->heightForWidth(Label()->width()) <= Label()->height()); // shown whole
    QStringList questions; // caption and text
    for (const MessageRecorder::Shown& shown : m_messages->Messages()) {
        if (shown.kind == Messages::Kind::Question)
            questions << shown.caption + QLatin1Char(':') + shown.text;
    }
    QCOMPARE(questions, asked == 0 ? QStringList{}
                                   : QStringList{QStringLiteral(
                                                     "Импорт:В файле %1 сотрудников, которые уже "
                                                     "есть в таблице, с другими суммами. "
                                                     "Заменить их суммы суммами из файла?")
                                                     .arg(asked)});
}

void TestImportForm::employeeChangedMeanwhileIsNotOverwritten()
{
    {
        const std::unique_ptr<TTable> base = StoreRows::OpenEmployees(m_folder->DataDir());
        StoreRows::AppendEmployee(*base, "A", "1", "1.00", "", false);
        StoreRows::AppendEmployee(*base, "B", "2", "2.00", "", false);
    }
    Choose(MakeSource({{"A", "5", "1"}, {"B", "6", "2"}}));
    QVERIFY(m_form->OpenSourceDb());
    QStringList shown;
    SteppingHandler other([&](const QString& text, const QString& caption) {
        if (shown.isEmpty()) {
            // Another user changes B while the question waits.
            const std::unique_ptr<TTable> base = StoreRows::OpenEmployees(m_folder->DataDir());
            base->Last();
            base->Edit();
            base->FieldByName(Layouts::AmountField).SetAsString(QStringLiteral("9.00"));
            base->Post();
        }
        shown << caption + QLatin1Char(':') + text;
    });
    RunImport();

    QCOMPARE(Employees(), QStringList({"A|1|5.00||1", "B|2|9.00||0"}));
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown.back(), QStringLiteral("Импорт:Суммы не заменены у сотрудников, чьи записи "
                                          "другой пользователь изменил после чтения файла (1):\nB 2"));
    QCOMPARE(Label()->text(), DoneWith(0, 1, 1));
}

void TestImportForm::dialogStartsWhereTheLastFileWas()
{
    QStringList starts;
    std::optional<QString> answer = MakeSource({{"A", "1", "1"}});
    TOpenDialog::SetChooser([&](const TOpenDialog& dialog) {
        starts << dialog.InitialDir;
        return answer;
    });
    QVERIFY(m_form->OpenSourceDb());
    answer.reset(); // a cancelled choice keeps the folder
    QVERIFY(!m_form->OpenSourceDb());
    QVERIFY(!m_form->OpenSourceDb());
    const QString folder = QFileInfo(m_sources->Path(QStringLiteral("source.dbf"))).absolutePath();
    QCOMPARE(starts, QStringList({QDir::homePath(), folder, folder}));
}

void TestImportForm::progressFollowsTheFile()
{
    const QString path = m_sources->Make(QStringLiteral("progress.dbf"), [](DbfWriter& w) {
        w.AddEmployee("A", "1", "1");
        w.AddEmployee("B", "1", "2");
        w.AddEmployee("C", "1", "3");
        w.AddEmployee("D", "1", "4");
        w.Add({"E", "1", "", "5", "1"}, true);
    });
    Choose(path);
    QVERIFY(m_form->OpenSourceDb());
    RunImport();
    QCOMPARE(Bar()->minimum(), 1);
    QCOMPARE(Bar()->maximum(), 5);
    QCOMPARE(Bar()->value(), 4); // the deleted fifth record is never current
    QCOMPARE(Employees().size(), 4);
}

void TestImportForm::emptySourceTouchesNoBar()
{
    Choose(MakeSource({{"A", "1", "1"}, {"B", "1", "2"}}));
    QVERIFY(m_form->OpenSourceDb());
    RunImport();
    QCOMPARE(Bar()->maximum(), 2);

    Choose(MakeSource({}));
    QVERIFY(m_form->OpenSourceDb());
    Label()->setText(QStringLiteral("-"));
    RunImport();
    QCOMPARE(Label()->text(), DoneWith(0, 0, 0));
    QCOMPARE(Bar()->minimum(), 1);
    QCOMPARE(Bar()->maximum(), 2);
    QCOMPARE(Bar()->value(), 2);
    QCOMPARE(Employees().size(), 2);
    QVERIFY(m_messages->Messages().isEmpty());
}

void TestImportForm::missingField_data()
{
    QTest::addColumn<QByteArray>("missing");
    for (const char* name : {"L1__01", "L1__02", "L1__04", "L1__05"})
        QTest::newRow(name) << QByteArray(name);
}

void TestImportForm::missingField()
{
    QFETCH(QByteArray, missing);
    std::vector<DbfWriter::Field> fields;
    for (const DbfWriter::Field& field : DbfWriter::ImportFields()) {
        if (field.name != missing)
            fields.push_back(field);
    }
    Choose(m_sources->Make(
        QStringLiteral("fields.dbf"),
        [](DbfWriter& w) {
            w.Add({"A", "1", "1", "1"});
        },
        fields));

    QVERIFY(!m_form->OpenSourceDb());
    QCOMPARE(m_messages->Messages().size(), 1);
    QCOMPARE(m_messages->Messages().front().kind, Messages::Kind::Message);
    QCOMPARE(m_messages->Messages().front().text, BadFormat);
    QCOMPARE(m_messages->Messages().front().caption, Messages::ProgramTitle);

    // The source was let go: showing the window anyway imports nothing.
    RunImport();
    QVERIFY(Employees().isEmpty());
}

void TestImportForm::fieldKinds_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<char>("type");
    QTest::addColumn<int>("width");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("kind"); // as the refusal names it; empty: imported

    QTest::newRow("F amount") << QByteArray("L1__02") << 'F' << 12 << QByteArray("1.5") << "";
    QTest::newRow("B amount") << QByteArray("L1__02") << 'B' << 8 << QByteArray("p\x97@")
                              << "B (двоичный)";
    QTest::newRow("D account") << QByteArray("L1__04") << 'D' << 8 << QByteArray("20240131")
                               << "D (дата)";
    QTest::newRow("M name") << QByteArray("L1__01") << 'M' << 10 << QByteArray("1") << "M (мемо)";
    QTest::newRow("L unread field")
        << QByteArray("L1__05") << 'L' << 1 << QByteArray("T") << "L (логический)";
}

void TestImportForm::fieldKinds()
{
    QFETCH(QByteArray, field);
    QFETCH(char, type);
    QFETCH(int, width);
    QFETCH(QByteArray, stored);
    QFETCH(QString, kind);
    std::vector<DbfWriter::Field> fields = DbfWriter::ImportFields();
    std::vector<QByteArray> record = {"A", "1", "", "7", "1"};
    const int at = field.right(1).toInt() - 1; // L1__0n is the n-th field
    fields[at] = {field, type, width, type == 'F' ? 2 : 0};
    record[at] = stored;
    Choose(m_sources->Make(
        QStringLiteral("kinds.dbf"), [&](DbfWriter& w) { w.Add(record); }, fields));

    QCOMPARE(m_form->OpenSourceDb(), kind.isEmpty());
    RunImport();
    QCOMPARE(Employees(), kind.isEmpty() ? QStringList{"A|7|1.50||1"} : QStringList{});
    if (!kind.isEmpty())
        QCOMPARE(m_messages->Texts(),
                 QStringList{QStringLiteral("Файл «%1» не подходит для импорта: поле %2 имеет тип "
                                            "%3, а поля L1__01, L1__02, L1__04, L1__05 должны "
                                            "быть символьными (C) или числовыми (N, F).")
                                 .arg(QDir::toNativeSeparators(m_sources->Path("kinds.dbf")),
                                      QString::fromLatin1(field), kind)});
}

void TestImportForm::cancelledChoice()
{
    QString filter;
    TOpenDialog::SetChooser([&filter](const TOpenDialog& dialog) {
        filter = dialog.Filter;
        return std::optional<QString>();
    });
    QVERIFY(!m_form->OpenSourceDb());
    QCOMPARE(filter,
             QStringLiteral("Database files (*.dbf)|*.dbf|Таблицы прежней версии (*.db)|*.db"));
    QVERIFY(m_messages->Messages().isEmpty());
}

void TestImportForm::whitespaceAmountEndsTheImport()
{
    Choose(MakeSource({{"A", "1", "1"}, {"B", "\t", "2"}, {"C", "3", "3"}}));
    QVERIFY(m_form->OpenSourceDb());
    m_form->show();
    QCoreApplication::processEvents();

    QCOMPARE(Employees(), QStringList({"A|1|1.00||1"}));
    QCOMPARE(m_messages->Messages().size(), 1);
    QCOMPARE(m_messages->Messages().front().kind, Messages::Kind::Error);
    QCOMPARE(Label()->text(), Running);
    QVERIFY(m_form->isVisible());
    m_form->close();
    QVERIFY(!m_form->isVisible());
}

void TestImportForm::windowStaysOpenWhileImporting()
{
    Choose(MakeSource({{"A", "1", "1"}, {"", "", ""}, {"C", "3", "3"}}));
    QVERIFY(m_form->OpenSourceDb());
    int tries = 0;
    SteppingHandler closer([&](const QString&, const QString&) {
        ++tries;
        m_form->close();
        m_form->reject();
        QTest::keyClick(m_form.get(), Qt::Key_Escape);
    });
    m_form->show();
    QCoreApplication::processEvents();
    QCOMPARE(tries, 1);
    QVERIFY(m_form->isVisible());
    QCOMPARE(Label()->text(), DoneWith(2, 0, 0));
    QCOMPARE(Employees().size(), 2);
    m_form->close();
    QVERIFY(!m_form->isVisible());
}

void TestImportForm::fileOfAnotherProgram()
{
    Choose(TestData(QStringLiteral("import/employees-866.dbf")));
    QVERIFY(m_form->OpenSourceDb());
    RunImport();
    QCOMPARE(Employees(), QStringList({"СМИРНОВ ИГОРЬ|40817810500000000025|1500.00||1",
                                       "ЯКОВЛЕВА ЁЛКА ПЕТРОВНА|40817810500000000017|12345.50||1"}));
    QCOMPARE(m_messages->Texts(), QStringList({"Неверные данные:  40817810500000000041",
                                               "Неверные данные: КУЗНЕЦОВА АННА "}));
}

void TestImportForm::mainWindowCommand()
{
    m_form.reset();
    {
        const std::unique_ptr<TTable> base = StoreRows::OpenEmployees(m_folder->DataDir());
        StoreRows::AppendEmployee(*base, "A", "1", "7.00", "", false);
    }
    TMainForm main;
    TImportForm form(&main);
    main.SetImportForm(&form, [&form] { return form.OpenSourceDb(); });
    Choose(MakeSource({{"B", "2", "2"}, {"A", "1", "1"}}));

    // The window is modal: close it once the import has finished.
    QTimer closer;
    connect(&closer, &QTimer::timeout, &form, [&form] {
        auto* label = form.findChild<QLabel*>(QStringLiteral("ProgreesLabel"));
        if (form.isVisible() && label->text().startsWith(Done))
            form.findChild<QPushButton*>(QStringLiteral("OkButton"))->click();
    });
    closer.start(10);
    main.findChild<QAction*>(QStringLiteral("import1"))->trigger();

    QVERIFY(!form.isVisible());
    TTable* employees = main.EmployeeTable();
    QCOMPARE(employees->RecordCount(), 2);
    employees->First();
    QCOMPARE(employees->FieldByName(Layouts::FioField).AsString(), QStringLiteral("A"));
    // The stored employee shows the amount the question let the file give.
    QCOMPARE(employees->FieldByName(Layouts::AmountField).AsString(), QStringLiteral("1.00"));
}

void TestImportForm::damagedFileThroughMainWindow()
{
    m_form.reset();
    TMainForm main;
    TImportForm form(&main);
    main.SetImportForm(&form, [&form] { return form.OpenSourceDb(); });
    QByteArray bytes = DbfFolder::Read(MakeSource({{"A", "1", "1"}}));
    PutDoubleWord(bytes, 4, 2);
    const QString path = m_sources->Write(QStringLiteral("damaged.dbf"), bytes);
    Choose(path);
    m_messages->Clear();

    main.findChild<QAction*>(QStringLiteral("import1"))->trigger();

    QCOMPARE(m_messages->Messages().size(), 1);
    QCOMPARE(m_messages->Messages().front().kind, Messages::Kind::Error);
    QVERIFY2(m_messages->Messages().front().text.contains(QDir::toNativeSeparators(path)),
             qPrintable(m_messages->Messages().front().text));
    QVERIFY(!form.isVisible());
    QVERIFY(Employees().isEmpty());
}

QTEST_MAIN(TestImportForm)
#include "tst_importform.moc"
