#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>

#include "storage/layouts/Layouts.h"
#include "storage/engine/StoreConnection.h"
#include "storage/views/TSession.h"
#include "storage/engine/TableSchema.h"
#include "tests/support/SqlStore.h"
#include "tests/support/FolderTest.h"

Q_DECLARE_METATYPE(TFieldDefs)
Q_DECLARE_METATYPE(TIndexDefs)

namespace {

QString Describe(const TFieldDefs& fields)
{
    QStringList parts;
    for (const TFieldDef& def : fields)
        parts << QStringLiteral("%1:%2:%3:%4")
                     .arg(def.Name)
                     .arg(int(def.DataType))
                     .arg(def.Size)
                     .arg(def.Required ? "required" : "optional");
    return parts.join(QLatin1String(", "));
}

QString Describe(const TIndexDefs& indexes)
{
    QStringList parts;
    for (const TIndexDef& def : indexes) {
        // A primary key is unique by itself; its name is that of its fields.
        const bool primary = def.Options & ixPrimary;
        parts << QStringLiteral("%1(%2)%3%4%5")
                     .arg(primary ? def.Fields : def.Name, def.Fields)
                     .arg(primary ? " primary" : "")
                     .arg(!primary && (def.Options & ixUnique) ? " unique" : "")
                     .arg((def.Options & ixCaseInsensitive) ? " nocase" : "");
    }
    return parts.join(QLatin1String(", "));
}

TIndexDefs Indexes(const TableSchema::StoredLayout& layout)
{
    TIndexDefs defs;
    for (const TableSchema::StoredIndex& index : layout.Indexes)
        defs.push_back(index.Def);
    return defs;
}

} // namespace

class TestTableSchema : public QObject, FolderTest
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void createdLayoutReadsBack_data();
    void createdLayoutReadsBack();
    void findTable_data();
    void findTable();
    void plainSqlLayout();
    void readOnlyReadWritesNothing_data();
    void readOnlyReadWritesNothing();
    void rebuildKeepsRowsAndIsAllOrNothing();

private:
    StoreConnection& Connection() { return *Session().Connect(m_folder->DataDir(), true); }

};

void TestTableSchema::init()
{
    StartFolder();
}

void TestTableSchema::cleanup()
{
    EndFolder();
}

void TestTableSchema::createdLayoutReadsBack_data()
{
    QTest::addColumn<TFieldDefs>("fields");
    QTest::addColumn<TIndexDefs>("indexes");

    QTest::newRow("employees") << Layouts::EmployeeFields() << Layouts::EmployeeIndexes();
    QTest::newRow("organisations")
        << Layouts::OrganizationFields() << Layouts::OrganizationIndexes();
    QTest::newRow("case-insensitive key of two fields, unlimited text")
        << TFieldDefs{{"Code", TFieldType::String, 5, true},
                      {"Branch", TFieldType::String, 0, true},
                      {"Count", TFieldType::Integer, 0, false},
                      {"Closed", TFieldType::Boolean, 0, false}}
        << TIndexDefs{{"Code;Branch", "Code;Branch", ixPrimary | ixCaseInsensitive},
                      {"ByCount", "Count;Code", ixUnique}};
    QTest::newRow("no key") << TFieldDefs{{"Name", TFieldType::String, 10, false}} << TIndexDefs{};
}

void TestTableSchema::createdLayoutReadsBack()
{
    QFETCH(TFieldDefs, fields);
    QFETCH(TIndexDefs, indexes);
    for (const QString& statement : TableSchema::CreateStatements("t", fields, indexes))
        Connection().Exec(statement);

    const TableSchema::StoredLayout layout = TableSchema::ReadLayout(Connection(), "T.db");
    QCOMPARE(layout.Name, QStringLiteral("t"));
    QCOMPARE(Describe(layout.Fields), Describe(fields));
    QCOMPARE(Describe(Indexes(layout)), Describe(indexes));
    // The index statements alone make the same indexes again.
    const QStringList again = TableSchema::IndexStatements("t", fields, indexes);
    int secondary = 0;
    for (const TIndexDef& index : indexes)
        secondary += (index.Options & ixPrimary) ? 0 : 1;
    QCOMPARE(again.size(), secondary);
}

