// The radio commands against the loopback radio (a SoapySDR module built
// with the tests): a waveform played into it is captured, decoded and
// measured packet by packet; live measurement; the LO offset; and every
// fault the loopback can inject. The programs run as users run them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <thread>

#include <nlohmann/json.hpp>

#include "support/files.h"
#include "support/process.h"

#ifdef BTGEN_LOOPBACK_DIR

namespace {

using testsupport::runProcess;

std::string btgen() { return testsupport::appPath("btgen"); }

class Loopback : public ::testing::Test {
protected:
    void SetUp() override {
        // The test's own module folder, and no other radio.
        ::setenv("SOAPY_SDR_PLUGIN_PATH", BTGEN_LOOPBACK_DIR, 1);
        seed_ = std::random_device{}();
        std::cout << "noise seed " << seed_ << '\n';
    }
    std::string device(const std::string& extra = "") const {
        return "driver=btloop,loop=" + (dir_ / "air.cf32").string() + ",seed=" + std::to_string(seed_) +
               (extra.empty() ? "" : "," + extra);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    bttest::ScratchDir dir_;
    unsigned seed_ = 0;
};

// The payload of the default settings: PRBS9 (x^9 + x^5 + 1 from all ones),
// least significant bit of each byte first, written out independently.
std::string prbs9Hex(std::size_t bytes) {
    unsigned reg = 0x1FF;
    std::string out;
    for (std::size_t b = 0; b < bytes; ++b) {
        unsigned byte = 0;
        for (int k = 0; k < 8; ++k) {
            const unsigned bit = reg & 1;
            byte |= bit << k;
            reg = (reg >> 1) | (((reg ^ (reg >> 4)) & 1) << 8);
        }
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", byte);
        out += hex;
    }
    return out;
}

nlohmann::json measureJson(const std::string& recording) {
    const auto r = runProcess({btgen(), "measure", recording, "--json"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return nlohmann::json::parse(r.out);
}

TEST_F(Loopback, PlayedPacketsAreCapturedAndEachDecodesAndMeasures) {
    // A channel the loopback moves by a known offset, with a slow sample
    // clock and noise; the radio offers 8 MHz, not the waveform's 10.
    std::mt19937 pick(seed_);
    const double offset = std::uniform_real_distribution<double>(-40e3, 40e3)(pick);
    // 6 dB of path loss: the 3 dB of receive gain below must not clip.
    const std::string air = device("offset=" + std::to_string(offset) + ",ppm=15,noise=-35,gain=-6");
    const auto play = runProcess({btgen(), "play", "--sdr", air, "--sg", "channel=20", "--repeat", "6"});
    ASSERT_EQ(play.status, 0) << play.err;
    EXPECT_NE(play.out.find("resampled from 10 MHz"), std::string::npos) << play.out;
    EXPECT_NE(play.out.find("played: 6 times"), std::string::npos) << play.out;
    EXPECT_NE(play.out.find("underflows: 0"), std::string::npos) << play.out;

    const auto cap = runProcess({btgen(), "capture", "--sdr", air, "--sg", "Frequency=2422e6", "--rate", "4e6",
                                 "--duration", "0.008", "--gain", "3", "-o", path("cap")});
    ASSERT_EQ(cap.status, 0) << cap.err;
    std::ifstream metaFile(path("cap.sigmf-meta"));
    const nlohmann::json meta = nlohmann::json::parse(metaFile);
    EXPECT_EQ(meta["global"]["core:sample_rate"], 4e6);
    EXPECT_EQ(meta["global"]["btgen:gain_db"], 3.0);
    EXPECT_NE(meta["global"]["core:hw"].get<std::string>().find("driver=btloop"), std::string::npos);
    EXPECT_EQ(meta["captures"][0]["core:frequency"], 2422e6);

    const nlohmann::json j = measureJson(path("cap"));
    const auto& packets = j["recordings"][0]["packets"];
    ASSERT_EQ(packets.size(), 6u) << j.dump();
    const std::string expected = prbs9Hex(27);
    for (const auto& p : packets) {
        EXPECT_TRUE(p["ok"].get<bool>()) << p.dump();
        EXPECT_EQ(p["payload"], expected);
        EXPECT_NEAR(p["measurements"]["carrier_offset"].get<double>(), offset, 3e3) << "seed " << seed_;
    }
    // Packets 1.25 ms apart on air, as the waveform repeats: no seam.
    for (std::size_t k = 1; k < packets.size(); ++k)
        EXPECT_NEAR(packets[k]["start_time"].get<double>() - packets[k - 1]["start_time"].get<double>(),
                    1.25e-3 * (1 + 15e-6), 0.3e-6);
}

TEST_F(Loopback, RecordingPlaysInFloatFormatWithTheRadioTunedBesideTheChannel) {
    const auto gen = runProcess({btgen(), "generate", "--set", "packetType=DH3", "-o", path("w.sigmf")});
    ASSERT_EQ(gen.status, 0) << gen.err;
    // The radio sits 2.5 MHz above the channel; the signal must still land on it.
    const std::string air = device("format=CF32,noise=-40");
    const auto play = runProcess({btgen(), "play", "--sdr", air, "--input", path("w.sigmf"), "--sg",
                                  "Frequency=2450e6", "--lo-offset", "2.5e6", "--repeat", "2"});
    ASSERT_EQ(play.status, 0) << play.err;
    EXPECT_NE(play.out.find("the radio tuned to 2452.5 MHz"), std::string::npos) << play.out;
    const auto cap = runProcess({btgen(), "capture", "--sdr", air, "--sg", "Frequency=2450e6", "--rate", "8e6",
                                 "--duration", "0.0075", "-o", path("cap")});
    ASSERT_EQ(cap.status, 0) << cap.err;
    const auto packets = measureJson(path("cap"))["recordings"][0]["packets"];
    ASSERT_EQ(packets.size(), 2u);
    for (const auto& p : packets) {
        EXPECT_EQ(p["type_name"], "DH3");
        EXPECT_TRUE(p["ok"].get<bool>());
        EXPECT_NEAR(p["measurements"]["carrier_offset"].get<double>(), 0, 2e3);
    }
    // An offset that pushes the channel out of the radio's band is refused.
    const auto wide = runProcess({btgen(), "play", "--sdr", air, "--lo-offset", "3.5e6"});
    EXPECT_EQ(wide.status, 2) << wide.err;
    EXPECT_NE(wide.err.find("LO offset"), std::string::npos) << wide.err;
}

TEST_F(Loopback, LiveMeasurementCountsEveryPacketAcrossItsWindows) {
    const auto play = runProcess({btgen(), "play", "--sdr", device(), "--sg", "channel=5"});
    ASSERT_EQ(play.status, 0) << play.err;
    // The loopback repeats what it heard: 0.6 s hold 480 packets, more than
    // two of the receiver's windows.
    const auto live = runProcess({btgen(), "measure", "--sdr", device("cyclic=1,noise=-30"), "--sg", "channel=5",
                                  "--rate", "4e6", "--duration", "0.6"});
    EXPECT_EQ(live.status, 0) << live.err;
    EXPECT_NE(live.out.find("summary (480 confirmed of 480 packets)"), std::string::npos) << live.out.substr(0, 2000);
    EXPECT_NE(live.out.find("   480 "), std::string::npos);  // the last packet's own line
    EXPECT_NE(live.out.find("  -- "), std::string::npos);    // a running summary
    EXPECT_NE(live.out.find("verdict: PASS"), std::string::npos);
}

// Runs a program until it has printed `marker` (and `settle` more), then
// presses Ctrl-C; returns its exit status (-1 when it did not exit on its
// own) and what it printed.
std::pair<int, std::string> interruptOnceRunning(const std::vector<std::string>& argv, const std::string& marker,
                                                 const std::string& outFile, std::chrono::milliseconds settle) {
    std::cout.flush();
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        if (!std::freopen(outFile.c_str(), "w", stdout)) _exit(126);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    const auto start = std::chrono::steady_clock::now();
    while (bttest::readBytes(outFile).find(marker) == std::string::npos &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(60))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(settle);
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, bttest::readBytes(outFile)};
}

TEST_F(Loopback, CtrlCEndsLiveMeasurementWithTheSummaryAndAPlayInALoop) {
    ASSERT_EQ(runProcess({btgen(), "play", "--sdr", device()}).status, 0);
    auto [status, text] = interruptOnceRunning({btgen(), "measure", "--sdr", device("cyclic=1,realtime=1"), "--rate",
                                                "4e6", "--sg", "channel=0"},
                                               "receiving from", path("live.txt"), std::chrono::milliseconds(500));
    EXPECT_EQ(status, 0) << text;
    EXPECT_NE(text.find("verdict: PASS"), std::string::npos) << text.substr(0, 2000);

    std::tie(status, text) = interruptOnceRunning({btgen(), "play", "--sdr", device("realtime=1"), "--loop"}, "carrier: ",
                                                  path("play.txt"), std::chrono::milliseconds(300));
    EXPECT_EQ(status, 0) << text;
    EXPECT_NE(text.find("(stopped)"), std::string::npos) << text;
    EXPECT_NE(text.find("underflows: "), std::string::npos) << text;
}

TEST_F(Loopback, FaultsAreReportedAndWhatWasReceivedIsKept) {
    // An underflow is counted and warned of; the play goes on.
    auto r = runProcess({btgen(), "play", "--sdr", device("fault=underflow:5000"), "--repeat", "4"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("underflows: 1"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("ran out of samples 1 time"), std::string::npos) << r.err;

    // A transmitter that vanishes.
    r = runProcess({btgen(), "play", "--sdr", device("fault=gone:5000"), "--loop"});
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_NE(r.err.find("stopped transmitting"), std::string::npos) << r.err;

    ASSERT_EQ(runProcess({btgen(), "play", "--sdr", device(), "--repeat", "8"}).status, 0);
    // An overflow loses samples: noted in the metadata where they went, and
    // a timeout on the way is ridden out.
    r = runProcess({btgen(), "capture", "--sdr", device("fault=overflow:12000+timeout:20000"), "--rate", "4e6",
                    "--duration", "0.006", "-o", path("o")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("captured: 24000 samples"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("overflows: 1"), std::string::npos) << r.out;
    std::ifstream metaFile(path("o.sigmf-meta"));
    const nlohmann::json meta = nlohmann::json::parse(metaFile);
    EXPECT_EQ(meta["global"]["btgen:samples_lost"], 1);
    ASSERT_EQ(meta["annotations"].size(), 1u);
    EXPECT_EQ(meta["annotations"][0]["core:sample_start"], 12288);  // the first block after the loss

    // A receiver that stops answering, or vanishes: status 4 and the
    // samples before it kept in a readable recording (three blocks of 4096:
    // three packets 5000 samples apart).
    for (const std::string fault : {"stall:9000", "gone:9000"}) {
        r = runProcess({btgen(), "capture", "--sdr", device("fault=" + fault), "--rate", "4e6", "--duration", "1",
                        "-o", path("s")});
        EXPECT_EQ(r.status, 4) << fault << r.err;
        EXPECT_NE(r.err.find("samples received before it were kept"), std::string::npos) << r.err;
        const auto j = measureJson(path("s"));
        EXPECT_EQ(j["recordings"][0]["packets"].size(), 3u) << fault;
    }
}

TEST_F(Loopback, DevicesAreListedAndAMissingOneIsNamed) {
    auto r = runProcess({btgen(), "sdr", "list"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("driver=btloop,serial=0"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("driver=btloop,serial=1"), std::string::npos) << r.out;
    r = runProcess({btgen(), "play", "--sdr", "driver=nosuchradio"});
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find("No radio driver \"nosuchradio\""), std::string::npos) << r.err;
    r = runProcess({btgen(), "capture", "--sdr", "driver=btloop,serial=7", "--rate", "4e6", "--duration", "0.01", "-o",
                    path("x")});
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find("No radio matches \"driver=btloop,serial=7\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("driver=btloop,serial=1"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(path("x.sigmf-meta")));
    r = runProcess({btgen(), "play", "--sdr", device(), "--gain-element", "XYZ=3"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("no transmit gain stage \"XYZ\" (stages: PA)"), std::string::npos) << r.err;
}

}  // namespace

#endif
