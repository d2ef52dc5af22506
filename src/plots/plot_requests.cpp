#include "plots/plot_requests.h"

#include <algorithm>
#include <cmath>

#include "lib/numtext.h"
#include "plots/plot_units.h"

namespace bt::plots {

namespace {

std::optional<double> number(const std::vector<std::string>& answers, std::size_t k) {
    if (k >= answers.size()) return std::nullopt;
    const auto v = parseNumber(answers[k]);
    if (!v || std::isnan(*v)) return std::nullopt;
    return v;
}

double delaySamples(double delay, double oversampling) {
    return roundHalfAway(std::min(std::max(delay, 0.0), 1.0) * oversampling);
}

}  // namespace

InputRequest eyeDiagramRequest() {
    return {"Eye Diagram Configuration", {"Enter number of symbols:", "Enter symbol delay (0-1):"}, {"1", "0"}};
}

InputRequest scatterDiagramRequest() {
    return {"Scatter Diagram Configuration", {"Trace On (0|1):", "Enter symbol delay (0-1):"}, {"1", "0"}};
}

std::optional<EyeRequest> eyeRequest(const std::vector<std::string>& answers, std::size_t samples,
                                     double oversampling, double sampleRate) {
    const auto symbols = number(answers, 0);
    const auto delay = number(answers, 1);
    if (!symbols || !delay) return std::nullopt;
    double numSym = roundHalfAway(std::max(*symbols, 1.0));
    // Whole symbols only: a trace of a fractional symbol count would not be
    // a whole number of samples.
    numSym = std::min(numSym, std::floor(static_cast<double>(samples) / oversampling));
    EyeRequest r;
    r.n = numSym * oversampling;
    r.period = r.n / sampleRate;
    r.delay = delaySamples(*delay, oversampling);
    return r;
}

std::optional<ScatterRequest> scatterRequest(const std::vector<std::string>& answers, double oversampling) {
    const auto trace = number(answers, 0);
    const auto delay = number(answers, 1);
    if (!trace || !delay) return std::nullopt;
    ScatterRequest r;
    r.n = oversampling;
    r.traceOn = std::min(roundHalfAway(std::max(*trace, 0.0)), 1.0) != 0;
    r.delay = delaySamples(*delay, oversampling);
    return r;
}

std::string symbolDelayProblem(const std::string& text) {
    const auto v = parseNumber(text);
    if (!v || !std::isfinite(*v)) return "\"" + text + "\" is not a number; the symbol delay is 0 to 1";
    if (*v < 0 || *v > 1)
        return "the symbol delay " + text + " is outside 0 to 1 (a fraction of a symbol)";
    return {};
}

double waterfallSlice(std::size_t samples, double sampleRate) {
    return static_cast<double>(samples) / sampleRate / 200;
}

}  // namespace bt::plots
