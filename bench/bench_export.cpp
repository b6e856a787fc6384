// The text register export for "Все" with 1,000 organisations and 100,000 flagged employees,
// beside a baseline that writes the same files from employees already grouped by
// organisation, and the memory the grouping takes beside the employee view's own; and the
// register check the export dialog runs before it, beside the export in the same run.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <sqlite3.h>

#include "bench/BenchSupport.h"
#include "export/AtomicFileWriter.h"
#include "export/ExportData.h"
#include "export/RegisterCheck.h"
#include "export/TextRegister.h"
#include "export/TextRegisterExport.h"
#include "storage/layouts/Layouts.h"
#include "storage/TPathBuilder.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"

namespace {

constexpr int OrganisationCount = 1'000;
constexpr int EmployeeCount = 100'000;

QString OrgName(int i)
{
    return QStringLiteral("ООО \"Организация/%1\"").arg(i, 4, 10, QLatin1Char('0'));
}

// Both tables in a temporary data folder, seeded through raw SQLite.
class Store
{
public:
    Store()
    {
        Seed();
        Organisations = OpenTable(Layouts::OrganizationTableName);
        Organisations->Open();
        const std::size_t before = HeapInUse();
        Employees = OpenTable(Layouts::EmployeeTableName);
        Employees->SetIndexName(QString::fromLatin1(Layouts::EmployeeIndex));
        Employees->Open();
        ViewHeap = HeapInUse() - before;
    }

    std::unique_ptr<TTable> OpenTable(const char* name) const
    {
        auto table = std::make_unique<TTable>();
        table->SetDatabaseName(m_folder.DataDir());
        table->SetTableName(QString::fromLatin1(name));
        return table;
    }

    void Seed() const
    {
        RawStore raw(m_folder.StoreFile());
        raw.Exec("BEGIN IMMEDIATE");
        sqlite3_stmt* org = raw.Prepare("INSERT INTO config VALUES (?1, ?2, 'Директор', 'Петров П.П.', "
                                        "'Сидорова С.С.', ?3, 'RUR')");
        for (int i = 0; i < OrganisationCount; ++i) {
            RawStore::Bind(org, 1, OrgName(i));
            RawStore::Bind(org, 2, QStringLiteral("40702810%1").arg(i, 12, 10, QLatin1Char('0')));
            RawStore::Bind(org, 3, QString::number(i));
            raw.Run(org);
        }
        sqlite3_finalize(org);
        sqlite3_stmt* employee = raw.Prepare("INSERT INTO base (Fio100, Accnt, Amount, Export, Org120) "
                                             "VALUES (?1, ?2, ?3, 1, ?4)");
        for (int i = 0; i < EmployeeCount; ++i) {
            RawStore::Bind(employee, 1,
                           QStringLiteral("СОТРУДНИК %1 ИВАНОВИЧ").arg(i, 6, 10, QLatin1Char('0')));
            RawStore::Bind(employee, 2, QStringLiteral("40817810%1").arg(i, 12, 10, QLatin1Char('0')));
            RawStore::Bind(
                employee, 3,
                QStringLiteral("%1.%2").arg(1000 + i % 9000).arg(i % 100, 2, 10, QLatin1Char('0')));
            RawStore::Bind(employee, 4, OrgName(i % OrganisationCount));
            raw.Run(employee);
        }
        sqlite3_finalize(employee);
        raw.Exec("COMMIT");
    }

    BenchDataFolder m_folder;
    std::unique_ptr<TTable> Employees;
    std::unique_ptr<TTable> Organisations;
    std::size_t ViewHeap = 0;
};

Store& TheStore()
{
    static Store store;
    return store;
}

// The same files, from employees grouped before the clock starts.
void WritePreGrouped(const QList<ExportData::Organisation>& organisations,
                     const QHash<QString, QList<ExportData::ListedEmployee>>& listed)
{
    for (const ExportData::Organisation& organisation : organisations) {
        const QList<ExportData::ListedEmployee> employees =
            listed.value(organisation.Organization120);
        WriteFileAtomically(
            TPathBuilder::GetOutTxtPath(ExportData::FileTag(organisation.Organization120)),
            [&](QIODevice& device) { TextRegister::Write(device, organisation, employees); });
    }
}

void BM_ExportAllBesidePreGrouped(benchmark::State& state)
{
    Store& store = TheStore();
    const auto organisations = ExportData::AllOrganisations(*store.Organisations);
    const std::size_t before = HeapInUse();
    const auto listed = ExportData::ListedEmployeesByOrganisation(*store.Employees);
    const std::size_t groupingHeap = HeapInUse() - before;

    double exportSeconds = 0;
    double baselineSeconds = 0;
    QElapsedTimer timer;
    for (auto _ : state) {
        timer.start();
        WritePreGrouped(organisations, listed);
        baselineSeconds += timer.nsecsElapsed() / 1e9;
        timer.start();
        ExportTextRegisters(*store.Employees, *store.Organisations, ExportData::AllOrganizations);
        const double seconds = timer.nsecsElapsed() / 1e9;
        exportSeconds += seconds;
        state.SetIterationTime(seconds);
    }
    const double n = double(state.iterations());
    state.counters["export_ms"] = exportSeconds / n * 1e3;
    state.counters["pregrouped_ms"] = baselineSeconds / n * 1e3;
    state.counters["ratio"] = exportSeconds / baselineSeconds;
    state.counters["view_MB"] = double(store.ViewHeap) / (1 << 20);
    state.counters["grouping_MB"] = double(groupingHeap) / (1 << 20);
    state.SetItemsProcessed(state.iterations() * EmployeeCount);
}

// The dialog's check: the rows read as stored, then the findings; and the findings alone.
void BM_CheckAllBesideExport(benchmark::State& state)
{
    Store& store = TheStore();
    double exportSeconds = 0;
    double checkSeconds = 0;
    double findingsSeconds = 0;
    qsizetype findings = 0;
    QElapsedTimer timer;
    for (auto _ : state) {
        timer.start();
        ExportTextRegisters(*store.Employees, *store.Organisations, ExportData::AllOrganizations);
        exportSeconds += timer.nsecsElapsed() / 1e9;
        timer.start();
        const ExportData::ExportRows rows = ExportData::ReadExport(
            *store.Employees, *store.Organisations, ExportData::AllOrganizations);
        const qint64 read = timer.nsecsElapsed();
        findings = RegisterCheck::Findings(rows).size();
        const double seconds = timer.nsecsElapsed() / 1e9;
        findingsSeconds += seconds - read / 1e9;
        checkSeconds += seconds;
        state.SetIterationTime(seconds);
    }
    const double n = double(state.iterations());
    state.counters["check_ms"] = checkSeconds / n * 1e3;
    state.counters["findings_ms"] = findingsSeconds / n * 1e3;
    state.counters["export_ms"] = exportSeconds / n * 1e3;
    state.counters["ratio"] = checkSeconds / exportSeconds;
    state.counters["findings"] = double(findings);
    state.SetItemsProcessed(state.iterations() * EmployeeCount);
}

} // namespace

BENCHMARK(BM_CheckAllBesideExport)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

BENCHMARK(BM_ExportAllBesidePreGrouped)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    TheStore().Employees.reset();
    TheStore().Organisations.reset();
    Session().CloseAll();
    return 0;
}
