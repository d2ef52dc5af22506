// Clock/gate delay calibration against the simulated bench: the simulator's
// receiver demodulates the waveform, its BERT samples the receiver's output
// at the clock marker's edges, and the sweep must find where they meet.
#include "instrument/delay_calibration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>

#include "bluetooth/generate.h"
#include "bluetooth/shift_registers.h"
#include "instrument/download.h"
#include "lib/numtext.h"
#include "sim_fixture.h"

namespace bt {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(DelayFinder, EditsSnapToTheSampleGridAndRefuseWhatIsOutOfRange) {
    DelayFinderConfig c;  // 10 samples per microsecond
    DelayEdit e = editStart(c, "0.37");
    EXPECT_EQ(e.message, "");
    EXPECT_EQ(e.config.Start, 0.4);
    EXPECT_EQ(e.shown, "0.4");
    EXPECT_EQ(editDelayStep(c, "0.04").config.DelayStep, 0.1);
    EXPECT_EQ(editDelayStep(c, "250").config.DelayStep, 100);
    EXPECT_EQ(editDelayStep(c, "0.26").config.DelayStep, 0.3);

    e = editStart(c, "101");
    EXPECT_EQ(e.message, "Start Clock/Gate delay should between 0 and 100 us");
    EXPECT_EQ(e.config.Start, 0);
    EXPECT_EQ(e.shown, "0");
    EXPECT_EQ(editEnd(c, "-1").message, "End Clock/Gate delay should be between 0 and 100 us");
    EXPECT_EQ(editEnd(c, "abc").message, "The input should be a number");
    EXPECT_EQ(editEnd(c, "abc").config.End, 2);
    EXPECT_EQ(editRepeat(c, "3.4").config.Repeat, 3);
    EXPECT_EQ(editRepeat(c, "100").message, "Repeat should be an integer number between 1 and 99");
    EXPECT_EQ(editTotalBits(c, "99").message, "Total Bits should be between 100 and 4294967295");
    EXPECT_EQ(editTotalBits(c, "4294967295").config.TotalBits, 4294967295.0);
}

TEST(DelayFinder, OpeningSnapsTheSweepAndTurnsStoredMinusOnesIntoNaN) {
    DelayFinderConfig c;
    c.OversamplingRate = 4;  // a quarter microsecond grid
    c.Start = 0.3;
    c.End = 0.1;
    c.DelayStep = -1;
    c.MinBERDelay = -1;
    const DelayFinderConfig o = openDelayFinder(c);
    EXPECT_EQ(o.Start, 0.25);
    EXPECT_EQ(o.End, 0.25);  // below Start
    EXPECT_EQ(o.DelayStep, 0.25);
    EXPECT_TRUE(std::isnan(o.MinBERDelay));
    ASSERT_EQ(o.Delay.size(), 1u);
    EXPECT_TRUE(std::isnan(o.BER[0][0]));
    const DelayFinderConfig s = storedDelayFinder(o);
    EXPECT_EQ(s.MinBERDelay, -1);
    EXPECT_EQ(s.BER[0][0], -1);
    EXPECT_EQ(delayPoints(0, 0.1, 2).size(), 21u);
    EXPECT_DOUBLE_EQ(delayPoints(0, 0.1, 2).back(), 2);
    // The points are the decimals a user reads, not the step's binary sums
    // (0.2 + 0.1 is not 0.3 in binary).
    const std::vector<double> expected = {0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0, 1.1, 1.2, 1.3, 1.4, 1.5};
    const std::vector<double> points = delayPoints(0.2, 0.1, 1.5);
    ASSERT_EQ(points.size(), expected.size());
    for (std::size_t k = 0; k < points.size(); ++k) {
        EXPECT_EQ(points[k], expected[k]) << k;
        EXPECT_LE(formatNumber(points[k]).size(), 3u) << formatNumber(points[k]);
    }
}

TEST(DelayFinder, StatisticsUseOnlyValidMeasurements) {
    DelayFinderConfig c;
    c.Delay = {0, 0.1, 0.2};
    c.BER = {{5, kNaN, kNaN}, {kNaN, 2, kNaN}, {1, 4, kNaN}};
    const DelayStats s = delayStatistics(c);
    EXPECT_DOUBLE_EQ(s.average[0], 3);
    EXPECT_DOUBLE_EQ(s.maximum[0], 5);
    EXPECT_DOUBLE_EQ(s.minimum[0], 1);
    EXPECT_DOUBLE_EQ(s.average[1], 3);
    EXPECT_TRUE(std::isnan(s.average[2]));
    EXPECT_EQ(bestDelayIndex(s), 1u);  // the first of two equal averages
    EXPECT_EQ(berText(s.average[2]), "N/A");
    c.BER = {{kNaN, kNaN, kNaN}};
    EXPECT_FALSE(bestDelayIndex(delayStatistics(c)));
}

TEST(DelayFinder, PresetCommandsFollowTheSettings) {
    DelayFinderConfig c;
    c.GateOnOff = 1;
    c.GatePolarity = 1;
    c.PatternIgnore = 2;
    c.BERTData = 2;
    c.FileName = "BTX";
    const auto p = bertPresetCommands(c);
    EXPECT_EQ(p.front(), ":SOURCE:RADIO:ARB:WAVEFORM \"arbi:BTX\"");
    EXPECT_EQ(p[9], ":SENSe:BERT:TBITs 10000");
    EXPECT_EQ(p[10], ":INPut:BERT:CGATe 1");
    EXPECT_EQ(p[11], ":INPut:BERT:CGATe:POLarity Neg");
    EXPECT_EQ(p[12], ":INPut:BERT:CLOCk:POLarity Pos");
    EXPECT_EQ(p[15], ":SENSe:BERT:PRBS:FUNCtion:SPIGnore 1");
    EXPECT_EQ(p[16], ":SENSe:BERT:PRBS:FUNCtion:SPIGnore:DATA ALL_1");
    EXPECT_EQ(p.back(), ":SENSe:BERT:PRBS PN15");
    EXPECT_EQ(restoreCommands({":SENSe:BERT:TBITs 10000"}, {"1000"}).front(), ":SENSe:BERT:TBITs 1000");
}

// A continuous PN9 stream, downloaded as "BT" and playing.
class CalibrationBench : public test::SimInstrumentTest {
protected:
    void SetUp() override {
        sim::ServerOptions options;
        options.instrument.receiver.latencyUs = latencyUs;
        startSim(options);
        signal = playPn9Stream(os, 6);
        c.OversamplingRate = os;
        c.Repeat = 2;
    }

