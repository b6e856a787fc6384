// The settings dialog's rename and delete of an organisation with 50,000 employees (among
// 55,000), each beside raw prepared statements doing the same rows in one transaction.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <sqlite3.h>
#include <sys/resource.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <vector>

#include "bench/BenchSupport.h"
#include "core/Platform.h"
#include "dialogs/TEmployeeAddForm.h"
#include "dialogs/TSettingsForm.h"
#include "storage/Collation.h"
#include "storage/Layouts.h"
#include "storage/TPathBuilder.h"
#include "storage/TSession.h"
#include "storage/TTable.h"
#include "ui/MainViews.h"
#include "ui/Messages.h"

namespace {

constexpr int EmployeeCount = 55'000; // every 11th belongs to the other organisation
const QString Alpha = QStringLiteral("Альфа");
const QString Omega = QStringLiteral("Омега");
const QString Beta = QStringLiteral("Бета");

class AnswerOk final : public Messages::Handler
{
public:
    bool Show(Messages::Kind kind, const QString& text, const QString&) override
    {
        if (kind == Messages::Kind::Error)
            throw std::runtime_error(text.toStdString());
        return true;
    }
};

void Check(int rc, sqlite3* db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(sqlite3_errmsg(db));
}

// A second, raw connection to the same store, for seeding and for the baseline.
class RawStore
{
public:
    explicit RawStore(const QString& file)
    {
        Check(sqlite3_open(file.toUtf8().constData(), &m_db), m_db);
        Check(Collation::Register(m_db), m_db);
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~RawStore() { sqlite3_close_v2(m_db); }

    void Exec(const char* sql) { Check(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr), m_db); }

    sqlite3_stmt* Prepare(const char* sql)
    {
        sqlite3_stmt* s = nullptr;
        Check(sqlite3_prepare_v2(m_db, sql, -1, &s, nullptr), m_db);
        return s;
    }

    void Bind(sqlite3_stmt* s, int i, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(s, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }

    void Run(sqlite3_stmt* s)
    {
        Check(sqlite3_step(s), m_db);
        sqlite3_reset(s);
    }

    void Seed(int employees = EmployeeCount)
    {
        Exec("BEGIN IMMEDIATE");
        Exec("DELETE FROM base");
        Exec("DELETE FROM config");
        sqlite3_stmt* org = Prepare("INSERT INTO config VALUES (?1, '40702810', 'Директор', "
                                    "'Петров П.П.', 'Сидорова С.С.', '77', 'RUR')");
        for (const QString& name : {Alpha, Beta}) {
            Bind(org, 1, name);
            Run(org);
        }
        sqlite3_finalize(org);
        sqlite3_stmt* employee = Prepare(
            "INSERT INTO base (Fio100, Accnt, Amount, Export, Org120) VALUES (?1, ?2, '100.00', 1, ?3)");
        for (int i = 0; i < employees; ++i) {
            Bind(employee, 1, QStringLiteral("СОТРУДНИК %1").arg(i, 6, 10, QLatin1Char('0')));
            Bind(employee, 2, QStringLiteral("40817810%1").arg(i, 12, 10, QLatin1Char('0')));
            Bind(employee, 3, i % 11 == 10 ? Beta : Alpha);
            Run(employee);
        }
        sqlite3_finalize(employee);
        Exec("COMMIT");
    }

    std::vector<sqlite3_int64> RowidsOf(const QString& org)
    {
        std::vector<sqlite3_int64> rowids;
        sqlite3_stmt* s = Prepare("SELECT rowid FROM base WHERE Org120 = ?1");
        Bind(s, 1, org);
        while (sqlite3_step(s) == SQLITE_ROW)
            rowids.push_back(sqlite3_column_int64(s, 0));
        sqlite3_finalize(s);
        return rowids;
    }

    sqlite3* Handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

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

private:
    mutable TTable m_orgs;
};

// A data folder with both tables, made once for the whole run.
class Store
{
public:
    Store()
    {
        const QString root = m_dir.path();
        Platform::SetCommonAppDataProvider([root] { return std::optional<QString>(root); });
        QDir().mkpath(TPathBuilder::GetEmployeeDBPath());
        for (auto [name, fields, indexes] :
             {std::tuple{Layouts::EmployeeTableName, Layouts::EmployeeFields(), Layouts::EmployeeIndexes()},
              std::tuple{Layouts::OrganizationTableName, Layouts::OrganizationFields(),
                         Layouts::OrganizationIndexes()}}) {
            TTable table;
            table.SetDatabaseName(TPathBuilder::GetEmployeeDBPath());
            table.SetTableName(QString::fromLatin1(name));
            table.FieldDefs() = fields;
            table.IndexDefs() = indexes;
            table.CreateTable();
        }
        raw = std::make_unique<RawStore>(TPathBuilder::GetEmployeeDBPath() +
                                         QStringLiteral("store.sqlite3"));
    }

