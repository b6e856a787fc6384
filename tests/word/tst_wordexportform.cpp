#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

#include "export/TWordExportCheckBox.h"
#include "export/TWordExportForm.h"
#include "export/word/DocxPackage.h"
#include "tests/export/JournalTestKit.h"
#include "tests/word/StatementTestKit.h"
#include "tests/word/WordTestKit.h"

using namespace WordTestKit;

namespace {

const QString Alpha = QStringLiteral("ООО \"Альфа\"");
const QString StatementFile = QStringLiteral("Ведомость.doc");

// "fio|accnt|amount|org|listed"
using Rows = QList<QStringList>;

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList Texts(const QList<MessageRecorder::Shown>& shown)
{
    QStringList texts;
    for (const MessageRecorder::Shown& message : shown)
        texts << message.caption + QLatin1Char(':') + message.text;
    return texts;
}

} // namespace

class TestWordExportForm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void statementForOneOrganisation_data();
    void statementForOneOrganisation();
    void shortenName_data();
    void shortenName();
    void allMakesOneStatementPerOrganisationInOrder();
    void clashingAndLongNamesGetStatementsOfTheirOwn();
    void failedStatementShowsErrorAndLoopGoesOn_data();
    void failedStatementShowsErrorAndLoopGoesOn();
    void unknownOrganisationMakesNoStatement();
    void unreadableAmountMakesNoStatement();
    void statementReadsTheRowsAsStored();
    void officeTemplateWinsOverPackaged_data();
    void officeTemplateWinsOverPackaged();
    void eachStatementPrintsItsOwnJournalNumber();
    void statementWhoseRowIsRefusedIsNotLeft_data();
    void statementWhoseRowIsRefusedIsNotLeft();
    void buttonReadsDoneAfterFirstExport();
    void checkBoxShowsTheWindowModally();
    void realReaderSeesTheValues();

private:
    std::unique_ptr<StatementFixture> m_fixture;
    std::unique_ptr<TWordExportForm> m_form;
};

void TestWordExportForm::init()
{
    m_fixture = std::make_unique<StatementFixture>();
    m_form = std::make_unique<TWordExportForm>();
}

void TestWordExportForm::cleanup()
{
    m_form.reset();
    m_fixture.reset();
}

void TestWordExportForm::statementForOneOrganisation_data()
{
    QTest::addColumn<Rows>("employees");
    QTest::addColumn<QStringList>("tableRows");
    QTest::addColumn<QString>("sum");
    QTest::addColumn<QString>("words");

    const QString heading = QStringLiteral("№|ФИО|Счет|Сумма");
    QTest::newRow("three listed, in name order")
        << Rows{{"СМИРНОВ ИВАН", "40817810100000000003", "2000.00", Alpha, "1"},
                {"АБРАМОВ ОЛЕГ ИГОРЕВИЧ", "40817810100000000001", "1500.00", Alpha, "1"},
                {"ВАСИЛЬЕВА ОЛЬГА", "40817810100000000002", "250.50", Alpha, "1"}}
        << QStringList{heading, "1|АБРАМОВ ОЛЕГ ИГОРЕВИЧ|40817810100000000001|1500.00",
                       "2|ВАСИЛЬЕВА ОЛЬГА|40817810100000000002|250.50",
                       "3|СМИРНОВ ИВАН|40817810100000000003|2000.00"}
        << QStringLiteral("3750.50") << QStringLiteral("три тысячи семьсот пятьдесят");
    QTest::newRow("nobody listed keeps the empty second row")
        << Rows{{"АБРАМОВ ОЛЕГ", "1", "100.00", Alpha, "0"}} << QStringList{heading, "|||"}
        << QStringLiteral("0.00") << QStringLiteral("ноль");
    QTest::newRow("unflagged, other case and spaces are not listed")
        << Rows{{"АБРАМОВ ОЛЕГ", "1", "100.00", Alpha, "1"},
                {"БОРИСОВ ИЛЬЯ", "2", "200.00", Alpha, "0"},
                {"ВЛАСОВ ПЕТР", "3", "300.00", QStringLiteral("ООО \"альфа\""), "1"},
                {"ГРОМОВ ЮРИЙ", "4", "400.00", Alpha + QLatin1Char(' '), "1"}}
        << QStringList{heading, "1|АБРАМОВ ОЛЕГ|1|100.00"} << QStringLiteral("100.00")
        << QStringLiteral("сто");
    QTest::newRow("negative total")
        << Rows{{"АБРАМОВ ОЛЕГ", "1", "-100.00", Alpha, "1"},
                {"БОРИСОВ ИЛЬЯ", "2", "50.00", Alpha, "1"}}
        << QStringList{heading, "1|АБРАМОВ ОЛЕГ|1|-100.00", "2|БОРИСОВ ИЛЬЯ|2|50.00"}
        << QStringLiteral("-50.00") << QStringLiteral("минус пятьдесят");
    QTest::newRow("largest amounts add up exactly")
        << Rows{{"АБРАМОВ ОЛЕГ", "1", "999999999999.99", Alpha, "1"},
                {"БОРИСОВ ИЛЬЯ", "2", "0.01", Alpha, "1"}}
        << QStringList{heading, "1|АБРАМОВ ОЛЕГ|1|999999999999.99", "2|БОРИСОВ ИЛЬЯ|2|0.01"}
        << QStringLiteral("1000000000000.00") << QStringLiteral("один триллион");
}

