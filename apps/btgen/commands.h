#pragma once
// Sub-commands register themselves here, so each lives in its own file.
#include <CLI/CLI.hpp>
#include <functional>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "bluetooth/generated_signal.h"
#include "bluetooth/settings_editor.h"

namespace btgen {

using Setup = void (*)(CLI::App& app);

std::vector<Setup>& commandRegistry();

struct RegisterCommand {
    explicit RegisterCommand(Setup setup) { commandRegistry().push_back(setup); }
};

// Exit statuses, one per kind of failure, the same from every command
// (listed in --help by exitStatusHelp).
inline constexpr int kExitFailure = 1;     // anything unforeseen
// Bad input: a bad option or value, an unknown field, a refused edit, a
// settings or user file that cannot be used.
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitMeasurement = 3;  // a measured test failed its limits, or nothing could be measured
inline constexpr int kExitInstrument = 4;   // the instrument failed, did not answer, or answered nonsense
inline constexpr int kExitSave = 5;         // a file could not be written
inline constexpr int kExitGeneration = 6;   // the signal came out unusable (samples that are not numbers)
std::string exitStatusHelp();

// A number option read through readOptionNumber: a value that is not a
// finite number within [min, max] (whole when `whole`) stops the command
// line with exit status 2 and the reason.
// Refuses an empty file name: "" is a mistake, not "no file".
const CLI::Validator& nonEmptyFileName();

CLI::Option* addNumberOption(CLI::App& cmd, const std::string& name, double& target, double min, double max,
                             bool whole, const std::string& description);

// Stops the program with `status` after the message has been printed.
[[noreturn]] void fail(int status, const std::string& message);

// Applies FIELD=VALUE edits in order through the settings editor, printing
// each outcome to `out`. Unknown fields and unreadable values stop with exit
// status 2; so do refusals when `stopOnRefusal` is set, and edits the
// editor ignored (a disabled control, a code that is not in the list)
// unless `keepGoing`: a script's typo must not silently give another
// waveform. An edit that moves the instrument sample rate updates `sigGen`
// when given. dt.FIELD edits go to the dirty-transmitter records.
void applyEdits(bt::Parameters& p, const std::vector<std::string>& edits, const bt::EditContext& ctx,
                std::ostream& out, bool stopOnRefusal, bool keepGoing, const bt::Bits* userFileBits = nullptr,
                bt::SigGenSettings* sigGen = nullptr);

// --platform and --bbg options shared by the commands that check sizes.
struct PlatformOptions {
    std::string platform = "c";
    std::string bbg = "002";
    void add(CLI::App& cmd);
    bt::EditContext context() const { return {platform.at(0), bbg}; }
};

// Where the settings come from, for every command that takes edits: the
// defaults or a settings file, the --set edits, and a user data file. The
// instrument settings are built here, once, for all of them.
struct GenerationOptions {
    std::string settingsFile;
    std::vector<std::string> edits;
    std::vector<std::string> impairmentEdits;  // --set-impairment, when offered
    std::string userFile;
    bool keepGoing = false;
    PlatformOptions platform;

    void add(CLI::App& cmd);
    // --set-impairment N:FIELD=VALUE, for the commands that store the
    // dirty-transmitter records.
    void addDirtyTx(CLI::App& cmd);
    // The settings and instrument settings with the edits applied, their
    // outcomes printed to `log`. Unreadable files, bad edits, ignored edits
    // (unless --keep-going) and refusals stop with exit status 2.
    std::pair<bt::Parameters, bt::SigGenSettings> resolve(std::ostream& log) const;
};

// Help text of --set for the commands that take settings edits.
std::string setOptionHelp();

// The "Calculate" step with a progress bar on standard error while it runs
// long, when standard error is a terminal.
bt::GeneratedSignal generateWithProgress(const bt::Parameters& p);

// Receives a generated waveform with the settings' address and whitening
// and prints what the receiver measured; returns 0 when every measured test
// passes, 3 otherwise.
int measureGenerated(const bt::Parameters& p, const bt::ComplexRow& waveform);

}  // namespace btgen
