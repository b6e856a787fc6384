#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <memory>

#include "dialogs/TSettingsForm.h"
#include "storage/views/TSession.h"
#include "tests/dialogs/DialogsTestKit.h"
#include "tests/support/FolderTest.h"
#include "tests/support/TestStore.h"

namespace {

const QString Alpha = QStringLiteral("Альфа");
const QString Beta = QStringLiteral("Бета");
const QString Gamma = QStringLiteral("Гамма");

} // namespace

class TestSettingsForm : public QObject, WindowTest<TSettingsForm>
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void showingListsAndLoadsTheFirst();
    void choosingLoadsThatOrganisationAndDropsTyping();
    void addAppendsSelectsAndEmpties();
    void addRefused_data();
    void addRefused();
    void saveCarriedToEmployeesOfTheOldName_data();
    void saveCarriedToEmployeesOfTheOldName();
    void renameReachesEmployeesAddedBetweenShowings();
    void saveRefusedWithAnEmptyEditor_data();
    void saveRefusedWithAnEmptyEditor();
    void saveWithoutOrganisationsAddsOne();
    void deleteAsksFirst_data();
    void deleteAsksFirst();
    void deletingTheLastEmptiesEverything();
    void closeRemovesNewOrganisationOnly();
    void refusedRenameShowsTheStoredOrganisation();
    void failureMidwayChangesNothing_data();
    void failureMidwayChangesNothing();
    void editorsHoldTheirFieldSize_data();
    void editorsHoldTheirFieldSize();
    void tablesNotOpenLeaveTheServerPart();

private:
    void ShowForm();
    void Choose(int index);
    void SetEditors(const QStringList& values);
    QStringList Editors() const;
    QStringList Items() const;
    QString CurrentOrg() const;
    void Click(const char* button);
    void CheckConsistentOn(const QString& name);

    std::unique_ptr<FakeMainViews> m_views;
    QStringList m_employeesBefore;
};

void TestSettingsForm::init()
{
    StartFolder();
    m_views = std::make_unique<FakeMainViews>();
    m_views->AddOrg(Gamma, QStringLiteral("3"));
    m_views->AddOrg(Alpha, QStringLiteral("1"));
    m_views->AddOrg(Beta, QStringLiteral("2"));
    m_views->AddEmployee(QStringLiteral("ИВАНОВ"), QStringLiteral("1"), Alpha, QStringLiteral("1500"));
    m_views->AddEmployee(QStringLiteral("ПЕТРОВ"), QStringLiteral("2"), Alpha, QStringLiteral("7.5"));
    m_views->AddEmployee(QStringLiteral("СИДОРОВ"), QStringLiteral("3"), Beta);
    m_views->AddEmployee(QStringLiteral("ОРЛОВ"), QStringLiteral("4"), QStringLiteral("альфа"));
    m_views->AddEmployee(QStringLiteral("ЗАЙЦЕВ"), QStringLiteral("5"), Alpha, QString());
    m_employeesBefore = FakeMainViews::StoredEmployees();
    m_form = std::make_unique<TSettingsForm>(*m_views);
}

void TestSettingsForm::cleanup()
{
    m_form.reset();
    m_views.reset();
    EndFolder();
}

void TestSettingsForm::ShowForm()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestSettingsForm::Choose(int index)
{
    auto* box = Find<QComboBox>("OrgBox");
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
}

void TestSettingsForm::SetEditors(const QStringList& values)
{
    for (int i = 0; i < 7; ++i) {
        auto* edit = m_form->findChild<QLineEdit*>(QStringLiteral("Edit%1").arg(i + 1));
        edit->setText(values.value(i));
    }
}

QStringList TestSettingsForm::Editors() const
{
    QStringList values;
    for (int i = 0; i < 7; ++i)
        values << m_form->findChild<QLineEdit*>(QStringLiteral("Edit%1").arg(i + 1))->text();
    return values;
}

QStringList TestSettingsForm::Items() const
{
    auto* box = Find<QComboBox>("OrgBox");
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

QString TestSettingsForm::CurrentOrg() const
{
    TTable* orgs = m_views->OrgTable();
    return orgs->IsEmpty() ? QString() : orgs->FieldByName(QStringLiteral("Organization120")).AsString();
}

void TestSettingsForm::Click(const char* button)
{
    QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton);
}

