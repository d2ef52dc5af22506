#include "bluetooth/settings_validate.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <type_traits>

#include "bluetooth/impairment_editor.h"
#include "bluetooth/packet_types.h"
#include "bluetooth/settings_fields.h"
#include "bluetooth/size_est.h"
#include "instrument/connection_editor.h"
#include "lib/errors.h"
#include "lib/numtext.h"

namespace bt {

namespace {

using Problem = std::optional<FieldProblem>;

// Largest whole number a double holds exactly; hexadecimal fields beyond it
// cannot be formatted for their editor.
constexpr double kMaxExact = 9007199254740992.0;

bool isWhole(double v) { return v == std::trunc(v); }
bool isFlag(double v) { return v == 0 || v == 1; }

FieldProblem problem(const std::string& field, std::string message) { return {field, std::move(message)}; }

// A name that reaches SCPI commands: what the instrument's title filter
// lets through, 1 to 20 characters. Anything else would be sent as raw
// bytes or fail half-way through a download.
std::optional<FieldProblem> titleProblem(const std::string& title, const std::string& field, bool lowerCase) {
    const std::string allowed = std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_$&#+-[]") +
                                (lowerCase ? "abcdefghijklmnopqrstuvwxyz" : "");
    if (!title.empty() && title.size() <= 20 && title.find_first_not_of(allowed) == std::string::npos)
        return std::nullopt;
    std::string shown;
    for (char c : title) shown += (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) ? '?' : c;
    return problem(field, "is \"" + shown + "\"; it must be 1 to 20 characters of " +
                              (lowerCase ? "A-Z, a-z" : "A-Z") + ", 0-9 and _ $ & # + - [ ].");
}

// ------------------------------------------------------- finite numbers

template <class R>
Problem firstNonFinite(const R& r, const std::string& prefix) {
    Problem found;
    forEachField(r, [&](const char* name, const auto& x) {
        using T = std::decay_t<decltype(x)>;
        if (found) return;
        const std::string path = prefix + name;
        if constexpr (std::is_same_v<T, double>) {
            if (!std::isfinite(x)) found = problem(path, "is not a finite number.");
        } else if constexpr (std::is_same_v<T, DtTestSelect>) {
            for (double v : x)
                if (!std::isfinite(v)) found = problem(path, "holds a number that is not finite.");
        } else if constexpr (std::is_same_v<T, DtImpairmentTable>) {
            for (std::size_t k = 0; k < x.size() && !found; ++k)
                found = firstNonFinite(x[k], path + "(" + std::to_string(k + 1) + ").");
        } else if constexpr (SettingsRecord<T>) {
            found = firstNonFinite(x, path + ".");
        }
    });
    return found;
}

// ------------------------------------------------------- entry limits

// The limits a window applies on entry to a number field. `choices`, when
// given, lists the only values its list offers.
struct Limit {
    const char* field;
    double lo;
    double hi;
    bool whole = false;
    std::initializer_list<double> choices = {};
};

template <class R>
Problem checkLimits(const R& r, std::span<const Limit> limits, const std::string& prefix) {
    Problem found;
    forEachField(r, [&](const char* name, const auto& x) {
        if constexpr (std::is_same_v<std::decay_t<decltype(x)>, double>) {
            for (const Limit& l : limits) {
                if (found || std::string_view(l.field) != name) continue;
                const std::string path = prefix + name;
                const std::string shown = "is " + formatNumber(x);
                if (l.choices.size() != 0) {
                    if (std::find(l.choices.begin(), l.choices.end(), x) == l.choices.end()) {
                        std::string list;
                        for (double c : l.choices) list += (list.empty() ? "" : ", ") + formatNumber(c);
                        found = problem(path, shown + "; it must be one of " + list + ".");
                    }
                } else if (x < l.lo || x > l.hi) {
                    found = problem(path, shown + ", outside " + formatNumber(l.lo) + " .. " + formatNumber(l.hi) + ".");
                } else if (l.whole && !isWhole(x)) {
                    found = problem(path, shown + ", not a whole number.");
                }
            }
        }
    });
    return found;
}

// The wider entry limits the dirty-transmitter window applies to the
// impairments of its ten test sets.
const Limit kDtImpairmentLimits[] = {
    {"ModIndexActive", 0, 1, true, {0, 1}},   {"ModIndex", 0.2, 0.4},
    {"AWGNactive", 0, 1, true, {0, 1}},       {"AWGNratio", 0, 40},
    {"AWGNseed", 1, 65535},                   {"FreqDriftActive", 0, 1, true, {0, 1}},
    {"FreqDriftType", 1, 2, true},            {"FreqDriftDeviation", -100, 100, true},
    {"FreqDriftRate", 0, 0, false, {1600, 500, 300}},
    {"InitialDriftPhase", -359, 359, true},
    {"FreqOffsetActive", 0, 1, true, {0, 1}}, {"FreqOffset", -150, 150, true},
    {"SymbolTimingErrorActive", 0, 1, true, {0, 1}}, {"SymbolTimingError", -150, 150, true},
    // No dirty-transmitter control sets these: the impairment window's ranges.
    {"GainImbalanceActive", 0, 1, true, {0, 1}},     {"GainImbalance", -6, 6},
    {"QuadratureSkewActive", 0, 1, true, {0, 1}},    {"QuadratureSkew", -30, 30},
    {"CarrierLeakageActive", 0, 1, true, {0, 1}},    {"CarrierLeakage", -80, -10},
    {"PhaseNoiseActive", 0, 1, true, {0, 1}},        {"PhaseNoiseLevel", -140, -60},
    {"PhaseNoiseOffset", 10, 400},
};
// Fields of dtParameters that the dirty-transmitter and event-marker
// windows edit with their own limits.
const Limit kDtParameterLimits[] = {
    {"packetType", 0, 0, false, {4, 11, 15}}, {"AMaddr", 0, 7},
    {"burstLength", 1, 100, true},            {"burstSettle", 0, 20, true},
    {"marker1Timing", -625, 500},
};
const Limit kDtSigGenLimits[] = {
    {"SamplingRate", 1, 100e6},          {"RFblanking", 0, 1, true, {0, 1}},
    {"MarkerPolarity", 0, 1, true, {0, 1}}, {"Amplitude", -136, 0},
    {"Frequency", 1e3, 6e9},             {"TriggerDelay", -1e9, 1e9},
};
const Limit kDtQ7395Limits[] = {
    {"enable", 0, 1, true, {0, 1}},
    {"SlotSyncDelay", -(15 * 625 - 121), 15 * 625 - 121},
};
const Limit kMarkerLimits[] = {
    {"marker1Type", 1, 1000, true},
    {"marker2Type", 1, 1000, true},
};

const Limit kModIndexLimits[] = {{"ModIndex", 0.2, 0.4}};

// ------------------------------------------------- the settings editor

// The main impairment record as the impairment window keeps it: every
// field entered again through the impairment editor stays as it is.
Problem checkImpairments(const Impairments& imp, const std::string& prefix) {
    Problem found;
    forEachField(imp, [&](const char* name, double value) {
        const auto& editable = editableImpairmentFields();
        if (found || std::find(editable.begin(), editable.end(), name) == editable.end()) return;
        ImpairmentEdit r;
        try {
            r = editImpairment(imp, name, formatNumber(value));
        } catch (const Error&) {  // a list field that is not a whole number
            r.ignored = "not a list item";
        }
        double kept = value;
        forEachField(r.impairments, [&](const char* n, double v) {
            if (std::string_view(n) == name) kept = v;
        });
        if (!r.ignored.empty() || kept != value)
            found = problem(prefix + name, "is " + formatNumber(value) + "; the impairment editor keeps " +
                                               (r.ignored.empty() ? formatNumber(kept) : "no such value") + ".");
    });
    return found;
}

using TextEdit = EditResult (*)(const Parameters&, std::string_view, const EditContext&);

// Enters `field`'s shown value again through its editor on `probe` (set up
// so that the field's control is enabled) and reports a changed value.
Problem reenter(const Parameters& probe, const char* field, double GenerationSettings::*member, TextEdit edit,
                const std::string& prefix) {
    const EditResult r = edit(probe, displayText(probe, field), EditContext{'c', "002"});
    const double kept = r.parameters.*member;
    if (!r.ignored.empty() || kept != probe.*member)
        return problem(prefix + field, "is " + formatNumber(probe.*member) + "; the settings editor keeps " +
                                           formatNumber(kept) + ".");
    return std::nullopt;
}

Problem checkCodes(const GenerationSettings& g, const std::string& prefix) {
    const auto oneOf = [&](const char* field, double v, std::initializer_list<double> allowed, const char* what) -> Problem {
        if (std::find(allowed.begin(), allowed.end(), v) == allowed.end())
            return problem(prefix + field, "is " + formatNumber(v) + "; it must be " + what + ".");
        return std::nullopt;
    };
    if (auto p = oneOf("generationMode", g.generationMode, {1, 2}, "1 (packet) or 2 (stream)")) return p;
    if (auto p = oneOf("linkType", g.linkType, {kLinkSco, kLinkAcl, kLinkEsco}, "1 (SCO), 2 (ACL) or 3 (eSCO)")) return p;
    if (auto p = oneOf("multiPacket", g.multiPacket, {0, 1}, "0 or 1")) return p;
    const auto labels = packetTypeLabels(g.linkType);
    const double item = g.packetType + 2;
    if (!isWhole(item) || item < 1 || item > static_cast<double>(labels.size()))
        return problem(prefix + "packetType", "is " + formatNumber(g.packetType) + ", not a packet type code.");
    const std::string& label = labels[static_cast<std::size_t>(item) - 1];
    if (label.ends_with("Unsupported") || label.ends_with("Undefined"))
        return problem(prefix + "packetType", "is " + formatNumber(g.packetType) + " (\"" + label +
                                                  "\"), which cannot be chosen for this link type.");
    const double payloadItems = static_cast<double>(payloadLabels(false).size());
    if (!isWhole(g.payloadType) || g.payloadType < 1 || g.payloadType > payloadItems)
        return problem(prefix + "payloadType", "is " + formatNumber(g.payloadType) + ", not a payload type code.");
    if (auto p = oneOf("payloadSetup", g.payloadSetup, {0, 1, 2, 4}, "0, 1, 2 or 4")) return p;
    for (auto [field, v] : {std::pair{"SEQN", g.SEQN}, {"ARQN", g.ARQN}, {"dataWhiteningActive", g.dataWhiteningActive},
                            {"burstActive", g.burstActive}, {"MirrorSpectrum", g.MirrorSpectrum}})
        if (!isFlag(v)) return problem(prefix + field, "is " + formatNumber(v) + "; it must be 0 or 1.");
    return std::nullopt;
}

// `dirtyTx`: the record is dtParameters, whose ramp, settle, address and
// packet type follow the dirty-transmitter window instead.
Problem checkGeneration(const GenerationSettings& g, const std::string& prefix, const EditContext& ctx, bool dirtyTx) {
    if (auto p = checkCodes(g, prefix)) return p;
    Parameters probe;
    static_cast<GenerationSettings&>(probe) = g;
    using G = GenerationSettings;
    // Every edit redraws the hexadecimal fields, which only whole numbers in
    // range can be formatted for: check those before running any editor.
    for (auto [field, member] : {std::pair{"BDaddr", &G::BDaddr}, {"AMaddr", &G::AMaddr}, {"bitPattern", &G::bitPattern}}) {
        const double v = g.*member;
        if (!isWhole(v) && !(dirtyTx && member == &G::AMaddr))
            return problem(prefix + field, "is " + formatNumber(v) + ", not a whole number.");
        if (v < 0 || v > kMaxExact) return problem(prefix + field, "is " + formatNumber(v) + ", out of range.");
    }
    if (auto p = reenter(probe, "OverSampling", &G::OverSampling, editOverSampling, prefix)) return p;
    Parameters packet = probe;  // the controls that only packet mode enables
    packet.generationMode = 1;
    packet.burstActive = 1;
    if (auto p = reenter(packet, "BDaddr", &G::BDaddr, editBDaddr, prefix)) return p;
    if (dirtyTx) {
        if (auto p = checkLimits(g, kDtParameterLimits, prefix)) return p;
    } else {
        if (auto p = reenter(packet, "AMaddr", &G::AMaddr, editAMaddr, prefix)) return p;
        if (auto p = reenter(packet, "burstLength", &G::burstLength, editBurstLength, prefix)) return p;
        if (auto p = reenter(packet, "burstSettle", &G::burstSettle, editBurstSettle, prefix)) return p;
        if (auto p = checkLimits(g, std::span(kDtParameterLimits).last(1), prefix)) return p;  // marker1Timing
    }
    if (auto p = checkLimits(g, kMarkerLimits, prefix)) return p;
    // No window edits the nominal index, but generation reads it whenever
    // the impairment is off: it is held to the widest range any editor
    // gives a modulation index.
    if (auto p = checkLimits(g, kModIndexLimits, prefix)) return p;
    Parameters stream = probe;  // the pattern controls are always enabled in stream mode
    stream.generationMode = 2;
    stream.payloadType = 7;
    if (auto p = reenter(stream, "bitPattern", &G::bitPattern, editBitPattern, prefix)) return p;
    if (auto p = reenter(probe, "CGdelay", &G::CGdelay, editCGdelay, prefix)) return p;
    Parameters edr = packet;  // the control only an EDR packet enables
    edr.linkType = kLinkAcl;
    edr.packetType = kEdrCodeBase;
    if (auto p = reenter(edr, "edrRelativePower", &G::edrRelativePower, editEdrRelativePower, prefix)) return p;
    if (auto p = reenter(probe, "dataWhiteningInitValue", &G::dataWhiteningInitValue, editWhiteningInitValue, prefix))
        return p;

    if (g.dataSourceBitstream.empty()) return problem(prefix + "dataSourceBitstream", "is empty.");
    if (g.dataSourceBitstream.size() > MAXNUMBITS)
        return problem(prefix + "dataSourceBitstream", "holds " + std::to_string(g.dataSourceBitstream.size()) +
                                                          " bits; a user file gives at most " +
                                                          std::to_string(MAXNUMBITS) + ".");
    // A packet without payload leaves the pattern unused; the editors then
    // store its largest payload, 0.
    const bool patternUnused = g.generationMode == 1 && Bt_UserPayloadMaxSize(g.linkType, g.packetType) == 0;
    stream = probe;
    stream.generationMode = 2;
    if (patternUnused) {
        if (g.patternLength < 0) return problem(prefix + "patternLength", "is negative.");
    } else if (auto p = reenter(stream, "patternLength", &G::patternLength, editPatternLength, prefix)) {
        return p;
    }
    const double reps = g.patternLength / patternPeriod(g);
    if (std::fabs(g.patternReps - reps) > 1e-9 * std::fabs(reps))
        return problem(prefix + "patternReps", "is " + formatNumber(g.patternReps) + " but patternLength " +
                                                   formatNumber(g.patternLength) + " makes it " +
                                                   formatNumber(reps) + ".");

    if (auto p = dirtyTx ? checkLimits(g.impairments, kDtImpairmentLimits, prefix + "impairments.")
                         : checkImpairments(g.impairments, prefix + "impairments."))
        return p;

    const SizeCheck size = checkProjectedSize(Bt_SizeEst(g), ctx.platform, ctx.bbgType);
    if (!size.accepted()) {
        std::string message = size.message;
        for (char& c : message)
            if (c == '\n') c = ' ';
        return problem(prefix + "patternLength", "makes a waveform the instrument cannot hold: " + message);
    }
    return std::nullopt;
}

}  // namespace

std::optional<FieldProblem> findInconsistentField(const Parameters& p, const EditContext& ctx) {
    if (auto q = firstNonFinite(p, "")) return q;
    if (auto q = checkGeneration(p, "", ctx, false)) return q;
    if (auto q = checkGeneration(p.dtParameters, "dtParameters.", ctx, true)) return q;
    for (std::size_t k = 0; k < p.dtImpairmentsCurrent.size(); ++k)
        if (auto q = checkLimits(p.dtImpairmentsCurrent[k], kDtImpairmentLimits,
                                 "dtImpairmentsCurrent(" + std::to_string(k + 1) + ")."))
            return q;
    if (!isFlag(p.dtOmitPollPeriods))
        return problem("dtOmitPollPeriods", "is " + formatNumber(p.dtOmitPollPeriods) + "; it must be 0 or 1.");
    if (auto q = checkLimits(p.dtSigGenSettings, kDtSigGenLimits, "dtSigGenSettings.")) return q;
    // The segments and the sequence are stored under this name; the default
    // "Bluetooth_DT" shows that lower case passes too.
    if (auto q = titleProblem(p.dtSigGenSettings.Title, "dtSigGenSettings.Title", true)) return q;
    for (std::size_t k = 0; k < p.dtTestSelect.size(); ++k)
        if (!isFlag(p.dtTestSelect[k]))
            return problem("dtTestSelect", "holds " + formatNumber(p.dtTestSelect[k]) + " for test set " +
                                               std::to_string(k + 1) + "; each entry must be 0 or 1.");
    return checkLimits(p.dtQ7395, kDtQ7395Limits, "dtQ7395.");
}

std::optional<FieldProblem> findInconsistentField(const SigGenSettings& s, char platform) {
    if (auto q = firstNonFinite(s, "")) return q;
    const Limit limits[] = {
        {"Frequency", 100e3, 6e9},
        {"Amplitude", -136, 20, true},
        {"SamplingRate", 1, platform == 'b' ? 40e6 : 100e6},
        {"RFblanking", 0, 1, true, {0, 1}},
        {"ArbRefSource", 0, 1, true, {0, 1}},
        {"MarkerPolarity", 0, 1, true, {0, 1}},
        {"ALC", 0, 1, true, {0, 1}},
        {"ReconFilter", 1, 4, true},
        {"BBfilter", 1, 3, true},
        {"Scaling", 1, 100},
        {"ModAtten", 0, 40, true},
    };
    if (auto q = checkLimits(s, limits, "")) return q;
    // The waveform title as the instrument panel keeps it.
    return titleProblem(s.Title, "Title", false);
}

std::optional<FieldProblem> findInconsistentField(const Configuration& c) {
    if (auto q = firstNonFinite(c, "")) return q;
    if (c.type != "GPIB" && c.type != "RS232" && c.type != "TCPIP" && c.type != "SDR")
        return problem("type", "is \"" + c.type + "\"; it must be GPIB, RS232, TCPIP or SDR.");
    if (c.BBGtype != "001" && c.BBGtype != "002")
        return problem("BBGtype", "is \"" + c.BBGtype + "\"; it must be 001 or 002.");
    const Limit gpib[] = {{"board", 0, 15, true}, {"primary", 0, 30, true}, {"secondary", -1, 31, true}};
    const Limit rs232[] = {{"port", 1, 9, true}, {"baudrate", 1, 1e7, true}};
    const Limit tcpip[] = {{"board", 0, 0, true}};
    const Limit sdr[] = {{"gain", -kSdrGainLimit, kSdrGainLimit}};
    if (auto q = checkLimits(c.GPIB, gpib, "GPIB.")) return q;
    if (auto q = checkLimits(c.RS232, rs232, "RS232.")) return q;
    if (auto q = checkLimits(c.SDR, sdr, "SDR.")) return q;
    // Device arguments are one line of key=value pairs.
    if (c.SDR.args.find_first_of("\r\n") != std::string::npos)
        return problem("SDR.args", "holds a line break; device arguments are one line.");
    return checkLimits(c.TCPIP, tcpip, "TCPIP.");
}

}  // namespace bt
