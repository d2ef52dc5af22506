#include "bluetooth/settings_editor.h"

#include <algorithm>
#include <cmath>

#include "bluetooth/impairment_editor.h"
#include "bluetooth/packet_types.h"
#include "lib/errors.h"
#include "lib/numtext.h"

namespace bt {

namespace {

constexpr double kMaxBDaddr = 281474976710655.0;  // 2^48 - 1
constexpr std::string_view kNotANumber = "not a number";
constexpr std::string_view kStreamMode = "not available in stream mode";
constexpr std::string_view kImpairmentPrefix = "impairments.";

bool packetMode(const GenerationSettings& p) { return p.generationMode == 1; }
double maxPayload(const GenerationSettings& p) { return Bt_UserPayloadMaxSize(p.linkType, p.packetType); }
bool hasPayload(const GenerationSettings& p) { return maxPayload(p) > 0; }
bool multiPacketMode(const GenerationSettings& p) { return packetMode(p) && hasPayload(p) && p.multiPacket != 0; }

double snapToSamples(double value, double overSampling) {
    return roundHalfAway(value * overSampling) / overSampling;
}

// patternReps follows patternLength through the pattern period.
void couplePatternReps(GenerationSettings& p) {
    const double period = patternPeriod(p);
    p.patternReps = period > 0 ? p.patternLength / period : 0;
}

// What the main window's redraw writes back into the record after every
// callback: the acknowledge bit follows the packet setup, and the projected
// length is recomputed.
void settle(GenerationSettings& p) {
    if (packetMode(p) && hasPayload(p)) p.ARQN = p.multiPacket != 0 ? 1 : 0;
    p.ProjectedLength = Bt_SizeEst(p);
}

// Field names whose display is compared before and after an edit.
constexpr std::string_view kDisplayFields[] = {
    "generationMode", "linkType",      "packetType",  "multiPacket", "BDaddr",
    "AMaddr",         "SEQN",          "ARQN",        "dataWhiteningActive",
    "dataWhiteningInitValue",          "burstActive", "burstLength", "burstSettle",
    "payloadType",    "bitPattern",    "patternReps", "patternLength",
    "dataSourceBitstream",             "CGdelay",     "MirrorSpectrum", "OverSampling",
};

class Edit {
public:
    Edit(const Parameters& p, std::string_view field, const EditContext& ctx)
        : before_(p), field_(field), ctx_(ctx) {
        result_.parameters = p;
    }

    Parameters& p() { return result_.parameters; }
    const Parameters& before() const { return before_; }

    // Nothing applied: the control is rewritten with the stored value.
    EditResult ignore(std::string_view why) {
        result_.parameters = before_;
        result_.unreadable = why == kNotANumber;
        result_.ignored = std::string(why);
        result_.shown = {{std::string(field_), displayText(before_, field_)}};
        return std::move(result_);
    }

    // Runs the projected-size check on the tentative record; false (and the
    // record restored) on refusal.
    bool check(bool packetTypeEdit = false) {
        result_.check = checkProjectedSize(Bt_SizeEst(p()), ctx_.platform, ctx_.bbgType, packetTypeEdit);
        if (!result_.check.accepted()) result_.parameters = before_;
        return result_.check.accepted();
    }

    EditResult finish() {
        if (!result_.refused()) settle(result_.parameters);
        result_.shown.emplace_back(std::string(field_), displayText(p(), field_));
        for (std::string_view f : kDisplayFields) {
            if (f == field_) continue;
            const std::string now = displayText(p(), f);
            if (now != displayText(before_, f)) result_.shown.emplace_back(std::string(f), now);
        }
        if (!result_.refused()) result_.shown.emplace_back("ProjectedLength", projectedLengthText(p().ProjectedLength));
        return std::move(result_);
    }

