// Enhanced Data Rate packets: the air bits against the packet format, and
// the modulation against a direct-form reference written here from the
// radio's definition (Gray tables as angles, differential encoding, the
// square-root raised cosine evaluated in long double), sharing no code with
// the generator's tables and overlay.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "bluetooth/generate.h"
#include "bluetooth/multi_packet.h"
#include "bluetooth/packet.h"
#include "bluetooth/packet_types.h"
#include "bluetooth/settings_editor.h"
#include "bluetooth/settings_validate.h"
#include "bluetooth/single_packet.h"
#include "bluetooth/size_est.h"

namespace bt {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr std::uint64_t kAddr = 0x0123A5C0FFEEull;

// Phase change of each bit group, first bit on air leftmost.
double phaseChange(const std::uint8_t* b, int bps) {
    if (bps == 2) {
        const int v = b[0] * 10 + b[1];
        return v == 0 ? kPi / 4 : v == 1 ? 3 * kPi / 4 : v == 11 ? -3 * kPi / 4 : -kPi / 4;
    }
    switch (b[0] * 100 + b[1] * 10 + b[2]) {
        case 0: return 0;
        case 1: return kPi / 4;
        case 11: return kPi / 2;
        case 10: return 3 * kPi / 4;
        case 110: return kPi;
        case 111: return -3 * kPi / 4;
        case 101: return -kPi / 2;
        default: return -kPi / 4;  // 100
    }
}

long double rootRaisedCosine(long double t) {
    const long double b = 0.4L, pi = std::numbers::pi_v<long double>;
    if (std::fabs(t) < 1e-15L) return 1 - b + 4 * b / pi;
    const long double d = 1 - 16 * b * b * t * t;
    if (std::fabs(d) < 1e-12L)
        return b / std::sqrt(2.0L) * ((1 + 2 / pi) * std::sin(pi / (4 * b)) + (1 - 2 / pi) * std::cos(pi / (4 * b)));
    return (std::sin(pi * t * (1 - b)) + 4 * b * t * std::cos(pi * t * (1 + b))) / (pi * t * d);
}

struct Reference {
    std::vector<std::complex<long double>> samples;  // from the reference instant - 8 symbols
    std::size_t first = 0;                            // generated sample of samples[0]
    std::vector<double> phases;                       // ideal symbol phases, reference symbol 0
};

// The DPSK section of the packet with air bits `bits` whose first
// access-code sample is `start`: sum_j e^(j*theta_j) p(t - t_j), p cut at
// 8 symbols and scaled to one symbol's energy per symbol.
Reference directForm(const Bits& bits, int bps, std::size_t start, std::size_t n) {
    Reference r;
    r.phases.push_back(0);
    for (std::size_t k = 126; k < bits.size(); k += std::size_t(bps))
        r.phases.push_back(r.phases.back() + phaseChange(&bits[k], bps));
    const long double half = 8;
    long double energy = 0;
    for (long double x = -half * n; x <= half * n; ++x) energy += std::pow(rootRaisedCosine(x / n), 2);
    const long double scale = std::sqrt(n / energy);
    const std::size_t reference = start + 131 * n;
    r.first = reference - 8 * n;
    const std::size_t count = (r.phases.size() + 15) * n;
    r.samples.assign(count, 0);
    for (std::size_t j = 0; j < r.phases.size(); ++j) {
        const std::complex<long double> s = std::polar(1.0L, static_cast<long double>(r.phases[j]));
        const long double centre = static_cast<long double>(reference + j * n);
        for (std::size_t k = 0; k < count; ++k) {
            const long double t = (static_cast<long double>(r.first + k) - centre) / n;
            if (std::fabs(t) <= half) r.samples[k] += s * rootRaisedCosine(t) * scale;
        }
    }
    return r;
}

PacketWaveformSettings edrSettings(double type, double relativePower = 0, double link = 2) {
    PacketWaveformSettings s;
    s.linkType = link;
    s.PacketType = type;
    s.BDaddr = double(kAddr);
    s.AMaddr = 3;
    s.modulation.burstActive = true;
    s.modulation.burstLength = 4;
    s.modulation.burstSettle = 4;
    s.modulation.oversamplingRate = 10;
    s.modulation.edrRelativePower = relativePower;
    return s;
}

Bits pattern(std::size_t length, unsigned seed) {
    Bits b(length);
    unsigned v = seed;
    for (auto& x : b) {
        v = v * 1103515245u + 12345u;
        x = (v >> 16) & 1;
    }
    return b;
}

struct Case {
    double type;
    int bps;
    double link = 2;
};

TEST(Edr, AirBitsFollowThePacketFormat) {
    // Sync sequence after the reference symbol: phase changes 3pi/4, -3pi/4
    // (x3), then -3pi/4, 3pi/4, 3pi/4, 3pi/4.
    const double sync[] = {3, -3, 3, -3, 3, -3, -3, 3, 3, 3};
    for (const Case c : {Case{16, 2}, Case{21, 3}, Case{19, 3}, Case{17, 2}}) {
        const PacketTypeInfo* t = bt_PacketTypeInfo(2, c.type);
        ASSERT_TRUE(t && t->edr());
        SCOPED_TRACE(std::string(t->name));
        const Bits data = pattern(100, 7);  // 13 bytes after padding
        const PacketInputs in = bt_SinglePacketInputs(2, c.type, double(kAddr), 3, 1, 0, 0, 0);
        const PacketBits p = Bt_Packet(data, in);
        const std::size_t payload = 16 + 13 * 8 + 16;
        const std::size_t pad = (c.bps - payload % c.bps) % c.bps;
        ASSERT_EQ(p.bitstream.size(), 126 + 10 * c.bps + payload + pad + 2 * c.bps);
        // Header TYPE field (bits 3..6 of the header, each sent three times).
        int type = 0;
        for (int k = 0; k < 4; ++k) type |= p.bitstream[72 + 3 * (3 + k)] << k;
        EXPECT_EQ(type, t->typeField);
        for (std::size_t k = 0; k < 10; ++k)
            EXPECT_NEAR(phaseChange(&p.bitstream[126 + k * c.bps], c.bps), sync[k] * kPi / 4, 1e-15) << k;
        // Payload header: L_CH 2 (binary 10), FLOW 1, LENGTH 13 in 10 bits.
        const std::uint8_t* h = &p.bitstream[126 + 10 * c.bps];
        EXPECT_EQ(h[0], 0);
        EXPECT_EQ(h[1], 1);
        EXPECT_EQ(h[2], 1);
        unsigned length = 0;
        for (int k = 0; k < 10; ++k) length |= unsigned(h[3 + k]) << k;
        EXPECT_EQ(length, 13u);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), h + 16));
        for (std::size_t k = p.bitstream.size() - pad - 2 * c.bps; k < p.bitstream.size(); ++k)
            EXPECT_EQ(p.bitstream[k], 0) << "trailer bit " << k;
        // The marker covers the user bytes only.
        EXPECT_EQ(p.marker.userPayloadLength, 13u * 8);
        EXPECT_EQ(p.marker.headerPad, 126 + 10 * c.bps + 16);
    }
}

