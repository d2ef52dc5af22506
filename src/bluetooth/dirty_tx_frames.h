#pragma once
// The timing of the dirty-transmitter test: how one generated packet becomes
// a frame (the tester's poll period first, the packet last), how the event
// markers are rewritten for it, and how long the segments are.
#include <cstddef>
#include <string>

#include "bluetooth/generated_signal.h"
#include "bluetooth/settings.h"
#include "lib/types.h"

namespace bt {

// Slots of a packet type of the sequence: DH1 (4), DH3 (11), DH5 (15) and
// the EDR ACL types (16 … 21) take 1, 3 or 5; any other code counts as DH1.
int dtPacketSlots(double packetType);

// The segment of one test set for a packet type: an EDR type is laid out
// as the basic-rate type of its slots.
struct DtSegmentLayout {
    double packetType = 4;         // the code the layout was chosen for: 4, 11, 15 or 16 … 21
    std::size_t slotSamples = 0;   // 625 us of samples
    std::size_t packetSlots = 1;   // pkt_length
    std::size_t zeroSlots = 0;     // poll_slots: zero slots added ahead of the frame
    std::size_t pollSlots = 1;     // numPollSlots: slots ahead of the packet in the frame
    std::size_t frameSlots = 2;
    std::size_t numFrames = 2;     // 4 for DH1 in external trigger mode
    int repetitions = 8;           // how often the sequence plays the segment
    std::size_t frameSamples() const { return frameSlots * slotSamples; }
    std::size_t dtLength() const { return numFrames * frameSamples(); }
};
DtSegmentLayout dtSegmentLayout(double packetType, bool externalTrigger, bool omitPoll, double oversample);

// The frame of one packet. The generated waveform is the packet's slots and
// one idle slot after them. With `omitPoll` the frame is the packet alone;
// otherwise zero slots (none, 2 or 4), the idle slot and then the packet, so
// that the frame opens with the tester's poll period. Markers move with the
// samples. Raises bt::Error when the waveform is shorter than the packet.
GeneratedSignal reorderPacketPoll(const ComplexRow& wfm, const Markers& mkrs, double packetType, double oversample,
                                  double omitPoll);

// The event markers of a frame (times in microseconds):
// marker1Type 2: marker 1 is a one-symbol pulse `marker1Timing` after the
//   packet's first symbol;
// marker2Type 1: marker 2 covers the packet from its first symbol to the
//   start of the ramp-down; 2: the burst (wherever `wfmdata` is non-zero);
//   4: the generated marker-2 span extended by 16 symbols.
// Other types leave that row as it is. Parts that fall outside the frame are
// left out.
Markers adjustMarkers(const Markers& markers, double packetType, double oversample, const ComplexRow& wfmdata,
                      double burstRampLength, double burstSettle, double marker1Type, double marker2Type,
                      double marker1Timing, double omitPoll);

// Waveform points the selected segments need in the instrument: 4 slots per
// DH1 segment (8 on an IXO-B, and in external trigger mode, where a segment
// holds four frames), 12 per DH3, 20 per DH5; halved without poll periods.
double dtProjectedLength(double dtPacketType, char platform, double omitPollPeriods, const DtTestSelect& dtTestSelect,
                         double oversample, double externalTrigger = 0);
// "Projected Length: " and the number, as the window shows it.
std::string setDTProjectedLength(double dtPacketType, char platform, double omitPollPeriods,
                                 const DtTestSelect& dtTestSelect, double oversample, double externalTrigger = 0);

// How many test sets are selected.
std::size_t dtSelectedCount(const DtTestSelect& dtTestSelect);

}  // namespace bt