    EditResult& result() { return result_; }

private:
    Parameters before_;
    std::string_view field_;
    const EditContext& ctx_;
    EditResult result_;
};

}  // namespace

std::string EditResult::shownText(std::string_view field) const {
    for (const auto& [f, t] : shown)
        if (f == field) return t;
    return {};
}

// ----------------------------------------------------------- list labels

std::vector<std::string> packetTypeLabels(double linkType) {
    if (linkType == kLinkSco)
        return {"-: ID",          "0: NULL",        "1: POLL",        "2: FHS",         "3: DM1",
                "4: Undefined",   "5: HV1",         "6: HV2",         "7: HV3",         "8: DV",
                "9: Undefined",   "A: Undefined",   "B: Undefined",   "C: Undefined",   "D: Undefined",
                "E: Undefined",   "F: Undefined"};
    if (linkType == kLinkEsco)
        return {"-: ID",          "0: NULL",        "1: POLL",        "2: FHS",         "3: DM1",
                "4: Undefined",   "5: Undefined",   "6: Undefined",   "7: EV3",         "8: Undefined",
                "9: Undefined",   "A: Undefined",   "B: Undefined",   "C: EV4",         "D: EV5",
                "E: Undefined",   "F: Undefined",
                "6: 2-EV3",       "C: 2-EV5",       "7: 3-EV3",       "D: 3-EV5"};
    return {"-: ID",        "0: NULL",      "1: POLL",      "2: FHS",         "3: DM1",
            "4: DH1",       "5: Undefined", "6: Undefined", "7: Undefined",   "8: Undefined",
            "9: AUX1",      "A: DM3",       "B: DH3",       "C: Undefined",   "D: Undefined",
            "E: DM5",       "F: DH5",
            "4: 2-DH1",     "A: 2-DH3",     "E: 2-DH5",     "8: 3-DH1",       "B: 3-DH3",
            "F: 3-DH5"};
}

std::vector<std::string> payloadLabels(bool multiPacketList) {
    std::vector<std::string> l = {"0s", "1s", "01s", "10s", "PN9", "PN15", "8 Bit Pattern", "User File ..."};
    if (multiPacketList) {
        l.emplace_back("Continuous PN9");
        l.emplace_back("Continuous PN15");
    }
    return l;
}

int payloadItem(const GenerationSettings& p) {
    if (multiPacketMode(p) && (p.payloadSetup == 1 || p.payloadSetup == 2))
        return p.payloadSetup == 1 ? 9 : 10;
    return static_cast<int>(p.payloadType);
}

std::string displayText(const GenerationSettings& p, std::string_view f) {
    if (f == "BDaddr") return formatHex(p.BDaddr, 12);
    if (f == "AMaddr") return formatHex(p.AMaddr);
    if (f == "bitPattern") return formatHex(p.bitPattern);
    if (f == "generationMode") return p.generationMode == 1 ? "Packet" : "Stream";
    if (f == "linkType") return std::string(linkTypeName(p.linkType));
    if (f == "packetType") {
        if (!packetMode(p)) return "N/A";
        const auto labels = packetTypeLabels(p.linkType);
        const double item = p.packetType + 2;
        return item >= 1 && item <= double(labels.size()) ? labels[static_cast<std::size_t>(item) - 1]
                                                           : formatNumber(p.packetType);
    }
    if (f == "multiPacket") return p.multiPacket != 0 ? "Multi Packet" : "Single Packet";
    if (f == "payloadType") {
        if (packetMode(p) && !hasPayload(p)) return "N/A";
        const auto labels = payloadLabels(true);
        const int item = payloadItem(p);
        return item >= 1 && item <= 10 ? labels[static_cast<std::size_t>(item) - 1] : formatNumber(p.payloadType);
    }
    if (f == "patternReps" || f == "patternLength") {
        if (packetMode(p) && !hasPayload(p)) return "";
        return formatNumber(f == "patternReps" ? p.patternReps : p.patternLength);
    }
    if (f == "dataSourceBitstream") return std::to_string(p.dataSourceBitstream.size()) + " bits";
    if (f == "ProjectedLength") return projectedLengthText(p.ProjectedLength);
    if (f.starts_with(kImpairmentPrefix)) return impairmentDisplayText(p.impairments, f.substr(kImpairmentPrefix.size()));
    static const std::pair<std::string_view, double GenerationSettings::*> numeric[] = {
        {"SEQN", &GenerationSettings::SEQN},
        {"ARQN", &GenerationSettings::ARQN},
        {"dataWhiteningActive", &GenerationSettings::dataWhiteningActive},
        {"dataWhiteningInitValue", &GenerationSettings::dataWhiteningInitValue},
        {"burstActive", &GenerationSettings::burstActive},
        {"burstLength", &GenerationSettings::burstLength},
        {"burstSettle", &GenerationSettings::burstSettle},
        {"CGdelay", &GenerationSettings::CGdelay},
        {"MirrorSpectrum", &GenerationSettings::MirrorSpectrum},
        {"OverSampling", &GenerationSettings::OverSampling},
        {"payloadSetup", &GenerationSettings::payloadSetup},
        {"ModIndex", &GenerationSettings::ModIndex},
        {"edrRelativePower", &GenerationSettings::edrRelativePower},
    };
    for (const auto& [name, member] : numeric)
        if (name == f) return formatNumber(p.*member);
    return {};
}

// ------------------------------------------------------------ text fields

EditResult editBDaddr(const Parameters& in, std::string_view text, const EditContext& ctx) {
    Edit e(in, "BDaddr", ctx);
    if (!packetMode(in)) return e.ignore(kStreamMode);
    const auto v = parseHex(text);
    if (!v) return e.ignore(kNotANumber);
    e.p().BDaddr = std::clamp(std::trunc(*v), 0.0, kMaxBDaddr);
    return e.finish();
}

EditResult editAMaddr(const Parameters& in, std::string_view text, const EditContext& ctx) {
    Edit e(in, "AMaddr", ctx);
    if (!packetMode(in)) return e.ignore(kStreamMode);
    const auto v = parseHex(text);
    if (!v) return e.ignore(kNotANumber);
    e.p().AMaddr = std::clamp(std::trunc(*v), 0.0, 7.0);
    return e.finish();
}

EditResult editBitPattern(const Parameters& in, std::string_view text, const EditContext& ctx) {
    Edit e(in, "bitPattern", ctx);
    if (payloadItem(in) != 7 || (packetMode(in) && !hasPayload(in)))
        return e.ignore("only used by the \"8 Bit Pattern\" payload");
    const auto v = parseHex(text);
    if (!v) return e.ignore(kNotANumber);
    e.p().bitPattern = std::clamp(std::trunc(*v), 0.0, 255.0);
    return e.finish();
}

EditResult editBurstLength(const Parameters& in, std::string_view text, const EditContext& ctx) {
    Edit e(in, "burstLength", ctx);
    if (!packetMode(in)) return e.ignore(kStreamMode);
    if (in.burstActive != 1) return e.ignore("bursts are off");
    const auto v = parseNumber(text);
    if (!v) return e.ignore(kNotANumber);
    double ramp = std::clamp(roundHalfAway(*v), 1.0, 10.0);
    ramp = snapToSamples(ramp, in.OverSampling);
    e.p().burstSettle = in.burstSettle + (ramp - in.burstLength);
    e.p().burstLength = ramp;
    return e.finish();
}

EditResult editBurstSettle(const Parameters& in, std::string_view text, const EditContext& ctx) {
    Edit e(in, "burstSettle", ctx);
    if (!packetMode(in)) return e.ignore(kStreamMode);
    if (in.burstActive != 1) return e.ignore("bursts are off");
    const auto v = parseNumber(text);
    if (!v) return e.ignore(kNotANumber);
    e.p().burstSettle = std::clamp(roundHalfAway(*v), in.burstLength, in.burstLength + 10);
    return e.finish();
}

EditResult editCGdelay(const Parameters& in, std::string_view text, const EditContext& ctx) {
    Edit e(in, "CGdelay", ctx);
    const auto v = parseNumber(text);
    if (!v) return e.ignore(kNotANumber);
    e.p().CGdelay = snapToSamples(std::clamp(*v, 0.0, 100.0), in.OverSampling);
    return e.finish();
}

bool edrRelativePowerApplies(const GenerationSettings& p) {
    const PacketTypeInfo* t = bt_PacketTypeInfo(p.linkType, p.packetType);
    return packetMode(p) && t && t->edr();
}

EditResult editEdrRelativePower(const Parameters& in, std::string_view text, const EditContext& ctx) {
    Edit e(in, "edrRelativePower", ctx);
    if (!edrRelativePowerApplies(in)) return e.ignore("only EDR packets have a DPSK section");
    const auto v = parseNumber(text);
    if (!v) return e.ignore(kNotANumber);
    e.p().edrRelativePower = std::clamp(*v, kEdrRelativePowerMin, kEdrRelativePowerMax);
    return e.finish();
}

EditResult editOverSampling(const Parameters& in, std::string_view text, const EditContext& ctx) {
    Edit e(in, "OverSampling", ctx);
    const auto v = parseNumber(text);
    if (!v) return e.ignore(kNotANumber);
    Parameters& p = e.p();
    p.OverSampling = std::clamp(roundHalfAway(*v), 2.0, 20.0);
    // The delay stays a whole number of samples on the new grid.
    p.CGdelay = snapToSamples(p.CGdelay, p.OverSampling);
    if (e.check()) e.result().samplingRate = instrumentSampleRate(p);
    return e.finish();
}

namespace {
bool patternRepsEnabled(const GenerationSettings& p) {
    if (!packetMode(p)) return true;
    return hasPayload(p) && p.multiPacket != 0 && p.payloadSetup == 0;
}
bool patternLengthEnabled(const GenerationSettings& p) {
    if (!packetMode(p)) return true;
    if (!hasPayload(p)) return false;
    return p.multiPacket == 0 || p.payloadSetup == 0 || p.payloadSetup == 4;
}
}  // namespace

EditResult editPatternReps(const Parameters& in, std::string_view text, const EditContext& ctx) {
    Edit e(in, "patternReps", ctx);
    if (!patternRepsEnabled(in)) return e.ignore("pattern repetitions are fixed by the payload setup");
    const auto v = parseNumber(text);
    if (!v) return e.ignore(kNotANumber);
    const double period = patternPeriod(in);
    if (period <= 0) return e.ignore("the payload pattern is empty");
    Parameters& p = e.p();
    p.patternReps = std::max(*v, 1.0);
    p.patternLength = roundHalfAway(p.patternReps * period);
    p.patternReps = p.patternLength / period;
    e.check();
    return e.finish();
}

EditResult editPatternLength(const Parameters& in, std::string_view text, const EditContext& ctx) {
    Edit e(in, "patternLength", ctx);
    if (!patternLengthEnabled(in)) return e.ignore("pattern length is fixed by the payload setup");
    const auto v = parseNumber(text);
    if (!v) return e.ignore(kNotANumber);
    Parameters& p = e.p();
    p.patternLength = std::max(*v, 1.0);
    couplePatternReps(p);
    e.check();
    return e.finish();
}

EditResult editSEQN(const Parameters& in, std::string_view text, const EditContext& ctx) {
    Edit e(in, "SEQN", ctx);
    const auto v = parseNumber(text);
    if (!v) return e.ignore(kNotANumber);
    e.p().SEQN = *v != 0 ? 1 : 0;
    return e.finish();
}

EditResult editWhiteningInitValue(const Parameters& in, std::string_view text, const EditContext& ctx) {
    Edit e(in, "dataWhiteningInitValue", ctx);
    const auto v = parseNumber(text);
    if (!v) return e.ignore(kNotANumber);
    e.p().dataWhiteningInitValue = std::clamp(roundHalfAway(*v), 0.0, 127.0);
    return e.finish();
}

// ------------------------------------------------------------------ lists

EditResult selectGenerationMode(const Parameters& in, int mode, const EditContext& ctx) {
    Edit e(in, "generationMode", ctx);
    if (mode != 1 && mode != 2) return e.ignore("generation mode is 1 (packet) or 2 (stream)");
    Parameters& p = e.p();
    if (mode == in.generationMode) return e.finish();
    p.generationMode = mode;
    p.payloadType = 5;
    if (mode == 1) {
        p.multiPacket = 0;
        p.ARQN = 0;
        p.patternLength = maxPayload(p);
        couplePatternReps(p);
    } else {
        p.patternReps = 8;
        p.patternLength = 8 * 511;
    }
    return e.finish();
}

EditResult selectLinkType(const Parameters& in, int item, const EditContext& ctx) {
    Edit e(in, "linkType", ctx);
    if (!packetMode(in)) return e.ignore(kStreamMode);
    if (item != kLinkSco && item != kLinkAcl && item != kLinkEsco)
        return e.ignore("link type is 1 (SCO), 2 (ACL) or 3 (eSCO)");
    if (item == in.linkType) return e.finish();
    Parameters& p = e.p();
    p.linkType = item;
    p.packetType = 0;
    p.multiPacket = 0;
    p.ARQN = 0;
    return e.finish();
}

EditResult selectPacketType(const Parameters& in, int item, const EditContext& ctx) {
    Edit e(in, "packetType", ctx);
    if (!packetMode(in)) return e.ignore(kStreamMode);
    const auto labels = packetTypeLabels(in.linkType);
    if (item < 1 || item > static_cast<int>(labels.size())) return e.ignore("no such packet type");
    const std::string& label = labels[static_cast<std::size_t>(item) - 1];
    if (label.ends_with("Unsupported") || label.ends_with("Undefined"))
        return e.ignore("\"" + label + "\" cannot be chosen");
    const double code = item - 2;
    if (code == in.packetType) return e.finish();
    Parameters& p = e.p();
    p.packetType = code;
    if (!e.check(true)) return e.finish();
    if (hasPayload(p) && p.multiPacket == 0) {
        p.patternLength = maxPayload(p);
        couplePatternReps(p);
    }
    if (code < 2) {
        p.multiPacket = 0;
        p.ARQN = 0;
    }
    return e.finish();
}

EditResult selectMultiPacket(const Parameters& in, int item, const EditContext& ctx) {
    Edit e(in, "multiPacket", ctx);
    if (!packetMode(in)) return e.ignore(kStreamMode);
    if (!hasPayload(in)) return e.ignore("the packet type carries no payload");
    if (item != 1 && item != 2) return e.ignore("item 1 is single packet, item 2 multi packet");
    const double value = item - 1;
    if (value == in.multiPacket) return e.finish();
    Parameters& p = e.p();
    p.multiPacket = value;
    if (value == 1) {
        p.ARQN = 1;
        p.payloadSetup = 1;
        p.payloadType = 5;
        p.patternReps = 8;
        p.patternLength = 8 * 511;
    } else {
        p.ARQN = 0;
        p.patternLength = maxPayload(p);
        couplePatternReps(p);
    }
    return e.finish();
}

EditResult selectPayload(const Parameters& in, int item, const EditContext& ctx, const Bits* userFileBits) {
    Edit e(in, "payloadType", ctx);
    if (packetMode(in) && !hasPayload(in)) return e.ignore("the packet type carries no payload");
    const bool multi = multiPacketMode(in);
    if (item < 1 || item > (multi ? 10 : 8)) return e.ignore("no such payload item");
    Parameters& p = e.p();
    if (item == 8) {
        if (!userFileBits || userFileBits->empty()) return e.ignore("no user file bits were read");
        const std::size_t n = std::min(userFileBits->size(), MAXNUMBITS);
        p.dataSourceBitstream.assign(userFileBits->begin(), userFileBits->begin() + static_cast<std::ptrdiff_t>(n));
    }
    if (item >= 9) {
        p.payloadType = item == 9 ? 5 : 6;
        p.payloadSetup = item == 9 ? 1 : 2;
        p.patternReps = 8;
        p.patternLength = 8 * patternPeriod(p);
    } else {
        p.payloadType = item;
        if (!packetMode(p)) {
            couplePatternReps(p);
        } else if (!multi) {
            p.patternLength = maxPayload(p);
            if (item == 8) p.patternLength = std::min(p.patternLength, static_cast<double>(p.dataSourceBitstream.size()));
            couplePatternReps(p);
        } else if (item == 8) {
            p.payloadSetup = 4;
            p.patternReps = 1;
            p.patternLength = static_cast<double>(p.dataSourceBitstream.size());
        } else {
            p.payloadSetup = 0;
            if (in.patternReps == std::trunc(in.patternReps)) p.patternLength = in.patternReps * patternPeriod(p);
            else couplePatternReps(p);
        }
    }
    e.check();
    return e.finish();
}

// ------------------------------------------------------------- check boxes

EditResult setDataWhitening(const Parameters& in, bool on, const EditContext& ctx) {
    Edit e(in, "dataWhiteningActive", ctx);
    e.p().dataWhiteningActive = on ? 1 : 0;
    return e.finish();
}

EditResult setBurstActive(const Parameters& in, bool on, const EditContext& ctx) {
    Edit e(in, "burstActive", ctx);
    if (!packetMode(in)) return e.ignore(kStreamMode);
    e.p().burstActive = on ? 1 : 0;
    e.check();
    return e.finish();
}

EditResult setMirrorSpectrum(const Parameters& in, bool on, const EditContext& ctx) {
    Edit e(in, "MirrorSpectrum", ctx);
    e.p().MirrorSpectrum = on ? 1 : 0;
    return e.finish();
}

// ------------------------------------------------------------ impairments

namespace {

// The impairment window's rules, and on "OK" the instrument sample rate
// follows the symbol timing error.
EditResult editImpairmentField(const Parameters& in, std::string_view field, std::string_view value,
                               const EditContext& ctx) {
    Edit e(in, field, ctx);
    const ImpairmentEdit r = editImpairment(in.impairments, field.substr(kImpairmentPrefix.size()), value);
    if (!r.ignored.empty()) return e.ignore(r.ignored);
    SigGenSettings sigGen;
    acceptImpairments(e.p(), sigGen, r.impairments);
    e.result().samplingRate = sigGen.SamplingRate;
    e.result().unreadable = r.unreadable;
    return e.finish();
}

}  // namespace

// --------------------------------------------------------------- by name

namespace {

using TextEdit = EditResult (*)(const Parameters&, std::string_view, const EditContext&);
using FlagEdit = EditResult (*)(const Parameters&, bool, const EditContext&);

struct TextField {
    std::string_view name;
    TextEdit edit;
};
constexpr TextField kTextFields[] = {
    {"BDaddr", editBDaddr},           {"AMaddr", editAMaddr},
    {"bitPattern", editBitPattern},   {"burstLength", editBurstLength},
    {"burstSettle", editBurstSettle}, {"CGdelay", editCGdelay},
    {"OverSampling", editOverSampling}, {"patternReps", editPatternReps},
    {"patternLength", editPatternLength}, {"SEQN", editSEQN},
    {"dataWhiteningInitValue", editWhiteningInitValue},
    {"edrRelativePower", editEdrRelativePower},
};

struct FlagField {
    std::string_view name;
    FlagEdit edit;
};
constexpr FlagField kFlagFields[] = {
    {"dataWhiteningActive", setDataWhitening},
    {"burstActive", setBurstActive},
    {"MirrorSpectrum", setMirrorSpectrum},
};

constexpr std::string_view kListFields[] = {"generationMode", "linkType", "packetType", "multiPacket", "payloadType"};

int wholeNumber(std::string_view field, std::string_view value) {
    const auto v = parseNumber(value);
    if (!v || *v != std::trunc(*v) || std::fabs(*v) > 1e6)
        throw Error("Value \"" + std::string(value) + "\" of " + std::string(field) + " is not a whole number.");
    return static_cast<int>(*v);
}

}  // namespace

const std::vector<std::string>& editableFields() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (auto f : kListFields) n.emplace_back(f);
        for (const auto& f : kTextFields) n.emplace_back(f.name);
        for (const auto& f : kFlagFields) n.emplace_back(f.name);
        for (const auto& f : editableImpairmentFields()) n.push_back(std::string(kImpairmentPrefix) + f);
        return n;
    }();
    return names;
}

EditResult editField(const Parameters& p, std::string_view field, std::string_view value,
                     const EditContext& ctx, const Bits* userFileBits) {
    for (const auto& f : kTextFields)
        if (f.name == field) return f.edit(p, value, ctx);
    for (const auto& f : kFlagFields)
        if (f.name == field) {
            const auto v = parseNumber(value);
            if (!v) throw Error("Value \"" + std::string(value) + "\" of " + std::string(field) + " is not a number.");
            return f.edit(p, *v != 0, ctx);
        }
    if (field == "generationMode") return selectGenerationMode(p, wholeNumber(field, value), ctx);
    if (field == "linkType") return selectLinkType(p, wholeNumber(field, value), ctx);
    if (field == "packetType") return selectPacketType(p, wholeNumber(field, value) + 2, ctx);
    if (field == "multiPacket") return selectMultiPacket(p, wholeNumber(field, value) + 1, ctx);
    if (field == "payloadType") return selectPayload(p, wholeNumber(field, value), ctx, userFileBits);
    if (field.starts_with(kImpairmentPrefix)) return editImpairmentField(p, field, value, ctx);
    throw Error("Unknown settings field \"" + std::string(field) + "\".");
}

}  // namespace bt
