#include "radio/radio_output.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace bt::radio {

namespace {

std::string megahertz(double hz) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g MHz", hz / 1e6);
    return text;
}

std::string decibels(double db) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g dB", db);
    return text;
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& s : items) out += (out.empty() ? "" : ", ") + s;
    return out.empty() ? "none named" : out;
}

}  // namespace

HwResult radioDownload(LoopPlayer& player, const RadioConnection& connection,
                       std::shared_ptr<const ComplexRow> waveform, const SigGenSettings& settings) {
    // Empty arguments would open whichever radio the library finds first.
    if (connection.args.empty())
        return {radio_status::kBadInput, "No radio is chosen: choose one in Configuration > Sig Gen I/O."};
    RadioTuning tuning;
    tuning.frequency = settings.Frequency;
    tuning.gain = connection.gain;
    tuning.antenna = connection.antenna;
    const RadioResult r = player.start(connection.args, std::move(waveform), settings.SamplingRate, tuning);
    if (!r.ok()) return {r.status, r.description};
    // The gain as the radio took it: radios limit it to their own range.
    return {0, "The waveform plays in a loop on " + connection.args + " at " + megahertz(settings.Frequency) +
                   ", " + megahertz(settings.SamplingRate) + " samples per second, transmit gain " +
                   decibels(player.gain()) + ".\nThe radio has no marker outputs."};
}

HwResult radioRefresh(LoopPlayer& player, const RadioConnection& connection, const SigGenSettings& settings) {
    if (!player.playing())
        return {radio_status::kBadInput, "Nothing plays on the radio: Download the waveform first."};
    const RadioResult r = player.retune(settings.Frequency, connection.gain);
    if (!r.ok()) return {r.status, r.description};
    return {0, "OK"};
}

RadioChoices radioChoices(const RadioConnection& current) {
    RadioChoices c;
    std::vector<DeviceInfo> devices;
    if (const RadioResult r = listDevices("", devices); !r.ok()) c.problem = r.description;
    for (const DeviceInfo& d : devices) {
        c.labels.push_back(d.label.empty() ? d.args : d.label);
        c.args.push_back(d.args);
    }
    if (!current.args.empty() && std::find(c.args.begin(), c.args.end(), current.args) == c.args.end()) {
        c.labels.insert(c.labels.begin(), current.args + " (not found now)");
        c.args.insert(c.args.begin(), current.args);
    }
    if (c.args.empty() && c.problem.empty()) c.problem = "No software-defined radio was found.";
    return c;
}

}  // namespace bt::radio

namespace bt::radio {

std::vector<std::string> radioAntennas(const LoopPlayer& player, const std::string& args) {
    if (const Radio* playing = player.radioOf(args)) return playing->antennas(Direction::Tx);
    Radio radio;
    if (!radio.open(args).ok()) return {};
    return radio.antennas(Direction::Tx);
}

HwResult radioCheck(const LoopPlayer& player, const RadioConnection& connection) {
    if (connection.args.empty()) return {radio_status::kBadInput, "No radio is chosen."};
    if (const Radio* playing = player.radioOf(connection.args))
        return {0, playing->description() + " (playing)\nTransmit antennas: " + joined(playing->antennas(Direction::Tx))};
    Radio radio;
    if (const RadioResult r = radio.open(connection.args); !r.ok()) return {r.status, r.description};
    return {0, radio.description() + "\nTransmit antennas: " + joined(radio.antennas(Direction::Tx))};
}

std::optional<HwResult> radioEnded(LoopPlayer& player) {
    const std::optional<PlayReport> report = player.ended();
    if (!report) return std::nullopt;
    const std::string why = report->result.ok() ? "the stream ended" : report->result.description;
    return HwResult{report->result.ok() ? radio_status::kStreamError : report->result.status,
                    "The radio stopped playing the waveform: " + why + "\nDownload starts it again."};
}

}  // namespace bt::radio
