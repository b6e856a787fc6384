// The main window over 100,000 employees and 1,000 organisations: start-up (a tenth of
// the employees without an organisation), the export selector's pass, and scrolling the
// grid from the first row to the last. Baselines are raw SQLite over the same rows.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <memory>

#include <sqlite3.h>

#include "app/TMainForm.h"
#include "bench/BenchSupport.h"
#include "core/Platform.h"
#include "storage/Collation.h"
#include "storage/Layouts.h"
#include "storage/TPathBuilder.h"
#include "storage/TSession.h"
#include "storage/TTable.h"
#include "ui/Messages.h"
#include "ui/TDBGrid.h"

namespace {

constexpr int EmployeeCount = 100'000;
constexpr int OrganizationCount = 1'000;

// Answers every message box with Yes and counts them.
class QuietMessages final : public Messages::Handler
{
public:
    bool Show(Messages::Kind, const QString&, const QString&) override
    {
        ++shown;
        return true;
    }
    int shown = 0;
};

QString OrgName(int i)
{
    return QStringLiteral("Организация %1").arg(i, 4, 10, QLatin1Char('0'));
}

class Store
{
public:
    Store()
    {
        const QString root = m_dir.path();
        Platform::SetCommonAppDataProvider([root] { return std::optional<QString>(root); });
        QDir().mkpath(TPathBuilder::GetEmployeeDBPath());
        QDir().mkpath(QFileInfo(TPathBuilder::GetOutTxtPath(QString())).path());
        for (const bool employees : {true, false}) {
            TTable table;
            table.SetDatabaseName(TPathBuilder::GetEmployeeDBPath());
            table.SetTableName(employees ? QStringLiteral("base") : QStringLiteral("config"));
            table.FieldDefs() = employees ? Layouts::EmployeeFields() : Layouts::OrganizationFields();
            table.IndexDefs() = employees ? Layouts::EmployeeIndexes() : Layouts::OrganizationIndexes();
            table.CreateTable();
        }
        Session().CloseAll();

        sqlite3* db = Raw();
        Exec(db, "BEGIN");
        sqlite3_stmt* org = Prepare(db, "INSERT INTO config VALUES (?1, '40702810', 'Директор', "
                                        "'Иванов И.И.', 'Петрова П.П.', '12345', '810')");
        for (int i = 0; i < OrganizationCount; ++i) {
            BindText(org, 1, OrgName(i));
            sqlite3_step(org);
            sqlite3_reset(org);
        }
        sqlite3_finalize(org);
        sqlite3_stmt* employee = Prepare(
            db, "INSERT INTO base (Fio100, Accnt, Amount, Export, Org120) VALUES (?1, ?2, ?3, 0, ?4)");
        std::uint32_t seed = 7;
        for (int i = 0; i < EmployeeCount; ++i) {
            seed = seed * 1664525u + 1013904223u;
            BindText(employee, 1, QStringLiteral("СОТРУДНИК %1 %2").arg(seed % 100000).arg(i));
            BindText(employee, 2, QStringLiteral("40817810%1").arg(i, 12, 10, QLatin1Char('0')));
            BindText(employee, 3, QStringLiteral("%1.%2").arg(seed % 90000).arg(seed % 90 + 10));
            if (i % 10 == 0)
                sqlite3_bind_null(employee, 4);
            else
                BindText(employee, 4, OrgName(int(seed % OrganizationCount)));
            sqlite3_step(employee);
            sqlite3_reset(employee);
        }
        sqlite3_finalize(employee);
        Exec(db, "COMMIT");
        sqlite3_close(db);
    }

    ~Store() { Platform::SetCommonAppDataProvider({}); }

