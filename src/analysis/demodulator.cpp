#include "analysis/demodulator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
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
    // One pass: the first stage's sum runs `length` samples ahead of the
    // second's, which takes the first's values back from a ring of the last
    // `length`; sums in double so they do not wander over a block.
    // Output k covers input [k, k + 2 length - 1): it belongs to the centre
    // k + length - 1; the edges keep the input.
    const std::size_t first = n - length + 1;       // outputs of stage one
    const std::size_t second = first - length + 1;  // outputs of stage two
    const std::size_t delay = length - 1;
    const double scale = 1.0 / (double(length) * double(length));
    std::vector<double> ringRe(length), ringIm(length);
    double re1 = 0, im1 = 0;  // stage one at the ring's newest index
    for (std::size_t k = 0; k < length; ++k) re1 += x[k].real(), im1 += x[k].imag();
    double re2 = 0, im2 = 0;
    for (std::size_t j = 0; j < length; ++j) {
        if (j > 0) {
            re1 += double(x[j + length - 1].real()) - double(x[j - 1].real());
            im1 += double(x[j + length - 1].imag()) - double(x[j - 1].imag());
        }
        ringRe[j] = re1, ringIm[j] = im1;
        re2 += re1, im2 += im1;
    }
    std::size_t oldest = 0;  // ring index of stage one at k
    for (std::size_t k = 0; k < second; ++k) {
        out[k + delay] = CFloat(float(re2 * scale), float(im2 * scale));
        if (k + 1 == second) break;
        re1 += double(x[k + 2 * length - 1].real()) - double(x[k + length - 1].real());
        im1 += double(x[k + 2 * length - 1].imag()) - double(x[k + length - 1].imag());
        re2 += re1 - ringRe[oldest];
        im2 += im1 - ringIm[oldest];
        ringRe[oldest] = re1, ringIm[oldest] = im1;
        if (++oldest == length) oldest = 0;
    }
    std::copy(x, x + delay, out);
    std::copy(x + second + delay, x + n, out + second + delay);
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
    // The running phase holds this burst's values only on [span.begin,
    // span.end - 1]; past either end it holds another burst's, or nothing.
    const std::size_t spanSamples = std::min(span.end, samples) - span.begin;
    const double* spanPhase = phase + span.begin;
    const auto phaseOf = [&](double t) { return phaseAt(spanPhase, spanSamples, t - double(span.begin)); };
    const auto advance = [&](double t) { return phaseOf(t + half) - phaseOf(t - half); };
    // A symbol scored at any trial timing keeps its whole period inside
    // the burst.
    const double firstScored = double(span.begin) + sps;
    const double lastScored = double(span.begin + spanSamples) - 1 - sps;
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
    std::vector<std::uint8_t> used;
    std::vector<float> levels;
    std::size_t firstWindow = 0;  // symbols read in the first window
    double secondThreshold = 0, secondTiming = 0;
    out.bits.reserve(static_cast<std::size_t>(double(span.end - span.begin) / sps) + 1);
    out.centres.reserve(out.bits.capacity());
    while (next < lastTime) {
        const auto symbols = std::min<std::size_t>(kWindow, static_cast<std::size_t>((lastTime - next) / sps) + 1);
        std::size_t usable = 0;
        if (symbols >= 8) {
            // The first window also holds the ramp-up and what came before
            // it, whose noise swings the phase by as much as the clip: only
            // symbols at more than half the window's median amplitude count
            // there.
            used.assign(symbols, 1);
            for (std::size_t j = 0; j < symbols; ++j) {
                const double t = next + double(j) * sps;
                used[j] = t >= firstScored && t <= lastScored;
                usable += used[j];
            }
            if (first) {
                levels.resize(symbols);
                for (std::size_t j = 0; j < symbols; ++j) levels[j] = std::norm(sampleAt(y, samples, next + double(j) * sps));
                std::vector<float> sorted = levels;
                std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(symbols / 2), sorted.end());
                const float floor = 0.25f * sorted[symbols / 2];
                for (std::size_t j = 0; j < symbols; ++j) used[j] = used[j] && levels[j] > floor;
            }
        }
        // A short last window (the burst's tail) would steer the clock on a
        // few symbols: it keeps the clock of the window before.
        if (symbols >= 8 && (first || usable >= kWindow / 2)) {
            for (std::size_t p = 0; p < phases; ++p) {
                const double offset = -half + double(p) * step;
                // The spread about the window's mean, so that a carrier
                // offset does not pull the clock towards the boundaries.
                values.clear();
                double mean = 0;
                for (std::size_t j = 0; j < symbols; ++j)
                    if (used[j]) mean += values.emplace_back(advance(next + offset + double(j) * sps));
                mean /= double(std::max<std::size_t>(1, values.size()));
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
        for (const float a : advances) {
            out.bits.push_back(a > threshold ? 1 : 0);
            out.advances.push_back(a);
            out.carrier.push_back(static_cast<float>(threshold));
        }
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
            out.advances[j] = chordAdvance(y, samples, t - half, t + half);
            out.carrier[j] = static_cast<float>(secondThreshold);
            out.bits[j] = out.advances[j] > secondThreshold ? 1 : 0;
        }
    }
    return out;
}

