#include "analysis/demodulator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace bt::analysis {

namespace {

// Odd polynomial for atan on [0, 1], least squares on Chebyshev nodes:
// largest error 1.3e-7 rad in single precision.
constexpr float kAtan[8] = {9.999994368292e-01f, -3.333010661213e-01f, 1.994850815272e-01f,
                            -1.391579773839e-01f, 9.656244106175e-02f, -5.606299808130e-02f,
                            2.194648089173e-02f,  -4.073271842375e-03f};
constexpr float kPi = std::numbers::pi_v<float>;

}  // namespace

float fastArg(float re, float im) {
    const float ax = std::fabs(re);
    const float ay = std::fabs(im);
    const float hi = std::max(ax, ay);
    const float lo = std::min(ax, ay);
    const float a = hi > 0 ? lo / hi : 0.0f;
    const float s = a * a;
    float r = kAtan[7];
    for (int k = 6; k >= 0; --k) r = r * s + kAtan[k];
    r *= a;
    r = ay > ax ? kPi / 2 - r : r;
    r = re < 0 ? kPi - r : r;
    return im < 0 ? -r : r;
}

void discriminate(const CFloat* x, std::size_t n, float* out) {
    for (std::size_t k = 0; k + 1 < n; ++k) {
        const float re = x[k + 1].real() * x[k].real() + x[k + 1].imag() * x[k].imag();
        const float im = x[k + 1].imag() * x[k].real() - x[k + 1].real() * x[k].imag();
        out[k] = fastArg(re, im);
    }
}

void smooth(const CFloat* x, std::size_t n, std::size_t length, CFloat* out) {
    if (length <= 1 || n < 2 * length) {
        std::copy(x, x + n, out);
        return;
    }
    // First stage into `out` at offset 0 (window [k, k + length)), second
    // stage in place; sums in double so they do not wander over a block.
    const double scale = 1.0 / double(length);
    const std::size_t first = n - length + 1;  // outputs of stage one
    {
        double re = 0, im = 0;
        for (std::size_t k = 0; k < length; ++k) re += x[k].real(), im += x[k].imag();
        for (std::size_t k = 0; k < first; ++k) {
            out[k] = CFloat(float(re * scale), float(im * scale));
            if (k + length < n) {
                re += double(x[k + length].real()) - double(x[k].real());
                im += double(x[k + length].imag()) - double(x[k].imag());
            }
        }
    }
    const std::size_t second = first - length + 1;
    {
        double re = 0, im = 0;
        for (std::size_t k = 0; k < length; ++k) re += out[k].real(), im += out[k].imag();
        for (std::size_t k = 0; k < second; ++k) {
            const CFloat leaving = out[k];
            const CFloat v(float(re * scale), float(im * scale));
            if (k + length < first) {
                re += double(out[k + length].real()) - double(leaving.real());
                im += double(out[k + length].imag()) - double(leaving.imag());
            }
            out[k] = v;
        }
    }
    // Output k covers input [k, k + 2 length - 1): it belongs to the centre
    // k + length - 1. Move it there and keep the input at the edges.
    const std::size_t delay = length - 1;
    for (std::size_t k = second; k-- > 0;) out[k + delay] = out[k];
    for (std::size_t k = 0; k < delay; ++k) out[k] = x[k];
    for (std::size_t k = second + delay; k < n; ++k) out[k] = x[k];
}

std::vector<SampleSpan> findBursts(const CFloat* y, std::size_t n, double samplesPerSymbol) {
    std::vector<SampleSpan> spans;
    if (n == 0) return spans;
    const std::size_t stride = std::max<std::size_t>(1, n / 65536);
    std::vector<float> level;
    level.reserve(n / stride + 1);
    for (std::size_t k = 0; k < n; k += stride) level.push_back(std::norm(y[k]));
    const auto quantile = [&](double q) {
        auto at = level.begin() + static_cast<std::ptrdiff_t>(q * double(level.size() - 1));
        std::nth_element(level.begin(), at, level.end());
        return double(*at);
    };
    const double floor = quantile(0.10);
    const double peak = quantile(0.99);
    if (!(peak > 0)) return spans;  // zeros
    if (peak < 4 * floor) return {{0, n}};
    double threshold = floor > 0 ? std::sqrt(floor * peak) : peak * 0.01;
    threshold = std::clamp(threshold, peak * 0.01, peak * 0.25);

    const auto minGap = static_cast<std::size_t>(2 * samplesPerSymbol);
    const auto minLength = static_cast<std::size_t>(20 * samplesPerSymbol);
    const auto margin = static_cast<std::size_t>(std::ceil(2 * samplesPerSymbol));
    const auto thr = static_cast<float>(threshold);
    std::size_t k = 0;
    while (k < n) {
        while (k < n && std::norm(y[k]) <= thr) ++k;
        if (k == n) break;
        SampleSpan s{k, k};
        std::size_t end = k;
        for (;;) {
            while (end < n && std::norm(y[end]) > thr) ++end;
            std::size_t next = end;
            while (next < n && next - end < minGap && std::norm(y[next]) <= thr) ++next;
            if (next < n && next - end < minGap) {
                end = next;  // a short dip: the burst goes on
                continue;
            }
            break;
        }
        s.end = end;
        k = end;
        if (s.end - s.begin < minLength) continue;
        s.begin = s.begin > margin ? s.begin - margin : 0;
        s.end = std::min(n, s.end + margin);
        if (!spans.empty() && s.begin <= spans.back().end)
            spans.back().end = s.end;
        else
            spans.push_back(s);
    }
    return spans;
}

