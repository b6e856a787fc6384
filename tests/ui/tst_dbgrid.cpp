#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeySequence>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "storage/layouts/Layouts.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"
#include "tests/support/FolderTest.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/StoreRows.h"
#include "tests/support/TempDataFolder.h"
#include "tests/support/Typing.h"
#include "ui/TDBComboBox.h"
#include "ui/TDBGrid.h"
#include "ui/TDataSource.h"

namespace {

struct Row
{
    QString fio;
    QString accnt;
};

QLineEdit* FocusedEditor()
{
    return qobject_cast<QLineEdit*>(QApplication::focusWidget());
}

} // namespace

class tst_DBGrid : public QObject, FolderTest
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void modelFollowsView();
    void refusedStoreKeepsRow_data();
    void refusedStoreKeepsRow();
    void keysTypedDuringRefusedStoreDropped();
    void storedRowMovesTargetFollows();
    void clickOnOtherRowArrivesAfterStore();
    void vetoedTabOpensNoEditor();
    void escapeCancelsRow();
    void insertAndDownOnLastRow();
    void ctrlDeleteAsks_data();
    void ctrlDeleteAsks();
    void typedCharactersPassTheHook();
    void editorLimitedToFieldSize();
    void booleanColumnIsNotEdited();
    void columnEnterAndExit();
    void comboBoxWritesChoice();
    void rowSelection_data();
    void rowSelection();
    void selectionFollowsItsEmployees();
    void modifiedClickOnlySelects_data();
    void modifiedClickOnlySelects();
    void rightClickInsideSelectionKeepsIt();

private:
    void Populate(const QList<Row>& rows);
    void PopulateSix();
    void Gesture(const QString& step);
    QList<int> SelectedRows() const;
    QList<int> HighlightedRows() const;
    void TypeInto(int row, int column, const QString& text);

    std::unique_ptr<TTable> m_table;
    std::unique_ptr<TDataSource> m_source;
    std::unique_ptr<TDBGrid> m_grid;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

void tst_DBGrid::init()
{
    StartFolder();
    StoreRows::CreateEmployees(m_folder->DataDir());

    m_table = std::make_unique<TTable>();
    m_table->SetDatabaseName(m_folder->DataDir());
    m_table->SetTableName(QStringLiteral("base.DB"));
    m_table->SetIndexName(QStringLiteral("Fio_Accnt"));
    m_table->Open();
    m_source = std::make_unique<TDataSource>();
    m_source->SetDataSet(m_table.get());

    m_grid = std::make_unique<TDBGrid>();
    m_tester = std::make_unique<QAbstractItemModelTester>(
        m_grid->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    m_grid->SetColumns({
        {QStringLiteral("Fio100"), QStringLiteral("ФИО"), 200, Qt::AlignLeft, Qt::AlignLeft, {}},
        {QStringLiteral("Accnt"), QStringLiteral("Счет"), 120, Qt::AlignLeft, Qt::AlignLeft, {}},
        {QStringLiteral("Export"), QStringLiteral("+"), 20, Qt::AlignLeft, Qt::AlignLeft, {}},
    });
    m_grid->SetDataSource(m_source.get());
    m_grid->resize(420, 300);
    m_grid->show();
    m_grid->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_grid.get()));
    m_grid->setFocus();
}

void tst_DBGrid::cleanup()
{
    m_tester.reset();
    m_grid.reset();
    m_source.reset();
    m_table.reset();
    EndFolder();
}

void tst_DBGrid::Populate(const QList<Row>& rows)
{
    for (const Row& row : rows) {
        m_table->Insert();
        m_table->FieldByName(QStringLiteral("Fio100")).SetAsString(row.fio);
        m_table->FieldByName(QStringLiteral("Accnt")).SetAsString(row.accnt);
        m_table->Post();
    }
    m_table->First();
}