// The list's choice, the current record and the editors show one stored organisation.
void TestSettingsForm::CheckConsistentOn(const QString& name)
{
    QCOMPARE(Find<QComboBox>("OrgBox")->currentText(), name);
    QCOMPARE(CurrentOrg(), name);
    QCOMPARE(m_views->OrgTable()->GetState(), TTable::State::Browse);
    QCOMPARE(Editors().join(QLatin1Char('|')), FakeMainViews::StoredOrg(name));
}

void TestSettingsForm::showingListsAndLoadsTheFirst()
{
    ShowForm();
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Настройки"));
    QCOMPARE(Items(), QStringList({Alpha, Beta, Gamma}));
    CheckConsistentOn(Alpha);

    // Buttons read "Добавить", "Сохранить", "Удалить" from left to right; Tab visits
    // "Удалить" before "Сохранить".
    QVERIFY(Find<QPushButton>("Button1")->x() < Find<QPushButton>("Button2")->x());
    QVERIFY(Find<QPushButton>("Button2")->x() < Find<QPushButton>("Button3")->x());
    QCOMPARE(Find<QWidget>("Edit7")->nextInFocusChain(), Find<QWidget>("Button1"));
    QCOMPARE(Find<QWidget>("Button1")->nextInFocusChain(), Find<QWidget>("Button3"));
    QCOMPARE(Find<QWidget>("Button3")->nextInFocusChain(), Find<QWidget>("Button2"));

    // Closed and shown again with a fresh organisation view from the main window.
    m_form->close();
    QCOMPARE(Items(), QStringList());
    m_views->ReopenOrgTable();
    ShowForm();
    QCOMPARE(Items(), QStringList({Alpha, Beta, Gamma}));
    CheckConsistentOn(Alpha);
}

void TestSettingsForm::choosingLoadsThatOrganisationAndDropsTyping()
{
    ShowForm();
    TypeText(Find<QLineEdit>("Edit2"), QStringLiteral("999"));
    Choose(2);
    CheckConsistentOn(Gamma);
    Choose(1);
    CheckConsistentOn(Beta);
    QVERIFY(m_messages->Messages().isEmpty());
}

void TestSettingsForm::addAppendsSelectsAndEmpties()
{
    ShowForm();
    const QStringList values = {QStringLiteral("Дельта"), QStringLiteral("123"),
                                QStringLiteral("Директор"), QStringLiteral("Д.Д."),
                                QStringLiteral("Б.Б."), QStringLiteral("55"), QStringLiteral("810")};
    SetEditors(values);
    Click("Button1");
    QVERIFY(m_messages->Messages().isEmpty());
    QCOMPARE(Items(), QStringList({Alpha, Beta, Gamma, values[0]}));
    QCOMPARE(Find<QComboBox>("OrgBox")->currentText(), values[0]);
    QCOMPARE(CurrentOrg(), values[0]);
    QCOMPARE(Editors(), QStringList(7, QString()));
    QCOMPARE(FakeMainViews::StoredOrg(values[0]), values.join(QLatin1Char('|')));
    QCOMPARE(FakeMainViews::StoredEmployees(), m_employeesBefore);
}

void TestSettingsForm::addRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("emptyEditor");
    QTest::addColumn<QString>("message");

    const QString exists = QStringLiteral("Такая организация уже существует");
    const QString fill = QStringLiteral("Заполните все поля");
    QTest::newRow("same name") << Alpha << -1 << exists;
    QTest::newRow("upper case") << QStringLiteral("АЛЬФА") << -1 << exists;
    QTest::newRow("lower case") << QStringLiteral("гамма") << -1 << exists;
    QTest::newRow("name checked before blanks") << QStringLiteral("бЕТА") << 3 << exists;
    QTest::newRow("empty name") << QString() << 0 << fill;
    QTest::newRow("empty currency") << QStringLiteral("Дельта") << 6 << fill;
    QTest::newRow("empty position") << QStringLiteral("Дельта") << 2 << fill;
}

