#pragma once
// A software-defined radio as the signal generator's output, for the
// window that offers it beside the instrument connections: the record the
// connection keeps, Download (the calculated waveform looping on the
// carrier of the instrument settings) and Refresh (carrier and gain
// retuned while it plays), answered as the instrument routines answer.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "instrument/connection_editor.h"
#include "instrument/instrument_settings.h"
#include "instrument/transport.h"
#include "lib/types.h"
#include "radio/loop_player.h"

namespace bt::radio {

// What the connection record keeps of the radio: device arguments
// ("driver=hackrf"), overall gain in dB, antenna ("" the device's default).
using RadioConnection = Configuration::Sdr;

// Starts the waveform looping (what played before stops); the response
// names the radio, carrier, rate and the gain the radio took. Status 0 or
// the radio's status.
HwResult radioDownload(LoopPlayer& player, const RadioConnection& connection,
                       std::shared_ptr<const ComplexRow> waveform, const SigGenSettings& settings);
// Retunes the playing loop to the settings' carrier and the connection's gain.
HwResult radioRefresh(LoopPlayer& player, const RadioConnection& connection, const SigGenSettings& settings);

// The dialog's device list: each radio enumeration finds (label and
// arguments); the connection's own arguments stay first when the radio is
// not attached now, so opening the dialog never loses them. `problem` says
// why the list is empty.
using RadioChoices = SdrDeviceList;
RadioChoices radioChoices(const RadioConnection& current);

// The transmit antennas of the radio of `args` (asked of the playing radio
// when it is that one, since many radios open only once); empty when the
// radio cannot be reached.
std::vector<std::string> radioAntennas(const LoopPlayer& player, const std::string& args);
// The dialog's Check Connection for a radio: opens it and names it and its
// transmit antennas.
HwResult radioCheck(const LoopPlayer& player, const RadioConnection& connection);
// A loop that ended on its own (the radio went away), said once.
std::optional<HwResult> radioEnded(LoopPlayer& player);

}  // namespace bt::radio
