// BlockIndexBench.cpp: append rate and memory per copy of the block index at scan scale.
//
// Two shapes of file: a damaged store where almost every BID has one copy, and real stores
// tiled end to end, where every BID has thousands of copies.
#include "engine/reader/BlockIndex.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <optional>

namespace krv {
namespace {

// Arguments: copies, distinct BIDs. The benchmark's time covers appending and sealing;
// the counters split the two (wall clock).
void BM_BlockIndexAppendAndSeal(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    const auto copies = static_cast<uint64_t>(state.range(0));
    const auto bids = static_cast<uint64_t>(state.range(1));
    size_t appendingBytes = 0;
    size_t sealedBytes = 0;
    double appendSeconds = 0;
    double sealSeconds = 0;
    for (auto _ : state) {
        std::optional<BlockIndex> index(std::in_place);
        BlockRecord r;
        r.storedSize = 512;
        r.cb = 500;
        const Clock::time_point start = Clock::now();
        for (uint64_t i = 0; i < copies; ++i) {
            r.bid = ((i % bids) + 1) * 4;
            r.offset = i * 512;
            index->Append(r);
        }
        const Clock::time_point appended = Clock::now();
        appendingBytes = index->MemoryBytes(); // constant time
        index->Seal();
        const Clock::time_point sealed = Clock::now();
        appendSeconds += std::chrono::duration<double>(appended - start).count();
        sealSeconds += std::chrono::duration<double>(sealed - appended).count();

        state.PauseTiming();
        sealedBytes = index->MemoryBytes();
        if (index->RecordCount() != copies || index->KeyCount() != bids) {
            state.SkipWithError("index lost records");
        }
        index.reset();
        state.ResumeTiming();
    }
    const auto runs = static_cast<double>(state.iterations());
    const auto n = static_cast<double>(copies);
    state.counters["bytes_per_copy"] = static_cast<double>(sealedBytes) / n;
    state.counters["bytes_per_copy_before_seal"] = static_cast<double>(appendingBytes) / n;
    state.counters["appends_per_s"] = n * runs / appendSeconds;
    state.counters["seal_ms"] = sealSeconds / runs * 1000;
}
BENCHMARK(BM_BlockIndexAppendAndSeal)
    ->Args({10'000'000, 10'000'000})
    ->Args({10'000'000, 2'500})
    ->Args({13'000'000, 13'000'000}) // just past a table growth: the worst fill
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// Lookups of present BIDs in a sealed index of one copy each, in scattered order.
void BM_BlockIndexFind(benchmark::State& state)
{
    const auto copies = static_cast<uint64_t>(state.range(0));
    BlockIndex index;
    BlockRecord r;
    for (uint64_t i = 0; i < copies; ++i) {
        r.bid = (i + 1) * 4;
        r.offset = i * 512;
        index.Append(r);
    }
    index.Seal();
    uint64_t i = 0;
    for (auto _ : state) {
        i = (i + 0x9E3779B1) % copies;
        benchmark::DoNotOptimize(index.Find((i + 1) * 4));
    }
    state.counters["finds_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BlockIndexFind)->Arg(10'000'000);

} // namespace
} // namespace krv
