// The option set of every command that makes, saves, plots or plays a
// signal: where the settings come from, the settings edits, the instrument
// settings edits, a user data file and the instrument generation.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "app/app_state.h"
#include "app/records_json.h"
#include "app/settings_files.h"
#include "bluetooth/settings_validate.h"
#include "bluetooth/user_data_file.h"
#include "commands.h"
#include "dt_edits.h"
#include "lib/dialogs.h"
#include "lib/numtext.h"

namespace btgen {

namespace {

struct SigGenField {
    const char* name;
    double bt::SigGenSettings::*member;  // null for Title and channel
    const char* unit;
};

// Title and channel are handled apart: a text, and a frequency by number.
constexpr SigGenField kSigGenFields[] = {
    {"Title", nullptr, ""},
    {"Frequency", &bt::SigGenSettings::Frequency, "Hz"},
    {"channel", nullptr, ""},
    {"Amplitude", &bt::SigGenSettings::Amplitude, "dBm"},
    {"SamplingRate", &bt::SigGenSettings::SamplingRate, "Hz"},
    {"RFblanking", &bt::SigGenSettings::RFblanking, ""},
    {"ArbRefSource", &bt::SigGenSettings::ArbRefSource, ""},
    {"MarkerPolarity", &bt::SigGenSettings::MarkerPolarity, ""},
    {"ALC", &bt::SigGenSettings::ALC, ""},
    {"ReconFilter", &bt::SigGenSettings::ReconFilter, ""},
    {"BBfilter", &bt::SigGenSettings::BBfilter, ""},
    {"Scaling", &bt::SigGenSettings::Scaling, "%"},
    {"ModAtten", &bt::SigGenSettings::ModAtten, ""},
};

// The carrier of Bluetooth channel k.
constexpr double kChannel0 = 2402e6;
constexpr double kChannelSpacing = 1e6;
constexpr int kLastChannel = 78;

std::pair<std::string, std::string> splitEdit(const std::string& edit, const char* option) {
    const auto eq = edit.find('=');
    if (eq == std::string::npos || eq == 0)
        fail(kExitBadInput, std::string(option) + " takes FIELD=VALUE, not \"" + edit + "\"");
    return {edit.substr(0, eq), edit.substr(eq + 1)};
}

double sgNumber(const std::string& field, const std::string& value) {
    const auto v = bt::parseNumber(value);
    // An overflowing number is kept as it reads: the limits below refuse it.
    if (!v) fail(kExitBadInput, "Value \"" + value + "\" of " + field + " is not a number.");
    return *v;
}

std::string frequencyText(double hz) { return bt::formatNumber(hz / 1e6) + " MHz"; }

std::string lowerExtension(const std::string& file) {
    std::string ext = std::filesystem::path(file).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// A record written by hand may give the hexadecimal fields as hexadecimal
// text ("BDaddr": "123456789ABC") and the list fields by name ("packetType":
// "DH5"), as --set takes them; they become the numbers the record holds.
void readableValuesToNumbers(bt::Json& j, const std::string& file) {
    if (!j.is_object()) return;
    for (const char* field : {"BDaddr", "AMaddr", "bitPattern"}) {
        if (!j.contains(field) || !j[field].is_string()) continue;
        const std::string text = j[field].get<std::string>();
        std::size_t used = 0;
        unsigned long long v = 0;
        try {
            v = std::stoull(text, &used, 16);
        } catch (const std::exception&) {
            used = 0;
        }
        if (text.empty() || used != text.size() || text.find_first_of("+-") != std::string::npos)
            fail(kExitBadInput, file + ": " + field + " \"" + text + "\" is not a hexadecimal number.");
        j[field] = double(v);
    }
    bt::Parameters p = bt::appState().parameters;
    if (j.contains("linkType") && j["linkType"].is_number()) p.linkType = j["linkType"].get<double>();
    for (const char* field : {"linkType", "generationMode", "packetType", "multiPacket", "payloadType"}) {
        if (!j.contains(field) || !j[field].is_string()) continue;
        j[field] = std::stod(codeOrStop(p, field, j[field].get<std::string>()));
        if (std::string(field) == "linkType") p.linkType = j[field].get<double>();
    }
    if (j.contains("impairments") && j["impairments"].is_object() && j["impairments"].contains("FreqDriftType") &&
        j["impairments"]["FreqDriftType"].is_string())
        j["impairments"]["FreqDriftType"] =
            std::stod(codeOrStop(p, "impairments.FreqDriftType", j["impairments"]["FreqDriftType"].get<std::string>()));
}

// Settings as JSON: what `btgen settings` prints (the record, or with --all
// the records by name), or a SigMF recording's metadata, whose
// btgen:settings holds the records the recording was made with. They are
// screened as a settings file is.
std::pair<bt::Parameters, bt::SigGenSettings> readJsonSettings(const std::string& file, const bt::EditContext& ctx) {
    constexpr std::uintmax_t kLargest = 64u << 20;  // as the recording reader's metadata limit
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        fail(kExitBadInput, "The settings file " + file + " is not a regular file.");
    if (std::filesystem::file_size(file, ec) > kLargest)
        fail(kExitBadInput, "The settings file " + file + " is larger than 64 MB.");
    std::ifstream in(file, std::ios::binary);
    bt::Json j;
    try {
        j = bt::Json::parse(in, nullptr, true, false);
    } catch (const std::exception& e) {
        fail(kExitBadInput, file + " is not JSON: " + e.what());
    }
    bt::Parameters p = bt::appState().parameters;
    bt::SigGenSettings sigGen = bt::appState().SigGenSettings;
    try {
        bt::Json* params = &j;
        const bt::Json* sg = nullptr;
        if (j.is_object() && j.contains("global")) {
            const bt::Json& g = j["global"];
            if (!g.is_object() || !g.contains("btgen:settings"))
                fail(kExitBadInput, file + " holds no btgen:settings to make the signal from.");
            bt::Json& rec = j["global"]["btgen:settings"];
            if (!rec.is_object() || !rec.contains("fileParameters"))
                fail(kExitBadInput, file + ": its btgen:settings hold no fileParameters.");
            params = &rec["fileParameters"];
            if (rec.contains("sigGenParameters")) sg = &rec["sigGenParameters"];
        } else if (j.is_object() && j.contains("parameters")) {
            params = &j["parameters"];
            if (j.contains("SigGenSettings")) sg = &j["SigGenSettings"];
        }
        readableValuesToNumbers(*params, file);
        bt::fromJson(*params, p);
        if (sg) bt::fromJson(*sg, sigGen);
        else sigGen.SamplingRate = bt::instrumentSampleRate(p);
    } catch (const bt::Error& e) {
        fail(kExitBadInput, file + ": " + e.what());
    }
    if (const auto problem = bt::findInconsistentField(p, ctx))
        fail(kExitBadInput, file + ": " + problem->text());
    if (const auto problem = bt::findInconsistentField(sigGen, ctx.platform))
        fail(kExitBadInput, file + ": " + problem->text());
    return {std::move(p), std::move(sigGen)};
}

}  // namespace

bool isSigGenField(const std::string& field) {
    return std::any_of(std::begin(kSigGenFields), std::end(kSigGenFields),
                       [&](const SigGenField& f) { return field == f.name; });
}

std::string sigGenFieldsHelp() {
    std::string text;
    for (const SigGenField& f : kSigGenFields) text += (text.empty() ? "" : ", ") + std::string(f.name);
    return text;
}

void applySigGenEdits(bt::SigGenSettings& s, const std::vector<std::string>& edits, char platform, std::ostream& log,
                      bt::Parameters* dirtyTx) {
    for (const std::string& edit : edits) {
        const auto [field, value] = splitEdit(edit, "--sg");
        if (!isSigGenField(field)) {
            if (field.starts_with("dt.") || field.starts_with("impairments.") ||
                std::ranges::find(bt::editableFields(), field) != bt::editableFields().end())
                fail(kExitBadInput, field + " is a settings field: use --set " + field + "=...");
            fail(kExitBadInput, "Unknown instrument setting \"" + field + "\"; known: " + sigGenFieldsHelp());
        }
        if (field == "channel") {
            const double k = sgNumber(field, value);
            if (k != std::floor(k) || k < 0 || k > kLastChannel)
                fail(kExitBadInput, "Value \"" + value + "\" of channel is not a channel from 0 to " +
                                        std::to_string(kLastChannel) + ".");
        }
        // The dirty-transmitter sequence plays at its own carrier, level and
        // title: those edits go there, with its window's rules.
        if (dirtyTx && (field == "Frequency" || field == "channel" || field == "Amplitude" || field == "Title")) {
            bt::DirtyTxState st;
            bt::loadDtState(st, *dirtyTx);
            applyDtEdit(st, "dt." + edit, log, false, platform);
            bt::saveDtState(st, *dirtyTx);
            continue;
        }
        log << "set " << edit << '\n';
        if (field == "Title") {
            s.Title = value;
        } else if (field == "channel") {
            s.Frequency = kChannel0 + sgNumber(field, value) * kChannelSpacing;
            log << "  Frequency: " << frequencyText(s.Frequency) << '\n';
        } else {
            for (const SigGenField& f : kSigGenFields)
                if (field == f.name) {
                    s.*(f.member) = sgNumber(field, value);
                    log << "  " << field << ": "
                        << (std::string(f.unit) == "Hz" ? frequencyText(s.*(f.member))
                                                        : bt::formatNumber(s.*(f.member)) +
                                                              (*f.unit ? std::string(" ") + f.unit : ""))
                        << '\n';
                }
        }
    }
    // The limits of the settings window and the settings file loader: no
    // value the window would not keep, no title that could carry a second
    // command onto the instrument's command line.
    if (const auto problem = bt::findInconsistentField(s, platform))
        fail(kExitBadInput, "The signal-generator settings cannot be used: " + problem->text());
}

void GenerationOptions::add(CLI::App& cmd) {
    cmd.add_option("--settings", settingsFile,
                   "Start from this settings file instead of the defaults: a .bt file, the JSON `btgen settings` "
                   "prints (.json), or a SigMF recording's .sigmf-meta, to make its signal again")
        ->check(nonEmptyFileName());
    cmd.add_option("--set", edits, setOptionHelp())->type_name("FIELD=VALUE");
    cmd.add_option("--sg", sgEdits,
                   "Instrument setting edit, applied after the --set edits: Frequency=2441e6 (Hz), channel=39 "
                   "(2402 + channel MHz), Amplitude=-10 (dBm), Title=BT, SamplingRate (Hz; only with "
                   "--force-rate when it differs from the rate OverSampling gives), RFblanking, ArbRefSource, "
                   "MarkerPolarity, ALC, ReconFilter, BBfilter, Scaling (%), ModAtten")
        ->type_name("FIELD=VALUE");
    cmd.add_flag("--force-rate", forceRate,
                 "Let --sg SamplingRate differ from the rate OverSampling gives, so that the waveform plays at "
                 "another symbol rate than the one it was built for");
    cmd.add_flag("--strict", strict,
                 "Stop with status 2 when a value is stored other than typed (clamped to its range, rounded, "
                 "snapped to the sample grid) instead of only noting it");
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
           "packetType, linkType, multiPacket, generationMode, payloadType and impairments.FreqDriftType take a "
           "name or their code; impairments.FIELD as in the impairment window, FreqOffset and FreqDriftDeviation "
           "in kHz, FreqDriftRate in Hz; dt.FIELD for the dirty-transmitter settings: " +
           dtEditFieldsHelp() + "). Every field with its unit, range or names, and default: btgen fields";
}

std::pair<bt::Parameters, bt::SigGenSettings> GenerationOptions::resolve(std::ostream& log) const {
    const bt::EditContext ctx = platform.context();
    const std::string ext = lowerExtension(settingsFile);
    auto [p, sigGen] = settingsFile.empty() ? std::pair{bt::appState().parameters, bt::appState().SigGenSettings}
                       : ext == ".json" || ext == ".sigmf-meta" ? readJsonSettings(settingsFile, ctx)
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
    applyEdits(p, all, ctx, log, true, keepGoing, userFile.empty() ? nullptr : &userBits, &sigGen, strict);
    if (!impairmentEdits.empty()) {
        bt::DirtyTxState s;
        bt::loadDtState(s, p);
        for (const std::string& edit : impairmentEdits) applyImpairmentEdit(s, edit, log);
        bt::saveDtState(s, p);
    }
    applySigGenEdits(sigGen, sgEdits, ctx.platform, log, sgToDirtyTx ? &p : nullptr);
    const bool rateEdited = std::any_of(sgEdits.begin(), sgEdits.end(),
                                        [](const std::string& e) { return e.starts_with("SamplingRate="); });
    const double built = bt::instrumentSampleRate(p);
    if (rateEdited && !forceRate && std::abs(sigGen.SamplingRate - built) > 1e-9 * built)
        fail(kExitBadInput, "SamplingRate " + bt::formatNumber(sigGen.SamplingRate) + " Hz is not the " +
                                bt::formatNumber(built) + " Hz the waveform is built for (OverSampling " +
                                bt::formatNumber(p.OverSampling) +
                                "): it would play at another symbol rate. Change OverSampling with --set, or give "
                                "--force-rate to play it so.");
    return {std::move(p), std::move(sigGen)};
}

}  // namespace btgen
