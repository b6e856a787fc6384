// The text register export for "Все" with 1,000 organisations and 100,000 flagged employees,
// beside a baseline that writes the same files from employees already grouped by
// organisation, and the memory the grouping takes beside the employee view's own.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <stdexcept>

#include "bench/BenchSupport.h"
#include "core/Platform.h"
#include "export/AtomicFileWriter.h"
#include "export/ExportData.h"
#include "export/TextRegister.h"
#include "export/TextRegisterExport.h"
#include "storage/Collation.h"
#include "storage/Layouts.h"
#include "storage/TPathBuilder.h"
#include "storage/TSession.h"
#include "storage/TTable.h"

namespace {

constexpr int OrganisationCount = 1'000;
constexpr int EmployeeCount = 100'000;

void Check(int rc, sqlite3* db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(sqlite3_errmsg(db));
}

QString OrgName(int i)
{
    return QStringLiteral("ООО \"Организация/%1\"").arg(i, 4, 10, QLatin1Char('0'));
}

void Bind(sqlite3_stmt* s, int i, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(s, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

// Both tables in a temporary data folder, seeded through raw SQLite.
class Store
{
public:
    Store()
    {
        const QString root = m_dir.path();
        Platform::SetCommonAppDataProvider([root] { return std::optional<QString>(root); });
        QDir().mkpath(TPathBuilder::GetEmployeeDBPath());
        QDir().mkpath(QFileInfo(TPathBuilder::GetOutTxtPath({})).path());
        Employees = OpenTable(Layouts::EmployeeTableName, Layouts::EmployeeFields(),
                              Layouts::EmployeeIndexes());
        Organisations = OpenTable(Layouts::OrganizationTableName, Layouts::OrganizationFields(),
                                  Layouts::OrganizationIndexes());
        Seed();
        Organisations->Open();
        const std::size_t before = HeapInUse();
        Employees->SetIndexName(QString::fromLatin1(Layouts::EmployeeIndex));
        Employees->Open();
        ViewHeap = HeapInUse() - before;
    }

    std::unique_ptr<TTable> OpenTable(const char* name, const TFieldDefs& fields,
                                      const TIndexDefs& indexes)
    {
        auto table = std::make_unique<TTable>();
        table->SetDatabaseName(TPathBuilder::GetEmployeeDBPath());
        table->SetTableName(QString::fromLatin1(name));
        table->FieldDefs() = fields;
        table->IndexDefs() = indexes;
        table->CreateTable();
        return table;
    }

    void Seed()
    {
        sqlite3* db = nullptr;
        const QString file = TPathBuilder::GetEmployeeDBPath() + QStringLiteral("store.sqlite3");
        Check(sqlite3_open(file.toUtf8().constData(), &db), db);
        Check(Collation::Register(db), db);
        Check(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), db);
        sqlite3_stmt* org = nullptr;
        Check(sqlite3_prepare_v2(db,
                                 "INSERT INTO config VALUES (?1, ?2, 'Директор', 'Петров П.П.', "
                                 "'Сидорова С.С.', ?3, 'RUR')",
                                 -1, &org, nullptr),
              db);
        for (int i = 0; i < OrganisationCount; ++i) {
            Bind(org, 1, OrgName(i));
            Bind(org, 2, QStringLiteral("40702810%1").arg(i, 12, 10, QLatin1Char('0')));
            Bind(org, 3, QString::number(i));
            Check(sqlite3_step(org), db);
            sqlite3_reset(org);
        }
        sqlite3_finalize(org);
        sqlite3_stmt* employee = nullptr;
        Check(sqlite3_prepare_v2(db,
                                 "INSERT INTO base (Fio100, Accnt, Amount, Export, Org120) "
                                 "VALUES (?1, ?2, ?3, 1, ?4)",
                                 -1, &employee, nullptr),
              db);
        for (int i = 0; i < EmployeeCount; ++i) {
            Bind(employee, 1,
                 QStringLiteral("СОТРУДНИК %1 ИВАНОВИЧ").arg(i, 6, 10, QLatin1Char('0')));
            Bind(employee, 2, QStringLiteral("40817810%1").arg(i, 12, 10, QLatin1Char('0')));
            Bind(
                employee, 3,
                QStringLiteral("%1.%2").arg(1000 + i % 9000).arg(i % 100, 2, 10, QLatin1Char('0')));
            Bind(employee, 4, OrgName(i % OrganisationCount));
            Check(sqlite3_step(employee), db);
            sqlite3_reset(employee);
        }
        sqlite3_finalize(employee);
        Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
        sqlite3_close_v2(db);
    }

    QTemporaryDir m_dir;
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

} // namespace

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