    // Where the sweep must land, from the signal alone: the clock edge must
    // move onto the receiver's eye centre, `latency` samples after the
    // symbol centre of the waveform.
    double expectedDelay() const {
        const std::size_t n = signal.waveform.size();
        std::vector<double> strength(os, 0);
        for (std::size_t k = 1; k < n; ++k)
            strength[k % os] += std::fabs(std::arg(signal.waveform[k] * std::conj(signal.waveform[k - 1])));
        const std::size_t centre = std::size_t(std::max_element(strength.begin(), strength.end()) - strength.begin());
        std::size_t edge = 0;
        for (std::size_t k = 1; k < n; ++k)
            if (signal.markers.row1[k] && !signal.markers.row1[k - 1]) {
                edge = k % os;
                break;
            }
        const auto latency = std::size_t(std::lround(latencyUs * double(os)));
        return double((centre + latency + 2 * os - edge) % os) / double(os);
    }

    SweepHooks hooks(int stopAfterPauses = -1) {
        SweepHooks h;
        h.triggerPause = 0;
        h.pollPause = 0.005;
        h.pause = [this, stopAfterPauses](double) { return stopAfterPauses < 0 || ++pauses <= stopAfterPauses; };
        h.report = [this](const std::string& title, const std::string& text) { reports.push_back(title + ": " + text); };
        return h;
    }

