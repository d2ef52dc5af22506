#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/process.h"

using testsupport::appPath;
using testsupport::runProcess;

namespace {
testsupport::ProcessResult btgen(std::vector<std::string> args) {
    args.insert(args.begin(), appPath("btgen"));
    return runProcess(args);
}
}  // namespace

TEST(BtgenCli, SettingsPrintsTheRecordAsJson) {
    const auto r = btgen({"settings"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["packetType"], 4);
    EXPECT_EQ(j["impairments"]["AWGNratio"], 30);
    EXPECT_EQ(j["dtImpairmentsCurrent"].size(), 10u);
    EXPECT_EQ(j["dtImpairmentsCurrent"][9]["FreqOffset"], -75);
    const auto all = nlohmann::json::parse(btgen({"settings", "--all"}).out);
    EXPECT_EQ(all["appInfo"]["Platform"], "c");
    EXPECT_EQ(all["SigGenSettings"]["SamplingRate"], 10e6);
}

TEST(BtgenCli, SizeAppliesEditsInOrder) {
    const auto r = btgen({"size"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "12500 Samples\n");

    const auto m = btgen({"size", "--set", "multiPacket=1", "--set", "packetType=11", "--set", "BDaddr=abc"});
    ASSERT_EQ(m.status, 0) << m.err;
    EXPECT_NE(m.out.find("packetType: \"B: DH3\""), std::string::npos) << m.out;
    EXPECT_NE(m.out.find("BDaddr: \"000000000ABC\""), std::string::npos) << m.out;
    // 4088 bits in DH3 packets: 3 packets + 1 pad, 4 slots each.
    EXPECT_TRUE(m.out.ends_with("\n100000 Samples\n")) << m.out;
}

TEST(BtgenCli, RefusalsAndWarningsAreReported) {
    const auto b = btgen({"size", "--platform", "b", "--set", "generationMode=2", "--set", "patternLength=200000"});
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_NE(b.out.find("refused: Configuration Invalid"), std::string::npos) << b.out;
    EXPECT_NE(b.out.find("exceeding the IXO-B limit of 1.0 Msamples."), std::string::npos);
    EXPECT_TRUE(b.out.ends_with("\n40880 Samples\n")) << b.out;

    const auto w = btgen({"size", "--set", "generationMode=2", "--set", "patternLength=200000"});
    EXPECT_NE(w.out.find("warning: Calculation Warning!"), std::string::npos) << w.out;
    EXPECT_TRUE(w.out.ends_with("\n2000000 Samples\n"));
}

TEST(BtgenCli, BadInputExitsWithStatusTwo) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"size", "--set", "colour=blue"},
          {"size", "--set", "OverSampling=ten"},
          {"size", "--set", "packetType=DH1"},
          {"size", "--set", "noequals"}}) {
        const auto r = btgen(args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_FALSE(r.err.empty());
        EXPECT_NE(r.err.find(args.back().substr(0, args.back().find('='))), std::string::npos) << r.err;
    }
    EXPECT_NE(btgen({"size", "--platform", "x"}).status, 0);
}
