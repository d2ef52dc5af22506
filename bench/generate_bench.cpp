// Whole-chain generation of the largest waveforms the settings allow, from
// the settings record to the finished waveform and markers (payload,
// packets, modulation, marker delay). Figures: wall time per generation,
// samples per second, and the process's peak resident memory against the
// size of the result (run one benchmark per process, with
// --benchmark_filter, for a peak that belongs to it alone).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>
#include <utility>
#include <vector>

#include "bluetooth/generate.h"
#include "bluetooth/settings_editor.h"
#include "lib/parallel.h"

namespace {

using Edits = std::vector<std::pair<std::string, std::string>>;

bt::Parameters settingsWith(const Edits& edits) {
    bt::Parameters p;
    for (const auto& [field, value] : edits) {
        bt::EditResult r = bt::editField(p, field, value, bt::EditContext{});
        if (r.refused() || !r.ignored.empty()) std::abort();
        p = std::move(r.parameters);
    }
    return p;
}

double peakRssBytes() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) * 1024.0;  // kilobytes on Linux
}

// CPU seconds of the whole process (every thread), user and system.
double processCpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

void generate(benchmark::State& state, const Edits& edits) {
    const bt::Parameters p = settingsWith(edits);
    bt::setWorkerThreads(static_cast<unsigned>(state.range(0)));
    std::size_t samples = 0;
    const double cpuBefore = processCpuSeconds();
    for (auto _ : state) {
        bt::GeneratedSignal s = bt::Calculate(p);
        samples = s.waveform.size();
        benchmark::DoNotOptimize(s.waveform.data());
        benchmark::DoNotOptimize(s.markers.row2.data());
    }
    // The worker threads' time too, which the benchmark's own CPU column
    // (the main thread's) leaves out: to set beside btgen.generate's.
    state.counters["process_cpu_s"] = (processCpuSeconds() - cpuBefore) / double(state.iterations());
    bt::setWorkerThreads(0);
    const double resultBytes = double(samples) * (sizeof(bt::Complex) + 2);
    state.counters["samples"] = double(samples);
    state.counters["peakRSS_MB"] = peakRssBytes() / 1e6;
    state.counters["peak_over_result"] = peakRssBytes() / resultBytes;
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * samples));
}

// The argument is the number of worker threads.
const Edits kMultiDh1Pn15 = {{"multiPacket", "1"}, {"payloadType", "10"}, {"OverSampling", "20"}};

// DH1 packets carrying "Continuous PN15" at 20 samples per symbol: 1214
// bursts of two slots, 30.35 M samples.
void BM_MultiPacketDH1Pn15(benchmark::State& state) { generate(state, kMultiDh1Pn15); }
BENCHMARK(BM_MultiPacketDH1Pn15)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The same with every impairment on: noise (two normal deviates per
// modulated sample), drift, offset, and mirroring.
void BM_MultiPacketDH1Pn15Impaired(benchmark::State& state) {
    Edits e = kMultiDh1Pn15;
    for (const auto& edit : Edits{{"impairments.AWGNactive", "1"}, {"impairments.FreqDriftActive", "1"},
                                  {"impairments.FreqDriftType", "2"}, {"impairments.FreqDriftDeviation", "25"},
                                  {"impairments.FreqOffsetActive", "1"}, {"impairments.FreqOffset", "-40"},
                                  {"MirrorSpectrum", "1"}, {"CGdelay", "10"}})
        e.push_back(edit);
    generate(state, e);
}
BENCHMARK(BM_MultiPacketDH1Pn15Impaired)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The same without bursts: the 1214 packets back to back, one modulation.
void BM_MultiPacketDH1Pn15NoBursts(benchmark::State& state) {
    Edits e = kMultiDh1Pn15;
    e.emplace_back("burstActive", "0");
    generate(state, e);
}
BENCHMARK(BM_MultiPacketDH1Pn15NoBursts)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Stream mode, PN15 over eight periods at 20 samples per symbol (5.2 M
// samples), and the longest stream the largest waveform memory holds
// (1.6 M bits, 32 M samples).
void BM_StreamPn15(benchmark::State& state) {
    generate(state, {{"generationMode", "2"}, {"payloadType", "6"}, {"patternReps", "8"}, {"OverSampling", "20"}});
}
BENCHMARK(BM_StreamPn15)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_StreamLongest(benchmark::State& state) {
    generate(state, {{"generationMode", "2"}, {"payloadType", "6"}, {"OverSampling", "20"}, {"patternLength", "1600000"}});
}
BENCHMARK(BM_StreamLongest)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The largest multi-packet waveforms of DH5 and of 3-DH5 packets: PN15
// repeated until about 30 M samples at 20 samples per symbol (400 and 402
// bursts of six slots). The EDR path adds the DPSK section over the GFSK
// carrier; its samples per second are set beside the DH5 path's.
void BM_MultiPacketDH5Largest(benchmark::State& state) {
    generate(state, {{"packetType", "15"}, {"multiPacket", "1"}, {"payloadType", "6"}, {"patternReps", "33"},
                     {"OverSampling", "20"}});
}
BENCHMARK(BM_MultiPacketDH5Largest)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_MultiPacket3DH5Largest(benchmark::State& state) {
    generate(state, {{"packetType", "21"}, {"multiPacket", "1"}, {"payloadType", "6"}, {"patternReps", "100"},
                     {"OverSampling", "20"}});
}
BENCHMARK(BM_MultiPacket3DH5Largest)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
