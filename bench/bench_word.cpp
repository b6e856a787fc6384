// 100 statements of 100 rows each through the statement engine, beside copying the template
// package 100 times in the same run (the least any statement can cost: one read, one write).
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <stdexcept>

#include "export/word/WordAutomation.h"

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

} // namespace

BENCHMARK(BM_CopyTemplate)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_EngineStatements)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_MAIN();
