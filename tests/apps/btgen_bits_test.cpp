// The command line's packet bits, read back by the independent receiver.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "bluetooth/shift_registers.h"
#include "support/bit_text.h"
#include "support/bt_decoder.h"

namespace bt {
namespace {

struct CommandOutput {
    int status = -1;
    std::vector<std::string> lines;
};

CommandOutput btgenBits(const std::string& args) {
    const std::string command = std::string(BTGEN_BINARY_DIR) + "/apps/btgen bits " + args + " 2>/dev/null";
    CommandOutput run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    std::string out;
    char buffer[4096];
    while (const std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) run.lines.push_back(line);
    return run;
}

// Defaults: BDaddr 8, AM address 1, DH1 carrying the first 216 bits of PN9.
TEST(BtgenBits, DefaultPacketDecodes) {
    const CommandOutput run = btgenBits("--marker");
    ASSERT_EQ(run.status, 0);
    ASSERT_EQ(run.lines.size(), 2u);
    const Bits bits = test::bitsOf(run.lines[0]);
    ASSERT_EQ(bits.size(), 366u);
    const auto d = test::decodePacket(bits, test::keyFor(8));
    ASSERT_TRUE(d.ok()) << d.describe();
    EXPECT_EQ(d.type, 4);
    EXPECT_EQ(d.AMaddr, 1);
    EXPECT_EQ(d.FLOW, 1);
    EXPECT_EQ(d.LLID, 2);  // L_CH bits 0 1
    const Bits pn9 = PNgenerator(9, 216);
    EXPECT_EQ(d.body, pn9);
    EXPECT_EQ(run.lines[1], std::string(126 + 8, '0') + std::string(216, '1') + std::string(16, '0'));
}

// The packets of the eSCO link and FHS and DV, chosen by name, whitened.
TEST(BtgenBits, NamedEscoFhsAndDvPacketsDecode) {
    struct Case {
        const char* link;
        const char* type;
        int code;
        std::size_t body;
    };
    for (const Case c : {Case{"eSCO", "EV3", 7, 240}, Case{"esco", "EV4", 12, 960}, Case{"eSCO", "ev5", 13, 1440},
                         Case{"SCO", "DV", 8, 152}, Case{"ACL", "FHS", 2, 144}}) {
        SCOPED_TRACE(c.type);
        const CommandOutput run = btgenBits(std::string("--set linkType=") + c.link + " --set packetType=" + c.type +
                                            " --set dataWhiteningActive=1 --set dataWhiteningInitValue=77");
        ASSERT_EQ(run.status, 0);
        ASSERT_EQ(run.lines.size(), 1u);
        const double link = c.link[1] == 'S' || c.link[1] == 's' ? 3 : c.link[0] == 'S' ? 1 : 2;
        const auto d = test::decodePacket(test::bitsOf(run.lines[0]), test::keyFor(8, 77, link));
        ASSERT_TRUE(d.ok()) << d.describe();
        EXPECT_TRUE(d.crcPresent && d.crcOk);
        EXPECT_EQ(d.type, c.code);
        EXPECT_EQ(d.body.size(), c.body);
        if (c.code != 2) {
            EXPECT_EQ(d.body, PNgenerator(9, c.body));
        }
    }
}

TEST(BtgenBits, HexPacksFirstBitAsLeastSignificant) {
    const CommandOutput plain = btgenBits("--set packetType=0");
    const CommandOutput hex = btgenBits("--set packetType=0 --hex");
    ASSERT_EQ(plain.lines.size(), 1u);
    ASSERT_EQ(hex.lines.size(), 1u);
    const Bits bits = test::bitsOf(plain.lines[0]);
    ASSERT_EQ(hex.lines[0].size(), 2 * ((bits.size() + 7) / 8));
    for (std::size_t i = 0; i < bits.size(); ++i) {
        const unsigned byte = std::stoul(hex.lines[0].substr(2 * (i / 8), 2), nullptr, 16);
        EXPECT_EQ((byte >> (i % 8)) & 1u, bits[i]) << i;
    }
}

TEST(BtgenBits, WhitenedPacketOfAnotherAddressDecodes) {
    const CommandOutput run = btgenBits(
        "--set BDaddr=12349E8B33 --set AMaddr=6 --set dataWhiteningActive=1 --set dataWhiteningInitValue=90 "
        "--set packetType=15");
    ASSERT_EQ(run.status, 0);
    ASSERT_EQ(run.lines.size(), 1u);
    const auto d = test::decodePacket(test::bitsOf(run.lines[0]), test::keyFor(0x12349E8B33, 90));
    ASSERT_TRUE(d.ok()) << d.describe();
    EXPECT_EQ(d.type, 15);
    EXPECT_EQ(d.AMaddr, 6);
    EXPECT_EQ(d.body.size(), 2712u);
}

// With bursts each packet is its own single-packet burst (FLOW 1, the
// settings' ARQN, the odd count completed with SEQN 0); without, the
// joined sequence (FLOW 0, ARQN 0, completed with SEQN 1).
TEST(BtgenBits, MultiPacketSequences) {
    for (const bool bursts : {true, false}) {
        const CommandOutput run = btgenBits(std::string("--set multiPacket=1") + (bursts ? "" : " --set burstActive=0"));
        ASSERT_EQ(run.status, 0);
        ASSERT_EQ(run.lines.size(), 20u);
        Bits received;
        for (std::size_t k = 0; k < 20; ++k) {
            const auto d = test::decodePacket(test::bitsOf(run.lines[k]), test::keyFor(8));
            ASSERT_TRUE(d.ok()) << k << ": " << d.describe();
            EXPECT_EQ(d.SEQN, k == 19 ? (bursts ? 0 : 1) : static_cast<int>((k + 1) % 2)) << k;
            EXPECT_EQ(d.FLOW, bursts ? 1 : 0);
            EXPECT_EQ(d.ARQN, bursts ? 1 : 0);
            received.insert(received.end(), d.body.begin(), d.body.end());
        }
        EXPECT_EQ(received, PNgenerator(9, 4088));
    }
}

TEST(BtgenBits, StreamModeAndBadInput) {
    const CommandOutput stream = btgenBits("--set generationMode=2 --marker");
    ASSERT_EQ(stream.lines.size(), 2u);
    EXPECT_EQ(test::bitsOf(stream.lines[0]), PNgenerator(9, 4088));
    EXPECT_EQ(stream.lines[1], "1" + std::string(4087, '0'));
    EXPECT_EQ(btgenBits("--set nosuchfield=1").status, 2);
}

}  // namespace
}  // namespace bt