// The generated DPSK section is the reference's, turned to the carrier
// phase the header leaves and scaled to the set power: at every sample of
// the full-weight part, phases within 1e-9 rad and magnitudes within 1e-9.
void expectDirectForm(const GeneratedSignal& g, const PacketOnAir& packet, const Bits& bits, int bps,
                      double amplitude, std::size_t n) {
    const Reference r = directForm(bits, bps, packet.sampleStart, n);
    const std::size_t reference = packet.sampleStart + 131 * n;
    const std::complex<long double> carrier =
        std::complex<long double>(g.waveform[reference]) / r.samples[reference - r.first];
    EXPECT_NEAR(double(std::abs(carrier)), amplitude, 1e-9);
    const double phi = double(std::arg(carrier));
    const std::size_t from = packet.sampleStart + 130 * n;
    const std::size_t to = reference + r.phases.size() * n;  // the weight falls from here
    ASSERT_LE(to, g.waveform.size());
    double worstPhase = 0, worstMagnitude = 0;
    for (std::size_t k = from; k < to; ++k) {
        const std::complex<long double> expect = r.samples[k - r.first];
        const Complex got = g.waveform[k];
        worstPhase = std::max(worstPhase, std::abs(std::remainder(std::arg(got) - double(std::arg(expect)) - phi,
                                                                  2 * kPi)));
        worstMagnitude = std::max(worstMagnitude, std::abs(std::abs(got) - amplitude * double(std::abs(expect))));
    }
    EXPECT_LT(worstPhase, 1e-9);
    EXPECT_LT(worstMagnitude, 1e-9);
    // At the symbol instants the generated phases step by the ideal changes
    // once the pulses' overlap is taken away: matched-filter the generated
    // section and compare the differential phases with the tables'.
    const std::size_t half = 8 * n;
    std::vector<long double> mf(2 * half + 1);
    for (std::size_t k = 0; k < mf.size(); ++k) mf[k] = rootRaisedCosine((double(k) - double(half)) / double(n));
    double worstStep = 0;
    Complex previous;
    // From the first symbol whose filter window lies past the guard's
    // transition to the last whose window ends before the closing.
    for (std::size_t j = 8; j + 9 < r.phases.size(); ++j) {
        std::complex<long double> acc = 0;
        const std::size_t centre = reference + j * n;
        for (std::size_t k = 0; k < mf.size(); ++k) acc += std::complex<long double>(g.waveform[centre - half + k]) * mf[k];
        const Complex z(double(acc.real()), double(acc.imag()));
        if (j > 8)
            worstStep = std::max(worstStep, std::abs(std::remainder(std::arg(z / previous) -
                                                                        (r.phases[j] - r.phases[j - 1]), 2 * kPi)));
        previous = z;
    }
    EXPECT_LT(worstStep, 0.03);  // what cutting the pulses at 8 symbols leaves
    // The join is continuous: no sample-to-sample step larger than the
    // DPSK signal's own from the header's end to the DPSK section.
    for (std::size_t k = packet.sampleStart + 120 * n; k < reference + 20 * n; ++k)
        ASSERT_LT(std::abs(g.waveform[k + 1] - g.waveform[k]), 5.0 / double(n)) << "at sample " << k;
}

