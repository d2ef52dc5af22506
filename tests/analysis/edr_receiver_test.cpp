// The receiver on Enhanced Data Rate packets made here the literal way:
// GFSK access code and header as a Gaussian-filtered phase (erf form),
// the carrier held through the guard, then the DPSK section as a sum of
// square-root raised-cosine pulses carrying the differentially encoded,
// Gray-mapped symbols, cross-faded in the guard. Nothing of the product's
// modulators or of its receiver's DPSK code is used; the figures are held
// to what theory gives for the impairments put in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <vector>

#include "analysis/receiver.h"
#include "bluetooth/access_code.h"
#include "bluetooth/crc_fec.h"
#include "bluetooth/header.h"
#include "bluetooth/iq_impairments.h"

namespace bt::analysis {
namespace {

constexpr std::uint32_t kLap = 0x2A96EF;
constexpr std::uint8_t kUap = 0x47;
constexpr std::size_t kSps = 10;
constexpr double kPi = std::numbers::pi;

unsigned drawSeed() {
    static std::mt19937 rng(std::random_device{}());
    return rng();
}

// The radio's Gray maps, as phase steps in units of pi/4 for the bit
// groups 0 .. 3 (2 bits) and 0 .. 7 (3 bits), first bit most significant.
int stepOf(const std::uint8_t* b, int bps) {
    if (bps == 2) {
        static constexpr int k[4] = {1, 3, -1, -3};  // 00, 01, 10, 11
        return k[b[0] << 1 | b[1]];
    }
    static constexpr int k[8] = {0, 1, 3, 2, -1, -2, 4, -3};  // 000 001 010 011 100 101 110 111
    return k[b[0] << 2 | b[1] << 1 | b[2]];
}

double rrc(double t) {
    const double b = 0.4;
    if (std::fabs(t) < 1e-12) return 1 - b + 4 * b / kPi;
    if (std::fabs(std::fabs(4 * b * t) - 1) < 1e-9)
        return b / std::numbers::sqrt2 * ((1 + 2 / kPi) * std::sin(kPi / (4 * b)) + (1 - 2 / kPi) * std::cos(kPi / (4 * b)));
    return (std::sin(kPi * t * (1 - b)) + 4 * b * t * std::cos(kPi * t * (1 + b))) / (kPi * t * (1 - 16 * b * b * t * t));
}

// Phase share (0 .. 1) of one Gaussian-filtered symbol (BT 0.5) u symbols
// after its centre: the integral of a unit rectangle through the filter.
double gaussianShare(double u) {
    const double k = kPi * 0.5 * std::sqrt(2 / std::log(2.0));
    const auto G = [&](double x) { return x * std::erf(k * x) + std::exp(-k * k * x * x) / (k * std::sqrt(kPi)); };
    return 0.5 * (G(u + 0.5) - G(u - 0.5) + 1);
}

double raisedCosine(double x) { return x <= 0 ? 0 : x >= 1 ? 1 : 0.5 - 0.5 * std::cos(kPi * x); }

struct EdrPacket {
    int bps = 2;
    int type = 4;            // header TYPE
    std::size_t bytes = 54;  // body
    double amplitude = 1;    // DPSK against the GFSK carrier
    Bits body;
    ComplexRow wave;
};

// Builds the packet's samples: silence, ramp, 126 GFSK symbols, guard,
// reference, sync, payload (header, body, CRC), pad, trailer, ramp down.
// `period`: samples per symbol of the transmitter's clock; the body's bytes
// zerosFrom .. zerosTo - 1 are zero, the others random.
EdrPacket makePacket(int bps, int type, std::size_t bytes, double amplitude, std::mt19937& rng, double period = kSps,
                     std::size_t zerosFrom = 0, std::size_t zerosTo = 0) {
    EdrPacket p{bps, type, bytes, amplitude, {}, {}};
    Bits air;
    bt_AppendAccessCode(kLap, true, air);
    const auto header = bt_RawHeader(HeaderFields{3, static_cast<std::uint8_t>(type), 1, 0, 1}, kUap);
    for (std::uint8_t b : header)
        for (int r = 0; r < 3; ++r) air.push_back(b);
    Bits payload = {0, 1, 1};  // LLID 2 (start of an L2CAP message), FLOW 1
    for (int k = 0; k < 10; ++k) payload.push_back(static_cast<std::uint8_t>((bytes >> k) & 1u));
    payload.insert(payload.end(), 3, 0);
    for (std::size_t k = 0; k < 8 * bytes; ++k)
        p.body.push_back(k / 8 >= zerosFrom && k / 8 < zerosTo ? 0 : static_cast<std::uint8_t>(rng() & 1u));
    payload.insert(payload.end(), p.body.begin(), p.body.end());
    std::uint8_t crc[16];
    crc16(payload, kUap, crc);
    payload.insert(payload.end(), crc, crc + 16);
    while (payload.size() % std::size_t(bps)) payload.push_back(0);
    payload.insert(payload.end(), 2 * std::size_t(bps), 0);  // trailer

    std::vector<int> steps = {3, -3, 3, -3, 3, -3, -3, 3, 3, 3};
    for (std::size_t k = 0; k < payload.size(); k += std::size_t(bps)) steps.push_back(stepOf(&payload[k], bps));
    const std::size_t last = steps.size();  // DPSK symbols 0 .. last
    const double n = period;
    const double c0 = 40 * n;  // first access-code symbol's instant
    const double tRef = c0 + 131 * n;
    const double tEnd = tRef + double(last) * n;
    p.wave.assign(static_cast<std::size_t>(tEnd + 40 * n), Complex(0, 0));

    double phiEnd = 0;
    for (std::size_t q = 0; q < 126; ++q) phiEnd += kPi * 0.32 * (air[q] ? 1 : -1);
    std::vector<Complex> symbol(last + 1);
    symbol[0] = std::polar(1.0, phiEnd);
    for (std::size_t j = 1; j <= last; ++j) symbol[j] = symbol[j - 1] * std::polar(1.0, steps[j - 1] * kPi / 4);
    for (std::size_t m = 0; m < p.wave.size(); ++m) {
        const double t = double(m);
        double phi = 0;
        for (std::size_t q = 0; q < 126; ++q) {
            const double u = (t - (c0 + double(q) * n)) / n;
            phi += kPi * 0.32 * (air[q] ? 1 : -1) * (u < -4 ? 0.0 : u > 4 ? 1.0 : gaussianShare(u));
        }
        Complex dpsk = 0;
        const double first = std::max(0.0, std::ceil((t - tRef) / n - 8)), lastJ = std::floor((t - tRef) / n + 8);
        for (double j = first; j <= lastJ && j <= double(last); ++j)
            dpsk += symbol[std::size_t(j)] * rrc((t - tRef) / n - j);
        // Cross-fade inside the guard; ramps of 4 symbols at both ends.
        const double w = raisedCosine((t - (c0 + 127.5 * n)) / (2.5 * n));
        const double up = raisedCosine((t - (c0 - 6 * n)) / (4 * n));
        const double down = 1 - raisedCosine((t - (tEnd + 2 * n)) / (4 * n));
        p.wave[m] = up * down * ((1 - w) * std::polar(1.0, phi) + w * amplitude * dpsk);
    }
    return p;
}

Reception receiveOne(const ComplexRow& w, double sampleRate = kSps * 1e6) {
    ReceiverOptions o;
    o.lap = kLap;
    o.uap = kUap;
    o.whitening = 0;
    o.linkType = 2;
    return receive(w.data(), w.size(), sampleRate, o);
}

double worstBlockDevm(const ReceivedPacket& p) {
    const auto& b = p.measured.edr->blockDevm;
    return *std::max_element(b.begin(), b.end());
}

double meanDevm(const ReceivedPacket& p) {  // over all symbols, RMS
    double sum = 0;
    for (float v : p.measured.edr->symbolDevm) sum += double(v) * v;
    return std::sqrt(sum / double(p.measured.edr->symbolDevm.size()));
}

TEST(EdrReceiver, CleanPacketsDecodeWithTinyDevmAndTheirRelativePower) {
    std::mt19937 rng(drawSeed());
    struct Case {
        int bps, type;
        std::size_t bytes;
        const char* name;
        double relativeDb;
    };
    for (const Case c : {Case{2, 4, 54, "2-DH1", 0.0}, Case{3, 11, 300, "3-DH3", -2.5}, Case{2, 14, 679, "2-DH5", 0.7}}) {
        SCOPED_TRACE(c.name);
        const EdrPacket p = makePacket(c.bps, c.type, c.bytes, std::pow(10.0, c.relativeDb / 20), rng);
        const Reception r = receiveOne(p.wave);
        ASSERT_EQ(r.packets.size(), 1u);
        const ReceivedPacket& q = r.packets[0];
        EXPECT_TRUE(q.decoded.ok()) << q.decoded.describe();
        EXPECT_EQ(q.decoded.edrBitsPerSymbol, c.bps);
        EXPECT_EQ(packetTypeName(q.decoded.type, q.decoded.linkType, q.decoded.edrBitsPerSymbol), c.name);
        EXPECT_EQ(q.decoded.payloadLength, int(c.bytes));
        EXPECT_EQ(q.decoded.body, p.body);
        EXPECT_NEAR(double(q.startSample), 40.0 * kSps, 1.0);
        ASSERT_TRUE(q.measured.edr);
        EXPECT_LT(worstBlockDevm(q), 0.01) << ::testing::PrintToString(q.measured.edr->blockDevm);
        EXPECT_LT(q.measured.edr->peakDevm, 0.03);
        ASSERT_TRUE(q.measured.edr->relativePowerDb);
        EXPECT_NEAR(*q.measured.edr->relativePowerDb, c.relativeDb, 0.1);
        for (double o : q.measured.edr->omegaO) EXPECT_LT(std::fabs(o), 300);
        // The summary's EDR tests pass.
        int edrTests = 0;
        for (const TestResult& t : r.summary.tests)
            if (t.name.rfind("EDR", 0) == 0) {
                ++edrTests;
                EXPECT_TRUE(t.pass) << t.name << " " << t.value;
            }
        EXPECT_EQ(edrTests, 1 + 3 + 3 + 1);
    }
}

TEST(EdrReceiver, DevmFollowsNoiseLeakageImbalanceAndOffset) {
    const unsigned seed = drawSeed();
    std::printf("seed %u\n", seed);
    std::mt19937 rng(seed);
    const EdrPacket clean = makePacket(3, 15, 700, 1.0, rng);
    const auto devmOf = [&](const ComplexRow& w) {
        const Reception r = receiveOne(w);
        EXPECT_EQ(r.packets.size(), 1u);
        if (r.packets.empty() || !r.packets[0].measured.edr) return -1.0;
        EXPECT_TRUE(r.packets[0].decoded.ok());
        return meanDevm(r.packets[0]);
    };
    std::printf("8DPSK RMS DEVM: clean %.5f\n", devmOf(clean.wave));
    // Noise at Es/N0 (the matched filter's) of 25 dB: each differential
    // error holds two symbols' noise, DEVM = sqrt(2 / (Es/N0)).
    {
        ComplexRow w = clean.wave;
        std::normal_distribution<double> g(0, std::sqrt(0.5 * kSps * std::pow(10.0, -25 / 10.0)));
        for (Complex& z : w) z += Complex(g(rng), g(rng));
        const double devm = devmOf(w), theory = std::sqrt(2 * std::pow(10.0, -25 / 10.0));
        std::printf("8DPSK RMS DEVM: Es/N0 25 dB %.5f (theory %.5f)\n", devm, theory);
        EXPECT_NEAR(devm, theory, 0.1 * theory);
    }
    // A constant c on every symbol: E = c (1 - e^(j phi)), DEVM = sqrt(2) |c|.
    for (double leak : {-35.0, -25.0}) {
        IqImpairmentSettings s;
        s.carrierLeakageActive = true;
        s.carrierLeakage = leak;
        ComplexRow w = clean.wave;
        IqFrontEnd(s, kSps * 1e6).apply(w, 0);
        const double devm = devmOf(w), theory = std::sqrt(2.0) * std::pow(10.0, leak / 20);
        std::printf("8DPSK RMS DEVM: carrier leakage %g dBc %.5f (theory %.5f)\n", leak, devm, theory);
        EXPECT_NEAR(devm, theory, 0.1 * theory) << leak;
    }
    // Image nu s* against mu s: DEVM = sqrt(2) |nu| / |mu| = sqrt(2 / IRR).
    for (auto [gain, skew] : {std::pair{0.5, 0.0}, {0.0, 2.0}}) {
        IqImpairmentSettings s;
        s.gainImbalanceActive = s.quadratureSkewActive = true;
        s.gainImbalance = gain;
        s.quadratureSkew = skew;
        ComplexRow w = clean.wave;
        const IqFrontEnd f(s, kSps * 1e6);
        f.apply(w, 0);
        const double g = std::pow(10.0, gain / 20), c = std::cos(skew * kPi / 180);
        const double irr = (1 + 2 * g * c + g * g) / (1 - 2 * g * c + g * g);
        const double devm = devmOf(w), theory = std::sqrt(2 / irr);
        std::printf("8DPSK RMS DEVM: gain %g dB skew %g deg %.5f (theory %.5f)\n", gain, skew, devm, theory);
        EXPECT_NEAR(devm, theory, 0.1 * theory) << gain << " dB " << skew << " deg";
    }
    // Phase noise: the differential error is the phase's change over a
    // symbol, variance 2 (R(0) - R(T)) for the single pole's Lorentzian
    // (R(0) = 2 pi fc L(fc)); the matched filter smooths it a little.
    {
        IqImpairmentSettings s;
        s.phaseNoiseActive = true;
        s.phaseNoiseLevel = -80;
        s.phaseNoiseOffset = 100;
        s.seed = rng() % 65000 + 1;
        ComplexRow w = clean.wave;
        IqFrontEnd(s, kSps * 1e6).apply(w, 0);
        const double r0 = 2 * kPi * 100e3 * 1e-8, theory = std::sqrt(2 * r0 * (1 - std::exp(-2 * kPi * 100e3 * 1e-6)));
        const double devm = devmOf(w);
        std::printf("8DPSK RMS DEVM: phase noise -80 dBc/Hz at 100 kHz %.5f (theory %.5f)\n", devm, theory);
        // Unsmoothed, the change is an upper bound; the filter takes off
        // about a quarter.
        EXPECT_GT(devm, 0.6 * theory);
        EXPECT_LT(devm, theory);
    }
    // A carrier offset is omega_i, not DEVM.
    {
        ComplexRow w = clean.wave;
        for (std::size_t m = 0; m < w.size(); ++m) w[m] *= std::polar(1.0, 2 * kPi * 40e3 * double(m) / (kSps * 1e6));
        const Reception r = receiveOne(w);
        ASSERT_EQ(r.packets.size(), 1u);
        EXPECT_NEAR(*r.packets[0].measured.carrierOffset, 40e3, 1e3);
        EXPECT_LT(worstBlockDevm(r.packets[0]), 0.01);
        for (double o : r.packets[0].measured.edr->omegaO) EXPECT_LT(std::fabs(o), 1e3);
    }
}

// A transmitter whose symbol clock runs 50 ppm slow against the receiver's
// samples drifts 1.4 samples over the largest 3-DH5 body, and a body that
// is one symbol repeated over most of its length holds no timing there:
// the instants must follow the packet from where its symbols change at
// either end, and the blocks of the repeated symbol must not wander.
TEST(EdrReceiver, FollowsASlowClockAcrossSymbolsThatNeverChange) {
    const unsigned seed = drawSeed();
    std::printf("seed %u\n", seed);
    std::mt19937 rng(seed);
    const EdrPacket p = makePacket(3, 15, 1021, 1.0, rng, kSps * (1 + 50e-6), 60, 1000);
    const Reception r = receiveOne(p.wave);
    ASSERT_EQ(r.packets.size(), 1u);
    const ReceivedPacket& q = r.packets[0];
    EXPECT_TRUE(q.decoded.ok()) << q.decoded.describe();
    EXPECT_EQ(q.decoded.body, p.body);
    ASSERT_TRUE(q.measured.edr);
    EXPECT_LT(worstBlockDevm(q), 0.01) << ::testing::PrintToString(q.measured.edr->blockDevm);
}

// Recordings of radios run at rates that are no whole multiple of the
// symbol rate (2.048, 6.4, 10.24 MHz...): every instant then falls between
// samples, at another fraction each symbol.
TEST(EdrReceiver, ReadsAtSampleRatesThatAreNoMultipleOfTheSymbolRate) {
    std::mt19937 rng(drawSeed());
    for (const double rate : {2.048e6, 3.2e6, 6.4e6, 10.24e6}) {
        SCOPED_TRACE(rate);
        const EdrPacket p = makePacket(3, 11, 300, 1.0, rng, rate / 1e6);
        const Reception r = receiveOne(p.wave, rate);
        ASSERT_EQ(r.packets.size(), 1u);
        const ReceivedPacket& q = r.packets[0];
        EXPECT_TRUE(q.decoded.ok()) << q.decoded.describe();
        EXPECT_EQ(q.decoded.body, p.body);
        ASSERT_TRUE(q.measured.edr);
        EXPECT_LT(worstBlockDevm(q), 0.01) << ::testing::PrintToString(q.measured.edr->blockDevm);
        ASSERT_TRUE(q.measured.edr->relativePowerDb);
        EXPECT_NEAR(*q.measured.edr->relativePowerDb, 0, 0.1);
    }
}

}  // namespace
}  // namespace bt::analysis
