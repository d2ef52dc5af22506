#pragma once
// The SCPI command lists that set the instrument up and start playback of a
// stored waveform or a sequence, and the sequence definition line. Pure
// builders: a setting outside its choices raises bt::Error with the reason.
#include <string>
#include <vector>

#include "instrument/instrument_settings.h"

namespace bt {

// One segment of a waveform sequence, in playing order.
struct SequenceElement {
    std::string waveformName;
    int repetitions = 1;
    int marker1 = 0;
    int marker2 = 0;
};

// The single-waveform playback list: 11 commands for model 'b' (IXOPlay),
// 16 for any other letter (IXOPlay_c).
std::vector<std::string> playCommands(const std::string& FileName, const SigGenSettings& setting, char model);

// The sequence definition line: header naming SEQ:<sequenceFile>, then one
// quoted segment path and three numbers per element.
std::string sequenceDefinition(const std::vector<SequenceElement>& elements, const std::string& sequenceFile,
                               char model);

// The sequence playback list: 13 commands for 'b', 16 for 'c', 12 for any
// other letter (no filter line).
std::vector<std::string> sequencePlayCommands(const std::string& sequenceFile, const SigGenSettings& settings,
                                              char model);

}  // namespace bt
