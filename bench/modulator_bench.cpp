// Modulator and noise throughput. Figures are samples per second
// ("items_per_second"), the output allocation included.
#include <benchmark/benchmark.h>

#include <random>

#include "bluetooth/modulator.h"
#include "lib/random.h"

namespace {

bt::Bits randomBits(std::size_t count) {
    std::mt19937_64 gen(42);
    bt::Bits bits(count);
    for (auto& b : bits) b = static_cast<std::uint8_t>(gen() & 1);
    return bits;
}

// 2,000,000 bits at 10 samples per symbol: 20 M samples with clock marker.
void BM_Modulate2MBits(benchmark::State& state) {
    const bt::Bits bits = randomBits(2'000'000);
    bt::ModulatorSettings s;
    s.oversamplingRate = 10;
    s.phaseCorrection = true;
    std::size_t samples = 0;
    for (auto _ : state) {
        bt::ModulatedSignal out = bt::Bt_Modulate(bits, s);
        samples = out.waveform.size();
        benchmark::DoNotOptimize(out.waveform.data());
        benchmark::DoNotOptimize(out.clk.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * samples));
}
BENCHMARK(BM_Modulate2MBits)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same with every impairment on: drift, offset, end-phase correction
// and noise (two normal deviates per sample).
void BM_Modulate2MBitsImpaired(benchmark::State& state) {
    const bt::Bits bits = randomBits(2'000'000);
    bt::ModulatorSettings s;
    s.oversamplingRate = 10;
    s.phaseCorrection = true;
    s.AWGNactive = true;
    s.freq.freqDriftActive = true;
    s.freq.freqDriftType = 2;
    s.freq.freqDriftDeviation = 25;
    s.freq.freqOffsetActive = true;
    s.freq.freqOffsetFreq = 75;
    std::size_t samples = 0;
    for (auto _ : state) {
        bt::ModulatedSignal out = bt::Bt_Modulate(bits, s);
        samples = out.waveform.size();
        benchmark::DoNotOptimize(out.waveform.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * samples));
}
BENCHMARK(BM_Modulate2MBitsImpaired)->Unit(benchmark::kMillisecond)->UseRealTime();

// Normal deviates into a buffer that stays in cache.
void BM_GaussianFill(benchmark::State& state) {
    bt::GaussianRandom rng(1);
    std::vector<double> out(1 << 16);
    for (auto _ : state) {
        rng.fill(out.data(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * out.size()));
}
BENCHMARK(BM_GaussianFill);

}  // namespace