TEST(Edr, ModulationMatchesTheDirectForm) {
    const std::size_t n = 10;
    for (const Case c : {Case{16, 2}, Case{19, 3}, Case{20, 3}, Case{17, 2, 3}, Case{18, 3, 3}}) {
        const PacketTypeInfo* t = bt_PacketTypeInfo(c.link, c.type);
        ASSERT_TRUE(t && t->edr());
        SCOPED_TRACE(std::string(t->name));
        const Bits data = pattern(t->payloadBits, 11);
        const PacketWaveformSettings s = edrSettings(c.type, -2, c.link);
        const GeneratedSignal g = Bt_SinglePacket(std::span<const std::uint8_t>(data), s);
        ASSERT_EQ(g.packets.size(), 1u);
        const PacketInputs in = bt_SinglePacketInputs(c.link, c.type, double(kAddr), 3, 0, 0, 0, 1);
        const PacketBits p = Bt_Packet(data, in);
        expectDirectForm(g, g.packets[0], p.bitstream, c.bps, std::pow(10.0, -2.0 / 20), n);
    }
}

TEST(Edr, EveryPacketOfASequenceIsModulatedAlike) {
    const std::size_t n = 4;
    for (const double burst : {1.0, 0.0}) {
        PacketWaveformSettings s = edrSettings(19);
        s.modulation.oversamplingRate = double(n);
        s.modulation.burstActive = burst != 0;
        s.scramblerActive = 1;
        s.scramblerInit = 0x55;
        const Bits data = pattern(83 * 8 * 2 + 40, 3);
        const GeneratedSignal g = Bt_MultiPacket(std::span<const std::uint8_t>(data), s);
        ASSERT_EQ(g.packets.size(), 4u);  // three with data and one to complete the pair
        for (std::size_t k = 0; k < g.packets.size(); ++k) {
            SCOPED_TRACE("packet " + std::to_string(k) + (burst != 0 ? " in bursts" : " joined"));
            const PacketOnAir& a = g.packets[k];
            PacketInputs in = bt_SinglePacketInputs(2, 19, double(kAddr), 3, a.SEQN, 0, 1, 0x55);
            const std::size_t from = std::min(k * 83 * 8, data.size());
            const PacketBits p = Bt_Packet(std::span(data).subspan(from, std::min<std::size_t>(83 * 8, data.size() - from)), in);
            ASSERT_EQ(a.sampleCount, (131 + (p.bitstream.size() - 126) / 3 + 1 + 4) * n);
            if (burst != 0) expectDirectForm(g, a, p.bitstream, 3, 1, n);
            // The payload marker covers the user symbols.
            const std::size_t user = a.payloadBytes * 8;
            std::size_t marked = 0;
            for (std::size_t i = a.sampleStart; i < a.sampleStart + a.sampleCount; ++i) marked += g.markers.row2[i];
            EXPECT_EQ(marked, (user + 2) / 3 * n);
        }
    }
}