    QTemporaryDir m_dir;
    std::unique_ptr<RawStore> raw;
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
    store.raw->Seed();
    AnswerOk answers;
    Messages::SetHandler(&answers);
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
    Messages::SetHandler(nullptr);
    state.SetItemsProcessed(state.iterations() * (EmployeeCount / 11 * 10));
}

// A showing per rename, as the user does it: the employee view is re-read each time.
void BM_DialogShowAndRename(benchmark::State& state)
{
    Store& store = TheStore();
    store.raw->Seed();
    AnswerOk answers;
    Messages::SetHandler(&answers);
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
    Messages::SetHandler(nullptr);
    state.SetItemsProcessed(state.iterations() * (EmployeeCount / 11 * 10));
}

void BM_RawRename(benchmark::State& state)
{
    Store& store = TheStore();
    store.raw->Seed();
    RawStore& raw = *store.raw;
    sqlite3_stmt* org = raw.Prepare("UPDATE config SET Organization120 = ?1 WHERE Organization120 = ?2");
    sqlite3_stmt* employee = raw.Prepare("UPDATE base SET Org120 = ?1 WHERE rowid = ?2");
    bool toOmega = true;
    for (auto _ : state) {
        state.PauseTiming();
        const QString from = toOmega ? Alpha : Omega;
        const QString to = toOmega ? Omega : Alpha;
        const std::vector<sqlite3_int64> rowids = raw.RowidsOf(from);
        state.ResumeTiming();
        raw.Exec("BEGIN IMMEDIATE");
        raw.Bind(org, 1, to);
        raw.Bind(org, 2, from);
        raw.Run(org);
        raw.Bind(employee, 1, to);
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
    AnswerOk answers;
    Messages::SetHandler(&answers);
    for (auto _ : state) {
        state.PauseTiming();
        store.raw->Seed();
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
    Messages::SetHandler(nullptr);
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
        raw.Seed();
        const std::vector<sqlite3_int64> rowids = raw.RowidsOf(Alpha);
        state.ResumeTiming();
        raw.Exec("BEGIN IMMEDIATE");
        raw.Bind(org, 1, Alpha);
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
        m_employees.SetDatabaseName(TPathBuilder::GetEmployeeDBPath());
        m_employees.SetTableName(QString::fromLatin1(Layouts::EmployeeTableName));
        m_employees.SetIndexName(QStringLiteral("Fio_Accnt"));
        m_employees.Open();
    }
    TTable* OrgTable() const override { return m_orgs.OrgTable(); }
    TTable* EmployeeTable() const override { return &m_employees; }
    QString OrgBoxExportText() const override { return {}; }

private:
    Views m_orgs;
    mutable TTable m_employees;
};

long MaxRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Heap held while the main window's views and then each dialog are open, with 100,000
// employees; run it alone (--benchmark_filter=BM_OpenEveryWindow) for a meaningful maxrss.
void BM_OpenEveryWindow(benchmark::State& state)
{
    constexpr int Employees = 100'000;
    Store& store = TheStore();
    store.raw->Seed(Employees);
    AnswerOk answers;
    Messages::SetHandler(&answers);
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
    Messages::SetHandler(nullptr);
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
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Session().CloseAll();
    return 0;
}
