#include "app/frame_logic.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <ctime>

#include "app/record_compare.h"
#include "lib/numtext.h"

namespace bt {

std::string appTitle(const AppInfo& appInfo, const Configuration& configuration) {
    std::string title = "Veltor Tessaline - " + appInfo.Name;
    if (!configuration.LastParameterFilename.empty()) title += " : " + configuration.LastParameterFilename;
    return title;
}

ClockVector currentClock() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const auto sinceSecond = now - std::chrono::system_clock::from_time_t(t);
    const double fraction = std::chrono::duration<double>(sinceSecond).count();
    return {double(local.tm_year + 1900), double(local.tm_mon + 1), double(local.tm_mday), double(local.tm_hour),
            double(local.tm_min), double(local.tm_sec) + (fraction >= 0 && fraction < 1 ? fraction : 0)};
}

std::string clock2str(const ClockVector& clk) {
    static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    const int month = std::clamp(static_cast<int>(clk[1]), 1, 12);
    char text[64];
    std::snprintf(text, sizeof text, "%02d%s%04d %d:%02d:%02d", static_cast<int>(clk[2]), kMonths[month - 1],
                  static_cast<int>(clk[0]), static_cast<int>(clk[3]), static_cast<int>(clk[4]),
                  static_cast<int>(std::floor(clk[5])));
    return text;
}

namespace {
std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}
}  // namespace

Readiness checkWaveformReady(const AppInfo& appInfo, const Parameters& parameters, std::string_view action,
                             Dialogs& dialogs) {
    const std::string act(action);
    if (appInfo.LastCalcTimeStamp.empty()) {
        const std::string calculate = "Calculate & " + act;
        const std::string answer = dialogs.question(
            "The waveform has not yet been calculated. Do you wish to calculate\nthe waveform and then " + lower(act) +
                " ?",
            "Waveform Not Calculated", {calculate, "Cancel"}, calculate);
        return answer == calculate ? Readiness::CalculateFirst : Readiness::Stop;
    }
    if (appInfo.LastCaluclatedParameterSet && compareStruct(parameters, *appInfo.LastCaluclatedParameterSet))
        return Readiness::Go;
    const std::string recalc = "Recalc & " + act;
    const std::string answer =
        dialogs.question("Settings have changed since last calculating the waveform.\n" + act +
                             " will use the last calculated waveform.\nDo you wish to " + lower(act) + " anyway ?",
                         "Waveform Not Recalculated", {"Yes", recalc, "Cancel"}, recalc);
    if (answer == "Yes") return Readiness::Go;
    if (answer == recalc) return Readiness::CalculateFirst;
    return Readiness::Stop;
}

void stampCalculation(AppInfo& appInfo, const Parameters& parameters, const ClockVector& when) {
    appInfo.LastCalcTimeStamp = clock2str(when);
    appInfo.LastCaluclatedParameterSet = parameters;
}

BbgSwitch chooseBbgOption(std::string_view option, double projectedLength, Dialogs& dialogs) {
    if (option != "001" || projectedLength <= kOption001Samples) return BbgSwitch::Switch;
    const std::string answer = dialogs.question(
        "The waveform based on the current settings \nis too large to for Option 001. Changing to\nOption 001 will "
        "reset all settings to the defaults.\nDo you wish to change anyway ?",
        "Waveform too large", {"Yes", "Cancel"}, "Cancel");
    return answer == "Yes" ? BbgSwitch::ResetThenSwitch : BbgSwitch::Keep;
}

FrameMessage downloadMessage(const HwResult& download, const HwResult& play) {
    if (!download.ok()) return {true, "Error Occured During Waveform Download", download.response};
    if (!play.ok()) return {true, "Error Occured During Instrument Setup", play.response};
    return {false, "Download Completed", "Waveform has been successfully transferred to the instrument"};
}

FrameMessage refreshMessage(const HwResult& play) {
    if (play.ok()) return {};
    return {true, "Error Occured During Instrument Setup", play.response};
}

FrameMessage radioDownloadMessage(const HwResult& download) {
    if (!download.ok()) return {true, "Error Occured During Waveform Download", download.response};
    return {false, "Download Completed", download.response};
}

FrameMessage radioStoppedMessage(const HwResult& ended) { return {true, "Radio Stopped", ended.response}; }

std::string connectionText(const Configuration& c) {
    if (c.type == "SDR") return "radio " + c.SDR.args;
    if (c.type == "TCPIP") {
        const std::string& a = c.TCPIP.address;
        return a.find(':') == std::string::npos ? a + ":5025" : a;
    }
    if (c.type == "RS232") return "RS-232 port " + formatNumber(c.RS232.port);
    return "GPIB" + formatNumber(c.GPIB.board) + "::" + formatNumber(c.GPIB.primary);
}

std::string waveformStatusLine(const AppInfo& appInfo, const Parameters& parameters, std::size_t samples,
                               const DownloadRecord* lastDownload) {
    if (appInfo.LastCalcTimeStamp.empty()) return "Not calculated yet";
    if (!appInfo.LastCaluclatedParameterSet || !compareStruct(parameters, *appInfo.LastCaluclatedParameterSet))
        return "Settings changed since the last Calculate";
    if (lastDownload && lastDownload->calcStamp == appInfo.LastCalcTimeStamp)
        return "Downloaded to " + lastDownload->target + " as " + lastDownload->title;
    const std::string& stamp = appInfo.LastCalcTimeStamp;
    const auto blank = stamp.find(' ');
    const std::string time = blank == std::string::npos ? stamp : stamp.substr(blank + 1);
    return "Calculated " + time + ", " + std::to_string(samples) + " samples";
}

std::string plotTitle(const AppInfo& appInfo, const ClockVector& now) {
    ClockVector whole = now;
    whole[5] = std::floor(whole[5]);
    return appInfo.Name + " (" + clock2str(whole) + ")";
}

}  // namespace bt
