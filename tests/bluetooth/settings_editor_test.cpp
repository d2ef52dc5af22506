#include <gtest/gtest.h>

#include "bluetooth/settings_editor.h"
#include "lib/errors.h"

using namespace bt;

namespace {

const EditContext kC{'c', "002"};
const EditContext kB{'b', "002"};
const EditContext kC001{'c', "001"};

// Applies a chain of edits as a user would make them, each on the result
// of the one before.
struct Session {
    Parameters p;
    EditContext ctx = kC;
    EditResult last;

    Session& set(std::string_view field, std::string_view value, const Bits* bits = nullptr) {
        last = editField(p, field, value, ctx, bits);
        p = last.parameters;
        return *this;
    }
    std::string shown(std::string_view field) const { return last.shownText(field); }
};

void expectInvariants(const Parameters& p) {
    EXPECT_GE(p.burstSettle - p.burstLength, 0);
    EXPECT_LE(p.burstSettle - p.burstLength, 10);
    const double samples = p.CGdelay * p.OverSampling;
    EXPECT_DOUBLE_EQ(samples, std::round(samples));
    const bool noPayload = p.generationMode == 1 && Bt_UserPayloadMaxSize(p.linkType, p.packetType) == 0;
    if (patternPeriod(p) > 0 && !noPayload) {
        EXPECT_NEAR(p.patternReps * patternPeriod(p), p.patternLength, 1e-9);
    }
    EXPECT_EQ(p.ProjectedLength, Bt_SizeEst(p));
}

}  // namespace

TEST(SettingsEditor, AddressesClampAndShowHex) {
    Session s;
    s.set("BDaddr", "1FFFFFFFFFFFF");
    EXPECT_EQ(s.p.BDaddr, 281474976710655.0);
    EXPECT_EQ(s.shown("BDaddr"), "FFFFFFFFFFFF");
    s.set("BDaddr", "-5");
    EXPECT_EQ(s.p.BDaddr, 0);
    EXPECT_EQ(s.shown("BDaddr"), "000000000000");
    s.set("BDaddr", "9e8b33");
    EXPECT_EQ(s.p.BDaddr, 0x9E8B33);
    EXPECT_EQ(s.shown("BDaddr"), "0000009E8B33");
    s.set("AMaddr", "F");
    EXPECT_EQ(s.p.AMaddr, 7);
    EXPECT_EQ(s.shown("AMaddr"), "7");
    s.set("payloadType", "7").set("bitPattern", "1ab");
    EXPECT_EQ(s.p.bitPattern, 255);
    EXPECT_EQ(s.shown("bitPattern"), "FF");
    // Text that is not a number changes nothing and says so.
    s.set("BDaddr", "xyz");
    EXPECT_TRUE(s.last.unreadable);
    EXPECT_EQ(s.p.BDaddr, 0x9E8B33);
    EXPECT_EQ(s.shown("BDaddr"), "0000009E8B33");
}

TEST(SettingsEditor, BurstRampCarriesTheSettlingTime) {
    Session s;
    s.set("burstSettle", "9");
    EXPECT_EQ(s.p.burstSettle, 9);
    s.set("burstLength", "8");
    EXPECT_EQ(s.p.burstLength, 8);
    EXPECT_EQ(s.p.burstSettle, 11);
    EXPECT_EQ(s.shown("burstSettle"), "11");
    s.set("burstLength", "0.2");
    EXPECT_EQ(s.p.burstLength, 1);
    EXPECT_EQ(s.p.burstSettle, 4);

    Session t;
    t.set("burstSettle", "3");
    EXPECT_EQ(t.p.burstSettle, 6);
    t.set("burstSettle", "20");
    EXPECT_EQ(t.p.burstSettle, 16);
    t.set("burstSettle", "7.5");
    EXPECT_EQ(t.p.burstSettle, 8);
    // With bursts off the ramp controls are disabled.
    t.set("burstActive", "0").set("burstLength", "3");
    EXPECT_EQ(t.p.burstLength, 6);
    EXPECT_FALSE(t.last.ignored.empty());
    expectInvariants(t.p);
}

