#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <algorithm>
#include <memory>

#include "dialogs/TEmployeeAddForm.h"
#include "storage/views/TSession.h"
#include "tests/dialogs/DialogsTestKit.h"
#include "tests/support/FolderTest.h"
#include "tests/support/ScreenChecks.h"
#include "tests/support/TestServer.h"
#include "tests/support/TestStore.h"
#include "ui/TDBEdit.h"

class TestEmployeeAddForm : public QObject, WindowTest<TEmployeeAddForm>
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void opensWithOrganisationsAndNothingChosen();
    void saveChecks_data();
    void saveChecks();
    void failedCheckKeepsRecordUntilFixed();
    void duplicateInAnyLetterCaseClosesAndStoresNothing_data();
    void duplicateInAnyLetterCaseClosesAndStoresNothing();
    void otherStoreErrorKeepsDialogAndRecord_data();
    void otherStoreErrorKeepsDialogAndRecord();
    void lostConnectionKeepsDialogAndRecord();
    void closingDiscardsTheRecord_data();
    void closingDiscardsTheRecord();
    void typedCharacters_data();
    void typedCharacters();
    void keypadDecimalKeyGivesThePoint();
    void pastedTextFollowsTheRules_data();
    void pastedTextFollowsTheRules();
    void longOrganisationNameKeepsDialogOnScreen();

private:
    void ShowForm();
    void Fill(const QString& fio, const QString& accnt, const QString& amount);

    std::unique_ptr<FakeMainViews> m_views;
};

void TestEmployeeAddForm::init()
{
    StartFolder();
    m_views = std::make_unique<FakeMainViews>();
    m_views->AddOrg(QStringLiteral("Первая"));
    m_views->AddOrg(QStringLiteral("Вторая"));
    m_views->AddOrg(QStringLiteral("Альфа"));
    m_form = std::make_unique<TEmployeeAddForm>(*m_views);
}

void TestEmployeeAddForm::cleanup()
{
    m_form.reset();
    m_views.reset();
    EndFolder();
}

void TestEmployeeAddForm::ShowForm()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

void TestEmployeeAddForm::Fill(const QString& fio, const QString& accnt, const QString& amount)
{
    TypeText(Find<QLineEdit>("FioDBEdit"), fio);
    TypeText(Find<QLineEdit>("AccntDBEdit"), accnt);
    TypeText(Find<QLineEdit>("AmountDBEdit"), amount);
}

void TestEmployeeAddForm::opensWithOrganisationsAndNothingChosen()
{
    ShowForm();
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Новый сотрудник"));
    auto* box = Find<QComboBox>("OrgBox");
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    // The organisation table's own order (its key), none chosen.
    QCOMPARE(items, QStringList({QStringLiteral("Альфа"), QStringLiteral("Вторая"),
                                 QStringLiteral("Первая")}));
    QCOMPARE(box->currentIndex(), -1);
    QCOMPARE(box->currentText(), QString());
    QCOMPARE(QApplication::focusWidget(), Find<QLineEdit>("FioDBEdit"));
    QVERIFY(!Find<QLineEdit>("OrgDBEdit")->isVisible());
}

void TestEmployeeAddForm::saveChecks_data()
{
    QTest::addColumn<QString>("fio");
    QTest::addColumn<QString>("accnt");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<int>("org");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("stored");

    const QString blank = QStringLiteral("ФИО и счет сотрудника не могут быть пустыми.");
    const QString noOrg = QStringLiteral("Выбирете организацию из списка");
    QTest::newRow("empty name") << "" << "123" << "10" << 0 << blank << "";
    QTest::newRow("empty account") << "ИВАНОВ" << "" << "10" << 0 << blank << "";
    QTest::newRow("name checked before organisation") << "" << "" << "" << -1 << blank << "";
    QTest::newRow("account checked before organisation") << "ИВАНОВ" << "" << "" << -1 << blank
                                                          << "";
    QTest::newRow("no organisation") << "ИВАНОВ" << "123" << "10" << -1 << noOrg << "";
    QTest::newRow("empty amount stored as zero")
        << "ИВАНОВ" << "123" << "" << 1 << "" << "ИВАНОВ|123|0.00|True|Вторая";
    QTest::newRow("whole amount gets decimals")
        << "ИВАНОВ" << "40817-1" << "1500" << 0 << "" << "ИВАНОВ|40817-1|1500.00|True|Альфа";
    QTest::newRow("typed comma stored as the point")
        << "ИВАНОВ" << "123" << "1500,50" << 0 << "" << "ИВАНОВ|123|1500.50|True|Альфа";
}

