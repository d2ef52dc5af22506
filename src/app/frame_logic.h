#pragma once
// The common frame's decisions and texts, free of any toolkit: the title
// bar, the time stamp, the readiness check before Download, Plot and Save,
// the baseband-generator options, and the messages after Download and
// Refresh. The frame window asks these and shows what they say.
#include <array>
#include <string>
#include <string_view>

#include "bluetooth/settings.h"
#include "instrument/transport.h"
#include "lib/dialogs.h"

namespace bt {

// "Veltor Tessaline - BLUETOOTH", then " : " and the settings file when
// one was opened or saved.
std::string appTitle(const AppInfo& appInfo, const Configuration& configuration);

// ------------------------------------------------------------ time stamps

// [year month day hour minute seconds]
using ClockVector = std::array<double, 6>;
ClockVector currentClock();
// "01AUG2002 9:05:03": seconds truncated to whole ones.
std::string clock2str(const ClockVector& clk);

// ----------------------------------------------------- the readiness check

enum class Readiness {
    Stop,           // the user cancelled
    Go,             // use the waveform as it is
    CalculateFirst  // calculate, then go on
};

// The check before `action` ("Download", "Plot" or "Save"): asks through
// `dialogs` when nothing was calculated yet or the settings changed since
// (field-by-field comparison with the copy kept at the last calculation).
Readiness checkWaveformReady(const AppInfo& appInfo, const Parameters& parameters, std::string_view action,
                             Dialogs& dialogs = bt::dialogs());

// What Calculate leaves in appInfo: the time stamp and the copy of the
// settings the later checks compare against.
void stampCalculation(AppInfo& appInfo, const Parameters& parameters, const ClockVector& when = currentClock());

// ---------------------------------------------- baseband-generator options

inline constexpr double kOption001Samples = 8000000;

enum class BbgSwitch {
    Keep,               // cancelled: nothing changes
    Switch,             // BBGtype changes
    ResetThenSwitch     // the settings go back to their defaults first
};
// Option "001" with a projected length above 8 M samples asks whether to
// reset the settings; "002" never asks.
BbgSwitch chooseBbgOption(std::string_view option, double projectedLength, Dialogs& dialogs = bt::dialogs());

// ------------------------------------------------------ Download, Refresh

// The modal box the frame shows after an instrument action.
struct FrameMessage {
    bool error = false;
    std::string title;
    std::string text;
};
// After Download: the download's result and, when it succeeded, playback's.
FrameMessage downloadMessage(const HwResult& download, const HwResult& play);
// After Refresh; nothing to show (empty title) on success.
FrameMessage refreshMessage(const HwResult& play);
// After Download on a software-defined radio: the radio's own answer, which
// names where and how the waveform plays.
FrameMessage radioDownloadMessage(const HwResult& download);
// When the radio's loop ended without being stopped (the radio went away).
FrameMessage radioStoppedMessage(const HwResult& ended);

// ------------------------------------------------- the waveform's state

// Where the last download went: the calculation it carried (its time
// stamp), the instrument ("127.0.0.1:5025") and the waveform title.
struct DownloadRecord {
    std::string calcStamp;
    std::string target;
    std::string title;
};

// The instrument a connection reaches, as the status line names it.
std::string connectionText(const Configuration& configuration);

// The main window's line on whether the waveform is current: "Not
// calculated yet", "Settings changed since the last Calculate", "Downloaded
// to 127.0.0.1:5025 as BT" (when the last download carried the current
// calculation) or "Calculated 14:02:11, 12500 samples".
std::string waveformStatusLine(const AppInfo& appInfo, const Parameters& parameters, std::size_t samples,
                               const DownloadRecord* lastDownload);

// ---------------------------------------------------------- fixed texts

inline constexpr const char* kHelpText = "HTML help is not available in this version.";
inline constexpr const char* kHelpTitle = "Option unavailable";

// The plot title: application name and the time stamp of now.
std::string plotTitle(const AppInfo& appInfo, const ClockVector& now = currentClock());

}  // namespace bt
