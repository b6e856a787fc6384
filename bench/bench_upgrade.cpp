// The start-up upgrade on 100,000 employees against raw SQLite on the same rows: the
// amount pass when nothing changes (against a raw SELECT of every amount), the amount pass
// when every amount changes (against raw prepared UPDATEs), and a full upgrade of an older
// employee table.
#include <QString>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "bench/BenchSupport.h"
#include "storage/engine/sqlite/Collation.h"
#include "storage/views/TQuery.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"
#include "storage/layouts/TableUpgrade.h"

namespace {

constexpr int Rows = 100000;
constexpr int Organizations = 200;

using Store = TempStore;

sqlite3* OpenRaw(const QString& file)
{
    sqlite3* db = nullptr;
    sqlite3_open(file.toUtf8().constData(), &db);
    Collation::Register(db);
    sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    return db;
}

// Rows employees with normalised amounts, in the current layout.
Store& CurrentStore()
{
    static Store* store = [] {
        Store* s = EmptyStore().release();
        RawStore(s->file).Exec(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
            "100000) INSERT INTO base (Fio100, Accnt, Amount, Export, Org120) "
            "SELECT 'СОТРУДНИК ' || i, '40817810' || (1000000000 + i), "
            "(i * 37 % 100000) || '.00', i % 2, 'ООО Организация ' || (i % 200) "
            "FROM n");
        return s;
    }();
    return *store;
}

// Every amount loses its decimals, so that normalising changes every row.
void Denormalize(const QString& file)
{
    sqlite3* db = OpenRaw(file);
    sqlite3_exec(db, "UPDATE base SET Amount = substr(Amount, 1, length(Amount) - 3)", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
}

void RawSelectAmounts(benchmark::State& state)
{
    Store& store = CurrentStore();
    sqlite3* db = OpenRaw(store.file);
    for (auto _ : state) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "SELECT Amount FROM base", -1, &stmt, nullptr);
        std::size_t bytes = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            benchmark::DoNotOptimize(sqlite3_column_text(stmt, 0));
            bytes += std::size_t(sqlite3_column_bytes(stmt, 0));
        }
        sqlite3_finalize(stmt);
        benchmark::DoNotOptimize(bytes);
    }
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * Rows);
}

void AmountPassNothingChanges(benchmark::State& state)
{
    Store& store = CurrentStore();
    TQuery runner;
    TTableUpgrade upgrade(store.folder, runner);
    for (auto _ : state) {
        const int written = upgrade.NormalizeAmounts(QStringLiteral("base"));
        if (written != 0)
            state.SkipWithError("amounts changed");
    }
    Session().CloseAll();
    state.SetItemsProcessed(state.iterations() * Rows);
}

// The whole employee step of a start on the current layout: the amount pass and the check
// that keys and indexes are current.
void UpgradeOfCurrentLayout(benchmark::State& state)
{
    Store& store = CurrentStore();
    TQuery runner;
    TTableUpgrade upgrade(store.folder, runner);
    TTable base;
    base.SetDatabaseName(store.folder);
    base.SetTableName(QStringLiteral("base"));
    for (auto _ : state)
        upgrade.UpgradeEmployees(base);
    Session().CloseAll();
    state.SetItemsProcessed(state.iterations() * Rows);
}

void RawUpdateAmounts(benchmark::State& state)
{
    Store& store = CurrentStore();
    std::vector<std::pair<qint64, std::string>> rows;
    {
        sqlite3* db = OpenRaw(store.file);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "SELECT rowid, Amount FROM base", -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            rows.emplace_back(sqlite3_column_int64(stmt, 0),
                              reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)));
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    }
    for (auto _ : state) {
        state.PauseTiming();
        Denormalize(store.file);
        sqlite3* db = OpenRaw(store.file);
        state.ResumeTiming();
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_stmt* update = nullptr;
        sqlite3_prepare_v2(db, "UPDATE base SET Amount = ?1 WHERE rowid = ?2", -1, &update,
                           nullptr);
        for (const auto& [rowid, amount] : rows) {
            sqlite3_bind_text(update, 1, amount.c_str(), int(amount.size()), SQLITE_STATIC);
            sqlite3_bind_int64(update, 2, rowid);
            sqlite3_step(update);
            sqlite3_reset(update);
        }
        sqlite3_finalize(update);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        state.PauseTiming();
        sqlite3_close(db);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}