// Types into a cell: the first key opens the editor, the rest go to it.
void tst_DBGrid::TypeInto(int row, int column, const QString& text)
{
    m_grid->selectionModel()->setCurrentIndex(m_grid->model()->index(row, column),
                                              QItemSelectionModel::ClearAndSelect);
    QCOMPARE(m_grid->currentIndex().row(), row);
    QCOMPARE(m_grid->currentIndex().column(), column);
    for (qsizetype i = 0; i < text.size(); ++i) {
        QWidget* target = i == 0 ? static_cast<QWidget*>(m_grid.get()) : QApplication::focusWidget();
        TypeChar(target, text.at(i));
    }
}

void tst_DBGrid::modelFollowsView()
{
    Populate({{"ВАСИЛЬЕВ", "2"}, {"АНТОНОВ", "1"}, {"БОРИСОВ", "3"}});
    QAbstractItemModel* model = m_grid->model();
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("АНТОНОВ"));
    QCOMPARE(model->index(2, 1).data().toString(), QStringLiteral("2"));
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Счет"));

    // A store that moves the row in the order: the current cell follows it.
    m_table->SetRecNo(1);
    m_table->Edit();
    m_table->FieldByName(QStringLiteral("Fio100")).SetAsString(QStringLiteral("ЯКОВЛЕВ"));
    m_table->Post();
    QCOMPARE(model->index(2, 0).data().toString(), QStringLiteral("ЯКОВЛЕВ"));
    QCOMPARE(m_grid->currentIndex().row(), 2);

    m_table->Insert();
    QCOMPARE(model->rowCount(), 4);
    QCOMPARE(m_grid->currentIndex().row(), 3);
    m_table->Cancel();
    QCOMPARE(model->rowCount(), 3);
    m_table->Delete();
    QCOMPARE(model->rowCount(), 2);
    m_table->Close();
    QCOMPARE(model->rowCount(), 0);
    m_table->Open();
    QCOMPARE(model->rowCount(), 2);
}

void tst_DBGrid::refusedStoreKeepsRow_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("down key") << "down";
    QTest::newRow("page down") << "pagedown";
    QTest::newRow("click on another row") << "click";
    QTest::newRow("row indicator") << "indicator";
    QTest::newRow("programmatic move") << "program";
    QTest::newRow("tab past the last column") << "tab";
}

void tst_DBGrid::refusedStoreKeepsRow()
{
    QFETCH(QString, how);
    Populate({{"АНТОНОВ", "1"}, {"БОРИСОВ", "2"}, {"ВАСИЛЬЕВ", "3"}});
    bool refuse = true;
    m_table->BeforePost = [&refuse](TTable&) {
        if (refuse)
            throw EAbort();
    };
    TypeInto(0, 1, QStringLiteral("77"));
    QCOMPARE(m_table->GetState(), TTable::State::Edit);

    auto leave = [&] {
        const QRect target = m_grid->visualRect(m_grid->model()->index(2, 0));
        if (how == "down") {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        } else if (how == "pagedown") {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
        } else if (how == "click") {
            QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {}, target.center());
        } else if (how == "indicator") {
            QHeaderView* header = m_grid->verticalHeader();
            QTest::mousePress(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->width() / 2, header->sectionViewportPosition(2) + 3));
        } else if (how == "program") {
            m_grid->selectionModel()->setCurrentIndex(m_grid->model()->index(2, 1),
                                                      QItemSelectionModel::ClearAndSelect);
        } else {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
    };
    leave();
    QTRY_VERIFY(!m_grid->MovePending());
    QCOMPARE(m_grid->currentIndex().row(), 0);
    QCOMPARE(m_table->CurrentRow(), 0);
    QCOMPARE(m_table->GetState(), TTable::State::Edit);
    QCOMPARE(m_table->FieldByName(QStringLiteral("Accnt")).AsString(), QStringLiteral("77"));
    QCOMPARE(m_grid->selectionModel()->selectedIndexes().size(), 1);
    QCOMPARE(m_grid->selectionModel()->selectedIndexes().front().row(), 0);

    refuse = false;
    m_grid->setFocus();
    leave();
    QTRY_VERIFY(m_table->GetState() == TTable::State::Browse);
    QVERIFY(m_grid->currentIndex().row() != 0);
    QCOMPARE(m_grid->currentIndex().row(), m_table->CurrentRow());
    QCOMPARE(m_grid->model()->index(0, 1).data().toString(), QStringLiteral("77"));
}

