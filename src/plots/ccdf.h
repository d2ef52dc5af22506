#pragma once
// The data behind the CCDF plot: how often the instantaneous power of a
// waveform reaches each level above its average, with the Gaussian-noise
// curve of the same kind as a reference.
#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "lib/types.h"

namespace bt::plots {

// The 1000-sample test signal drawn when there is no waveform.
ComplexRow ccdfTestSignal();

// What one pass over the waveform learns about its powers p = |x|^2.
struct CcdfPowerStats {
    std::size_t points = 0;
    bool realWave = true;     // no sample has an imaginary part
    double powerFloor = 0;    // 1e-300 when the smallest power is 0, else 0
    double sumT = 0;          // sum of p (with the floor), 1e-300 when 0
    double RMSdB = 0;         // 10 log10(sumT / points)
    double maxPower = 0;      // largest p (with the floor)
};
CcdfPowerStats ccdfPowerStats(std::span<const Complex> wave);

// 10 log10(p) - RMSdB: a sample's power relative to the average, in dB.
double ccdfRelativePower(double re, double im, const CcdfPowerStats& s);

// The 201 thresholds 0, stepX, ..., maxX for a largest relative power.
std::vector<double> ccdfThresholds(double maxRelPwr, double* maxX = nullptr, double* stepX = nullptr);

// counts[k] = number of samples whose relative power is at least X[k], in
// one pass: each sample falls into its threshold bin (a fast estimate of its
// level, settled by exact comparisons against the thresholds), and the
// counts are the bins' tail sums.
std::vector<std::size_t> ccdfCounts(std::span<const Complex> wave, const CcdfPowerStats& s,
                                    const std::vector<double>& X);

struct CcdfData {
    std::size_t points = 0;
    bool realWave = false;
    double maxX = 20;
    double stepX = 0.1;
    std::vector<double> X;   // thresholds (dB above average)
    std::vector<double> Y;   // percentage of samples at or above X
    std::vector<double> Y1;  // Gaussian-noise reference (percent)
    double yMin = 0.001;
    std::vector<double> xTicks;  // 0, 2, 4, ... up to maxX
    std::string title = "CCDF";
    std::string xLabel = "dB above Average";
    std::string yLabel = "Frequency of occurence (%)";
};

// The plot's data; an empty waveform gives the test signal's.
CcdfData ccdfData(std::span<const Complex> wave);

}  // namespace bt::plots
