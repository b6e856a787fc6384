#include <QTemporaryDir>
#include <QTest>

#include "storage/layouts/RegisterJournal.h"
#include "storage/backup/StoreBackup.h"
#include "storage/views/TSession.h"
#include "tests/storage/StoreTestKit.h"
#include "tests/support/FolderTest.h"
#include "tests/support/TestStore.h"

// The journal of written files keeps every file's bytes as they were, on either store.
class TestRegisterJournal : public QObject, FolderTest
{
    Q_OBJECT

private Q_SLOTS:
    void init() { StartFolder(); }
    void cleanup() { EndFolder(); }
    void keepsBytesAndFields_data();
    void keepsBytesAndFields();
    void newestFirstAndCopied();
};

void TestRegisterJournal::keepsBytesAndFields_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("register in 1251 with CR LF")
        << QByteArray("\xc8\xc2\xc0\xcd\xce\xc2;40817810;1500.50\r\n\xc8\xf2\xee\xe3\xee\r\n");
    QTest::newRow("zero bytes and high bytes") << QByteArray("\x00\xff\x00\\x41\x80", 6);
    QTest::newRow("empty file") << QByteArray("");
    QTest::newRow("a statement of a megabyte") << QByteArray(1 << 20, '\x5c');
}

void TestRegisterJournal::keepsBytesAndFields()
{
    QFETCH(QByteArray, content);
    const TRegisterJournal journal(m_data);
    journal.Ensure();
    journal.Ensure(); // a second start finds the table
    TRegisterEntry entry;
    entry.Made = QDateTime(QDate(2026, 12, 10), QTime(11, 5));
    entry.Org = QStringLiteral("Бета");
    entry.Kind = TRegisterJournal::KindList;
    entry.FileName = QStringLiteral("list Бета.txt");
    entry.Employees = 3;
    entry.Total = QStringLiteral("3750.50");
    entry.UserName = QStringLiteral("buh");
    entry.Host = QStringLiteral("pc-1");
    const qint64 id = journal.Add(entry, content);
    QVERIFY(id > 0);

    const std::vector<TRegisterEntry> entries = journal.Entries();
    QCOMPARE(entries.size(), std::size_t(1));
    const TRegisterEntry& stored = entries.front();
    QCOMPARE(stored.Id, id);
    QCOMPARE(stored.Made, entry.Made);
    QCOMPARE(QStringList({stored.Org, stored.Kind, stored.FileName, stored.Total, stored.UserName,
                          stored.Host}),
             QStringList({entry.Org, entry.Kind, entry.FileName, entry.Total, entry.UserName,
                          entry.Host}));
    QCOMPARE(stored.Employees, 3);
    QCOMPARE(stored.Sha256, TRegisterJournal::Digest(content));
    QCOMPARE(stored.Sha256.size(), 64);
    const QByteArray kept = journal.Content(id);
    QVERIFY(!kept.isNull());
    QCOMPARE(kept, content);
    QVERIFY(journal.Content(id + 1).isNull());
}

void TestRegisterJournal::newestFirstAndCopied()
{
    const TRegisterJournal journal(m_data);
    journal.Ensure();
    QList<qint64> ids;
    for (const QString& kind : {TRegisterJournal::KindList, TRegisterJournal::KindStatement}) {
        TRegisterEntry entry;
        entry.Made = QDateTime::currentDateTime();
        entry.Kind = kind;
        entry.FileName = kind;
        entry.Total = QStringLiteral("0.00");
        ids << journal.Add(entry, kind.toUtf8());
    }
    QVERIFY(ids[1] > ids[0]);
    QCOMPARE(journal.Entries().front().Id, ids[1]);

    // The daily copy is an SQLite file that holds the journal too.
    const QString copy = TStoreBackup::MakeDaily(m_data, QDate(2026, 12, 10));
    QTemporaryDir local;
    QVERIFY(QFile::copy(copy, local.path() + "/store.sqlite3"));
    const TRegisterJournal copied(local.path() + "/");
    QCOMPARE(copied.Entries().size(), std::size_t(2));
    QCOMPARE(copied.Content(ids[0]), QByteArray("list"));
    Session().CloseAll();
}

QTEST_GUILESS_MAIN(TestRegisterJournal)
#include "tst_registerjournal.moc"