namespace {

constexpr int kBins = 4;  // integrations per symbol period

// Products written out: std::complex's own checks for infinities keep
// them from vectorising.
inline CFloat mul(CFloat a, CFloat b) {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}
inline CFloat mulConj(CFloat a, CFloat b) {  // a conj(b)
    return {a.real() * b.real() + a.imag() * b.imag(), a.imag() * b.real() - a.real() * b.imag()};
}

// The waveforms of one symbol period for the eight patterns of the symbol
// and its neighbours (bit 2: the one before, bit 1: the symbol, bit 0: the
// one after; 1 for a positive frequency), starting at phase 0: the mean of
// exp(j phase) over each quarter, and the phase advance over the period.
struct SymbolWaveforms {
    std::array<std::array<CFloat, kBins>, 8> bins;
    std::array<CFloat, 8> turn;  // exp(j advance)
    std::array<float, 8> advance;
};

constexpr int kFine = 8;  // points per quarter where the waveforms are averaged

// The patterns' phase over a period at modulation index 1/(2 pi), in
// radians: at the points the quarters are averaged over, and at the end.
struct UnitPhases {
    std::array<std::array<std::array<double, kFine>, kBins>, 8> fine;
    std::array<double, 8> end;
};

const UnitPhases& unitPhases() {
    static const UnitPhases table = [] {
        // Phase response of the Gaussian frequency pulse (bandwidth-time
        // 0.5) in symbol periods, 0 before the pulse and 1/2 after it.
        constexpr int kGrid = 64;  // points per symbol
        constexpr int kSpan = 3;   // symbols either side of the pulse centre
        const double alpha = 2 * std::numbers::pi * 0.5 / std::sqrt(std::log(2.0));
        const auto Q = [](double v) { return 0.5 * std::erfc(v / std::numbers::sqrt2); };
        const auto g = [&](double t) { return 0.5 * (Q(alpha * (t - 0.5)) - Q(alpha * (t + 0.5))); };
        std::vector<double> q(2 * kSpan * kGrid + 1);
        for (std::size_t i = 1; i < q.size(); ++i) {
            const double t0 = double(i - 1) / kGrid - kSpan, t1 = double(i) / kGrid - kSpan;
            q[i] = q[i - 1] + 0.5 * (g(t0) + g(t1)) / kGrid;
        }
        const auto response = [&](double t) {
            const double x = (t + kSpan) * kGrid;
            if (x <= 0) return 0.0;
            if (x >= double(q.size() - 1)) return q.back();
            const auto i = static_cast<std::size_t>(x);
            return q[i] + (x - double(i)) * (q[i + 1] - q[i]);
        };
        UnitPhases u{};
        for (std::size_t p = 0; p < 8; ++p) {
            const double a[3] = {p & 4 ? 1.0 : -1.0, p & 2 ? 1.0 : -1.0, p & 1 ? 1.0 : -1.0};
            // Phase at time tau from the period's start (centre at 1/2); the
            // symbols two away add less than 1e-4 of theirs.
            const auto phase = [&](double tau) {
                double v = 0;
                for (int d = -1; d <= 1; ++d) v += a[d + 1] * (response(tau - 0.5 - d) - response(-0.5 - d));
                return v;
            };
            for (std::size_t b = 0; b < kBins; ++b)
                for (std::size_t f = 0; f < kFine; ++f)
                    u.fine[p][b][f] = phase((double(b) + (double(f) + 0.5) / kFine) / kBins);
            u.end[p] = phase(1.0);
        }
        return u;
    }();
    return table;
}

SymbolWaveforms symbolWaveforms(double h) {
    const UnitPhases& u = unitPhases();
    const double scale = 2 * std::numbers::pi * h;
    SymbolWaveforms w{};
    for (std::size_t p = 0; p < 8; ++p) {
        for (std::size_t b = 0; b < kBins; ++b) {
            float re = 0, im = 0;
            for (const double v : u.fine[p][b]) {
                const auto angle = static_cast<float>(scale * v);
                re += std::cos(angle), im += std::sin(angle);
            }
            w.bins[p][b] = CFloat(re, im) / float(kFine);
        }
        w.turn[p] = CFloat(std::polar(1.0, scale * u.end[p]));
        w.advance[p] = static_cast<float>(scale * u.end[p]);
    }
    return w;
}

// The integral of x over [a, b) in sample times, sample i holding
// [i - 1/2, i + 1/2); nothing outside the row.
CFloat integrate(const CFloat* x, std::size_t samples, double a, double b) {
    a = std::max(a, -0.5);
    b = std::min(b, double(samples) - 0.5);
    if (!(b > a)) return {};
    const auto first = static_cast<std::size_t>(std::floor(a + 0.5));
    const auto last = std::min(samples - 1, static_cast<std::size_t>(std::floor(b + 0.5)));
    if (first == last) return x[first] * float(b - a);
    float re = 0, im = 0;
    for (std::size_t i = first + 1; i < last; ++i) re += x[i].real(), im += x[i].imag();
    return CFloat(re, im) + x[first] * float(double(first) + 0.5 - a) + x[last] * float(b - (double(last) - 0.5));
}

}  // namespace