TEST(SettingsEditor, DelayAndOversamplingStayOnTheSampleGrid) {
    Session s;
    s.set("CGdelay", "0.123");
    EXPECT_DOUBLE_EQ(s.p.CGdelay, 0.1);
    s.set("CGdelay", "250");
    EXPECT_EQ(s.p.CGdelay, 100);
    s.set("CGdelay", "-1");
    EXPECT_EQ(s.p.CGdelay, 0);

    for (auto [entry, stored] : {std::pair{"1", 2.0}, {"25", 20.0}, {"7.6", 8.0}, {"7.5", 8.0}}) {
        Session o;
        o.set("OverSampling", entry);
        EXPECT_EQ(o.p.OverSampling, stored) << entry;
        ASSERT_TRUE(o.last.samplingRate);
        EXPECT_EQ(*o.last.samplingRate, stored * 1e6);
    }
    // A delay of 0.1 us is one sample at 10x but not at 3x: it moves to the
    // nearest whole sample.
    s.set("CGdelay", "0.1").set("OverSampling", "3");
    EXPECT_NEAR(s.p.CGdelay, 0.0, 1e-12);
    s.set("OverSampling", "4").set("CGdelay", "0.5").set("OverSampling", "10");
    EXPECT_DOUBLE_EQ(s.p.CGdelay, 0.5);
    // An active timing error moves the instrument sample rate.
    s.p.impairments.SymbolTimingErrorActive = 1;
    s.p.impairments.SymbolTimingError = -20;
    s.set("OverSampling", "10");
    EXPECT_EQ(*s.last.samplingRate, 10 * (1e6 - 20));
    expectInvariants(s.p);
}

TEST(SettingsEditor, PatternRepetitionsSnapToWholeBits) {
    Session s;
    s.set("generationMode", "2");  // stream mode: both pattern fields editable
    EXPECT_EQ(s.p.payloadType, 5);
    EXPECT_EQ(s.p.patternLength, 4088);
    EXPECT_EQ(s.p.patternReps, 8);
    s.set("patternReps", "2.5");
    EXPECT_EQ(s.p.patternLength, 1278);
    EXPECT_DOUBLE_EQ(s.p.patternReps, 1278.0 / 511.0);
    s.set("patternReps", "0.1");
    EXPECT_EQ(s.p.patternLength, 511);
    s.set("patternLength", "0");
    EXPECT_EQ(s.p.patternLength, 1);
    EXPECT_DOUBLE_EQ(s.p.patternReps, 1.0 / 511);
    s.set("patternLength", "100.5");  // kept as typed
    EXPECT_EQ(s.p.patternLength, 100.5);
    expectInvariants(s.p);
}

