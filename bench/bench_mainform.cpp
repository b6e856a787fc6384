// The main window over 100,000 employees and 1,000 organisations: start-up (a tenth of
// the employees without an organisation), the export selector's pass, scrolling the grid
// from the first row to the last, and the totals line's update. Baselines are raw SQLite over
// the same rows, and for the totals line a plain pass over the view's rows.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSignalBlocker>

#include <chrono>
#include <cstdio>
#include <memory>

#include <sqlite3.h>

#include "app/ExportTotalsLine.h"
#include "app/TMainForm.h"
#include "bench/BenchSupport.h"
#include "storage/layouts/Layouts.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"
#include "ui/TDBGrid.h"

namespace {

constexpr int EmployeeCount = 100'000;
constexpr int OrganizationCount = 1'000;

QString OrgName(int i)
{
    return QStringLiteral("Организация %1").arg(i, 4, 10, QLatin1Char('0'));
}

// Both tables of a temporary data folder, seeded through raw SQLite.
class Store
{
public:
    Store()
    {
        RawStore raw(m_folder.StoreFile());
        raw.Exec("BEGIN");
        sqlite3_stmt* org = raw.Prepare("INSERT INTO config VALUES (?1, '40702810', 'Директор', "
                                        "'Иванов И.И.', 'Петрова П.П.', '12345', '810')");
        for (int i = 0; i < OrganizationCount; ++i) {
            RawStore::Bind(org, 1, OrgName(i));
            raw.Run(org);
        }
        sqlite3_finalize(org);
        sqlite3_stmt* employee = raw.Prepare(
            "INSERT INTO base (Fio100, Accnt, Amount, Export, Org120) VALUES (?1, ?2, ?3, 0, ?4)");
        std::uint32_t seed = 7;
        for (int i = 0; i < EmployeeCount; ++i) {
            seed = seed * 1664525u + 1013904223u;
            RawStore::Bind(employee, 1, QStringLiteral("СОТРУДНИК %1 %2").arg(seed % 100000).arg(i));
            RawStore::Bind(employee, 2, QStringLiteral("40817810%1").arg(i, 12, 10, QLatin1Char('0')));
            RawStore::Bind(employee, 3, QStringLiteral("%1.%2").arg(seed % 90000).arg(seed % 90 + 10));
            if (i % 10 == 0)
                sqlite3_bind_null(employee, 4);
            else
                RawStore::Bind(employee, 4, OrgName(int(seed % OrganizationCount)));
            raw.Run(employee);
        }
        sqlite3_finalize(employee);
        raw.Exec("COMMIT");
    }

    std::unique_ptr<RawStore> Raw() const { return std::make_unique<RawStore>(m_folder.StoreFile()); }

    // Takes the organisation away from every tenth employee again.
    void ClearTenth() const { Raw()->Exec("UPDATE base SET Org120 = NULL WHERE Id % 10 = 1"); }

private:
    BenchDataFolder m_folder;
};

Store& TheStore()
{
    static Store store;
    return store;
}

void BM_StartUp(benchmark::State& state)
{
    const Store& store = TheStore();
    BenchMessages messages;
    std::size_t retained = 0;
    const long rssBefore = MaxRssKb();
    for (auto _ : state) {
        state.PauseTiming();
        Session().CloseAll();
        store.ClearTenth();
        const std::size_t heapBefore = HeapInUse();
        state.ResumeTiming();
        auto form = std::make_unique<TMainForm>();
        benchmark::DoNotOptimize(form->EmployeeTable()->RecordCount());
        state.PauseTiming();
        retained = HeapInUse() - heapBefore;
        if (form->EmployeeTable()->RecordCount() != EmployeeCount || messages.shown != 0)
            state.SkipWithError("start-up did not open every employee");
        form.reset();
        state.ResumeTiming();
    }
    state.counters["heap_MB"] = double(retained) / (1024.0 * 1024.0);
    state.counters["maxrss_growth_MB"] = double(MaxRssKb() - rssBefore) / 1024.0;
}

// Baseline: read every employee in the grid's order and fill the tenth, raw.
void BM_StartUpRawSqlite(benchmark::State& state)
{
    const Store& store = TheStore();
    for (auto _ : state) {
        state.PauseTiming();
        Session().CloseAll();
        store.ClearTenth();
        state.ResumeTiming();
        const std::unique_ptr<RawStore> raw = store.Raw();
        sqlite3_stmt* select = raw->Prepare(
            "SELECT rowid, Id, Fio100, Accnt, Amount, Export, Org120 FROM base "
                "ORDER BY Fio100 COLLATE RU_NOCASE, Accnt COLLATE RU_NOCASE, rowid");
        std::vector<QString> cells;
        cells.reserve(std::size_t(EmployeeCount) * 6);
        while (sqlite3_step(select) == SQLITE_ROW) {
            for (int c = 1; c <= 6; ++c)
                cells.push_back(QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(select, c)),
                    sqlite3_column_bytes(select, c)));
        }
        sqlite3_finalize(select);
        raw->Exec("BEGIN");
        raw->Exec("UPDATE base SET Org120 = 'Организация 0000' WHERE Org120 IS NULL");
        raw->Exec("COMMIT");
        benchmark::DoNotOptimize(cells.data());
    }
}

void BM_ExportSelectorPass(benchmark::State& state)
{
    TheStore();
    Session().CloseAll();
    BenchMessages messages;
    auto form = std::make_unique<TMainForm>();
    auto* selector = form->findChild<QComboBox*>(QStringLiteral("OrgBoxExport"));
    bool all = false;
    for (auto _ : state) {
        // Alternate so that every pass changes nearly every flag.
        selector->setEditText(all ? QStringLiteral("Все") : OrgName(1));
        all = !all;
    }
    if (messages.shown != 0)
        state.SkipWithError("the pass showed a message");
    form.reset();
    state.SetItemsProcessed(state.iterations() * EmployeeCount);
}

