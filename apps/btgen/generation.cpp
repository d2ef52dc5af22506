// Settings for the commands that generate, and generation with a progress
// bar.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>

#include "bluetooth/generate.h"
#include "bluetooth/user_data_file.h"
#include "commands.h"
#include "dt_edits.h"
#include "lib/dialogs.h"
#include "app/app_state.h"
#include "lib/numtext.h"
#include "app/settings_files.h"

namespace btgen {

void GenerationOptions::add(CLI::App& cmd) {
    cmd.add_option("--settings", settingsFile, "Start from this settings file instead of the defaults")
        ->check(nonEmptyFileName());
    cmd.add_option("--set", edits, setOptionHelp())->type_name("FIELD=VALUE");
    cmd.add_flag("--keep-going", keepGoing,
                 "Go on when an edit is ignored (a disabled control, a code not in its list) instead of stopping "
                 "with status 2");
    cmd.add_option("--user-file", userFile,
                   "Payload from this file, most significant bit of each byte first, at most 80000 bits; "
                   "selects \"User File ...\" unless a --set payloadType=8 does")
        ->type_name("PATH")
        ->check(nonEmptyFileName());
    platform.add(cmd);
}

void GenerationOptions::addDirtyTx(CLI::App& cmd) {
    cmd.add_option("--set-impairment", impairmentEdits,
                   "Dirty-transmitter impairment edit: N is a set (1-10) or all; FIELD is FreqOffset, ModIndex, "
                   "SymbolTimingError, or one shared by all sets: FreqDriftRate, FreqDriftDeviation, "
                   "InitialDriftPhase")
        ->type_name("N:FIELD=VALUE");
}

std::string setOptionHelp() {
    return "FIELD=VALUE edit as typed into the field's control (hexadecimal for BDaddr, AMaddr, bitPattern; "
           "packetType, linkType, multiPacket and generationMode take their code; payloadType its list item "
           "1..10; impairments.FIELD as in the impairment window; dt.FIELD for the dirty-transmitter settings: " +
           dtEditFieldsHelp() + ")";
}

std::pair<bt::Parameters, bt::SigGenSettings> GenerationOptions::resolve(std::ostream& log) const {
    const bt::EditContext ctx = platform.context();
    auto [p, sigGen] = settingsFile.empty()
                           ? std::pair{bt::appState().parameters, bt::appState().SigGenSettings}
                           : bt::readSettingsFile(settingsFile, ctx);

    bt::Bits userBits;
    if (!userFile.empty()) {
        // The file dialog answered with the file given; its "File Error"
        // box becomes the message.
        bt::PresetDialogs dialogs("", userFile);
        const bt::UserDataFile f = bt::loadUserDatafile(double(bt::MAXNUMBITS), "left-msb", dialogs);
        if (f.status != 1) fail(kExitBadInput, std::string(bt::kUserFileErrorTitle) + ": " + f.errorText);
        if (f.bits.empty()) fail(kExitBadInput, "The user file " + userFile + " is empty.");
        userBits = f.bits;
    }
    std::vector<std::string> all = edits;
    const bool placed = std::any_of(edits.begin(), edits.end(), [](const std::string& e) {
        return e.starts_with("payloadType=") && bt::parseNumber(e.substr(12)) == 8.0;
    });
    if (!userFile.empty() && !placed) all.emplace_back("payloadType=8");
    applyEdits(p, all, ctx, log, true, keepGoing, userFile.empty() ? nullptr : &userBits, &sigGen);
    if (!impairmentEdits.empty()) {
        bt::DirtyTxState s;
        bt::loadDtState(s, p);
        for (const std::string& edit : impairmentEdits) applyImpairmentEdit(s, edit, log);
        bt::saveDtState(s, p);
    }
    return {std::move(p), std::move(sigGen)};
}

namespace {

// "[#######.............]  35%" redrawn in place, shown only once a
// generation has run for a moment.
class ProgressBar {
public:
    ProgressBar() : enabled_(::isatty(STDERR_FILENO) == 1), start_(Clock::now()) {}
    ~ProgressBar() {
        if (drawn_) std::cerr << "\r\033[K" << std::flush;
    }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(double fraction) {
        if (!enabled_ || Clock::now() - start_ < std::chrono::milliseconds(300)) return;
        const int percent = std::clamp(static_cast<int>(fraction * 100), 0, 100);
        if (drawn_ && percent == percent_) return;
        constexpr int kWidth = 30;
        const int filled = percent * kWidth / 100;
        std::cerr << "\rgenerating [" << std::string(std::size_t(filled), '#')
                  << std::string(std::size_t(kWidth - filled), '.') << "] " << percent << "%" << std::flush;
        drawn_ = true;
        percent_ = percent;
    }

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    Clock::time_point start_;
    bool drawn_ = false;
    int percent_ = -1;
};

}  // namespace

bt::GeneratedSignal generateWithProgress(const bt::Parameters& p) {
    ProgressBar bar;
    return bt::Calculate(p, [&](double fraction) { bar.update(fraction); });
}

}  // namespace btgen
