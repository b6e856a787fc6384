// 100 statements of 100 rows each, beside copying the template package 100 times in the same
// run (the least any statement can cost: one read, one write): through the engine alone, and
// as the Word export window makes them for "Все" over 100 organisations of 100 flagged
// employees each, from the store.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>
#include <stdexcept>

#include "core/Platform.h"
#include "export/DocumentViewer.h"
#include "export/TWordExportForm.h"
#include "export/word/WordAutomation.h"
#include "storage/Layouts.h"
#include "storage/TPathBuilder.h"
#include "storage/TSession.h"
#include "storage/TTable.h"
#include "storage/TTransaction.h"
#include "ui/Messages.h"

namespace {

constexpr int Statements = 100;
constexpr int Rows = 100;
const QString Template = QStringLiteral(EXPORT_TEMPLATE);

void Replace(WordApplication& word, const QString& find, const QString& replacement)
{
    WordSelection selection = word.Selection();
    selection.SetEnd(0);
    selection.SetStart(0);
    WordFind finder = selection.Find();
    finder.SetForward(true);
    finder.SetText(find);
    if (finder.Execute()) {
        selection.Delete();
        selection.InsertAfter(replacement);
    }
}

void BuildStatement(const QString& path, int number)
{
    WordApplication word;
    word.Documents().Open(Template);
    Replace(word, QStringLiteral("<<DIRECTOR>>"), QStringLiteral("И.И. Иванов"));
    Replace(word, QStringLiteral("<<BOOKKEEPER>>"), QStringLiteral("П.П. Петрова"));
    Replace(word, QStringLiteral("<<NAMECOMPANY>>"), QStringLiteral("ООО Организация %1").arg(number));
    WordSelection selection = word.Selection();
    selection.SetEnd(0);
    selection.SetStart(0);
    selection.Find().SetText(QStringLiteral("<<TABLE>>"));
    if (!selection.Find().Execute())
        throw std::runtime_error("no table");
    WordTable table = selection.Tables().Item(1);
    for (int row = 2; row < Rows + 2; ++row) {
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
    Replace(word, QStringLiteral("<<SUM>>"), QStringLiteral("509950.00"));
    word.Selection().Font().SetUnderline(true);
    Replace(word, QStringLiteral("<<SPELLSUM>>"),
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

// Any message during the export is a failed statement: the figures would mean nothing.
class FailOnMessage final : public Messages::Handler
{
public:
    bool Show(Messages::Kind, const QString& text, const QString&) override
    {
        throw std::runtime_error(text.toStdString());
    }
    bool ShowDetailed(Messages::Kind, const QString& text, const QString&,
                      const QString& details) override
    {
        throw std::runtime_error((text + QStringLiteral(": ") + details).toStdString());
    }
};

// A data folder with 100 organisations of 100 flagged employees each.
class Store
{
public:
    Store()
    {
        const QString root = m_dir.path();
        Platform::SetCommonAppDataProvider([root] { return std::optional<QString>(root); });
        Platform::SetProgramFolder(QFileInfo(Template).dir().absolutePath() + QStringLiteral("/.."));
        QDir().mkpath(TPathBuilder::GetEmployeeDBPath());
        QDir().mkpath(QFileInfo(TPathBuilder::GetOutWordPath(QString())).path());
        const QString folder = TPathBuilder::GetEmployeeDBPath();
        Open(employees, folder, Layouts::EmployeeTableName, Layouts::EmployeeFields(),
             Layouts::EmployeeIndexes());
        employees.SetIndexName(QString::fromLatin1(Layouts::EmployeeIndex));
        Open(orgs, folder, Layouts::OrganizationTableName, Layouts::OrganizationFields(),
             Layouts::OrganizationIndexes());
        TTransaction pass(folder);
        for (int o = 0; o < Statements; ++o) {
            const QString name = QStringLiteral("ООО \"Организация %1\"").arg(o, 3, 10, QLatin1Char('0'));
            orgs.Append();
            orgs.FieldByName(QStringLiteral("Organization120")).SetAsString(name);
            orgs.FieldByName(QStringLiteral("Director")).SetAsString(QStringLiteral("Иванов Иван Иванович"));
            orgs.FieldByName(QStringLiteral("Accountant")).SetAsString(QStringLiteral("Петрова Анна"));
            orgs.FieldByName(QStringLiteral("Accnt")).SetAsString(QStringLiteral("40702810900000000001"));
            orgs.FieldByName(QStringLiteral("Position")).SetAsString(QStringLiteral("Директор"));
            orgs.FieldByName(QStringLiteral("Contract")).SetAsString(QString::number(o + 1));
            orgs.FieldByName(QStringLiteral("Crnc")).SetAsString(QStringLiteral("RUR"));
            orgs.Post();
            for (int e = 0; e < Rows; ++e) {
                employees.Append();
                employees.FieldByName(QStringLiteral("Fio100"))
                    .SetAsString(QStringLiteral("СОТРУДНИК %1 %2 ОТЧЕСТВО").arg(o).arg(e));
                employees.FieldByName(QStringLiteral("Accnt"))
                    .SetAsString(QStringLiteral("408178101%1%2").arg(o, 5, 10, QLatin1Char('0')).arg(e, 6, 10, QLatin1Char('0')));
                employees.FieldByName(QStringLiteral("Amount")).SetAsString(QStringLiteral("%1.50").arg(e * 100));
                employees.FieldByName(QStringLiteral("Org120")).SetAsString(name);
                employees.FieldByName(QStringLiteral("Export")).SetAsBoolean(true);
                employees.Post();
            }
        }
        pass.Commit();
        orgs.First();
        employees.First();
    }

    QTemporaryDir m_dir;
    TTable employees;
    TTable orgs;

private:
    static void Open(TTable& table, const QString& folder, const char* name, TFieldDefs fields,
                     TIndexDefs indexes)
    {
        table.SetDatabaseName(folder);
        table.SetTableName(QString::fromLatin1(name));
        table.FieldDefs() = std::move(fields);
        table.IndexDefs() = std::move(indexes);
        table.CreateTable();
        table.Open();
    }
};

void BM_WindowExportAll(benchmark::State& state)
{
    Store store;
    FailOnMessage failOnMessage;
    Messages::SetHandler(&failOnMessage);
    int opened = 0;
    DocumentViewer::SetOpener([&opened](const QString&) { ++opened; });
    TWordExportForm form;
    for (auto _ : state) {
        form.SetData(store.employees, store.orgs, QStringLiteral("Все"));
        form.StartButton->click();
    }
    if (opened != Statements * static_cast<int>(state.iterations()))
        throw std::runtime_error("not every statement was made");
    DocumentViewer::SetOpener({});
    Messages::SetHandler(nullptr);
    state.counters["s_per_statement"] = benchmark::Counter(
        Statements, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_CopyTemplate)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_EngineStatements)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_WindowExportAll)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

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
