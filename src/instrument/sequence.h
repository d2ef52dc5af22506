#pragma once
// Waveform sequences: several stored segments played one after the other,
// each repeated, as one signal.
#include <string>
#include <vector>

#include "instrument/instrument_settings.h"
#include "instrument/play_commands.h"
#include "instrument/transport.h"

namespace bt {

// Defines the sequence `sequenceFile` in the instrument; the waveform
// player's on/off state is kept as it was found. `IXOModel` is the
// generation letter 'b' or 'c'.
HwResult IXOCreateWaveformSequence(const std::vector<SequenceElement>& sequenceElements,
                                   const std::string& sequenceFile, const Configuration& config, char IXOModel);

// Selects the sequence, sends the settings and starts playback.
HwResult IXOPlayWaveformSequence(const std::string& sequenceFile, const SigGenSettings& settings,
                                 const Configuration& config, char IXOModel);

}  // namespace bt
