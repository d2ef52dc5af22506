// Bit utilities and shift registers at the sizes the generation chain asks for.
#include <benchmark/benchmark.h>

#include "bluetooth/bit_utils.h"
#include "bluetooth/settings_editor.h"
#include "bluetooth/shift_registers.h"
#include "bluetooth/size_est.h"

static void PN9_OnePayload(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(bt::PNgenerator(9, 216));
}
BENCHMARK(PN9_OnePayload);

static void PN15_ContinuousPattern(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(bt::PNgenerator(15, 8 * 32767));
    state.SetItemsProcessed(state.iterations() * 8 * 32767);
}
BENCHMARK(PN15_ContinuousPattern)->Unit(benchmark::kMicrosecond);

static void HecChecksum(benchmark::State& state) {
    const bt::Bits g = {1, 0, 1, 0, 0, 1, 1, 1, 1};
    const bt::Bits init = {1, 1, 1, 0, 0, 0, 1, 0};
    const bt::Bits data = bt::PNgenerator(9, 10);
    for (auto _ : state) benchmark::DoNotOptimize(bt::LfsrChecksum(g, init, data));
}
BENCHMARK(HecChecksum);

static void EditAndProject(benchmark::State& state) {
    const bt::Parameters p;
    const bt::EditContext ctx;
    for (auto _ : state) benchmark::DoNotOptimize(bt::editField(p, "OverSampling", "20", ctx));
}
BENCHMARK(EditAndProject);