namespace {

// v within (-pi, pi], for v within a few turns of it.
float wrapPhase(float v) {
    constexpr float kPi = std::numbers::pi_v<float>;
    while (v > kPi) v -= 2 * kPi;
    while (v <= -kPi) v += 2 * kPi;
    return v;
}

// The pattern of symbol k and its neighbours in the sliced bits (a missing
// neighbour taken equal to the symbol).
std::size_t patternAt(const Bits& bits, std::size_t k) {
    const unsigned b = bits[k] & 1u;
    const unsigned before = k > 0 ? bits[k - 1] & 1u : b;
    const unsigned after = k + 1 < bits.size() ? bits[k + 1] & 1u : b;
    return (before << 2) | (b << 1) | after;
}

// Carrier turn per symbol and modulation index from the slicer's phase
// advances and bits: each advance less what its pattern makes at index h
// is the carrier's turn, averaged over 64 symbols about each stretch of 16
// without the advances far from the stretch's median (the unmodulated
// settling before a burst, slips, slicing errors), at the nominal index;
// then the index that fits the advances left best.
double carrierAndIndex(const SlicedBits& s, const std::array<float, 8>& unitAdvance, std::vector<float>& carrier) {
    const std::size_t count = s.bits.size();
    constexpr std::size_t kStretch = 16, kReach = 24;
    constexpr float kInlier = 0.6f;  // rad
    carrier.assign(count, 0.0f);
    std::vector<float> residual(count), sorted;
    double h = 0.315;
    {
        for (std::size_t k = 0; k < count; ++k)
            residual[k] = wrapPhase(s.advances[k] - float(h) * unitAdvance[patternAt(s.bits, k)]);
        for (std::size_t from = 0; from < count; from += kStretch) {
            const std::size_t lo = from > kReach ? from - kReach : 0;
            const std::size_t hi = std::min(count, from + kStretch + kReach);
            sorted.assign(residual.begin() + std::ptrdiff_t(lo), residual.begin() + std::ptrdiff_t(hi));
            const auto mid = sorted.begin() + std::ptrdiff_t(sorted.size() / 2);
            std::nth_element(sorted.begin(), mid, sorted.end());
            const float median = *mid;
            double sum = 0;
            std::size_t n = 0;
            for (std::size_t k = lo; k < hi; ++k)
                if (std::fabs(residual[k] - median) < kInlier) sum += residual[k], ++n;
            const auto value = static_cast<float>(n > 0 ? sum / double(n) : median);
            std::fill(carrier.begin() + std::ptrdiff_t(from), carrier.begin() + std::ptrdiff_t(std::min(count, from + kStretch)), value);
        }
        double num = 0, den = 0;
        for (std::size_t k = 0; k < count; ++k) {
            const float v = unitAdvance[patternAt(s.bits, k)];
            const float a = wrapPhase(s.advances[k] - carrier[k]);
            if (std::fabs(a - float(h) * v) >= kInlier) continue;
            num += double(a) * v;
            den += double(v) * v;
        }
        if (den > 0) h = std::clamp(num / den, 0.2, 0.5);
    }
    return h;
}

}  // namespace

