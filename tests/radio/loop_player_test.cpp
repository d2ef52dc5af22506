// The background loop a window starts with Download and retunes with
// Refresh, against the loopback radio in real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "radio/loop_player.h"
#include "radio/radio_output.h"
#include "support/files.h"

#ifdef BTGEN_LOOPBACK_DIR

namespace {

using namespace std::chrono_literals;
using bt::radio::LoopPlayer;
namespace radio_status = bt::radio::radio_status;

class LoopPlayerTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("SOAPY_SDR_PLUGIN_PATH", BTGEN_LOOPBACK_DIR, 1); }
    std::string device(const std::string& extra) const {
        return "driver=btloop,loop=" + air() + (extra.empty() ? "" : "," + extra);
    }
    std::string air() const { return (dir_ / "air.cf32").string(); }
    static std::shared_ptr<const bt::ComplexRow> burst() {
        return std::make_shared<bt::ComplexRow>(8000, bt::Complex(0.5, -0.25));
    }
    bttest::ScratchDir dir_;
};

TEST_F(LoopPlayerTest, LoopsUntilStoppedAndRetunesWhilePlaying) {
    LoopPlayer player;
    bt::radio::RadioTuning tuning;
    tuning.frequency = 2402e6;
    tuning.gain = 0;
    ASSERT_TRUE(player.start(device("realtime=1"), burst(), 4e6, tuning).ok());
    EXPECT_TRUE(player.playing());
    const auto retuned = player.retune(2450e6, 7);
    EXPECT_TRUE(retuned.ok()) << retuned.description;
    std::this_thread::sleep_for(700ms);  // past the stream's first progress report
    EXPECT_EQ(player.frequency(), 2450e6);
    EXPECT_EQ(player.gain(), 7);
    EXPECT_TRUE(player.playing());
    player.stop();
    EXPECT_FALSE(player.playing());
    EXPECT_FALSE(player.ended().has_value());  // stopped, not ended on its own
    // 0.7 s at 4 MHz in real time: the 2 ms burst went out hundreds of times.
    EXPECT_GT(std::filesystem::file_size(air()), 100u * 8000 * 8);

    // A second Download replaces what plays, on the same radio.
    tuning.frequency = 2480e6;
    ASSERT_TRUE(player.start(device("realtime=1"), burst(), 4e6, tuning).ok());
    EXPECT_EQ(player.frequency(), 2480e6);
    player.stop();
}

TEST_F(LoopPlayerTest, FailuresAreSaidAtStartOrWhenTheStreamEnds) {
    LoopPlayer player;
    EXPECT_EQ(player.retune(2402e6, {}).status, radio_status::kBadInput);
    const auto missing = player.start("driver=nosuchradio", burst(), 4e6, {});
    EXPECT_EQ(missing.status, radio_status::kNotFound);
    EXPECT_NE(missing.description.find("nosuchradio"), std::string::npos) << missing.description;
    EXPECT_FALSE(player.playing());
    EXPECT_EQ(player.start(device(""), nullptr, 4e6, {}).status, radio_status::kBadInput);

    // The device goes away while looping: the loop ends by itself and says why, once.
    ASSERT_TRUE(player.start(device("fault=gone:20000"), burst(), 4e6, {}).ok());
    for (int k = 0; k < 100 && player.playing(); ++k) std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(player.playing());
    const auto ended = player.ended();
    ASSERT_TRUE(ended.has_value());
    EXPECT_FALSE(ended->result.ok());
    EXPECT_FALSE(ended->result.description.empty());
    EXPECT_FALSE(player.ended().has_value());
}

TEST_F(LoopPlayerTest, DownloadPlaysTheInstrumentSettingsAndRefreshRetunes) {
    LoopPlayer player;
    bt::radio::RadioConnection radio{device("realtime=1"), 4, ""};
    bt::SigGenSettings settings;
    settings.Frequency = 2426e6;
    settings.SamplingRate = 4e6;
    EXPECT_NE(bt::radio::radioRefresh(player, radio, settings).status, 0);  // nothing plays yet
    // No arguments would open whatever radio is found first: refused.
    EXPECT_EQ(bt::radio::radioDownload(player, {}, burst(), settings).status, radio_status::kBadInput);

    const auto down = bt::radio::radioDownload(player, radio, burst(), settings);
    ASSERT_EQ(down.status, 0) << down.response;
    EXPECT_NE(down.response.find("2426 MHz"), std::string::npos) << down.response;
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(player.frequency(), 2426e6);
    EXPECT_EQ(player.gain(), 4);
    settings.Frequency = 2440e6;
    radio.gain = 9;
    EXPECT_EQ(bt::radio::radioRefresh(player, radio, settings).status, 0);
    EXPECT_EQ(player.frequency(), 2440e6);
    EXPECT_EQ(player.gain(), 9);
    EXPECT_TRUE(player.playing());
    player.stop();

    // The device list: the loopback enumerated; a radio not attached now kept first.
    const auto choices = bt::radio::radioChoices({"driver=gone,serial=7", 0, ""});
    ASSERT_GE(choices.args.size(), 2u);
    EXPECT_EQ(choices.args[0], "driver=gone,serial=7");
    EXPECT_TRUE(std::any_of(choices.args.begin(), choices.args.end(),
                            [](const std::string& a) { return a.find("driver=btloop") != std::string::npos; }));
}

}  // namespace

#endif