    const double latencyUs = 0.37;
    const std::size_t os = 10;
    GeneratedSignal signal;
    DelayFinderConfig c;
    int pauses = 0;
    std::vector<std::string> reports;
};

TEST_F(CalibrationBench, SweepFindsTheReceiversEyeAndLeavesTheInstrumentAsItWas) {
    const auto markersBefore = instrument().waveform("BT")->markers;
    c = openDelayFinder(c);
    ASSERT_TRUE(runDelayMeasurement(config, c, hooks()));
    EXPECT_TRUE(reports.empty()) << reports.front();

    // A bathtub per symbol: floors near 0 where the edge sits in the eye,
    // high walls where it sits on the symbol transitions.
    const DelayStats s = delayStatistics(c);
    ASSERT_EQ(s.average.size(), 21u);
    EXPECT_LT(*std::min_element(s.average.begin(), s.average.end()), 1.0);
    EXPECT_GT(*std::max_element(s.average.begin(), s.average.end()), 10.0);
    ASSERT_FALSE(std::isnan(c.MinBERDelay));
    const double expected = expectedDelay();
    const double offBy = std::fabs(std::remainder(c.MinBERDelay - expected, 1.0));  // one symbol apart is as good
    EXPECT_LE(offBy, c.DelayStep + 1e-9) << "found " << c.MinBERDelay << " us, expected " << expected << " us";

    // Markers rotated back; the BERT's former settings restored; the
    // settings that already matched were never sent.
    EXPECT_EQ(c.CurrentCGDelay, 0);
    EXPECT_EQ(instrument().waveform("BT")->markers, markersBefore);
    EXPECT_EQ(instrument().setting(":SENSe:BERT:STATe"), "0");
    EXPECT_EQ(instrument().setting(":SENSe:BERT:TRIGger"), "IMM");
    const auto sent = commands();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), ":SOURCE:RADIO:ARB 1"), 0);  // already playing
    EXPECT_EQ(std::count(sent.begin(), sent.end(), ":SENSe:BERT:STATe 1"), 1);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), ":SENSe:BERT:PRBS PN9"), 0);  // the instrument's default
}

TEST_F(CalibrationBench, StoppingEndsTheSweepAtTheNextPauseAndRotatesBack) {
    const auto markersBefore = instrument().waveform("BT")->markers;
    c = openDelayFinder(c);
    ASSERT_TRUE(runDelayMeasurement(config, c, hooks(5)));
    EXPECT_TRUE(std::isnan(c.MinBERDelay));
    EXPECT_TRUE(std::isnan(c.BER[0].back()));
    EXPECT_EQ(instrument().waveform("BT")->markers, markersBefore);
    EXPECT_EQ(c.CurrentCGDelay, 0);
}

TEST_F(CalibrationBench, EndBeforeStartDoesNotStart) {
    c.Start = 1;
    c.End = 0.5;
    instrument().clearTranscript();
    EXPECT_FALSE(runDelayMeasurement(config, c, hooks()));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0],
              "Error: Invalid Input: End Delay should be greater than or equal to Start Delay. Meaurement can not be "
              "started");
    EXPECT_TRUE(commands().empty());
}

TEST_F(CalibrationBench, InputThatStaysInvalidGivesNaNAndNoChoice) {
    // The gate is marker 2, which a stream never raises.
    c.GateOnOff = 1;
    c.End = 0.3;
    c = openDelayFinder(c);
    ASSERT_TRUE(runDelayMeasurement(config, c, hooks()));
    for (const auto& row : c.BER)
        for (double b : row) EXPECT_TRUE(std::isnan(b));
    EXPECT_TRUE(std::isnan(c.MinBERDelay));
    EXPECT_EQ(berText(delayStatistics(c).average[0]), "N/A");
}

TEST_F(CalibrationBench, LinkDroppedDuringTheSweepEndsItWithoutRotatingBack) {
    c = openDelayFinder(c);
    SweepHooks h = hooks();
    h.progress = [this](const DelayFinderConfig&, std::size_t i) {
        if (i == 2 && server) {
            server->stop();
            server.reset();
        }
    };
    ASSERT_TRUE(runDelayMeasurement(config, c, h));
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front().rfind(kIoErrorTitle, 0), 0u) << reports.front();
    EXPECT_NE(c.CurrentCGDelay, 0);  // the markers stay where the sweep left them
    EXPECT_TRUE(std::isnan(c.MinBERDelay));
}

}  // namespace
}  // namespace bt
