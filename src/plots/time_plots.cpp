#include "plots/time_plots.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numbers>

#include "lib/errors.h"
#include "lib/parallel.h"

namespace bt::plots {

namespace {

// Largest |I| and |Q| over the samples, on the worker threads.
double largestComponent(std::span<const Complex> w) {
    constexpr std::size_t chunk = std::size_t{1} << 18;
    std::vector<double> part((w.size() + chunk - 1) / chunk, 0.0);
    parallelFor(part.size(), [&](std::size_t c) {
        double m = 0;
        const std::size_t end = std::min(w.size(), (c + 1) * chunk);
        for (std::size_t i = c * chunk; i < end; ++i)
            m = std::max({m, std::fabs(w[i].real()), std::fabs(w[i].imag())});
        part[c] = m;
    });
    double m = 0;
    for (double v : part) m = std::max(m, v);
    return m;
}

bool anyImaginary(std::span<const Complex> w) {
    return std::any_of(w.begin(), w.end(), [](const Complex& z) { return z.imag() != 0; });
}

bool isWhole(double x) { return std::isfinite(x) && x == std::floor(x); }

}  // namespace

IqTimeData iqTimeData(std::span<const Complex> wave, double sampleRate, const std::string& label) {
    if (!(sampleRate > 0)) sampleRate = 1;
    IqTimeData d;
    d.label = label;
    d.input = wave;
    if (wave.empty()) {
        d.label = "No Data";
        d.testWave.resize(100);
        const double pi = std::numbers::pi;
        for (std::size_t k = 0; k < 100; ++k) {
            const double phi = -2 * pi + static_cast<double>(k) * (4 * pi / 99);
            d.testWave[k] = Complex(std::cos(phi), std::sin(phi));
        }
    }
    const std::span<const Complex> s = d.samples();
    d.points = s.size();
    d.iMax = largestComponent(s);
    // A silent waveform would give an empty amplitude range.
    if (d.iMax == 0) d.iMax = 1;
    d.iMin = -d.iMax;
    const double period = static_cast<double>(d.points) / sampleRate;
    d.tUnits = timeUnits(period);
    d.tMin = 0;
    d.tMax = period * d.tUnits.factor;
    d.tStep = d.points > 1 ? d.tMax / static_cast<double>(d.points - 1) : 0;
    d.title = "I(t) Q(t)";
    d.xLabel = "Time (" + d.tUnits.name + ")";
    return d;
}

EyeArgs clampEyeArgs(double n, double period, double offset) {
    EyeArgs a;
    a.n = std::max(1.0, n);
    a.offset = std::min(std::max(0.0, offset), a.n - 1);
    a.period = period == 0 ? 1 : period;
    return a;
}

EyeData eyeDiagram(std::span<const Complex> x, double n, double period, double offset) {
    if (x.empty()) throw Error("Input variable X is empty.");
    if (!(period > 0)) throw Error("PERIOD must be a positive number.");
    if (!isWhole(n) || n <= 1) throw Error("N must be an integer greater than 1.");
    if (!isWhole(offset) || offset < 0 || offset >= n) throw Error("OFFSET must be a integer in the range 0 <= OFFSET < N.");
    EyeData e;
    e.n = static_cast<std::size_t>(n);
    e.period = period;
    e.offset = static_cast<std::size_t>(offset);
    e.complex = anyImaginary(x);
    e.traces = x.size() > e.offset ? (x.size() - e.offset) / e.n : 0;
    e.tMin = -period / 2;
    e.tMax = period / 2;
    if (period < 1) {
        const Unit u = timeUnits(period);
        static const std::pair<const char*, const char*> readable[] = {
            {"S", "s"}, {"mS", "ms"}, {"uS", "\u00b5s"}, {"nS", "ns"}, {"pS", "ps"}};
        for (const auto& [name, shown] : readable)
            if (u.name == name) e.xLabel = std::string("Time (") + shown + ")";
        e.timeFactor = u.factor;
    }
    // At least +-1.05 of the largest sample; a silent signal gets +-1.05.
    const double maxAll = largestComponent(x);
    e.yLimit = 1.05 * (maxAll > 0 ? maxAll : 1);
    if (e.complex)
        e.titles = {"Eye Diagram for In-Phase Signal", "Eye Diagram for Quadrature Signal"};
    else
        e.titles = {"Eye Diagram"};
    return e;
}

std::vector<std::uint32_t> eyeDensity(std::span<const Complex> x, const EyeData& e, int component,
                                      std::size_t timeBins, std::size_t ampBins) {
    std::vector<std::uint32_t> counts(timeBins * ampBins, 0);
    if (e.traces == 0 || timeBins < 2 || ampBins < 2) return counts;
    const double colsPerPoint = static_cast<double>(timeBins - 1) / static_cast<double>(e.n);
    const double rowsPerUnit = static_cast<double>(ampBins - 1) / (2 * e.yLimit);
    const auto rowOf = [&](double v) {
        const double r = (v + e.yLimit) * rowsPerUnit;
        // Not-a-number (a damaged sample, or an infinite limit) lies on the
        // bottom row instead of becoming an index.
        return r >= 0 ? std::min(r, static_cast<double>(ampBins - 1)) : 0.0;
    };
    // Each thread fills its own grid; the grids are added at the end.
    const unsigned threads = std::max(1u, workerThreads());
    const std::size_t per = (e.traces + threads - 1) / threads;
    std::vector<std::vector<std::uint32_t>> grids(threads);
    parallelFor(threads, [&](std::size_t th) {
        std::vector<std::uint32_t> g(timeBins * ampBins, 0);
        const std::size_t t0 = th * per, t1 = std::min(e.traces, t0 + per);
        // The columns each segment owns and where they lie along it are the
        // same for every trace: worked out once.
        // Flat tables, for segment j: its cells from begin[j], `all[j]` of
        // them at the trace's end, `inner[j]` elsewhere (one fewer when the
        // next segment starts on its last column, which happens only when
        // the boundary falls exactly on a column).
        std::vector<std::size_t> cellCol, begin(e.n), all(e.n), inner(e.n);
        std::vector<double> cellF;
        for (std::size_t j = 0; j < e.n; ++j) {
            const double c0 = static_cast<double>(j) * colsPerPoint;
            const double c1 = static_cast<double>(j + 1) * colsPerPoint;
            const auto ca = static_cast<std::size_t>(std::ceil(c0));
            const auto cb = static_cast<std::size_t>(std::floor(c1));
            begin[j] = cellCol.size();
            for (std::size_t c = ca; c <= cb && c < timeBins; ++c) {
                cellCol.push_back(c);
                cellF.push_back(c1 > c0 ? (static_cast<double>(c) - c0) / (c1 - c0) : 0);
            }
            all[j] = cellCol.size() - begin[j];
            const bool shared = all[j] > 0 && static_cast<double>(cellCol.back()) == c1;
            inner[j] = shared ? all[j] - 1 : all[j];
        }
        const double* base0 = reinterpret_cast<const double*>(x.data()) + (component == 0 ? 0 : 1);
        for (std::size_t tr = t0; tr < t1; ++tr) {
            const std::size_t base = e.offset + tr * e.n;
            const std::size_t pts = base + e.n < x.size() ? e.n + 1 : e.n;
            // Every segment between neighbouring samples marks the cells of
            // the columns it crosses, its level interpolated per column; a
            // column on the boundary belongs to the later segment, except
            // at the trace's end.
            double r1 = rowOf(base0[2 * base]);
            for (std::size_t j = 0; j + 1 < pts; ++j) {
                const double r0 = r1;
                r1 = rowOf(base0[2 * (base + j + 1)]);
                const double dr = r1 - r0;
                const std::size_t from = begin[j], to = from + (j + 2 < pts ? inner[j] : all[j]);
                for (std::size_t k = from; k < to; ++k) {
                    // Truncated through a signed integer, which is one
                    // instruction (the value is never negative).
                    const auto r = static_cast<std::size_t>(static_cast<std::int64_t>(r0 + cellF[k] * dr + 0.5));
                    ++g[r * timeBins + cellCol[k]];
                }
            }
        }
        grids[th] = std::move(g);
    });
    for (const auto& g : grids)
        for (std::size_t i = 0; i < counts.size(); ++i) counts[i] += g[i];
    return counts;
}

ScatterArgs clampScatterArgs(double n, double offset) {
    ScatterArgs a;
    a.n = std::max(1.0, n);
    a.offset = std::min(std::max(0.0, offset), a.n - 1);
    return a;
}

ScatterData scatterPlot(std::span<const Complex> x, double n, double offset) {
    if (x.empty()) throw Error("Input variable X is empty.");
    if (!isWhole(n) || n < 1) throw Error("N must be a positive integer.");
    if (!isWhole(offset) || offset < 0) throw Error("OFFSET must be a nonnegative integer.");
    ScatterData s;
    s.n = static_cast<std::size_t>(n);
    s.offset = static_cast<std::size_t>(offset);
    s.symbols = x.size() > s.offset ? (x.size() - s.offset + s.n - 1) / s.n : 0;
    const double maxAll = largestComponent(x);
    s.limit = maxAll > 0 ? 1.07 * maxAll : 2.220446049250313e-16;
    return s;
}

namespace {

// std::lround for 0 <= v < 2^52, without the library call: v minus its
// whole part is exact, so the half-way test is too.
// (Through a signed integer: the processor converts to that in one
// instruction, to an unsigned one in several.)
inline std::size_t roundNonNegative(double v) {
    const auto whole = static_cast<std::int64_t>(v);
    return static_cast<std::size_t>(whole + (v - static_cast<double>(whole) >= 0.5 ? 1 : 0));
}

}  // namespace

std::vector<std::uint32_t> scatterDensity(std::span<const Complex> x, double limit, std::size_t side,
                                          std::size_t first, std::size_t step, bool joined) {
    std::vector<std::uint32_t> counts(side * side, 0);
    if (side == 0 || step == 0 || first >= x.size()) return counts;
    const std::size_t points = (x.size() - first + step - 1) / step;
    const double scale = static_cast<double>(side - 1) / (2 * limit);
    const double top = static_cast<double>(side - 1);
    // Not-a-number lies on the first cell instead of becoming an index.
    auto cell = [&](double v) {
        const double c = (v + limit) * scale;
        return c >= 0 ? std::min(c, top) : 0.0;
    };
    // Each thread walks its own run of points into its own grid, starting
    // from the point before its run, so every segment is drawn once and
    // exactly as a single walk draws it; the grids are added at the end.
    const std::size_t threads = std::min<std::size_t>(std::max(1u, workerThreads()), (points + 4095) / 4096);
    const std::size_t per = (points + threads - 1) / threads;
    std::vector<std::vector<std::uint32_t>> grids(threads);
    parallelFor(threads, [&](std::size_t th) {
        std::vector<std::uint32_t> own;
        std::vector<std::uint32_t>& g = th == 0 ? counts : own;
        if (th != 0) own.assign(side * side, 0);
        const std::size_t p0 = th * per, p1 = std::min(points, p0 + per);
        double px = 0, py = 0;
        Complex previous;
        if (joined && p0 > 0) {
            previous = x[first + (p0 - 1) * step];
            px = cell(previous.real());
            py = cell(previous.imag());
        }
        // A point equal to the one before it (silence, a held level) is a
        // segment of no length: it marks the previous point's cell, worked
        // out once for a run of them.
        constexpr std::size_t none = ~std::size_t{0};
        std::size_t stillCell = none;
        for (std::size_t p = p0; p < p1; ++p) {
            const Complex& z = x[first + p * step];
            if (joined && p > 0 && z == previous) {
                if (stillCell == none) stillCell = roundNonNegative(py) * side + roundNonNegative(px);
                ++g[stillCell];
                continue;
            }
            stillCell = none;
            previous = z;
            const double cx = cell(z.real()), cy = cell(z.imag());
            if (joined && p > 0) {
                const double dx = cx - px, dy = cy - py;
                const double span = std::max(std::fabs(dx), std::fabs(dy));
                // ceil(span) for 0 <= span < side, without the library call.
                auto steps = static_cast<int>(span);
                steps += static_cast<double>(steps) < span ? 1 : 0;
                if (steps == 0) {
                    ++g[roundNonNegative(py + dy) * side + roundNonNegative(px + dx)];
                } else {
                    // The ends need no division: k/steps is 0 and 1 there.
                    ++g[roundNonNegative(py) * side + roundNonNegative(px)];
                    for (int k = 1; k < steps; ++k) {
                        const double f = static_cast<double>(k) / steps;
                        ++g[roundNonNegative(py + f * dy) * side + roundNonNegative(px + f * dx)];
                    }
                    ++g[roundNonNegative(py + dy) * side + roundNonNegative(px + dx)];
                }
            } else {
                ++g[roundNonNegative(cy) * side + roundNonNegative(cx)];
            }
            px = cx;
            py = cy;
        }
        if (th != 0) grids[th] = std::move(own);
    });
    for (std::size_t th = 1; th < threads; ++th)
        for (std::size_t i = 0; i < counts.size(); ++i) counts[i] += grids[th][i];
    return counts;
}

std::vector<double> instantaneousFrequency(std::span<const Complex> x, double sampleRate, double silence) {
    if (!(sampleRate > 0)) sampleRate = 1;
    std::vector<double> f(x.size(), std::numeric_limits<double>::quiet_NaN());
    double peak = 0;
    for (const Complex& z : x) peak = std::max(peak, std::norm(z));
    const double floor2 = silence * silence * peak;
    const double scale = sampleRate / (2 * std::numbers::pi);
    for (std::size_t k = 0; k + 1 < x.size(); ++k) {
        const Complex& a = x[k];
        const Complex& b = x[k + 1];
        if (std::norm(a) <= floor2 || std::norm(b) <= floor2) continue;
        f[k] = std::arg(b * std::conj(a)) * scale;
    }
    return f;
}

FrequencyTrace frequencyTrace(std::span<const double> frequency, double sampleRate, std::size_t maxPoints) {
    if (!(sampleRate > 0)) sampleRate = 1;
    FrequencyTrace out;
    const std::size_t n = frequency.size();
    maxPoints = std::max<std::size_t>(maxPoints, 4);  // two points a run, at least two runs
    if (n <= maxPoints) {
        out.t.resize(n);
        for (std::size_t k = 0; k < n; ++k) out.t[k] = static_cast<double>(k) / sampleRate;
        out.f.assign(frequency.begin(), frequency.end());
        return out;
    }
    const std::size_t run = (n + maxPoints / 2 - 1) / (maxPoints / 2);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (std::size_t a = 0; a < n; a += run) {
        const std::size_t b = std::min(n, a + run);
        double lo = INFINITY, hi = -INFINITY;
        for (std::size_t k = a; k < b; ++k) {
            if (std::isnan(frequency[k])) continue;
            lo = std::min(lo, frequency[k]);
            hi = std::max(hi, frequency[k]);
        }
        const double t = static_cast<double>(a) / sampleRate;
        if (lo > hi) {
            out.t.push_back(t);
            out.f.push_back(nan);
            continue;
        }
        out.t.insert(out.t.end(), {t, t});
        out.f.insert(out.f.end(), {lo, hi});
    }
    return out;
}

}  // namespace bt::plots