namespace {

CFloat sampleAt(const CFloat* y, std::size_t samples, double t) {
    if (t <= 0) return y[0];
    const auto i = static_cast<std::size_t>(t);
    if (i + 1 >= samples) return y[samples - 1];
    const auto u = static_cast<float>(t - double(i));
    return y[i] + u * (y[i + 1] - y[i]);
}

// The phase advance from a to b, wrapped: arg(y(b) conj(y(a))).
float chordAdvance(const CFloat* y, std::size_t samples, double a, double b) {
    const CFloat z = sampleAt(y, samples, b) * std::conj(sampleAt(y, samples, a));
    return fastArg(z.real(), z.imag());
}

}  // namespace

void runningPhase(const float* freq, std::size_t count, double* phase) {
    double p = 0;
    phase[0] = 0;
    for (std::size_t k = 0; k < count; ++k) phase[k + 1] = p += double(freq[k]);
}

SlicedBits sliceSpan(const double* phase, const CFloat* y, std::size_t samples, SampleSpan span, double sps) {
    SlicedBits out;
    constexpr std::size_t kWindow = 64;
    const auto phases = static_cast<std::size_t>(std::max(8.0, std::ceil(sps)));
    const double step = sps / double(phases);
    const double half = sps / 2;
    const auto advance = [&](double t) { return phaseAt(phase, samples, t + half) - phaseAt(phase, samples, t - half); };
    // Noise between bursts swings the phase far beyond any deviation;
    // clipping keeps it from steering the clock.
    const double clip = 1.5;
    const double lastTime = std::min<double>(double(span.end), double(samples)) - half - 1;
    double next = double(span.begin) + sps;  // predicted time of the next centre
    bool first = true;
    // The decision threshold follows the carrier offset: halfway between
    // the mean advances of the ones and of the zeros, updated only from
    // windows that hold enough of both (a run of equal payload bits keeps
    // the last one).
    double threshold = 0;
    std::vector<double> score(phases);
    std::vector<float> advances;
    std::vector<double> values;
    std::size_t firstWindow = 0;  // symbols read in the first window
    double secondThreshold = 0, secondTiming = 0;
    out.bits.reserve(static_cast<std::size_t>(double(span.end - span.begin) / sps) + 1);
    out.centres.reserve(out.bits.capacity());
    while (next < lastTime) {
        const auto symbols = std::min<std::size_t>(kWindow, static_cast<std::size_t>((lastTime - next) / sps) + 1);
        if (symbols >= 8) {
            for (std::size_t p = 0; p < phases; ++p) {
                const double offset = -half + double(p) * step;
                // The spread about the window's mean, so that a carrier
                // offset does not pull the clock towards the boundaries.
                values.resize(symbols);
                double mean = 0;
                for (std::size_t j = 0; j < symbols; ++j) mean += values[j] = advance(next + offset + double(j) * sps);
                mean /= double(symbols);
                double sum = 0;
                for (const double v : values) sum += std::min(std::fabs(v - mean), clip);
                score[p] = sum;
            }
            const auto best = std::size_t(std::max_element(score.begin(), score.end()) - score.begin());
            const double left = score[(best + phases - 1) % phases];
            const double right = score[(best + 1) % phases];
            const double curvature = left - 2 * score[best] + right;
            const double shift = curvature < 0 ? std::clamp(0.5 * (left - right) / curvature, -0.5, 0.5) : 0.0;
            double offset = -half + (double(best) + shift) * step;
            // Keep the estimate within half a symbol of the prediction and
            // let the tracking follow smoothly once it has locked.
            if (offset >= half) offset -= sps;
            next += first ? offset : 0.5 * offset;
        }
        advances.clear();
        for (std::size_t j = 0; j < symbols; ++j) {
            const double t = next + double(j) * sps;
            if (t >= lastTime) break;
            if (t < half) continue;
            out.centres.push_back(t);
            advances.push_back(chordAdvance(y, samples, t - half, t + half));
        }
        if (first && advances.size() >= 16) {
            // Start from the middle of the window's advances.
            std::vector<float> sorted = advances;
            std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2), sorted.end());
            threshold = sorted[sorted.size() / 2];
        }
        for (int pass = 0; pass < (first ? 3 : 1); ++pass) {
            double sum1 = 0, sum0 = 0;
            std::size_t n1 = 0, n0 = 0;
            for (const float a : advances) {
                if (a > threshold) sum1 += a, ++n1;
                else sum0 += a, ++n0;
            }
            if (n1 < 8 || n0 < 8) break;
            const double middle = 0.5 * (sum1 / double(n1) + sum0 / double(n0));
            threshold = first ? middle : 0.5 * (threshold + middle);
        }
        for (const float a : advances) out.bits.push_back(a > threshold ? 1 : 0);
        if (symbols >= 8) first = false;
        next += double(symbols) * sps;
        if (firstWindow == 0) {
            firstWindow = out.bits.size();
        } else if (secondThreshold == 0) {
            secondThreshold = threshold;
            secondTiming = out.centres[firstWindow];
        }
    }
    // The first window also holds the ramp and whatever came before the
    // burst; read it again with the clock and threshold of the second,
    // which saw only the burst.
    if (secondThreshold != 0) {
        for (std::size_t j = 0; j < firstWindow; ++j) {
            const double t = secondTiming - double(firstWindow - j) * sps;
            if (t < half) continue;
            out.centres[j] = t;
            out.bits[j] = chordAdvance(y, samples, t - half, t + half) > secondThreshold ? 1 : 0;
        }
    }
    return out;
}

}  // namespace bt::analysis
