#pragma once
// Editing rules of the dirty-transmitter settings: what the sequence's
// window and the command line do to the state when the user changes a
// value. Values are clamped, never refused; every change marks the
// segments for recalculation (dtCalcNeeded = 1), except clearing a test set.
#include <string>
#include <string_view>
#include <vector>

#include "bluetooth/dirty_tx_state.h"

namespace bt {

// The packet types of the sequence, in the order of its window's list:
// DH1, DH3, DH5 (codes 4, 11, 15), then the EDR ACL types 2-DH1 … 3-DH5
// (16 … 21), which the EDR receiver tests send through the same test sets:
// the frequency offset, the drift and the symbol timing error act on the
// whole packet, the modulation index on its GFSK access code and header
// (the DPSK payload has none). An IXO-B ('b') offers no five-slot type.
struct DtPacketType {
    double code;
    std::string name;
};
std::vector<DtPacketType> dtPacketTypes(char platform);
// The type that a name ("3-DH5", any case) or code ("21") stands for on
// `platform`. Raises bt::Error naming the types there are, and saying why
// when the text names a packet of another link (eSCO's 2-EV3), another ACL
// packet (DM1) or a five-slot type on an IXO-B.
double dtPacketTypeOf(std::string_view text, char platform);

// One of dtPacketTypes (any other code counts as DH1): also sets the payload length, the drift
// rate and deviation of all ten sets for the type, and keeps the external
// trigger delay within the type's bound.
void dtSelectPacketType(DirtyTxState& s, double packetType);

// The external frame-synchronised mode forces the poll periods in; leaving
// it gives back the omit-poll choice made before.
void dtSetExternalTrigger(DirtyTxState& s, bool on);
// A marker-1 pulse ahead of the packet has no room without poll periods:
// a negative marker1Timing becomes 0 on every change.
void dtSetOmitPoll(DirtyTxState& s, bool on);
// Microseconds, within +-(k x 625 - 121) with k = 3, 9, 15 for 1, 3, 5 slots.
void dtSetSlotSyncDelay(DirtyTxState& s, double us);
double dtSlotSyncDelayLimit(double packetType);
// `set` 0 … 9; checking one marks the segments, clearing one does not.
void dtSetTestSelect(DirtyTxState& s, std::size_t set, bool on);

// Impairment fields the window edits. Per set (`set` 0 … 9): FreqOffset
// (kHz, whole, -150 … 150), ModIndex (three decimals, 0.2 … 0.4),
// SymbolTimingError (ppm, whole, -150 … 150). Shared by all sets (`set`
// ignored): FreqDriftRate (500 or 300 Hz, anything else 1600),
// FreqDriftDeviation (kHz, whole, -100 … 100), InitialDriftPhase (degrees,
// whole, -359 … 359). Raises bt::Error for any other field name. Returns
// the value stored.
double dtEditImpairment(DirtyTxState& s, std::size_t set, std::string_view field, double value);
// True for the three fields every set has its own value of.
bool dtPerSetField(std::string_view field);

}  // namespace bt
