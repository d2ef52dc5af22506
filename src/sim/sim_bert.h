#pragma once
// The simulated test bench behind the instrument's bit-error-rate tester:
// a receiver demodulates the waveform being played as a real one does
// (its own input noise, a channel filter of about 1 MHz, the phase advance
// over a symbol period as its data decision, a fixed latency) and the BERT samples the receiver's data
// output at the edges of marker 1, gated by marker 2, and checks it
// against PN9 or PN15.
#include <cstdint>
#include <optional>
#include <vector>

namespace bt::sim {

struct ReceiverModel {
    double latencyUs = 0.5;  // data output behind the antenna, microseconds
    // The receiver's input noise: its rms amplitude in 1 MHz against the
    // signal's rms amplitude (0.1: 20 dB C/N). Sets how wide the eye's
    // low-BER floor is; 0 for none.
    double noise = 0.1;
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