    static sqlite3* Raw()
    {
        sqlite3* db = nullptr;
        const QByteArray file =
            (TPathBuilder::GetEmployeeDBPath() + QStringLiteral("store.sqlite3")).toUtf8();
        sqlite3_open(file.constData(), &db);
        sqlite3_busy_timeout(db, 5000);
        Collation::Register(db);
        return db;
    }
    static void Exec(sqlite3* db, const char* sql) { sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
    static sqlite3_stmt* Prepare(sqlite3* db, const char* sql)
    {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
        return stmt;
    }
    static void BindText(sqlite3_stmt* stmt, int index, const QString& text)
    {
        const QByteArray bytes = text.toUtf8();
        sqlite3_bind_text(stmt, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    }

    // Takes the organisation away from every tenth employee again.
    static void ClearTenth()
    {
        sqlite3* db = Raw();
        Exec(db, "UPDATE base SET Org120 = NULL WHERE Id % 10 = 1");
        sqlite3_close(db);
    }

private:
    QTemporaryDir m_dir;
};

Store& TheStore()
{
    static Store store;
    return store;
}

long MaxRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void BM_StartUp(benchmark::State& state)
{
    TheStore();
    QuietMessages messages;
    Messages::SetHandler(&messages);
    std::size_t retained = 0;
    const long rssBefore = MaxRssKb();
    for (auto _ : state) {
        state.PauseTiming();
        Session().CloseAll();
        Store::ClearTenth();
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
    Messages::SetHandler(nullptr);
    state.counters["heap_MB"] = double(retained) / (1024.0 * 1024.0);
    state.counters["maxrss_growth_MB"] = double(MaxRssKb() - rssBefore) / 1024.0;
}

// Baseline: read every employee in the grid's order and fill the tenth, raw.
void BM_StartUpRawSqlite(benchmark::State& state)
{
    TheStore();
    for (auto _ : state) {
        state.PauseTiming();
        Session().CloseAll();
        Store::ClearTenth();
        state.ResumeTiming();
        sqlite3* db = Store::Raw();
        sqlite3_stmt* select = Store::Prepare(
            db, "SELECT rowid, Id, Fio100, Accnt, Amount, Export, Org120 FROM base "
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
        Store::Exec(db, "BEGIN");
        Store::Exec(db, "UPDATE base SET Org120 = 'Организация 0000' WHERE Org120 IS NULL");
        Store::Exec(db, "COMMIT");
        sqlite3_close(db);
        benchmark::DoNotOptimize(cells.data());
    }
}

void BM_ExportSelectorPass(benchmark::State& state)
{
    TheStore();
    Session().CloseAll();
    QuietMessages messages;
    Messages::SetHandler(&messages);
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
    Messages::SetHandler(nullptr);
    state.SetItemsProcessed(state.iterations() * EmployeeCount);
}

// Baseline: prepared UPDATEs of every row's flag in one transaction.
void BM_ExportSelectorRawSqlite(benchmark::State& state)
{
    TheStore();
    Session().CloseAll();
    sqlite3* db = Store::Raw();
    std::vector<qint64> rowids;
    sqlite3_stmt* select = Store::Prepare(db, "SELECT rowid FROM base");
    while (sqlite3_step(select) == SQLITE_ROW)
        rowids.push_back(sqlite3_column_int64(select, 0));
    sqlite3_finalize(select);
    sqlite3_stmt* update = Store::Prepare(db, "UPDATE base SET Export = ?1 WHERE rowid = ?2");
    bool flag = false;
    for (auto _ : state) {
        Store::Exec(db, "BEGIN IMMEDIATE");
        for (const qint64 rowid : rowids) {
            sqlite3_bind_int(update, 1, flag ? 1 : 0);
            sqlite3_bind_int64(update, 2, rowid);
            sqlite3_step(update);
            sqlite3_reset(update);
        }
        Store::Exec(db, "COMMIT");
        flag = !flag;
    }
    sqlite3_finalize(update);
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * EmployeeCount);
}

// Page Down from the first row to the last, painting each page.
void BM_ScrollGrid(benchmark::State& state)
{
    TheStore();
    Session().CloseAll();
    QuietMessages messages;
    Messages::SetHandler(&messages);
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
    Messages::SetHandler(nullptr);
}

} // namespace

BENCHMARK(BM_StartUp)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StartUpRawSqlite)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportSelectorPass)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_ExportSelectorRawSqlite)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_ScrollGrid)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