void TestEmployeeAddForm::saveChecks()
{
    QFETCH(QString, fio);
    QFETCH(QString, accnt);
    QFETCH(QString, amount);
    QFETCH(int, org);
    QFETCH(QString, message);
    QFETCH(QString, stored);

    ShowForm();
    Fill(fio, accnt, amount);
    Find<QComboBox>("OrgBox")->setCurrentIndex(org);
    QTest::mouseClick(Find<QPushButton>("SaveButton"), Qt::LeftButton);

    if (message.isEmpty()) {
        QVERIFY(m_messages->Messages().isEmpty());
        QVERIFY(!m_form->isVisible());
        QCOMPARE(m_form->result(), int(QDialog::Accepted));
        QCOMPARE(FakeMainViews::StoredEmployees(), QStringList{stored});
        QCOMPARE(Find<QLineEdit>("AmountDBEdit")->text().isEmpty(), false);
    } else {
        QCOMPARE(m_messages->Texts(), QStringList{message});
        QCOMPARE(m_messages->Messages().front().kind, Messages::Kind::Message);
        QVERIFY(m_form->isVisible());
        QCOMPARE(FakeMainViews::StoredEmployees(), QStringList());
    }
}

void TestEmployeeAddForm::failedCheckKeepsRecordUntilFixed()
{
    ShowForm();
    Fill(QStringLiteral("ПЕТРОВ"), QStringLiteral("555"), QStringLiteral("12.5"));
    auto* save = Find<QPushButton>("SaveButton");
    QTest::mouseClick(save, Qt::LeftButton);
    QCOMPARE(m_messages->Texts(), QStringList{QStringLiteral("Выбирете организацию из списка")});
    QVERIFY(m_form->isVisible());
    QCOMPARE(Find<QLineEdit>("FioDBEdit")->text(), QStringLiteral("ПЕТРОВ"));
    QCOMPARE(Find<QLineEdit>("AccntDBEdit")->text(), QStringLiteral("555"));

    Find<QComboBox>("OrgBox")->setCurrentIndex(2);
    QCOMPARE(Find<QLineEdit>("OrgDBEdit")->text(), QStringLiteral("Первая"));
    QTest::mouseClick(save, Qt::LeftButton);
    QCOMPARE(m_messages->Messages().size(), 1);
    QVERIFY(!m_form->isVisible());
    QCOMPARE(FakeMainViews::StoredEmployees(),
             QStringList{QStringLiteral("ПЕТРОВ|555|12.50|True|Первая")});

    // The next showing starts a fresh record with nothing chosen.
    ShowForm();
    QCOMPARE(Find<QLineEdit>("FioDBEdit")->text(), QString());
    QCOMPARE(Find<QLineEdit>("AmountDBEdit")->text(), QString());
    QCOMPARE(Find<QComboBox>("OrgBox")->currentIndex(), -1);
    QCOMPARE(Find<QComboBox>("OrgBox")->count(), 3);
}

void TestEmployeeAddForm::duplicateInAnyLetterCaseClosesAndStoresNothing_data()
{
    QTest::addColumn<QString>("storedFio");
    QTest::addColumn<QString>("storedAccnt");

    QTest::newRow("same letters") << "СИДОРОВ ИВАН" << "40817";
    QTest::newRow("stored in lower case") << "сидоров иван" << "40817";
    QTest::newRow("stored in mixed case") << "Сидоров Иван" << "40817";
}

