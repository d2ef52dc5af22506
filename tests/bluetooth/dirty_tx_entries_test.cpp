// What the dirty-transmitter window's controls do with typed text, and what
// the refill shows.
#include "bluetooth/dirty_tx_entries.h"

#include <gtest/gtest.h>

#include "bluetooth/dirty_tx_calc.h"
#include "bluetooth/generate.h"

namespace bt {
namespace {

DirtyTxState freshState() {
    Parameters p;
    return initialDtState(p);
}

TEST(DirtyTxEntries, UnreadableTextEndsOnTheLimitClampedLast) {
    DirtyTxState s = freshState();
    dtEnterImpairment(s, 2, "FreqOffset", "abc");
    dtEnterImpairment(s, 2, "ModIndex", "");
    dtEnterPowerRamp(s, "x");
    dtEnterRfPower(s, "loud");
    dtEnterTriggerDelay(s, "soon");
    dtEnterMarker1Timing(s, "?");
    EXPECT_EQ(s.dtImpairmentsCurrent[2].FreqOffset, 150);
    EXPECT_EQ(s.dtImpairmentsCurrent[2].ModIndex, 0.4);
    EXPECT_EQ(s.dtParameters.burstLength, 100);
    EXPECT_EQ(s.dtSigGenSettings.Amplitude, -14);  // never louder by a typing slip
    EXPECT_EQ(s.dtQ7395.SlotSyncDelay, -(3 * 625 - 121));
    EXPECT_EQ(s.dtParameters.marker1Timing, 500);
    dtEnterChannel(s, "");
    EXPECT_EQ(s.dtSigGenSettings.Frequency, 2402e6);
}

TEST(DirtyTxEntries, RampSettlingAndAddresses) {
    DirtyTxState s = freshState();
    dtEnterPowerRamp(s, "4.6");
    EXPECT_EQ(s.dtParameters.burstLength, 5);
    EXPECT_EQ(dtWindowView(s, 'c').rampSettling, "7");  // the settling time is kept
    dtEnterRampSettling(s, "1");
    EXPECT_EQ(s.dtParameters.burstSettle, 0);
    EXPECT_EQ(dtWindowView(s, 'c').rampSettling, "5");
    dtEnterRampSettling(s, "40");
    EXPECT_EQ(s.dtParameters.burstSettle, 20);

    dtEnterMasterAddr(s, "1234567890abcdef");
    EXPECT_EQ(dtWindowView(s, 'c').masterAddr, "FFFFFFFFFFFF");
    dtEnterMasterAddr(s, "0x12ab");
    EXPECT_EQ(dtWindowView(s, 'c').masterAddr, "0000000012AB");
}

// A fractional member address used to be stored as typed, and then no
// packet could be built from it.
TEST(DirtyTxEntries, MemberAddressStaysWholeSoPacketsBuild) {
    DirtyTxState s = freshState();
    dtEnterAmAddr(s, "2.5");
    EXPECT_EQ(s.dtParameters.AMaddr, 3);
    dtEnterAmAddr(s, "9");
    EXPECT_EQ(s.dtParameters.AMaddr, 7);
    EXPECT_NO_THROW(Calculate(dtFrameSettings(s, 0, 0)));
}

TEST(DirtyTxEntries, FrequencyChannelAndRfOnlyMark) {
    DirtyTxState s = freshState();
    s.dtCalcNeeded = 0;
    dtEnterRfFrequency(s, "2480");
    EXPECT_EQ(dtWindowView(s, 'c').channel, "78");
    EXPECT_EQ(s.dtCalcNeeded, 2);
    dtEnterRfFrequency(s, "2402.5");
    EXPECT_EQ(dtWindowView(s, 'c').channel, "--");
    EXPECT_EQ(dtWindowView(s, 'c').rfFrequency, "2402.5");
    dtEnterChannel(s, "100");
    EXPECT_EQ(s.dtSigGenSettings.Frequency, 2480e6);
    dtEnterChannel(s, "-3");
    EXPECT_EQ(s.dtSigGenSettings.Frequency, 2402e6);
    dtEnterRfFrequency(s, "7000");
    EXPECT_EQ(s.dtSigGenSettings.Frequency, 6000e6);
    EXPECT_EQ(dtChannelText(2401e6), "--");
    dtEnterRfPower(s, "-140");
    EXPECT_EQ(s.dtSigGenSettings.Amplitude, -136);
    EXPECT_EQ(s.dtCalcNeeded, 2);  // only RF so far: a download sends just frequency and power
    dtEnterPowerRamp(s, "3");
    EXPECT_EQ(s.dtCalcNeeded, 1);
    dtEnterChannel(s, "5");
    EXPECT_EQ(s.dtCalcNeeded, 3);
}

TEST(DirtyTxEntries, EventMarkerRules) {
    DirtyTxState s = freshState();
    s.dtCalcNeeded = 0;
    dtEnterMarker1Timing(s, "12.34");
    EXPECT_DOUBLE_EQ(s.dtParameters.marker1Timing, 12.3);
    dtEnterMarker1Timing(s, "600");
    EXPECT_EQ(s.dtParameters.marker1Timing, 500);
    dtEnterMarker1Timing(s, "-700");
    EXPECT_EQ(s.dtParameters.marker1Timing, -625);
    dtSelectMarker2Type(s, 1);
    EXPECT_EQ(s.dtSigGenSettings.RFblanking, 0);
    dtSelectMarker2Type(s, 2);
    EXPECT_EQ(s.dtSigGenSettings.RFblanking, 1);
    dtSelectMarker1Type(s, 1);
    EXPECT_FALSE(dtEventMarkerView(s).timingShown);
    // The markers are written into the sets when they are calculated: a
    // change after a calculation marks them, the same value again does not.
    EXPECT_EQ(s.dtCalcNeeded, 1);
    s.dtCalcNeeded = 0;
    dtSelectMarker1Type(s, 1);
    dtSelectMarker2Type(s, 2);
    dtEnterMarker1Timing(s, "-700");
    EXPECT_EQ(s.dtCalcNeeded, 0);
    dtOpenEventMarkers(s);
    EXPECT_EQ(s.dtCalcNeeded, 1);

    dtSetOmitPoll(s, true);  // a pulse ahead of the packet has no room now
    EXPECT_EQ(s.dtParameters.marker1Timing, 0);
    dtEnterMarker1Timing(s, "-700");
    EXPECT_EQ(s.dtParameters.marker1Timing, 0);
}

TEST(DirtyTxEntries, TitleGoesThroughTheInstrumentFilter) {
    DirtyTxState s = freshState();
    dtEnterTitle(s, "bt test-1/ab");
    EXPECT_EQ(s.dtSigGenSettings.Title, "BTTEST-1AB");
    dtEnterTitle(s, "   ");
    EXPECT_EQ(s.dtSigGenSettings.Title, "BLANK");
    dtEnterTitle(s, "abcdefghijklmnopqrstuvwxy");
    EXPECT_EQ(s.dtSigGenSettings.Title, "ABCDEFGHIJKLMNOPQRST");
}

TEST(DirtyTxEntries, RefillShowsTheListsAndWhatDiffersFromTheDefaults) {
    DirtyTxState s = freshState();
    DtWindowView v = dtWindowView(s, 'c');
    EXPECT_EQ(v.projectedLength, "Projected Length: 250000");
    EXPECT_EQ(dtWindowView(s, 'b').projectedLength, "Projected Length: 500000");
    for (const DtSetView& row : v.sets) EXPECT_FALSE(row.edited());
    EXPECT_EQ(v.sets[0].modIndex, "0.28");
    EXPECT_EQ(v.sets[9].freqOffset, "-75");

    dtSelectPacketType(s, dtPacketTypeOfItem(3, 'c'));
    dtEnterImpairment(s, 4, "SymbolTimingError", "-20");
    dtSetTestSelect(s, 6, false);
    dtSetExternalTrigger(s, true);
    v = dtWindowView(s, 'c');
    EXPECT_EQ(v.packetItem, 3);
    EXPECT_EQ(v.driftRateItem, 3);  // 300 Hz for DH5
    EXPECT_FALSE(v.driftRateEdited || v.driftDeviationEdited);
    EXPECT_TRUE(v.sets[4].symbolTimingEdited);
    EXPECT_FALSE(v.sets[4].freqOffsetEdited);
    EXPECT_FALSE(v.sets[6].selected);
    EXPECT_FALSE(v.omitPollEnabled);
    EXPECT_EQ(v.projectedLength, "Projected Length: " + std::to_string(20 * 9 * 6250));

    dtEnterImpairment(s, 0, "FreqDriftRate", std::to_string(dtDriftRateOfItem(1)));
    EXPECT_TRUE(dtWindowView(s, 'c').driftRateEdited);
    // An IXO-B lists no five-slot type; an EDR type shows as its own item
    // and takes its slots' drift and its largest payload.
    EXPECT_EQ(dtPacketTypeItems('b'), (std::vector<std::string>{"DH1", "DH3", "2-DH1", "2-DH3", "3-DH1", "3-DH3"}));
    dtSelectPacketType(s, dtPacketTypeOfItem(6, 'b'));
    EXPECT_EQ(s.dtParameters.packetType, 20);
    EXPECT_EQ(s.dtParameters.patternLength, 552 * 8);
    EXPECT_EQ(dtWindowView(s, 'b').packetItem, 6);
    EXPECT_EQ(dtWindowView(s, 'c').packetItem, 8);
    EXPECT_EQ(dtWindowView(s, 'c').driftRateItem, 2);  // 500 Hz, as DH3
}

// The state kept in `parameters` (a settings file opened meanwhile) is
// brought into line with the marker rules, and segments made from other
// settings are not downloaded again as they are.
TEST(DirtyTxEntries, OpeningTakesTheStateKeptInParameters) {
    Parameters p;
    DirtyTxState s = initialDtState(p);
    s.dtCalcNeeded = 0;
    dtOpenFromParameters(s, p);
    EXPECT_EQ(s.dtCalcNeeded, 0);

    p.dtSigGenSettings.Frequency = 2480e6;
    dtOpenFromParameters(s, p);
    EXPECT_EQ(s.dtCalcNeeded, 2);

    p.dtParameters.marker2Type = 1;
    p.dtOmitPollPeriods = 1;
    p.dtParameters.marker1Timing = -100;
    dtOpenFromParameters(s, p);
    EXPECT_EQ(s.dtCalcNeeded, 1);
    EXPECT_EQ(s.dtSigGenSettings.RFblanking, 0);
    EXPECT_EQ(s.dtParameters.marker1Timing, 0);
    EXPECT_EQ(s.dtOmitPollPeriods, 1);
}

}  // namespace
}  // namespace bt
