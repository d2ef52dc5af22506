#include "plots/spectrum.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

#include "lib/memory.h"
#include "lib/parallel.h"
#include "plots/envelope.h"
#include "plots/fft.h"

namespace bt::plots {

namespace {

// 10 * ceil(x / 10) and 10 * floor(x / 10), the axis limits in whole
// decades of dB.
double ceil10(double x) { return 10 * std::ceil(x / 10); }
double floor10(double x) { return 10 * std::floor(x / 10); }

// Splits [0, n) into about `parts` chunks for the worker threads.
template <class F>
void forChunks(std::size_t n, F&& f) {
    constexpr std::size_t chunk = std::size_t{1} << 18;
    const std::size_t count = (n + chunk - 1) / chunk;
    parallelFor(count, [&](std::size_t c) { f(c * chunk, std::min(n, (c + 1) * chunk)); });
}

}  // namespace

std::size_t rotationStart(std::size_t n) {
    if (n == 0) return 0;
    return static_cast<std::size_t>(roundHalfAway(static_cast<double>(n) / 2)) - 1;
}

SpectrumData spectrumData(std::span<const Complex> wave, double sampleRate, bool levelsOnly) {
    if (!(sampleRate > 0)) sampleRate = 1;
    SpectrumData d;
    std::vector<double> tmp;  // only for the test shape
    if (wave.empty()) {
        d.points = 10;
        const double shape[] = {0.001, 0.01, 0.1, 0.5, 1, 1, 0.5, 0.1, 0.01, 0.001};
        for (double v : shape) tmp.push_back(v * v);
    }
    if (!wave.empty()) {
        const std::size_t N = wave.size();
        d.points = N;
        ComplexRow X;
        resizeLarge(X, N);
        fft(wave, X);
        // Powers, rotated, into the float row (or its levels); the FFT
        // buffer goes as soon as they are taken.
        const bool levels = levelsOnly && N > Envelope::kKeptValues;
        constexpr std::size_t run = Envelope::kFactor;
        static_assert((std::size_t{1} << 18) % run == 0, "a chunk holds whole runs");
        if (levels) {
            resizeLarge(d.levelLo, (N + run - 1) / run);
            resizeLarge(d.levelHi, (N + run - 1) / run);
        } else {
            resizeLarge(d.magSignal, N);
        }
        const std::size_t start = rotationStart(N);
        double maxP = 0, minP = INFINITY;
        std::vector<std::pair<double, double>> ext((N + (std::size_t{1} << 18) - 1) >> 18);
        forChunks(N, [&](std::size_t a, std::size_t b) {
            double lo = INFINITY, hi = 0;
            for (std::size_t k = a; k < b; ++k) {
                const std::size_t j = start + k < N ? start + k : start + k - N;
                const Complex& z = X[j];
                const double p = z.imag() * z.imag() + z.real() * z.real();
                lo = std::min(lo, p);
                hi = std::max(hi, p);
            }
            ext[a >> 18] = {lo, hi};
        });
        for (const auto& [lo, hi] : ext) {
            minP = std::min(minP, lo);
            maxP = std::max(maxP, hi);
        }
        double add = 0;
        if (minP == 0) add = maxP != 0 ? 1e-20 * maxP : 1e-20;
        const double ref = 10 * std::log10(maxP + add);
        std::vector<float> lows(ext.size());
        // A run's lowest and highest levels are those of its smallest and
        // largest power: the logarithm and the rounding to float keep order.
        if (levels) {
            forChunks(N, [&](std::size_t a, std::size_t b) {
                float lo = INFINITY;
                for (std::size_t e = a; e < b; e += run) {
                    double pLo = INFINITY, pHi = -INFINITY;
                    for (std::size_t k = e; k < std::min(b, e + run); ++k) {
                        const std::size_t j = start + k < N ? start + k : start + k - N;
                        const Complex& z = X[j];
                        const double p = z.imag() * z.imag() + z.real() * z.real() + add;
                        pLo = std::min(pLo, p);
                        pHi = std::max(pHi, p);
                    }
                    const auto vLo = static_cast<float>(10 * std::log10(pLo) - ref);
                    d.levelLo[e / run] = vLo;
                    d.levelHi[e / run] = static_cast<float>(10 * std::log10(pHi) - ref);
                    lo = std::min(lo, vLo);
                }
                lows[a >> 18] = lo;
            });
        } else {
            forChunks(N, [&](std::size_t a, std::size_t b) {
                float lo = INFINITY;
                for (std::size_t k = a; k < b; ++k) {
                    const std::size_t j = start + k < N ? start + k : start + k - N;
                    const Complex& z = X[j];
                    const double p = z.imag() * z.imag() + z.real() * z.real() + add;
                    const auto v = static_cast<float>(10 * std::log10(p) - ref);
                    d.magSignal[k] = v;
                    lo = std::min(lo, v);
                }
                lows[a >> 18] = lo;
            });
        }
        d.mMax = 0;  // the peak, after normalisation
        d.mMin = *std::min_element(lows.begin(), lows.end());
    } else {
        double maxT = *std::max_element(tmp.begin(), tmp.end());
        const double ref = 10 * std::log10(maxT);
        d.magSignal.resize(tmp.size());
        for (std::size_t k = 0; k < tmp.size(); ++k) d.magSignal[k] = static_cast<float>(10 * std::log10(tmp[k]) - ref);
        d.mMax = *std::max_element(d.magSignal.begin(), d.magSignal.end());
        d.mMin = *std::min_element(d.magSignal.begin(), d.magSignal.end());
    }
    d.mMax = ceil10(d.mMax);
    d.mMin = floor10(d.mMin);
    if (d.mMin < d.mMax - 100) d.mMin = d.mMax - 100;
    d.fUnits = frequencyUnits(sampleRate);
    d.fMax = sampleRate / (2 * d.fUnits.factor);
    d.fMin = -d.fMax;
    d.fStep = d.points > 1 ? 2 * d.fMax / static_cast<double>(d.points - 1) : 0;
    d.xLabel = "Frequency (" + d.fUnits.name + ")";
    return d;
}

double WaterfallData::columnFrequency(std::size_t c) const {
    if (columns == 0) return fMin;
    if (columns == n) return c + 1 == n ? fMax : fMin + static_cast<double>(c) * fStep;
    // A reduced column stands for a run of points; it is placed at the run's
    // middle.
    const double per = static_cast<double>(n) / static_cast<double>(columns);
    return fMin + (static_cast<double>(c) + 0.5) * per * fStep - 0.5 * fStep;
}

WaterfallData waterfallData(std::span<const Complex> wave, double sampleRate, double period,
                            std::size_t maxColumns) {
    if (!(sampleRate > 0)) sampleRate = 1;
    if (!(period > 0)) period = 10 / sampleRate;
    period = std::max(period, 10 / sampleRate);
    WaterfallData d;
    if (!wave.empty()) {
        const std::size_t N = wave.size();
        // period x rate is a whole number of samples more often than the
        // binary product shows (5e-6 x 10e6 = 50.000000000000007): the
        // last bits are not a sample more.
        // A slice is at least one sample and, for any rate (a recording may
        // say anything), never much longer than the waveform.
        const double len = std::ceil(period * sampleRate * (1 - 1e-12));
        const std::size_t most = std::max<std::size_t>(N, 10);
        d.n = len >= 1 ? (len < static_cast<double>(most) ? static_cast<std::size_t>(len) : most) : 1;
        d.m = (N + d.n - 1) / d.n;
    } else {
        d.n = 10;
        d.m = 5;
    }
    const std::size_t n = d.n, m = d.m;
    d.columns = (maxColumns > 0 && maxColumns < n) ? maxColumns : n;
    resizeLarge(d.magSignal, m * d.columns);
    const std::size_t start = rotationStart(n);
    // One slice at a time per thread: FFT into a scratch row, rotate,
    // reduce the powers, and only then take dB. The logarithm is monotonic,
    // so the largest power of a run gives the run's largest level, and the
    // smallest positive power the slice's lowest finite level: one
    // logarithm per column instead of one per frequency point.
    std::vector<float> rowMin(m, INFINITY), rowMax(m, -INFINITY);
    auto dB = [](double p) { return 10 * std::log10(p); };
    auto sliceRow = [&](std::size_t k, std::span<const Complex> slice, ComplexRow& X) {
        fft(slice, X);
        float* row = &d.magSignal[k * d.columns];
        double loP = INFINITY, hiP = 0;
        bool zero = false;
        for (std::size_t c = 0; c < d.columns; ++c) {
            const std::size_t a = c * n / d.columns, b = (c + 1) * n / d.columns;
            double v = -1;  // below every power: an empty run stays -inf
            for (std::size_t j = a; j < b; ++j) {
                const Complex& z = X[start + j < n ? start + j : start + j - n];
                const double p = z.imag() * z.imag() + z.real() * z.real();
                v = std::max(v, p);
                if (p > 0)
                    loP = std::min(loP, p);
                else
                    zero = true;
            }
            row[c] = v < 0 ? -INFINITY : static_cast<float>(dB(v));
            hiP = std::max(hiP, v);
        }
        // A zero power (a silent slice between bursts, an empty bin) is
        // -inf dB, the lowest value there is: the floor then comes from the
        // 100 dB depth below the top.
        if (hiP > 0) rowMax[k] = static_cast<float>(dB(hiP));
        rowMin[k] = zero ? -INFINITY : hiP > 0 ? static_cast<float>(dB(loP)) : rowMin[k];
    };
    if (!wave.empty()) {
        const std::size_t N = wave.size();
        // Each thread takes the next slice until none is left, with one
        // scratch row for all of its slices, freed at the end.
        std::atomic<std::size_t> next{0};
        parallelFor(std::min<std::size_t>(workerThreads(), m), [&](std::size_t) {
            ComplexRow X(n);
            for (std::size_t k; (k = next.fetch_add(1)) < m;) {
                const std::size_t a = k * n;
                if (a + n <= N) {
                    sliceRow(k, wave.subspan(a, n), X);
                } else {
                    // The last slice, padded with zeros.
                    ComplexRow padded(n, Complex{});
                    std::copy(wave.begin() + static_cast<std::ptrdiff_t>(a), wave.end(), padded.begin());
                    sliceRow(k, padded, X);
                }
            }
        });
    } else {
        // A small test pattern: ones with half-value entries on a diagonal,
        // given directly as slice "spectra".
        for (std::size_t k = 0; k < m; ++k) {
            float* row = &d.magSignal[k * d.columns];
            for (std::size_t j = 0; j < n; ++j) {
                const double v = (j == 2 * k || j == 2 * k + 1) ? 0.5 : 1.0;
                row[j] = static_cast<float>(10 * std::log10(v * v));
                rowMin[k] = std::min(rowMin[k], row[j]);
                rowMax[k] = std::max(rowMax[k], row[j]);
            }
        }
    }
    double mMax = -INFINITY, mMin = INFINITY;
    for (std::size_t k = 0; k < m; ++k) {
        mMax = std::max(mMax, static_cast<double>(rowMax[k]));
        mMin = std::min(mMin, static_cast<double>(rowMin[k]));
    }
    if (!std::isfinite(mMax)) {
        // Nothing but silence: an axis 100 dB deep below 0 dB.
        mMax = 0;
        mMin = -100;
    }
    d.mMax = ceil10(mMax);
    d.mMin = floor10(mMin);
    if (d.mMin < d.mMax - 100) d.mMin = d.mMax - 100;
    // Zero-power bins have no level in dB; they lie on the floor.
    const auto floorDb = static_cast<float>(d.mMin);
    for (float& v : d.magSignal)
        if (!(v >= floorDb) && !std::isfinite(v)) v = floorDb;
    d.fUnits = frequencyUnits(sampleRate);
    d.fMax = sampleRate / (2 * d.fUnits.factor);
    d.fMin = -d.fMax;
    d.fStep = n > 1 ? 2 * d.fMax / static_cast<double>(n - 1) : 0;
    d.tUnits = timeUnits(static_cast<double>(n * m) / sampleRate);
    d.t = static_cast<double>(n) * d.tUnits.factor / sampleRate;
    d.tMin = 0;
    d.tMax = static_cast<double>(m - 1) * d.t;
    d.xLabel = "Frequency (" + d.fUnits.name + ")";
    d.yLabel = "Time (" + d.tUnits.name + ")";
    return d;
}

}  // namespace bt::plots
