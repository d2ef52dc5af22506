#include <gtest/gtest.h>

#include "lib/dialogs.h"
#include "app/frame_logic.h"

using namespace bt;

namespace {

TEST(FrameTitle, NameAndFile) {
    AppInfo info = defaultAppInfo();
    Configuration config;
    EXPECT_EQ(appTitle(info, config), "Veltor Tessaline - BLUETOOTH");
    config.LastParameterFilename = "/tmp/a.bt";
    EXPECT_EQ(appTitle(info, config), "Veltor Tessaline - BLUETOOTH : /tmp/a.bt");
}

TEST(FrameTimeStamp, Clock2str) {
    EXPECT_EQ(clock2str({2002, 8, 1, 9, 5, 3.9}), "01AUG2002 9:05:03");
    EXPECT_EQ(clock2str({2026, 12, 31, 23, 59, 59}), "31DEC2026 23:59:59");
    EXPECT_EQ(clock2str({2026, 1, 9, 0, 0, 0}), "09JAN2026 0:00:00");
    AppInfo info = defaultAppInfo();
    EXPECT_EQ(plotTitle(info, {2002, 8, 1, 9, 5, 3.7}), "BLUETOOTH (01AUG2002 9:05:03)");
}

TEST(ReadinessCheck, NotCalculatedAsksToCalculateFirst) {
    PresetDialogs d;
    AppInfo info = defaultAppInfo();
    Parameters p;
    EXPECT_EQ(checkWaveformReady(info, p, "Download", d), Readiness::CalculateFirst);  // default button
    ASSERT_EQ(d.shown().size(), 1u);
    EXPECT_EQ(d.shown()[0].title, "Waveform Not Calculated");
    EXPECT_EQ(d.shown()[0].text,
              "The waveform has not yet been calculated. Do you wish to calculate\nthe waveform and then download ?");
    d.queueAnswers({"Cancel"});
    EXPECT_EQ(checkWaveformReady(info, p, "Plot", d), Readiness::Stop);
    d.queueAnswers({"Calculate & Plot"});
    EXPECT_EQ(checkWaveformReady(info, p, "Plot", d), Readiness::CalculateFirst);
}

TEST(ReadinessCheck, ChangedSettingsOfferThreeButtons) {
    AppInfo info = defaultAppInfo();
    Parameters p;
    stampCalculation(info, p, {2002, 8, 1, 9, 5, 3});
    EXPECT_EQ(info.LastCalcTimeStamp, "01AUG2002 9:05:03");

    PresetDialogs d;
    EXPECT_EQ(checkWaveformReady(info, p, "Plot", d), Readiness::Go);
    EXPECT_TRUE(d.shown().empty());

    p.OverSampling = 12;
    EXPECT_EQ(checkWaveformReady(info, p, "Plot", d), Readiness::CalculateFirst);  // default: recalculate
    ASSERT_EQ(d.shown().size(), 1u);
    EXPECT_EQ(d.shown()[0].title, "Waveform Not Recalculated");
    EXPECT_EQ(d.shown()[0].text,
              "Settings have changed since last calculating the waveform.\nPlot will use the last calculated "
              "waveform.\nDo you wish to plot anyway ?");
    d.queueAnswers({"Yes", "Recalc & Plot", "Cancel", ""});
    EXPECT_EQ(checkWaveformReady(info, p, "Plot", d), Readiness::Go);
    EXPECT_EQ(checkWaveformReady(info, p, "Plot", d), Readiness::CalculateFirst);
    EXPECT_EQ(checkWaveformReady(info, p, "Plot", d), Readiness::Stop);
}

TEST(BasebandOption, Option001AsksOnlyAboveEightMillionSamples) {
    PresetDialogs d;
    EXPECT_EQ(chooseBbgOption("001", 8000000, d), BbgSwitch::Switch);
    EXPECT_TRUE(d.shown().empty());
    EXPECT_EQ(chooseBbgOption("001", 8000001, d), BbgSwitch::Keep);  // the default button keeps everything
    ASSERT_EQ(d.shown().size(), 1u);
    EXPECT_EQ(d.shown()[0].title, "Waveform too large");
    d.queueAnswers({"Yes"});
    EXPECT_EQ(chooseBbgOption("001", 8000001, d), BbgSwitch::ResetThenSwitch);
    EXPECT_EQ(chooseBbgOption("002", 30e6, d), BbgSwitch::Switch);
    EXPECT_EQ(d.shown().size(), 2u);
}

TEST(InstrumentMessages, DownloadAndRefresh) {
    FrameMessage m = downloadMessage({}, {});
    EXPECT_FALSE(m.error);
    EXPECT_EQ(m.title, "Download Completed");
    EXPECT_EQ(m.text, "Waveform has been successfully transferred to the instrument");
    m = downloadMessage({-12, "timed out"}, {});
    EXPECT_EQ(m.title, "Error Occured During Waveform Download");
    EXPECT_EQ(m.text, "timed out");
    m = downloadMessage({}, {-17, "bad"});
    EXPECT_EQ(m.title, "Error Occured During Instrument Setup");
    EXPECT_TRUE(refreshMessage({}).title.empty());
    EXPECT_EQ(refreshMessage({-11, "no"}).title, "Error Occured During Instrument Setup");
}

}  // namespace