void TestWordExportForm::statementForOneOrganisation()
{
    QFETCH(Rows, employees);
    QFETCH(QStringList, tableRows);
    QFETCH(QString, sum);
    QFETCH(QString, words);

    m_fixture->AddOrg(QStringLiteral("Другая"));
    m_fixture->AddOrg(Alpha, QStringLiteral("Кузнецов Николай Сергеевич"),
                      QStringLiteral("Орлова Елена"));
    for (const QStringList& e : employees)
        m_fixture->AddEmployee(e[0], e[1], e[3], e[2], e[4] == QLatin1String("1"));

    m_fixture->Export(*m_form, Alpha);

    QCOMPARE(
        Texts(m_fixture->Messages.Messages()),
        QStringList{QStringLiteral("Ведомость:Записан файл «Ведомость.doc».\nНомер в журнале: %1")
                        .arg(JournalTestKit::Numbers().value(0))});
    QCOMPARE(m_fixture->OutFiles(), QStringList{StatementFile});
    const QString path = m_fixture->OutDir() + StatementFile;
    QCOMPARE(m_fixture->Opened, QStringList{path});
    QCOMPARE(WordTestKit::TableRows(path), tableRows);

    const QString text = DocumentText(path);
    QVERIFY2(text.contains(QStringLiteral("Организация: ") + Alpha + QLatin1Char('\r')),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("Итого: ") + sum + QLatin1Char('\r')), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("Сумма прописью: ") + words +
                           QStringLiteral(" руб. %1 коп.\r").arg(sum.right(2))),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("Н.С. Кузнецов\r")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("Е. Орлова\r")), qPrintable(text));
    const TRegisterEntry row = JournalTestKit::Journal().Entries().at(0);
    QVERIFY2(text.startsWith(QStringLiteral("Ведомость № %1 от %2\r")
                                 .arg(row.Id)
                                 .arg(row.Made.toString(QStringLiteral("dd.MM.yyyy")))),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("Количество работников: %1\r").arg(row.Employees)),
             qPrintable(text));
    QVERIFY2(!text.contains(QLatin1String("<<")), qPrintable(text));

    pugi::xml_document xml;
    LoadDocument(path, xml);
    QCOMPARE(UnderlinedTexts(xml), (QStringList{sum, words}));
    const int listed = tableRows.value(1) == QLatin1String("|||") ? 0 : int(tableRows.size()) - 1;
    QCOMPARE(m_form->ExportProgressBar->value(), listed); // one step per row written
    QCOMPARE(JournalTestKit::Rows(),
             QStringList{QStringLiteral("%1|statement|Ведомость.doc|%2|%3|same bytes")
                             .arg(Alpha)
                             .arg(listed)
                             .arg(sum)});
}

