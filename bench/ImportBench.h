#pragma once

#include <QApplication>

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>

#include "bench/BenchSupport.h"
#include "import/TImportForm.h"
#include "import/TOpenDialog.h"
#include "storage/views/TSession.h"
#include "storage/views/TTable.h"

// Times the import window over the shared dBASE source of `records` employees, once per
// iteration, into a store that makeStore() makes afresh: an object with DataDir(), kept
// until the rows are counted. An error box fails the run.
template <class MakeStore>
void TimeImports(benchmark::State& state, int records, MakeStore makeStore)
{
    const ImportSource& source = ImportSource::Shared(records);
    TOpenDialog::SetChooser(
        [&source](const TOpenDialog&) { return std::optional<QString>(source.path); });
    BenchMessages messages(BenchMessages::Fail::OnError);
    for (auto _ : state) {
        state.PauseTiming();
        auto store = makeStore();
        if (!store)
            break;
        auto form = std::make_unique<TImportForm>();
        state.ResumeTiming();

        if (!form->OpenSourceDb())
            state.SkipWithError("the source did not open");
        form->show();
        QApplication::processEvents(); // the import runs as the window comes up
        form->close();

        state.PauseTiming();
        TTable check;
        OpenEmployeeView(check, store->DataDir());
        if (check.RecordCount() != records)
            state.SkipWithError("not every record was imported");
        check.Close();
        form.reset();
        Session().CloseAll();
        store.reset();
        state.ResumeTiming();
    }
    TOpenDialog::SetChooser({});
    state.SetItemsProcessed(state.iterations() * records);
}
