// Speed of the frame's files: settings saves and loads (synced to disk, as
// every save is) and waveform saves of instrument-sized waveforms.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "app/settings_files.h"

namespace {

namespace fs = std::filesystem;

fs::path scratch(const char* name) {
    return fs::temp_directory_path() / (std::string("btgen-bench-") + std::to_string(::getpid()) + "-" + name);
}

void BM_SaveSettings(benchmark::State& state) {
    const fs::path file = scratch("s.bt");
    const bt::Parameters p;
    const bt::SigGenSettings s;
    for (auto _ : state)
        if (!bt::saveParameters(file, p, s)) state.SkipWithError("save failed");
    fs::remove(file);
}
BENCHMARK(BM_SaveSettings)->Unit(benchmark::kMillisecond);

void BM_LoadSettings(benchmark::State& state) {
    const fs::path file = scratch("l.bt");
    bt::saveParameters(file, bt::Parameters{}, bt::SigGenSettings{});
    for (auto _ : state) {
        auto loaded = bt::loadParameters(file, "bt - Format 1.0", bt::EditContext{});
        if (!loaded.outcome) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(loaded);
    }
    fs::remove(file);
}
BENCHMARK(BM_LoadSettings)->Unit(benchmark::kMillisecond);

// Complex MAT layout: 16 bytes of samples per sample, written in chunks.
void BM_SaveWaveform(benchmark::State& state) {
    const fs::path file = scratch("w.mat");
    bt::ComplexRow w(static_cast<std::size_t>(state.range(0)));
    for (std::size_t k = 0; k < w.size(); ++k) w[k] = {std::cos(0.001 * k), std::sin(0.001 * k)};
    for (auto _ : state)
        if (!bt::saveWaveform(file, bt::WaveformLayout::Mat, w, 10e6)) state.SkipWithError("save failed");
    state.SetBytesProcessed(state.iterations() * state.range(0) * 16);
    fs::remove(file);
}
BENCHMARK(BM_SaveWaveform)->Arg(1 << 20)->Arg(30'000'000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
