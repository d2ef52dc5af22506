#include "bluetooth/impairment_editor.h"

#include <gtest/gtest.h>

#include "bluetooth/settings_editor.h"
#include "bluetooth/settings_validate.h"
#include "lib/errors.h"

namespace bt {
namespace {

struct Entry {
    const char* field;
    const char* typed;
    const char* shown;  // what the control shows, i.e. what is stored
};

class ImpairmentEntry : public ::testing::TestWithParam<Entry> {};

TEST_P(ImpairmentEntry, IsRoundedAndClamped) {
    const Entry e = GetParam();
    const ImpairmentEdit r = editImpairment(Impairments{}, e.field, e.typed);
    EXPECT_EQ(r.shown, e.shown);
    EXPECT_TRUE(r.ignored.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ImpairmentEntry,
    ::testing::Values(Entry{"ModIndex", "0.3456", "0.346"}, Entry{"ModIndex", "0.2", "0.25"},
                      Entry{"ModIndex", "0.4004", "0.4"}, Entry{"AWGNratio", "12.75", "12.75"},
                      Entry{"AWGNratio", "3", "10"}, Entry{"AWGNseed", "70000", "65535"},
                      Entry{"AWGNseed", "2.5", "2.5"}, Entry{"AWGNseed", "-4", "1"},
                      Entry{"FreqDriftDeviation", "-12.5", "-13"}, Entry{"FreqDriftDeviation", "250", "100"},
                      Entry{"FreqOffset", "-150", "-100"}, Entry{"FreqOffset", "0.4", "0"},
                      Entry{"SymbolTimingError", "49.6", "50"}, Entry{"SymbolTimingError", "-80", "-50"},
                      Entry{"AWGNactive", "3", "1"}, Entry{"FreqDriftType", "2", "Sinusoidal"},
                      Entry{"FreqDriftRate", "2", "500 Hz"}, Entry{"FreqDriftRate", "300", "300 Hz"},
                      Entry{"FreqDriftRate", "7", "1600 Hz"}, Entry{"FreqDriftRate", "750", "1600 Hz"},
                      Entry{"GainImbalance", "0.125", "0.13"}, Entry{"GainImbalance", "-9", "-6"},
                      Entry{"QuadratureSkew", "-2.346", "-2.35"}, Entry{"QuadratureSkew", "45", "30"},
                      Entry{"CarrierLeakage", "-33.33", "-33.3"}, Entry{"CarrierLeakage", "0", "-10"},
                      Entry{"CarrierLeakage", "-100", "-80"}, Entry{"PhaseNoiseLevel", "-95.56", "-95.6"},
                      Entry{"PhaseNoiseLevel", "-30", "-60"}, Entry{"PhaseNoiseOffset", "99.5", "100"},
                      Entry{"PhaseNoiseOffset", "5", "10"}, Entry{"PhaseNoiseOffset", "2000", "400"},
                      Entry{"PhaseNoiseActive", "1", "1"}),
    [](const auto& info) { return std::string(info.param.field) + "_" + std::to_string(info.index); });

TEST(ImpairmentEditor, UnreadableEntriesTakeTheUpperLimit) {
    const ImpairmentEdit r = editImpairmentText(Impairments{}, "ModIndex", "abc");
    EXPECT_TRUE(r.unreadable);
    EXPECT_EQ(r.impairments.ModIndex, 0.4);
    EXPECT_EQ(editImpairmentText(Impairments{}, "FreqOffset", "").impairments.FreqOffset, 100);
}

TEST(ImpairmentEditor, ListsAndNames) {
    EXPECT_FALSE(selectDriftType(Impairments{}, 3).ignored.empty());
    EXPECT_EQ(driftRateItem(500), 2);
    EXPECT_EQ(driftRateItem(1234), 1);
    EXPECT_EQ(initImpairments().AWGNratio, 0);
    EXPECT_THROW(editImpairment(Impairments{}, "InitialDriftPhase", "10"), Error);
    EXPECT_THROW(editImpairment(Impairments{}, "FreqDriftType", "1.5"), Error);
}

TEST(ImpairmentEditor, FieldsTakeInputOnlyWhileTheirImpairmentIsOn) {
    Impairments imp;
    ImpairmentEnables e = impairmentEnables(imp);
    EXPECT_FALSE(e.ModIndex || e.AWGNratio || e.AWGNseed || e.FreqDriftType || e.FreqDriftDeviation ||
                 e.FreqDriftRate || e.FreqOffset || e.SymbolTimingError);
    imp.FreqDriftActive = 1;
    imp.FreqDriftType = 1;
    e = impairmentEnables(imp);
    EXPECT_TRUE(e.FreqDriftType && e.FreqDriftDeviation);
    EXPECT_FALSE(e.FreqDriftRate);  // a linear ramp has no rate
    imp.FreqDriftType = 2;
    EXPECT_TRUE(impairmentEnables(imp).FreqDriftRate);
    imp.FreqDriftActive = 0;
    EXPECT_FALSE(impairmentEnables(imp).FreqDriftRate);
    imp.AWGNactive = 1;
    imp.SymbolTimingErrorActive = 1;
    e = impairmentEnables(imp);
    EXPECT_TRUE(e.AWGNratio && e.AWGNseed && e.SymbolTimingError);
    EXPECT_FALSE(e.ModIndex || e.FreqOffset || e.GainImbalance || e.QuadratureSkew || e.CarrierLeakage ||
                 e.PhaseNoiseLevel || e.PhaseNoiseOffset);
    imp.QuadratureSkewActive = 1;
    imp.PhaseNoiseActive = 1;
    e = impairmentEnables(imp);
    EXPECT_TRUE(e.QuadratureSkew && e.PhaseNoiseLevel && e.PhaseNoiseOffset);
    EXPECT_FALSE(e.GainImbalance || e.CarrierLeakage);
}

// Through the settings editor: the symbol timing error moves the
// instrument's sample rate while it is active.
TEST(ImpairmentEditor, SettingsEditsCoupleTheSampleRate) {
    const EditContext ctx;
    Parameters p;
    p = editField(p, "impairments.SymbolTimingError", "-20.4", ctx).parameters;
    const EditResult on = editField(p, "impairments.SymbolTimingErrorActive", "1", ctx);
    EXPECT_EQ(on.parameters.impairments.SymbolTimingError, -20);
    ASSERT_TRUE(on.samplingRate);
    EXPECT_EQ(*on.samplingRate, 10 * (1e6 - 20));
    EXPECT_EQ(on.shownText("impairments.SymbolTimingErrorActive"), "1");

    SigGenSettings s;
    acceptImpairments(p, s, on.parameters.impairments);
    EXPECT_EQ(s.SamplingRate, 10 * (1e6 - 20));
}

// A settings file may hold only what the window would keep.
TEST(ImpairmentEditor, SettingsFilesAreCheckedWithTheWindowsRules) {
    const EditContext ctx;
    for (auto [field, change] : {std::pair{"impairments.ModIndex", +[](Impairments& i) { i.ModIndex = 0.3155; }},
                                 {"impairments.FreqDriftType", +[](Impairments& i) { i.FreqDriftType = 1.5; }},
                                 {"impairments.FreqOffset", +[](Impairments& i) { i.FreqOffset = 20.5; }},
                                 {"impairments.AWGNactive", +[](Impairments& i) { i.AWGNactive = 0.5; }},
                                 {"impairments.CarrierLeakage", +[](Impairments& i) { i.CarrierLeakage = -5; }},
                                 {"impairments.PhaseNoiseOffset", +[](Impairments& i) { i.PhaseNoiseOffset = 1e3; }},
                                 {"impairments.GainImbalanceActive", +[](Impairments& i) { i.GainImbalanceActive = 2; }}}) {
        Parameters p;
        change(p.impairments);
        const auto problem = findInconsistentField(p, ctx);
        ASSERT_TRUE(problem) << field;
        EXPECT_EQ(problem->field, field);
    }
    Parameters fine;
    fine.impairments.AWGNseed = 2.5;
    fine.impairments.FreqDriftRate = 300;
    fine.impairments.QuadratureSkew = -12.25;
    EXPECT_FALSE(findInconsistentField(fine, ctx));
    // The dirty-transmitter sets hold the same ranges.
    fine.dtImpairmentsCurrent[4].PhaseNoiseLevel = -20;
    const auto dt = findInconsistentField(fine, ctx);
    ASSERT_TRUE(dt);
    EXPECT_EQ(dt->field, "dtImpairmentsCurrent(5).PhaseNoiseLevel");
}

}  // namespace
}  // namespace bt
