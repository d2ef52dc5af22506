#include <gtest/gtest.h>

#include "bluetooth/generate.h"
#include "bluetooth/settings_editor.h"
#include "bluetooth/size_est.h"
#include "lib/numtext.h"

using namespace bt;

TEST(SizeEst, UserPayloadAndAirLengths) {
    struct Row {
        double code, acl, sco;
    };
    const Row rows[] = {{3, 136, 136}, {4, 216, 0},   {5, 0, 80},    {6, 0, 160},  {7, 0, 240},
                        {8, 0, 152},   {9, 232, 0},   {10, 968, 0},  {11, 1464, 0}, {14, 1792, 0},
                        {15, 2712, 0}, {-1, 0, 0},    {0, 0, 0},     {1, 0, 0},     {2, 0, 0}, {12, 0, 0}};
    for (const Row& r : rows) {
        EXPECT_EQ(Bt_UserPayloadMaxSize(2, r.code), r.acl) << r.code;
        EXPECT_EQ(Bt_UserPayloadMaxSize(1, r.code), r.sco) << r.code;
    }
    EXPECT_EQ(bt_SinglePacketLength(0, 2, -1), 68);
    EXPECT_EQ(bt_SinglePacketLength(0, 2, 0), 126);
    EXPECT_EQ(bt_SinglePacketLength(136, 2, 3), 366);  // 126 + 15 x ceil(160 / 10)
    EXPECT_EQ(bt_SinglePacketLength(136, 1, 3), 366);
    EXPECT_EQ(bt_SinglePacketLength(216, 2, 4), 366);
    EXPECT_EQ(bt_SinglePacketLength(216, 1, 4), 0);    // DH1 does not exist on SCO
    EXPECT_EQ(bt_SinglePacketLength(232, 2, 9), 366);
    EXPECT_EQ(bt_SinglePacketLength(2712, 2, 15), 2870);
    EXPECT_EQ(bt_SinglePacketLength(1792, 2, 14), 126 + 15 * 183);
    EXPECT_EQ(bt_SinglePacketLength(0, 1, 7), 366);
    // eSCO: EV3, EV4, EV5 carry fixed bodies with a CRC; FHS its 144 bits.
    EXPECT_EQ(Bt_UserPayloadMaxSize(3, 7), 240);
    EXPECT_EQ(Bt_UserPayloadMaxSize(3, 12), 960);
    EXPECT_EQ(Bt_UserPayloadMaxSize(3, 13), 1440);
    EXPECT_EQ(Bt_UserPayloadMaxSize(3, 4), 0);
    EXPECT_EQ(bt_SinglePacketLength(0, 3, 7), 126 + 256);
    EXPECT_EQ(bt_SinglePacketLength(0, 3, 12), 126 + 15 * 98);
    EXPECT_EQ(bt_SinglePacketLength(1440, 3, 13), 126 + 1456);
    EXPECT_EQ(bt_SinglePacketLength(0, 2, 2), 126 + 240);
    EXPECT_EQ(bt_SinglePacketLength(152, 1, 8), 126 + 80 + 150);  // DV: voice, then 1 + 9 bytes and CRC at 2/3
    EXPECT_EQ(bt_NumberOfSlots(3, 7), 2);
    EXPECT_EQ(bt_NumberOfSlots(3, 13), 4);
    EXPECT_EQ(bt_BlockEncoderLengthProjection(1.0 / 3.0, 10), 30);
    EXPECT_EQ(bt_BlockEncoderLengthProjection(2.0 / 3.0, 11), 30);
    EXPECT_EQ(bt_BlockEncoderLengthProjection(0.5, 11), 11);
    EXPECT_EQ(bt_NumberOfSlots(1, 6), 4);
    EXPECT_EQ(bt_NumberOfSlots(1, 7), 6);
    EXPECT_EQ(bt_NumberOfSlots(2, 7), 2);
    EXPECT_EQ(bt_NumberOfSlots(2, 11), 4);
    EXPECT_EQ(bt_NumberOfSlots(2, 15), 6);
}

TEST(SizeEst, ProjectedLengths) {
    GenerationSettings p;
    EXPECT_EQ(Bt_SizeEst(p), 12500);

    p.multiPacket = 1;
    p.patternLength = 4088;  // 19 payload packets + 1 pad packet
    EXPECT_EQ(Bt_SizeEst(p), 250000);

    p.packetType = 15;
    p.burstActive = 0;
    p.patternLength = 2712 * 3;
    EXPECT_EQ(Bt_SizeEst(p), (3 * 2870 + 158) * 10);
    p.patternLength = 2712 + 13;  // remainder rounds up to 16 bits, even count: no pad
    EXPECT_EQ(Bt_SizeEst(p), (2870 + 126 + 16 + 16 + 16) * 10);

    p.packetType = 3;
    p.multiPacket = 0;
    p.patternLength = 136;
    EXPECT_EQ(Bt_SizeEst(p), 3660);
    p.patternLength = 1000;  // a single packet carries at most its payload
    EXPECT_EQ(Bt_SizeEst(p), 3660);

    p.packetType = 0;
    p.multiPacket = 1;  // no payload: one packet whatever multiPacket says
    p.burstActive = 1;
    EXPECT_EQ(Bt_SizeEst(p), 12500);

    GenerationSettings s;
    s.generationMode = 2;
    s.patternLength = 4088;
    s.OverSampling = 20;
    EXPECT_EQ(Bt_SizeEst(s), 81760);
    s.patternLength = 100.7;  // whole bits only
    EXPECT_EQ(Bt_SizeEst(s), 2000);

    GenerationSettings big;  // the largest waveform the settings allow
    big.multiPacket = 1;
    big.patternLength = 8 * 32767;
    big.OverSampling = 20;
    EXPECT_EQ(Bt_SizeEst(big), 1214 * 2 * 625 * 20);
}

