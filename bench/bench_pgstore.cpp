// The table store on a PostgreSQL server against raw libpq on the same 100,000 employees.
// PELLOMAR_BENCH_SERVER names the server (a libpq connection string); the tables go to a
// schema of their own, dropped at the end.
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <vector>

#include "bench/BenchSupport.h"
#include "storage/StoreConnection.h"
#include "storage/TSession.h"
#include "storage/TTable.h"
#include "storage/TTransaction.h"

namespace {

constexpr int Rows = 100000;

struct Server
{
    QTemporaryDir dir;
    QString folder;
    QByteArray schema;
    PGconn* raw = nullptr;

    void Exec(const QByteArray& sql) { PQclear(PQexec(raw, sql.constData())); }
};

Server* SharedServer()
{
    static Server* server = []() -> Server* {
        const QByteArray base = qgetenv("PELLOMAR_BENCH_SERVER");
        if (base.isEmpty())
            return nullptr;
        auto* s = new Server;
        s->schema = "bench_" + QByteArray::number(QCoreApplication::applicationPid());
        s->raw = PQconnectdb(base.constData());
        s->Exec("CREATE SCHEMA " + s->schema);
        s->Exec("SET search_path = " + s->schema);
        s->folder = s->dir.path() + QLatin1Char('/');
        QFile conf(s->folder + QLatin1String(StoreConnection::ServerFileName));
        conf.open(QIODevice::WriteOnly);
        conf.write(base + " options='-c search_path=" + s->schema + "'\n");
        conf.close();
        CreateEmployeeTable(s->folder);
        s->Exec("INSERT INTO base (\"Fio100\", \"Accnt\", \"Amount\", \"Export\", \"Org120\") "
                "SELECT (ARRAY['ИВАНОВ','ПЕТРОВА','СИДОРОВ','КУЗНЕЦОВА','СМИРНОВ','ПОПОВА',"
                "'ВАСИЛЬЕВ','НОВИКОВА','МОРОЗОВ','ВОЛКОВА'])[1 + i % 10] || ' ' || "
                "(ARRAY['АННА','ИВАН','ОЛЬГА','ПЁТР','МАРИЯ','СЕРГЕЙ'])[1 + i % 6] || ' ' || "
                "(i * 7919 % 1000000)::text, (40817810000000000000 + i)::text, "
                "(i % 100000)::text || '.00', i % 2 = 0, 'ООО Организация ' || (i % 1000)::text "
                "FROM generate_series(1, 100000) AS i");
        s->Exec("ANALYZE base");
        std::atexit([] {
            Session().CloseAll();
            SharedServer()->Exec("DROP SCHEMA " + SharedServer()->schema + " CASCADE");
        });
        return s;
    }();
    return server;
}

bool Ready(benchmark::State& state)
{
    if (SharedServer())
        return true;
    state.SkipWithError("PELLOMAR_BENCH_SERVER names no server");
    return false;
}

void RawSelectAll(benchmark::State& state)
{
    if (!Ready(state))
        return;
    PGconn* db = SharedServer()->raw;
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
    if (!Ready(state))
        return;
    for (auto _ : state) {
        TTable view;
        view.SetDatabaseName(SharedServer()->folder);
        view.SetTableName(QStringLiteral("base.DB"));
        view.SetIndexName(QStringLiteral("Fio_Accnt"));
        view.Open();
        benchmark::DoNotOptimize(view.RecordCount());
        state.counters["rows"] = view.RecordCount();
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}

void RawUpdatePass(benchmark::State& state)
{
    if (!Ready(state))
        return;
    PGconn* db = SharedServer()->raw;
    std::vector<QByteArray> ids;
    PGresult* list = PQexec(db, "SELECT \"Id\" FROM base ORDER BY ru_nocase(\"Fio100\")");
    for (int r = 0; r < PQntuples(list); ++r)
        ids.emplace_back(PQgetvalue(list, r, 0));
    PQclear(list);
    PQclear(PQprepare(db, "raw_update", "UPDATE base SET \"Export\" = $1 WHERE \"Id\" = $2", 2,
                      nullptr));
    bool flag = false;
    for (auto _ : state) {
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
    if (!Ready(state))
        return;
    const QString folder = SharedServer()->folder;
    TTable view;
    view.SetDatabaseName(folder);
    view.SetTableName(QStringLiteral("base.DB"));
    view.SetIndexName(QStringLiteral("Fio_Accnt"));
    view.Open();
    // Every post changes its row: the raw pass left one value in all of them.
    bool flag = view.FieldByName(QStringLiteral("Export")).AsBoolean();
    for (auto _ : state) {
        flag = !flag;
        TTransaction pass(folder, TTransaction::Mode::KeepDone);
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

} // namespace

BENCHMARK(RawSelectAll)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(OpenView)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(RawUpdatePass)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(ViewPostPass)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
