#include <QDir>
#include <QTest>

#include "core/Exception.h"
#include "core/Platform.h"
#include "storage/TPathBuilder.h"
#include "tests/support/TempDataFolder.h"

class TestPathBuilder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void paths_data();
    void paths();
    void foldersAreOne();
    void asksThePlatformEveryTime();
    void unknownCommonFolder();
};

void TestPathBuilder::paths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");

    const QString out = QStringLiteral("/common/Tarnoquill/Pellomar/out/");
    Platform::SetCommonAppDataProvider([] { return std::optional<QString>("/common"); });
    QTest::newRow("data folder") << TPathBuilder::GetEmployeeDBPath()
                                 << QStringLiteral("/common/Tarnoquill/Pellomar/data/");
    QTest::newRow("text, empty tag") << TPathBuilder::GetOutTxtPath({}) << out + "list.txt";
    QTest::newRow("text, tag inserted unchanged")
        << TPathBuilder::GetOutTxtPath(QStringLiteral("_ООО Ромашка "))
        << out + QStringLiteral("list_ООО Ромашка .txt");
    QTest::newRow("word, empty tag")
        << TPathBuilder::GetOutWordPath({}) << out + QStringLiteral("Ведомость.doc");
    QTest::newRow("word, tag") << TPathBuilder::GetOutWordPath(QStringLiteral("_A"))
                               << out + QStringLiteral("Ведомость_A.doc");
    Platform::SetCommonAppDataProvider([] { return std::optional<QString>("/common/"); });
    QTest::newRow("common folder with separator") << TPathBuilder::GetSessionDBPath()
                                                  << QStringLiteral("/common/Tarnoquill/Pellomar/data/");
    Platform::SetCommonAppDataProvider({});
}

void TestPathBuilder::paths()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(QDir::fromNativeSeparators(path), expected);
}

void TestPathBuilder::foldersAreOne()
{
    TempDataFolder folder;
    QCOMPARE(TPathBuilder::GetEmployeeDBPath(), TPathBuilder::GetSettingsDBPath());
    QCOMPARE(TPathBuilder::GetEmployeeDBPath(), TPathBuilder::GetSessionDBPath());
    QCOMPARE(QDir::fromNativeSeparators(TPathBuilder::GetEmployeeDBPath()), folder.DataDir());
    QVERIFY(TPathBuilder::GetEmployeeDBPath().endsWith(QDir::separator()));
}

void TestPathBuilder::asksThePlatformEveryTime()
{
    QString common = QStringLiteral("/first");
    Platform::SetCommonAppDataProvider([&common] { return std::optional<QString>(common); });
    const QString first = TPathBuilder::GetOutTxtPath({});
    QCOMPARE(TPathBuilder::GetOutTxtPath({}), first);
    common = QStringLiteral("/second");
    QVERIFY(QDir::fromNativeSeparators(TPathBuilder::GetOutTxtPath({})).startsWith("/second/"));
    Platform::SetCommonAppDataProvider({});
}

void TestPathBuilder::unknownCommonFolder()
{
    Platform::SetCommonAppDataProvider([] { return std::optional<QString>(); });
    QVERIFY_THROWS_EXCEPTION(Exception, TPathBuilder::GetEmployeeDBPath());
    Platform::SetCommonAppDataProvider([] { return std::optional<QString>(QString()); });
    QVERIFY_THROWS_EXCEPTION(Exception, TPathBuilder::GetOutWordPath({}));
    Platform::SetCommonAppDataProvider({});
    QCOMPARE(QDir::fromNativeSeparators(TPathBuilder::GetEmployeeDBPath()),
             QStringLiteral("/var/lib/Tarnoquill/Pellomar/data/"));
}

QTEST_GUILESS_MAIN(TestPathBuilder)
#include "tst_pathbuilder.moc"