void TestSettingsForm::addRefused()
{
    QFETCH(QString, name);
    QFETCH(int, emptyEditor);
    QFETCH(QString, message);
    ShowForm();
    QStringList values(7, QStringLiteral("x"));
    values[0] = name;
    if (emptyEditor >= 0)
        values[emptyEditor].clear();
    SetEditors(values);
    Click("Button1");
    QCOMPARE(m_messages->Texts(), QStringList{message});
    QCOMPARE(FakeMainViews::StoredOrgNames(), QStringList({Alpha, Beta, Gamma}));
    QCOMPARE(Items(), QStringList({Alpha, Beta, Gamma}));
    QCOMPARE(Editors(), values);
}

void TestSettingsForm::saveCarriedToEmployeesOfTheOldName_data()
{
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("renamed") << QStringLiteral("Омега") << QStringList({Beta, Gamma, QStringLiteral("Омега")});
    QTest::newRow("name kept") << Alpha << QStringList({Beta, Gamma, Alpha});
    QTest::newRow("quote in the name") << QStringLiteral("ООО \"Рога\" и 'К'")
                                       << QStringList({Beta, Gamma, QStringLiteral("ООО \"Рога\" и 'К'")});
}

void TestSettingsForm::saveCarriedToEmployeesOfTheOldName()
{
    QFETCH(QString, newName);
    QFETCH(QStringList, items);
    ShowForm();
    QStringList values = Editors();
    values[0] = newName;
    values[1] = QStringLiteral("40702810999");
    SetEditors(values);
    Click("Button2");

    QVERIFY2(m_messages->Messages().isEmpty(), qPrintable(m_messages->Texts().join(u'\n')));
    QCOMPARE(Items(), items);
    CheckConsistentOn(newName);
    QCOMPARE(FakeMainViews::StoredOrg(newName), values.join(QLatin1Char('|')));
    if (newName != Alpha)
        QCOMPARE(FakeMainViews::StoredOrg(Alpha), QString());
    // Exactly the employees of the old name, nothing else of theirs, and no one else.
    QStringList expected = m_employeesBefore;
    for (QString& row : expected) {
        if (row.endsWith(QLatin1Char('|') + Alpha))
            row = row.left(row.size() - Alpha.size()) + newName;
    }
    QCOMPARE(FakeMainViews::StoredEmployees(), expected);
    QVERIFY(expected.contains(QStringLiteral("ИВАНОВ|1|1500||") + newName));
    QVERIFY(expected.contains(QStringLiteral("ОРЛОВ|4|100||альфа")));

    // Deleting the renamed organisation reaches the same employees, by the new name.
    m_messages->SetNextAnswers({true});
    Choose(items.indexOf(newName));
    Click("Button3");
    QCOMPARE(FakeMainViews::StoredOrgNames(), QStringList({Beta, Gamma}));
    QCOMPARE(FakeMainViews::StoredEmployees(),
             QStringList({m_employeesBefore[2], m_employeesBefore[3]}));
}

void TestSettingsForm::renameReachesEmployeesAddedBetweenShowings()
{
    ShowForm();
    QStringList values = Editors();
    values[0] = QStringLiteral("Омега");
    SetEditors(values);
    Click("Button2");
    m_form->close();

    // Meanwhile the main window adds one and moves another over to the renamed organisation.
    m_views->AddEmployee(QStringLiteral("НОВЫЙ"), QStringLiteral("8"), QStringLiteral("Омега"));
    TTable* employees = m_views->EmployeeTable();
    for (employees->First(); !employees->Eof(); employees->Next()) {
        if (employees->FieldByName(QStringLiteral("Fio100")).AsString() == QStringLiteral("СИДОРОВ")) {
            employees->Edit();
            employees->FieldByName(QStringLiteral("Org120")).SetAsString(QStringLiteral("Омега"));
            employees->Post();
            break;
        }
    }
    m_views->ReopenOrgTable();
    ShowForm();
    Choose(Items().indexOf(QStringLiteral("Омега")));
    values = Editors();
    values[0] = QStringLiteral("Сигма");
    SetEditors(values);
    Click("Button2");
    QVERIFY(m_messages->Messages().isEmpty());
    const QStringList stored = FakeMainViews::StoredEmployees();
    QCOMPARE(stored.filter(QStringLiteral("|Сигма")).size(), 5);
    QCOMPARE(stored.filter(QStringLiteral("|Омега")).size(), 0);
}