namespace {

// Symbol periods integrated in quarters, turned back by the carrier within
// the period, and correlated with each pattern's waveform. The quarters of
// a burst are integrated once and kept for the later searches; a span
// longer than any packet (noise, a continuous stream) integrates them
// again each time rather than hold them all.
class PeriodCorrelator {
public:
    using Quarters = std::array<CFloat, kBins>;

    PeriodCorrelator(const CFloat* x, std::size_t samples, double sps, const std::vector<double>& centres)
        : x_(x), samples_(samples), sps_(sps), centres_(centres) {
        constexpr std::size_t kKeptPeriods = std::size_t(1) << 16;
        if (centres.size() <= kKeptPeriods) {
            kept_.resize(centres.size());
            for (std::size_t k = 0; k < centres.size(); ++k) kept_[k] = quarters(k);
        }
    }

    void use(const SymbolWaveforms& w) { w_ = &w; }
    // Period k is then the k-th before period `end`, read backwards in
    // time; 0 reads forwards again.
    void reverseFrom(std::size_t end) { reversedEnd_ = end; }

    void operator()(std::size_t k, float carrier, std::array<CFloat, 8>& corr) {
        if (!(carrier == lastCarrier_)) {
            lastCarrier_ = carrier;
            for (std::size_t b = 0; b < kBins; ++b)
                derotate_[b] = std::polar(1.0f, -carrier * (float(b) + 0.5f) / kBins);
        }
        Quarters raw;
        if (reversedEnd_ > 0) {
            // Time reversed and conjugated, a Gaussian-filtered signal is
            // one again, of the same symbols in reverse order.
            const std::size_t at = reversedEnd_ - 1 - k;
            const Quarters forward = kept_.empty() ? quarters(at) : kept_[at];
            for (std::size_t b = 0; b < kBins; ++b) raw[b] = std::conj(forward[kBins - 1 - b]);
        } else {
            raw = kept_.empty() ? quarters(k) : kept_[k];
        }
        Quarters bin;
        for (std::size_t b = 0; b < kBins; ++b) bin[b] = mul(raw[b], derotate_[b]);
        // The pattern of the opposite symbols turns the other way: its
        // waveform is the conjugate, and shares the products.
        for (std::size_t p = 0; p < 4; ++p) {
            float a = 0, b = 0, c = 0, d = 0;
            for (std::size_t q = 0; q < kBins; ++q) {
                const CFloat v = bin[q], u = w_->bins[p][q];
                a += v.real() * u.real(), b += v.imag() * u.imag();
                c += v.imag() * u.real(), d += v.real() * u.imag();
            }
            corr[p] = {a + b, c - d};
            corr[7 - p] = {a - b, c + d};
        }
    }

private:
    Quarters quarters(std::size_t k) const {
        const double start = centres_[k] - sps_ / 2;
        Quarters q;
        for (std::size_t b = 0; b < kBins; ++b)
            q[b] = integrate(x_, samples_, start + sps_ * double(b) / kBins, start + sps_ * double(b + 1) / kBins);
        return q;
    }

