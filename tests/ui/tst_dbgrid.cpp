#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "storage/Layouts.h"
#include "storage/TSession.h"
#include "storage/TTable.h"
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

private:
    void Populate(const QList<Row>& rows);
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

QTEST_MAIN(tst_DBGrid)
#include "tst_dbgrid.moc"
