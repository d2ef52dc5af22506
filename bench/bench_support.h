#pragma once
// What several benchmarks share: the largest waveform's settings and the
// CPU time of the whole process.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <utility>

#include "bluetooth/settings_editor.h"

namespace benchsupport {

// The largest waveform the instrument holds: DH1 packets carrying
// "Continuous PN15" at 20 samples per symbol, 1214 bursts, 30.35 M samples.
inline bt::Parameters largestSettings() {
    bt::Parameters p;
    for (const auto& [field, value] : {std::pair{"multiPacket", "1"}, {"payloadType", "10"}, {"OverSampling", "20"}})
        p = bt::editField(p, field, value, bt::EditContext{}).parameters;
    return p;
}

inline double processCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The CPU time of every thread (the CPU column is the calling thread's),
// in ms per iteration: on a shared machine the wall time is no measure.
struct ProcessCpu {
    benchmark::State& state;
    double start = processCpuSeconds();
    ~ProcessCpu() {
        state.counters["processCPU_ms"] =
            (processCpuSeconds() - start) * 1e3 / double(std::max<benchmark::IterationCount>(1, state.iterations()));
    }
};

}  // namespace benchsupport
