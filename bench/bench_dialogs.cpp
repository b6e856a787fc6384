// The settings dialog's rename and delete of an organisation with 50,000 employees (among
// 55,000), each beside raw prepared statements doing the same rows in one transaction.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "bench/BenchSupport.h"
#include "dialogs/TEmployeeAddForm.h"
#include "dialogs/TSettingsForm.h"
#include "storage/layouts/Layouts.h"
#include "storage/TPathBuilder.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"
#include "ui/MainViews.h"
#include "ui/Messages.h"

namespace {

constexpr int EmployeeCount = 55'000; // every 11th belongs to the other organisation
const QString Alpha = QStringLiteral("Альфа");
const QString Omega = QStringLiteral("Омега");
const QString Beta = QStringLiteral("Бета");

// Seeds both tables: Alpha and Beta, and employees of whom every 11th belongs to Beta.
void Seed(RawStore& raw, int employees = EmployeeCount)
{
    raw.Exec("BEGIN IMMEDIATE");
    raw.Exec("DELETE FROM base");
    raw.Exec("DELETE FROM config");
    sqlite3_stmt* org = raw.Prepare("INSERT INTO config VALUES (?1, '40702810', 'Директор', "
                                    "'Петров П.П.', 'Сидорова С.С.', '77', 'RUR')");
    for (const QString& name : {Alpha, Beta}) {
        RawStore::Bind(org, 1, name);
        raw.Run(org);
    }
    sqlite3_finalize(org);
    sqlite3_stmt* employee = raw.Prepare(
        "INSERT INTO base (Fio100, Accnt, Amount, Export, Org120) VALUES (?1, ?2, '100.00', 1, ?3)");
    for (int i = 0; i < employees; ++i) {
        RawStore::Bind(employee, 1, QStringLiteral("СОТРУДНИК %1").arg(i, 6, 10, QLatin1Char('0')));
        RawStore::Bind(employee, 2, QStringLiteral("40817810%1").arg(i, 12, 10, QLatin1Char('0')));
        RawStore::Bind(employee, 3, i % 11 == 10 ? Beta : Alpha);
        raw.Run(employee);
    }
    sqlite3_finalize(employee);
    raw.Exec("COMMIT");
}

std::vector<sqlite3_int64> RowidsOf(RawStore& raw, const QString& org)
{
    std::vector<sqlite3_int64> rowids;
    sqlite3_stmt* s = raw.Prepare("SELECT rowid FROM base WHERE Org120 = ?1");
    RawStore::Bind(s, 1, org);
    while (sqlite3_step(s) == SQLITE_ROW)
        rowids.push_back(sqlite3_column_int64(s, 0));
    sqlite3_finalize(s);
    return rowids;
}

class Views final : public MainViews
{
public:
    Views()
    {
        m_orgs.SetDatabaseName(TPathBuilder::GetSettingsDBPath());
        m_orgs.SetTableName(QString::fromLatin1(Layouts::OrganizationTableName));
        m_orgs.Open();
    }
    TTable* OrgTable() const override { return &m_orgs; }
    TTable* EmployeeTable() const override { return nullptr; }
    QString OrgBoxExportText() const override { return {}; }
    void ReopenTables() override {} // the store never moves here

private:
    mutable TTable m_orgs;
};

// A data folder with both tables, made once for the whole run.
struct Store
{
    BenchDataFolder folder;
    std::unique_ptr<RawStore> raw = std::make_unique<RawStore>(folder.StoreFile());
};

Store& TheStore()
{
    static Store store;
    return store;
}

void SetEditor(TSettingsForm& form, const char* name, const QString& text)
{
    form.findChild<QLineEdit*>(QLatin1String(name))->setText(text);
}

void Click(TSettingsForm& form, const char* name)
{
    form.findChild<QPushButton*>(QLatin1String(name))->click();
}

void BM_DialogRename(benchmark::State& state)
{
    Store& store = TheStore();
    Seed(*store.raw);
    BenchMessages answers(BenchMessages::Fail::OnError);
    Views views;
    TSettingsForm form(views);
    form.show(); // lists the organisations and selects the first, Alpha
    bool toOmega = true;
    for (auto _ : state) {
        SetEditor(form, "Edit1", toOmega ? Omega : Alpha);
        Click(form, "Button2");
        toOmega = !toOmega;
    }
    form.hide();
    state.SetItemsProcessed(state.iterations() * (EmployeeCount / 11 * 10));
}

// A showing per rename, as the user does it: the employee view is re-read each time.
void BM_DialogShowAndRename(benchmark::State& state)
{
    Store& store = TheStore();
    Seed(*store.raw);
    BenchMessages answers(BenchMessages::Fail::OnError);
    Views views;
    TSettingsForm form(views);
    bool toOmega = true;
    for (auto _ : state) {
        form.show();
        auto* box = form.findChild<QComboBox*>(QStringLiteral("OrgBox"));
        const int from = box->findText(toOmega ? Alpha : Omega);
        box->setCurrentIndex(from);
        Q_EMIT box->activated(from);
        SetEditor(form, "Edit1", toOmega ? Omega : Alpha);
        Click(form, "Button2");
        form.close();
        toOmega = !toOmega;
    }
    state.SetItemsProcessed(state.iterations() * (EmployeeCount / 11 * 10));
}

void BM_RawRename(benchmark::State& state)
{
    Store& store = TheStore();
    Seed(*store.raw);
    RawStore& raw = *store.raw;
    sqlite3_stmt* org = raw.Prepare("UPDATE config SET Organization120 = ?1 WHERE Organization120 = ?2");
    sqlite3_stmt* employee = raw.Prepare("UPDATE base SET Org120 = ?1 WHERE rowid = ?2");
    bool toOmega = true;
    for (auto _ : state) {
        state.PauseTiming();
        const QString from = toOmega ? Alpha : Omega;
        const QString to = toOmega ? Omega : Alpha;
        const std::vector<sqlite3_int64> rowids = RowidsOf(raw, from);
        state.ResumeTiming();
        raw.Exec("BEGIN IMMEDIATE");
        RawStore::Bind(org, 1, to);
        RawStore::Bind(org, 2, from);
        raw.Run(org);
        RawStore::Bind(employee, 1, to);
        for (sqlite3_int64 rowid : rowids) {
            sqlite3_bind_int64(employee, 2, rowid);
            raw.Run(employee);
        }
        raw.Exec("COMMIT");
        toOmega = !toOmega;
    }
    sqlite3_finalize(org);
    sqlite3_finalize(employee);
    state.SetItemsProcessed(state.iterations() * (EmployeeCount / 11 * 10));
}

void BM_DialogDelete(benchmark::State& state)
{
    Store& store = TheStore();
    BenchMessages answers(BenchMessages::Fail::OnError);
    for (auto _ : state) {
        state.PauseTiming();
        Seed(*store.raw);
        auto views = std::make_unique<Views>();
        auto form = std::make_unique<TSettingsForm>(*views);
        form->show();
        state.ResumeTiming();
        Click(*form, "Button3");
        state.PauseTiming();
        form.reset();
        views.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * (EmployeeCount / 11 * 10));
}

void BM_RawDelete(benchmark::State& state)
{
    Store& store = TheStore();
    RawStore& raw = *store.raw;
    sqlite3_stmt* org = raw.Prepare("DELETE FROM config WHERE Organization120 = ?1");
    sqlite3_stmt* employee = raw.Prepare("DELETE FROM base WHERE rowid = ?1");
    for (auto _ : state) {
        state.PauseTiming();
        Seed(raw);
        const std::vector<sqlite3_int64> rowids = RowidsOf(raw, Alpha);
        state.ResumeTiming();
        raw.Exec("BEGIN IMMEDIATE");
        RawStore::Bind(org, 1, Alpha);
        raw.Run(org);
        for (sqlite3_int64 rowid : rowids) {
            sqlite3_bind_int64(employee, 1, rowid);
            raw.Run(employee);
        }
        raw.Exec("COMMIT");
    }
    sqlite3_finalize(org);
    sqlite3_finalize(employee);
    state.SetItemsProcessed(state.iterations() * (EmployeeCount / 11 * 10));
}

// The main window's views as it holds them after start-up.
class MainWindowViews final : public MainViews
{
public:
    MainWindowViews()
    {
        OpenEmployeeView(m_employees, TPathBuilder::GetEmployeeDBPath());
    }
    TTable* OrgTable() const override { return m_orgs.OrgTable(); }
    TTable* EmployeeTable() const override { return &m_employees; }
    QString OrgBoxExportText() const override { return {}; }
    void ReopenTables() override {} // the store never moves here

private:
    Views m_orgs;
    mutable TTable m_employees;
};

// Heap held while the main window's views and then each dialog are open, with 100,000
// employees; run it alone (--benchmark_filter=BM_OpenEveryWindow) for a meaningful maxrss.
void BM_OpenEveryWindow(benchmark::State& state)
{
    constexpr int Employees = 100'000;
    Store& store = TheStore();
    Seed(*store.raw, Employees);
    BenchMessages answers(BenchMessages::Fail::OnError);
    std::size_t mainViews = 0;
    std::size_t peak = 0;
    for (auto _ : state) {
        Session().CloseAll();
        peak = 0; // the figures of the last showing: the first one also loads fonts and styles
        const std::size_t before = HeapInUse();
        auto sample = [&] { peak = std::max(peak, HeapInUse() - before); };
        {
            MainWindowViews views;
            mainViews = HeapInUse() - before;
            sample();
            TEmployeeAddForm add(views);
            add.show();
            QApplication::processEvents();
            sample();
            TSettingsForm settings(views);
            settings.show();
            QApplication::processEvents();
            sample();
            settings.close();
            add.close();
            if (views.EmployeeTable()->RecordCount() != Employees)
                state.SkipWithError("the main window's view does not hold every employee");
        }
    }
    state.counters["main_views_MB"] = double(mainViews) / (1024.0 * 1024.0);
    state.counters["peak_heap_MB"] = double(peak) / (1024.0 * 1024.0);
    state.counters["maxrss_MB"] = double(MaxRssKb()) / 1024.0;
}

BENCHMARK(BM_OpenEveryWindow)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_RawRename)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_DialogRename)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_DialogShowAndRename)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_RawDelete)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_DialogDelete)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    return RunWindowBenchmarks(argc, argv);
}
