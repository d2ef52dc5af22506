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

}  // namespace

HwResult radioDownload(LoopPlayer& player, const RadioConnection& connection,
                       std::shared_ptr<const ComplexRow> waveform, const SigGenSettings& settings) {
    RadioTuning tuning;
    tuning.frequency = settings.Frequency;
    tuning.gain = connection.gain;
    tuning.antenna = connection.antenna;
    const RadioResult r = player.start(connection.args, std::move(waveform), settings.SamplingRate, tuning);
    if (!r.ok()) return {r.status, r.description};
    return {0, "Playing in a loop on " + connection.args + " at " + megahertz(settings.Frequency) + ", " +
                   megahertz(settings.SamplingRate) + " samples per second"};
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
