#pragma once
// A software-defined radio as the signal generator's output, for the
// window that offers it beside the instrument connections: the record the
// connection keeps, Download (the calculated waveform looping on the
// carrier of the instrument settings) and Refresh (carrier and gain
// retuned while it plays), answered as the instrument routines answer.
#include <memory>
#include <string>
#include <vector>

#include "instrument/instrument_settings.h"
#include "instrument/transport.h"
#include "lib/types.h"
#include "radio/loop_player.h"

namespace bt::radio {

struct RadioConnection {
    std::string args;     // SoapySDR device arguments, "driver=hackrf"
    double gain = 0;      // dB, overall
    std::string antenna;  // empty: the device's default
    bool operator==(const RadioConnection&) const = default;
};

// Starts the waveform looping (what played before stops); the response
// names the radio, carrier and rate. Status 0 or the radio's status.
HwResult radioDownload(LoopPlayer& player, const RadioConnection& connection,
                       std::shared_ptr<const ComplexRow> waveform, const SigGenSettings& settings);
// Retunes the playing loop to the settings' carrier and the connection's gain.
HwResult radioRefresh(LoopPlayer& player, const RadioConnection& connection, const SigGenSettings& settings);

// The dialog's device list: each radio enumeration finds (label and
// arguments); the connection's own arguments stay first when the radio is
// not attached now, so opening the dialog never loses them. `problem` says
// why the list is empty.
struct RadioChoices {
    std::vector<std::string> labels;
    std::vector<std::string> args;
    std::string problem;
};
RadioChoices radioChoices(const RadioConnection& current);

}  // namespace bt::radio
