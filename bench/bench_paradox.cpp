// Taking over the old program's base.DB of 100,000 employees, against reading the same file
// with pxlib and storing its rows with raw prepared INSERTs in one transaction.
#include <QApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
extern "C" { // pxlib's header declares no C linkage of its own
#include <paradox.h>
}
#include <sqlite3.h>

#include <cstdio>
#include <memory>

#include "app/TMainForm.h"
#include "import/ParadoxTakeOver.h"
#include "storage/views/TSession.h"
#include "tests/support/ParadoxWriter.h"
#include "tests/support/TempDataFolder.h"

namespace {

constexpr int Records = 100000;

struct Source
{
    QTemporaryDir dir;
    QString path;
};

const Source& SharedSource()
{
    static Source* source = [] {
        auto* s = new Source;
        s->path = s->dir.filePath(QStringLiteral("base.DB"));
        static const QStringList first = {"ИВАНОВ", "ПЕТРОВА",  "СИДОРОВ",  "КУЗНЕЦОВА", "СМИРНОВ",
                                          "ПОПОВА", "ВАСИЛЬЕВ", "НОВИКОВА", "МОРОЗОВ",   "ЁЛКИНА"};
        QRandomGenerator random(7);
        ParadoxWriter writer(s->path, ParadoxWriter::EmployeeFields());
        for (int i = 0; i < Records; ++i)
            writer.Add({i + 1,
                        first[random.bounded(first.size())] + QLatin1Char(' ') +
                            QString::number(random.bounded(1000000)),
                        QStringLiteral("4081781000%1").arg(1000000000 + i),
                        QString::number(random.bounded(100000)) + QStringLiteral(".00"),
                        random.bounded(2) == 1, QStringLiteral("ООО Ромашка")});
        writer.Close();
        return s;
    }();
    return *source;
}

// A fresh data folder holding a copy of the source table.
std::unique_ptr<TempDataFolder> FolderWithSource()
{
    auto folder = std::make_unique<TempDataFolder>();
    QFile::copy(SharedSource().path, folder->DataDir() + QStringLiteral("base.DB"));
    return folder;
}

int StoredRows(const QString& folder)
{
    sqlite3* db = nullptr;
    sqlite3_open((folder + QStringLiteral("store.sqlite3")).toUtf8().constData(), &db);
    sqlite3_stmt* count = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM base", -1, &count, nullptr);
    const int rows = sqlite3_step(count) == SQLITE_ROW ? sqlite3_column_int(count, 0) : -1;
    sqlite3_finalize(count);
    sqlite3_close(db);
    return rows;
}

void BM_PxlibRawInserts(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto folder = FolderWithSource();
        const QByteArray store = (folder->DataDir() + QStringLiteral("store.sqlite3")).toUtf8();
        const QByteArray table = (folder->DataDir() + QStringLiteral("base.DB")).toLocal8Bit();
        state.ResumeTiming();

        // pxlib reads from memory, as the take-over does: the leanest way to read the file.
        QFile file(QString::fromLocal8Bit(table));
        file.open(QIODevice::ReadOnly);
        const QByteArray bytes = file.readAll();
        std::FILE* stream =
            fmemopen(const_cast<char*>(bytes.constData()), size_t(bytes.size()), "rb");
        pxdoc_t* doc = PX_new();
        PX_open_fp(doc, stream);
        sqlite3* db = nullptr;
        sqlite3_open(store.constData(), &db);
        sqlite3_exec(db,
                     "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; BEGIN IMMEDIATE;"
                     "CREATE TABLE base (Id INTEGER PRIMARY KEY AUTOINCREMENT, Fio100 CHAR(100), "
                     "Accnt CHAR(22), Amount CHAR(15), Export BOOLEAN, Org120 CHAR(120))",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO base VALUES (?1, ?2, ?3, ?4, ?5, ?6)", -1, &insert,
                           nullptr);
        QStringDecoder decoder("windows-1251");
        QByteArray record(PX_get_recordsize(doc), '\0');
        const int count = PX_get_num_records(doc);
        for (int r = 0; r < count; ++r) {
            PX_get_record(doc, r, record.data());
            char* at = record.data();
            long id = 0;
            PX_get_data_long(doc, at, 4, &id);
            sqlite3_bind_int64(insert, 1, id);
            at += 4;
            int place = 2;
            for (const int width : {100, 22, 15}) {
                const QByteArray text =
                    QString(decoder.decode(QByteArrayView(at, qstrnlen(at, width)))).toUtf8();
                sqlite3_bind_text(insert, place++, text.constData(), int(text.size()),
                                  SQLITE_TRANSIENT);
                at += width;
            }
            char flag = 0;
            PX_get_data_byte(doc, at, 1, &flag);
            sqlite3_bind_int(insert, 5, flag != 0);
            at += 1;
            const QByteArray org =
                QString(decoder.decode(QByteArrayView(at, qstrnlen(at, 120)))).toUtf8();
            sqlite3_bind_text(insert, 6, org.constData(), int(org.size()), SQLITE_TRANSIENT);
            if (sqlite3_step(insert) != SQLITE_DONE)
                state.SkipWithError("an insert failed");
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        PX_delete(doc);
        std::fclose(stream);

        state.PauseTiming();
        if (StoredRows(folder->DataDir()) != Records)
            state.SkipWithError("not every record was stored");
        folder.reset();
        state.ResumeTiming();
    }
}

// The take-over step of the start-up: check, read, copy in one transaction, move aside.
void BM_TakeOver(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto folder = FolderWithSource();
        state.ResumeTiming();

        TParadoxTakeOver takeOver(folder->DataDir());
        if (!takeOver.Due() || !takeOver.Run().isEmpty())
            state.SkipWithError("the take-over did not run");
        Session().CloseAll();

        state.PauseTiming();
        if (StoredRows(folder->DataDir()) != Records)
            state.SkipWithError("not every record was stored");
        folder.reset();
        state.ResumeTiming();
    }
}

// The whole first start on the old tables: take-over, upgrade to the current keys, the views.
void BM_StartWithTakeOver(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto folder = FolderWithSource();
        state.ResumeTiming();

        auto form = std::make_unique<TMainForm>();
        if (form->EmployeeTable()->RecordCount() != Records)
            state.SkipWithError("not every record was taken over");

        state.PauseTiming();
        form.reset();
        Session().CloseAll();
        folder.reset();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_PxlibRawInserts)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TakeOver)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StartWithTakeOver)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    SharedSource();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