void TestWordExportForm::shortenName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shortName");

    QTest::newRow("surname, name, patronymic") << "Фамилия Имя Отчество" << "И.О. Фамилия";
    QTest::newRow("two words") << "Фамилия Имя" << "И. Фамилия";
    QTest::newRow("one word unchanged") << "Фамилия" << "Фамилия";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("only blanks and controls") << " \t\x01 " << "";
    QTest::newRow("runs of blanks, tabs and controls separate")
        << "  Фамилия\t\tИмя\x1f\x02Отчество  " << "И.О. Фамилия";
    QTest::newRow("further words ignored") << "Фамилия Имя Отчество Оглы" << "И.О. Фамилия";
    QTest::newRow("quoted word keeps its blanks") << "\"Де ла Круз\" Мария Анна"
                                                  << "М.А. Де ла Круз";
    QTest::newRow("doubled quote inside quotes stands for one")
        << "\"Ab\"\"c\" Def" << "D. Ab\"c";
    QTest::newRow("non-breaking space is part of a word")
        << QStringLiteral("Фамилия\u00A0Имя Отчество") << QStringLiteral("О. Фамилия\u00A0Имя");
}

void TestWordExportForm::shortenName()
{
    QFETCH(QString, name);
    QFETCH(QString, shortName);
    QCOMPARE(TWordExportForm::ShortenName(name), shortName);
}

void TestWordExportForm::allMakesOneStatementPerOrganisationInOrder()
{
    const QStringList names{QStringLiteral("Вектор"), QStringLiteral("ООО \"Бета/Гамма\""),
                            QStringLiteral("Альфа: <север>")};
    for (const QString& name : names) {
        m_fixture->AddOrg(name);
        m_fixture->AddEmployee(QStringLiteral("РАБОТНИК ") + name, QStringLiteral("1"), name,
                               QStringLiteral("10.00"));
    }

    m_fixture->Export(*m_form, QStringLiteral("Все"));

    const QList<qint64> numbers = JournalTestKit::Numbers();
    QCOMPARE(numbers.size(), 3);
    QCOMPARE(Texts(m_fixture->Messages.Messages()),
             QStringList{QStringLiteral("Ведомость:Записано файлов: 3.\nНомера в журнале: %1–%2")
                             .arg(numbers[0])
                             .arg(numbers[2])});
    const QStringList files{QStringLiteral("Ведомость_Альфа север.doc"),
                            QStringLiteral("Ведомость_Вектор.doc"),
                            QStringLiteral("Ведомость_ООО БетаГамма.doc")};
    QStringList expectedOpened;
    for (const QString& file : files)
        expectedOpened << m_fixture->OutDir() + file;
    QCOMPARE(m_fixture->Opened, expectedOpened); // made in the organisations' name order
    QCOMPARE(m_fixture->OutFiles(), files);
    const QStringList sorted{names[2], names[0], names[1]};
    QStringList rows;
    for (int i = 0; i < files.size(); ++i) {
        QCOMPARE(WordTestKit::TableRows(expectedOpened[i]).value(1),
                 QStringLiteral("1|РАБОТНИК %1|1|10.00").arg(sorted[i]));
        rows << QStringLiteral("%1|statement|%2|1|10.00|same bytes").arg(sorted[i], files[i]);
    }
    QCOMPARE(JournalTestKit::Rows(), rows);
}

void TestWordExportForm::clashingAndLongNamesGetStatementsOfTheirOwn()
{
    const QStringList names{Alpha, QStringLiteral("ООО Альфа"), QString(117, QChar(u'Ж'))};
    for (const QString& name : names)
        m_fixture->AddOrg(name);

    m_fixture->Export(*m_form, QStringLiteral("Все"));

    // "Ведомость_" and ".doc" leave 225 of the 248 bytes a name may take.
    const QStringList files{"Ведомость_" + names[2].left(112) + ".doc",
                            QStringLiteral("Ведомость_ООО Альфа (2).doc"),
                            QStringLiteral("Ведомость_ООО Альфа.doc")};
    QCOMPARE(m_fixture->OutFiles(), files);
    QCOMPARE(m_fixture->Messages.Texts().size(), 1);
    const QString note = m_fixture->Messages.Texts().front();
    QVERIFY2(
        note.endsWith(
            QStringLiteral(":\n«%1» — %2\n«%3» — %4").arg(names[2], files[0], names[1], files[1])),
        qPrintable(note));
    QVERIFY(DocumentText(m_fixture->OutDir() + files[1]).contains(names[1] + QLatin1Char('\r')));
    QVERIFY(DocumentText(m_fixture->OutDir() + files[2]).contains(names[0] + QLatin1Char('\r')));
}