// Baseline: prepared UPDATEs of every row's flag in one transaction.
void BM_ExportSelectorRawSqlite(benchmark::State& state)
{
    const Store& store = TheStore();
    Session().CloseAll();
    const std::unique_ptr<RawStore> raw = store.Raw();
    const std::vector<qint64> rowids = raw->Ids("SELECT rowid FROM base");
    sqlite3_stmt* update = raw->Prepare("UPDATE base SET Export = ?1 WHERE rowid = ?2");
    bool flag = false;
    for (auto _ : state) {
        raw->Exec("BEGIN IMMEDIATE");
        for (const qint64 rowid : rowids) {
            sqlite3_bind_int(update, 1, flag ? 1 : 0);
            sqlite3_bind_int64(update, 2, rowid);
            sqlite3_step(update);
            sqlite3_reset(update);
        }
        raw->Exec("COMMIT");
        flag = !flag;
    }
    sqlite3_finalize(update);
    state.SetItemsProcessed(state.iterations() * EmployeeCount);
}

// Page Down from the first row to the last, painting each page.
void BM_ScrollGrid(benchmark::State& state)
{
    TheStore();
    Session().CloseAll();
    BenchMessages messages;
    auto form = std::make_unique<TMainForm>();
    form->show();
    auto* grid = form->findChild<TDBGrid*>(QStringLiteral("EmployeeGrid"));
    QApplication::processEvents();
    int pages = 0;
    for (auto _ : state) {
        grid->selectionModel()->setCurrentIndex(grid->model()->index(0, 0),
                                                QItemSelectionModel::ClearAndSelect);
        pages = 0;
        while (grid->currentIndex().row() < EmployeeCount - 1) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
            QApplication::sendEvent(grid, &press);
            grid->viewport()->repaint();
            ++pages;
        }
        QApplication::processEvents();
    }
    state.counters["pages"] = pages;
    form.reset();
}

// The totals line of every employee ticked, for "Все" (arg 0) or one organisation (arg 1),
// timed after a tick of one row (the time counted) and after the view was read again
// ("full_read_ms"), beside a plain pass that reads each row's flag, organisation and amount;
// "ratio" is the update's time over the plain pass's, "full_ratio" the full read's.
void BM_TotalsUpdate(benchmark::State& state)
{
    const Store& store = TheStore();
    Session().CloseAll();
    store.Raw()->Exec("UPDATE base SET Export = 1");
    BenchMessages messages;
    auto form = std::make_unique<TMainForm>();
    auto* selector = form->findChild<QComboBox*>(QStringLiteral("OrgBoxExport"));
    auto* line = form->findChild<TExportTotalsLine*>(QStringLiteral("ExportTotalsLine"));
    {
        const QSignalBlocker blocker(selector); // the choice without its pass over the ticks
        selector->setEditText(state.range(0) == 0 ? QStringLiteral("Все") : OrgName(1));
    }
    TTable& employees = *form->EmployeeTable();
    const int flag = employees.FindField(Layouts::ExportField);
    const int org = employees.FindField(Layouts::OrgField);
    const int amount = employees.FindField(Layouts::AmountField);
    using Clock = std::chrono::steady_clock;
    double updateSeconds = 0;
    double fullSeconds = 0;
    double plainSeconds = 0;
    const auto plainPass = [&] {
        qsizetype read = 0;
        for (int row = 0; row < employees.RecordCount(); ++row) {
            if (employees.CellBoolean(row, flag))
                read +=
                    employees.CellText(row, org).size() + employees.CellText(row, amount).size();
        }
        benchmark::DoNotOptimize(read);
    };
    const auto timed = [](const auto& work) {
        const Clock::time_point start = Clock::now();
        work();
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    bool plainFirst = false; // taken in turns, so neither always finds the rows in the cache
    int row = 0;
    for (auto _ : state) {
        // A full read, then a tick of one row: each followed by the line's update.
        employees.Reload();
        fullSeconds += timed([line] { line->UpdateNow(); });
        employees.SetRecNo(1 + (row++ * 7919) % employees.RecordCount());
        employees.Edit();
        employees.FieldByName(Layouts::ExportField).SetAsBoolean(
            !employees.FieldByName(Layouts::ExportField).AsBoolean());
        employees.Post();
        if (plainFirst)
            plainSeconds += timed(plainPass);
        const double seconds = timed([line] { line->UpdateNow(); });
        if (!plainFirst)
            plainSeconds += timed(plainPass);
        plainFirst = !plainFirst;
        state.SetIterationTime(seconds);
        updateSeconds += seconds;
    }
    if (messages.shown != 0 || !line->text().startsWith(QStringLiteral("Отмечено: ")))
        state.SkipWithError(qPrintable(line->text()));
    state.SetLabel(line->text().toStdString());
    state.counters["plain_pass_ms"] = 1000 * plainSeconds / double(state.iterations());
    state.counters["full_read_ms"] = 1000 * fullSeconds / double(state.iterations());
    state.counters["ratio"] = updateSeconds / plainSeconds;
    state.counters["full_ratio"] = fullSeconds / plainSeconds;
    form.reset();
    Session().CloseAll();
    store.Raw()->Exec("UPDATE base SET Export = 0");
}

} // namespace

BENCHMARK(BM_StartUp)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StartUpRawSqlite)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportSelectorPass)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_ExportSelectorRawSqlite)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_ScrollGrid)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_TotalsUpdate)->Arg(0)->Arg(1)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    return RunWindowBenchmarks(argc, argv);
}
