// The front end on its own: the channel filter against its definition;
// the bit detection, the sequence search against
// slicing the phase advance, both on the slicer's clock, counted against
// the bits the same front end reads from the waveform without noise; and
// the receiver under noise with a carrier far off and drifting.
#include "analysis/demodulator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "analysis/receiver.h"
#include "bluetooth/generate.h"
#include "bluetooth/settings_editor.h"
#include "support/settings_edits.h"

namespace bt::analysis {
namespace {

using bttest::Edits;
using bttest::settingsWith;

// The bits of every burst of the waveform, sliced or searched.
SlicedBits readBits(const ComplexRow& waveform, double sps, bool search) {
    std::vector<CFloat> x(waveform.size()), y(waveform.size());
    for (std::size_t k = 0; k < x.size(); ++k) x[k] = CFloat(waveform[k]);
    smooth(x.data(), x.size(), static_cast<std::size_t>(std::lround(sps / 2)), y.data());
    std::vector<float> freq(x.size() - 1);
    std::vector<double> phase(x.size());
    SlicedBits all;
    for (const SampleSpan& span : findBursts(y.data(), y.size(), sps)) {
        discriminate(y.data() + span.begin, span.end - span.begin, freq.data() + span.begin);
        runningPhase(freq.data() + span.begin, span.end - span.begin - 1, phase.data() + span.begin);
        SlicedBits b = sliceSpan(phase.data(), y.data(), phase.size(), span, sps);
        EXPECT_EQ(b.advances.size(), b.bits.size());
        EXPECT_EQ(b.carrier.size(), b.bits.size());
        if (search) detectSequence(x.data(), x.size(), sps, b);
        all.bits.insert(all.bits.end(), b.bits.begin(), b.bits.end());
        all.centres.insert(all.centres.end(), b.centres.begin(), b.centres.end());
    }
    return all;
}

// Bits of `read` that differ from the reference bit nearest in time, over
// the reference's symbols [from, to).
std::size_t errorsAgainst(const SlicedBits& reference, const SlicedBits& read, std::size_t from, std::size_t to,
                          double sps) {
    std::size_t errors = 0, j = 0;
    for (std::size_t k = from; k < to; ++k) {
        while (j < read.centres.size() && read.centres[j] < reference.centres[k] - sps / 2) ++j;
        if (j == read.centres.size()) return errors + (to - k);
        if (std::fabs(read.centres[j] - reference.centres[k]) > sps / 2 || read.bits[j] != reference.bits[k])
            ++errors;
    }
    return errors;
}

// The channel filter is two moving averages of `length` in cascade,
// centred, the edges left as they were: against the sums written out, on
// noise, for short and long rows.
TEST(ChannelFilter, IsTwoCentredMovingAverages) {
    std::mt19937 rng(5);
    std::normal_distribution<float> gauss;
    for (const std::size_t length : {std::size_t(2), std::size_t(5), std::size_t(10)}) {
        for (const std::size_t n : {std::size_t(3), 2 * length, 2 * length + 1, std::size_t(5000)}) {
            std::vector<CFloat> x(n), y(n);
            for (CFloat& v : x) v = {gauss(rng), gauss(rng)};
            smooth(x.data(), n, length, y.data());
            const std::size_t delay = length - 1;
            for (std::size_t c = 0; c < n; ++c) {
                std::complex<double> want = x[c];
                if (n >= 2 * length && c >= delay && c + length <= n) {
                    want = 0;
                    for (std::size_t j = c - delay; j <= c; ++j)
                        for (std::size_t i = j; i < j + length; ++i) want += std::complex<double>(x[i]);
                    want /= double(length * length);
                }
                ASSERT_LT(std::abs(std::complex<double>(y[c]) - want), 1e-5) << length << " " << n << " " << c;
            }
        }
    }
}

// A DH5 burst (2,871 air bits) at 10 and 12 dB per bit, at 10 and 4
// samples per symbol: the search makes at most a fifth of the slicer's
// errors (measured: 2e-3 against 4e-2 at 10 dB, 2e-4 against 2e-2 at 12).
TEST(SequenceSearch, MakesAFractionOfTheSlicersErrors) {
    for (const char* oversampling : {"10", "4"}) {
        const Edits common = {{"packetType", "15"}, {"OverSampling", oversampling}};
        const Parameters clean = settingsWith(common);
        const double sps = clean.OverSampling;
        const SlicedBits reference = readBits(Calculate(clean).waveform, sps, false);
        ASSERT_GT(reference.bits.size(), 2871u);
        // The reference is exact: the search reads the clean burst alike.
        const std::size_t from = 20, to = reference.bits.size() - 20;
        EXPECT_EQ(errorsAgainst(reference, readBits(Calculate(clean).waveform, sps, true), from, to, sps), 0u);
        for (const char* ratio : {"10", "12"}) {
            SCOPED_TRACE(std::string(oversampling) + " samples per symbol, " + ratio + " dB");
            Edits noisy = common;
            noisy.insert(noisy.end(), {{"impairments.AWGNactive", "1"}, {"impairments.AWGNratio", ratio}});
            const ComplexRow w = Calculate(settingsWith(noisy)).waveform;
            const std::size_t sliced = errorsAgainst(reference, readBits(w, sps, false), from, to, sps);
            const std::size_t searched = errorsAgainst(reference, readBits(w, sps, true), from, to, sps);
            EXPECT_GT(sliced, 20u);
            EXPECT_LE(searched * 5, sliced);
            EXPECT_LT(double(searched), 6e-3 * double(to - from));
        }
    }
}

// Twenty DH1 packets 75 kHz off either way with a 25 kHz sinusoidal drift,
// at 14 dB: every packet is found and nearly all decode (measured: 119 of
// 120 over three seeds each way).
TEST(SequenceSearch, FollowsAnOffsetAndDriftingCarrierUnderNoise) {
    for (const char* offset : {"75", "-75"}) {
        SCOPED_TRACE(std::string("offset ") + offset + " kHz");
        const Parameters p = settingsWith({{"multiPacket", "1"},
                                           {"impairments.AWGNactive", "1"},
                                           {"impairments.AWGNratio", "14"},
                                           {"impairments.FreqOffsetActive", "1"},
                                           {"impairments.FreqOffset", offset},
                                           {"impairments.FreqDriftActive", "1"},
                                           {"impairments.FreqDriftType", "2"},
                                           {"impairments.FreqDriftDeviation", "25"},
                                           {"impairments.FreqDriftRate", "1600"}});
        const GeneratedSignal s = Calculate(p);
        ReceiverOptions o;
        o.lap = static_cast<std::uint32_t>(std::uint64_t(p.BDaddr) & 0xFFFFFF);
        const Reception r = receive(s.waveform.data(), s.waveform.size(), p.OverSampling * 1e6, o);
        ASSERT_EQ(r.packets.size(), s.packets.size());
        std::size_t ok = 0;
        for (const ReceivedPacket& q : r.packets) ok += q.decoded.ok();
        EXPECT_GE(ok + 2, s.packets.size());
    }
}

}  // namespace
}  // namespace bt::analysis
