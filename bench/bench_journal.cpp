// Opening the register journal of 12 months of 1,000 organisations (12,000 files kept, the
// latest 1,000 in the out folder): the window's model load, and the window shown with its
// first screen of rows and their file states, beside a raw SQLite read of the same rows.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <sqlite3.h>

#include "bench/BenchSupport.h"
#include "export/TJournalForm.h"
#include "storage/layouts/RegisterJournal.h"
#include "storage/TPathBuilder.h"
#include "storage/views/TSession.h"

namespace {

constexpr int OrganisationCount = 1'000;
constexpr int Months = 12;

QByteArray Register(int organisation, int month)
{
    QByteArray bytes = "==========\r\n";
    for (int line = 0; line < 25; ++line)
        bytes += QStringLiteral("СОТРУДНИК %1 %2;40817810%3;%4.00\r\n")
                     .arg(organisation)
                     .arg(line)
                     .arg(month, 12, 10, QLatin1Char('0'))
                     .arg(1000 + line)
                     .toUtf8();
    return bytes;
}

// The journal seeded through raw SQLite; the last month's files lie in the out folder.
class Store
{
public:
    Store()
    {
        TRegisterJournal(DataDir()).Ensure();
        Session().CloseAll();
        RawStore raw(m_folder.StoreFile());
        raw.Exec("BEGIN IMMEDIATE");
        sqlite3_stmt* insert = raw.Prepare(
            "INSERT INTO registers (Made, Org120, Kind, FileName, Employees, Total, Sha256, "
            "UserName, Host, Content) VALUES (?1, ?2, ?3, ?4, 25, '25300.00', ?5, 'buh', 'pc-1', "
            "?6)");
        for (int month = 1; month <= Months; ++month) {
            for (int i = 0; i < OrganisationCount; ++i) {
                const QString org =
                    QStringLiteral("ООО Организация %1").arg(i, 4, 10, QLatin1Char('0'));
                const QString file = QStringLiteral("list_") + org + QStringLiteral(".txt");
                const QByteArray content = Register(i, month);
                // Every row at a time of its own, the dearest case for reading the times.
                const QDateTime made(QDate(2026, month, 10), QTime(9, 0).addSecs(i * 7));
                RawStore::Bind(insert, 1, made.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
                RawStore::Bind(insert, 2, org);
                RawStore::Bind(insert, 3,
                               i % 2 ? TRegisterJournal::KindStatement
                                     : TRegisterJournal::KindList);
                RawStore::Bind(insert, 4, file);
                RawStore::Bind(insert, 5, TRegisterJournal::Digest(content));
                sqlite3_bind_blob(insert, 6, content.constData(), int(content.size()),
                                  SQLITE_TRANSIENT);
                raw.Run(insert);
                if (month == Months) {
                    QFile out(TPathBuilder::GetOutPath() + file);
                    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size())
                        throw std::runtime_error("out file not written");
                }
            }
        }
        sqlite3_finalize(insert);
        raw.Exec("COMMIT");
    }

    QString DataDir() const { return m_folder.DataDir(); }
    QString StoreFile() const { return m_folder.StoreFile(); }

private:
    BenchDataFolder m_folder;
};

Store& TheStore()
{
    static Store store;
    return store;
}

// The same rows and columns, newest first, each text copied out as the model holds it.
std::size_t RawRead(const QString& file)
{
    RawStore raw(file);
    sqlite3_stmt* select = raw.Prepare(
        "SELECT Id, Made, Org120, Kind, FileName, Employees, Total, Sha256, UserName, Host "
        "FROM registers ORDER BY Id DESC");
    std::vector<QStringList> rows;
    while (sqlite3_step(select) == SQLITE_ROW) {
        QStringList row;
        for (int column = 0; column < 10; ++column)
            row << QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(select, column)),
                sqlite3_column_bytes(select, column));
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(select);
    return rows.size();
}

void BM_OpenJournalBesideRawRead(benchmark::State& state)
{
    Store& store = TheStore();
    double windowSeconds = 0;
    double modelSeconds = 0;
    double rawSeconds = 0;
    QElapsedTimer timer;
    for (auto _ : state) {
        Session().CloseAll(); // each opening connects afresh, as a command does

        timer.start();
        const std::size_t rows = RawRead(store.StoreFile());
        rawSeconds += timer.nsecsElapsed() / 1e9;

        timer.start();
        {
            TJournalModel model(store.DataDir(), TPathBuilder::GetOutPath());
            benchmark::DoNotOptimize(model.rowCount());
        }
        modelSeconds += timer.nsecsElapsed() / 1e9;
        Session().CloseAll();

        timer.start();
        {
            TJournalForm form;
            form.show();
            benchmark::DoNotOptimize(form.grab()); // the first screen painted, states included
            if (std::size_t(form.Model()->rowCount()) != rows)
                state.SkipWithError("the window holds other rows");
        }
        const double seconds = timer.nsecsElapsed() / 1e9;
        windowSeconds += seconds;
        state.SetIterationTime(seconds);
    }
    const double n = double(state.iterations());
    state.counters["window_ms"] = windowSeconds / n * 1e3;
    state.counters["model_ms"] = modelSeconds / n * 1e3;
    state.counters["raw_read_ms"] = rawSeconds / n * 1e3;
    state.counters["window_ratio"] = windowSeconds / rawSeconds;
    state.counters["model_ratio"] = modelSeconds / rawSeconds;
    state.SetItemsProcessed(state.iterations() * OrganisationCount * Months);
}

} // namespace

BENCHMARK(BM_OpenJournalBesideRawRead)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);

int main(int argc, char** argv)
{
    return RunWindowBenchmarks(argc, argv);
}
