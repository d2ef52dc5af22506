// The dirty-transmitter calculation: all ten DH5 test sets (20 packets
// generated, resampled for their timing error, laid out in frames and
// stacked into 10 segments of 125000 samples). Target: under 2 s.
#include <benchmark/benchmark.h>

#include "bluetooth/dirty_tx_calc.h"
#include "bluetooth/dirty_tx_edits.h"

namespace {

bt::DirtyTxState defaultState(double packetType) {
    bt::Parameters p;
    bt::DirtyTxState s = bt::initialDtState(p);
    bt::dtSelectPacketType(s, packetType);
    return s;
}

void BM_DirtyTxTenSets(benchmark::State& state) {
    bt::DirtyTxState s = defaultState(static_cast<double>(state.range(0)));
    std::size_t samples = 0;
    for (auto _ : state) {
        s.dtCalcNeeded = 1;
        bt::dtCalculate(s);
        samples = 0;
        for (const auto& row : s.dtWaveform) samples += row.size();
        benchmark::DoNotOptimize(s.dtWaveform.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * samples));
}
BENCHMARK(BM_DirtyTxTenSets)->Arg(15)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