    const CFloat* x_;
    std::size_t samples_;
    double sps_;
    const std::vector<double>& centres_;
    std::vector<Quarters> kept_;
    const SymbolWaveforms* w_ = nullptr;
    std::size_t reversedEnd_ = 0;
    float lastCarrier_ = std::numeric_limits<float>::quiet_NaN();
    Quarters derotate_{};
};

// The Viterbi search over the periods with the carrier's turn per symbol
// given; `keep` is how much of its carrier phase a path keeps from one
// symbol to the next. Writes `bits` (its size is the periods').
void viterbi(PeriodCorrelator& correlate, const SymbolWaveforms& w, const std::vector<float>& carrier, float keep,
             Bits& bits) {
    const std::size_t count = bits.size();
    struct Path {
        double metric = 0;
        CFloat phase{};  // carrier phase at the period's start, scaled by the signal
    };
    std::array<Path, 4> paths{}, next{};    // state: bit 1 the previous symbol, bit 0 the symbol
    std::vector<std::uint8_t> from(count);  // per period: bit s the earlier symbol of the survivor into state s
    std::array<CFloat, 8> corr{};
    float turnOf = std::numeric_limits<float>::quiet_NaN();
    CFloat carrierTurn{1, 0};
    for (std::size_t k = 0; k < count; ++k) {
        correlate(k, carrier[k], corr);
        if (!(carrier[k] == turnOf)) {
            turnOf = carrier[k];
            carrierTurn = std::polar(1.0f, turnOf);
        }
        // From state (a_{k-1}, a_k) on a_{k+1} to state (a_k, a_{k+1}).
        std::array<float, 4> scale{};
        for (std::size_t i = 0; i < 4; ++i) {
            const float n = std::norm(paths[i].phase);
            scale[i] = n > 0 ? 1 / std::sqrt(n) : 0.0f;
        }
        std::uint8_t choice = 0;
        for (std::size_t to = 0; to < 4; ++to) {
            double best = -std::numeric_limits<double>::infinity();
            std::size_t bestFrom = 0;
            for (std::size_t earlier = 0; earlier < 2; ++earlier) {
                const std::size_t state = (earlier << 1) | (to >> 1);
                const std::size_t p = (state << 1) | (to & 1);
                const Path& q = paths[state];
                const double gain = double(mulConj(corr[p], q.phase).real() * scale[state]);
                if (q.metric + gain > best) {
                    best = q.metric + gain;
                    bestFrom = earlier;
                }
            }
            const std::size_t state = (bestFrom << 1) | (to >> 1);
            const std::size_t p = (state << 1) | (to & 1);
            next[to].metric = best;
            next[to].phase = mul(mul(keep * paths[state].phase + corr[p], w.turn[p]), carrierTurn);
            choice |= static_cast<std::uint8_t>(bestFrom << to);
        }
        from[k] = choice;
        double top = next[0].metric;
        for (const Path& q : next) top = std::max(top, q.metric);
        for (std::size_t i = 0; i < 4; ++i) paths[i] = {next[i].metric - top, next[i].phase};
    }
    std::size_t state = 0;
    for (std::size_t i = 1; i < 4; ++i)
        if (paths[i].metric > paths[state].metric) state = i;
    // state holds (a_{count-1}, a_count); walk back.
    for (std::size_t k = count; k-- > 0;) {
        bits[k] = static_cast<std::uint8_t>(state >> 1);
        const std::size_t earlier = (from[k] >> state) & 1u;
        state = (earlier << 1) | (state >> 1);
    }
}

// The carrier's turn and the modulation index again, from the decided
// bits: the carrier phase each period shows against its decided pattern,
// less what the pattern turns it by, leaves the carrier's turn per period;
// how far those turns follow the patterns' advances is the index's error
// (returned). Followed through the span, the phase rises by the carrier's
// turn per period; its rise over 32 periods, the median of those in the 112
// periods about each stretch of 16, is the new turn. A rise over many
// periods averages the noise far better than the turns one by one, and the
// median keeps the jumps of wrong decisions out.
double refineCarrier(PeriodCorrelator& correlate, const SymbolWaveforms& w, const std::array<float, 8>& unitAdvance,
                     const SlicedBits& s, std::vector<float>& carrier) {
    const std::size_t count = s.bits.size();
    std::vector<double> track(count);
    std::array<CFloat, 8> corr{};
    float previous = 0;
    // The turns left over, and how far they follow each pattern's advance:
    // the error of the modulation index.
    double num = 0, den = 0;
    for (std::size_t k = 0; k < count; ++k) {
        correlate(k, carrier[k], corr);
        const CFloat c = corr[patternAt(s.bits, k)];
        const float theta = fastArg(c.real(), c.imag());
        if (k > 0) {
            const std::size_t p = patternAt(s.bits, k - 1);
            const float turn = wrapPhase(theta - previous - w.advance[p]);
            track[k] = turn;
            if (std::fabs(turn - carrier[k - 1]) < 1.0f) num += double(turn - carrier[k - 1]) * unitAdvance[p], den += double(unitAdvance[p]) * unitAdvance[p];
        }
        previous = theta;
    }
    const double indexError = den > 0 ? num / den : 0.0;
    double unwrapped = 0;
    for (std::size_t k = 1; k < count; ++k) {
        unwrapped += track[k] - indexError * unitAdvance[patternAt(s.bits, k - 1)];
        track[k] = unwrapped;
    }
    // The slope: the median of the track's rises over 32 periods, which a
    // few jumps (wrong decisions) do not move.
    constexpr std::size_t kStretch = 16, kReach = 48, kRise = 32;
    std::vector<float> slope(count / kStretch + 1), rises;
    for (std::size_t from = 0, j = 0; from < count; from += kStretch, ++j) {
        // Windows keep their length at the ends of the span.
        const std::size_t width = std::min(count, kStretch + 2 * kReach);
        const std::size_t lo = std::min(from > kReach ? from - kReach : 0, count - width);
        const std::size_t hi = lo + width;
        rises.clear();
        for (std::size_t k = lo; k + kRise < hi; k += 2) rises.push_back(float((track[k + kRise] - track[k]) / kRise));
        if (rises.empty()) {
            slope[j] = carrier[from];
            continue;
        }
        const auto mid = rises.begin() + std::ptrdiff_t(rises.size() / 2);
        std::nth_element(rises.begin(), mid, rises.end());
        slope[j] = *mid;
    }
    for (std::size_t k = 0; k < count; ++k) carrier[k] = slope[k / kStretch];
    return indexError;
}

}  // namespace

