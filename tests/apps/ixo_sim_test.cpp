// ixo-sim as users run it: its own process on a free loopback port, with
// the transcript of every command it received written to a file.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"

namespace {

using testsupport::SimProcess;

std::vector<std::string> lines(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

TEST(IxoSim, TranscriptFileHoldsEveryCommandOnALineOfItsOwn) {
    const bttest::ScratchDir dir;
    const auto file = dir / "commands.txt";
    SimProcess sim({"--transcript", file.string()});
    ASSERT_NE(sim.port(), 0);
    const std::string address = "127.0.0.1:" + std::to_string(sim.port());
    const auto btgen = testsupport::appPath("btgen");
    ASSERT_EQ(testsupport::runProcess({btgen, "send", "--tcpip", address, ":SOUR:FREQ 2.44GHZ"}).status, 0);
    ASSERT_EQ(testsupport::runProcess({btgen, "download", "--tcpip", address, "--set", "OverSampling=2"}).status, 0);
    EXPECT_EQ(sim.stop(), 0);

    const std::vector<std::string> got = lines(file);
    const auto has = [&](const std::string& prefix) {
        for (const std::string& l : got)
            if (l.rfind(prefix, 0) == 0) return true;
        return false;
    };
    EXPECT_TRUE(has(":SOUR:FREQ 2.44GHZ"));
    EXPECT_TRUE(has(":SOUR:RAD:ARB:STATe OFF"));
    EXPECT_TRUE(has(":MEM:DATA"));  // the waveform's block, shown by its length
    for (const std::string& l : got) EXPECT_EQ(l.find('\r'), std::string::npos) << l;

    // A file that cannot be written is refused before anything listens.
    const auto bad = testsupport::runProcess(
        {testsupport::appPath("ixo-sim"), "--port", "0", "--transcript", (dir / "no" / "such" / "x.txt").string()});
    EXPECT_NE(bad.status, 0);
    EXPECT_NE(bad.err.find("x.txt"), std::string::npos) << bad.err;
}

}  // namespace
