#pragma once
// What the controls of the dirty-transmitter window and of its event-marker
// window do with what the user types or picks, and what every control shows
// afterwards. Entries are read as decimal text (the master address as
// hexadecimal), clamped to the control's limits and never refused. Text that
// is not a number ends on the limit the clamp applies last: the upper limit,
// except the trigger delay (its lower limit) and the channel (channel 0);
// the RF power keeps its value.
// Each entry marks the segments as the control asks: waveform edits set
// dtCalcNeeded to 1, power, frequency and channel add bit value 2.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "bluetooth/dirty_tx_edits.h"

namespace bt {

// ---------------------------------------------------------------- opening

// Opening the window takes the state kept in `parameters` (loadDtState) and
// brings it into line with the event-marker rules. Segments calculated
// before are kept only while what they were made from is unchanged (a
// settings file opened meanwhile marks them for recalculation).
void dtOpenFromParameters(DirtyTxState& s, const Parameters& parameters);

// ---------------------------------------------------------------- lists

// Packet list items: the names of dtPacketTypes(platform), DH1 first.
std::vector<std::string> dtPacketTypeItems(char platform);
// Item 1, 2, ... -> its packet type code; anything else DH1 (4), and a
// code not in the list shows as item 1.
double dtPacketTypeOfItem(int item, char platform);
int dtPacketTypeItem(double packetType, char platform);
// Drift-rate list: item 1 1600 Hz, 2 500 Hz, 3 300 Hz; anything else 1600.
double dtDriftRateOfItem(int item);
int dtDriftRateItem(double rate);

// ---------------------------------------------------------------- entries

void dtEnterMasterAddr(DirtyTxState& s, std::string_view hexText);  // 0 … 2^48 - 1
// 0 … 7, whole: a fraction would make every packet header fail to build.
void dtEnterAmAddr(DirtyTxState& s, std::string_view text);
// Ramp length (us), rounded, 1 … 100; the settling time keeps its own value.
void dtEnterPowerRamp(DirtyTxState& s, std::string_view text);
// Ramp plus settling time (us), rounded, ramp … ramp + 20.
void dtEnterRampSettling(DirtyTxState& s, std::string_view text);
void dtEnterRfPower(DirtyTxState& s, std::string_view text);      // dBm, -136 … 0
void dtEnterRfFrequency(DirtyTxState& s, std::string_view mhz);   // 0.001 … 6000 MHz
void dtEnterChannel(DirtyTxState& s, std::string_view text);      // 0 … 78 -> 2402 + channel MHz
void dtEnterTriggerDelay(DirtyTxState& s, std::string_view text); // us, +-dtSlotSyncDelayLimit
// Per-set (`set` 0 … 9) or shared impairment field as dtEditImpairment
// names them; returns the value stored.
double dtEnterImpairment(DirtyTxState& s, std::size_t set, std::string_view field, std::string_view text);
// The title goes through the instrument's title filter.
void dtEnterTitle(DirtyTxState& s, std::string_view text);

// ---------------------------------------------------------------- event markers
// These edit the marker fields only; opening the event-marker window is
// what marks the segments (dtOpenEventMarkers).

void dtOpenEventMarkers(DirtyTxState& s);
// Item number = marker type.
void dtSelectMarker1Type(DirtyTxState& s, int item);
void dtSelectMarker2Type(DirtyTxState& s, int item);
// Microseconds after the packet's first symbol, on the sample grid, at most
// 500 and at least dtMarker1TimingMin.
void dtEnterMarker1Timing(DirtyTxState& s, std::string_view text);
// -625 (one slot ahead of the first symbol); 0 without poll periods.
double dtMarker1TimingMin(const DirtyTxState& s);
// RF blanking follows marker 2: on exactly when marker 2 carries the burst;
// a marker-1 pulse ahead of the packet has no room without poll periods and
// moves to the packet's first symbol.
void dtApplyMarkerRules(DirtyTxState& s);

// ---------------------------------------------------------------- what the windows show

struct DtSetView {
    bool selected = true;
    std::string freqOffset, modIndex, symbolTiming;
    // The value differs from the Bluetooth RF test's table.
    bool freqOffsetEdited = false, modIndexEdited = false, symbolTimingEdited = false;
    bool edited() const { return freqOffsetEdited || modIndexEdited || symbolTimingEdited; }
};

struct DtWindowView {
    int packetItem = 1;
    std::string masterAddr, amAddr, rfPower, rfFrequency, channel, powerRamp, rampSettling;
    bool useQ7395 = false;
    bool omitPoll = false;
    bool omitPollEnabled = true;
    std::string triggerDelay, title;
    int driftRateItem = 1;
    std::string driftDeviation, driftPhase;
    // The shared drift differs from the packet type's defaults.
    bool driftRateEdited = false, driftDeviationEdited = false, driftPhaseEdited = false;
    std::array<DtSetView, kDtTestSets> sets;
    std::string projectedLength;
};

// The refill of the dirty-transmitter window.
DtWindowView dtWindowView(const DirtyTxState& s, char platform);
// The channel of a carrier frequency as text, "--" off the channel raster.
std::string dtChannelText(double frequencyHz);

struct DtEventMarkerView {
    int marker1Item = 2;
    int marker2Item = 2;
    std::string marker1Timing;
    bool timingShown = true;  // the timing controls belong to the marker-1 pulse only
};
DtEventMarkerView dtEventMarkerView(const DirtyTxState& s);

}  // namespace bt
