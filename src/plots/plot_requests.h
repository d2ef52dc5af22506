#pragma once
// What the plot menu asks before the eye and scatter diagrams, and how the
// answers become the plots' arguments: the input dialogs' titles, prompts
// and defaults, and the rules that turn the typed texts into a trace
// length, a symbol delay in samples and the trace switch.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace bt::plots {

struct InputRequest {
    std::string title;
    std::vector<std::string> prompts;
    std::vector<std::string> defaults;
};
InputRequest eyeDiagramRequest();      // "Eye Diagram Configuration"
InputRequest scatterDiagramRequest();  // "Scatter Diagram Configuration"

struct EyeRequest {
    double n = 0;       // samples per trace: symbols x oversampling
    double period = 0;  // seconds
    double delay = 0;   // samples
};
// From the eye dialog's answers ("number of symbols", "symbol delay 0-1"):
// at least one symbol, at most as many as the waveform holds; the delay
// clamped to 0 .. 1 symbol and rounded to samples. Texts that are no
// number count as empty: nothing (no plot) when an answer is missing.
std::optional<EyeRequest> eyeRequest(const std::vector<std::string>& answers, std::size_t samples,
                                     double oversampling, double sampleRate);

struct ScatterRequest {
    double n = 0;      // samples per symbol
    double delay = 0;  // samples
    bool traceOn = true;
};
std::optional<ScatterRequest> scatterRequest(const std::vector<std::string>& answers, double oversampling);

// A command line refuses what the dialogs clamp: "" when `text` is a
// symbol delay of 0 to 1, else why not.
std::string symbolDelayProblem(const std::string& text);

// The waterfall's slice: a two-hundredth of the waveform's duration.
double waterfallSlice(std::size_t samples, double sampleRate);

}  // namespace bt::plots
