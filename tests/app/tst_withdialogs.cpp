#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <functional>
#include <memory>

#include "app/TMainForm.h"
#include "dialogs/TEmployeeAddForm.h"
#include "dialogs/TSettingsForm.h"
#include "export/TExportForm.h"
#include "export/TWordExportForm.h"
#include "import/TImportForm.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"
#include "tests/storage/StoreTestKit.h"
#include "tests/support/FolderTest.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/StoreRows.h"
#include "tests/support/TempDataFolder.h"
#include "ui/LookAndFeel.h"

// The main window with the real dialogs: what a dialog changes, the main window shows.
class tst_WithDialogs : public QObject, FolderTest
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void renameInSettingsReachesGridAndLists();
    void deleteInSettingsReachesGrid();
    void staleSettingsWriteNoOtherOrganization_data();
    void staleSettingsWriteNoOtherOrganization();
    void employeeAddedThroughDialogAppearsInGrid();
    void oneFontOnEveryWindow();
    void captionsFitOnEveryWindow();
    void wheelOverEveryComboBoxChangesNothing();
    void unreachableServerToldOnceAndMendedInSettings();

private:
    void Start();
    // Runs `inside` once the modal dialog is up, then closes it.
    void WhileShown(QDialog* dialog, std::function<void()> inside);
    void Seed();
    QStringList GridColumn(const QString& field) const;
    QStringList ExportEntries() const;
    // The program's windows, each shown and laid out.
    QList<QWidget*> ShowEveryWindow();

    std::unique_ptr<TMainForm> m_main;
    std::unique_ptr<TSettingsForm> m_settings;
    std::unique_ptr<TEmployeeAddForm> m_add;
    std::unique_ptr<TExportForm> m_export;
    std::unique_ptr<TImportForm> m_import;
    std::unique_ptr<TWordExportForm> m_word;
};

void tst_WithDialogs::initTestCase()
{
    LookAndFeel::Install(*qApp);
}

void tst_WithDialogs::init()
{
    StartFolder();
}