void TestSettingsForm::saveRefusedWithAnEmptyEditor_data()
{
    QTest::addColumn<int>("emptyEditor");
    for (int i = 0; i < 7; ++i)
        QTest::newRow(qPrintable(QStringLiteral("Edit%1").arg(i + 1))) << i;
}

void TestSettingsForm::saveRefusedWithAnEmptyEditor()
{
    QFETCH(int, emptyEditor);
    ShowForm();
    QStringList values = Editors();
    values[0] = QStringLiteral("Омега");
    values[emptyEditor].clear();
    SetEditors(values);
    Click("Button2");
    QCOMPARE(m_messages->Texts(), QStringList{QStringLiteral("Необходимо заполнить все поля")});
    QCOMPARE(FakeMainViews::StoredOrgNames(), QStringList({Alpha, Beta, Gamma}));
    QCOMPARE(FakeMainViews::StoredEmployees(), m_employeesBefore);
    QCOMPARE(Items(), QStringList({Alpha, Beta, Gamma}));
    QCOMPARE(m_views->OrgTable()->GetState(), TTable::State::Browse);
}

void TestSettingsForm::saveWithoutOrganisationsAddsOne()
{
    TTable* orgs = m_views->OrgTable();
    while (!orgs->IsEmpty())
        orgs->Delete();
    m_views->AddEmployee(QStringLiteral("БЕЗ ОРГАНИЗАЦИИ"), QStringLiteral("9"), QString());
    const QStringList employees = FakeMainViews::StoredEmployees();
    ShowForm();
    QCOMPARE(Items(), QStringList());
    const QStringList values = {QStringLiteral("Первая"), QStringLiteral("1"), QStringLiteral("2"),
                                QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("5"),
                                QStringLiteral("6")};
    SetEditors(values);
    Click("Button2");
    QVERIFY(m_messages->Messages().isEmpty());
    QCOMPARE(FakeMainViews::StoredOrgNames(), QStringList{values[0]});
    QCOMPARE(Items(), QStringList{values[0]});
    CheckConsistentOn(values[0]);
    // An employee without an organisation belongs to none, also not to the new one.
    QCOMPARE(FakeMainViews::StoredEmployees(), employees);
}

void TestSettingsForm::deleteAsksFirst_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("cancel") << false;
    QTest::newRow("ok") << true;
}

void TestSettingsForm::deleteAsksFirst()
{
    QFETCH(bool, answer);
    ShowForm();
    m_messages->SetNextAnswers({answer});
    Click("Button3");
    QCOMPARE(m_messages->Messages().size(), 1);
    const MessageRecorder::Shown asked = m_messages->Messages().front();
    QCOMPARE(asked.kind, Messages::Kind::OkCancel);
    QCOMPARE(asked.text,
             QStringLiteral("При удалении организации так же будут удаленны и ее сотрудники"));
    QCOMPARE(asked.caption, QStringLiteral("Удаление"));

    if (!answer) {
        QCOMPARE(FakeMainViews::StoredOrgNames(), QStringList({Alpha, Beta, Gamma}));
        QCOMPARE(FakeMainViews::StoredEmployees(), m_employeesBefore);
        QCOMPARE(Items(), QStringList({Alpha, Beta, Gamma}));
        CheckConsistentOn(Alpha);
        return;
    }
    QCOMPARE(FakeMainViews::StoredOrgNames(), QStringList({Beta, Gamma}));
    QCOMPARE(FakeMainViews::StoredEmployees(),
             QStringList({m_employeesBefore[2], m_employeesBefore[3]}));
    QCOMPARE(Items(), QStringList({Beta, Gamma}));
    CheckConsistentOn(Beta);
}

void TestSettingsForm::deletingTheLastEmptiesEverything()
{
    ShowForm();
    Choose(2);
    Click("Button3");
    CheckConsistentOn(Alpha);
    Click("Button3");
    CheckConsistentOn(Beta);
    Click("Button3");
    QCOMPARE(Items(), QStringList());
    QCOMPARE(Find<QComboBox>("OrgBox")->currentIndex(), -1);
    QCOMPARE(Editors(), QStringList(7, QString()));
    QCOMPARE(FakeMainViews::StoredOrgNames(), QStringList());
    QCOMPARE(FakeMainViews::StoredEmployees(), QStringList{m_employeesBefore[3]});

    m_messages->Clear();
    Click("Button3");
    QCOMPARE(m_messages->Texts(), QStringList{QStringLiteral("Записи отсутствуют")});
}