TEST(SizeEst, MemoryLimits) {
    EXPECT_EQ(WaveformTooLarge(1e6, 'b', "002"), 0);
    EXPECT_EQ(WaveformTooLarge(1e6 + 1, 'b', "002"), 1);
    EXPECT_EQ(WaveformTooLarge(8e6, 'c', "001"), 0);
    EXPECT_EQ(WaveformTooLarge(8e6 + 1, 'c', "001"), 1);
    EXPECT_EQ(WaveformTooLarge(32e6, 'c', "002"), 0);
    EXPECT_EQ(WaveformTooLarge(32e6 + 1, 'c', "002"), 1);

    EXPECT_EQ(checkProjectedSize(1e6, 'b', "002").result, SizeCheck::Result::Accepted);
    const SizeCheck b = checkProjectedSize(1e6 + 1, 'b', "002");
    EXPECT_EQ(b.result, SizeCheck::Result::Refused);
    EXPECT_EQ(b.title, "Configuration Invalid");
    EXPECT_EQ(b.message, "Configuration would require 1 Msamples\nexceeding the IXO-B limit of 1.0 Msamples.");

    const SizeCheck w = checkProjectedSize(8e6, 'c', "001");
    EXPECT_EQ(w.result, SizeCheck::Result::Warning);
    EXPECT_EQ(w.title, "Calculation Warning!");
    EXPECT_EQ(w.message,
              "Calculation of a signal with this Projected \nLength requires a substantial amount of RAM \n"
              "(500 Mbytes or more).                  \nIf the calculation takes longer than   \n"
              "20 minutes, it has most likely failed, \neven if no error message is visible.   ");
    const SizeCheck c = checkProjectedSize(12.34e6, 'c', "001");
    EXPECT_EQ(c.message, "Configuration would require 12.3 Msamples\nexceeding the memory capacity of your instrument.");
    EXPECT_EQ(checkProjectedSize(12.34e6, 'c', "001", true).message,
              "Configuration would require 12.3 Msamples\nexceeding the limit of Baseband Generator Option .");
    EXPECT_EQ(checkProjectedSize(1e6, 'c', "002").result, SizeCheck::Result::Accepted);
    EXPECT_EQ(checkProjectedSize(1e9, 'x', "002").result, SizeCheck::Result::Accepted);

    EXPECT_EQ(projectedLengthText(12500), "12500 Samples");
    EXPECT_NE(projectedLengthTooltip('b').find("(An IXO can hold up 1 M samples.)"), std::string::npos);
}

// The projected length is what the size guard and the window show; it must
// be the length the generator then produces, in every mode. Small
// oversampling keeps the generation quick.
TEST(SizeEst, ProjectedLengthIsTheGeneratedLength) {
    const EditContext ctx;
    const auto edit = [&](Parameters& p, const char* field, const std::string& value) {
        EditResult r = editField(p, field, value, ctx);
        ASSERT_TRUE(r.ignored.empty()) << field << "=" << value << ": " << r.ignored;
        p = r.parameters;
    };
    int checked = 0;
    for (const char* link : {"1", "2", "3"})
        for (const char* type : {"-1", "0", "2", "3", "4", "5", "7", "8", "9", "10", "11", "12", "13", "15"})
            for (const char* burst : {"0", "1"})
                for (const char* multi : {"0", "1"})
                    for (const char* length : {"3", "13", "100", "221", "3000"}) {
                        Parameters p;
                        edit(p, "OverSampling", "2");
                        edit(p, "linkType", link);
                        const EditResult t = editField(p, "packetType", type, ctx);
                        if (!t.ignored.empty() || t.parameters.packetType != std::stod(type)) continue;
                        p = t.parameters;
                        edit(p, "burstActive", burst);
                        const EditResult m = editField(p, "multiPacket", multi, ctx);
                        if (!m.ignored.empty() && std::string(multi) == "1") continue;  // no payload to spread
                        p = m.parameters;
                        if (Bt_UserPayloadMaxSize(p.linkType, p.packetType) > 0) {
                            edit(p, "payloadType", "7");  // "8 Bit Pattern": the length is free
                            edit(p, "patternLength", length);
                        }
                        SCOPED_TRACE(std::string("link ") + link + " type " + type + " burst " + burst + " multi " +
                                     multi + " length " + formatNumber(p.patternLength));
                        ASSERT_EQ(Bt_SizeEst(p), double(Calculate(p).waveform.size()));
                        ++checked;
                    }
    for (const char* length : {"1", "10", "23", "24", "25", "100"}) {
        Parameters p;
        edit(p, "OverSampling", "2");
        edit(p, "generationMode", "2");
        edit(p, "payloadType", "7");
        edit(p, "patternLength", length);
        SCOPED_TRACE(std::string("stream of ") + length);
        ASSERT_EQ(Bt_SizeEst(p), double(Calculate(p).waveform.size()));
        ++checked;
    }
    EXPECT_GT(checked, 100);
}
