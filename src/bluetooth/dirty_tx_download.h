#pragma once
// The dirty-transmitter download: every selected segment stored under its
// own name, one sequence that plays them in order, the trigger set-up and
// playback. Each instrument command is followed by a completion check
// ("*OPC?"); the first failure ends the segment loop and nothing is created,
// triggered or played after it.
#include <string>
#include <vector>

#include "bluetooth/dirty_tx_calc.h"
#include "bluetooth/settings.h"
#include "instrument/play_commands.h"
#include "instrument/transport.h"

namespace bt {

struct DtDownloadOutcome {
    HwResult result;        // the first failure, or success with what was done
    int ioErrors = 0;       // failed commands and checks
    bool rfOnly = false;    // only frequency and power were sent
    bool calculated = false;
    bool cancelled = false;
    std::vector<SequenceElement> sequence;  // the sequence defined in the instrument, when it was
};

// Runs the download as the window's Download button does:
// - dtCalcNeeded exactly 2 (only RF edits since the last download): sends
//   frequency and power, returns to local, clears dtCalcNeeded;
// - no set selected: nothing;
// - otherwise recalculates first when bit 1 of dtCalcNeeded is set (or
//   nothing has been calculated), then downloads the selected segments
//   (dtSigGenSettings.Title + set number), defines the sequence
//   dtSigGenSettings.Title, sets the trigger up and starts playback with
//   `mainSigGen` carrying the sequence's RF settings.
// Generation errors raise bt::Error before anything is sent; instrument
// failures come back in the outcome.
DtDownloadOutcome dtDownload(DirtyTxState& s, const Configuration& config, const SigGenSettings& mainSigGen,
                             char platform, const DtGenerator& generate = {}, const DtProgress& progress = {});

// The trigger commands sent before playback: external frame trigger with
// its delay when dtQ7395.enable is set, continuous play otherwise.
std::vector<std::string> dtTriggerCommands(const DirtyTxState& s, char platform);
// The external trigger delay in microseconds: 1.5 frames plus the slot
// sync delay, less the ramp and settling time ahead of the first symbol.
double dtTriggerDelay(const DirtyTxState& s);

// The main instrument settings with the sequence's own sample rate, title,
// RF blanking, marker polarity, power and frequency.
SigGenSettings dtCombinedSigGen(const SigGenSettings& mainSigGen, const DtSigGenSettings& dt);

}  // namespace bt
