#pragma once
// The data behind the spectrum and waterfall plots: one FFT over the whole
// waveform (normalised to a 0 dB peak), or one FFT per time slice, rotated
// so that negative frequencies come first.
#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "lib/types.h"
#include "plots/plot_units.h"

namespace bt::plots {

// Where element k of a row of `n` FFT bins goes: the row starts with bin
// round(n/2) (1-based), i.e. [X(round(n/2) ... n), X(1 ... round(n/2 - 1))].
// Returns the 0-based bin shown first.
std::size_t rotationStart(std::size_t n);

struct SpectrumData {
    std::size_t points = 0;
    std::vector<float> magSignal;  // dB relative to the peak, rotated
    double mMin = -100, mMax = 0;  // y limits
    Unit fUnits;                   // of the sample rate
    double fMin = 0, fMax = 0;     // x limits
    double fStep = 0;              // f(k) = fMin + k fStep, k = 0 .. points - 1
    std::string title = "Spectrum";
    std::string xLabel;            // "Frequency (MHz)"
    std::string yLabel = "LogMag (dB)";

    double frequency(std::size_t k) const { return k + 1 == points ? fMax : fMin + static_cast<double>(k) * fStep; }

    // Instead of magSignal, when only the levels were asked for and the
    // waveform is long: the smallest and largest level of each run of 16
    // points, [16 k, 16 k + 16), all that drawing needs.
    std::vector<float> levelLo, levelHi;
};

// The plot's data. sampleRate <= 0 counts as 1; an empty waveform gives a
// 10-point test shape. `levelsOnly`: for a waveform longer than
// Envelope::kKeptValues, fill levelLo/levelHi and leave magSignal empty,
// which spares a row a quarter of the waveform's size and one logarithm
// per point.
SpectrumData spectrumData(std::span<const Complex> wave, double sampleRate, bool levelsOnly = false);

struct WaterfallData {
    std::size_t n = 0;  // samples per slice (= frequency points)
    std::size_t m = 0;  // slices
    // Row k (slice k) holds `columns` values over frequency: the full n
    // points, or each value the largest of a run of neighbouring points
    // when fewer columns were asked for.
    std::size_t columns = 0;
    std::vector<float> magSignal;  // m x columns, row-major, dB
    double mMin = -100, mMax = 0;  // z limits
    Unit fUnits;
    double fMin = 0, fMax = 0;
    double fStep = 0;              // between the n frequency points
    Unit tUnits;                   // of the padded duration n m / sampleRate
    double t = 0;                  // slice duration in tUnits
    double tMin = 0, tMax = 0;
    std::string title = "Spectrum";
    std::string xLabel, yLabel;
    std::string zLabel = "LogMag (dB)";

    float at(std::size_t row, std::size_t col) const { return magSignal[row * columns + col]; }
    // Frequency of column c.
    double columnFrequency(std::size_t c) const;
};

// The waterfall's data: slices of `period` seconds (at least 10 samples).
// `maxColumns` > 0 reduces each slice spectrum to at most that many
// columns, keeping every peak (for drawing); 0 keeps all n points.
// Bins of zero power (a silent slice) are drawn at the bottom limit.
WaterfallData waterfallData(std::span<const Complex> wave, double sampleRate, double period,
                            std::size_t maxColumns = 0);

}  // namespace bt::plots