void tst_WithDialogs::cleanup()
{
    m_word.reset();
    m_import.reset();
    m_export.reset();
    m_add.reset();
    m_settings.reset();
    m_main.reset();
    EndFolder();
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

QList<QWidget*> tst_WithDialogs::ShowEveryWindow()
{
    Seed();
    Start();
    // Made in the order of the program's start; the import window has no file to read.
    m_export = std::make_unique<TExportForm>(*m_main, m_main.get());
    m_main->SetExportForm(m_export.get());
    m_import = std::make_unique<TImportForm>(m_main.get());
    m_word = std::make_unique<TWordExportForm>(m_main.get());
    // Shown side by side, not modally: the looks, not the commands, are checked here.
    const QList<QWidget*> windows = {m_main.get(),   m_settings.get(), m_add.get(),
                                     m_export.get(), m_import.get(),   m_word.get()};
    for (QWidget* window : windows) {
        window->show();
        if (!QTest::qWaitForWindowExposed(window))
            return {};
    }
    return windows;
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

void tst_WithDialogs::staleSettingsWriteNoOtherOrganization_data()
{
    QTest::addColumn<QString>("elsewhere"); // what the other program writes meanwhile
    QTest::addColumn<QStringList>("stored"); // name and director of every organisation
    QTest::addColumn<bool>("refused");
    QTest::newRow("renamed: refused")
        << "UPDATE config SET \"Organization120\" = 'Бета-Н' WHERE \"Organization120\" = 'Бета'"
        << QStringList({"Альфа 1", "Бета-Н 1", "Организация 40 1"}) << true;
    QTest::newRow("another organisation changed: stored")
        << "UPDATE config SET \"Director\" = 'Другой' WHERE \"Organization120\" = 'Альфа'"
        << QStringList({"Альфа Другой", "Бета Петров", "Организация 40 1"}) << false;
}

// Another program changes the organisations while "Настройки" shows one of them: the change
// timer runs meanwhile, and the save lands on that organisation or nowhere.
void tst_WithDialogs::staleSettingsWriteNoOtherOrganization()
{
    QFETCH(QString, elsewhere);
    QFETCH(QStringList, stored);
    QFETCH(bool, refused);
    StoreRows::CreateOrganizations(m_folder->DataDir(), {"Альфа", "Бета", "Организация 40"});
    StoreRows::CreateEmployees(m_folder->DataDir(), {{"АНДРЕЕВ", "40817", "10.00", "Бета"},
                                                     {"БОРИСОВ", "40817", "10.00",
                                                      "Организация 40"}});
    Start();
    WhileShown(m_settings.get(), [&] {
        auto* box = m_settings->findChild<QComboBox*>("OrgBox");
        box->setCurrentIndex(1);
        Q_EMIT box->activated(1);
        QCOMPARE(m_settings->findChild<QLineEdit*>("Edit1")->text(), QStringLiteral("Бета"));
        QCOMPARE(StoreTestKit::RawStore(m_folder->DataDir()).Exec(elsewhere), 0);
        QTest::qWait(1200);
        m_settings->findChild<QLineEdit*>("Edit4")->setText("Петров");
        QTest::mouseClick(m_settings->findChild<QPushButton*>("Button2"), Qt::LeftButton);
        // After a refusal the editors show what is stored now.
        if (refused)
            QCOMPARE(m_settings->findChild<QLineEdit*>("Edit1")->text(), QStringLiteral("Бета-Н"));
    });
    m_main->findChild<QAction*>("settings1")->trigger();

    QStringList organizations;
    StoreTestKit::RawStore store(m_folder->DataDir());
    for (const QString& row : store.Query("SELECT \"Organization120\" || ' ' || \"Director\" "
                                          "FROM config ORDER BY 1"))
        organizations << row;
    QCOMPARE(organizations, stored);
    QCOMPARE(GridColumn("Org120"), QStringList({"Бета", "Организация 40"}));
    QCOMPARE(m_messages->Messages().size(), refused ? 1 : 0);
    if (refused)
        QVERIFY(m_messages->Messages().front().text.contains(QStringLiteral("другим пользователем")));
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

void tst_WithDialogs::oneFontOnEveryWindow()
{
    const QList<QWidget*> windows = ShowEveryWindow();
    QVERIFY(!windows.isEmpty());
    const QFont font = LookAndFeel::ProgramFont();
    QCOMPARE(QApplication::font(), font);
    for (QWidget* window : windows) {
        QList<QWidget*> widgets = window->findChildren<QWidget*>();
        widgets.prepend(window);
        for (QWidget* widget : widgets) {
            const QString name = window->objectName() + QLatin1Char('/') + widget->objectName();
            QVERIFY2(!widget->testAttribute(Qt::WA_SetFont), qPrintable(name));
            QVERIFY2(widget->font() == font, qPrintable(name));
        }
    }
}

void tst_WithDialogs::captionsFitOnEveryWindow()
{
    const QList<QWidget*> windows = ShowEveryWindow();
    QVERIFY(!windows.isEmpty());
    for (QWidget* window : windows) {
        for (QPushButton* button : window->findChildren<QPushButton*>()) {
            if (!button->isVisible())
                continue;
            // The style's room for the caption, and the caption in the program's font.
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect room =
                button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            QVERIFY2(room.width() >= button->fontMetrics().horizontalAdvance(button->text()),
                     qPrintable(button->text()));
            QVERIFY2(button->width() >= button->sizeHint().width(), qPrintable(button->text()));
        }
        for (QLabel* label : window->findChildren<QLabel*>()) {
            if (!label->isVisible())
                continue;
            QVERIFY2(label->width() >= label->fontMetrics().horizontalAdvance(label->text()),
                     qPrintable(label->text()));
        }
        const QRect available = window->screen()->availableGeometry();
        QVERIFY2(available.contains(window->frameGeometry()), qPrintable(window->objectName()));
    }
}

void tst_WithDialogs::wheelOverEveryComboBoxChangesNothing()
{
    const QList<QWidget*> windows = ShowEveryWindow();
    QVERIFY(!windows.isEmpty());
    QStringList boxes;
    for (QWidget* window : windows) {
        for (QComboBox* box : window->findChildren<QComboBox*>()) {
            // The dialogs are the main window's children: each box once, in its own window.
            const QString name = box->window()->objectName() + QLatin1Char('/') + box->objectName();
            if (box->window() != window || !box->isVisible() || box->count() < 2)
                continue;
            boxes << name;
            QCOMPARE(box->focusPolicy(), Qt::StrongFocus);
            box->clearFocus();
            const int before = box->currentIndex();
            const QPointF centre = QRectF(box->rect()).center();
            QWheelEvent notch(centre, box->mapToGlobal(centre), QPoint(), QPoint(0, -120),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(box, &notch);
            QVERIFY2(box->currentIndex() == before, qPrintable(name));
        }
    }
    // The export selector, both dialogs' organisation lists and the export dialog's choice.
    QCOMPARE(boxes.size(), 4);
    for (const QString& flags : GridColumn("Export"))
        QCOMPARE(flags, QStringLiteral("False")); // no pass over the export flags ran
    QCOMPARE(m_messages->Messages().size(), 0);
}

void tst_WithDialogs::unreachableServerToldOnceAndMendedInSettings()
{
    QFile conf(m_folder->DataDir() + QStringLiteral("server.conf"));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("host=/nonexistent/pellomar dbname=pellomar user=buh\n");
    conf.close();
    // Every window made as at the program's start: the failure is told once.
    Start();
    m_export = std::make_unique<TExportForm>(*m_main, m_main.get());
    m_import = std::make_unique<TImportForm>(m_main.get());
    m_word = std::make_unique<TWordExportForm>(m_main.get());
    QCOMPARE(m_messages->Messages().size(), 1);

    // The settings open for their server's part, which tells why without a box of its own.
    m_messages->Clear();
    QString status;
    WhileShown(m_settings.get(), [this, &status] {
        QVERIFY(!m_settings->findChild<QComboBox*>("OrgBox")->isEnabled());
        auto* serverButton = m_settings->findChild<QPushButton*>("ServerButton");
        QVERIFY(serverButton->isEnabled());
        QTimer::singleShot(0, m_settings.get(), [this, &status] {
            auto* server = m_settings->findChild<QDialog*>("ServerForm");
            QVERIFY(server);
            QTRY_VERIFY(server->isVisible());
            status = server->findChild<QLabel*>("StatusLabel")->text();
            server->reject();
        });
        serverButton->click();
    });
    m_main->findChild<QAction*>("settings1")->trigger();
    QVERIFY2(m_messages->Texts().isEmpty(), qPrintable(m_messages->Texts().join('\n')));
    QVERIFY2(status.startsWith(QStringLiteral("Таблицы не открыты. Нет связи с сервером "
                                              "«/nonexistent/pellomar»: сервер не запущен")),
             qPrintable(status));
}

QTEST_MAIN(tst_WithDialogs)
#include "tst_withdialogs.moc"