void TestSettingsForm::closeRemovesNewOrganisationOnly()
{
    const QString added = QStringLiteral("Новая организация");
    m_views->AddOrg(added, QStringLiteral("9"));
    m_views->AddOrg(QStringLiteral("Новая организация 2"), QStringLiteral("8"));
    m_views->AddEmployee(QStringLiteral("НОВИКОВ"), QStringLiteral("6"), added);
    const QStringList employees = FakeMainViews::StoredEmployees();
    ShowForm();
    Choose(Items().indexOf(added));
    m_form->close();

    QCOMPARE(Items(), QStringList());
    QCOMPARE(FakeMainViews::StoredOrgNames(),
             QStringList({Alpha, Beta, Gamma, QStringLiteral("Новая организация 2")}));
    QCOMPARE(FakeMainViews::StoredEmployees(), employees);
    QCOMPARE(CurrentOrg(), Alpha);
}

void TestSettingsForm::refusedRenameShowsTheStoredOrganisation()
{
    ShowForm();
    QStringList values = Editors();
    values[0] = Beta;
    values[1] = QStringLiteral("555");
    SetEditors(values);
    Click("Button2");

    QCOMPARE(m_messages->Messages().size(), 1);
    QCOMPARE(m_messages->Messages().front().kind, Messages::Kind::Error);
    QCOMPARE(Items(), QStringList({Alpha, Beta, Gamma}));
    CheckConsistentOn(Alpha);
    QCOMPARE(FakeMainViews::StoredEmployees(), m_employeesBefore);
    QCOMPARE(FakeMainViews::StoredOrg(Alpha).section(u'|', 1, 1), QStringLiteral("407028101"));

    // A later rename starts from the stored name, so Alpha's employees follow it.
    values = Editors();
    values[0] = QStringLiteral("Омега");
    SetEditors(values);
    Click("Button2");
    QCOMPARE(m_messages->Messages().size(), 1);
    CheckConsistentOn(QStringLiteral("Омега"));
    const QStringList employees = FakeMainViews::StoredEmployees();
    QCOMPARE(employees.filter(QStringLiteral("|Омега")).size(), 3);
    QCOMPARE(employees.filter(QLatin1Char('|') + Beta).size(), 1);
}

void TestSettingsForm::failureMidwayChangesNothing_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("button");
    QTest::newRow("rename") << "BEFORE UPDATE ON base WHEN OLD.Fio100 = 'ПЕТРОВ'" << "Button2";
    QTest::newRow("delete") << "BEFORE DELETE ON base WHEN OLD.Fio100 = 'ПЕТРОВ'" << "Button3";
}

void TestSettingsForm::failureMidwayChangesNothing()
{
    if (TestStore::IsServer())
        QSKIP("an SQLite trigger makes the write fail");
    QFETCH(QString, trigger);
    QFETCH(QString, button);
    // The second of Alpha's three employees cannot be written.
    FakeMainViews::Exec(QStringLiteral("CREATE TRIGGER fail %1 BEGIN SELECT RAISE(ABORT, 'сбой записи'); END")
                            .arg(trigger));
    ShowForm();
    const QString alphaBefore = FakeMainViews::StoredOrg(Alpha);
    QStringList values = Editors();
    values[0] = QStringLiteral("Омега");
    SetEditors(values);
    m_messages->SetNextAnswers({true});
    Click(qPrintable(button));

    const QList<MessageRecorder::Shown> shown = m_messages->Messages();
    QVERIFY(!shown.isEmpty());
    QCOMPARE(shown.last().kind, Messages::Kind::Error);
    QVERIFY(shown.last().text.contains(QStringLiteral("сбой записи")));
    QCOMPARE(FakeMainViews::StoredOrgNames(), QStringList({Alpha, Beta, Gamma}));
    QCOMPARE(FakeMainViews::StoredOrg(Alpha), alphaBefore);
    QCOMPARE(FakeMainViews::StoredEmployees(), m_employeesBefore);
    QCOMPARE(Items(), QStringList({Alpha, Beta, Gamma}));
    CheckConsistentOn(Alpha);

    // Once writes succeed again the same operation goes through whole.
    FakeMainViews::Exec(QStringLiteral("DROP TRIGGER fail"));
    values = Editors();
    values[0] = QStringLiteral("Омега");
    SetEditors(values);
    m_messages->SetNextAnswers({true});
    Click(qPrintable(button));
    QCOMPARE(FakeMainViews::StoredEmployees().filter(QLatin1Char('|') + Alpha).size(), 0);
}

