#include "analysis/channel_filter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace bt::analysis {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr std::size_t kPerUs = 1024;  // table entries per microsecond

double sinc(double x) { return x == 0 ? 1.0 : std::sin(kPi * x) / (kPi * x); }

// The raised cosine's impulse response at u microseconds, tapered.
double kernel(double u) {
    const double fc = kChannelFilterCutoffHz / 1e6;
    const double a = kChannelFilterRollOff;
    const double au = std::fabs(u);
    if (au >= kChannelFilterHalfSpanUs) return 0;
    const double d = 1 - (4 * a * fc * u) * (4 * a * fc * u);
    double v;
    if (std::fabs(d) < 1e-9) {
        // The removable singularity: the mean of its two sides.
        v = 0.5 * (kernel(u - 1e-6) + kernel(u + 1e-6));
        return v;
    }
    v = 2 * fc * sinc(2 * fc * u) * std::cos(kPi * a * 2 * fc * u) / d;
    const double taperFrom = kChannelFilterHalfSpanUs - 1;
    if (au > taperFrom) {
        const double c = std::cos(kPi * (au - taperFrom) / 2);
        v *= c * c;
    }
    return v;
}

struct Table {
    std::vector<double> value, slope;  // at u = (i - centre) / kPerUs
    std::size_t centre = 0;
};

const Table& table() {
    static const Table t = [] {
        Table r;
        r.centre = static_cast<std::size_t>(kChannelFilterHalfSpanUs * kPerUs);
        const std::size_t size = 2 * r.centre + 2;
        r.value.resize(size);
        r.slope.resize(size);
        const double h = 1e-5;
        for (std::size_t i = 0; i < size; ++i) {
            const double u = (double(i) - double(r.centre)) / kPerUs;
            r.value[i] = kernel(u);
            r.slope[i] = (kernel(u + h) - kernel(u - h)) / (2 * h);
        }
        return r;
    }();
    return t;
}

// The kernel read between the table's points; nothing outside it.
double tapAt(const Table& tab, double pos) {
    if (pos < 0) return 0;
    const auto i = static_cast<std::size_t>(pos);
    if (i + 1 >= tab.value.size()) return 0;
    return tab.value[i] + (pos - double(i)) * (tab.value[i + 1] - tab.value[i]);
}

}  // namespace

ChannelFilter::ChannelFilter(const CFloat* x, std::size_t n, double sps, RowEdges edges)
    : x_(x), n_(n), edges_(edges), sps_(sps), step_(double(kPerUs) / sps),
      reach_(static_cast<std::size_t>(std::ceil(kChannelFilterHalfSpanUs * sps))) {}

void ChannelFilter::atWithSlope(double t, Complex& value, Complex& slope) const {
    const Table& tab = table();
    double vr = 0, vi = 0, sr = 0, si = 0;
    const double lo = std::max(-double(edges_.beforeCount), std::ceil(t - double(reach_)));
    const double hi = std::min(double(n_ + edges_.afterCount) - 1, std::floor(t + double(reach_)));
    for (double kd = lo; kd <= hi; kd += 1) {
        CFloat sample;
        if (kd < 0) sample = edges_.before[edges_.beforeCount - static_cast<std::size_t>(-kd)];
        else if (kd >= double(n_)) sample = edges_.after[static_cast<std::size_t>(kd) - n_];
        else sample = x_[static_cast<std::size_t>(kd)];
        const double pos = (t - kd) * step_ + double(tab.centre);
        if (pos < 0) continue;
        const auto i = static_cast<std::size_t>(pos);
        if (i + 1 >= tab.value.size()) continue;
        const double u = pos - double(i);
        const double g = tab.value[i] + u * (tab.value[i + 1] - tab.value[i]);
        const double s = tab.slope[i] + u * (tab.slope[i + 1] - tab.slope[i]);
        const double xr = sample.real(), xi = sample.imag();
        vr += xr * g, vi += xi * g;
        sr += xr * s, si += xi * s;
    }
    value = Complex(vr, vi);
    slope = Complex(sr, si) / sps_;
}

