#include <QAction>
#include <QFile>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/TMainForm.h"
#include "export/TJournalForm.h"
#include "export/TSaveDialog.h"
#include "tests/export/JournalTestKit.h"
#include "tests/support/FolderTest.h"

namespace {

const QByteArray Sent("\xc8\xf2\xee\xe3\xee;1\r\n\x00\xff", 11);

qint64 Keep(const QString& kind, const QString& file, const QByteArray& content)
{
    TRegisterEntry entry;
    entry.Made = QDateTime(QDate(2026, 12, 10), QTime(11, 5));
    entry.Org = QStringLiteral("Бета");
    entry.Kind = kind;
    entry.FileName = file;
    entry.Employees = 3;
    entry.Total = QStringLiteral("3750.50");
    entry.UserName = QStringLiteral("buh");
    entry.Host = QStringLiteral("pc-1");
    return JournalTestKit::Journal().Add(entry, content);
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

// The journal window: one row per file written, whether the out folder still holds its bytes,
// and a copy of the kept bytes.
class TestJournalForm : public QObject, WindowTest<TJournalForm>
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void stateOfTheFile_data();
    void stateOfTheFile();
    void saveCopyWritesTheKeptBytes_data();
    void saveCopyWritesTheKeptBytes();
    void menuCommandShowsRowsNewestFirst();

private:
    QString Text(int row, int column) const
    {
        return m_form->Model()->index(row, column).data().toString();
    }
};

void TestJournalForm::init()
{
    StartFolder();
    JournalTestKit::Journal().Ensure();
}

void TestJournalForm::cleanup()
{
    TSaveDialog::SetChooser({});
    EndFolder();
}

void TestJournalForm::stateOfTheFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("later");
    QTest::newRow("same bytes") << "same" << TJournalModel::Same << TJournalModel::Same;
    QTest::newRow("changed file") << "changed" << TJournalModel::Changed << TJournalModel::Changed;
    QTest::newRow("missing file") << "missing" << TJournalModel::Missing << TJournalModel::Missing;
    QTest::newRow("changed while shown, same size")
        << "same" << TJournalModel::Same << TJournalModel::Changed;
    QTest::newRow("removed while shown") << "same" << TJournalModel::Same << TJournalModel::Missing;
    QTest::newRow("put back while shown")
        << "missing" << TJournalModel::Missing << TJournalModel::Same;
}

void TestJournalForm::stateOfTheFile()
{
    QFETCH(QString, file);
    QFETCH(QString, state);
    QFETCH(QString, later);
    Keep(TRegisterJournal::KindList, QStringLiteral("list.txt"), Sent);
    const QString path = m_folder->OutDir() + QStringLiteral("list.txt");
    QByteArray other = Sent;
    other[0] = 'X';
    if (file != QLatin1String("missing"))
        WriteFile(path, file == QLatin1String("same") ? Sent : other);
    m_form = std::make_unique<TJournalForm>();
    QCOMPARE(Text(0, TJournalModel::State), state);

    if (later == TJournalModel::Missing && state != later) {
        QVERIFY(QFile::remove(path));
    } else if (later != state) {
        WriteFile(path, later == TJournalModel::Same ? Sent : other);
        // Within the same second and size: the time of change alone tells it apart.
        QFile touched(path);
        QVERIFY(touched.open(QIODevice::ReadWrite));
        QVERIFY(touched.setFileTime(QDateTime::currentDateTime().addSecs(5),
                                    QFileDevice::FileModificationTime));
    }
    QCOMPARE(Text(0, TJournalModel::State), later);
}

void TestJournalForm::saveCopyWritesTheKeptBytes_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("error");
    QTest::newRow("a new file") << "copy.txt" << QString();
    QTest::newRow("over an older file") << "older.txt" << QString();
    QTest::newRow("cancelled") << "" << QString();
    QTest::newRow("folder missing") << "missing/copy.txt"
                                    << "Копия не сохранена. Не удалось создать файл «%1»";
}

void TestJournalForm::saveCopyWritesTheKeptBytes()
{
    QFETCH(QString, choice);
    QFETCH(QString, error);
    Keep(TRegisterJournal::KindList, QStringLiteral("list_Бета.txt"), "older register");
    Keep(TRegisterJournal::KindList, QStringLiteral("list_Бета.txt"), Sent);
    QTemporaryDir place;
    const QString path = choice.isEmpty() ? QString() : place.filePath(choice);
    if (choice == QLatin1String("older.txt"))
        WriteFile(path, "an older file, longer than the copy");
    QString offered;
    TSaveDialog::SetChooser([&](const TSaveDialog& dialog) -> std::optional<QString> {
        offered = dialog.FileName;
        return path.isEmpty() ? std::nullopt : std::optional<QString>(path);
    });
    m_form = std::make_unique<TJournalForm>();
    m_form->show();
    // The newest row is selected; the file in the out folder is gone, the journal keeps it.
    QTest::mouseClick(Find<QPushButton>("SaveCopyButton"), Qt::LeftButton);
    QCOMPARE(offered, QStringLiteral("list_Бета.txt"));
    if (!error.isEmpty()) {
        QCOMPARE(m_messages->Messages().size(), 1);
        QVERIFY2(m_messages->Texts().front().startsWith(error.arg(QDir::toNativeSeparators(path))),
                 qPrintable(m_messages->Texts().front()));
        QCOMPARE(QDir(place.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
                 QStringList());
        return;
    }
    QCOMPARE(m_messages->Texts(), QStringList());
    if (choice.isEmpty()) {
        QCOMPARE(QDir(place.path()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList());
        return;
    }
    QFile copy(path);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), Sent);
    QCOMPARE(QDir(place.path()).entryList(QDir::Files | QDir::Hidden), QStringList{choice});
}

void TestJournalForm::menuCommandShowsRowsNewestFirst()
{
    const qint64 list = Keep(TRegisterJournal::KindList, QStringLiteral("list.txt"), Sent);
    const qint64 statement =
        Keep(TRegisterJournal::KindStatement, QStringLiteral("Ведомость.doc"), Sent);
    TMainForm main;
    QStringList rows;
    QTimer::singleShot(0, &main, [&] {
        auto* form = main.findChild<TJournalForm*>();
        QTRY_VERIFY(form && form->isVisible());
        rows << form->windowTitle();
        const QAbstractItemModel* model =
            form->findChild<QTableView*>(QStringLiteral("JournalGrid"))->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < TJournalModel::State; ++column)
                cells << model->index(row, column).data().toString();
            rows << cells.join(QLatin1Char('|'));
        }
        form->findChild<QPushButton*>(QStringLiteral("CloseButton"))->click();
    });
    main.findChild<QAction*>(QStringLiteral("journal1"))->trigger();
    QCOMPARE(rows, (QStringList{QStringLiteral("Журнал выгрузок"),
                                QString::number(statement) +
                                    "|10.12.2026 11:05:00|Бета|ведомость|3|3750.50|buh|pc-1",
                                QString::number(list) +
                                    "|10.12.2026 11:05:00|Бета|реестр|3|3750.50|buh|pc-1"}));
    QCOMPARE(m_messages->Texts(), QStringList());
}

QTEST_MAIN(TestJournalForm)
#include "tst_journalform.moc"
