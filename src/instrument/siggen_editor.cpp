#include "instrument/siggen_editor.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

#include "lib/errors.h"
#include "lib/numtext.h"

namespace bt {

namespace {

double clamp(double v, double lo, double hi) { return std::max(std::min(v, hi), lo); }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

// `text` x 10^exp10. A plain decimal is read with the exponent written onto
// it, so "2.4415" GHz is exactly 2441500000 Hz rather than the product of
// two rounded numbers; the channel of a frequency depends on that.
std::optional<double> readScaled(std::string_view text, int exp10) {
    const std::string_view t = trimmed(text);
    const auto plain = parseNumber(t);
    if (!plain) return std::nullopt;
    if (t.find_first_of("eE") != std::string_view::npos) return *plain * std::pow(10.0, exp10);
    return parseNumber(std::string(t) + "e" + std::to_string(exp10));
}

ScaledText scaled(double value, int unit) {
    return {formatNumber(value / std::pow(10.0, 3 * (unit - 1))), unit};
}

bool titleCharacter(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80) return false;  // no locale decides what a letter is
    if (std::isalnum(u)) return true;
    return std::string_view("_$&#+-[]").find(c) != std::string_view::npos;
}

SigGenEdit withShown(SigGenSettings s, ScaledText shown, bool unreadable = false) {
    return {std::move(s), std::move(shown), unreadable};
}

}  // namespace

SigGenModel sigGenModelOf(char platform) { return platform == 'b' ? SigGenModel::IxoB : SigGenModel::IxoC; }

// ------------------------------------------------------------------ panel

SigGenEdit editFrequency(const SigGenSettings& s, std::string_view text, int unit) {
    unit = std::clamp(unit, 1, 4);
    const auto v = readScaled(text, 3 * (unit - 1));
    SigGenSettings out = s;
    out.Frequency = clamp(v ? *v : kMaxFrequency, kMinFrequency, kMaxFrequency);
    return withShown(std::move(out), frequencyText(out.Frequency), !v);
}

ScaledText frequencyText(double hz) {
    const double a = std::fabs(hz);
    const int unit = a >= 1e9 ? 4 : a >= 1e6 ? 3 : a >= 1e3 ? 2 : 1;
    return scaled(hz, unit);
}

SigGenEdit editAmplitude(const SigGenSettings& s, std::string_view text) {
    const auto v = parseNumber(text);
    SigGenSettings out = s;
    if (v) out.Amplitude = clamp(roundHalfAway(*v), kMinAmplitude, kMaxAmplitude);
    return withShown(std::move(out), {amplitudeText(out.Amplitude), 1}, !v);
}

std::string amplitudeText(double dBm) { return formatNumber(dBm); }

std::string filterWaveformTitle(std::string_view title) {
    std::string out;
    for (char c : title) {
        if (!titleCharacter(c)) continue;
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (out.size() == kMaxTitleLength) break;
    }
    return out.empty() ? "BLANK" : out;
}

bool passesTitleFilter(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), titleCharacter);
}

SigGenEdit editTitle(const SigGenSettings& s, std::string_view text) {
    SigGenSettings out = s;
    out.Title = filterWaveformTitle(text);
    return withShown(std::move(out), {out.Title, 1});
}

// -------------------------------------------------------- advanced dialog

double maxSamplingRate(SigGenModel model) { return model == SigGenModel::IxoB ? 40e6 : 100e6; }

SigGenEdit editSamplingRate(const SigGenSettings& s, std::string_view text, int unit, SigGenModel model) {
    unit = std::clamp(unit, 1, 3);
    const auto v = readScaled(text, 3 * (unit - 1));
    const double hi = maxSamplingRate(model);
    SigGenSettings out = s;
    out.SamplingRate = clamp(v ? *v : hi, 1, hi);
    return withShown(std::move(out), samplingRateText(out.SamplingRate), !v);
}

ScaledText samplingRateText(double hz) {
    const double a = std::fabs(hz);
    return scaled(hz, a >= 1e6 ? 3 : a >= 1e3 ? 2 : 1);
}

SigGenEdit editScaling(const SigGenSettings& s, std::string_view text) {
    const auto v = parseNumber(text);
    SigGenSettings out = s;
    // Hundredths of a percent, read exactly as typed ("99.996" -> 10000).
    const auto hundredths = readScaled(text, 2);
    out.Scaling = clamp(v ? roundHalfAway(*hundredths) / 100 : 100, 1, 100);
    return withShown(std::move(out), {formatNumber(out.Scaling), 1}, !v);
}

SigGenEdit editModAtten(const SigGenSettings& s, std::string_view text) {
    const auto v = parseNumber(text);
    SigGenSettings out = s;
    out.ModAtten = clamp(v ? roundHalfAway(*v) : 40, 0, 40);
    return withShown(std::move(out), {formatNumber(out.ModAtten), 1}, !v);
}

SigGenSettings selectReconFilter(const SigGenSettings& s, int item) {
    SigGenSettings out = s;
    if (item >= 1 && item <= 4) out.ReconFilter = item;
    return out;
}

SigGenSettings selectBBfilter(const SigGenSettings& s, int item) {
    SigGenSettings out = s;
    if (item >= 1 && item <= 3) out.BBfilter = item;
    return out;
}

SigGenSettings setSigGenFlag(const SigGenSettings& s, std::string_view field, bool on) {
    SigGenSettings out = s;
    const double v = on ? 1 : 0;
    if (field == "RFblanking") out.RFblanking = v;
    else if (field == "ALC") out.ALC = v;
    else if (field == "ArbRefSource") out.ArbRefSource = v;
    else if (field == "MarkerPolarity") out.MarkerPolarity = v;
    else throw Error("Unknown signal generator setting \"" + std::string(field) + "\".");
    return out;
}

AdvancedControls advancedControlsOf(SigGenModel model) {
    if (model == SigGenModel::IxoB) return {true, false, false, false};
    return {false, true, true, true};
}

std::string samplingRateTooltip(SigGenModel model) {
    return std::string("Sets the baseband samping rate.\nValid Range: 1 Hz - ") +
           (model == SigGenModel::IxoB ? "40" : "100") +
           " MHz\n(Configures automatically to be consistent\nwith the selected Oversampling Ratio.)";
}

}  // namespace bt