Complex ChannelFilter::at(double t) const {
    const Table& tab = table();
    double vr = 0, vi = 0;
    const double lo = std::max(-double(edges_.beforeCount), std::ceil(t - double(reach_)));
    const double hi = std::min(double(n_ + edges_.afterCount) - 1, std::floor(t + double(reach_)));
    const auto sampleAt = [&](double kd) {
        if (kd < 0) return edges_.before[edges_.beforeCount - static_cast<std::size_t>(-kd)];
        if (kd >= double(n_)) return edges_.after[static_cast<std::size_t>(kd) - n_];
        return x_[static_cast<std::size_t>(kd)];
    };
    const auto add = [&](double pos, CFloat x) {
        const double g = tapAt(tab, pos);
        vr += x.real() * g, vi += x.imag() * g;
    };
    const auto posOf = [&](double kd) { return (t - kd) * step_ + double(tab.centre); };
    // Inside the row, a plain loop over it; the edges beyond it on either side.
    const double inLo = std::max(lo, 0.0), inHi = std::min(hi, double(n_) - 1);
    for (double kd = lo; kd < inLo; kd += 1) add(posOf(kd), sampleAt(kd));
    if (inHi >= inLo) {
        const auto k0 = static_cast<std::size_t>(inLo), k1 = static_cast<std::size_t>(inHi);
        double pos = posOf(inLo);
        for (std::size_t k = k0; k <= k1; ++k, pos -= step_) add(pos, x_[k]);
    }
    for (double kd = std::max(inHi + 1, lo); kd <= hi; kd += 1) add(posOf(kd), sampleAt(kd));
    return {vr, vi};
}

void ChannelFilter::atGrid(double t0, double step, std::size_t count, Complex* out) const {
    const double whole = std::round(step);
    if (std::fabs(step - whole) > 1e-9 || whole < 1) {
        for (std::size_t k = 0; k < count; ++k) out[k] = at(t0 + double(k) * step);
        return;
    }
    const Table& tab = table();
    const double base0 = std::floor(t0);
    const double frac = t0 - base0;
    const auto r = static_cast<std::ptrdiff_t>(reach_);
    std::vector<float> taps(2 * reach_ + 2);
    for (std::ptrdiff_t j = -r; j <= r + 1; ++j) {
        taps[std::size_t(j + r)] = static_cast<float>(tapAt(tab, (frac - double(j)) * step_ + double(tab.centre)));
    }
    const auto stride = static_cast<std::ptrdiff_t>(whole);
    for (std::size_t k = 0; k < count; ++k) {
        const double base = base0 + double(std::ptrdiff_t(k) * stride);
        if (base - double(r) < 0 || base + double(r) + 1 >= double(n_)) {
            out[k] = at(t0 + double(k) * step);
            continue;
        }
        const CFloat* x = x_ + static_cast<std::ptrdiff_t>(base) - r;
        float re = 0, im = 0;
        for (std::size_t j = 0; j < taps.size(); ++j) re += x[j].real() * taps[j], im += x[j].imag() * taps[j];
        out[k] = Complex(re, im);
    }
}

double ChannelFilter::frequency(double t) const {
    Complex v, s;
    atWithSlope(t, v, s);
    const double p = std::norm(v);
    return p > 0 ? (std::conj(v) * s).imag() / p : 0.0;
}

FilteredPhase::FilteredPhase(const ChannelFilter& f, double from, double to, double sps) : filter_(f) {
    if (!(to > from)) return;
    step_ = sps / 2;
    from_ = from;
    const auto count = static_cast<std::size_t>(std::ceil((to - from) / step_)) + 1;
    grid_.resize(count);
    value_.resize(count);
    f.atGrid(from_, step_, count, value_.data());
    double unwrapped = 0;
    for (std::size_t k = 0; k < count; ++k) {
        if (k > 0) unwrapped += std::arg(value_[k] * std::conj(value_[k - 1]));
        grid_[k] = unwrapped;
    }
}

double FilteredPhase::phase(double t) const {
    const double x = std::clamp((t - from_) / step_, 0.0, double(grid_.size() - 1));
    const auto k = static_cast<std::size_t>(std::lround(x));
    const double at = gridTime(k);
    if (t == at) return grid_[k];
    return grid_[k] + std::arg(filter_.at(t) * std::conj(value_[k]));
}

}  // namespace bt::analysis
