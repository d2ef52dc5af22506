#pragma once
// The dirty-transmitter calculation: for every selected test set, two
// packets (SEQN 1 and 0) generated from the sequence's own packet settings
// with the set's impairments, given the set's symbol timing error by
// resampling, put into the test timing and stacked into the set's segment.
#include <functional>

#include "bluetooth/dirty_tx_frames.h"
#include "bluetooth/dirty_tx_state.h"

namespace bt {

// The generation step: one packet's signal from settings. An empty one
// stands for the application's own (Calculate: payload, effective
// modulation index, generation driver).
using DtGenerator = std::function<GeneratedSignal(const GenerationSettings&)>;

// Progress of a long dirty-transmitter action, told when each selected set
// begins and when it is done; the window highlights the set meanwhile.
enum class DtStage { Calculating, Downloading };
struct DtProgressEvent {
    DtStage stage = DtStage::Calculating;
    int set = 1;  // 1 … 10
    bool finished = false;
};
// Returning false when a set begins stops the action before that set (the
// answer to a `finished` event is not used).
using DtProgress = std::function<bool(const DtProgressEvent&)>;

// The settings the generator gets for frame `frame` (0 or 1) of test set
// `set` (0-based): the set's impairments with the timing error left to the
// resampler, SEQN 1 for the first frame and 0 for the second.
GenerationSettings dtFrameSettings(const DirtyTxState& s, std::size_t set, int frame);

// The segment of test set `set` (0-based), `layout.dtLength()` samples.
GeneratedSignal dtSegment(const DirtyTxState& s, std::size_t set, const DtSegmentLayout& layout,
                          const DtGenerator& generate = {});

// Recalculates dtWaveform and dtMarkers (ten rows each, zeros for the sets
// not selected), dtPacketType and dtRepetitions, and clears dtCalcNeeded.
// Returns false when `progress` stopped it; nothing is changed then, nor
// when the generator raises bt::Error (which passes on), nor when a
// generated packet does not fit the frame (bt::Error).
bool dtCalculate(DirtyTxState& s, const DtGenerator& generate = {}, const DtProgress& progress = {});

// The layout the state's settings ask for.
DtSegmentLayout dtLayout(const DirtyTxState& s);

}  // namespace bt
