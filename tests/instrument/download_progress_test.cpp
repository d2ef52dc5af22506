// Following a download as it goes, and cancelling it part way.
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <stdexcept>
#include <vector>

#include "instrument/download.h"
#include "instrument/download_play.h"
#include "instrument/hwio.h"
#include "sim_fixture.h"

namespace bt {
namespace {

// Three whole pieces of the transfer and a short fourth one.
constexpr std::size_t kLong = 3 * kDownloadChunkSamples + 1000;

ComplexRow ramp(std::size_t n) {
    ComplexRow w(n);
    for (std::size_t k = 0; k < n; ++k) w[k] = std::polar(0.7, 0.001 * static_cast<double>(k % 6283));
    return w;
}

Markers everyTenth(std::size_t n) {
    Markers m;
    m.resize(n);
    for (std::size_t k = 0; k < n; ++k) m.row1[k] = k % 10 == 0;
    return m;
}

class DownloadProgress : public test::SimInstrumentTest {
protected:
    void SetUp() override {
        SimInstrumentTest::SetUp();
        wave = ramp(kLong);
        marks = everyTenth(kLong);
    }
    // A short waveform downloaded and playing under the settings' title.
    void playShortWaveform() {
        ASSERT_EQ(downloadAndPlay(ramp(64), everyTenth(64), settings, config, 'c').status, 0);
        previous = instrument().waveform(settings.Title);
        ASSERT_TRUE(previous);
        instrument().clearTranscript();
    }
    void expectPreviousWaveformKept() {
        const auto held = instrument().waveform(settings.Title);
        ASSERT_TRUE(held);
        EXPECT_EQ(held->samples(), 64u);
        EXPECT_EQ(held->iq, previous->iq);
        EXPECT_EQ(held->markers, previous->markers);
    }

    ComplexRow wave;
    Markers marks;
    SigGenSettings settings;
    std::optional<sim::StoredWaveform> previous;
};

TEST_F(DownloadProgress, FractionsRiseToOneOncePerPiece) {
    std::vector<double> seen;
    const HwResult r = IXODownLoadWrap(wave, marks, "BT", config, 0, [&](double f) {
        seen.push_back(f);
        return true;
    });
    ASSERT_EQ(r.status, 0) << r.response;
    // The start, then four pieces of waveform and four of markers.
    ASSERT_EQ(seen.size(), 9u);
    EXPECT_EQ(seen.front(), 0.0);
    EXPECT_EQ(seen.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_DOUBLE_EQ(seen[4], 0.8);  // the waveform is four fifths of the bytes
    EXPECT_DOUBLE_EQ(seen[1], 0.8 * kDownloadChunkSamples / kLong);
    const auto held = instrument().waveform("BT");
    ASSERT_TRUE(held);
    EXPECT_EQ(held->samples(), kLong);
}

TEST_F(DownloadProgress, CancelPartWayKeepsThePreviousWaveformPlaying) {
    playShortWaveform();
    int reports = 0;
    // Cancelled once the first piece has gone out: the instrument has
    // part of the new waveform's block when the connection drops.
    const HwResult r = downloadAndPlay(wave, marks, settings, config, 'c', [&](double f) {
        ++reports;
        return f == 0.0;
    });
    EXPECT_EQ(r.status, io_status::kCancelled);
    EXPECT_EQ(r.response, "Download cancelled");
    EXPECT_EQ(reports, 2);
    expectPreviousWaveformKept();
    // The player was stopped for the transfer and restarted on the old
    // waveform; no playback of the new settings was started.
    const std::vector<std::string> sent = {":SOUR:RAD:ARB:STATe?", ":SOUR:RAD:ARB:STATe OFF", "",
                                           ":SOUR:RAD:ARB:STATe ON", ":OUTPUT:MOD ON"};
    EXPECT_EQ(commands(), sent);
    EXPECT_EQ(instrument().setting(":SOUR:RAD:ARB:STAT"), "1");
    EXPECT_EQ(instrument().setting(":SOUR:RAD:ARB:WAV"), "\"arbi:" + settings.Title + "\"");
}

TEST_F(DownloadProgress, CancelWithThePlayerStoppedLeavesItStopped) {
    playShortWaveform();
    ASSERT_EQ(HwSend(config, ":SOUR:RAD:ARB:STATe OFF").status, 0);
    // A progress routine that throws cancels as well; nothing escapes.
    const HwResult r = IXODownLoadWrap(wave, marks, settings.Title, config, 0, [](double f) -> bool {
        if (f > 0.5) throw std::runtime_error("stop");
        return true;
    });
    EXPECT_EQ(r.status, io_status::kCancelled);
    EXPECT_EQ(r.response, "Download cancelled");
    expectPreviousWaveformKept();
    EXPECT_EQ(instrument().setting(":SOUR:RAD:ARB:STAT"), "0");
}

TEST_F(DownloadProgress, CancelBeforeTheFirstByteSendsNoData) {
    playShortWaveform();
    const HwResult r = IXODownLoadWrap(wave, marks, settings.Title, config, 0, [](double) { return false; });
    EXPECT_EQ(r.status, io_status::kCancelled);
    expectPreviousWaveformKept();
    for (const std::string& line : commands()) EXPECT_EQ(line.find(":MEM:DATA"), std::string::npos) << line;
    EXPECT_EQ(server->heldBlockBytes(), 0u);
}

TEST_F(DownloadProgress, CancelAfterTheWaveformIsTakenCompletesTheMarkers) {
    // Once the new waveform is stored its markers must follow, or the
    // instrument would hold one waveform with another's markers.
    const HwResult r = IXODownLoadWrap(wave, marks, "BT", config, 0, [](double f) { return f <= 0.8; });
    ASSERT_EQ(r.status, 0) << r.response;
    const auto held = instrument().waveform("BT");
    ASSERT_TRUE(held);
    EXPECT_EQ(held->samples(), kLong);
    EXPECT_EQ(held->markers.size(), kLong);
    EXPECT_EQ(held->markers[10], 1);
    EXPECT_EQ(held->markers[11], 0);
}

}  // namespace
}  // namespace bt