void TestEmployeeAddForm::duplicateInAnyLetterCaseClosesAndStoresNothing()
{
    QFETCH(QString, storedFio);
    QFETCH(QString, storedAccnt);
    m_views->AddEmployee(storedFio, storedAccnt, QStringLiteral("Первая"));
    const QStringList before = FakeMainViews::StoredEmployees();

    ShowForm();
    Fill(QStringLiteral("сидоров иван"), storedAccnt, QStringLiteral("5"));
    Find<QComboBox>("OrgBox")->setCurrentIndex(1);
    QTest::mouseClick(Find<QPushButton>("SaveButton"), Qt::LeftButton);

    QCOMPARE(m_messages->Texts(), QStringList{QStringLiteral("Такой сотрудник уже существует")});
    QVERIFY(!m_form->isVisible());
    QCOMPARE(FakeMainViews::StoredEmployees(), before);
}

void TestEmployeeAddForm::otherStoreErrorKeepsDialogAndRecord_data()
{
    QTest::addColumn<QString>("refuse"); // makes the next write fail
    QTest::addColumn<QString>("allow");
    QTest::addColumn<QString>("told"); // a part of the message

    if (!TestStore::IsServer()) // a failing write that is not a duplicate, like a full disk
        QTest::newRow("store refuses")
            << "CREATE TRIGGER refuse BEFORE INSERT ON base BEGIN SELECT RAISE(ABORT, 'disk "
               "full'); END"
            << "DROP TRIGGER refuse"
            << "disk full";
    QTest::newRow("key of another field") << "CREATE UNIQUE INDEX refuse ON base (\"Amount\")"
                                          << "DROP INDEX refuse"
                                          << "refuse";
}

void TestEmployeeAddForm::otherStoreErrorKeepsDialogAndRecord()
{
    QFETCH(QString, refuse);
    QFETCH(QString, allow);
    QFETCH(QString, told);
    m_views->AddEmployee(QStringLiteral("ПЕТРОВ"), QStringLiteral("1"), QStringLiteral("Первая"),
                         QStringLiteral("3.00"));
    FakeMainViews::Exec(refuse);
    ShowForm();
    Fill(QStringLiteral("КУЗНЕЦОВ"), QStringLiteral("777"), QStringLiteral("3"));
    Find<QComboBox>("OrgBox")->setCurrentIndex(0);
    auto* save = Find<QPushButton>("SaveButton");
    QTest::mouseClick(save, Qt::LeftButton);

    QCOMPARE(m_messages->Messages().size(), 1);
    QCOMPARE(m_messages->Messages().front().kind, Messages::Kind::Error);
    QVERIFY2(m_messages->Texts().front().contains(told), qPrintable(m_messages->Texts().front()));
    QVERIFY(m_form->isVisible());
    QCOMPARE(Find<QLineEdit>("FioDBEdit")->text(), QStringLiteral("КУЗНЕЦОВ"));
    const QStringList before{QStringLiteral("ПЕТРОВ|1|3.00||Первая")};
    QCOMPARE(FakeMainViews::StoredEmployees(), before);

    // Once the store accepts writes again the same record is saved.
    FakeMainViews::Exec(allow);
    QTest::mouseClick(save, Qt::LeftButton);
    QVERIFY(!m_form->isVisible());
    QCOMPARE(FakeMainViews::StoredEmployees(),
             before + QStringList{QStringLiteral("КУЗНЕЦОВ|777|3.00|True|Альфа")});
}

