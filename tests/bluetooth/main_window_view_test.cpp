#include <gtest/gtest.h>

#include "bluetooth/main_window_view.h"
#include "bluetooth/settings_editor.h"
#include "bluetooth/size_est.h"

using namespace bt;

namespace {

const EditContext kC{'c', "002"};

Parameters edited(std::initializer_list<std::pair<const char*, const char*>> edits) {
    Parameters p;
    applyRedrawRules(p);
    for (const auto& [field, value] : edits) {
        const EditResult r = editField(p, field, value, kC);
        EXPECT_FALSE(r.refused()) << field << "=" << value;
        p = r.parameters;
    }
    applyRedrawRules(p);
    return p;
}

TEST(MainWindowView, DefaultsShowTheDH1Packet) {
    const Parameters p = edited({});
    const MainWindowView v = mainWindowView(p, 2402e6);
    EXPECT_FALSE(v.streamMode);
    EXPECT_EQ(v.generationMode, "Packet Mode");
    EXPECT_EQ(v.linkType.item, 2);
    ASSERT_EQ(v.packetType.items.size(), 23u);  // codes -1 .. 15, then the EDR packets 16 .. 21
    EXPECT_EQ(v.packetType.items[static_cast<std::size_t>(v.packetType.item) - 1], "4: DH1");
    EXPECT_EQ(v.BDaddr.text, "000000000008");
    EXPECT_EQ(v.AMaddr.text, "1");
    EXPECT_TRUE(v.powerRamp.enabled);
    EXPECT_EQ(v.payload.items.size(), 8u);
    EXPECT_EQ(v.payload.item, 5);  // PN9
    EXPECT_FALSE(v.bitPattern.enabled);
    EXPECT_FALSE(v.patternReps.enabled);  // single packet
    EXPECT_TRUE(v.patternLength.enabled);
    EXPECT_EQ(v.numberOfSamples, "12500 Samples");
    EXPECT_EQ(v.channel, "0");
    EXPECT_FALSE(v.calibrateDelayEnabled);
}

TEST(MainWindowView, NullPacketHasNoPayloadControls) {
    const Parameters p = edited({{"packetType", "0"}});
    const MainWindowView v = mainWindowView(p, 2402e6);
    EXPECT_EQ(v.payload.items, std::vector<std::string>{"N/A"});
    EXPECT_FALSE(v.payload.enabled);
    EXPECT_FALSE(v.multiPacket.enabled);
    EXPECT_EQ(v.multiPacket.item, 1);
    EXPECT_EQ(v.patternReps.text, "");
    EXPECT_EQ(v.patternLength.text, "");
    EXPECT_FALSE(v.patternLength.enabled);
    EXPECT_EQ(v.fullPackets.text, "1");
    EXPECT_EQ(v.partialPackets.text, "0");
    EXPECT_EQ(v.padPackets.text, "0");
}

TEST(MainWindowView, MultiPacketCountsAndContinuousPayloads) {
    // Multi-packet DH1 with a 4088-bit pattern: 18 full, 1 partial, 1 pad.
    Parameters p = edited({{"multiPacket", "1"}});
    EXPECT_EQ(p.ARQN, 1);
    MainWindowView v = mainWindowView(p, 2402e6);
    EXPECT_EQ(v.payload.items.size(), 10u);
    EXPECT_EQ(v.payload.item, 9);  // continuous PN9
    EXPECT_FALSE(v.patternLength.enabled);
    EXPECT_FALSE(v.patternReps.enabled);
    EXPECT_TRUE(v.calibrateDelayEnabled);
    EXPECT_EQ(p.patternLength, 4088);
    EXPECT_EQ(v.fullPackets.text, "18");
    EXPECT_EQ(v.partialPackets.text, "1");
    EXPECT_EQ(v.padPackets.text, "1");

    p = edited({{"multiPacket", "1"}, {"payloadType", "7"}});
    v = mainWindowView(p, 2402e6);
    EXPECT_EQ(v.payload.item, 7);
    EXPECT_TRUE(v.bitPattern.enabled);
    EXPECT_TRUE(v.patternReps.enabled);
    EXPECT_TRUE(v.patternLength.enabled);
    EXPECT_FALSE(v.calibrateDelayEnabled);
}

TEST(MainWindowView, PacketCountsFollowTheMultiPacketBuilder) {
    const PacketCounts exact = packetCounts(216 * 4, 216);
    EXPECT_EQ(exact.full, 4);
    EXPECT_EQ(exact.partial, 0);
    EXPECT_EQ(exact.pad, 0);
    const PacketCounts odd = packetCounts(216 * 2 + 1, 216);
    EXPECT_EQ(odd.full, 2);
    EXPECT_EQ(odd.partial, 1);
    EXPECT_EQ(odd.pad, 1);
}

TEST(MainWindowView, StreamModeDisablesThePacketControls) {
    const Parameters p = edited({{"generationMode", "2"}});
    const MainWindowView v = mainWindowView(p, 2402e6);
    EXPECT_TRUE(v.streamMode);
    EXPECT_EQ(v.generationMode, "Stream Mode");
    EXPECT_FALSE(v.linkType.enabled);
    EXPECT_EQ(v.packetType.items, std::vector<std::string>{"N/A"});
    EXPECT_FALSE(v.BDaddr.enabled);
    EXPECT_FALSE(v.burstActive.enabled);
    EXPECT_FALSE(v.powerRamp.enabled);
    EXPECT_FALSE(v.rampSettling.enabled);
    EXPECT_FALSE(v.multiPacket.enabled);
    EXPECT_TRUE(v.payload.enabled);
    EXPECT_EQ(v.payload.items.size(), 8u);
    EXPECT_TRUE(v.patternReps.enabled);
    EXPECT_TRUE(v.patternLength.enabled);
    EXPECT_EQ(v.fullPackets.text, "N/A");
    EXPECT_EQ(v.event[1], "Start of Stream");
}

TEST(MainWindowView, BurstOffDisablesTheRamps) {
    const Parameters p = edited({{"burstActive", "0"}});
    const MainWindowView v = mainWindowView(p, 2402e6);
    EXPECT_FALSE(v.burstActive.checked);
    EXPECT_TRUE(v.burstActive.enabled);
    EXPECT_FALSE(v.powerRamp.enabled);
    EXPECT_FALSE(v.rampSettling.enabled);
}

TEST(MainWindowView, RedrawRulesSettleTheAcknowledgeBitAndLength) {
    Parameters p;
    p.multiPacket = 1;
    p.ARQN = 0;
    applyRedrawRules(p);
    EXPECT_EQ(p.ARQN, 1);
    EXPECT_EQ(p.ProjectedLength, Bt_SizeEst(p));
}

TEST(Channel, DisplayOfTheCarrier) {
    EXPECT_EQ(channelText(2.4415e9), "--");  // 39.5 is no channel
    EXPECT_EQ(channelText(2.480e9), "78");
    EXPECT_EQ(channelText(2.481e9), "--");
    EXPECT_EQ(channelText(2.401e9), "--");
    EXPECT_EQ(channelText(2.441e9), "39");
    for (int k = 0; k <= 78; ++k) EXPECT_EQ(channelText((2402.0 + k) * 1e6), std::to_string(k));
}

TEST(Channel, EntryIsClampedAndRounded) {
    ChannelEntry e = enterChannel("100");
    EXPECT_EQ(e.channel, 78);
    EXPECT_EQ(e.frequencyText, "2.48");
    EXPECT_EQ(e.frequencyHz, 2480e6);
    e = enterChannel("");
    EXPECT_EQ(e.channel, 0);
    EXPECT_EQ(e.frequencyText, "2.402");
    EXPECT_EQ(enterChannel("-5").channel, 0);
    EXPECT_EQ(enterChannel("12.5").channel, 13);
    EXPECT_EQ(enterChannel("12.4").channelText, "12");
    EXPECT_EQ(enterChannel("abc").channel, 0);
}

}  // namespace
