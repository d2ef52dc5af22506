#include "instrument/delay_calibration.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "instrument/hw_wrappers.h"
#include "lib/numtext.h"

namespace bt {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMaxDelay = 100;  // microseconds

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::string upper(std::string s) {
    for (char& ch : s) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

// A whole number of sample periods: k / rate keeps 0.4 exactly 0.4, where
// k * (1 / rate) could land one unit in the last place away from it.
double onGrid(double x, double rate) { return roundHalfAway(x * rate) / rate; }

std::string shownNumber(double x) { return formatNumber(x); }

DelayEdit refused(const DelayFinderConfig& c, double stored, const std::string& message) {
    return {c, message, shownNumber(stored)};
}

// Start and End share their rule and differ only in the message.
DelayEdit editDelayBound(const DelayFinderConfig& c, const std::string& text, double DelayFinderConfig::*field,
                         const char* message) {
    const auto v = parseNumber(text);
    if (!v || !std::isfinite(*v)) return refused(c, c.*field, "The input should be a number");
    if (*v < 0 || *v > kMaxDelay) return refused(c, c.*field, message);
    DelayFinderConfig out = c;
    double stored = *v;
    if (c.OversamplingRate > 0) {
        stored = onGrid(*v, c.OversamplingRate);
        while (stored > kMaxDelay) stored = (roundHalfAway(stored * c.OversamplingRate) - 1) / c.OversamplingRate;
    }
    out.*field = stored;
    return {out, "", shownNumber(stored)};
}

DelayEdit editWhole(const DelayFinderConfig& c, const std::string& text, double DelayFinderConfig::*field, double lo,
                    double hi, const char* message) {
    const auto v = parseNumber(text);
    if (!v || std::isnan(*v)) return refused(c, c.*field, "The input should be a number");
    if (*v < lo || *v > hi) return refused(c, c.*field, message);
    DelayFinderConfig out = c;
    out.*field = std::clamp(roundHalfAway(*v), lo, hi);
    return {out, "", shownNumber(out.*field)};
}

// The value of a status text as a register: its integer part, 0 when the
// text is no number.
long statusBits(const std::string& text) {
    const auto v = parseNumber(text);
    if (!v || !std::isfinite(*v)) return 0;
    return long(*v);
}

// SCPI answers "not a number" with 9.91e37.
double berPercent(const std::string& text) {
    const auto v = parseNumber(text);
    if (!v || !std::isfinite(*v) || std::fabs(*v) >= 9.9e37 || *v < 0) return kNaN;
    return 100 * *v;
}

bool sameState(const std::string& wanted, const std::string& reported) {
    const auto a = parseNumber(wanted);
    const auto b = parseNumber(reported);
    if (a && b) return *a == *b;
    return upper(wanted) == upper(trim(reported));
}

std::string header(const std::string& command) { return command.substr(0, command.find(' ')); }
std::string lastWord(const std::string& command) {
    const std::string t = trim(command);
    const auto p = t.find_last_of(' ');
    return p == std::string::npos ? t : t.substr(p + 1);
}

}  // namespace

DelayFinderConfig openDelayFinder(DelayFinderConfig c) {
    for (auto& row : c.BER)
        for (double& b : row)
            if (b == -1) b = kNaN;
    if (c.MinBERDelay == -1) c.MinBERDelay = kNaN;
    if (c.OversamplingRate > 0) {
        const double rate = c.OversamplingRate;
        const double minStep = 1 / rate;
        c.DelayStep = c.DelayStep <= 0 ? minStep : onGrid(c.DelayStep, rate);
        if (c.DelayStep <= 0) c.DelayStep = minStep;
        c.Start = onGrid(c.Start, rate);
        c.End = onGrid(c.End, rate);
        if (c.End < c.Start) c.End = c.Start;
        rebuildSweep(c);
    }
    return c;
}

DelayFinderConfig storedDelayFinder(DelayFinderConfig c) {
    for (auto& row : c.BER)
        for (double& b : row)
            if (std::isnan(b)) b = -1;
    if (std::isnan(c.MinBERDelay)) c.MinBERDelay = -1;
    return c;
}

DelayEdit editStart(const DelayFinderConfig& c, const std::string& text) {
    return editDelayBound(c, text, &DelayFinderConfig::Start, "Start Clock/Gate delay should between 0 and 100 us");
}

DelayEdit editEnd(const DelayFinderConfig& c, const std::string& text) {
    return editDelayBound(c, text, &DelayFinderConfig::End, "End Clock/Gate delay should be between 0 and 100 us");
}

DelayEdit editDelayStep(const DelayFinderConfig& c, const std::string& text) {
    const auto v = parseNumber(text);
    if (!v || std::isnan(*v)) return refused(c, c.DelayStep, "The input should be a number");
    DelayFinderConfig out = c;
    double step = std::min(*v, kMaxDelay);
    if (c.OversamplingRate > 0) {
        const double minStep = 1 / c.OversamplingRate;
        step = step < minStep ? minStep : onGrid(step, c.OversamplingRate);
    }
    out.DelayStep = step;
    return {out, "", shownNumber(step)};
}

DelayEdit editRepeat(const DelayFinderConfig& c, const std::string& text) {
    return editWhole(c, text, &DelayFinderConfig::Repeat, 1, 99,
                     "Repeat should be an integer number between 1 and 99");
}

DelayEdit editTotalBits(const DelayFinderConfig& c, const std::string& text) {
    return editWhole(c, text, &DelayFinderConfig::TotalBits, 100, 4294967295.0,
                     "Total Bits should be between 100 and 4294967295");
}

std::vector<std::string> bertPresetCommands(const DelayFinderConfig& c) {
    std::vector<std::string> p = {
        ":SOURCE:RADIO:ARB:WAVEFORM \"arbi:" + c.FileName + "\"",
        ":SOURCE:RADIO:ARB 1",
        ":OUTPut 1",
        ":SENSe:BERT:STATe 1",
        ":SENSe:BERT:TRIGger:COUNt 1",
        ":SENSe:BERT:TRIGger BUS",
        ":SENSe:BERT:RSYNc 0",
        ":SENSe:BERT:PRBS:MDRate BPS_2M",
        ":SENSe:BERT:TRIGger:BDELay:STATe 0",
        ":SENSe:BERT:TBITs " + formatNumber(c.TotalBits),
    };
    const auto pol = [](double v) { return v == 1 ? std::string("Neg") : std::string("Pos"); };
    if (c.GateOnOff == 1) {
        p.push_back(":INPut:BERT:CGATe 1");
        p.push_back(":INPut:BERT:CGATe:POLarity " + pol(c.GatePolarity));
    } else {
        p.push_back(":INPut:BERT:CGATe 0");
    }
    p.push_back(":INPut:BERT:CLOCk:POLarity " + pol(c.ClockPolarity));
    p.push_back(":INPut:BERT:DATA:POLarity " + pol(c.DataPolarity));
    p.push_back(c.Impedance == 1 ? ":INPut:BERT:IMPedance OHM_75" : ":INPut:BERT:IMPedance TTL");
    if (c.PatternIgnore == 1 || c.PatternIgnore == 2) {
        p.push_back(":SENSe:BERT:PRBS:FUNCtion:SPIGnore 1");
        p.push_back(std::string(":SENSe:BERT:PRBS:FUNCtion:SPIGnore:DATA ") + (c.PatternIgnore == 1 ? "ALL_0" : "ALL_1"));
    } else {
        p.push_back(":SENSe:BERT:PRBS:FUNCtion:SPIGnore 0");
    }
    p.push_back(c.BERTData == 2 ? ":SENSe:BERT:PRBS PN15" : ":SENSe:BERT:PRBS PN9");
    return p;
}

HwResult setStates(const Configuration& config, const std::vector<std::string>& commands,
                   std::vector<std::string>* oldStates) {
    std::vector<std::string> states;
    for (const std::string& cmd : commands) {
        HwResult r = HwQuery(config, header(cmd) + "?");
        if (!r.ok()) {
            if (oldStates) *oldStates = states;
            return r;
        }
        states.push_back(trim(r.response));
    }
    if (oldStates) *oldStates = states;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (sameState(lastWord(commands[i]), states[i])) continue;
        HwResult r = HwSend(config, commands[i]);
        if (!r.ok()) return r;
    }
    return {};
}