void TestSettingsForm::editorsHoldTheirFieldSize_data()
{
    QTest::addColumn<QString>("editor");
    QTest::addColumn<QString>("before"); // the editor's text, all of it selected
    QTest::addColumn<QString>("how");    // "type", "keys" (Ctrl+V) or "menu" (its Paste)
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("message");

    const auto tooLong = [](const char* caption, int size) {
        return QStringLiteral("Текст не вставлен: поле «%1» вмещает не больше %2 знаков.")
            .arg(QString::fromUtf8(caption))
            .arg(size);
    };
    const QString agreement = QStringLiteral("12/2019-ЗП");
    QTest::newRow("typing stops at the field size")
        << "Edit6" << "" << "type" << agreement << "12/2019-" << "";
    QTest::newRow("longer paste refused")
        << "Edit6" << "" << "keys" << agreement << "" << tooLong("Номер зарплатного соглашения", 8);
    QTest::newRow("paste over the selection that fits")
        << "Edit6" << "771" << "keys" << "12/2019-" << "12/2019-" << "";
    QTest::newRow("longer paste from the context menu refused")
        << "Edit6" << "" << "menu" << agreement << "" << tooLong("Номер зарплатного соглашения", 8);
    QTest::newRow("paste from the context menu that fits")
        << "Edit4" << "" << "menu" << "Петров П.П." << "Петров П.П." << "";
    QTest::newRow("settlement account") << "Edit2" << "" << "keys" << QString(23, u'4') << ""
                                        << tooLong("Расчетный счет организации", 22);
    QTest::newRow("currency") << "Edit7" << "" << "keys" << "RUR1" << ""
                              << tooLong("Вид валюты", 3);
}

void TestSettingsForm::editorsHoldTheirFieldSize()
{
    QFETCH(QString, editor);
    QFETCH(QString, before);
    QFETCH(QString, how);
    QFETCH(QString, input);
    QFETCH(QString, shown);
    QFETCH(QString, message);
    ShowForm();
    auto* edit = m_form->findChild<QLineEdit*>(editor);
    QVERIFY(edit);
    edit->setFocus();
    edit->setText(before);
    edit->selectAll();
    QApplication::clipboard()->setText(input);
    if (how == QLatin1String("type")) {
        TypeText(edit, input);
    } else if (how == QLatin1String("keys")) {
        QTest::keySequence(edit, QKeySequence::Paste);
    } else {
        QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(2, 2),
                                  edit->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(edit, &request);
        auto* menu = edit->findChild<QMenu*>();
        QVERIFY(menu);
        auto* paste = menu->findChild<QAction*>(QStringLiteral("edit-paste"));
        QVERIFY(paste && paste->isEnabled());
        paste->trigger();
        menu->close();
    }
    QCOMPARE(edit->text(), shown);
    QCOMPARE(m_messages->Texts(), message.isEmpty() ? QStringList() : QStringList{message});
}

void TestSettingsForm::tablesNotOpenLeaveTheServerPart()
{
    m_views->OrgTable()->Close();
    ShowForm();
    QVERIFY2(m_messages->Texts().isEmpty(), qPrintable(m_messages->Texts().join('\n')));
    for (const char* part : {"OrgBox", "Edit1", "Edit7", "Button1", "Button2", "Button3"})
        QVERIFY2(!Find<QWidget>(part)->isEnabled(), part);
    QVERIFY(Find<QPushButton>("ServerButton")->isEnabled());
    QVERIFY(Items().isEmpty());
    m_form->reject();
    QVERIFY(m_messages->Texts().isEmpty());

    // Open again, the organisations are shown as ever.
    m_views->ReopenOrgTable();
    ShowForm();
    QVERIFY(Find<QWidget>("Edit1")->isEnabled());
    QCOMPARE(Items(), QStringList({Alpha, Beta, Gamma}));
    QVERIFY(m_messages->Texts().isEmpty());
}

QTEST_MAIN(TestSettingsForm)
#include "tst_settingsform.moc"
