#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/process.h"


using testsupport::btgen;

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

    // Standard output is the length alone; the edits are echoed on standard
    // error.
    const auto m = btgen({"size", "--set", "multiPacket=1", "--set", "packetType=11", "--set", "BDaddr=abc"});
    ASSERT_EQ(m.status, 0) << m.err;
    EXPECT_NE(m.err.find("packetType: \"B: DH3\""), std::string::npos) << m.err;
    EXPECT_NE(m.err.find("BDaddr: \"000000000ABC\""), std::string::npos) << m.err;
    // 4088 bits in DH3 packets: 3 packets + 1 pad, 4 slots each.
    EXPECT_EQ(m.out, "100000 Samples\n");
}

TEST(BtgenCli, RefusalsAndWarningsAreReported) {
    // A refused edit stops size as it stops every other command.
    const auto b = btgen({"size", "--platform", "b", "--set", "generationMode=2", "--set", "patternLength=200000"});
    EXPECT_EQ(b.status, 2) << b.err;
    EXPECT_NE(b.err.find("refused: Configuration Invalid"), std::string::npos) << b.err;
    EXPECT_NE(b.err.find("exceeding the IXO-B limit of 1.0 Msamples."), std::string::npos);
    EXPECT_EQ(b.out, "");

    const auto w = btgen({"size", "--set", "generationMode=2", "--set", "patternLength=200000"});
    EXPECT_EQ(w.status, 0) << w.err;
    // Above a million samples: the memory it takes, nothing of the
    // window's minutes.
    EXPECT_NE(w.err.find("note: 2000000 samples take about 36 MB of memory"), std::string::npos) << w.err;
    EXPECT_EQ(w.err.find("minutes"), std::string::npos) << w.err;
    EXPECT_EQ(w.out, "2000000 Samples\n");
}

TEST(BtgenCli, BadInputExitsWithStatusTwo) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"size", "--set", "colour=blue"},
          {"size", "--set", "OverSampling=ten"},
          {"size", "--set", "packetType=DH7"},
          {"size", "--set", "noequals"}}) {
        const auto r = btgen(args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_FALSE(r.err.empty());
        EXPECT_NE(r.err.find(args.back().substr(0, args.back().find('='))), std::string::npos) << r.err;
    }
    EXPECT_NE(btgen({"size", "--platform", "x"}).status, 0);
}

TEST(BtgenCli, EdrPacketsByName) {
    const auto m = btgen({"size", "--set", "packetType=3-DH5"});
    ASSERT_EQ(m.status, 0) << m.err;
    EXPECT_NE(m.err.find("packetType: \"F: 3-DH5\""), std::string::npos) << m.err;
    EXPECT_EQ(m.out, "37500 Samples\n");  // six slots at 10 samples per symbol

    // One byte in a 2-DH1: 126 GFSK bits, 20 sync bits, payload header, byte
    // and CRC (40 bits), 4 trailer bits.
    const auto b = btgen({"bits", "--set", "packetType=2-dh1", "--set", "patternLength=8"});
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(b.out.size(), 190u + 1) << b.out;

    const auto f = nlohmann::json::parse(btgen({"fields", "--json"}).out);
    bool listed = false;
    for (const auto& e : f)
        if (e["name"] == "packetType")
            for (const auto& v : e["values"]) listed |= v["name"] == "3-DH5" && v["code"] == 21;
    EXPECT_TRUE(listed);
}