std::vector<std::string> restoreCommands(const std::vector<std::string>& presets,
                                         const std::vector<std::string>& oldStates) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < presets.size() && i < oldStates.size(); ++i)
        out.push_back(header(presets[i]) + " " + oldStates[i]);
    return out;
}

DelayStats delayStatistics(const DelayFinderConfig& c) {
    DelayStats s;
    const std::size_t n = c.Delay.size();
    s.average.assign(n, kNaN);
    s.maximum.assign(n, kNaN);
    s.minimum.assign(n, kNaN);
    for (std::size_t i = 0; i < n; ++i) {
        double sum = 0, count = 0, hi = -1, lo = std::numeric_limits<double>::infinity();
        for (const auto& row : c.BER) {
            if (i >= row.size() || !(row[i] >= 0)) continue;
            sum += row[i];
            ++count;
            hi = std::max(hi, row[i]);
            lo = std::min(lo, row[i]);
        }
        if (count == 0) continue;
        s.average[i] = sum / count;
        s.maximum[i] = hi;
        s.minimum[i] = lo;
    }
    return s;
}

std::optional<std::size_t> bestDelayIndex(const DelayStats& s) {
    std::optional<std::size_t> best;
    for (std::size_t i = 0; i < s.average.size(); ++i)
        if (!std::isnan(s.average[i]) && (!best || s.average[i] < s.average[*best])) best = i + 1;
    return best;
}

