#include "support/demod.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include <fftw3.h>

namespace bt::testing {

namespace {

constexpr double kPi = std::numbers::pi;

// Cyclic linear interpolation of the row at real position x.
double valueAt(const RealRow& freq, double x) {
    const auto n = static_cast<double>(freq.size());
    x = std::fmod(x, n);
    if (x < 0) x += n;
    const auto i0 = static_cast<std::size_t>(x) % freq.size();
    const std::size_t i1 = (i0 + 1) % freq.size();
    const double frac = x - std::floor(x);
    return freq[i0] + frac * (freq[i1] - freq[i0]);
}

double eyeOpening(const RealRow& freq, double first, std::size_t n, std::size_t symbols) {
    double sum = 0;
    for (std::size_t k = 0; k < symbols; ++k) sum += std::fabs(valueAt(freq, first + double(k * n)));
    return sum / double(symbols);
}

bool matches(const Bits& bits, std::size_t at, const char* pattern) {
    for (std::size_t k = 0; k < 8; ++k)
        if (bits[at + k] != pattern[k] - '0') return false;
    return true;
}

// Least-squares fit of y = m + a sin(wt) + b cos(wt) for a fixed w; returns
// the residual sum of squares.
double fitAt(const RealRow& y, double dt, double f, double& m, double& a, double& b) {
    double A[3][4] = {};
    for (std::size_t k = 0; k < y.size(); ++k) {
        const double t = double(k) * dt;
        const double basis[3] = {1.0, std::sin(2 * kPi * f * t), std::cos(2 * kPi * f * t)};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) A[i][j] += basis[i] * basis[j];
            A[i][3] += basis[i] * y[k];
        }
    }
    for (int c = 0; c < 3; ++c) {  // Gauss-Jordan on the normal equations
        int pivot = c;
        for (int r = c + 1; r < 3; ++r)
            if (std::fabs(A[r][c]) > std::fabs(A[pivot][c])) pivot = r;
        std::swap(A[c], A[pivot]);
        for (int r = 0; r < 3; ++r) {
            if (r == c) continue;
            const double factor = A[r][c] / A[c][c];
            for (int j = c; j < 4; ++j) A[r][j] -= factor * A[c][j];
        }
    }
    m = A[0][3] / A[0][0];
    a = A[1][3] / A[1][1];
    b = A[2][3] / A[2][2];
    double residual = 0;
    for (std::size_t k = 0; k < y.size(); ++k) {
        const double t = double(k) * dt;
        const double e = y[k] - (m + a * std::sin(2 * kPi * f * t) + b * std::cos(2 * kPi * f * t));
        residual += e * e;
    }
    return residual;
}

}  // namespace

ComplexRow interpolate(std::span<const Complex> w, std::size_t factor) {
    const std::size_t n = w.size();
    const std::size_t m = n * factor;
    if (factor <= 1 || n == 0) return ComplexRow(w.begin(), w.end());
    ComplexRow spectrum(w.begin(), w.end());
    ComplexRow wide(m, Complex(0, 0));
    auto* in = reinterpret_cast<fftw_complex*>(spectrum.data());
    auto* out = reinterpret_cast<fftw_complex*>(wide.data());
    fftw_plan forward = fftw_plan_dft_1d(int(n), in, in, FFTW_FORWARD, FFTW_ESTIMATE);
    fftw_execute(forward);
    fftw_destroy_plan(forward);
    // Positive frequencies to the front, negative ones to the back; an even
    // row's Nyquist bin is split between both.
    const std::size_t half = n / 2;
    for (std::size_t k = 0; k < n; ++k) {
        const Complex v = spectrum[k] / double(n);
        if (n % 2 == 0 && k == half) {
            wide[half] += v / 2.0;
            wide[m - half] += v / 2.0;
        } else if (k < (n + 1) / 2) {
            wide[k] = v;
        } else {
            wide[m - (n - k)] = v;
        }
    }
    fftw_plan backward = fftw_plan_dft_1d(int(m), out, out, FFTW_BACKWARD, FFTW_ESTIMATE);
    fftw_execute(backward);
    fftw_destroy_plan(backward);
    return wide;
}

RealRow instantaneousFrequency(std::span<const Complex> w, double sampleRate) {
    RealRow f(w.size());
    for (std::size_t k = 0; k < w.size(); ++k)
        f[k] = std::arg(w[(k + 1) % w.size()] * std::conj(w[k])) * sampleRate / (2 * kPi);
    return f;
}