TEST(Edr, RelativePowerIsAsSet) {
    for (const double db : {-4.0, 0.0, 1.0}) {
        const Bits data = pattern(1021 * 8, 5);
        const GeneratedSignal g = Bt_SinglePacket(std::span<const std::uint8_t>(data), edrSettings(21, db));
        const PacketOnAir& a = g.packets[0];
        const auto power = [&](std::size_t from, std::size_t to) {
            double sum = 0;
            for (std::size_t k = from; k < to; ++k) sum += std::norm(g.waveform[k]);
            return sum / double(to - from);
        };
        const std::size_t n = 10;
        const double gfsk = power(a.sampleStart, a.sampleStart + 126 * n);
        const double dpsk = power(a.sampleStart + 142 * n, a.sampleStart + a.sampleCount - 8 * n);
        EXPECT_NEAR(10 * std::log10(dpsk / gfsk), db, 0.1) << db;
    }
}

TEST(Edr, SettingsNamesSizesAndOlderCodes) {
    // The ACL list names every EDR type after the basic-rate ones; SCO has none.
    const auto acl = packetTypeLabels(2);
    ASSERT_EQ(acl.size(), 23u);
    EXPECT_EQ(acl[16 + 2 - 1], "4: 2-DH1");
    EXPECT_EQ(acl[21 + 2 - 1], "F: 3-DH5");
    EXPECT_EQ(packetTypeLabels(1).size(), 17u);
    EXPECT_EQ(packetTypeLabels(3).back(), "D: 3-EV5");
    EXPECT_EQ(Bt_UserPayloadMaxSize(3, 19), 540 * 8);
    EXPECT_EQ(bt_NumberOfSlots(3, 17), 4);
    EXPECT_EQ(bt_PacketTypeInfo(1, 21), nullptr);
    EXPECT_EQ(Bt_UserPayloadMaxSize(2, 21), 1021 * 8);
    EXPECT_EQ(Bt_UserPayloadMaxSize(2, 16), 54 * 8);
    EXPECT_EQ(bt_NumberOfSlots(2, 21), 6);
    EXPECT_EQ(bt_NumberOfSlots(2, 19), 2);
    EXPECT_EQ(bt_NumberOfSlots(2, 17), 4);

    const EditContext ctx;
    Parameters p;
    EditResult r = selectPacketType(p, 21 + 2, ctx);
    ASSERT_TRUE(r.ignored.empty()) << r.ignored;
    EXPECT_EQ(r.parameters.packetType, 21);
    EXPECT_EQ(r.parameters.patternLength, 1021 * 8);
    EXPECT_EQ(displayText(r.parameters, "packetType"), "F: 3-DH5");
    EXPECT_FALSE(findInconsistentField(r.parameters, ctx));
    // The projected size is the generated one, bursts on and off.
    for (const char* burst : {"1", "0"}) {
        Parameters q = editField(r.parameters, "burstActive", burst, ctx).parameters;
        q = editField(q, "OverSampling", "2", ctx).parameters;
        EXPECT_EQ(Bt_SizeEst(q), double(Calculate(q).waveform.size())) << burst;
    }
    // On SCO the code is refused like any code the list does not offer.
    Parameters sco = r.parameters;
    sco.linkType = 1;
    const auto problem = findInconsistentField(sco, ctx);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->field, "packetType");
    // The relative power is clamped as the other entries are, and taken
    // for an EDR packet only; a file keeps it whatever the packet.
    EXPECT_EQ(editField(r.parameters, "edrRelativePower", "-25", ctx).parameters.edrRelativePower, kEdrRelativePowerMin);
    EXPECT_FALSE(editField(p, "edrRelativePower", "-2", ctx).ignored.empty());
    p.edrRelativePower = -2;
    EXPECT_FALSE(findInconsistentField(p, ctx));
    p.edrRelativePower = 12;
    EXPECT_TRUE(findInconsistentField(p, ctx));
}

}  // namespace
}  // namespace bt