void detectSequence(const CFloat* x, std::size_t samples, double sps, SlicedBits& s) {
    const std::size_t count = s.bits.size();
    if (count < 2 || samples == 0) return;
    // Each pattern's phase advance per unit of modulation index.
    std::array<float, 8> unitAdvance{};
    for (std::size_t p = 0; p < 8; ++p) unitAdvance[p] = float(2 * std::numbers::pi * unitPhases().end[p]);
    std::vector<float> carrier;
    double h = carrierAndIndex(s, unitAdvance, carrier);
    const SymbolWaveforms w = symbolWaveforms(h);
    PeriodCorrelator correlate(x, samples, sps, s.centres);
    correlate.use(w);
    // A first search that forgets the carrier phase fast, for the rough
    // carrier of the slicer; then the carrier from its bits and a search
    // that remembers the phase longer.
    constexpr float kKeepRough = 0.4f, kKeep = 0.75f;
    constexpr std::size_t kBackwards = 48;  // periods read backwards at the start
    viterbi(correlate, w, carrier, kKeepRough, s.bits);
    h = std::clamp(h + refineCarrier(correlate, w, unitAdvance, s, carrier), 0.2, 0.5);
    const SymbolWaveforms fitted = symbolWaveforms(h);
    correlate.use(fitted);
    viterbi(correlate, fitted, carrier, kKeep, s.bits);
    // A path learns its carrier phase from the symbols behind it, and at
    // the start of a span there are none but the settling and the ramp:
    // the start is read again backwards in time, where the path has the
    // whole burst behind it when it reaches the access code.
    // The search backwards starts 64 periods further on, enough for a path
    // to learn the carrier phase.
    const std::size_t end = std::min(count, kBackwards + 64);
    if (end > kBackwards) {
        std::vector<float> backCarrier(carrier.rend() - std::ptrdiff_t(end), carrier.rend());
        Bits back(end);
        correlate.reverseFrom(end);
        viterbi(correlate, fitted, backCarrier, kKeep, back);
        for (std::size_t k = 0; k < kBackwards; ++k) s.bits[k] = back[end - 1 - k];
    }
}

}  // namespace bt::analysis