void TestWordExportForm::failedStatementShowsErrorAndLoopGoesOn_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("reasons");

    QTest::newRow("missing template")
        << "template" << QStringList()
        << QStringList{"Файл не найден", "Файл не найден"};
    QTest::newRow("template without the table while employees are listed")
        << "no table" << QStringList{"Ведомость_Бета.doc"}
        << QStringList{"нет таблицы с меткой <<TABLE>>"};
    QTest::newRow("missing out folder")
        << "out folder" << QStringList() << QStringList{"Ведомость_Альфа.doc", "Ведомость_Бета.doc"};
}

void TestWordExportForm::failedStatementShowsErrorAndLoopGoesOn()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, files);
    QFETCH(QStringList, reasons);

    m_fixture->AddOrg(QStringLiteral("Альфа"));
    m_fixture->AddOrg(QStringLiteral("Бета"));
    m_fixture->AddEmployee(QStringLiteral("ИВАНОВ"), QStringLiteral("1"), QStringLiteral("Альфа"),
                           QStringLiteral("5.00"));

    QTemporaryDir program;
    if (fault == QLatin1String("template")) {
        StatementFixture::UseProgramFolder(program.path());
    } else if (fault == QLatin1String("no table")) {
        QDir(program.path()).mkpath(QStringLiteral("templates"));
        MakePackage(QStringLiteral("<w:p><w:r><w:t>&lt;&lt;TABLE&gt;&gt; &lt;&lt;SUM&gt;&gt;"
                                   "</w:t></w:r></w:p>"))
            .SaveAs(program.filePath(QStringLiteral("templates/export_template.doc")));
        StatementFixture::UseProgramFolder(program.path());
    } else if (fault == QLatin1String("out folder")) {
        QVERIFY(QDir(m_fixture->OutDir()).removeRecursively());
    }

    m_fixture->Export(*m_form, QStringLiteral("Все"));

    QList<MessageRecorder::Shown> shown = m_fixture->Messages.Messages();
    // A statement written is told after the errors, with its journal number.
    if (!files.isEmpty()) {
        QVERIFY(
            shown.takeLast().text.startsWith(QStringLiteral("Записан файл «%1».").arg(files[0])));
        QCOMPARE(JournalTestKit::Rows(),
                 QStringList{QStringLiteral("Бета|statement|%1|0|0.00|same bytes").arg(files[0])});
    } else {
        QCOMPARE(JournalTestKit::Rows(), QStringList()); // a statement that failed has no row
    }
    QCOMPARE(shown.size(), reasons.size());
    for (int i = 0; i < shown.size(); ++i) {
        QCOMPARE(shown[i].kind, Messages::Kind::Message);
        QCOMPARE(shown[i].text, QStringLiteral("Error"));
        QCOMPARE(shown[i].caption, QStringLiteral("Export"));
        QVERIFY2(shown[i].details.contains(reasons[i]), qPrintable(shown[i].details));
    }
    QCOMPARE(m_fixture->OutFiles(), files);
    QCOMPARE(m_fixture->Opened.size(), files.size());
}