void TestEmployeeAddForm::lostConnectionKeepsDialogAndRecord()
{
    if (!TestStore::IsServer())
        QSKIP("a server stopped under the dialog");
    // The dialog on a server of its own, to be stopped while the record is typed.
    TestServer server;
    QVERIFY(!server.Connection().isEmpty());
    m_form.reset();
    QFile conf(m_data + QStringLiteral("server.conf"));
    QVERIFY(conf.open(QIODevice::WriteOnly) && conf.write(server.Connection()) > 0);
    conf.close();
    m_views->ReopenTables();
    m_views->AddOrg(QStringLiteral("Первая"));
    m_form = std::make_unique<TEmployeeAddForm>(*m_views);
    ShowForm();
    Fill(QStringLiteral("КУЗНЕЦОВ"), QStringLiteral("777"), QStringLiteral("3"));
    Find<QComboBox>("OrgBox")->setCurrentIndex(0);
    QVERIFY(server.Kill());
    auto* save = Find<QPushButton>("SaveButton");
    QTest::mouseClick(save, Qt::LeftButton);

    QCOMPARE(m_messages->Messages().size(), 1);
    QCOMPARE(m_messages->Messages().front().kind, Messages::Kind::Error);
    QVERIFY2(m_messages->Texts().front().startsWith(QStringLiteral("Нет связи с сервером")),
             qPrintable(m_messages->Texts().front()));
    QVERIFY(m_form->isVisible());
    QCOMPARE(Find<QLineEdit>("FioDBEdit")->text(), QStringLiteral("КУЗНЕЦОВ"));
    QCOMPARE(Find<QLineEdit>("AccntDBEdit")->text(), QStringLiteral("777"));

    // The server back, the same record is stored.
    QVERIFY(server.Restart());
    m_messages->Clear();
    QTest::mouseClick(save, Qt::LeftButton);
    QVERIFY2(m_messages->Texts().isEmpty(), qPrintable(m_messages->Texts().join('\n')));
    QVERIFY(!m_form->isVisible());
    QCOMPARE(FakeMainViews::StoredEmployees(),
             QStringList{QStringLiteral("КУЗНЕЦОВ|777|3.00|True|Первая")});
    m_form.reset();
    Session().CloseAll();
}

void TestEmployeeAddForm::closingDiscardsTheRecord_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("close box") << 0;
    QTest::newRow("escape") << 1;
    QTest::newRow("after a failed check") << 2;
}

void TestEmployeeAddForm::closingDiscardsTheRecord()
{
    QFETCH(int, how);
    ShowForm();
    Fill(QStringLiteral("ОРЛОВ"), QStringLiteral("42"), QStringLiteral("9"));
    Find<QComboBox>("OrgBox")->setCurrentIndex(0);
    if (how == 2) {
        Find<QLineEdit>("AccntDBEdit")->clear();
        QTest::keyClick(Find<QLineEdit>("AccntDBEdit"), Qt::Key_Backspace);
        QTest::mouseClick(Find<QPushButton>("SaveButton"), Qt::LeftButton);
        QCOMPARE(m_messages->Messages().size(), 1);
    }
    if (how == 1)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    else
        m_form->close();

    QVERIFY(!m_form->isVisible());
    QCOMPARE(FakeMainViews::StoredEmployees(), QStringList());
    // Nothing typed before comes back in the next record.
    ShowForm();
    QCOMPARE(Find<QLineEdit>("FioDBEdit")->text(), QString());
    QCOMPARE(Find<QLineEdit>("AmountDBEdit")->text(), QString());
    QTest::mouseClick(Find<QPushButton>("SaveButton"), Qt::LeftButton);
    QCOMPARE(m_messages->Texts().last(),
             QStringLiteral("ФИО и счет сотрудника не могут быть пустыми."));
}

void TestEmployeeAddForm::typedCharacters_data()
{
    QTest::addColumn<QString>("editor");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");

    QTest::newRow("name cyrillic upper-cased") << "FioDBEdit" << "фамилия" << "ФАМИЛИЯ";
    QTest::newRow("name latin upper-cased") << "FioDBEdit" << "ivanov i.i." << "IVANOV I.I.";
    QTest::newRow("name ё") << "FioDBEdit" << "семёнов" << "СЕМЁНОВ";
    QTest::newRow("account digits and minus") << "AccntDBEdit" << "408-17" << "408-17";
    QTest::newRow("account refuses letters and point") << "AccntDBEdit" << "4a0.8б1," << "4081";
    QTest::newRow("amount digits and point") << "AmountDBEdit" << "1500.25" << "1500.25";
    QTest::newRow("amount refuses minus, comma is the point") << "AmountDBEdit" << "-15,5x"
                                                               << "15.5";
}

