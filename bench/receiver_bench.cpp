// The receiver on the largest waveform (DH1 packets carrying "Continuous
// PN15" at 20 samples per symbol: 1214 bursts, 30.35 M samples): time to
// find, decode and measure every packet, and the memory it takes beyond
// the waveform against one single-precision copy of it. Then 100 M samples
// of noise streamed from a source that makes them on demand: the memory
// must stay that of a few blocks. And the largest multi-packet waveforms
// of DH5 and of 3-DH5 packets (the generation benchmark's), so that basic
// rate and Enhanced Data Rate can be set side by side in samples per
// second, with the key known and with the key found as `btgen measure`
// finds it by default.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include "analysis/receiver.h"
#include "bluetooth/generate.h"
#include "bluetooth/settings_editor.h"
#include "lib/parallel.h"
#include "bench_support.h"

namespace {

// Resident and peak resident memory in bytes (Linux).
double statusBytes(const std::string& key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + ":", 0) == 0) return std::stod(line.substr(key.size() + 1)) * 1024;
    return 0;
}

void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

const bt::GeneratedSignal& largest() {
    static const bt::GeneratedSignal s = [] {
        return bt::Calculate(benchsupport::largestSettings());
    }();
    return s;
}

void BM_ReceiveLargest(benchmark::State& state) {
    const bt::GeneratedSignal& s = largest();
    bt::setWorkerThreads(static_cast<unsigned>(state.range(0)));
    bt::analysis::ReceiverOptions o;
    o.lap = 8;
    o.uap = 0;
    o.whitening = 0;
    std::size_t packets = 0, ok = 0;
    double extra = 0;
    for (auto _ : state) {
        const double before = statusBytes("VmRSS");
        resetPeak();
        const bt::analysis::Reception r = bt::analysis::receive(s.waveform.data(), s.waveform.size(), 20e6, o);
        extra = std::max(extra, statusBytes("VmHWM") - before);
        packets = r.packets.size();
        ok = 0;
        for (const auto& p : r.packets) ok += p.decoded.ok();
    }
    bt::setWorkerThreads(0);
    const double floatCopy = double(s.waveform.size()) * 8;
    state.counters["samples"] = double(s.waveform.size());
    state.counters["packets"] = double(packets);
    state.counters["packets_ok"] = double(ok);
    state.counters["extra_MB"] = extra / 1e6;
    state.counters["extra_over_float_copy"] = extra / floatCopy;
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * s.waveform.size()));
}
BENCHMARK(BM_ReceiveLargest)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// PN15 repeated until about 30 M samples at 20 samples per symbol: DH5
// 400 bursts of six slots, 3-DH5 402. Made for one benchmark and dropped
// after it (each takes about 0.5 GB).
std::unique_ptr<bt::GeneratedSignal> multiPacketLargest(const char* packetType, const char* reps) {
    bt::Parameters p;
    for (const auto& [field, value] : {std::pair{"packetType", packetType}, {"multiPacket", "1"}, {"payloadType", "6"},
                                       {"patternReps", reps}, {"OverSampling", "20"}})
        p = bt::editField(p, field, value, bt::EditContext{}).parameters;
    return std::make_unique<bt::GeneratedSignal>(bt::Calculate(p));
}

// The argument: 1 the key known (LAP, UAP, no whitening), 0 found from the
// packets (any sync word, UAP by HEC and CRC, whitening tried).
void receiveMultiPacket(benchmark::State& state, const char* packetType, const char* reps) {
    const std::unique_ptr<bt::GeneratedSignal> s = multiPacketLargest(packetType, reps);
    bt::setWorkerThreads(1);
    bt::analysis::ReceiverOptions o;
    if (state.range(0) == 1) {
        o.lap = 8;
        o.uap = 0;
        o.whitening = 0;
    }
    std::size_t packets = 0, ok = 0;
    {
        const benchsupport::ProcessCpu cpu{state};
        for (auto _ : state) {
            const bt::analysis::Reception r = bt::analysis::receive(s->waveform.data(), s->waveform.size(), 20e6, o);
            packets = r.packets.size();
            ok = 0;
            for (const auto& p : r.packets) ok += p.decoded.ok();
        }
    }
    bt::setWorkerThreads(0);
    // On a shared machine the CPU time is the measure to set side by side.
    state.counters["Msamples_per_cpu_s"] =
        double(s->waveform.size()) / (double(state.counters["processCPU_ms"]) * 1e3);
    state.counters["samples"] = double(s->waveform.size());
    state.counters["packets"] = double(packets);
    state.counters["packets_ok"] = double(ok);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * s->waveform.size()));
}

void BM_ReceiveDH5Largest(benchmark::State& state) { receiveMultiPacket(state, "15", "33"); }
BENCHMARK(BM_ReceiveDH5Largest)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_Receive3DH5Largest(benchmark::State& state) { receiveMultiPacket(state, "21", "100"); }
BENCHMARK(BM_Receive3DH5Largest)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// Complex Gaussian-like noise made from the sample's position, so blocks can
// be read in any order from any thread.
class NoiseSource : public bt::analysis::SampleSource {
public:
    explicit NoiseSource(std::size_t n) : n_(n) {}
    std::size_t size() const override { return n_; }
    void read(std::size_t first, std::size_t count, bt::analysis::CFloat* out) const override {
        for (std::size_t k = 0; k < count; ++k) {
            std::uint64_t x = (first + k) * 0x9E3779B97F4A7C15ull;
            x ^= x >> 31;
            x *= 0xBF58476D1CE4E5B9ull;
            x ^= x >> 29;
            // Sums of uniform parts: close enough to Gaussian for a receiver.
            const auto part = [](std::uint64_t v) { return float(v & 0xFFFF) / 65536.0f - 0.5f; };
            out[k] = {part(x) + part(x >> 16), part(x >> 32) + part(x >> 48)};
        }
    }

private:
    std::size_t n_;
};

void BM_StreamNoise(benchmark::State& state) {
    const NoiseSource noise(100'000'000);
    std::size_t packets = 0;
    double extra = 0;
    for (auto _ : state) {
        const double before = statusBytes("VmRSS");
        resetPeak();
        packets = bt::analysis::receive(noise, 10e6).packets.size();
        extra = std::max(extra, statusBytes("VmHWM") - before);
    }
    state.counters["samples"] = double(noise.size());
    state.counters["packets"] = double(packets);
    state.counters["extra_MB"] = extra / 1e6;
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * noise.size()));
}
BENCHMARK(BM_StreamNoise)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