void TestTableSchema::findTable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("found");

    QTest::newRow("bare") << "base"
                          << "base";
    QTest::newRow("other letter case and ending") << "BASE.DB"
                                                  << "base";
    QTest::newRow("ending in lower case") << "config.db"
                                          << "Config";
    QTest::newRow("blanks around") << " base "
                                   << "base";
    QTest::newRow("part of a name") << "bas" << QString();
    QTest::newRow("an index is no table") << "base.Fio_Accnt" << QString();
}

void TestTableSchema::findTable()
{
    QFETCH(QString, name);
    QFETCH(QString, found);
    for (const QString& statement : TableSchema::CreateStatements("base", Layouts::EmployeeFields(),
                                                                  Layouts::EmployeeIndexes()))
        Connection().Exec(statement);
    Connection().Exec("CREATE TABLE Config (x CHAR(1))");
    QCOMPARE(TableSchema::FindTable(Connection(), name), found);
}

void TestTableSchema::plainSqlLayout()
{
    const QString data = m_folder->DataDir();
    SqlStore::Exec(data, {"CREATE TABLE base (Fio CHAR(60) NOT NULL, Accnt VARCHAR(20), "
                          "Amount TEXT DEFAULT '0.00', Flag LOGICAL, UNIQUE (Fio, Accnt))",
                          "CREATE INDEX ByAccnt ON base (Accnt COLLATE RU_NOCASE)",
                          "INSERT INTO base (Fio, Accnt) VALUES ('А', '1')"});

    const TableSchema::StoredLayout layout = TableSchema::ReadLayout(Connection(), "base");
    QCOMPARE(Describe(layout.Fields), QStringLiteral("Fio:0:60:required, Accnt:0:20:optional, "
                                                     "Amount:0:0:optional, Flag:1:0:optional"));
    QCOMPARE(layout.Declared, QStringList({"CHAR(60)", "VARCHAR(20)", "TEXT", "LOGICAL"}));
    QCOMPARE(layout.RowidAlias, -1);
    QVERIFY(!layout.Primary());
    QCOMPARE(Describe(Indexes(layout)),
             QStringLiteral("sqlite_autoindex_base_1(Fio;Accnt) unique, ByAccnt(Accnt) nocase"));
    QCOMPARE(TableSchema::StoredColumnDefinition(layout, 2),
             QStringLiteral("\"Amount\" TEXT DEFAULT '0.00'"));
    QCOMPARE(TableSchema::StoredColumnDefinition(layout, 0, false),
             QStringLiteral("\"Fio\" CHAR(60)"));
    QCOMPARE(TableSchema::StoredIndexStatement(layout, *layout.FindIndex("ByAccnt")),
             QStringLiteral("CREATE INDEX ByAccnt ON base (Accnt COLLATE RU_NOCASE)"));
    // A constraint of the table becomes an index of its own, with the same key.
    QCOMPARE(TableSchema::StoredIndexStatement(layout, layout.Indexes.front()),
             QStringLiteral("CREATE UNIQUE INDEX \"base.Unique_Fio_Accnt\" ON \"base\" "
                            "(\"Fio\" COLLATE BINARY, \"Accnt\" COLLATE BINARY)"));
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, TableSchema::ReadLayout(Connection(), "nowhere"));
}

void TestTableSchema::readOnlyReadWritesNothing_data()
{
    QTest::addColumn<QString>("journal");
    QTest::newRow("rollback journal") << QStringLiteral("DELETE");
    QTest::newRow("write-ahead log") << QStringLiteral("WAL");
}

