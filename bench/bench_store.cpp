// The table store against raw SQLite on the same 100,000 employees.
#include <QFile>
#include <QRandomGenerator>
#include <QString>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <memory>
#include <vector>

#include "bench/BenchSupport.h"
#include "storage/engine/sqlite/Collation.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"
#include "storage/views/TTransaction.h"

namespace {

constexpr int Rows = 100000;
constexpr const char* InGridOrder =
    "SELECT Id FROM base ORDER BY Fio100 COLLATE RU_NOCASE, Accnt COLLATE RU_NOCASE";

using Store = TempStore;

// A data folder with the employee table holding Rows rows, written through raw SQLite.
Store& SharedStore()
{
    static Store* store = [] {
        Store* s = EmptyStore().release();
        RawStore raw(s->file);
        raw.Exec("BEGIN");
        sqlite3_stmt* insert = raw.Prepare("INSERT INTO base (Fio100, Accnt, Amount, Export, Org120) "
                                           "VALUES (?1, ?2, ?3, ?4, ?5)");
        QRandomGenerator random(42);
        for (int i = 0; i < Rows; ++i) {
            const QByteArray fio = RandomName(random).toUtf8();
            const QByteArray accnt = "4081781000" + QByteArray::number(1000000000 + i);
            const QByteArray amount = QByteArray::number(random.bounded(100000)) + ".00";
            const QByteArray org =
                (QStringLiteral("ООО Организация ") + QString::number(random.bounded(1000)))
                    .toUtf8();
            sqlite3_bind_text(insert, 1, fio.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 2, accnt.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 3, amount.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(insert, 4, i % 2);
            sqlite3_bind_text(insert, 5, org.constData(), -1, SQLITE_TRANSIENT);
            raw.Run(insert);
        }
        sqlite3_finalize(insert);
        raw.Exec("COMMIT");
        raw.Exec("PRAGMA journal_mode=WAL");
        return s;
    }();
    return *store;
}

struct RawRow
{
    qint64 id;
    QString fio, accnt, amount, org;
    bool exported;
};

QString Text(sqlite3_stmt* stmt, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(stmt, column)) : QString();
}

void RawSelectAll(benchmark::State& state)
{
    RawStore raw(SharedStore().file);
    sqlite3* db = raw.Handle();
    for (auto _ : state) {
        std::vector<RawRow> rows;
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "SELECT Id, Fio100, Accnt, Amount, Export, Org120 FROM base", -1,
                           &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            rows.push_back({sqlite3_column_int64(stmt, 0), Text(stmt, 1), Text(stmt, 2),
                            Text(stmt, 3), Text(stmt, 5), sqlite3_column_int(stmt, 4) != 0});
        }
        sqlite3_finalize(stmt);
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}

void OpenView(benchmark::State& state)
{
    Store& store = SharedStore();
    std::size_t held = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::size_t before = HeapInUse();
        state.ResumeTiming();
        TTable view;
        OpenEmployeeView(view, store.folder);
        benchmark::DoNotOptimize(view.RecordCount());
        state.PauseTiming();
        held = HeapInUse() - before;
        view.Close();
        Session().CloseAll();
        state.ResumeTiming();
    }
    state.counters["view_MB"] = double(held) / (1024.0 * 1024.0);
    state.SetItemsProcessed(state.iterations() * Rows);
}

void RawUpdatePass(benchmark::State& state)
{
    Store& store = SharedStore();
    RawStore raw(store.file);
    sqlite3* db = raw.Handle();
    raw.Exec("PRAGMA synchronous=FULL");
    const std::vector<qint64> ids = raw.Ids(InGridOrder);
    int flag = 0;
    for (auto _ : state) {
        flag ^= 1;
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_stmt* update = nullptr;
        sqlite3_prepare_v2(db, "UPDATE base SET Export = ?1 WHERE rowid = ?2", -1, &update,
                           nullptr);
        for (qint64 id : ids) {
            sqlite3_bind_int(update, 1, flag);
            sqlite3_bind_int64(update, 2, id);
            sqlite3_step(update);
            sqlite3_reset(update);
        }
        sqlite3_finalize(update);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}

void ViewPostPass(benchmark::State& state)
{
    Store& store = SharedStore();
    TTable view;
    OpenEmployeeView(view, store.folder);
    bool flag = false;
    for (auto _ : state) {
        flag = !flag;
        TTransaction pass(store.folder, TTransaction::Mode::KeepDone);
        for (view.First(); !view.Eof(); view.Next()) {
            view.Edit();
            view.FieldByName(QStringLiteral("Export")).SetAsBoolean(flag);
            view.Post();
        }
        pass.Commit();
    }
    view.Close();
    Session().CloseAll();
    state.SetItemsProcessed(state.iterations() * Rows);
}

struct NewRow
{
    QByteArray fio, accnt, amount, org;
};

// Rows in random name order, as an import brings them.
const std::vector<NewRow>& RandomRows()
{
    static const std::vector<NewRow> rows = [] {
        std::vector<NewRow> made;
        QRandomGenerator random(7);
        for (int i = 0; i < Rows; ++i)
            made.push_back({RandomName(random).toUtf8(),
                            "4081781000" + QByteArray::number(2000000000 + i),
                            QByteArray::number(random.bounded(100000)) + ".00",
                            QStringLiteral("ООО Организация %1").arg(i % 500).toUtf8()});
        return made;
    }();
    return rows;
}

// A copy of the shared store's file.
std::unique_ptr<Store> CopiedStore()
{
    auto store = std::make_unique<Store>();
    QFile::copy(SharedStore().file, store->file);
    return store;
}

sqlite3* RawOpen(const QString& file)
{
    sqlite3* db = nullptr;
    sqlite3_open(file.toUtf8().constData(), &db);
    Collation::Register(db);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA mmap_size=268435456",
                 nullptr, nullptr, nullptr);
    return db;
}