void TestWordExportForm::unknownOrganisationMakesNoStatement()
{
    m_fixture->AddOrg(QStringLiteral("Альфа"));
    m_fixture->AddEmployee(QStringLiteral("ИВАНОВ"), QStringLiteral("1"), QStringLiteral("Нет такой"),
                           QStringLiteral("5.00"));

    m_fixture->Export(*m_form, QStringLiteral("Нет такой"));

    QCOMPARE(m_fixture->Messages.Texts(),
             QStringList{QStringLiteral("Организация не найдена: Нет такой")});
    QCOMPARE(m_fixture->OutFiles(), QStringList());
    QCOMPARE(m_form->StartButton->text(), QStringLiteral("Готово"));
}

void TestWordExportForm::unreadableAmountMakesNoStatement()
{
    m_fixture->AddOrg(QStringLiteral("Альфа"));
    m_fixture->AddOrg(QStringLiteral("Бета"));
    m_fixture->AddEmployee(QStringLiteral("ИВАНОВ"), QStringLiteral("1"), QStringLiteral("Альфа"),
                           QStringLiteral("5.00"));
    m_fixture->AddEmployee(QStringLiteral("ПЕТРОВ"), QStringLiteral("2"), QStringLiteral("Бета"),
                           QStringLiteral("12,5.00"));

    m_fixture->Export(*m_form, QStringLiteral("Все"));

    QCOMPARE(
        Texts(m_fixture->Messages.Messages()),
        QStringList{QStringLiteral("Ведомость:Сумма не читается как число, экспорт не выполнен:\n"
                                   "«ПЕТРОВ» (организация «Бета»): «12,5.00»")});
    QCOMPARE(m_fixture->OutFiles(), QStringList());
    QCOMPARE(m_fixture->Opened, QStringList());
}

void TestWordExportForm::statementReadsTheRowsAsStored()
{
    m_fixture->AddOrg(Alpha);
    m_fixture->AddEmployee(QStringLiteral("АБРАМОВ"), QStringLiteral("1"), Alpha,
                           QStringLiteral("4.00"));
    m_fixture->AddEmployee(QStringLiteral("БОРИСОВ"), QStringLiteral("2"), Alpha,
                           QStringLiteral("15.00"));
    // Another view deletes БОРИСОВ while the shown view still holds him, and the shown view
    // has АБРАМОВ's new amount in edit.
    const std::unique_ptr<TTable> other = StoreRows::OpenEmployees(m_fixture->DataDir());
    other->Last();
    other->Delete();
    TTable& shown = m_fixture->Employees();
    shown.First();
    shown.Edit();
    shown.FieldByName(QStringLiteral("Amount")).SetAsString(QStringLiteral("11.00"));

    m_fixture->Export(*m_form, Alpha);

    const QString path = m_fixture->OutDir() + StatementFile;
    QCOMPARE(WordTestKit::TableRows(path), (QStringList{QStringLiteral("№|ФИО|Счет|Сумма"),
                                                        QStringLiteral("1|АБРАМОВ|1|11.00")}));
    QCOMPARE(shown.RecordCount(), 1);
}

void TestWordExportForm::buttonReadsDoneAfterFirstExport()
{
    m_fixture->AddOrg(QStringLiteral("Альфа"));
    QCOMPARE(m_form->windowTitle(), QStringLiteral("WordExportForm"));
    QCOMPARE(m_form->TopLabel->text(), QStringLiteral("Экспорт данных в MS WORD"));
    QCOMPARE(m_form->StartButton->text(), QStringLiteral("Начать"));
    m_fixture->Export(*m_form, QStringLiteral("Альфа"));
    QCOMPARE(m_form->StartButton->text(), QStringLiteral("Готово"));
    QVERIFY(QFile::remove(m_fixture->OutDir() + StatementFile));

    // Shown again in the same run, the button still starts the export.
    m_fixture->Export(*m_form, QStringLiteral("Альфа"));
    QCOMPARE(m_form->StartButton->text(), QStringLiteral("Готово"));
    QCOMPARE(m_fixture->OutFiles(), QStringList{StatementFile});
}

void TestWordExportForm::officeTemplateWinsOverPackaged_data()
{
    QTest::addColumn<bool>("office");
    QTest::newRow("the office's when it has one") << true;
    QTest::newRow("the packaged one otherwise") << false;
}