TEST(SettingsEditor, PacketTypeChoices) {
    Session s;
    s.set("packetType", "8");  // "8: Undefined" on ACL
    EXPECT_EQ(s.p.packetType, 4);
    EXPECT_FALSE(s.last.ignored.empty());
    s.set("packetType", "12");  // "C: Undefined"
    EXPECT_EQ(s.p.packetType, 4);
    s.set("packetType", "11");
    EXPECT_EQ(s.p.packetType, 11);
    EXPECT_EQ(s.p.patternLength, 1464);
    EXPECT_EQ(s.shown("packetType"), "B: DH3");
    EXPECT_EQ(s.shown("patternLength"), "1464");
    EXPECT_EQ(s.shown("ProjectedLength"), "25000 Samples");

    s.set("linkType", "1");  // switching the link resets to NULL, single packet
    EXPECT_EQ(s.p.packetType, 0);
    EXPECT_EQ(s.p.multiPacket, 0);
    EXPECT_EQ(s.p.ARQN, 0);
    s.set("packetType", "9");  // "9: Undefined" on SCO
    EXPECT_EQ(s.p.packetType, 0);
    s.set("packetType", "7");
    EXPECT_EQ(s.p.packetType, 7);
    EXPECT_EQ(s.p.patternLength, 240);
    EXPECT_EQ(s.p.ProjectedLength, 6 * 625 * 10);
    s.set("packetType", "8");
    EXPECT_EQ(s.shown("packetType"), "8: DV");
    EXPECT_EQ(s.p.patternLength, 152);  // 80 voice bits and 9 data bytes

    // eSCO: the same code 7 is EV3 there; EV4 and EV5 take three slots.
    s.set("linkType", "3");
    EXPECT_EQ(s.shown("linkType"), "eSCO");
    EXPECT_EQ(s.p.packetType, 0);
    s.set("packetType", "4");  // "4: Undefined" on eSCO
    EXPECT_EQ(s.p.packetType, 0);
    s.set("packetType", "13");
    EXPECT_EQ(s.shown("packetType"), "D: EV5");
    EXPECT_EQ(s.p.patternLength, 1440);
    EXPECT_EQ(s.p.ProjectedLength, 4 * 625 * 10);
    s.set("packetType", "2");
    EXPECT_EQ(s.shown("packetType"), "2: FHS");
    EXPECT_EQ(s.shown("payloadType"), "N/A");  // built from the addresses, no user data
    s.set("linkType", "4");
    EXPECT_EQ(s.p.linkType, 3);

    // ID, NULL and POLL leave multi-packet mode.
    Session m;
    m.set("multiPacket", "1");
    EXPECT_EQ(m.p.ARQN, 1);
    m.set("packetType", "1");
    EXPECT_EQ(m.p.multiPacket, 0);
    EXPECT_EQ(m.p.ARQN, 0);
    EXPECT_EQ(m.shown("payloadType"), "N/A");
    EXPECT_EQ(m.shown("patternLength"), "");
    // Without payload the payload and pattern controls are disabled.
    m.set("payloadType", "3");
    EXPECT_FALSE(m.last.ignored.empty());
    expectInvariants(m.p);
}

TEST(SettingsEditor, ModesAndMultiPacket) {
    Session s;
    s.set("generationMode", "2");
    EXPECT_EQ(s.p.patternLength, 4088);
    EXPECT_EQ(s.shown("packetType"), "N/A");
    s.set("packetType", "13");
    EXPECT_EQ(s.p.packetType, 4);  // no packet list in stream mode
    s.set("generationMode", "1");
    EXPECT_EQ(s.p.multiPacket, 0);
    EXPECT_EQ(s.p.patternLength, 216);

    s.set("multiPacket", "1");
    EXPECT_EQ(s.p.payloadSetup, 1);
    EXPECT_EQ(s.p.patternLength, 4088);
    EXPECT_EQ(s.shown("payloadType"), "Continuous PN9");
    EXPECT_EQ(s.p.ProjectedLength, 250000);
    // Continuous patterns fix both pattern fields.
    s.set("patternLength", "100");
    EXPECT_EQ(s.p.patternLength, 4088);
    s.set("payloadType", "10");
    EXPECT_EQ(s.p.payloadType, 6);
    EXPECT_EQ(s.p.payloadSetup, 2);
    EXPECT_EQ(s.p.patternLength, 262136);
    // Back to a plain pattern: whole repetitions are kept.
    s.set("payloadType", "3");
    EXPECT_EQ(s.p.payloadSetup, 0);
    EXPECT_EQ(s.p.patternReps, 8);
    EXPECT_EQ(s.p.patternLength, 16);
    s.set("patternReps", "3.5");  // editable now
    EXPECT_EQ(s.p.patternLength, 7);
    s.set("payloadType", "5");  // fractional repetitions: recomputed from the length
    EXPECT_EQ(s.p.patternLength, 7);
    EXPECT_DOUBLE_EQ(s.p.patternReps, 7.0 / 511);

    s.set("multiPacket", "0");
    EXPECT_EQ(s.p.ARQN, 0);
    EXPECT_EQ(s.p.patternLength, 216);
    s.set("payloadType", "9");  // not offered for a single packet
    EXPECT_EQ(s.p.payloadType, 5);
    EXPECT_FALSE(s.last.ignored.empty());
    expectInvariants(s.p);
}

