#pragma once
// The data behind the I(t)/Q(t), eye-diagram and constellation plots. They
// look at the caller's samples through a span: nothing here copies a
// waveform.
#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "lib/types.h"
#include "plots/plot_units.h"

namespace bt::plots {

struct IqTimeData {
    std::size_t points = 0;
    double iMax = 1, iMin = -1;  // one symmetric amplitude range for I and Q
    Unit tUnits;
    double tMin = 0, tMax = 0;
    double tStep = 0;            // t(k) = k tStep
    std::string label;           // the caller's, or "No Data"
    std::string title;           // "I(t) Q(t)" overlaid
    std::string yLabel = "Amplitude (V)";
    std::string xLabel;          // "Time (uS)"

    std::span<const Complex> samples() const { return testWave.empty() ? input : std::span<const Complex>(testWave); }
    double time(std::size_t k) const { return k + 1 == points ? tMax : static_cast<double>(k) * tStep; }

    std::span<const Complex> input;
    ComplexRow testWave;  // the 100-point cosine/sine pair drawn for no data
};

// The plot's data for `wave` (kept by reference: it must outlive the
// result). sampleRate <= 0 counts as 1. An all-zero waveform gets the
// amplitude range +-1.
IqTimeData iqTimeData(std::span<const Complex> wave, double sampleRate, const std::string& label);

// ------------------------------------------------------------------ eye

// The arguments as the eye window takes them: n at least 1, offset clamped
// to 0 .. n - 1, a zero period taken as 1.
struct EyeArgs {
    double n = 1;
    double period = 1;
    double offset = 0;
};
EyeArgs clampEyeArgs(double n, double period, double offset);

struct EyeData {
    std::size_t n = 0;        // samples per trace
    double period = 1;
    std::size_t offset = 0;
    bool complex = false;     // two components (in-phase and quadrature)
    std::size_t traces = 0;   // complete traces after the offset
    // Each trace is drawn over n + 1 points, its last point being the first
    // sample of the next trace, at times -period/2 + j period/n.
    double tMin = 0, tMax = 0;
    double yLimit = 0;        // amplitude limits +-yLimit
    std::vector<std::string> titles;  // one per component
    std::string xLabel = "Time";
    std::string yLabel = "Amplitude";
    // A period under a second (the frame passes seconds) is drawn in the
    // unit that makes it readable: times x timeFactor, in the unit that
    // xLabel names ("Time (µs)"). The times above stay in the period's unit.
    double timeFactor = 1;

    double time(std::size_t j) const { return -period / 2 + static_cast<double>(j) * period / static_cast<double>(n); }
    std::size_t pointsPerTrace() const { return n + 1; }
};

// The general eye-diagram routine's checks and layout; throws bt::Error with
// the routine's messages ("N must be an integer greater than 1." ...).
EyeData eyeDiagram(std::span<const Complex> x, double n, double period = 1, double offset = 0);

// A trace drawn as a density picture: counts[row * timeBins + col] is how
// many trace segments pass through each cell of a grid over [tMin, tMax] x
// [-yLimit, yLimit] (row 0 at the bottom). component 0 is in-phase, 1
// quadrature.
std::vector<std::uint32_t> eyeDensity(std::span<const Complex> x, const EyeData& e, int component,
                                      std::size_t timeBins, std::size_t ampBins);

// ------------------------------------------------------------- scatter

struct ScatterArgs {
    double n = 1;
    double offset = 0;
};
ScatterArgs clampScatterArgs(double n, double offset);

struct ScatterData {
    std::size_t n = 1;
    std::size_t offset = 0;
    std::size_t symbols = 0;  // points offset, offset + n, ... (0-based)
    double limit = 0;         // both axes +-limit
    std::string title = "Scatter plot";
    std::string xLabel = "In-Phase";
    std::string yLabel = "Quadrature";

    std::size_t symbolIndex(std::size_t k) const { return offset + k * n; }
};

// The general constellation routine's checks and layout; throws bt::Error
// with its messages.
ScatterData scatterPlot(std::span<const Complex> x, double n = 1, double offset = 0);

// Points drawn as a density picture: counts[row * side + col] of a square
// grid of side x side cells over [-limit, limit] in both axes (row 0 at the
// bottom, in-phase along the columns). The points are x[first],
// x[first + step], ...; each marks its nearest cell, or, when `joined`, the
// cells along the straight segment from the point before it (both ends
// included, so an inner point counts once for each segment it ends).
// Values beyond the limits lie on the edge cells.
std::vector<std::uint32_t> scatterDensity(std::span<const Complex> x, double limit, std::size_t side,
                                          std::size_t first, std::size_t step, bool joined);

// ------------------------------------------------------------ frequency

// What a GFSK receiver's discriminator sees: the instantaneous frequency of
// `x`, value k being the phase step from sample k to k + 1 times
// rate / 2 pi, in Hz. Where either sample is below `silence` times the
// largest amplitude (between bursts) there is no frequency: NaN. The last
// value is NaN. sampleRate <= 0 counts as 1.
std::vector<double> instantaneousFrequency(std::span<const Complex> x, double sampleRate, double silence = 0.05);

// The frequency against time, small enough to draw: every point when there
// are at most `maxPoints`, else the smallest and largest frequency of each
// run of samples (a run without any: a gap).
struct FrequencyTrace {
    std::vector<double> t;  // seconds
    std::vector<double> f;  // Hz, NaN for a gap
};
FrequencyTrace frequencyTrace(std::span<const double> frequency, double sampleRate, std::size_t maxPoints);

}  // namespace bt::plots