void tst_DBGrid::keysTypedDuringRefusedStoreDropped()
{
    Populate({{"АНТОНОВ", "1"}, {"БОРИСОВ", "2"}, {"ВАСИЛЬЕВ", "3"}});
    bool refuse = true;
    m_table->BeforePost = [&refuse](TTable&) {
        if (refuse)
            throw EAbort();
    };
    // Typed before a refused store ran: meant neither for the row that stays nor for a later one.
    TypeInto(0, 1, QStringLiteral("7"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QVERIFY(m_grid->MovePending());
    TypeChar(m_grid.get(), QLatin1Char('9'));
    QTRY_VERIFY(!m_grid->MovePending());
    QCOMPARE(m_table->FieldByName(QStringLiteral("Accnt")).AsString(), QStringLiteral("7"));
    refuse = false;
    QTest::keyClick(m_grid.get(), Qt::Key_Down);
    QTRY_COMPARE(m_grid->currentIndex().row(), 1);
    QCOMPARE(m_table->FieldByName(QStringLiteral("Accnt")).AsString(), QStringLiteral("2"));
    QCOMPARE(m_table->GetState(), TTable::State::Browse);
}

void tst_DBGrid::storedRowMovesTargetFollows()
{
    Populate({{"АНТОНОВ", "1"}, {"БОРИСОВ", "2"}, {"ВАСИЛЬЕВ", "3"}, {"ГРИГОРЬЕВ", "4"}});
    TypeInto(0, 0, QStringLiteral("Я"));
    // Stored, АНТОНОВ becomes ЯНТОНОВ... no: the editor replaced the whole text.
    const QRect target = m_grid->visualRect(m_grid->model()->index(2, 0));
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {}, target.center());
    QTRY_COMPARE(m_table->GetState(), TTable::State::Browse);
    // "Я" sorts last: the clicked employee is now one row higher, and stays current.
    QCOMPARE(m_grid->model()->index(3, 0).data().toString(), QStringLiteral("Я"));
    QCOMPARE(m_table->FieldByName(QStringLiteral("Fio100")).AsString(), QStringLiteral("ВАСИЛЬЕВ"));
    QCOMPARE(m_grid->currentIndex().row(), 1);
}

void tst_DBGrid::clickOnOtherRowArrivesAfterStore()
{
    Populate({{"АНТОНОВ", "1"}, {"БОРИСОВ", "2"}});
    QSignalSpy clicks(m_grid.get(), &TDBGrid::CellClick);
    TypeInto(0, 1, QStringLiteral("5"));
    const QRect target = m_grid->visualRect(m_grid->model()->index(1, 2));
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {}, target.center());
    QTRY_COMPARE(clicks.size(), 1);
    QCOMPARE(clicks.front().front().toInt(), 2);
    QCOMPARE(m_grid->currentIndex().row(), 1);
    QCOMPARE(m_table->CurrentRow(), 1);

    // A click on the current cell reports at once.
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {}, target.center());
    QCOMPARE(clicks.size(), 2);
}

