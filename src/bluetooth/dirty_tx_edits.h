#pragma once
// Editing rules of the dirty-transmitter settings: what the sequence's
// window and the command line do to the state when the user changes a
// value. Values are clamped, never refused; every change marks the
// segments for recalculation (dtCalcNeeded = 1), except clearing a test set.
#include <string_view>

#include "bluetooth/dirty_tx_state.h"

namespace bt {

// DH1 (4), DH3 (11) or DH5 (15): also sets the payload length, the drift
// rate and deviation of all ten sets for the type, and keeps the external
// trigger delay within the type's bound.
void dtSelectPacketType(DirtyTxState& s, double packetType);

// The external frame-synchronised mode forces the poll periods in; leaving
// it gives back the omit-poll choice made before.
void dtSetExternalTrigger(DirtyTxState& s, bool on);
// A marker-1 pulse ahead of the packet has no room without poll periods:
// a negative marker1Timing becomes 0 on every change.
void dtSetOmitPoll(DirtyTxState& s, bool on);
// Microseconds, within +-(k x 625 - 121) with k = 3, 9, 15 for DH1, DH3, DH5.
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