TEST(SettingsEditor, UserFilePayload) {
    const Bits file(100, 1);
    Session s;
    s.set("payloadType", "8");  // nothing was read: nothing changes
    EXPECT_EQ(s.p.payloadType, 5);
    s.set("payloadType", "8", &file);
    EXPECT_EQ(s.p.payloadType, 8);
    EXPECT_EQ(s.p.dataSourceBitstream, file);
    EXPECT_EQ(s.p.patternLength, 100);  // shorter than a DH1 payload
    EXPECT_EQ(s.p.patternReps, 1);

    s.set("multiPacket", "1").set("payloadType", "8", &file);
    EXPECT_EQ(s.p.payloadSetup, 4);
    EXPECT_EQ(s.p.patternLength, 100);
    s.set("patternReps", "5");  // disabled for a user file
    EXPECT_EQ(s.p.patternReps, 1);

    const Bits huge(200000, 0);
    s.set("payloadType", "8", &huge);
    EXPECT_EQ(s.p.dataSourceBitstream.size(), MAXNUMBITS);
    EXPECT_EQ(s.p.patternLength, 80000);
    expectInvariants(s.p);
}

TEST(SettingsEditor, RefusalsRestoreEveryTouchedField) {
    // Multi-packet continuous PN15 on DH5 at 20x, then DH1: 30.4 M samples.
    Session s;
    s.set("packetType", "15").set("multiPacket", "1").set("payloadType", "10").set("OverSampling", "20");
    EXPECT_EQ(s.last.check.result, SizeCheck::Result::Warning);
    EXPECT_EQ(s.last.check.title, "Calculation Warning!");
    EXPECT_EQ(s.p.OverSampling, 20);

    const Parameters before = s.p;
    s.ctx = kC001;
    s.set("packetType", "4");
    EXPECT_TRUE(s.last.refused());
    EXPECT_EQ(s.last.check.title, "Configuration Invalid");
    EXPECT_EQ(s.last.check.message,
              "Configuration would require 30.4 Msamples\nexceeding the limit of Baseband Generator Option .");
    EXPECT_EQ(s.p, before);
    EXPECT_EQ(s.shown("packetType"), "F: DH5");

    s.ctx = kC;
    s.set("packetType", "4");
    EXPECT_EQ(s.p.packetType, 4);
    EXPECT_EQ(s.p.ProjectedLength, 30350000);

    // IXO-B: 1 M samples at most.
    Session b;
    b.ctx = kB;
    b.set("generationMode", "2").set("OverSampling", "20").set("patternLength", "50000");
    EXPECT_EQ(b.p.ProjectedLength, 1e6);
    b.set("patternLength", "50001");
    EXPECT_TRUE(b.last.refused());
    EXPECT_EQ(b.last.check.message, "Configuration would require 1 Msamples\nexceeding the IXO-B limit of 1.0 Msamples.");
    EXPECT_EQ(b.p.patternLength, 50000);
    EXPECT_EQ(b.shown("patternLength"), "50000");
    b.set("patternReps", "98");
    EXPECT_TRUE(b.last.refused());
    EXPECT_EQ(b.p.patternLength, 50000);
    b.set("OverSampling", "10").set("patternLength", "100000").set("OverSampling", "11");
    EXPECT_TRUE(b.last.refused());
    EXPECT_EQ(b.p.OverSampling, 10);
    EXPECT_EQ(b.shown("OverSampling"), "10");
    EXPECT_FALSE(b.last.samplingRate);
    expectInvariants(b.p);
}

TEST(SettingsEditor, FieldNamesAndBadValues) {
    const Parameters p;
    EXPECT_THROW(editField(p, "nosuchfield", "1", kC), Error);
    EXPECT_THROW(editField(p, "packetType", "DH5", kC), Error);
    EXPECT_THROW(editField(p, "packetType", "4.5", kC), Error);
    EXPECT_THROW(editField(p, "burstActive", "yes", kC), Error);
    EXPECT_TRUE(editField(p, "OverSampling", "ten", kC).unreadable);
    for (const std::string& f : editableFields()) EXPECT_NO_THROW(editField(p, f, "1", kC)) << f;
    EXPECT_EQ(editField(p, "dataWhiteningInitValue", "300", kC).parameters.dataWhiteningInitValue, 127);
    EXPECT_EQ(editField(p, "SEQN", "5", kC).parameters.SEQN, 1);
}
