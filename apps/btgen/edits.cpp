#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>
#include <ostream>

#include "commands.h"
#include "dt_edits.h"
#include "lib/errors.h"
#include "lib/numtext.h"

namespace btgen {

std::string codeOrStop(const bt::Parameters& p, const std::string& field, const std::string& value) {
    try {
        return bt::codeOfValue(p, field, value);
    } catch (const bt::Error& e) {
        fail(kExitBadInput, e.what());
    }
}

namespace {

bool hexField(const std::string& field) { return field == "BDaddr" || field == "AMaddr" || field == "bitPattern"; }

std::optional<double> hexNumber(const std::string& text) {
    std::size_t used = 0;
    try {
        const double v = double(std::stoull(text, &used, 16));
        if (used == text.size()) return v;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

// "OverSampling 25 is stored as 20": a typed number the field does not hold
// as typed (clamped to its range, rounded, snapped to the sample grid).
// Lists and the drift rate's item numbers are choices, not numbers.
std::string storedOtherwise(const std::string& field, const std::string& value, const bt::EditResult& r) {
    if (field == "impairments.FreqDriftRate" || field == "impairments.FreqDriftType" ||
        !namedCodes(r.parameters, field).empty())
        return {};
    const auto shown = std::find_if(r.shown.begin(), r.shown.end(), [&](const auto& s) { return s.first == field; });
    if (shown == r.shown.end()) return {};
    const auto typed = hexField(field) ? hexNumber(value) : bt::parseNumber(value);
    const auto stored = hexField(field) ? hexNumber(shown->second) : bt::parseNumber(shown->second);
    if (!typed || !stored || *typed == *stored) return {};
    return field + " " + value + " is stored as " + shown->second + ", the nearest value the field holds";
}

void printIndented(std::ostream& out, const std::string& text, const char* indent) {
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find('\n', start);
        out << indent << text.substr(start, end == std::string::npos ? std::string::npos : end - start) << '\n';
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

}  // namespace

void PlatformOptions::add(CLI::App& cmd) {
    cmd.add_option("--platform", platform, "Instrument generation: c (IXO-C) or b (IXO-B)")
        ->check(CLI::IsMember({"b", "c"}))
        ->capture_default_str();
    cmd.add_option("--bbg", bbg, "Baseband generator option of an IXO-C: 001 or 002")
        ->check(CLI::IsMember({"001", "002"}))
        ->capture_default_str();
}

void applyEdits(bt::Parameters& p, const std::vector<std::string>& edits, const bt::EditContext& ctx,
                std::ostream& out, bool stopOnRefusal, bool keepGoing, const bt::Bits* userFileBits,
                bt::SigGenSettings* sigGen, bool strict) {
    for (const std::string& edit : edits) {
        if (isDtEdit(edit)) {
            bt::DirtyTxState s;
            bt::loadDtState(s, p);
            applyDtEdit(s, edit, out, keepGoing, ctx.platform);
            bt::saveDtState(s, p);
            continue;
        }
        const auto eq = edit.find('=');
        if (eq == std::string::npos || eq == 0)
            fail(kExitBadInput, "--set takes FIELD=VALUE, not \"" + edit + "\"");
        const std::string field = edit.substr(0, eq);
        if (isSigGenField(field))
            fail(kExitBadInput, field + " is an instrument setting: use --sg " + field + "=...");
        const std::string value = codeOrStop(p, field, edit.substr(eq + 1));
        bt::EditResult r;
        try {
            r = bt::editField(p, field, value, ctx, userFileBits);
        } catch (const bt::Error& e) {
            fail(kExitBadInput, e.what());
        }
        if (r.unreadable) fail(kExitBadInput, "Value \"" + value + "\" of " + field + " is not a number.");
        out << "set " << edit << '\n';
        if (!r.ignored.empty()) {
            out.flush();
            if (!keepGoing) fail(kExitBadInput, edit + " was ignored: " + r.ignored + " (--keep-going goes on without it)");
            out << "  ignored: " << r.ignored << '\n';
        }
        if (r.refused()) {
            out << "  refused: " << r.check.title << '\n';
            printIndented(out, r.check.message, "    ");
        } else if (r.check.result == bt::SizeCheck::Result::Warning) {
            // The window's box speaks of its own memory and time; here the
            // memory the waveform and its markers take is what matters.
            const double samples = r.parameters.ProjectedLength;
            const double bytes = samples * (sizeof(bt::Complex) + 2 * sizeof(bt::MarkerRow::value_type));
            out << "  note: " << bt::formatNumber(samples) << " samples take about "
                << bt::formatNumber(std::ceil(bytes / 1e6)) << " MB of memory for the waveform and its markers\n";
        }
        for (const auto& [name, text] : r.shown) {
            const std::string unit = fieldUnit(name);
            out << "  " << name << ": \"" << text << '"' << (unit.empty() ? "" : " " + unit) << '\n';
        }
        if (r.refused() && stopOnRefusal) {
            out.flush();
            fail(kExitBadInput, r.check.title + ": " + r.check.message);
        }
        if (!r.refused())
            if (const std::string note = storedOtherwise(field, value, r); !note.empty()) {
                out << "  note: " << note << '\n';
                if (strict) {
                    out.flush();
                    fail(kExitBadInput, note + " (--strict stops at every note)");
                }
            }
        if (sigGen && r.samplingRate && !r.refused()) sigGen->SamplingRate = *r.samplingRate;
        p = std::move(r.parameters);
    }
}

}  // namespace btgen
