// Plot data on the largest waveform (DH1 packets carrying "Continuous
// PN15" at 20 samples per symbol, 30.35 M samples), quantised to 14 bits as
// the plot menu hands it over: CCDF counts, the full-length spectrum (its
// row, and its levels alone as the window asks), the 200-slice waterfall,
// the envelope levels and one zoomed view of them.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <ctime>

#include <memory>

#include "bluetooth/generate.h"
#include "bluetooth/noise.h"
#include "bluetooth/settings_editor.h"
#include "plots/ccdf.h"
#include "plots/envelope.h"
#include "plots/spectrum.h"
#include "bench_support.h"

namespace {

const bt::ComplexRow& largest() {
    static const std::unique_ptr<bt::ComplexRow> w = [] {
        auto q = std::make_unique<bt::ComplexRow>(bt::Calculate(benchsupport::largestSettings()).waveform);
        bt::applyDacResInPlace(*q, 14);
        return q;
    }();
    return *w;
}

constexpr double kRate = 20e6;


void counters(benchmark::State& state) {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    state.counters["samples"] = static_cast<double>(largest().size());
    state.counters["peakRSS_MB"] = static_cast<double>(u.ru_maxrss) / 1e3;
}

void BM_CcdfData(benchmark::State& state) {
    const auto& w = largest();
    const benchsupport::ProcessCpu cpu{state};
    for (auto _ : state) benchmark::DoNotOptimize(bt::plots::ccdfData(w).Y.data());
    counters(state);
}
BENCHMARK(BM_CcdfData)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_SpectrumData(benchmark::State& state) {
    const auto& w = largest();
    const benchsupport::ProcessCpu cpu{state};
    for (auto _ : state) benchmark::DoNotOptimize(bt::plots::spectrumData(w, kRate).magSignal.data());
    counters(state);
}
BENCHMARK(BM_SpectrumData)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// What the spectrum window asks for: the levels of the row, not the row.
void BM_SpectrumLevels(benchmark::State& state) {
    const auto& w = largest();
    const benchsupport::ProcessCpu cpu{state};
    for (auto _ : state) benchmark::DoNotOptimize(bt::plots::spectrumData(w, kRate, true).levelLo.data());
    counters(state);
}
BENCHMARK(BM_SpectrumLevels)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The plot menu's slice: the waveform's duration / 200; columns reduced
// for drawing (argument; 0 keeps every frequency point).
void BM_WaterfallData(benchmark::State& state) {
    const auto& w = largest();
    const double period = static_cast<double>(w.size()) / kRate / 200;
    const benchsupport::ProcessCpu cpu{state};
    for (auto _ : state)
        benchmark::DoNotOptimize(
            bt::plots::waterfallData(w, kRate, period, static_cast<std::size_t>(state.range(0))).magSignal.data());
    counters(state);
}
BENCHMARK(BM_WaterfallData)->Arg(2048)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_EnvelopeBuildIQ(benchmark::State& state) {
    const auto& w = largest();
    std::size_t bytes = 0;
    const benchsupport::ProcessCpu cpu{state};
    for (auto _ : state) {
        const auto i = bt::plots::Envelope::ofComponent(w, 0);
        const auto q = bt::plots::Envelope::ofComponent(w, 1);
        bytes = i.memoryBytes() + q.memoryBytes();
    }
    state.counters["levels_over_waveform"] = static_cast<double>(bytes) / (static_cast<double>(w.size()) * 16);
    counters(state);
}
BENCHMARK(BM_EnvelopeBuildIQ)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// One redraw's data: 1000 columns over a range of the argument's samples.
void BM_EnvelopeView(benchmark::State& state) {
    static const auto e = bt::plots::Envelope::ofComponent(largest(), 0);
    const auto width = static_cast<double>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(e.view(1e6, 1e6 + width, 1000).hi.data());
}
BENCHMARK(BM_EnvelopeView)->Arg(30'000'000)->Arg(1'000'000)->Arg(30'000)->Arg(1'500)->Unit(benchmark::kMicrosecond);

}  // namespace
