#include "bluetooth/impairment_editor.h"

#include <algorithm>
#include <cmath>

#include "lib/errors.h"
#include "lib/numtext.h"

namespace bt {

namespace {

using Member = double Impairments::*;

// A text field's rule: optional rounding to `decimals`, then the limits.
struct TextRule {
    std::string_view name;
    Member member;
    double lo;
    double hi;
    int decimals;  // -1: not rounded
};
constexpr TextRule kTextRules[] = {
    {"ModIndex", &Impairments::ModIndex, 0.25, 0.4, 3},
    {"AWGNratio", &Impairments::AWGNratio, 10, 40, -1},
    {"AWGNseed", &Impairments::AWGNseed, 1, 65535, -1},
    {"FreqDriftDeviation", &Impairments::FreqDriftDeviation, -100, 100, 0},
    {"FreqOffset", &Impairments::FreqOffset, -100, 100, 0},
    {"SymbolTimingError", &Impairments::SymbolTimingError, -50, 50, 0},
    {"GainImbalance", &Impairments::GainImbalance, -6, 6, 2},
    {"QuadratureSkew", &Impairments::QuadratureSkew, -30, 30, 2},
    {"CarrierLeakage", &Impairments::CarrierLeakage, -80, -10, 1},
    {"PhaseNoiseLevel", &Impairments::PhaseNoiseLevel, -140, -60, 1},
    // Up to a quarter of the lowest sample rate (OverSampling 2).
    {"PhaseNoiseOffset", &Impairments::PhaseNoiseOffset, 10, 400, 0},
};

struct FlagField {
    std::string_view name;
    Member member;
};
constexpr FlagField kFlags[] = {
    {"ModIndexActive", &Impairments::ModIndexActive},
    {"AWGNactive", &Impairments::AWGNactive},
    {"FreqDriftActive", &Impairments::FreqDriftActive},
    {"FreqOffsetActive", &Impairments::FreqOffsetActive},
    {"SymbolTimingErrorActive", &Impairments::SymbolTimingErrorActive},
    {"GainImbalanceActive", &Impairments::GainImbalanceActive},
    {"QuadratureSkewActive", &Impairments::QuadratureSkewActive},
    {"CarrierLeakageActive", &Impairments::CarrierLeakageActive},
    {"PhaseNoiseActive", &Impairments::PhaseNoiseActive},
};

constexpr double kDriftRates[] = {1600, 500, 300};

ImpairmentEdit shown(Impairments imp, std::string_view field) {
    ImpairmentEdit e;
    e.shown = impairmentDisplayText(imp, field);
    e.impairments = std::move(imp);
    return e;
}

ImpairmentEdit ignored(const Impairments& imp, std::string_view field, std::string why) {
    ImpairmentEdit e = shown(imp, field);
    e.ignored = std::move(why);
    return e;
}

int listItem(std::string_view field, std::string_view value) {
    const auto v = parseNumber(value);
    if (!v || *v != std::trunc(*v) || std::fabs(*v) > 1e6)
        throw Error("Value \"" + std::string(value) + "\" of impairments." + std::string(field) +
                    " is not a whole number.");
    return static_cast<int>(*v);
}

}  // namespace

Impairments initImpairments() {
    Impairments i;
    i.AWGNratio = 0;
    return i;
}

ImpairmentEdit editImpairmentText(const Impairments& imp, std::string_view field, std::string_view text) {
    for (const TextRule& r : kTextRules) {
        if (r.name != field) continue;
        Impairments out = imp;
        const auto parsed = parseNumber(text);
        // No number: the clamping below makes the upper limit of it.
        double v = parsed ? *parsed : r.hi;
        if (r.decimals >= 0) {
            const double scale = std::pow(10.0, r.decimals);
            v = roundHalfAway(v * scale) / scale;
        }
        out.*r.member = std::max(std::min(v, r.hi), r.lo);
        ImpairmentEdit e = shown(std::move(out), field);
        e.unreadable = !parsed;
        return e;
    }
    throw Error("Unknown impairment field \"" + std::string(field) + "\".");
}

ImpairmentEdit setImpairmentActive(const Impairments& imp, std::string_view field, bool on) {
    for (const FlagField& f : kFlags) {
        if (f.name != field) continue;
        Impairments out = imp;
        out.*f.member = on ? 1 : 0;
        return shown(std::move(out), field);
    }
    throw Error("Unknown impairment field \"" + std::string(field) + "\".");
}

ImpairmentEdit selectDriftType(const Impairments& imp, int item) {
    if (item != 1 && item != 2) return ignored(imp, "FreqDriftType", "drift type is 1 (linear) or 2 (sinusoidal)");
    Impairments out = imp;
    out.FreqDriftType = item;
    return shown(std::move(out), "FreqDriftType");
}

double driftRateOfItem(int item) { return item >= 1 && item <= 3 ? kDriftRates[item - 1] : kDriftRates[0]; }

int driftRateItem(double rate) {
    for (int k = 0; k < 3; ++k)
        if (rate == kDriftRates[k]) return k + 1;
    return 1;
}

ImpairmentEdit selectDriftRate(const Impairments& imp, int item) {
    Impairments out = imp;
    out.FreqDriftRate = driftRateOfItem(item);
    return shown(std::move(out), "FreqDriftRate");
}

ImpairmentEdit editImpairment(const Impairments& imp, std::string_view field, std::string_view value) {
    for (const FlagField& f : kFlags)
        if (f.name == field) {
            const auto v = parseNumber(value);
            if (!v)
                throw Error("Value \"" + std::string(value) + "\" of impairments." + std::string(field) +
                            " is not a number.");
            return setImpairmentActive(imp, field, *v != 0);
        }
    if (field == "FreqDriftType") return selectDriftType(imp, listItem(field, value));
    if (field == "FreqDriftRate") {
        // The rate itself or its list item: the two never coincide.
        const int v = listItem(field, value);
        return selectDriftRate(imp, v >= 300 ? driftRateItem(v) : v);
    }
    return editImpairmentText(imp, field, value);
}

const std::vector<std::string>& editableImpairmentFields() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const FlagField& f : kFlags) n.emplace_back(f.name);
        for (const TextRule& r : kTextRules) n.emplace_back(r.name);
        n.emplace_back("FreqDriftType");
        n.emplace_back("FreqDriftRate");
        return n;
    }();
    return names;
}

