#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "app/TMainForm.h"
#include "dialogs/TEmployeeAddForm.h"
#include "dialogs/TSettingsForm.h"
#include "storage/TSession.h"
#include "storage/TTable.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/StoreRows.h"
#include "tests/support/TempDataFolder.h"

// The main window with the real dialogs: what a dialog changes, the main window shows.
class tst_WithDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void renameInSettingsReachesGridAndLists();
    void deleteInSettingsReachesGrid();
    void employeeAddedThroughDialogAppearsInGrid();

private:
    void Start();
    // Runs `inside` once the modal dialog is up, then closes it.
    void WhileShown(QDialog* dialog, std::function<void()> inside);
    void Seed();
    QStringList GridColumn(const QString& field) const;
    QStringList ExportEntries() const;

    std::unique_ptr<TempDataFolder> m_folder;
    std::unique_ptr<MessageRecorder> m_messages;
    std::unique_ptr<TMainForm> m_main;
    std::unique_ptr<TSettingsForm> m_settings;
    std::unique_ptr<TEmployeeAddForm> m_add;
};

void tst_WithDialogs::init()
{
    m_folder = std::make_unique<TempDataFolder>();
    m_messages = std::make_unique<MessageRecorder>();
}

void tst_WithDialogs::cleanup()
{
    m_add.reset();
    m_settings.reset();
    m_main.reset();
    Session().CloseAll();
    m_messages.reset();
    m_folder.reset();
}

void tst_WithDialogs::Seed()
{
    StoreRows::CreateOrganizations(m_folder->DataDir(), {"Альфа", "Бета"});
    StoreRows::CreateEmployees(m_folder->DataDir(), {{"АНДРЕЕВ", "40817", "10.00", "Альфа"},
                                                     {"БОРИСОВ", "40817", "10.00", "Бета"},
                                                     {"ВЛАСОВ", "40817", "10.00", "Альфа"}});
}

void tst_WithDialogs::Start()
{
    m_main = std::make_unique<TMainForm>();
    m_settings = std::make_unique<TSettingsForm>(*m_main, m_main.get());
    m_add = std::make_unique<TEmployeeAddForm>(*m_main, m_main.get());
    m_main->SetForms(m_settings.get(), m_add.get());
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
}

void tst_WithDialogs::WhileShown(QDialog* dialog, std::function<void()> inside)
{
    QTimer::singleShot(0, dialog, [dialog, inside] {
        QTRY_VERIFY(dialog->isVisible());
        inside();
        if (dialog->isVisible())
            dialog->reject();
    });
}

QStringList tst_WithDialogs::GridColumn(const QString& field) const
{
    TTable* employees = m_main->EmployeeTable();
    const int index = employees->FindField(field);
    QStringList values;
    for (int row = 0; row < employees->RecordCount(); ++row)
        values << employees->CellText(row, index);
    return values;
}

QStringList tst_WithDialogs::ExportEntries() const
{
    auto* box = m_main->findChild<QComboBox*>("OrgBoxExport");
    QStringList entries;
    for (int i = 0; i < box->count(); ++i)
        entries << box->itemText(i);
    return entries;
}

void tst_WithDialogs::renameInSettingsReachesGridAndLists()
{
    Seed();
    Start();
    TTable* before = m_main->OrgTable();
    WhileShown(m_settings.get(), [this] {
        m_settings->findChild<QLineEdit*>("Edit1")->setText("Гамма");
        QTest::mouseClick(m_settings->findChild<QPushButton*>("Button2"), Qt::LeftButton);
    });
    m_main->findChild<QAction*>("settings1")->trigger();

    QCOMPARE(GridColumn("Org120"), QStringList({"Гамма", "Бета", "Гамма"}));
    QCOMPARE(ExportEntries(), QStringList({"Все", "Бета", "Гамма"}));
    QCOMPARE(m_main->findChild<QComboBox*>("OrgBoxExport")->currentText(), QStringLiteral("Все"));
    QVERIFY(m_main->OrgTable() != before); // a fresh view of the organisations
    QCOMPARE(m_main->OrgTable()->RecordCount(), 2);
    QCOMPARE(m_messages->Messages().size(), 0);
}

void tst_WithDialogs::deleteInSettingsReachesGrid()
{
    Seed();
    Start();
    m_messages->SetNextAnswers({true});
    WhileShown(m_settings.get(), [this] {
        QTest::mouseClick(m_settings->findChild<QPushButton*>("Button3"), Qt::LeftButton);
    });
    m_main->findChild<QAction*>("settings1")->trigger();

    QCOMPARE(GridColumn("Fio100"), QStringList({"БОРИСОВ"}));
    QCOMPARE(ExportEntries(), QStringList({"Все", "Бета"}));
}

void tst_WithDialogs::employeeAddedThroughDialogAppearsInGrid()
{
    Seed();
    Start();
    WhileShown(m_add.get(), [this] {
        m_add->findChild<QLineEdit*>("FioDBEdit")->setText("ГРИГОРЬЕВ");
        m_add->findChild<QLineEdit*>("AccntDBEdit")->setText("42");
        m_add->findChild<QLineEdit*>("AmountDBEdit")->setText("1500");
        for (const char* name : {"FioDBEdit", "AccntDBEdit", "AmountDBEdit"})
            Q_EMIT m_add->findChild<QLineEdit*>(name)->textEdited(QString());
        m_add->findChild<QComboBox*>("OrgBox")->setCurrentIndex(1);
        QTest::mouseClick(m_add->findChild<QPushButton*>("SaveButton"), Qt::LeftButton);
    });
    QTest::mouseClick(m_main->findChild<QPushButton*>("AddButton"), Qt::LeftButton);

    QCOMPARE(GridColumn("Fio100"), QStringList({"АНДРЕЕВ", "БОРИСОВ", "ВЛАСОВ", "ГРИГОРЬЕВ"}));
    QCOMPARE(GridColumn("Amount").last(), QStringLiteral("1500.00"));
    QCOMPARE(GridColumn("Org120").last(), QStringLiteral("Бета"));
    QCOMPARE(GridColumn("Export").last(), QStringLiteral("True"));
    QCOMPARE(m_messages->Messages().size(), 0);
}

QTEST_MAIN(tst_WithDialogs)
#include "tst_withdialogs.moc"
