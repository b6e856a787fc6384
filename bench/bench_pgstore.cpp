// The table store on a PostgreSQL server against raw libpq on the same server in the same
// run: a view of 100,000 employees, a pass of posts over it, the import of 100,000 dBASE
// records, and the main window's start-up over 100,000 employees and 1,000 organisations.
// PELLOMAR_BENCH_SERVER names the server (a libpq connection string); every store goes to
// a schema of its own, dropped at the end.
#include <QByteArray>
#include <QDir>
#include <QString>

#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <memory>
#include <vector>

#include "app/TMainForm.h"
#include "bench/BenchSupport.h"
#include "bench/ImportBench.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"
#include "storage/views/TTransaction.h"

namespace {

constexpr int Rows = 100000;
constexpr int Organizations = 1000;

// A data folder whose store is a schema of the server, both tables made by the program.
struct ServerStore
{
    QByteArray schema;
    std::unique_ptr<BenchDataFolder> folder;

    QString DataDir() const { return folder->DataDir(); }
    void Exec(const QByteArray& sql) const
    {
        BenchServer::Shared()->Exec("SET search_path = " + schema);
        BenchServer::Shared()->Exec(sql);
    }
};

std::unique_ptr<ServerStore> EmptyServerStore(benchmark::State& state)
{
    BenchServer* server = BenchServer::Shared();
    if (!server) {
        state.SkipWithError("PELLOMAR_BENCH_SERVER names no server");
        return nullptr;
    }
    auto store = std::make_unique<ServerStore>();
    store->folder = std::make_unique<BenchDataFolder>(server->NewSchema(&store->schema));
    Session().CloseAll();
    return store;
}

// 100,000 employees, a tenth of them without an organisation, and 1,000 organisations.
std::unique_ptr<ServerStore> SeededServerStore(benchmark::State& state)
{
    std::unique_ptr<ServerStore> store = EmptyServerStore(state);
    if (!store)
        return nullptr;
    store->Exec("INSERT INTO base (\"Fio100\", \"Accnt\", \"Amount\", \"Export\", \"Org120\") "
                "SELECT (ARRAY['ИВАНОВ','ПЕТРОВА','СИДОРОВ','КУЗНЕЦОВА','СМИРНОВ','ПОПОВА',"
                "'ВАСИЛЬЕВ','НОВИКОВА','МОРОЗОВ','ЁЛКИНА'])[1 + i % 10] || ' ' || "
                "(ARRAY['АННА','ИВАН','ОЛЬГА','ПЁТР','МАРИЯ','СЕРГЕЙ'])[1 + i % 6] || ' ' || "
                "(i * 7919 % 1000000)::text, (40817810000000000000 + i)::text, "
                "(i % 100000)::text || '.00', i % 2 = 0, CASE WHEN i % 10 = 1 THEN NULL ELSE "
                "'Организация ' || lpad((i * 7919 % 1000)::text, 4, '0') END "
                "FROM generate_series(1, " +
                QByteArray::number(Rows) + ") AS i");
    store->Exec("INSERT INTO config (\"Organization120\", \"Accnt\", \"Position\", "
                "\"Director\", \"Accountant\", \"Contract\", \"Crnc\") "
                "SELECT 'Организация ' || lpad(i::text, 4, '0'), "
                "'40702810', 'Директор', 'Иванов И.И.', 'Петрова П.П.', '12345', '810' "
                "FROM generate_series(0, " +
                QByteArray::number(Organizations - 1) + ") AS i");
    store->Exec("ANALYZE base");
    store->Exec("ANALYZE config");
    return store;
}

std::vector<QByteArray> Ids(const ServerStore& store)
{
    store.Exec("SELECT 1");
    std::vector<QByteArray> ids;
    PGresult* list = PQexec(BenchServer::Shared()->Raw(),
                            "SELECT \"Id\" FROM base ORDER BY ru_nocase(\"Fio100\")");
    for (int r = 0; r < PQntuples(list); ++r)
        ids.emplace_back(PQgetvalue(list, r, 0));
    PQclear(list);
    return ids;
}

void RawSelectAll(benchmark::State& state)
{
    const std::unique_ptr<ServerStore> store = SeededServerStore(state);
    if (!store)
        return;
    store->Exec("SELECT 1");
    PGconn* db = BenchServer::Shared()->Raw();
    for (auto _ : state) {
        PGresult* result = PQexec(db, "SELECT \"Id\", \"Fio100\", \"Accnt\", \"Amount\", "
                                      "\"Export\", \"Org120\" FROM base");
        std::vector<QString> cells;
        cells.reserve(std::size_t(Rows) * 5);
        for (int r = 0; r < PQntuples(result); ++r) {
            for (int c = 1; c < 6; ++c)
                cells.push_back(QString::fromUtf8(PQgetvalue(result, r, c),
                                                  PQgetlength(result, r, c)));
        }
        benchmark::DoNotOptimize(cells.data());
        PQclear(result);
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}

void OpenView(benchmark::State& state)
{
    const std::unique_ptr<ServerStore> store = SeededServerStore(state);
    if (!store)
        return;
    for (auto _ : state) {
        TTable view;
        OpenEmployeeView(view, store->DataDir());
        benchmark::DoNotOptimize(view.RecordCount());
        state.counters["rows"] = view.RecordCount();
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}

// Both passes start from a vacuumed table, so neither walks the other's dead rows.
void RawUpdatePass(benchmark::State& state)
{
    const std::unique_ptr<ServerStore> store = SeededServerStore(state);
    if (!store)
        return;
    const std::vector<QByteArray> ids = Ids(*store);
    PGconn* db = BenchServer::Shared()->Raw();
    PQclear(PQprepare(db, "raw_update", "UPDATE base SET \"Export\" = $1 WHERE \"Id\" = $2", 2,
                      nullptr));
    bool flag = false;
    for (auto _ : state) {
        state.PauseTiming();
        store->Exec("VACUUM base");
        state.ResumeTiming();
        flag = !flag;
        PQclear(PQexec(db, "BEGIN"));
        for (const QByteArray& id : ids) {
            const char* values[] = {flag ? "1" : "0", id.constData()};
            PQclear(PQexecPrepared(db, "raw_update", 2, values, nullptr, nullptr, 0));
        }
        PQclear(PQexec(db, "COMMIT"));
    }
    PQclear(PQexec(db, "DEALLOCATE raw_update"));
    state.SetItemsProcessed(state.iterations() * Rows);
}

void ViewPostPass(benchmark::State& state)
{
    const std::unique_ptr<ServerStore> store = SeededServerStore(state);
    if (!store)
        return;
    TTable view;
    OpenEmployeeView(view, store->DataDir());
    bool flag = view.FieldByName(QStringLiteral("Export")).AsBoolean();
    for (auto _ : state) {
        state.PauseTiming();
        store->Exec("VACUUM base");
        state.ResumeTiming();
        flag = !flag;
        TTransaction pass(store->DataDir(), TTransaction::Mode::KeepDone);
        for (view.First(); !view.Eof(); view.Next()) {
            view.Edit();
            view.FieldByName(QStringLiteral("Export")).SetAsBoolean(flag);
            view.Post();
        }
        pass.Commit();
    }
    state.counters["rows"] = view.RecordCount();
    view.Close();
    state.SetItemsProcessed(state.iterations() * Rows);
}

void RawInserts(benchmark::State& state)
{
    const ImportSource& source = ImportSource::Shared(Rows);
    for (auto _ : state) {
        state.PauseTiming();
        const std::unique_ptr<ServerStore> store = EmptyServerStore(state);
        if (!store)
            return;
        store->Exec("SELECT 1");
        PGconn* db = BenchServer::Shared()->Raw();
        state.ResumeTiming();
        PQclear(PQprepare(db, "raw_insert",
                          "INSERT INTO base (\"Fio100\", \"Accnt\", \"Amount\", \"Export\", "
                          "\"Org120\") VALUES ($1, $2, $3, true, NULL)",
                          3, nullptr));
        PQclear(PQexec(db, "BEGIN"));
        for (const ImportSource::Row& row : source.rows) {
            const QByteArray fio = row.fio.toUtf8();
            const char* values[] = {fio.constData(), row.accnt.constData(), row.amount.constData()};
            PGresult* result = PQexecPrepared(db, "raw_insert", 3, values, nullptr, nullptr, 0);
            if (PQresultStatus(result) != PGRES_COMMAND_OK)
                state.SkipWithError("an insert failed");
            PQclear(result);
        }
        PQclear(PQexec(db, "COMMIT"));
        PQclear(PQexec(db, "DEALLOCATE raw_insert"));
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}

void ImportFile(benchmark::State& state)
{
    TimeImports(state, Rows, [&state] { return EmptyServerStore(state); });
}

// The first start of a day also copies the store to data/backup, and a start that fills
// empty organisations copies it before its first write: those starts are told apart.
void StartUp(benchmark::State& state, bool dailyCopy, bool emptyTenth)
{
    const std::unique_ptr<ServerStore> store = SeededServerStore(state);
    if (!store)
        return;
    BenchMessages messages;
    std::make_unique<TMainForm>().reset(); // fills the seeded tenth, makes today's copy
    for (auto _ : state) {
        state.PauseTiming();
        Session().CloseAll();
        if (emptyTenth)
            store->Exec("UPDATE base SET \"Org120\" = NULL WHERE \"Id\" % 10 = 1");
        if (dailyCopy)
            QDir(store->DataDir() + QStringLiteral("backup")).removeRecursively();
        state.ResumeTiming();
        auto form = std::make_unique<TMainForm>();
        benchmark::DoNotOptimize(form->EmployeeTable()->RecordCount());
        state.PauseTiming();
        if (form->EmployeeTable()->RecordCount() != Rows ||
            form->OrgTable()->RecordCount() != Organizations || messages.shown != 0)
            state.SkipWithError("start-up did not open every row");
        form.reset();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(RawSelectAll)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(OpenView)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(RawUpdatePass)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(ViewPostPass)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(RawInserts)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(ImportFile)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(StartUp, later_start, false, false)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(StartUp, later_start_filling_a_tenth, false, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(StartUp, first_start_of_day, true, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

int main(int argc, char** argv)
{
    return RunWindowBenchmarks(argc, argv);
}