void TestTableSchema::readOnlyReadWritesNothing()
{
    QFETCH(QString, journal);
    const QString data = m_folder->DataDir();
    QVERIFY(!TableSchema::ReadLayoutReadOnly(data, "base")); // no store file yet
    SqlStore::Exec(data, {"PRAGMA journal_mode=" + journal,
                          "CREATE TABLE base (Fio CHAR(60) NOT NULL, Accnt VARCHAR(20), "
                          "Flag LOGICAL, UNIQUE (Fio, Accnt))",
                          "CREATE INDEX \"base.ByAccnt\" ON base (Accnt COLLATE RU_NOCASE)",
                          "INSERT INTO base (Fio, Accnt) VALUES ('А', '1')"});
    const QString file = TableSchema::StoreFile(data);
    QFile store(file);
    QVERIFY(store.open(QIODevice::ReadOnly));
    const QByteArray before = store.readAll();
    store.close();

    const std::optional<TableSchema::StoredLayout> layout =
        TableSchema::ReadLayoutReadOnly(data, "BASE.db");
    QVERIFY(layout);
    QVERIFY(!TableSchema::ReadLayoutReadOnly(data, "nowhere"));
    QVERIFY(store.open(QIODevice::ReadOnly));
    QCOMPARE(store.readAll(), before);
    store.close();
    QCOMPARE(QDir(data).entryList({"store.sqlite3*"}, QDir::Files), QStringList{"store.sqlite3"});

    // The same layout as the ordinary read through a connection.
    const TableSchema::StoredLayout open = TableSchema::ReadLayout(Connection(), "base");
    QCOMPARE(layout->Name, open.Name);
    QCOMPARE(Describe(layout->Fields), Describe(open.Fields));
    QCOMPARE(Describe(Indexes(*layout)), Describe(Indexes(open)));

    const TFieldDefs wanted{{"fio", TFieldType::String, 100, false},
                            {"Flag", TFieldType::Integer, 0, false},
                            {"Amount", TFieldType::String, 15, false}};
    QCOMPARE(TableSchema::Lacks(*layout, wanted, {"byaccnt", "Fio_Accnt"}),
             QStringLiteral("поле «Flag» другого типа, нет поля «Amount», "
                            "нет индекса «Fio_Accnt»"));
}

void TestTableSchema::rebuildKeepsRowsAndIsAllOrNothing()
{
    const QString data = m_folder->DataDir();
    SqlStore::Exec(data, {"CREATE TABLE t (a CHAR(5), b CHAR(5))",
                          "INSERT INTO t (rowid, a, b) VALUES (5, 'x', NULL), (9, 'y', 'z')",
                          "CREATE TABLE log (n)",
                          "CREATE TRIGGER logged AFTER INSERT ON t "
                          "BEGIN INSERT INTO log VALUES (NEW.a); END"});
    const QStringList before = SqlStore::Schema(data);

    // b may not be blank: the copy fails, and the table stays as it was.
    QVERIFY_THROWS_EXCEPTION(EDatabaseError,
                             TableSchema::Rebuild(Connection(), "t",
                                                  {{"a", "\"a\" CHAR(5)", "\"a\"", false},
                                                   {"b", "\"b\" CHAR(5) NOT NULL", "\"b\"", false}},
                                                  {}, {}));
    QCOMPARE(SqlStore::Schema(data), before);

    TableSchema::Rebuild(Connection(), "t",
                         {{"Id", "\"Id\" INTEGER PRIMARY KEY AUTOINCREMENT", "rowid", true},
                          {"a", "\"a\" CHAR(5) NOT NULL", "\"a\"", false}},
                         {}, {"CREATE UNIQUE INDEX \"t.a\" ON t (a)"});
    Session().CloseAll();
    QCOMPARE(SqlStore::Column(data, "SELECT Id || a FROM t ORDER BY Id"),
             QStringList({"5x", "9y"}));
    QCOMPARE(SqlStore::Column(data, "SELECT name FROM pragma_table_info('t')"),
             QStringList({"Id", "a"}));
    QVERIFY(SqlStore::Exec(data, {"INSERT INTO t (a) VALUES ('w')"}));
    QCOMPARE(SqlStore::Column(data, "SELECT Id FROM t WHERE a = 'w'"), QStringList{"10"});
    QCOMPARE(SqlStore::Column(data, "SELECT n FROM log"), QStringList{"w"}); // trigger kept
    QCOMPARE(SqlStore::Column(data, "SELECT name FROM sqlite_master WHERE type = 'index'"),
             QStringList{"t.a"});
}

QTEST_GUILESS_MAIN(TestTableSchema)
#include "tst_tableschema.moc"
