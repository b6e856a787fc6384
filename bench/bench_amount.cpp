// NormalizeAmount, and the import's reading of written amounts, over a million stored-looking
// amount texts, against two baselines:
// a deep copy of each text (the allocation any result needs) and toDouble + QString::number.
#include "amount/Amount.h"

#include <benchmark/benchmark.h>

#include <QString>

#include <cstdint>
#include <vector>

namespace {

constexpr int InputCount = 1'000'000;

// Deterministic mix: whole, one, two and three decimals, empty, spaces, commas.
const std::vector<QString>& Inputs()
{
    static const std::vector<QString> inputs = [] {
        std::vector<QString> list;
        list.reserve(InputCount);
        std::uint32_t seed = 12345;
        auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return seed >> 8;
        };
        for (int i = 0; i < InputCount; ++i) {
            const QString whole = QString::number(next() % 1'000'000);
            const QString cents = QString::number(next() % 1000).rightJustified(3, u'0');
            switch (i % 8) {
            case 0:
                list.push_back(whole);
                break;
            case 1:
                list.push_back(whole + u'.' + cents.first(1));
                break;
            case 2:
                list.push_back(whole + u'.' + cents.first(2));
                break;
            case 3:
                list.push_back(whole + u'.' + cents);
                break;
            case 4:
                list.push_back(QString());
                break;
            case 5:
                list.push_back(u' ' + whole + u'.' + cents.first(2));
                break;
            case 6:
                list.push_back(whole.first(1) + u' ' + whole.mid(1) + u'.' + cents.first(2));
                break;
            default:
                list.push_back(whole + u',' + cents.first(2));
                break;
            }
        }
        return list;
    }();
    return inputs;
}

void BM_NormalizeAmount(benchmark::State& state)
{
    const auto& inputs = Inputs();
    std::vector<QString> out(inputs.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < inputs.size(); ++i)
            out[i] = Amount::NormalizeAmount(inputs[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(inputs.size()));
}

void BM_ReadWrittenAmount(benchmark::State& state)
{
    const auto& inputs = Inputs();
    std::vector<QString> out(inputs.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < inputs.size(); ++i)
            out[i] = Amount::ReadWrittenAmount(inputs[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(inputs.size()));
}

void BM_BaselineDeepCopy(benchmark::State& state)
{
    const auto& inputs = Inputs();
    std::vector<QString> out(inputs.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < inputs.size(); ++i)
            out[i] = QString(inputs[i].constData(), inputs[i].size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(inputs.size()));
}

void BM_BaselineToDoubleNumber(benchmark::State& state)
{
    const auto& inputs = Inputs();
    std::vector<QString> out(inputs.size());
    for (auto _ : state) {
        for (std::size_t i = 0; i < inputs.size(); ++i)
            out[i] = QString::number(inputs[i].toDouble(), 'f', 2);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(inputs.size()));
}

} // namespace

BENCHMARK(BM_NormalizeAmount)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadWrittenAmount)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineDeepCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineToDoubleNumber)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
