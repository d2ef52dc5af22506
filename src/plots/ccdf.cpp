#include "plots/ccdf.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#include "lib/parallel.h"
#include "plots/plot_units.h"

namespace bt::plots {

namespace {

constexpr std::size_t kThresholds = 201;
// Sums are formed over fixed blocks combined in order, so the result does
// not depend on the number of threads.
constexpr std::size_t kBlock = std::size_t{1} << 16;

std::size_t blocksOf(std::size_t n) { return (n + kBlock - 1) / kBlock; }

// log2(p) within about 1e-4 for normal positive p, from the exponent bits
// and a cubic in the mantissa; NaN for zero, subnormal or non-finite p.
inline double approxLog2(double p) {
    const auto bits = std::bit_cast<std::uint64_t>(p);
    const auto e = static_cast<int>((bits >> 52) & 0x7ff);
    if (e == 0 || e == 0x7ff) return std::numeric_limits<double>::quiet_NaN();
    const double m = std::bit_cast<double>((bits & 0x000fffffffffffffULL) | 0x3ff0000000000000ULL);  // [1,2)
    const double t = m - 1.0;
    // Minimax-style fit of log2(1 + t) on [0, 1].
    const double poly = t * (1.4425449 + t * (-0.7181452 + t * (0.4575485 + t * -0.1820191)));
    return static_cast<double>(e - 1023) + poly;
}

}  // namespace

ComplexRow ccdfTestSignal() {
    constexpr std::size_t points = 1000;
    ComplexRow w(points);
    const double pi = std::numbers::pi;
    for (std::size_t k = 0; k < points; ++k) {
        const double phiA = -pi + static_cast<double>(k) * (2 * pi / 999);
        const double phiB = -10 * pi + static_cast<double>(k) * (20 * pi / 999);
        const double am = 1.5 + std::cos(phiA);
        w[k] = Complex(am * std::cos(phiB), am * std::sin(phiB));
    }
    return w;
}

CcdfPowerStats ccdfPowerStats(std::span<const Complex> wave) {
    CcdfPowerStats s;
    s.points = wave.size();
    if (wave.empty()) return s;
    struct Part {
        double sum = 0, minP = INFINITY, maxP = 0;
        bool real = true;
    };
    std::vector<Part> parts(blocksOf(wave.size()));
    parallelFor(parts.size(), [&](std::size_t b) {
        Part part;
        const std::size_t end = std::min(wave.size(), (b + 1) * kBlock);
        for (std::size_t i = b * kBlock; i < end; ++i) {
            const double re = wave[i].real(), im = wave[i].imag();
            const double p = re * re + im * im;
            part.sum += p;
            part.minP = std::min(part.minP, p);
            part.maxP = std::max(part.maxP, p);
            part.real = part.real && im == 0;
        }
        parts[b] = part;
    });
    double minP = INFINITY;
    for (const Part& part : parts) {
        s.sumT += part.sum;
        minP = std::min(minP, part.minP);
        s.maxPower = std::max(s.maxPower, part.maxP);
        s.realWave = s.realWave && part.real;
    }
    if (minP == 0) {
        // Every power gets the floor, so the sum does too.
        s.powerFloor = 1e-300;
        s.sumT = 0;
        for (std::size_t b = 0; b < parts.size(); ++b) {
            const std::size_t count = std::min(wave.size(), (b + 1) * kBlock) - b * kBlock;
            double sum = 0;
            const std::size_t end = b * kBlock + count;
            for (std::size_t i = b * kBlock; i < end; ++i) {
                const double re = wave[i].real(), im = wave[i].imag();
                sum += (re * re + im * im) + s.powerFloor;
            }
            s.sumT += sum;
        }
        s.maxPower += s.powerFloor;
    }
    if (s.sumT == 0) s.sumT = 1e-300;
    s.RMSdB = 10 * std::log10(s.sumT / static_cast<double>(s.points));
    return s;
}

double ccdfRelativePower(double re, double im, const CcdfPowerStats& s) {
    const double p = (re * re + im * im) + s.powerFloor;
    return 10 * std::log10(p) - s.RMSdB;
}

std::vector<double> ccdfThresholds(double maxRelPwr, double* maxXOut, double* stepXOut) {
    double maxX = std::max(20.0, maxRelPwr);
    if (maxX > 20) maxX = 1.01 * maxX;
    const double stepX = maxX / 200;
    std::vector<double> X(kThresholds);
    for (std::size_t k = 0; k + 1 < kThresholds; ++k) X[k] = static_cast<double>(k) * stepX;
    X.back() = maxX;
    if (maxXOut) *maxXOut = maxX;
    if (stepXOut) *stepXOut = stepX;
    return X;
}

std::vector<std::size_t> ccdfCounts(std::span<const Complex> wave, const CcdfPowerStats& s,
                                    const std::vector<double>& X) {
    const std::size_t K = X.size();
    std::vector<std::size_t> counts(K, 0);
    if (wave.empty() || K == 0) return counts;
    // A sample's exact relative power is compared against X[k] only when
    // its power is within a relative 1e-9 of the power at X[k]; elsewhere
    // the power alone decides. plo/phi bracket the power at each threshold.
    std::vector<double> plo(K), phi(K);
    for (std::size_t k = 0; k < K; ++k) {
        const double p = std::pow(10.0, (X[k] + s.RMSdB) / 10);
        plo[k] = p * (1 - 1e-9);
        phi[k] = p * (1 + 1e-9);
    }
    const double stepX = K > 1 ? X[1] - X[0] : 1;
    const double dbPerLog2 = 10 * std::log10(2.0);
    const int last = static_cast<int>(K) - 1;
    auto reaches = [&](double re, double im, double p, int k) {
        if (p >= phi[static_cast<std::size_t>(k)]) return true;
        if (p < plo[static_cast<std::size_t>(k)]) return false;
        return ccdfRelativePower(re, im, s) >= X[static_cast<std::size_t>(k)];
    };
    // hist[b + 1] counts samples whose highest reached threshold is b
    // (b = -1: none).
    std::vector<std::vector<std::size_t>> hists(blocksOf(wave.size()));
    parallelFor(hists.size(), [&](std::size_t blk) {
        std::vector<std::size_t> hist(K + 1, 0);
        const std::size_t end = std::min(wave.size(), (blk + 1) * kBlock);
        for (std::size_t i = blk * kBlock; i < end; ++i) {
            const double re = wave[i].real(), im = wave[i].imag();
            const double p = (re * re + im * im) + s.powerFloor;
            double l2 = approxLog2(p);
            if (std::isnan(l2)) l2 = std::log2(p);
            const double est = (l2 * dbPerLog2 - s.RMSdB) / stepX;
            // A power that is not a number (a damaged sample, or one whose
            // square overflows) reaches no threshold: it never becomes an index.
            int b = !(est >= -1) ? -1 : est > last ? last : static_cast<int>(std::floor(est));
            while (b < last && reaches(re, im, p, b + 1)) ++b;
            while (b >= 0 && !reaches(re, im, p, b)) --b;
            ++hist[static_cast<std::size_t>(b + 1)];
        }
        hists[blk] = std::move(hist);
    });
    std::vector<std::size_t> hist(K + 1, 0);
    for (const auto& h : hists)
        for (std::size_t b = 0; b <= K; ++b) hist[b] += h[b];
    std::size_t tail = 0;
    for (std::size_t k = K; k-- > 0;) {
        tail += hist[k + 1];
        counts[k] = tail;
    }
    return counts;
}

CcdfData ccdfData(std::span<const Complex> wave) {
    ComplexRow test;
    if (wave.empty()) {
        test = ccdfTestSignal();
        wave = test;
    }
    const CcdfPowerStats s = ccdfPowerStats(wave);
    CcdfData d;
    d.points = s.points;
    d.realWave = s.realWave;
    const double maxRel = 10 * std::log10(s.maxPower) - s.RMSdB;
    d.X = ccdfThresholds(maxRel, &d.maxX, &d.stepX);
    const std::vector<std::size_t> counts = ccdfCounts(wave, s, d.X);
    d.Y.resize(d.X.size());
    d.Y1.resize(d.X.size());
    for (std::size_t k = 0; k < d.X.size(); ++k) {
        d.Y[k] = static_cast<double>(counts[k]) * 100 / static_cast<double>(s.points);
        d.Y1[k] = d.realWave ? 100 * std::erfc(std::pow(10.0, d.X[k] / 20) / std::numbers::sqrt2)
                             : 100 * std::exp(-std::pow(10.0, d.X[k] / 10));
    }
    d.yMin = *std::min_element(d.Y.begin(), d.Y.end());
    if (d.yMin == 0) {
        // With no positive percentage at all (rounding put every sample
        // below 0 dB) the axis still needs a positive start.
        d.yMin = 0.001;
        for (std::size_t k = d.Y.size(); k-- > 0;)
            if (d.Y[k] > 0) {
                d.yMin = d.Y[k];
                break;
            }
        for (double& y : d.Y) y += 1e-300;
    }
    d.yMin = std::min(d.yMin, 0.001);
    d.xTicks = ticksUpTo(0, 2, d.maxX);
    return d;
}

}  // namespace bt::plots
