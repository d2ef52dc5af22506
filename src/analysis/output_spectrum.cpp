#include "analysis/output_spectrum.h"

#include <fftw3.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <numbers>
#include <stdexcept>

#include "analysis/receiver.h"
#include "lib/fftw_planner.h"

namespace bt::analysis {

namespace {

struct FftwFree {
    void operator()(void* p) const { fftw_free(p); }
};
using FftwBuffer = std::unique_ptr<fftw_complex[], FftwFree>;

// One forward transform of `points`, made and freed under the planner's lock.
class Transform {
public:
    explicit Transform(std::size_t points)
        : in_(fftw_alloc_complex(points)), out_(fftw_alloc_complex(points)) {
        if (!in_ || !out_) throw std::bad_alloc();
        std::lock_guard lock(fftwPlannerMutex());
        plan_ = fftw_plan_dft_1d(static_cast<int>(points), in_.get(), out_.get(), FFTW_FORWARD, FFTW_ESTIMATE);
        if (plan_ == nullptr) throw std::runtime_error("No FFT plan for the output spectrum.");
    }
    ~Transform() {
        std::lock_guard lock(fftwPlannerMutex());
        fftw_destroy_plan(plan_);
    }
    Transform(const Transform&) = delete;
    Transform& operator=(const Transform&) = delete;
    fftw_complex* in() { return in_.get(); }
    const fftw_complex* out() const { return out_.get(); }
    void run() { fftw_execute(plan_); }

private:
    FftwBuffer in_, out_;
    fftw_plan plan_ = nullptr;
};

double toDb(double p) { return p > 0 ? 10 * std::log10(p) : -400.0; }

}  // namespace

double OutputSpectrum::frequencyOf(std::size_t k) const {
    const double f = double(k) * binHz();
    return 2 * k > points ? f - sampleRate : f;
}

void OutputSpectrum::add(const OutputSpectrum& other) {
    if (other.empty()) return;
    if (empty()) {
        *this = other;
        return;
    }
    if (other.points != points || other.sampleRate != sampleRate) return;  // another analyser setting
    const double a = double(windows) / double(windows + other.windows);
    for (std::size_t k = 0; k < points; ++k) {
        peakHold[k] = std::max(peakHold[k], other.peakHold[k]);
        average[k] = a * average[k] + (1 - a) * other.average[k];
    }
    windows += other.windows;
    packets += other.packets;
}

void OutputSpectrum::scale(double factor) {
    if (!(factor > 0)) return;
    for (double& p : peakHold) p /= factor;
    for (double& p : average) p /= factor;
}

OutputSpectrum outputSpectrum(const SampleSource& source, double sampleRate, const std::vector<SampleSpan>& packets) {
    OutputSpectrum s;
    s.sampleRate = sampleRate;
    // A Hann window's noise bandwidth is 1.5 bins of its own length.
    const auto length = static_cast<std::size_t>(std::lround(1.5 * sampleRate / kSpectrumResolutionHz));
    const std::size_t hop = std::max<std::size_t>(1, length / 2);
    bool any = false;
    for (const SampleSpan& p : packets) any = any || p.end >= p.begin + length;
    if (!any || length < 2) return s;
    // Zero-padded to twice the window at least, so the -20 dB points are
    // read between bins a third of the resolution apart or closer.
    s.points = std::bit_ceil(2 * length);
    s.peakHold.assign(s.points, 0.0);
    s.average.assign(s.points, 0.0);
    std::vector<double> window(length);
    double energy = 0;
    for (std::size_t k = 0; k < length; ++k) {
        const double v = std::sin(std::numbers::pi * (double(k) + 0.5) / double(length));
        window[k] = v * v;
        energy += window[k] * window[k];
    }
    // Parseval: the bins of one window add up to its weighted mean power.
    const double norm = 1.0 / (double(s.points) * energy);
    Transform t(s.points);
    std::vector<CFloat> x;
    std::vector<double> power(s.points);
    for (const SampleSpan& p : packets) {
        if (p.end < p.begin + length) continue;
        const std::size_t n = p.end - p.begin;
        x.resize(n);
        source.read(p.begin, n, x.data());
        // Windows centred in the packet.
        const std::size_t count = (n - length) / hop + 1;
        const std::size_t first = (n - length - (count - 1) * hop) / 2;
        for (std::size_t w = 0; w < count; ++w) {
            const CFloat* seg = x.data() + first + w * hop;
            fftw_complex* in = t.in();
            for (std::size_t k = 0; k < length; ++k) {
                in[k][0] = double(seg[k].real()) * window[k];
                in[k][1] = double(seg[k].imag()) * window[k];
            }
            for (std::size_t k = length; k < s.points; ++k) in[k][0] = in[k][1] = 0;
            t.run();
            const fftw_complex* out = t.out();
            for (std::size_t k = 0; k < s.points; ++k) {
                const double v = (out[k][0] * out[k][0] + out[k][1] * out[k][1]) * norm;
                s.peakHold[k] = std::max(s.peakHold[k], v);
                s.average[k] += v;
            }
            ++s.windows;
        }
        ++s.packets;
    }
    for (double& v : s.average) v /= double(s.windows);
    return s;
}

std::optional<TwentyDbBandwidth> twentyDbBandwidth(const OutputSpectrum& s) {
    if (s.empty()) return std::nullopt;
    const std::size_t n = s.points;
    // Bins in order of frequency, from -sampleRate/2 up.
    const auto bin = [&](std::size_t i) { return (i + n / 2) % n; };
    const auto level = [&](std::size_t i) { return toDb(s.peakHold[bin(i)]); };
    const auto freq = [&](std::size_t i) { return (double(i) - double(n / 2)) * s.binHz(); };
    double peak = -1e300;
    for (std::size_t i = 0; i < n; ++i) peak = std::max(peak, level(i));
    const double floor = peak - 20;
    std::size_t lo = 0, hi = n - 1;
    while (lo < n && level(lo) < floor) ++lo;
    while (hi > lo && level(hi) < floor) --hi;
    // Between the last bin below the level and the first at or above it,
    // linearly in decibels.
    const auto cross = [&](std::size_t below, std::size_t above) {
        const double a = level(below), b = level(above);
        const double u = b > a ? (floor - a) / (b - a) : 0.0;
        return freq(below) + u * (freq(above) - freq(below));
    };
    TwentyDbBandwidth bw;
    bw.lower = lo > 0 ? cross(lo - 1, lo) : freq(0);
    bw.upper = hi + 1 < n ? cross(hi + 1, hi) : freq(n - 1);
    return bw;
}

std::vector<ChannelPower> channelPowers(const OutputSpectrum& s) {
    std::vector<ChannelPower> channels;
    if (s.empty()) return channels;
    const int reach = static_cast<int>(std::floor(s.sampleRate / 2e6 - 0.5 + 1e-9));
    std::vector<double> sums(static_cast<std::size_t>(2 * reach + 1), 0.0);
    for (std::size_t k = 0; k < s.points; ++k) {
        const double f = s.frequencyOf(k) / 1e6;
        const double m = std::round(f);
        if (std::fabs(m) > reach) continue;
        // A bin on the boundary between two channels is shared.
        const double weight = std::fabs(std::fabs(f - m) - 0.5) < 1e-12 ? 0.5 : 1.0;
        sums[static_cast<std::size_t>(int(m) + reach)] += weight * s.average[k];
        if (weight < 1) {
            const double other = f > m ? m + 1 : m - 1;
            if (std::fabs(other) <= reach) sums[static_cast<std::size_t>(int(other) + reach)] += weight * s.average[k];
        }
    }
    const double inBand = sums[static_cast<std::size_t>(reach)];
    channels.push_back({0, toDb(inBand), 0.0});
    for (int m = -reach; m <= reach; ++m) {
        if (m == 0) continue;
        const double p = sums[static_cast<std::size_t>(m + reach)];
        channels.push_back({m, toDb(p), toDb(p) - toDb(inBand)});
    }
    return channels;
}

}  // namespace bt::analysis