HwResult rotateMarkers(const Configuration& config, const std::string& fileName, long long samples) {
    return HwSend(config, "RADio:ARB:MARKer:ROTate \"" + fileName + "\"," + std::to_string(samples));
}

void runDelaySweep(const Configuration& config, DelayFinderConfig& c, const SweepHooks& hooks) {
    const double startDelay = c.CurrentCGDelay;
    const std::size_t reps = c.Repeat >= 1 ? std::size_t(c.Repeat) : 1;
    if (c.BER.size() != reps) c.BER.assign(reps, std::vector<double>(c.Delay.size(), kNaN));
    bool rotateBack = true;  // a failed rotation or status query leaves the markers alone
    bool completed = false;

    // Asks the three registers; false when a query failed (reported).
    const auto poll = [&](std::string (&texts)[3]) {
        static const char* const queries[3] = {"STAT:OPER:COND?", ":STATus:QUEStionable:BERT:CONDition?",
                                               ":DATA? TBER"};
        for (int k = 0; k < 3; ++k) {
            const HwResult r = HwQuery(config, queries[k]);
            if (!r.ok()) {
                hooks.report(kIoErrorTitle, r.response);
                return false;
            }
            texts[k] = trim(r.response);
        }
        return true;
    };

    [&] {
        for (std::size_t i = 0; i < c.Delay.size(); ++i) {
            const long long rotation = (long long)roundHalfAway((c.Delay[i] - c.CurrentCGDelay) * c.OversamplingRate);
            const HwResult rot = rotateMarkers(config, c.FileName, rotation);
            if (!rot.ok()) {
                hooks.report(kIoErrorTitle, rot.response);
                rotateBack = false;
                return;
            }
            c.CurrentCGDelay = c.Delay[i];
            for (std::size_t r = 0; r < reps; ++r) {
                if (hooks.progress) hooks.progress(c, i);
                if (!hooks.pause(hooks.triggerPause)) return;
                const HwResult trg = HwSend(config, "*Trg");
                if (!trg.ok()) hooks.report(kIoErrorTitle, trg.response);
                std::string texts[3] = {"16", "7", "0"};
                int tries = 3;
                while ((statusBits(texts[1]) & 7) != 0 && tries != 0) {
                    if (!hooks.pause(hooks.pollPause)) return;
                    --tries;
                    if (!poll(texts)) {
                        rotateBack = false;
                        return;
                    }
                }
                if ((statusBits(texts[1]) & 7) != 0) {
                    c.BER[r][i] = kNaN;
                } else {
                    while ((statusBits(texts[0]) & 16) != 0) {
                        if (!hooks.pause(hooks.pollPause)) return;
                        if (!poll(texts)) {
                            rotateBack = false;
                            return;
                        }
                    }
                    c.BER[r][i] = berPercent(texts[2]);
                }
                if (hooks.progress) hooks.progress(c, i);
            }
        }
        completed = true;
    }();

    if (completed) {
        if (const auto best = bestDelayIndex(delayStatistics(c))) {
            c.MinBERDelay = c.Delay[*best - 1];
            c.CurSelDelayIdx = double(*best);
        }
    }
    if (rotateBack) {
        const long long back = (long long)roundHalfAway((startDelay - c.CurrentCGDelay) * c.OversamplingRate);
        const HwResult r = rotateMarkers(config, c.FileName, back);
        if (r.ok())
            c.CurrentCGDelay = startDelay;
        else
            hooks.report(kIoErrorTitle, r.response);
    }
}

bool runDelayMeasurement(const Configuration& config, DelayFinderConfig& c, const SweepHooks& hooks) {
    c.MinBERDelay = kNaN;
    if (c.DelayStep == 0) c.DelayStep = 0.1;
    if (c.End < c.Start) {
        hooks.report(kInvalidInputTitle,
                     "End Delay should be greater than or equal to Start Delay. Meaurement can not be started");
        return false;
    }
    rebuildSweep(c);
    if (hooks.progress) hooks.progress(c, 0);
    const std::vector<std::string> presets = bertPresetCommands(c);
    std::vector<std::string> oldStates;
    const HwResult set = setStates(config, presets, &oldStates);
    if (!set.ok()) {
        hooks.report(kIoErrorTitle, set.response);
        return false;
    }
    try {
        runDelaySweep(config, c, hooks);
    } catch (const std::exception& e) {
        hooks.report(kErrorTitle, e.what());
    }
    const HwResult restored = setStates(config, restoreCommands(presets, oldStates));
    if (!restored.ok()) hooks.report(kIoErrorTitle, restored.response);
    return true;
}

std::string berText(double percent) {
    if (std::isnan(percent)) return "N/A";
    return formatFixed(percent, 4) + "%";
}

}  // namespace bt