void tst_DBGrid::vetoedTabOpensNoEditor()
{
    Populate({{"АНТОНОВ", "1"}, {"БОРИСОВ", "2"}});
    m_table->BeforePost = [](TTable&) { throw EAbort(); };
    QTest::failOnWarning(QRegularExpression(QStringLiteral("editing failed")));
    TypeInto(0, 2, QString()); // the boolean column: no editor
    TypeInto(0, 1, QStringLiteral("9"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // to the flag column
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // to the next row: refused
    QTRY_VERIFY(!m_grid->MovePending());
    QCOMPARE(m_grid->currentIndex().row(), 0);
    QVERIFY(!m_grid->EditorOpen());
}

void tst_DBGrid::escapeCancelsRow()
{
    Populate({{"АНТОНОВ", "1"}});
    TypeInto(0, 1, QStringLiteral("42"));
    QCOMPARE(m_table->GetState(), TTable::State::Edit);
    // Escape in the editor drops its text; the row had no other change, so it is cancelled.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QCOMPARE(m_table->GetState(), TTable::State::Browse);
    QCOMPARE(m_grid->model()->index(0, 1).data().toString(), QStringLiteral("1"));

    // A committed change is cancelled by Escape outside the editor.
    TypeInto(0, 1, QStringLiteral("43"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(m_table->FieldByName(QStringLiteral("Accnt")).AsString(), QStringLiteral("43"));
    QTest::keyClick(m_grid.get(), Qt::Key_Escape);
    QCOMPARE(m_table->GetState(), TTable::State::Browse);
    QCOMPARE(m_table->FieldByName(QStringLiteral("Accnt")).AsString(), QStringLiteral("1"));
}

void tst_DBGrid::insertAndDownOnLastRow()
{
    Populate({{"АНТОНОВ", "1"}, {"БОРИСОВ", "2"}});
    QTest::keyClick(m_grid.get(), Qt::Key_Insert);
    QCOMPARE(m_table->GetState(), TTable::State::Insert);
    QCOMPARE(m_grid->model()->rowCount(), 3);
    QCOMPARE(m_grid->currentIndex().row(), 2);
    QTest::keyClick(m_grid.get(), Qt::Key_Escape);
    QCOMPARE(m_table->GetState(), TTable::State::Browse);
    QCOMPARE(m_grid->model()->rowCount(), 2);

    m_grid->selectionModel()->setCurrentIndex(m_grid->model()->index(1, 0),
                                              QItemSelectionModel::ClearAndSelect);
    QTest::keyClick(m_grid.get(), Qt::Key_Down);
    QCOMPARE(m_table->GetState(), TTable::State::Insert);
    // The new row is stored when left with values.
    TypeInto(2, 0, QStringLiteral("В"));
    TypeInto(2, 1, QStringLiteral("3"));
    m_grid->selectionModel()->setCurrentIndex(m_grid->model()->index(0, 0),
                                              QItemSelectionModel::ClearAndSelect);
    QTRY_COMPARE(m_table->RecordCount(), 3);
    QCOMPARE(m_grid->model()->rowCount(), 3);

    // With editing off there is no new row.
    m_grid->SetOptions(m_grid->GetOptions() & ~TDBGrid::Options(TDBGrid::Editing));
    QTest::keyClick(m_grid.get(), Qt::Key_Insert);
    QCOMPARE(m_table->GetState(), TTable::State::Browse);
}

void tst_DBGrid::ctrlDeleteAsks_data()
{
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("rowsLeft");
    QTest::newRow("yes deletes") << true << 1;
    QTest::newRow("no keeps") << false << 2;
}

void tst_DBGrid::ctrlDeleteAsks()
{
    QFETCH(bool, answer);
    QFETCH(int, rowsLeft);
    Populate({{"АНТОНОВ", "1"}, {"БОРИСОВ", "2"}});
    m_messages->SetNextAnswers({answer});
    QTest::keyClick(m_grid.get(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(m_messages->Messages().size(), 1);
    QCOMPARE(m_messages->Messages().front().kind, Messages::Kind::Question);
    QCOMPARE(m_messages->Messages().front().text, QStringLiteral("Удалить запись?"));
    QCOMPARE(m_table->RecordCount(), rowsLeft);
    QCOMPARE(m_grid->model()->rowCount(), rowsLeft);
}

void tst_DBGrid::typedCharactersPassTheHook()
{
    Populate({{"АНТОНОВ", "1"}});
    // Upper-case letters, drop digits.
    m_grid->OnKeyPress = [](QChar& key) { key = key.isDigit() ? QChar() : key.toUpper(); };
    TypeInto(0, 0, QStringLiteral("a1бв2"));
    QLineEdit* editor = FocusedEditor();
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("AБВ"));
    QApplication::clipboard()->setText(QStringLiteral("x9y"));
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(editor->text(), QStringLiteral("AБВXY"));
    QTest::keyClick(editor, Qt::Key_Tab);
    QCOMPARE(m_table->FieldByName(QStringLiteral("Fio100")).AsString(), QStringLiteral("AБВXY"));

    // A discarded first key opens no editor.
    TypeInto(0, 1, QStringLiteral("5"));
    QVERIFY(!m_grid->EditorOpen());
}

void tst_DBGrid::editorLimitedToFieldSize()
{
    Populate({{"АНТОНОВ", "1"}});
    TypeInto(0, 1, QString(30, QLatin1Char('7')));
    QLineEdit* editor = FocusedEditor();
    QVERIFY(editor);
    QCOMPARE(editor->maxLength(), 22);
    QCOMPARE(editor->text().size(), 22);
}

void tst_DBGrid::booleanColumnIsNotEdited()
{
    Populate({{"АНТОНОВ", "1"}, {"БОРИСОВ", "2"}});
    TypeInto(0, 2, QStringLiteral("1"));
    QVERIFY(!m_grid->EditorOpen());
    TypeText(m_grid.get(), QStringLiteral("Б"));
    QCOMPARE(m_grid->currentIndex().row(), 0); // no keyboard search
    QCOMPARE(m_table->GetState(), TTable::State::Browse);
}

void tst_DBGrid::columnEnterAndExit()
{
    Populate({{"АНТОНОВ", "1"}});
    QStringList events;
    connect(m_grid.get(), &TDBGrid::ColExit, this,
            [&] { events << QStringLiteral("exit ") + m_grid->CurrentField(); });
    connect(m_grid.get(), &TDBGrid::ColEnter, this,
            [&] { events << QStringLiteral("enter ") + m_grid->CurrentField(); });
    m_grid->selectionModel()->setCurrentIndex(m_grid->model()->index(0, 0),
                                              QItemSelectionModel::ClearAndSelect);
    events.clear();
    QTest::keyClick(m_grid.get(), Qt::Key_Tab);
    QCOMPARE(events, QStringList({"exit Fio100", "enter Accnt"}));
}

void tst_DBGrid::comboBoxWritesChoice()
{
    Populate({{"АНТОНОВ", "1"}});
    TDBComboBox box;
    box.addItems({QStringLiteral("Альфа"), QStringLiteral("Бета")});
    box.SetDataSource(m_source.get());
    box.SetDataField(QStringLiteral("Org120"));
    box.show();
    QCOMPARE(box.currentIndex(), -1);
    QSignalSpy changes(&box, &TDBComboBox::Change);
    box.setFocus();
    TypeText(&box, QStringLiteral("Б"));
    QCOMPARE(changes.size(), 1);
    QCOMPARE(m_table->GetState(), TTable::State::Edit);
    QCOMPARE(m_table->FieldByName(QStringLiteral("Org120")).AsString(), QStringLiteral("Бета"));
    m_table->Post();
    m_table->Refresh();
    QCOMPARE(box.currentText(), QStringLiteral("Бета"));

    // Each key chooses on its own, however soon after the last: the row's own entry again
    // (nothing to store), then the first entry with the next letter.
    TypeText(&box, QStringLiteral("б"));
    QCOMPARE(changes.size(), 2);
    QCOMPARE(m_table->GetState(), TTable::State::Browse);
    TypeText(&box, QStringLiteral("а"));
    QCOMPARE(changes.size(), 3);
    QCOMPARE(m_table->FieldByName(QStringLiteral("Org120")).AsString(), QStringLiteral("Альфа"));
}

void tst_DBGrid::PopulateSix()
{
    Populate({{"А", "1"}, {"Б", "2"}, {"В", "3"}, {"Г", "4"}, {"Д", "5"}, {"Е", "6"}});
}

// "click 2", "shift 3", "ctrl 1", "ctrl+shift 4" on a row's first cell; "indicator shift 3" on
// the row indicator; "key Shift+Down" to the grid; "type 2": an account typed into that row.
void tst_DBGrid::Gesture(const QString& step)
{
    const QStringList words = step.split(QLatin1Char(' '));
    if (words.front() == QLatin1String("type")) {
        TypeInto(words.back().toInt(), 1, QStringLiteral("7"));
        return;
    }
    if (words.front() == QLatin1String("key")) {
        const QKeyCombination key = QKeySequence::fromString(words.back())[0];
        QTest::keyClick(m_grid.get(), key.key(), key.keyboardModifiers());
        return;
    }
    const bool indicator = words.front() == QLatin1String("indicator");
    const QString how = words.at(indicator ? 1 : 0);
    Qt::KeyboardModifiers modifiers;
    if (how.contains(QLatin1String("shift")))
        modifiers |= Qt::ShiftModifier;
    if (how.contains(QLatin1String("ctrl")))
        modifiers |= Qt::ControlModifier;
    const int row = words.back().toInt();
    if (indicator) {
        QHeaderView* header = m_grid->verticalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, modifiers,
                          QPoint(header->width() / 2, header->sectionViewportPosition(row) + 3));
    } else {
        QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, modifiers,
                          m_grid->visualRect(m_grid->model()->index(row, 0)).center());
    }
}

QList<int> tst_DBGrid::SelectedRows() const
{
    QList<int> rows;
    for (const qint64 rowid : m_grid->SelectedRowids()) {
        for (int row = 0; row < m_table->RecordCount(); ++row) {
            if (m_table->RowidAt(row) == rowid)
                rows << row;
        }
    }
    return rows;
}

// Rows painted as chosen: whole rows, or the current cell alone.
QList<int> tst_DBGrid::HighlightedRows() const
{
    QList<int> rows;
    for (int row = 0; row < m_grid->model()->rowCount(); ++row) {
        if (m_grid->selectionModel()->isRowSelected(row))
            rows << row;
    }
    if (rows.isEmpty() && m_grid->selectionModel()->selectedIndexes().size() == 1)
        rows << m_grid->selectionModel()->selectedIndexes().front().row();
    return rows;
}

void tst_DBGrid::rowSelection_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<int>("current");
    QTest::newRow("shift click extends from the current row")
        << QStringList{"click 1", "shift 3"} << QList<int>{1, 2, 3} << 3;
    QTest::newRow("second shift click moves the end, not the start")
        << QStringList{"click 1", "shift 3", "shift 0"} << QList<int>{0, 1} << 0;
    QTest::newRow("ctrl click toggles rows in and out")
        << QStringList{"click 0", "ctrl 2", "ctrl 4", "ctrl 2"} << QList<int>{0, 4} << 2;
    QTest::newRow("ctrl shift click adds a range")
        << QStringList{"click 0", "ctrl 2", "ctrl+shift 4"} << QList<int>{0, 2, 3, 4} << 4;
    QTest::newRow("plain click collapses")
        << QStringList{"click 1", "shift 3", "click 2"} << QList<int>{2} << 2;
    QTest::newRow("shift arrows extend")
        << QStringList{"click 1", "key Shift+Down", "key Shift+Down"} << QList<int>{1, 2, 3} << 3;
    QTest::newRow("shift page down extends to the end")
        << QStringList{"click 3", "key Shift+PgDown"} << QList<int>{3, 4, 5} << 5;
    QTest::newRow("plain arrow collapses")
        << QStringList{"click 1", "key Shift+Down", "key Down"} << QList<int>{3} << 3;
    QTest::newRow("ctrl arrows move alone, ctrl space chooses")
        << QStringList{"click 0", "key Ctrl+Down", "key Ctrl+Down", "key Ctrl+Space"}
        << QList<int>{0, 2} << 2;
    QTest::newRow("shift across one row keeps one row")
        << QStringList{"click 1", "key Shift+Right"} << QList<int>{1} << 1;
    QTest::newRow("row indicator takes shift and ctrl")
        << QStringList{"indicator click 1", "indicator shift 3", "indicator ctrl 5"}
        << QList<int>{1, 2, 3, 5} << 5;
    QTest::newRow("ctrl a chooses every row")
        << QStringList{"click 2", "key Ctrl+A"} << QList<int>{0, 1, 2, 3, 4, 5} << 2;
    QTest::newRow("shift click waits for the edited row's store")
        << QStringList{"click 1", "type 1", "shift 3"} << QList<int>{1, 2, 3} << 3;
    QTest::newRow("shift arrow waits for the edited row's store")
        << QStringList{"click 4", "type 4", "key Shift+Up"} << QList<int>{3, 4} << 3;
}

void tst_DBGrid::rowSelection()
{
    QFETCH(QStringList, steps);
    QFETCH(QList<int>, rows);
    QFETCH(int, current);
    PopulateSix();
    for (const QString& step : steps) {
        Gesture(step);
        QTRY_VERIFY(!m_grid->MovePending());
    }
    QCOMPARE(m_table->GetState(), TTable::State::Browse);
    QCOMPARE(SelectedRows(), rows);
    QCOMPARE(HighlightedRows(), rows);
    QCOMPARE(m_grid->currentIndex().row(), current);
    QCOMPARE(m_table->CurrentRow(), current);
    QVERIFY(!m_grid->EditorOpen());
}

void tst_DBGrid::selectionFollowsItsEmployees()
{
    PopulateSix();
    Gesture(QStringLiteral("click 1"));
    Gesture(QStringLiteral("shift 2")); // Б and В
    auto names = [this] {
        QStringList result;
        for (const int row : SelectedRows())
            result << m_table->CellText(row, m_table->FindField(QStringLiteral("Fio100")));
        return result;
    };
    std::unique_ptr<TTable> other = StoreRows::OpenEmployees(m_folder->DataDir());
    other->Last();
    other->Edit();
    other->FieldByName(QStringLiteral("Fio100")).SetAsString(QStringLiteral("АА")); // Е moves up
    other->Post();
    m_table->Refresh();
    QCOMPARE(SelectedRows(), QList<int>({2, 3}));
    QCOMPARE(names(), QStringList({"Б", "В"}));
    QCOMPARE(HighlightedRows(), QList<int>({2, 3}));

    QVERIFY(other->LocateRowid(m_table->RowidAt(3)));
    other->Delete(); // В, by another view
    m_table->Refresh();
    QCOMPARE(names(), QStringList({"Б"}));
    QCOMPARE(HighlightedRows(), QList<int>({2}));
}

void tst_DBGrid::modifiedClickOnlySelects_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("shift") << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("ctrl") << Qt::KeyboardModifiers(Qt::ControlModifier);
}

void tst_DBGrid::modifiedClickOnlySelects()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    PopulateSix();
    QSignalSpy clicks(m_grid.get(), &TDBGrid::CellClick);
    const QPoint first = m_grid->visualRect(m_grid->model()->index(0, 2)).center();
    const QPoint third = m_grid->visualRect(m_grid->model()->index(2, 2)).center();
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {}, first);
    QCOMPARE(clicks.size(), 1);
    // On the flag column a click is a command: with Shift or Ctrl it is not.
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, modifiers, third);
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, modifiers, third);
    QCOMPARE(clicks.size(), 1);
    // Nor does a click on the current text cell open its editor.
    const QPoint name = m_grid->visualRect(m_grid->model()->index(2, 0)).center();
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, modifiers, name);
    QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, modifiers, name);
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QVERIFY(!m_grid->EditorOpen());
    QCOMPARE(clicks.size(), 1);
}

