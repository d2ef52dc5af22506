#pragma once
// Sub-commands register themselves here, so each lives in its own file.
#include <CLI/CLI.hpp>
#include <functional>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "bluetooth/generated_signal.h"
#include "bluetooth/list_field_names.h"
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

// The program's name in front of its messages ("btgen").
std::string& programName();

// Stops the program with `status` after the message has been printed.
[[noreturn]] void fail(int status, const std::string& message);

// Applies FIELD=VALUE edits in order through the settings editor, printing
// each outcome to `out`. Unknown fields and unreadable values stop with exit
// status 2; so do refusals when `stopOnRefusal` is set, and edits the
// editor ignored (a disabled control, a code that is not in the list)
// unless `keepGoing`: a script's typo must not silently give another
// waveform. An edit that moves the instrument sample rate updates `sigGen`
// when given. dt.FIELD edits go to the dirty-transmitter records.
// A value stored other than typed (clamped, rounded, snapped to the sample
// grid) prints a note; with `strict` the note stops with exit status 2.
void applyEdits(bt::Parameters& p, const std::vector<std::string>& edits, const bt::EditContext& ctx,
                std::ostream& out, bool stopOnRefusal, bool keepGoing, const bt::Bits* userFileBits = nullptr,
                bt::SigGenSettings* sigGen = nullptr, bool strict = false);

using bt::NamedCode;
using bt::namedCodes;
using bt::namedCodesText;
// bt::codeOfValue, an unknown name stopping with exit status 2.
std::string codeOrStop(const bt::Parameters& p, const std::string& field, const std::string& value);

// --platform and --bbg options shared by the commands that check sizes.
struct PlatformOptions {
    std::string platform = "c";
    std::string bbg = "002";
    void add(CLI::App& cmd);
    bt::EditContext context() const { return {platform.at(0), bbg}; }
};

// Where the settings come from, for every command that makes, saves, plots
// or plays a signal: the defaults or a settings file, the --set edits, the
// --sg instrument settings edits, a user data file and the platform. The
// instrument settings are built here, once, for all of them.
struct GenerationOptions {
    std::string settingsFile;
    std::vector<std::string> edits;
    std::vector<std::string> sgEdits;
    std::vector<std::string> impairmentEdits;  // --set-impairment, when offered
    std::string userFile;
    bool keepGoing = false;
    bool forceRate = false;
    bool strict = false;  // notes of values stored other than typed stop with status 2
    // The dirty-transmitter sequence keeps its own carrier, level and
    // title: --sg edits of those go to its records.
    bool sgToDirtyTx = false;
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

// Applies --sg FIELD=VALUE edits in order, printing each outcome to `log`;
// a settings field, an unknown field or a value outside the instrument's
// limits stops with exit status 2. With `dirtyTx`, Frequency, channel,
// Amplitude and Title edit its dirty-transmitter records instead.
void applySigGenEdits(bt::SigGenSettings& s, const std::vector<std::string>& edits, char platform,
                      std::ostream& log, bt::Parameters* dirtyTx = nullptr);
// Whether --sg takes this field.
bool isSigGenField(const std::string& field);

// The unit of a --set or --sg field ("kHz"), empty for none.
std::string fieldUnit(const std::string& name);

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