std::string impairmentDisplayText(const Impairments& imp, std::string_view field) {
    for (const FlagField& f : kFlags)
        if (f.name == field) return formatNumber(imp.*f.member);
    for (const TextRule& r : kTextRules)
        if (r.name == field) return formatNumber(imp.*r.member);
    if (field == "FreqDriftType") return imp.FreqDriftType == 2 ? "Sinusoidal" : "Linear";
    if (field == "FreqDriftRate") return formatNumber(driftRateOfItem(driftRateItem(imp.FreqDriftRate))) + " Hz";
    if (field == "InitialDriftPhase") return formatNumber(imp.InitialDriftPhase);
    return {};
}

ImpairmentEnables impairmentEnables(const Impairments& imp) {
    ImpairmentEnables e;
    e.ModIndex = imp.ModIndexActive != 0;
    e.AWGNratio = e.AWGNseed = imp.AWGNactive != 0;
    e.FreqDriftType = e.FreqDriftDeviation = imp.FreqDriftActive != 0;
    e.FreqDriftRate = imp.FreqDriftActive != 0 && imp.FreqDriftType == 2;
    e.FreqOffset = imp.FreqOffsetActive != 0;
    e.SymbolTimingError = imp.SymbolTimingErrorActive != 0;
    e.GainImbalance = imp.GainImbalanceActive != 0;
    e.QuadratureSkew = imp.QuadratureSkewActive != 0;
    e.CarrierLeakage = imp.CarrierLeakageActive != 0;
    e.PhaseNoiseLevel = e.PhaseNoiseOffset = imp.PhaseNoiseActive != 0;
    return e;
}

void acceptImpairments(Parameters& p, SigGenSettings& sigGen, const Impairments& edited) {
    p.impairments = edited;
    sigGen.SamplingRate = instrumentSampleRate(p);
}

}  // namespace bt