void AmountPassAllChange(benchmark::State& state)
{
    Store& store = CurrentStore();
    TQuery runner;
    for (auto _ : state) {
        state.PauseTiming();
        Session().CloseAll();
        Denormalize(store.file);
        TTableUpgrade upgrade(store.folder, runner);
        state.ResumeTiming();
        const int written = upgrade.NormalizeAmounts(QStringLiteral("base"));
        if (written != Rows)
            state.SkipWithError("not every amount was written");
    }
    Session().CloseAll();
    state.SetItemsProcessed(state.iterations() * Rows);
}

// An older employee table (Fio, Org, a unique index on Fio;Accnt) and organisation table.
void MakeOlderStore(const QString& file)
{
    sqlite3* db = OpenRaw(file);
    sqlite3_exec(
        db,
        "CREATE TABLE base (Id INTEGER PRIMARY KEY AUTOINCREMENT, Fio CHAR(100), "
        "Accnt CHAR(22), Amount CHAR(15), Export BOOLEAN, Org CHAR(120));"
        "CREATE UNIQUE INDEX ByName ON base (Fio, Accnt);"
        "CREATE TABLE config (Organization CHAR(120) NOT NULL, Accnt CHAR(22), "
        "Position CHAR(30), Director CHAR(30), Accountant CHAR(30), Contract CHAR(8), "
        "Crnc CHAR(3), PRIMARY KEY (Organization));"
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 199) "
        "INSERT INTO config SELECT 'ООО Организация ' || i, '40702810', 'Директор', "
        "'Петров П.П.', 'Сидорова С.С.', '77', '810' FROM n;"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000) "
        "INSERT INTO base (Fio, Accnt, Amount, Export, Org) "
        "SELECT 'СОТРУДНИК ' || i, '40817810' || (1000000000 + i), (i * 37 % 100000), i % 2, "
        "'Организация ' || (i % 250) FROM n;",
        nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

void FullUpgradeOfOlderTable(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        const TempStore store;
        const QString& folder = store.folder;
        MakeOlderStore(store.file);
        TQuery runner;
        TTableUpgrade upgrade(folder, runner);
        TTable base;
        base.SetDatabaseName(folder);
        base.SetTableName(QStringLiteral("base"));
        TTable config;
        config.SetDatabaseName(folder);
        config.SetTableName(QStringLiteral("config.db"));
        state.ResumeTiming();
        upgrade.UpgradeEmployees(base);
        config.Open();
        upgrade.UpgradeOrganizations(config);
        config.Close();
        state.PauseTiming();
        Session().CloseAll();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}

// Prints, after the table, each figure as a ratio to its baseline of the same run.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            // With repetitions the median stands for the figure.
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median")
                continue;
            m_times[run.run_name.function_name] = {run.GetAdjustedRealTime(),
                                                   run.GetAdjustedCPUTime()};
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        Ratio("AmountPassNothingChanges", "RawSelectAmounts", 1.5);
        Ratio("UpgradeOfCurrentLayout", "RawSelectAmounts", 0);
        Ratio("AmountPassAllChange", "RawUpdateAmounts", 2.0);
    }

private:
    void Ratio(const std::string& figure, const std::string& baseline, double bound)
    {
        const auto f = m_times.find(figure);
        const auto b = m_times.find(baseline);
        if (f == m_times.end() || b == m_times.end() || b->second.first <= 0)
            return;
        std::printf("%s / %s = %.2f real, %.2f CPU", figure.c_str(), baseline.c_str(),
                    f->second.first / b->second.first, f->second.second / b->second.second);
        if (bound > 0)
            std::printf(" (bound %.1f)", bound);
        std::printf("\n");
    }

    std::map<std::string, std::pair<double, double>> m_times; // real, CPU
};

} // namespace

BENCHMARK(RawSelectAmounts)->Unit(benchmark::kMillisecond);
BENCHMARK(AmountPassNothingChanges)->Unit(benchmark::kMillisecond);
BENCHMARK(UpgradeOfCurrentLayout)->Unit(benchmark::kMillisecond);
BENCHMARK(RawUpdateAmounts)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(AmountPassAllChange)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(FullUpgradeOfOlderTable)->Unit(benchmark::kMillisecond)->Iterations(2);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