void tst_DBGrid::rightClickInsideSelectionKeepsIt()
{
    PopulateSix();
    QSignalSpy menus(m_grid.get(), &TDBGrid::ContextMenu);
    Gesture(QStringLiteral("click 1"));
    Gesture(QStringLiteral("shift 3"));
    auto rightClick = [this](int row) {
        const QPoint at = m_grid->visualRect(m_grid->model()->index(row, 1)).center();
        QTest::mouseClick(m_grid->viewport(), Qt::RightButton, {}, at);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, m_grid->viewport()->mapToGlobal(at));
        QApplication::sendEvent(m_grid->viewport(), &event);
    };
    rightClick(2);
    QCOMPARE(menus.size(), 1);
    QCOMPARE(SelectedRows(), QList<int>({1, 2, 3}));
    QCOMPARE(m_grid->currentIndex().row(), 3);
    // From the keyboard: at the current cell.
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(), QPoint());
    QApplication::sendEvent(m_grid.get(), &key);
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus.back().front().toPoint(), m_grid->mapToGlobal(m_grid->CellRect(3, 0).center()));
    rightClick(5); // outside: that row alone
    QCOMPARE(menus.size(), 3);
    QCOMPARE(SelectedRows(), QList<int>({5}));
}

QTEST_MAIN(tst_DBGrid)
#include "tst_dbgrid.moc"
