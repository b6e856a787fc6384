#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <memory>
#include <vector>

#include "tests/support/TempDataFolder.h"
#include "ui/Messages.h"

class QRandomGenerator;
class TTable;
struct sqlite3;
struct sqlite3_stmt;
struct pg_conn;

// Bytes currently allocated on the heap (glibc's mallinfo2), for memory figures.
std::size_t HeapInUse();
// The process's peak resident set, in KiB.
long MaxRssKb();

// Creates the employee table in the current layout in folder and closes the store again.
void CreateEmployeeTable(const QString& folder);

// A temporary folder for one store file; the folder ends with a separator.
struct TempStore
{
    TempStore();
    TempStore(const TempStore&) = delete;
    TempStore& operator=(const TempStore&) = delete;

    QTemporaryDir dir;
    QString folder;
    QString file;
};

// A temporary folder whose store holds an empty employee table.
std::unique_ptr<TempStore> EmptyStore();

// The common data folder replaced by a temporary one whose store holds both tables, empty
// and closed again, in the current layout.
class BenchDataFolder
{
public:
    // serverConf: the folder's server.conf, so the tables are made on that server instead.
    explicit BenchDataFolder(const QByteArray& serverConf = {});

    QString DataDir() const { return m_folder.DataDir(); }
    QString StoreFile() const { return DataDir() + QStringLiteral("store.sqlite3"); }

private:
    TempDataFolder m_folder;
};

// The server PELLOMAR_BENCH_SERVER names (a libpq connection string), for the server
// figures: each store goes to a schema of its own, and every schema made is dropped at exit.
class BenchServer
{
public:
    // Null when the variable names no server.
    static BenchServer* Shared();

    pg_conn* Raw() const { return m_raw; } // a raw connection, its search path unset
    void Exec(const QByteArray& sql);
    // A new empty schema; returns the server.conf text of a store in it.
    QByteArray NewSchema(QByteArray* name = nullptr);

private:
    BenchServer() = default;
    pg_conn* m_raw = nullptr;
    QByteArray m_base;
    QList<QByteArray> m_schemas;
};

// A connection of its own to a store file, with the store's collation, for seeding and for
// the raw SQLite baselines. A failing call throws std::runtime_error with SQLite's message.
class RawStore
{
public:
    explicit RawStore(const QString& file);
    ~RawStore();
    RawStore(const RawStore&) = delete;
    RawStore& operator=(const RawStore&) = delete;

    sqlite3* Handle() const { return m_db; }
    void Exec(const char* sql);
    sqlite3_stmt* Prepare(const char* sql);
    static void Bind(sqlite3_stmt* statement, int index, const QString& text);
    // Steps the statement once and resets it.
    void Run(sqlite3_stmt* statement);
    // The first column of every row of the query, as 64-bit integers.
    std::vector<qint64> Ids(const char* query);

private:
    sqlite3* m_db = nullptr;
};

// Answers every message box with Yes while it lives and counts them. A benchmark whose work
// must not fail has it throw instead, with the message's text, on an error box or on any box.
class BenchMessages final : public Messages::Handler
{
public:
    enum class Fail { Never, OnError, OnAny };

    explicit BenchMessages(Fail fail = Fail::Never);
    ~BenchMessages() override;
    BenchMessages(const BenchMessages&) = delete;
    BenchMessages& operator=(const BenchMessages&) = delete;

    bool Show(Messages::Kind kind, const QString& text, const QString& caption) override;
    bool ShowDetailed(Messages::Kind kind, const QString& text, const QString& caption,
                      const QString& details) override;

    int shown = 0;

private:
    Fail m_fail;
};

// A random employee name: surname, first name and a number below a million.
QString RandomName(QRandomGenerator& random);

// A dBASE file of the import's layout with valid employees, names in random order, made once
// per program; rows are what it holds.
struct ImportSource
{
    struct Row
    {
        QString fio;
        QByteArray accnt;
        QByteArray amount;
    };
    static const ImportSource& Shared(int records);

    QTemporaryDir dir;
    QString path;
    std::vector<Row> rows;
};

// Runs the benchmarks named on the command line inside a QApplication, offscreen unless
// QT_QPA_PLATFORM says otherwise, and closes the store's connections at the end.
int RunWindowBenchmarks(int argc, char** argv);

// Opens view on the employee table of folder in the grid's order (name, then account).
void OpenEmployeeView(TTable& view, const QString& folder);