void TestWordExportForm::officeTemplateWinsOverPackaged()
{
    QFETCH(bool, office);
    const QString officePath = TPathBuilder::GetTemplatesPath() + QStringLiteral("export_template.doc");
    if (office) {
        QVERIFY(QDir().mkpath(TPathBuilder::GetTemplatesPath()));
        const QString cell = QStringLiteral("<w:tc><w:p/></w:tc>");
        const QString table =
            QStringLiteral("<w:tbl><w:tr>%1%1%1%1</w:tr><w:tr><w:tc><w:p><w:r><w:t>"
                           "&lt;&lt;TABLE&gt;&gt;</w:t></w:r></w:p></w:tc>%1%1%1</w:tr></w:tbl>")
                .arg(cell);
        MakePackage(QStringLiteral("<w:p><w:r><w:t>Наша ведомость &lt;&lt;NUMBER&gt;&gt; "
                                   "&lt;&lt;NUMBER&gt;&gt;, &lt;&lt;COUNT&gt;&gt; чел., "
                                   "&lt;&lt;SUM&gt;&gt; (&lt;&lt;SPELLSUM&gt;&gt; руб. "
                                   "&lt;&lt;KOPECKS&gt;&gt; коп.)</w:t></w:r></w:p>") +
                    table)
            .SaveAs(officePath);
    }
    m_fixture->AddOrg(Alpha);
    m_fixture->AddEmployee(QStringLiteral("АБРАМОВ ОЛЕГ"), QStringLiteral("1"), Alpha,
                           QStringLiteral("1500.05"));
    m_fixture->AddEmployee(QStringLiteral("БОРИСОВ ИЛЬЯ"), QStringLiteral("2"), Alpha,
                           QStringLiteral("0.20"));

    const QString used = office ? officePath : QStringLiteral(EXPORT_TEMPLATE);
    m_form->SetData(m_fixture->Employees(), m_fixture->Orgs(), Alpha);
    m_form->show();
    QCOMPARE(m_form->TemplateLabel->text(),
             QStringLiteral("Шаблон: ") +
                 QDir::toNativeSeparators(QFileInfo(used).absoluteFilePath()));
    m_form->StartButton->click();

    const QString text = DocumentText(m_fixture->OutDir() + StatementFile);
    const qint64 number = JournalTestKit::Numbers().value(0);
    if (office) {
        // Each replaced at its first occurrence only, as the older ones are.
        QVERIFY2(text.startsWith(QStringLiteral("Наша ведомость %1 <<NUMBER>>, 2 чел., 1500.25 "
                                                "(одна тысяча пятьсот руб. 25 коп.)\r")
                                     .arg(number)),
                 qPrintable(text));
    } else {
        QVERIFY2(text.startsWith(QStringLiteral("Ведомость № %1 от ").arg(number)),
                 qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("одна тысяча пятьсот руб. 25 коп.\r")),
                 qPrintable(text));
    }
}

void TestWordExportForm::eachStatementPrintsItsOwnJournalNumber()
{
    const QStringList names{QStringLiteral("Альфа"), QStringLiteral("Бета"),
                            QStringLiteral("Гамма")};
    for (const QString& name : names)
        m_fixture->AddOrg(name);
    m_fixture->Export(*m_form, names[1]); // rows before, so numbers are not simply 1, 2, 3
    m_fixture->Export(*m_form, QStringLiteral("Все"));

    const std::vector<TRegisterEntry> entries = JournalTestKit::Journal().Entries();
    QCOMPARE(entries.size(), std::size_t(4));
    for (std::size_t i = 0; i < 3; ++i) {
        const TRegisterEntry& entry = entries[i];
        const QString text = DocumentText(m_fixture->OutDir() + entry.FileName);
        QVERIFY2(text.startsWith(QStringLiteral("Ведомость № %1 от ").arg(entry.Id)),
                 qPrintable(entry.FileName + QLatin1Char(' ') + text));
        QCOMPARE(JournalTestKit::Journal().Content(entry.Id),
                 ReadFile(m_fixture->OutDir() + entry.FileName));
    }
}

