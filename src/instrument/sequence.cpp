#include "instrument/sequence.h"

#include "instrument/download.h"
#include "instrument/hw_wrappers.h"
#include "lib/numtext.h"

namespace bt {

HwResult IXOCreateWaveformSequence(const std::vector<SequenceElement>& sequenceElements,
                                   const std::string& sequenceFile, const Configuration& config, char IXOModel) {
    const std::string command = sequenceDefinition(sequenceElements, sequenceFile, IXOModel);
    StepResult steps;
    const HwResult state = HwQuery(config, ":SOUR:RAD:ARB:STATe?");
    steps.add(state);
    steps.add(HwSend(config, ":SOUR:RAD:ARB:STATe OFF"));
    steps.add(HwSend(config, command));
    if (state.ok() && parseNumber(state.response) == 1.0) HwSend(config, ":SOUR:RAD:ARB:STATe ON");
    HwReturnLocal(config);
    return steps.result();
}

HwResult IXOPlayWaveformSequence(const std::string& sequenceFile, const SigGenSettings& settings,
                                 const Configuration& config, char IXOModel) {
    return sendAllThenLocal([&] { return sequencePlayCommands(sequenceFile, settings, IXOModel); }, config);
}

}  // namespace bt
