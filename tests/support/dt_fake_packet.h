#pragma once
// A stand-in for the generation step in the dirty-transmitter tests: one
// burst packet with the lengths and markers the single-packet builder gives
// (ramp, settling, the packet's bits, ramp, then idle samples up to the
// packet's slots plus one), but samples that tell where they came from:
// sample k of the burst is (1 + k) + j(1000 SEQN + FreqOffset), idle samples
// are 0. Resampling keeps the real part a straight line, so the timing
// error a segment got can be read off it.
#include <cstddef>
#include <memory>
#include <vector>

#include "bluetooth/dirty_tx_calc.h"

namespace bttest {

struct FakeBurst {
    std::size_t start = 0;     // first burst sample (always 0)
    std::size_t samples = 0;   // burst length in samples
    std::size_t payload = 0;   // first sample of the user payload
    std::size_t payloadSamples = 0;
    std::size_t total = 0;     // whole waveform
};
// Where things are in the fake packet for these settings.
FakeBurst fakeBurst(const bt::GenerationSettings& p);

// The fake generation step; every call's settings are appended to `calls`
// when it is given.
bt::DtGenerator fakeGenerator(std::shared_ptr<std::vector<bt::GenerationSettings>> calls = nullptr);

}  // namespace bttest
