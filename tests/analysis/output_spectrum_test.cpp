// The output spectrum: the 20 dB bandwidth against the tests' own
// peak-hold spectrum (a direct DFT of Hann windows at every frequency of a
// fine grid), a signal of 1.5 times the deviation failing it, the channel power
// of a tone of known power, and the channel-power limits through the
// command line.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <fstream>
#include <nlohmann/json.hpp>
#include <numbers>

#include "analysis/receiver.h"
#include "bluetooth/generate.h"
#include "support/files.h"
#include "support/settings_edits.h"

namespace bt::analysis {
namespace {

using bttest::settingsWith;

ComplexRow dh5(int oversampling) {
    return Calculate(settingsWith({{"packetType", "15"}, {"OverSampling", std::to_string(oversampling)}})).waveform;
}

ReceiverOptions knownLink() {
    ReceiverOptions o;
    o.lap = 8;
    o.uap = 0;
    o.whitening = 0;
    return o;
}

// The -20 dB points of the peak-hold spectrum of Hann windows (noise
// bandwidth 10 kHz, half a window apart, centred in the burst) over the
// samples at full level, evaluated every `step` Hz within +-`reach`.
std::pair<double, double> ownTwentyDbPoints(const ComplexRow& x, double rate, double reach, double step) {
    std::size_t begin = 0, end = x.size();
    while (begin < end && std::abs(x[begin]) < 0.999) ++begin;
    while (end > begin && std::abs(x[end - 1]) < 0.999) --end;
    const auto length = static_cast<std::size_t>(std::lround(1.5 * rate / 10e3));
    const std::size_t hop = length / 2, n = end - begin;
    const std::size_t count = (n - length) / hop + 1;
    const std::size_t first = begin + (n - length - (count - 1) * hop) / 2;
    std::vector<double> freqs, level;
    double peak = 0;
    for (double f = -reach; f <= reach + 1e-6; f += step) {
        const std::complex<double> turn = std::polar(1.0, -2 * std::numbers::pi * f / rate);
        double held = 0;
        for (std::size_t w = 0; w < count; ++w) {
            std::complex<double> sum = 0, rot = 1;
            for (std::size_t k = 0; k < length; ++k, rot *= turn) {
                const double s = std::sin(std::numbers::pi * (double(k) + 0.5) / double(length));
                sum += x[first + w * hop + k] * (s * s) * rot;
            }
            held = std::max(held, std::norm(sum));
        }
        freqs.push_back(f);
        level.push_back(10 * std::log10(held));
        peak = std::max(peak, held);
    }
    const double floor = 10 * std::log10(peak) - 20;
    std::size_t lo = 0, hi = level.size() - 1;
    while (level[lo] < floor) ++lo;
    while (level[hi] < floor) --hi;
    const auto cross = [&](std::size_t a, std::size_t b) {
        return freqs[a] + (floor - level[a]) / (level[b] - level[a]) * (freqs[b] - freqs[a]);
    };
    return {cross(lo - 1, lo), cross(hi + 1, hi)};
}

const TestResult* testNamed(const MeasurementSummary& s, const std::string& name) {
    for (const TestResult& t : s.tests)
        if (t.name == name) return &t;
    return nullptr;
}

TEST(OutputSpectrum, TwentyDbBandwidthAgreesWithOwnDftAndAWiderDeviationFails) {
    const double rate = 4e6;
    const ComplexRow clean = dh5(4);
    // The same packet at 1.5 times the phase (index 0.47): still decoded,
    // 1.12 MHz wide.
    ComplexRow wide(clean.size());
    double phase = 0;
    for (std::size_t k = 0; k < clean.size(); ++k) {
        if (k > 0 && std::abs(clean[k]) > 0 && std::abs(clean[k - 1]) > 0) phase += std::arg(clean[k] * std::conj(clean[k - 1]));
        wide[k] = std::polar(std::abs(clean[k]), 1.5 * phase);
    }
    for (const auto& [row, passes] : {std::pair<const ComplexRow*, bool>{&clean, true}, {&wide, false}}) {
        const Reception r = receive(row->data(), row->size(), rate, knownLink());
        ASSERT_EQ(r.summary.confirmedPackets, 1u);
        ASSERT_TRUE(r.summary.bandwidth20dB);
        const auto [lower, upper] = ownTwentyDbPoints(*row, rate, 1.2e6, 2.5e3);
        EXPECT_NEAR(r.summary.bandwidth20dB->lower, lower, 2e3);
        EXPECT_NEAR(r.summary.bandwidth20dB->upper, upper, 2e3);
        const TestResult* t = testNamed(r.summary, "output spectrum 20 dB bandwidth");
        ASSERT_TRUE(t);
        EXPECT_EQ(t->pass, passes) << t->value;
        EXPECT_NEAR(t->value, (upper - lower) / 1e3, 3);
    }
}

// One tone 2.3 MHz off at -40 dB against full scale beside a DH5 packet
// at full scale: the channel 2 MHz off holds the tone's power.
TEST(OutputSpectrum, ChannelPowerOfAKnownToneAndItsLimitsInDbm) {
    const double rate = 10e6;
    ComplexRow x = dh5(10);
    for (std::size_t k = 0; k < x.size(); ++k) x[k] += std::polar(0.01, 2 * std::numbers::pi * 2.3e6 * double(k) / rate);
    const Reception r = receive(x.data(), x.size(), rate, knownLink());
    ASSERT_EQ(r.summary.confirmedPackets, 1u);
    const auto& channels = r.summary.channelPowers;
    ASSERT_EQ(channels.size(), 9u);  // 0, then -4 .. +4
    EXPECT_EQ(channels[0].offset, 0);
    EXPECT_NEAR(channels[0].powerDb, -0.03, 0.05);
    EXPECT_NEAR(channels[6].powerDb, -40, 0.02);  // +2 MHz
    for (const ChannelPower& c : channels) EXPECT_TRUE(std::abs(c.offset) < 2 || c.offset == 2 || c.powerDb < -60) << c.offset;
    EXPECT_NEAR(channels[6].relativeDb, channels[6].powerDb - channels[0].powerDb, 1e-9);

    // Through the command line, as float samples with the reference level
    // given: -25 dBm passes the -20 dBm limit, -15 dBm fails it.
    bttest::ScratchDir dir;
    const auto file = dir / "tone.cf32";
    std::vector<float> iq;
    for (const Complex& v : x) iq.push_back(float(v.real())), iq.push_back(float(v.imag()));
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(iq.data()), std::streamsize(iq.size() * 4));
    for (const auto& [ref, status] : {std::pair{"15", 0}, std::pair{"25", 3}}) {
        const bttest::RunResult run = bttest::runProgram({bttest::btgenPath().string(), "measure", "--json", "--summary",
                                                          "--rate", "10e6", "--ref-dbm", ref, file.string()});
        ASSERT_EQ(run.status, status) << run.output;
        const nlohmann::json j = nlohmann::json::parse(run.output)["summary"];
        EXPECT_NEAR(j["output_spectrum"]["channels"][6]["power_dbm"].get<double>(), std::stod(ref) - 40, 0.05);
        for (const auto& t : j["tests"]) EXPECT_TRUE(t["name"] != "adjacent channel power 2 MHz off" || t["pass"] == (status == 0));
    }
}

// Channels 3 MHz or more off: three may reach -20 dBm, a fourth above
// -40 dBm fails; without a reference level no limit in dBm is judged.
TEST(OutputSpectrum, ThreeFarChannelsMayReachMinusTwentyDbm) {
    OutputSpectrum s;
    s.sampleRate = 10e6;
    s.points = 100;  // 100 kHz bins: bin 10 M sits at M MHz
    s.windows = s.packets = 1;
    s.average.assign(s.points, 0.0);
    s.average[0] = 1;
    for (const int m : {3, -3, 4}) s.average[std::size_t((m + 10) * 10 % 100)] = 1e-3;
    s.peakHold = s.average;
    const auto farTest = [](const MeasurementSummary& m) { return testNamed(m, "adjacent channel power 3 MHz or more off"); };
    MeasurementSummary m = summarise({}, s, 0.0);
    ASSERT_TRUE(farTest(m));
    EXPECT_TRUE(farTest(m)->pass);
    EXPECT_NEAR(farTest(m)->value, -30, 1e-9);
    s.average[60] = 1e-3;  // -4 MHz
    m = summarise({}, s, 0.0);
    EXPECT_FALSE(farTest(m)->pass);
    EXPECT_FALSE(farTest(summarise({}, s)));
}

}  // namespace
}  // namespace bt::analysis
