// The fast modulator against the literal step-by-step form (support/
// gfsk_reference): every sample within 1e-9 (so the phase within 1e-9 rad
// wherever the amplitude is 1), the clock marker identical, for every
// oversampling rate from 2 to 20, bursts on and off, with and without
// impairments, and for rows shorter than the filter span.
#include <gtest/gtest.h>

#include <string>

#include "bluetooth/modulator.h"
#include "support/bit_rows.h"
#include "support/gfsk_reference.h"

namespace bt {
namespace {

using testing::randomBits;

enum class Variant { Plain, Corrected, Impaired, LinearDrift, Short, RampsOnly };

std::string variantName(Variant v) {
    switch (v) {
    case Variant::Plain: return "Plain";
    case Variant::Corrected: return "Corrected";
    case Variant::Impaired: return "Impaired";
    case Variant::LinearDrift: return "LinearDrift";
    case Variant::Short: return "Short";
    case Variant::RampsOnly: return "RampsOnly";
    }
    return "";
}

struct Case {
    int oversampling;
    bool burst;
    Variant variant;
};

class ModulatorAgreement : public ::testing::TestWithParam<Case> {};

TEST_P(ModulatorAgreement, FastPathMatchesDirectForm) {
    const Case c = GetParam();
    ModulatorSettings s;
    s.modIndex = 0.28 + 0.004 * c.oversampling;  // a different index per case
    s.oversamplingRate = c.oversampling;
    s.burstActive = c.burst;
    s.burstLength = 4;
    s.burstSettle = 3;
    std::size_t bitCount = 300;
    switch (c.variant) {
    case Variant::Plain: break;
    case Variant::Corrected: s.phaseCorrection = true; break;
    case Variant::Impaired:
        s.phaseCorrection = true;
        s.freq.freqOffsetActive = true;
        s.freq.freqOffsetFreq = -100;
        s.freq.freqDriftActive = true;
        s.freq.freqDriftType = 2;
        s.freq.freqDriftDeviation = 25;
        s.freq.freqDriftRate = 3000;
        s.freq.initialDriftPhase = 30;
        s.AWGNactive = true;
        s.AWGNratio = 15;
        break;
    case Variant::LinearDrift:
        s.freq.freqDriftActive = true;
        s.freq.freqDriftType = 1;
        s.freq.freqDriftDeviation = 40;
        s.freq.freqDriftRate = 9000;
        s.freq.freqOffsetActive = true;
        s.freq.freqOffsetFreq = 75;
        break;
    case Variant::Short: bitCount = 10; s.phaseCorrection = true; break;
    case Variant::RampsOnly: bitCount = 0; break;
    }
    const Bits bits = randomBits(bitCount, 1000u + unsigned(c.oversampling));

    GaussianRandom fastNoise(7), referenceNoise(7);
    const ModulatedSignal fast = Bt_Modulate(bits, s, fastNoise);
    const ModulatedSignal reference = testing::referenceModulate(bits, s, referenceNoise);

    ASSERT_EQ(fast.waveform.size(), reference.waveform.size());
    double worst = 0;
    std::size_t worstAt = 0;
    for (std::size_t k = 0; k < fast.waveform.size(); ++k) {
        const double d = std::abs(fast.waveform[k] - reference.waveform[k]);
        if (d > worst) {
            worst = d;
            worstAt = k;
        }
    }
    EXPECT_LE(worst, 1e-9) << "at sample " << worstAt << " of " << fast.waveform.size();
    EXPECT_EQ(fast.clk, reference.clk);
    EXPECT_EQ(fastNoise.position(), referenceNoise.position());
}

std::vector<Case> allCases() {
    std::vector<Case> cases;
    for (int n = 2; n <= 20; ++n)
        for (bool burst : {false, true})
            for (Variant v : {Variant::Plain, Variant::Corrected, Variant::Impaired, Variant::LinearDrift})
                cases.push_back({n, burst, v});
    cases.push_back({1, false, Variant::Plain});  // one sample per symbol works too
    cases.push_back({1, true, Variant::Impaired});
    for (int n : {2, 7, 20}) {
        cases.push_back({n, false, Variant::Short});
        cases.push_back({n, true, Variant::Short});
        cases.push_back({n, true, Variant::RampsOnly});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(AllRates, ModulatorAgreement, ::testing::ValuesIn(allCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return "n" + std::to_string(info.param.oversampling) +
                                    (info.param.burst ? "Burst" : "Stream") +
                                    variantName(info.param.variant);
                         });

}  // namespace
}  // namespace bt
