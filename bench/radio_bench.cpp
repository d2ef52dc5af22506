// Streaming to and from a radio in real time, on the loopback radio the
// tests build (run from the build tree): sustained transmit at 20 Msps in
// CS16 without underflow, and capture with live measurement at 4 Msps
// without overflow. Counters: underflows / overflows, and the process's CPU
// seconds per second of signal (the loopback's own work included).
// BTGEN_RADIO_BENCH_SECONDS sets the length (default 60).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "bluetooth/generate.h"
#include "bluetooth/settings.h"
#include "radio/capture.h"
#include "radio/live_receiver.h"
#include "radio/transmit.h"

#ifdef BTGEN_LOOPBACK_DIR

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

double seconds() {
    const char* s = std::getenv("BTGEN_RADIO_BENCH_SECONDS");
    return s ? std::atof(s) : 60;
}

void setUp() { ::setenv("SOAPY_SDR_PLUGIN_PATH", BTGEN_LOOPBACK_DIR, 1); }

bt::ComplexRow waveform(double megahertz) {
    bt::Parameters p;
    p.OverSampling = megahertz;
    return bt::Calculate(p).waveform;
}

void TransmitRealtime20MspsCs16(benchmark::State& state) {
    setUp();
    const bt::ComplexRow w = waveform(20);
    for (auto _ : state) {
        bt::radio::Radio radio;
        if (const auto r = radio.open("driver=btloop,loop=/dev/null,realtime=1,format=CS16"); !r.ok()) {
            state.SkipWithError(r.description.c_str());
            return;
        }
        bt::radio::PlayRequest request;
        request.waveformRate = 20e6;
        request.repeat = static_cast<std::uint64_t>(seconds() * 20e6 / double(w.size()));
        const double cpu = cpuSeconds();
        const bt::radio::PlayReport r = bt::radio::play(radio, w, request);
        const double played = double(r.samplesWritten) / 20e6;
        state.counters["underflows"] = double(r.underflows);
        state.counters["signal_s"] = played;
        state.counters["cpu_per_signal_s"] = (cpuSeconds() - cpu) / played;
        if (!r.result.ok()) state.SkipWithError(r.result.description.c_str());
    }
}
BENCHMARK(TransmitRealtime20MspsCs16)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void CaptureLiveMeasure4Msps(benchmark::State& state) {
    setUp();
    const std::string loop = (std::filesystem::temp_directory_path() / "btgen-radio-bench.cf32").string();
    {
        bt::radio::Radio tx;
        if (const auto r = tx.open("driver=btloop,loop=" + loop); !r.ok()) {
            state.SkipWithError(r.description.c_str());
            return;
        }
        bt::radio::PlayRequest request;
        request.waveformRate = 10e6;
        bt::radio::play(tx, waveform(10), request);
    }
    for (auto _ : state) {
        bt::radio::Radio radio;
        radio.open("driver=btloop,cyclic=1,realtime=1,noise=-40,loop=" + loop);
        std::optional<bt::radio::LiveReceiver> receiver;
        bt::radio::CaptureRequest request;
        request.rate = 4e6;
        request.seconds = seconds();
        const double cpu = cpuSeconds();
        const bt::radio::CaptureReport r = bt::radio::capture(
            radio, request,
            [&](const std::complex<float>* s, std::size_t n) {
                receiver->push(s, n);
                return true;
            },
            [&](double rate) { receiver.emplace(rate, bt::analysis::ReceiverOptions{}, nullptr); });
        receiver->finish();
        const double received = double(r.samples) / 4e6;
        state.counters["overflows"] = double(r.overflows);
        state.counters["packets"] = double(receiver->reception().packets.size());
        state.counters["signal_s"] = received;
        state.counters["cpu_per_signal_s"] = (cpuSeconds() - cpu) / received;
        if (!r.result.ok()) state.SkipWithError(r.result.description.c_str());
    }
    std::filesystem::remove(loop);
}
BENCHMARK(CaptureLiveMeasure4Msps)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

#endif
