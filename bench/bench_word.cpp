// 100 statements of 100 rows each, beside copying the template package 100 times in the same
// run (the least any statement can cost: one read, one write): through the engine alone, as
// one statement of all 10,000 rows, and as the Word export window makes them for "Все" over
// 100 organisations of 100 flagged employees each, from the store.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>
#include <stdexcept>

#include "bench/BenchSupport.h"
#include "core/Platform.h"
#include "export/DocumentViewer.h"
#include "export/TWordExportForm.h"
#include "export/word/WordAutomation.h"
#include "storage/layouts/Layouts.h"
#include "storage/views/TTable.h"
#include "storage/views/TTransaction.h"
#include "tests/support/StoreRows.h"
#include "tests/word/WordTestKit.h"

namespace {

constexpr int Statements = 100;
constexpr int Rows = 100;
const QString Template = QStringLiteral(EXPORT_TEMPLATE);

void BuildStatement(const QString& path, int number, int rows = Rows)
{
    WordApplication word;
    word.Documents().Open(Template);
    WordTestKit::ReplaceFirst(word, QStringLiteral("<<DIRECTOR>>"), QStringLiteral("И.И. Иванов"));
    WordTestKit::ReplaceFirst(word, QStringLiteral("<<BOOKKEEPER>>"), QStringLiteral("П.П. Петрова"));
    WordTestKit::ReplaceFirst(word, QStringLiteral("<<NAMECOMPANY>>"), QStringLiteral("ООО Организация %1").arg(number));
    WordSelection selection = word.Selection();
    selection.SetEnd(0);
    selection.SetStart(0);
    selection.Find().SetText(QStringLiteral("<<TABLE>>"));
    if (!selection.Find().Execute())
        throw std::runtime_error("no table");
    WordTable table = selection.Tables().Item(1);
    for (int row = 2; row < rows + 2; ++row) {
        if (row > 2)
            table.Rows().Add();
        WordColumns columns = table.Columns();
        columns.Item(1).Cells().Item(row).Range().SetText(QString::number(row - 1));
        columns.Item(2).Cells().Item(row).Range().SetText(
            QStringLiteral("СОТРУДНИК %1 ИМЯ ОТЧЕСТВО").arg(row));
        columns.Item(3).Cells().Item(row).Range().SetText(
            QStringLiteral("408178101000000%1").arg(row, 5, 10, QLatin1Char('0')));
        columns.Item(4).Cells().Item(row).Range().SetText(QStringLiteral("%1.50").arg(row * 100));
    }
    WordTestKit::ReplaceFirst(word, QStringLiteral("<<SUM>>"), QStringLiteral("509950.00"));
    word.Selection().Font().SetUnderline(true);
    WordTestKit::ReplaceFirst(word, QStringLiteral("<<SPELLSUM>>"),
            QStringLiteral("пятьсот девять тысяч девятьсот пятьдесят"));
    word.Selection().Font().SetUnderline(true);
    word.SetVisible(true);
    word.ActiveDocument().SaveAs(path);
}

void BM_CopyTemplate(benchmark::State& state)
{
    QTemporaryDir dir;
    for (auto _ : state) {
        for (int i = 0; i < Statements; ++i) {
            const QString target = dir.filePath(QStringLiteral("copy_%1.doc").arg(i));
            QFile::remove(target);
            if (!QFile::copy(Template, target))
                throw std::runtime_error("copy failed");
        }
    }
    state.counters["s_per_statement"] = benchmark::Counter(
        Statements, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_EngineStatements(benchmark::State& state)
{
    QTemporaryDir dir;
    for (auto _ : state)
        for (int i = 0; i < Statements; ++i)
            BuildStatement(dir.filePath(QStringLiteral("Ведомость_%1.doc").arg(i)), i);
    state.counters["s_per_statement"] = benchmark::Counter(
        Statements, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The same 10,000 rows in one statement: a long table must cost what short ones do.
void BM_EngineOneLongStatement(benchmark::State& state)
{
    QTemporaryDir dir;
    for (auto _ : state)
        BuildStatement(dir.filePath(QStringLiteral("Ведомость.doc")), 0, Statements * Rows);
}

// A data folder with 100 organisations of 100 flagged employees each.
class Store
{
public:
    Store()
    {
        Platform::SetProgramFolder(QFileInfo(Template).dir().absolutePath() + QStringLiteral("/.."));
        const QString folder = m_folder.DataDir();
        OpenEmployeeView(employees, folder);
        orgs.SetDatabaseName(folder);
        orgs.SetTableName(QString::fromLatin1(Layouts::OrganizationTableName));
        orgs.Open();
        TTransaction pass(folder);
        for (int o = 0; o < Statements; ++o) {
            const QString name = QStringLiteral("ООО \"Организация %1\"").arg(o, 3, 10, QLatin1Char('0'));
            StoreRows::AppendOrganization(
                orgs, {name, QStringLiteral("40702810900000000001"), QStringLiteral("Директор"),
                       QStringLiteral("Иванов Иван Иванович"), QStringLiteral("Петрова Анна"),
                       QString::number(o + 1), QStringLiteral("RUR")});
            for (int e = 0; e < Rows; ++e)
                StoreRows::AppendEmployee(
                    employees, QStringLiteral("СОТРУДНИК %1 %2 ОТЧЕСТВО").arg(o).arg(e),
                    QStringLiteral("408178101%1%2").arg(o, 5, 10, QLatin1Char('0')).arg(e, 6, 10, QLatin1Char('0')),
                    QStringLiteral("%1.50").arg(e * 100), name, true);
        }
        pass.Commit();
        orgs.First();
        employees.First();
    }

    BenchDataFolder m_folder;
    TTable employees;
    TTable orgs;
};

void BM_WindowExportAll(benchmark::State& state)
{
    Store store;
    BenchMessages messages; // the closing one per export; a failed statement adds its own
    int opened = 0;
    DocumentViewer::SetOpener([&opened](const QString&) { ++opened; });
    TWordExportForm form;
    for (auto _ : state) {
        form.SetData(store.employees, store.orgs, QStringLiteral("Все"));
        form.StartButton->click();
    }
    if (opened != Statements * static_cast<int>(state.iterations()) ||
        messages.shown != static_cast<int>(state.iterations()))
        throw std::runtime_error("not every statement was made");
    DocumentViewer::SetOpener({});
    state.counters["s_per_statement"] = benchmark::Counter(
        Statements, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_CopyTemplate)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_EngineStatements)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_EngineOneLongStatement)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_WindowExportAll)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

int main(int argc, char** argv)
{
    return RunWindowBenchmarks(argc, argv);
}
