#include "instrument/siggen_editor.h"

#include <gtest/gtest.h>

#include "lib/errors.h"

namespace bt {
namespace {

enum Unit { Hz = 1, kHz = 2, MHz = 3, GHz = 4 };

TEST(SigGenPanel, FrequencyIsScaledLimitedAndShownInTheLargestUnit) {
    const SigGenSettings s;
    SigGenEdit e = editFrequency(s, "2.4", GHz);
    EXPECT_EQ(e.settings.Frequency, 2400000000.0);
    EXPECT_EQ(e.shown.text, "2.4");
    EXPECT_EQ(e.shown.unit, GHz);

    e = editFrequency(s, "50", kHz);
    EXPECT_EQ(e.settings.Frequency, 100000.0);
    EXPECT_EQ(e.shown.text, "100");
    EXPECT_EQ(e.shown.unit, kHz);

    // Typed in one unit, shown in another.
    e = editFrequency(s, "2441500", kHz);
    EXPECT_EQ(e.settings.Frequency, 2441500000.0);
    EXPECT_EQ(e.shown.text, "2.4415");
    EXPECT_EQ(e.shown.unit, GHz);
    e = editFrequency(s, "999.999", MHz);
    EXPECT_EQ(e.shown.text, "999.999");
    EXPECT_EQ(e.shown.unit, MHz);

    e = editFrequency(s, "7e9", Hz);
    EXPECT_EQ(e.settings.Frequency, 6e9);
    EXPECT_EQ(e.shown.text, "6");
    EXPECT_EQ(e.shown.unit, GHz);
}

TEST(SigGenPanel, DecimalFrequenciesLandOnWholeHertz) {
    // Every channel typed in GHz or MHz must be exactly its carrier, or the
    // channel read-out shows "--" for a whole channel.
    for (int ch = 0; ch <= 78; ++ch) {
        const std::string ghz = "2." + std::to_string(402 + ch);
        const double want = (2402.0 + ch) * 1e6;
        EXPECT_EQ(editFrequency({}, ghz, GHz).settings.Frequency, want) << ghz;
        EXPECT_EQ(editFrequency({}, " " + std::to_string(2402 + ch) + ".0 ", MHz).settings.Frequency, want);
    }
    EXPECT_EQ(editFrequency({}, "2.4415e0", GHz).settings.Frequency, 2441500000.0);
}

TEST(SigGenPanel, TextThatIsNoNumber) {
    SigGenSettings s;
    s.Amplitude = -30;
    // The frequency takes its upper limit and shows it.
    const SigGenEdit f = editFrequency(s, "abc", MHz);
    EXPECT_TRUE(f.unreadable);
    EXPECT_EQ(f.settings.Frequency, 6e9);
    EXPECT_EQ(f.shown.text, "6");
    // The power never jumps to full output on a slip of the keyboard.
    const SigGenEdit a = editAmplitude(s, "-3O");
    EXPECT_TRUE(a.unreadable);
    EXPECT_EQ(a.settings.Amplitude, -30);
    EXPECT_EQ(a.shown.text, "-30");
    EXPECT_EQ(editAmplitude(s, "").settings.Amplitude, -30);
}

TEST(SigGenPanel, PowerIsWholeDbmWithinLimits) {
    EXPECT_EQ(editAmplitude({}, "-140.4").settings.Amplitude, -136);
    EXPECT_EQ(editAmplitude({}, "3.6").settings.Amplitude, 4);
    EXPECT_EQ(editAmplitude({}, "-2.5").settings.Amplitude, -3);  // halves away from zero
    EXPECT_EQ(editAmplitude({}, "25").settings.Amplitude, 20);
    EXPECT_EQ(editAmplitude({}, "-7").shown.text, "-7");
}

TEST(SigGenPanel, TitleFilter) {
    EXPECT_EQ(filterWaveformTitle("bt test-1/ab"), "BTTEST-1AB");
    EXPECT_EQ(filterWaveformTitle("bt test!"), "BTTEST");
    EXPECT_EQ(filterWaveformTitle("     "), "BLANK");
    EXPECT_EQ(filterWaveformTitle(""), "BLANK");
    EXPECT_EQ(filterWaveformTitle("abcdefghijklmnopqrstuvwxy"), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(filterWaveformTitle("_$&#+-[]09"), "_$&#+-[]09");
    // Characters outside ASCII are dropped whole, never upper-cased into
    // something the instrument cannot store.
    EXPECT_EQ(filterWaveformTitle("t\xc3\xa9st\"x\n"), "TSTX");
    // Cutting counts what remains, not what was typed.
    EXPECT_EQ(filterWaveformTitle("a b c d e f g h i j k l m n o p q r s t u v"), "ABCDEFGHIJKLMNOPQRST");

    const SigGenEdit e = editTitle({}, "my wave");
    EXPECT_EQ(e.settings.Title, "MYWAVE");
    EXPECT_EQ(e.shown.text, "MYWAVE");

    EXPECT_TRUE(passesTitleFilter("Bluetooth_DT10"));
    EXPECT_FALSE(passesTitleFilter(""));
    EXPECT_FALSE(passesTitleFilter("BT DT"));
    EXPECT_FALSE(passesTitleFilter("B\xc3\x9c"));
    EXPECT_FALSE(passesTitleFilter("A\"B"));
}

TEST(SigGenAdvanced, SampleRateLimitsDependOnTheGeneration) {
    const SigGenSettings s;
    SigGenEdit e = editSamplingRate(s, "50", MHz, SigGenModel::IxoB);
    EXPECT_EQ(e.settings.SamplingRate, 40000000.0);
    EXPECT_EQ(e.shown.text, "40");
    EXPECT_EQ(e.shown.unit, MHz);
    e = editSamplingRate(s, "50", MHz, SigGenModel::IxoC);
    EXPECT_EQ(e.settings.SamplingRate, 50000000.0);
    e = editSamplingRate(s, "200000", kHz, SigGenModel::IxoC);
    EXPECT_EQ(e.settings.SamplingRate, 100e6);
    e = editSamplingRate(s, "0.2", Hz, SigGenModel::IxoC);
    EXPECT_EQ(e.settings.SamplingRate, 1);
    EXPECT_EQ(e.shown.text, "1");
    EXPECT_EQ(e.shown.unit, Hz);
    e = editSamplingRate(s, "9999670", Hz, SigGenModel::IxoC);
    EXPECT_EQ(e.shown.text, "9.99967");
    EXPECT_EQ(e.shown.unit, MHz);
    e = editSamplingRate(s, "12.5", kHz, SigGenModel::IxoB);
    EXPECT_EQ(e.shown.text, "12.5");
    EXPECT_EQ(e.shown.unit, kHz);
    e = editSamplingRate(s, "x", kHz, SigGenModel::IxoB);
    EXPECT_TRUE(e.unreadable);
    EXPECT_EQ(e.settings.SamplingRate, 40e6);

    EXPECT_NE(samplingRateTooltip(SigGenModel::IxoB).find("Valid Range: 1 Hz - 40 MHz\n"), std::string::npos);
    EXPECT_NE(samplingRateTooltip(SigGenModel::IxoC).find("Valid Range: 1 Hz - 100 MHz\n"), std::string::npos);
}

TEST(SigGenAdvanced, ScalingAndAttenuation) {
    const SigGenSettings s;
    EXPECT_EQ(editScaling(s, "0.5").settings.Scaling, 1);
    EXPECT_EQ(editScaling(s, "99.996").settings.Scaling, 100);
    EXPECT_EQ(editScaling(s, "99.994").settings.Scaling, 99.99);
    EXPECT_EQ(editScaling(s, "12.345").settings.Scaling, 12.35);  // exactly as typed, not 12.3449...
    EXPECT_EQ(editScaling(s, "12.345").shown.text, "12.35");
    EXPECT_EQ(editScaling(s, "").settings.Scaling, 100);
    EXPECT_EQ(editModAtten(s, "41").settings.ModAtten, 40);
    EXPECT_EQ(editModAtten(s, "-1").settings.ModAtten, 0);
    EXPECT_EQ(editModAtten(s, "2.5").settings.ModAtten, 3);
}

TEST(SigGenAdvanced, ListsFlagsAndControlsPerGeneration) {
    SigGenSettings s;
    EXPECT_EQ(selectReconFilter(s, 4).ReconFilter, 4);
    EXPECT_EQ(selectReconFilter(s, 5).ReconFilter, s.ReconFilter);
    EXPECT_EQ(selectBBfilter(s, 3).BBfilter, 3);
    EXPECT_EQ(selectBBfilter(s, 4).BBfilter, s.BBfilter);
    s = setSigGenFlag(s, "ArbRefSource", true);
    s = setSigGenFlag(s, "ALC", false);
    EXPECT_EQ(s.ArbRefSource, 1);
    EXPECT_EQ(s.ALC, 0);
    EXPECT_THROW(setSigGenFlag(s, "Scaling", true), Error);

    const AdvancedControls b = advancedControlsOf(sigGenModelOf('b'));
    EXPECT_TRUE(b.reconFilter);
    EXPECT_FALSE(b.bbFilter || b.scaling || b.modAtten);
    const AdvancedControls c = advancedControlsOf(sigGenModelOf('c'));
    EXPECT_FALSE(c.reconFilter);
    EXPECT_TRUE(c.bbFilter && c.scaling && c.modAtten);
}

}  // namespace
}  // namespace bt