SymbolClock findSymbolClock(const RealRow& freq, std::size_t samplesPerSymbol, std::size_t from,
                            std::size_t symbols) {
    const std::size_t n = samplesPerSymbol;
    std::vector<double> score(n);
    for (std::size_t o = 0; o < n; ++o) score[o] = eyeOpening(freq, double(from + o), n, symbols);
    const auto best = std::size_t(std::max_element(score.begin(), score.end()) - score.begin());
    // A parabola through the best offset and its neighbours places the peak.
    const double left = score[(best + n - 1) % n];
    const double right = score[(best + 1) % n];
    const double curvature = left - 2 * score[best] + right;
    const double shift = curvature < 0 ? 0.5 * (left - right) / curvature : 0.0;
    return {double(from + best) + std::clamp(shift, -0.5, 0.5), double(n)};
}

RealRow symbolFrequencies(const RealRow& freq, SymbolClock clock, std::size_t count) {
    RealRow out(count);
    for (std::size_t k = 0; k < count; ++k) out[k] = valueAt(freq, clock.first + double(k) * clock.period);
    return out;
}

Bits sliceBits(const RealRow& symbolFreqs) {
    Bits bits(symbolFreqs.size());
    for (std::size_t k = 0; k < bits.size(); ++k) bits[k] = symbolFreqs[k] > 0 ? 1 : 0;
    return bits;
}

Bits sliceWaveform(std::span<const Complex> w, std::size_t n, std::size_t from, std::size_t symbols) {
    const RealRow f = instantaneousFrequency(w, double(n) * 1e6);
    SymbolClock clock = findSymbolClock(f, n, from, symbols);
    const double half = double(n) / 2;
    clock.first = std::fmod(clock.first + half, double(n)) - half;
    return sliceBits(symbolFrequencies(f, clock, w.size() / n));
}

SymbolClock locateBits(const RealRow& freq, std::size_t samplesPerSymbol, std::size_t from,
                       const Bits& bits) {
    constexpr std::size_t kSlack = 4;  // symbols searched either side
    const double n = double(samplesPerSymbol);
    SymbolClock clock = findSymbolClock(freq, samplesPerSymbol, from, bits.size());
    clock.first -= double(kSlack) * n;
    const Bits sliced = sliceBits(symbolFrequencies(freq, clock, bits.size() + 2 * kSlack));
    std::size_t bestShift = 0;
    std::size_t bestErrors = bits.size() + 1;
    for (std::size_t shift = 0; shift <= 2 * kSlack; ++shift) {
        std::size_t errors = 0;
        for (std::size_t k = 0; k < bits.size(); ++k) errors += sliced[shift + k] != bits[k];
        if (errors < bestErrors) {
            bestErrors = errors;
            bestShift = shift;
        }
    }
    if (bestErrors * 100 > bits.size()) throw std::runtime_error("the bits are not in the signal");
    clock.first += double(bestShift) * n;
    return clock;
}

double meanFrequency(const RealRow& freq, std::size_t from, std::size_t count) {
    double sum = 0;
    for (std::size_t k = 0; k < count; ++k) sum += freq[(from + k) % freq.size()];
    return sum / double(count);
}

RealRow frequencyTrack(const RealRow& freq, std::size_t from, std::size_t count, std::size_t block) {
    RealRow track;
    for (std::size_t k = 0; k + block <= count; k += block) track.push_back(meanFrequency(freq, from + k, block));
    return track;
}

ModulationCharacteristics modulationCharacteristics(const RealRow& freq, SymbolClock clock,
                                                    const Bits& bits) {
    ModulationCharacteristics mc;
    double f1sum = 0;
    double f2sum = 0;
    mc.f2maxLowest = INFINITY;
    for (std::size_t g = 0; g + 8 <= bits.size();) {
        const bool f1 = matches(bits, g, "11110000");
        const bool f2 = matches(bits, g, "10101010");
        if (!f1 && !f2) {
            ++g;
            continue;
        }
        // Mean over exactly the group's 8 symbol periods, centred on them.
        const double start = clock.first + double(g) * clock.period - clock.period / 2;
        const auto span = static_cast<std::size_t>(std::lround(8 * clock.period));
        double centre = 0;
        for (std::size_t k = 0; k < span; ++k) centre += valueAt(freq, std::round(start) + double(k));
        centre /= double(span);
        double f1max = 0;
        for (std::size_t k = 0; k < 8; ++k) {
            const double dev = std::fabs(valueAt(freq, clock.first + double(g + k) * clock.period) - centre);
            if (f1) f1max = std::max(f1max, dev);
            if (f2) {
                f2sum += dev;
                mc.f2maxLowest = std::min(mc.f2maxLowest, dev);
                ++mc.f2symbols;
            }
        }
        if (f1) {
            f1sum += f1max;
            ++mc.f1groups;
        }
        g += 8;
    }
    if (mc.f1groups) mc.f1avg = f1sum / double(mc.f1groups);
    if (mc.f2symbols) mc.f2avg = f2sum / double(mc.f2symbols);
    return mc;
}

