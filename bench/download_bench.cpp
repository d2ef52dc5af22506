// Download throughput and client memory for a 30 M-sample waveform with
// markers sent to the simulator over loopback, and 20 consecutive downloads
// of the largest waveform (32 M samples) checked by CRC32 read-back.
//
// The simulator runs in a child process, so the peak resident memory this
// process reports is the client's alone.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "instrument/block_format.h"
#include "instrument/hw_wrappers.h"
#include "sim/sim_server.h"

namespace {

// A simulator in a child process; stops when the parent closes the pipe.
class ChildSimulator {
public:
    ChildSimulator() {
        int toParent[2];
        int toChild[2];
        if (::pipe(toParent) != 0 || ::pipe(toChild) != 0) std::abort();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(toParent[0]);
            ::close(toChild[1]);
            bt::sim::Server server;
            std::string error;
            const std::uint16_t port = server.start(0, error);
            if (::write(toParent[1], &port, sizeof port) != sizeof port) ::_exit(1);
            char c;
            while (::read(toChild[0], &c, 1) > 0) {
            }
            server.stop();
            ::_exit(0);
        }
        ::close(toParent[1]);
        ::close(toChild[0]);
        stop_ = toChild[1];
        if (::read(toParent[0], &port_, sizeof port_) != sizeof port_ || port_ == 0) std::abort();
        ::close(toParent[0]);
        config.type = "TCPIP";
        config.TCPIP.address = "127.0.0.1:" + std::to_string(port_);
        bt::HwSetTimeout(config, 30000);
    }
    ~ChildSimulator() {
        ::close(stop_);
        ::waitpid(pid_, nullptr, 0);
    }
    bt::Configuration config;

private:
    pid_t pid_ = -1;
    int stop_ = -1;
    std::uint16_t port_ = 0;
};

double peakRssMb() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

void fill(bt::ComplexRow& w, bt::Markers& m, std::size_t n, double phase) {
    w.resize(n);
    m.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        const double a = 0.0123 * static_cast<double>(k % 100003) + phase;
        w[k] = {std::cos(a), std::sin(a)};
        m.row1[k] = k % 10 < 3;
        m.row2[k] = k % 12500 < 6000;
    }
}

void BM_Download30M(benchmark::State& state) {
    const std::size_t n = 30'000'000;
    bt::ComplexRow w;
    bt::Markers m;
    fill(w, m, n, 0);
    ChildSimulator sim;
    const double before = peakRssMb();
    for (auto _ : state) {
        const bt::HwResult r = bt::HwDownload(sim.config, w, m, "norm", 1, "BT");
        if (!r.ok()) state.SkipWithError(r.response.c_str());
    }
    const double wire = 5.0 * static_cast<double>(n);  // 4 bytes I/Q + 1 byte markers per sample
    state.SetBytesProcessed(static_cast<std::int64_t>(wire) * state.iterations());
    state.counters["input_MB"] = static_cast<double>(n) * (sizeof(bt::Complex) + 2) / 1e6;
    state.counters["peak_rss_MB"] = peakRssMb();
    state.counters["rss_growth_MB"] = peakRssMb() - before;
}
BENCHMARK(BM_Download30M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_TwentyLargestDownloadsCrc(benchmark::State& state) {
    const std::size_t n = 32'000'000;
    bt::ComplexRow w;
    bt::Markers m;
    ChildSimulator sim;
    int mismatches = 0;
    for (auto _ : state) {
        for (int k = 0; k < 20; ++k) {
            state.PauseTiming();
            fill(w, m, n, 0.1 * k);
            std::vector<std::uint8_t> expected(4 * n);
            bt::IqEncoder(w).encode(0, n, expected.data());
            state.ResumeTiming();
            if (const auto r = bt::HwDownload(sim.config, w, m, "norm", 1, "BT"); !r.ok())
                state.SkipWithError(r.response.c_str());
            const bt::HwResult back = bt::HwQuery(sim.config, ":MEM:DATA? \"WFM1:BT\"");
            const auto h = bt::parseBlockHeader(back.response);
            const auto* data = reinterpret_cast<const std::uint8_t*>(back.response.data()) + h.headerSize;
            if (!back.ok() || h.length != expected.size() ||
                bt::crc32({data, static_cast<std::size_t>(h.length)}) != bt::crc32(expected))
                ++mismatches;
        }
    }
    state.counters["crc_mismatches"] = mismatches;
    if (mismatches) state.SkipWithError("a download read back differently");
}
BENCHMARK(BM_TwentyLargestDownloadsCrc)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
