// The simulated bench receiver behind the BERT, swept over the clock delay
// on a continuous PN9 stream: a clean waveform shows a floor near zero in
// the eye and walls at the symbol edges; 10 dB C/N raises the floor but
// stays locked; an all-zeros payload never locks. Noise seeds drawn per run
// and printed.
#include "sim/sim_bert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "bluetooth/generate.h"
#include "bluetooth/shift_registers.h"

namespace bt::sim {
namespace {

struct Played {
    std::vector<std::uint8_t> iq, markers;
    double rate = 0;
};

Played play(const Bits& data, double ratio, unsigned seed) {
    GenerateInputs in;
    in.generationMode = 2;
    in.data = data;
    in.oversamplingRate = 10;
    in.AWGNactive = ratio > 0 ? 1 : 0;
    in.AWGNratio = ratio;
    in.AWGNseed = seed;
    const GeneratedSignal s = Bt_GENERATE(in);
    Played p;
    p.rate = 10e6;
    double peak = 0;
    for (const Complex& v : s.waveform) peak = std::max({peak, std::fabs(v.real()), std::fabs(v.imag())});
    const auto word = [&](double v) {
        const auto w = static_cast<std::int16_t>(std::lround(v / peak * 30000));
        const auto u = static_cast<std::uint16_t>(w);
        p.iq.push_back(std::uint8_t(u >> 8));
        p.iq.push_back(std::uint8_t(u & 0xFF));
    };
    for (const Complex& v : s.waveform) word(v.real()), word(v.imag());
    for (std::size_t k = 0; k < s.markers.size(); ++k)
        p.markers.push_back(std::uint8_t(s.markers.row1[k] | (s.markers.row2[k] << 1)));
    return p;
}

// BER at each clock delay of one symbol in tenths (markers rotated later).
std::vector<double> sweep(const Played& p, unsigned seed) {
    std::vector<double> ber;
    ReceiverModel rx;
    rx.seed = seed;
    BertSetup setup;
    setup.totalBits = 5000;
    for (int step = 0; step < 10; ++step) {
        std::vector<std::uint8_t> m(p.markers.size());
        for (std::size_t k = 0; k < m.size(); ++k) m[(k + std::size_t(step)) % m.size()] = p.markers[k];
        const BertResult r = measureBer(p.iq, m, p.rate, rx, setup, std::uint64_t(step));
        EXPECT_TRUE(r.inputValid);
        ber.push_back(r.ber);
    }
    return ber;
}

TEST(SimBert, CleanFloorNoisyFloorLockedAndZerosNeverLock) {
    const unsigned seed = std::random_device{}() % 65535 + 1;
    std::printf("noise seed %u\n", seed);
    const Bits pn9 = PNgenerator(9, 511.0 * 8);

    const std::vector<double> clean = sweep(play(pn9, 0, seed), seed);
    const std::vector<double> noisy = sweep(play(pn9, 10, seed), seed);
    for (std::size_t k = 0; k < clean.size(); ++k) std::printf("delay %zu/10: clean %.5f  10 dB %.5f\n", k, clean[k], noisy[k]);
    const double cleanFloor = *std::min_element(clean.begin(), clean.end());
    const double noisyFloor = *std::min_element(noisy.begin(), noisy.end());
    EXPECT_LT(cleanFloor, 0.001);
    EXPECT_GT(*std::max_element(clean.begin(), clean.end()), 0.1);
    EXPECT_LT(noisyFloor, 0.1);
    EXPECT_GE(noisyFloor, 10 * cleanFloor);
    EXPECT_GT(noisyFloor, 0.0);

    const std::vector<double> zeros = sweep(play(Bits(511 * 8, 0), 0, seed), seed);
    for (const double b : zeros) EXPECT_EQ(b, 0.5);
}

}  // namespace
}  // namespace bt::sim
