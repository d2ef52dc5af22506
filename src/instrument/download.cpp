#include "instrument/download.h"

#include <algorithm>
#include <cctype>

#include "instrument/hw_wrappers.h"
#include "instrument/play_commands.h"
#include "lib/dialogs.h"
#include "lib/errors.h"
#include "lib/numtext.h"

namespace bt {

namespace {
bool isRs232(const std::string& type) {
    std::string t = type;
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return t == "rs232";
}
}  // namespace

double rs232DownloadMinutes(std::size_t samples, double baudrate, double segments) {
    return static_cast<double>(samples) * 32 * 1.125 / baudrate / 60 * segments;
}

HwResult IXODownLoadWrap(const ComplexRow& IQData, const Markers& Marker, const std::string& Filename,
                         const Configuration& config, double num_wfm_segments, const TransferProgress& progress) {
    if (num_wfm_segments == 0) num_wfm_segments = 1;
    StepResult steps;
    // The transfer waits 10 s, or longer when the connection already
    // waits longer (a slow link the user has allowed for).
    steps.add(HwSetTimeout(config, std::max(10000, currentTimeoutMs(Formatconfig(config)))));

    if (isRs232(config.type) && num_wfm_segments > 0) {
        const double minutes = rs232DownloadMinutes(IQData.size(), config.RS232.baudrate, num_wfm_segments);
        if (minutes > 0.75) {
            const std::string answer = dialogs().question(
                "This download will take approximately " + formatFixed(minutes, 1) +
                    " minutes. Do you want to continue?",
                "RS-232 Download", {"OK", "Cancel"}, "Cancel");
            if (answer != "OK") return {io_status::kCancelled, "Download cancelled"};
        }
    }

    const HwResult state = HwQuery(config, ":SOUR:RAD:ARB:STATe?");
    steps.add(state);
    steps.add(HwSend(config, ":SOUR:RAD:ARB:STATe OFF"));
    steps.add(HwDownload(config, IQData, Marker, "norm", 1, Filename, progress));
    steps.add(HwSend(config, "\n"));
    if (state.ok() && parseNumber(state.response) == 1.0) HwSend(config, ":SOUR:RAD:ARB:STATe ON");
    HwSend(config, ":OUTPUT:MOD ON");
    return steps.result();
}

HwResult sendAllThenLocal(const std::function<std::vector<std::string>()>& build, const Configuration& config) {
    std::vector<std::string> commands;
    try {
        commands = build();
    } catch (const Error& e) {
        return {io_status::kArgument, e.what()};
    }
    StepResult steps;
    for (const std::string& c : commands) steps.add(HwSend(config, c));
    HwReturnLocal(config);
    return steps.result();
}

HwResult IXOPlay(const std::string& FileName, const SigGenSettings& setting, const Configuration& config) {
    return sendAllThenLocal([&] { return playCommands(FileName, setting, 'b'); }, config);
}

HwResult IXOPlay_c(const std::string& FileName, const SigGenSettings& setting, const Configuration& config) {
    return sendAllThenLocal([&] { return playCommands(FileName, setting, 'c'); }, config);
}

}  // namespace bt
