#pragma once
// The simulated test bench behind the instrument's bit-error-rate tester:
// a receiver demodulates the waveform being played (frequency
// discriminator, a fixed latency, noise that gives its eye a finite
// opening) and the BERT samples the receiver's data output at the edges of
// marker 1, gated by marker 2, and checks it against PN9 or PN15.
#include <cstdint>
#include <optional>
#include <vector>

namespace bt::sim {

struct ReceiverModel {
    double latencyUs = 0.5;  // data output behind the antenna, microseconds
    // Noise on the discriminator output as a fraction of the peak frequency
    // deviation of a 160 kHz signal: sets how wide the low-BER floor is.
    double noise = 0.25;
    std::uint64_t seed = 1;
};

struct BertSetup {
    bool clockRising = true;   // clock polarity positive
    bool dataInverted = false;  // data polarity negative
    bool gate = false;          // marker 2 gates the clock
    bool gateHigh = true;       // gate polarity positive
    int prbsOrder = 9;          // 9 or 15
    std::uint64_t totalBits = 1000;
    int ignore = 0;  // 0 nothing, 1 all-zero data, 2 all-one data
};

struct BertResult {
    bool inputValid = false;  // clock edges (and gate) present
    double ber = 0;           // errors / compared bits
    std::uint64_t bits = 0;   // compared bits
};

// Measures `setup.totalBits` bits of the waveform played in a loop: `iq`
// holds big-endian 16-bit I, Q words, `markers` one byte per sample (bit 0
// marker 1, bit 1 marker 2). `trigger` numbers the measurement, so noise
// differs from one to the next but repeats for a given number.
BertResult measureBer(const std::vector<std::uint8_t>& iq, const std::vector<std::uint8_t>& markers,
                      double sampleRate, const ReceiverModel& rx, const BertSetup& setup, std::uint64_t trigger);

}  // namespace bt::sim