void TestWordExportForm::statementWhoseRowIsRefusedIsNotLeft_data()
{
    QTest::addColumn<QString>("refused");
    QTest::newRow("the row itself") << QStringLiteral("INSERT");
    QTest::newRow("its bytes, after the file is in place") << QStringLiteral("UPDATE");
}

void TestWordExportForm::statementWhoseRowIsRefusedIsNotLeft()
{
    QFETCH(QString, refused);
    m_fixture->AddOrg(Alpha);
    JournalTestKit::RefuseRows(refused);

    m_fixture->Export(*m_form, Alpha);

    QCOMPARE(m_fixture->Messages.Texts().size(), 1);
    QCOMPARE(m_fixture->Messages.Messages().front().caption, QStringLiteral("Export"));
    QCOMPARE(m_fixture->Messages.Messages().front().text, QStringLiteral("Error"));
    QCOMPARE(m_fixture->OutFiles(), QStringList());
    QCOMPARE(m_fixture->Opened, QStringList());
    QCOMPARE(JournalTestKit::Rows(), QStringList());
}

void TestWordExportForm::checkBoxShowsTheWindowModally()
{
    m_fixture->AddOrg(QStringLiteral("Альфа"));
    m_fixture->AddOrg(QStringLiteral("Бета"));
    TWordExportCheckBox target(QStringLiteral("Документ Word"));
    QStringList seen;
    const auto pressStart = [&] {
        QTimer::singleShot(0, m_form.get(), [&] {
            seen << QStringLiteral("%1 %2 %3")
                        .arg(m_form->isVisible())
                        .arg(m_form->isModal())
                        .arg(m_form->StartButton->text());
            m_form->StartButton->click();
        });
    };

    pressStart();
    target.Export(m_fixture->Employees(), m_fixture->Orgs(), QStringLiteral("Бета"));
    QCOMPARE(m_fixture->OutFiles(), QStringList{StatementFile});
    QVERIFY(!m_form->isVisible());
    QVERIFY(DocumentText(m_fixture->OutDir() + StatementFile).contains(QStringLiteral("Бета\r")));

    pressStart();
    target.Export(m_fixture->Employees(), m_fixture->Orgs(), QStringLiteral("Все"));
    QCOMPARE(seen, (QStringList{QStringLiteral("1 1 Начать"), QStringLiteral("1 1 Готово")}));
    QCOMPARE(m_fixture->OutFiles(),
             (QStringList{QStringLiteral("Ведомость.doc"), QStringLiteral("Ведомость_Альфа.doc"),
                          QStringLiteral("Ведомость_Бета.doc")}));
}

void TestWordExportForm::realReaderSeesTheValues()
{
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
        QSKIP("soffice is not installed: the statement was not read by a real word processor");

    m_fixture->AddOrg(Alpha, QStringLiteral("Кузнецов Николай Сергеевич"));
    m_fixture->AddEmployee(QStringLiteral("АБРАМОВ ОЛЕГ"), QStringLiteral("40817810100000000001"),
                           Alpha, QStringLiteral("1500.00"));
    m_fixture->AddEmployee(QStringLiteral("ВАСИЛЬЕВА ОЛЬГА"),
                           QStringLiteral("40817810100000000002"), Alpha, QStringLiteral("250.50"));
    m_fixture->Export(*m_form, Alpha);

    const QString text = ConvertedText(m_fixture->OutDir() + StatementFile, m_fixture->Root());
    for (const QString& value :
         {QStringLiteral("Ведомость"), Alpha, QStringLiteral("АБРАМОВ ОЛЕГ"),
          QStringLiteral("40817810100000000002"), QStringLiteral("250.50"),
          QStringLiteral("Итого: 1750.50"), QStringLiteral("одна тысяча семьсот пятьдесят"),
          QStringLiteral("Н.С. Кузнецов")})
        QVERIFY2(text.contains(value), qPrintable(value + QStringLiteral(" not in: ") + text));
    QVERIFY2(!text.contains(QStringLiteral("<<")), qPrintable(text));
}

QTEST_MAIN(TestWordExportForm)
#include "tst_wordexportform.moc"