void TestEmployeeAddForm::typedCharacters()
{
    QFETCH(QString, editor);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    ShowForm();
    auto* edit = m_form->findChild<QLineEdit*>(editor);
    QVERIFY(edit);
    TypeText(edit, typed);
    QCOMPARE(edit->text(), shown);
}

// The decimal key of a Russian numeric keypad gives a comma.
void TestEmployeeAddForm::keypadDecimalKeyGivesThePoint()
{
    ShowForm();
    auto* edit = Find<QLineEdit>("AmountDBEdit");
    TypeText(edit, QStringLiteral("1500"));
    QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_Comma, QStringLiteral(","),
                        Qt::KeypadModifier);
    TypeText(edit, QStringLiteral("5"));
    QCOMPARE(edit->text(), QStringLiteral("1500.5"));
}

void TestEmployeeAddForm::pastedTextFollowsTheRules_data()
{
    QTest::addColumn<QString>("editor");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("message");

    const auto tooLong = [](const char* caption, int size) {
        return QStringLiteral("Текст не вставлен: поле «%1» вмещает не больше %2 знаков.")
            .arg(QString::fromUtf8(caption))
            .arg(size);
    };
    QTest::newRow("name upper-cased") << "FioDBEdit" << "петров пётр" << "ПЕТРОВ ПЁТР" << "";
    QTest::newRow("account filtered") << "AccntDBEdit" << "40817 810-0.12x" << "40817810-012"
                                      << "";
    QTest::newRow("amount filtered, comma is the point")
        << "AmountDBEdit" << "1 500,00.5" << "1500.00.5" << "";
    QTest::newRow("name as long as its field") << "FioDBEdit" << QString(100, QChar(u'я'))
                                               << QString(100, QChar(u'Я')) << "";
    QTest::newRow("name longer than its field refused")
        << "FioDBEdit" << QString(101, QChar(u'я')) << "" << tooLong("ФИО", 100);
    QTest::newRow("account longer than its field refused")
        << "AccntDBEdit" << QString(23, QChar(u'7')) << "" << tooLong("Счет сотрудника", 22);
    QTest::newRow("account fits once filtered")
        << "AccntDBEdit" << "4081 7810 0000 0000 0000 01" << "4081781000000000000001" << "";
    QTest::newRow("amount longer than its field refused")
        << "AmountDBEdit" << QString(16, QChar(u'1')) << ""
        << tooLong("Сумма для зачисления", 15);
}

void TestEmployeeAddForm::pastedTextFollowsTheRules()
{
    QFETCH(QString, editor);
    QFETCH(QString, pasted);
    QFETCH(QString, shown);
    QFETCH(QString, message);
    ShowForm();
    auto* edit = m_form->findChild<QLineEdit*>(editor);
    QVERIFY(edit);
    edit->setFocus();
    QApplication::clipboard()->setText(pasted);
    QTest::keySequence(edit, QKeySequence::Paste);
    QCOMPARE(edit->text(), shown);
    QCOMPARE(m_messages->Texts(), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(edit->contextMenuPolicy(), Qt::NoContextMenu);
}

void TestEmployeeAddForm::longOrganisationNameKeepsDialogOnScreen()
{
    ShowForm();
    const int width = m_form->width();
    m_form->hide();
    const QString name = LongOrganisationName();
    m_views->AddOrg(name);
    ShowForm();
    CheckKeptOnScreen(m_form.get(), width);

    // Elided in the closed box, whole in the open list.
    auto* box = Find<QComboBox>("OrgBox");
    box->setCurrentIndex(box->findText(name));
    CheckListShowsWhole(box, name);
}

QTEST_MAIN(TestEmployeeAddForm)
#include "tst_employeeaddform.moc"