void RawRandomInserts(benchmark::State& state)
{
    const std::vector<NewRow>& rows = RandomRows();
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<Store> store = EmptyStore();
        state.ResumeTiming();
        sqlite3* db = RawOpen(store->file);
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db,
                           "INSERT INTO base (Fio100, Accnt, Amount, Export, Org120) "
                           "VALUES (?1, ?2, ?3, ?4, ?5)",
                           -1, &insert, nullptr);
        for (const NewRow& row : rows) {
            sqlite3_bind_text(insert, 1, row.fio.constData(), int(row.fio.size()), SQLITE_STATIC);
            sqlite3_bind_text(insert, 2, row.accnt.constData(), int(row.accnt.size()),
                              SQLITE_STATIC);
            sqlite3_bind_text(insert, 3, row.amount.constData(), int(row.amount.size()),
                              SQLITE_STATIC);
            sqlite3_bind_int(insert, 4, 1);
            sqlite3_bind_text(insert, 5, row.org.constData(), int(row.org.size()), SQLITE_STATIC);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}

void ViewRandomInserts(benchmark::State& state)
{
    const std::vector<NewRow>& rows = RandomRows();
    const QString fio = QStringLiteral("Fio100"), accnt = QStringLiteral("Accnt"),
                  amount = QStringLiteral("Amount"), exported = QStringLiteral("Export"),
                  org = QStringLiteral("Org120");
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<Store> store = EmptyStore();
        state.ResumeTiming();
        {
            TTable view;
            OpenEmployeeView(view, store->folder);
            TTransaction scope(store->folder);
            for (const NewRow& row : rows) {
                view.Append();
                view.FieldByName(fio).SetAsString(QString::fromUtf8(row.fio));
                view.FieldByName(accnt).SetAsString(QString::fromUtf8(row.accnt));
                view.FieldByName(amount).SetAsString(QString::fromUtf8(row.amount));
                view.FieldByName(exported).SetAsBoolean(true);
                view.FieldByName(org).SetAsString(QString::fromUtf8(row.org));
                view.Post();
            }
            scope.Commit();
            benchmark::DoNotOptimize(view.RecordCount());
        }
        state.PauseTiming();
        Session().CloseAll();
        store.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}

void RawDeletes(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<Store> store = CopiedStore();
        sqlite3* db = RawOpen(store->file);
        const std::vector<qint64> ids = RawStore(store->file).Ids(InGridOrder);
        state.ResumeTiming();
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_stmt* remove = nullptr;
        sqlite3_prepare_v2(db, "DELETE FROM base WHERE rowid = ?1", -1, &remove, nullptr);
        for (const qint64 id : ids) {
            sqlite3_bind_int64(remove, 1, id);
            sqlite3_step(remove);
            sqlite3_reset(remove);
        }
        sqlite3_finalize(remove);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        state.PauseTiming();
        sqlite3_close(db);
        store.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}

void ViewDeletes(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<Store> store = CopiedStore();
        auto view = std::make_unique<TTable>();
        OpenEmployeeView(*view, store->folder);
        state.ResumeTiming();
        {
            TTransaction scope(store->folder);
            for (view->First(); !view->IsEmpty();)
                view->Delete();
            scope.Commit();
        }
        state.PauseTiming();
        view.reset();
        Session().CloseAll();
        store.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}

} // namespace

BENCHMARK(RawRandomInserts)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(ViewRandomInserts)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(RawDeletes)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(ViewDeletes)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(RawSelectAll)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenView)->Unit(benchmark::kMillisecond);
BENCHMARK(RawUpdatePass)->Unit(benchmark::kMillisecond);
BENCHMARK(ViewPostPass)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
