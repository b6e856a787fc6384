// Importing 100,000 valid employees from a dBASE file against raw prepared INSERTs of the
// same rows in one transaction.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <memory>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/ImportBench.h"
#include "storage/engine/sqlite/Collation.h"

namespace {

constexpr int Records = 100000;

void BM_ImportFile(benchmark::State& state)
{
    TimeImports(state, Records, [] { return std::make_unique<BenchDataFolder>(); });
}

void BM_RawInserts(benchmark::State& state)
{
    const ImportSource& source = ImportSource::Shared(Records);
    for (auto _ : state) {
        state.PauseTiming();
        auto folder = std::make_unique<BenchDataFolder>();
        const QByteArray file = folder->StoreFile().toUtf8();
        state.ResumeTiming();

        sqlite3* db = nullptr;
        sqlite3_open(file.constData(), &db);
        Collation::Register(db);
        sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL", nullptr, nullptr,
                     nullptr);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db,
                           "INSERT INTO base (Fio100, Accnt, Amount, Export, Org120) "
                           "VALUES (?1, ?2, ?3, 1, NULL)",
                           -1, &insert, nullptr);
        for (const ImportSource::Row& row : source.rows) {
            const QByteArray fio = row.fio.toUtf8();
            sqlite3_bind_text(insert, 1, fio.constData(), int(fio.size()), SQLITE_STATIC);
            sqlite3_bind_text(insert, 2, row.accnt.constData(), int(row.accnt.size()),
                              SQLITE_STATIC);
            sqlite3_bind_text(insert, 3, row.amount.constData(), int(row.amount.size()),
                              SQLITE_STATIC);
            if (sqlite3_step(insert) != SQLITE_DONE)
                state.SkipWithError("an insert failed");
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);

        state.PauseTiming();
        folder.reset();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_RawInserts)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ImportFile)->Unit(benchmark::kMillisecond)->Iterations(2);

int main(int argc, char** argv)
{
    return RunWindowBenchmarks(argc, argv);
}