double modulationIndex(const RealRow& freq, SymbolClock clock, const Bits& bits, double sampleRate) {
    double sum = 0;
    std::size_t count = 0;
    const auto n = static_cast<std::size_t>(std::lround(clock.period));
    for (std::size_t k = 1; k + 1 < bits.size(); ++k) {
        if (bits[k - 1] != bits[k] || bits[k + 1] != bits[k]) continue;
        // Phase advance over the one symbol period centred on symbol k.
        const double start = std::round(clock.first + double(k) * clock.period - clock.period / 2);
        double advance = 0;
        for (std::size_t j = 0; j < n; ++j) advance += valueAt(freq, start + double(j));
        sum += std::fabs(advance) * 2 * kPi / sampleRate;
        ++count;
    }
    if (count == 0) throw std::invalid_argument("no runs of three equal symbols");
    return sum / double(count) / kPi;
}

SineFit fitSine(const RealRow& y, double dt, double fMin, double fMax) {
    constexpr int kGrid = 400;
    double m, a, b;
    double bestF = fMin;
    double bestResidual = INFINITY;
    for (int i = 0; i <= kGrid; ++i) {
        const double f = fMin + (fMax - fMin) * i / kGrid;
        const double r = fitAt(y, dt, f, m, a, b);
        if (r < bestResidual) {
            bestResidual = r;
            bestF = f;
        }
    }
    // Golden-section refinement within one grid step either side.
    const double step = (fMax - fMin) / kGrid;
    double lo = bestF - step, hi = bestF + step;
    const double g = (std::sqrt(5.0) - 1) / 2;
    for (int i = 0; i < 80; ++i) {
        const double x1 = hi - g * (hi - lo), x2 = lo + g * (hi - lo);
        if (fitAt(y, dt, x1, m, a, b) < fitAt(y, dt, x2, m, a, b)) hi = x2;
        else lo = x1;
    }
    SineFit fit;
    fit.frequency = (lo + hi) / 2;
    fitAt(y, dt, fit.frequency, m, a, b);
    fit.mean = m;
    fit.amplitude = std::hypot(a, b);
    fit.phase = std::atan2(b, a);
    return fit;
}

TimingFit measureSymbolTiming(const RealRow& freq, double nominalPeriod, std::size_t from,
                              std::size_t count) {
    std::vector<double> crossings;
    for (std::size_t k = from; k + 1 < from + count && k + 1 < freq.size(); ++k) {
        const double a = freq[k], b = freq[k + 1];
        if ((a > 0) != (b > 0)) crossings.push_back(double(k) + a / (a - b));
    }
    // Keep the crossings with no other crossing within 1.5 symbols.
    std::vector<double> isolated;
    for (std::size_t i = 0; i < crossings.size(); ++i) {
        const bool clearBefore = i == 0 || crossings[i] - crossings[i - 1] > 1.5 * nominalPeriod;
        const bool clearAfter =
            i + 1 == crossings.size() || crossings[i + 1] - crossings[i] > 1.5 * nominalPeriod;
        if (clearBefore && clearAfter && i > 0 && i + 1 < crossings.size()) isolated.push_back(crossings[i]);
    }
    TimingFit fit;
    fit.crossings = isolated.size();
    if (isolated.size() < 2) return fit;
    // Number the boundaries with the current period, fit a line, repeat.
    double period = nominalPeriod;
    double offset = isolated.front();
    for (int pass = 0; pass < 3; ++pass) {
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (double t : isolated) {
            const double idx = std::round((t - offset) / period);
            sx += idx;
            sy += t;
            sxx += idx * idx;
            sxy += idx * t;
        }
        const double n = double(isolated.size());
        const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
        offset = (sy - slope * sx) / n;
        period = slope;
    }
    fit.period = period;
    fit.offset = offset;
    return fit;
}

}  // namespace bt::testing
