// I(t)/Q(t), eye and constellation data: limits, units, argument clamping
// and the general routines' messages.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <numeric>
#include <random>
#include <tuple>

#include "bluetooth/generate.h"
#include "lib/errors.h"
#include "lib/parallel.h"
#include "plots/plot_requests.h"
#include "plots/time_plots.h"

namespace {

using bt::Complex;
using bt::ComplexRow;
using namespace bt::plots;

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const bt::Error& e) {
        return e.what();
    }
    return "";
}

TEST(IqTime, NoDataDrawsTwoPeriodsOfCosineAndSine) {
    const IqTimeData d = iqTimeData({}, 0, "BLUETOOTH");
    EXPECT_EQ(d.label, "No Data");
    ASSERT_EQ(d.points, 100u);
    const auto s = d.samples();
    EXPECT_NEAR(s[0].real(), 1, 1e-12);
    EXPECT_NEAR(s[0].imag(), 0, 1e-12);
    const double phi = -2 * std::numbers::pi + 37 * 4 * std::numbers::pi / 99;
    EXPECT_DOUBLE_EQ(s[37].real(), std::cos(phi));
    EXPECT_DOUBLE_EQ(s[37].imag(), std::sin(phi));
    EXPECT_EQ(d.tUnits.name, "S");  // 100 samples at 1 Hz
    EXPECT_EQ(d.tMax, 100);
}

TEST(IqTime, OneSymmetricRangeForBothComponents) {
    ComplexRow w = {Complex(0.5, 0), Complex(-0.2, 0.8), Complex(0.1, -0.3)};
    const IqTimeData d = iqTimeData(w, 1e6, "x");
    EXPECT_EQ(d.iMax, 0.8);
    EXPECT_EQ(d.iMin, -0.8);
    EXPECT_EQ(d.samples().data(), w.data());  // no copy
    EXPECT_EQ(d.title, "I(t) Q(t)");
    EXPECT_EQ(d.yLabel, "Amplitude (V)");
    // A silent waveform keeps a usable range.
    EXPECT_EQ(iqTimeData(ComplexRow(5), 1e6, "").iMax, 1);
}

TEST(IqTime, TimeAxisUnits) {
    // 1 ms lies on the boundary between thousands: it is shown as 1 mS.
    const ComplexRow w(10000, Complex(1, -1));
    const IqTimeData d = iqTimeData(w, 10e6, "x");
    EXPECT_EQ(d.tUnits.name, "mS");
    EXPECT_EQ(d.tMin, 0);
    EXPECT_DOUBLE_EQ(d.tMax, 1);
    EXPECT_EQ(d.xLabel, "Time (mS)");
    EXPECT_DOUBLE_EQ(d.tStep, 1.0 / 9999);
    EXPECT_EQ(d.time(9999), 1);
    // 12500 samples at 10 MHz: 0 ... 1250 uS.
    const IqTimeData u = iqTimeData(ComplexRow(12500, Complex(1, 0)), 10e6, "x");
    EXPECT_EQ(u.tUnits.name, "mS");
    EXPECT_DOUBLE_EQ(u.tMax, 1.25);
    const IqTimeData v = iqTimeData(ComplexRow(9999, Complex(1, 0)), 10e6, "x");
    EXPECT_EQ(v.tUnits.name, "uS");
    EXPECT_DOUBLE_EQ(v.tMax, 999.9);
}

TEST(Eye, ArgumentsAreClampedAsTheWindowTakesThem) {
    EyeArgs a = clampEyeArgs(10, 0, 15);
    EXPECT_EQ(a.offset, 9);
    EXPECT_EQ(a.period, 1);
    a = clampEyeArgs(0, 2e-6, -3);
    EXPECT_EQ(a.n, 1);
    EXPECT_EQ(a.offset, 0);
    // n = 1 is then refused by the eye routine.
    const ComplexRow w(100, Complex(1, 1));
    EXPECT_EQ(errorOf([&] { eyeDiagram(w, a.n, a.period, a.offset); }), "N must be an integer greater than 1.");
}

TEST(Eye, Messages) {
    const ComplexRow w(100, Complex(1, 0));
    EXPECT_EQ(errorOf([&] { eyeDiagram({}, 10); }), "Input variable X is empty.");
    EXPECT_EQ(errorOf([&] { eyeDiagram(w, 10, 0); }), "PERIOD must be a positive number.");
    EXPECT_EQ(errorOf([&] { eyeDiagram(w, 10.5); }), "N must be an integer greater than 1.");
    EXPECT_EQ(errorOf([&] { eyeDiagram(w, 10, 1, 10); }), "OFFSET must be a integer in the range 0 <= OFFSET < N.");
    EXPECT_EQ(errorOf([&] { eyeDiagram(w, 10, 1, 2.5); }), "OFFSET must be a integer in the range 0 <= OFFSET < N.");
}

TEST(Eye, TracesLimitsAndTitles) {
    ComplexRow w(105);
    for (std::size_t k = 0; k < w.size(); ++k) w[k] = Complex(std::cos(0.2 * k), 0.5 * std::sin(0.2 * k));
    const EyeData e = eyeDiagram(w, 10, 2e-6, 3);
    EXPECT_EQ(e.traces, 10u);  // (105 - 3) / 10 complete traces
    EXPECT_TRUE(e.complex);
    EXPECT_EQ(e.titles.size(), 2u);
    EXPECT_EQ(e.titles[0], "Eye Diagram for In-Phase Signal");
    EXPECT_EQ(e.titles[1], "Eye Diagram for Quadrature Signal");
    EXPECT_DOUBLE_EQ(e.tMin, -1e-6);
    EXPECT_DOUBLE_EQ(e.tMax, 1e-6);
    EXPECT_DOUBLE_EQ(e.time(10), 1e-6);
    // Drawn in microseconds: a symbol reads -1 to 1, not -1e-06 to 1e-06.
    EXPECT_EQ(e.xLabel, "Time (\u00b5s)");
    EXPECT_DOUBLE_EQ(e.tMax * e.timeFactor, 1);
    EXPECT_NEAR(e.yLimit, 1.05, 1e-12);
    const EyeData r = eyeDiagram(ComplexRow(30, Complex(-2, 0)), 5);
    EXPECT_FALSE(r.complex);
    EXPECT_EQ(r.titles, std::vector<std::string>{"Eye Diagram"});
    EXPECT_DOUBLE_EQ(r.yLimit, 2.1);
}

TEST(Eye, DensityCountsEveryTraceOnce) {
    // A constant signal: each trace crosses every time column once, at the
    // same level.
    const ComplexRow w(1000, Complex(0.5, -0.5));
    const EyeData e = eyeDiagram(w, 10, 1, 0);
    const std::size_t cols = 41, rows = 21;
    const auto g = eyeDensity(w, e, 0, cols, rows);
    std::size_t total = 0;
    for (std::size_t c = 0; c < cols; ++c) {
        std::size_t inColumn = 0;
        for (std::size_t r = 0; r < rows; ++r) inColumn += g[r * cols + c];
        // The last trace has no next sample to close it: it ends at its
        // own last sample, column 36 of 0 ... 40.
        EXPECT_EQ(inColumn, c <= 36 ? e.traces : e.traces - 1) << c;
        total += inColumn;
    }
    // Columns that do not fall on the samples (33 columns over 10 samples):
    // still every column once per trace.
    const auto odd = eyeDensity(w, e, 1, 33, rows);
    for (std::size_t c = 0; c + 4 < 33; ++c) {
        std::size_t inColumn = 0;
        for (std::size_t r = 0; r < rows; ++r) inColumn += odd[r * 33 + c];
        EXPECT_EQ(inColumn, e.traces) << c;
    }
    const auto row = static_cast<std::size_t>(std::lround((0.5 + e.yLimit) * (rows - 1) / (2 * e.yLimit)));
    EXPECT_EQ(g[row * cols + 7], e.traces);
    EXPECT_EQ(total, cols * e.traces - 4);
}

TEST(Eye, DensityEqualsAColumnByColumnReference) {
    // Random traces of 7 samples after an offset of 3, on column counts
    // that fall on the samples or between them: every cell count equals a
    // plain scan of each trace's segments over every column (a column
    // belongs to the segment that starts at or before it, the last segment
    // of a trace also keeping its end column), on any number of threads.
    std::mt19937 rng(21);
    std::normal_distribution<double> g(0, 0.4);
    ComplexRow w(7 * 300 + 5);
    for (auto& z : w) z = Complex(g(rng), g(rng));
    w[40] = Complex(9, -9);  // clamped to the edge rows
    const EyeData e = eyeDiagram(w, 7, 1, 3);
    for (const std::size_t cols : {15u, 33u, 48u}) {
        const std::size_t rows = 33;
        std::vector<std::uint32_t> want(cols * rows, 0);
        const double cpp = static_cast<double>(cols - 1) / 7;
        const double rpu = static_cast<double>(rows - 1) / (2 * e.yLimit);
        auto rowOf = [&](double v) { return std::clamp((v + e.yLimit) * rpu, 0.0, static_cast<double>(rows - 1)); };
        for (std::size_t tr = 0; tr < e.traces; ++tr) {
            const std::size_t base = 3 + tr * 7;
            const std::size_t segments = base + 7 < w.size() ? 7 : 6;
            for (std::size_t j = 0; j < segments; ++j) {
                const double c0 = static_cast<double>(j) * cpp, c1 = static_cast<double>(j + 1) * cpp;
                const double r0 = rowOf(w[base + j].real()), r1 = rowOf(w[base + j + 1].real());
                for (std::size_t c = 0; c < cols; ++c) {
                    const auto cd = static_cast<double>(c);
                    if (cd < c0 || cd > c1 || (cd == c1 && j + 1 < segments)) continue;
                    const double f = c1 > c0 ? (cd - c0) / (c1 - c0) : 0;
                    ++want[static_cast<std::size_t>(r0 + f * (r1 - r0) + 0.5) * cols + c];
                }
            }
        }
        for (unsigned threads : {1u, 2u, 5u}) {
            bt::setWorkerThreads(threads);
            EXPECT_EQ(eyeDensity(w, e, 0, cols, rows), want) << cols << " " << threads;
        }
        bt::setWorkerThreads(0);
    }
}

TEST(Scatter, SymbolPointsAndMessages) {
    const ScatterArgs a = clampScatterArgs(10, 3);
    EXPECT_EQ(a.offset, 3);
    EXPECT_EQ(clampScatterArgs(10, 15).offset, 9);
    EXPECT_EQ(clampScatterArgs(0, 5).n, 1);
    ComplexRow w(100, Complex(0.3, -0.6));
    const ScatterData s = scatterPlot(w, a.n, a.offset);
    EXPECT_EQ(s.symbols, 10u);
    EXPECT_EQ(s.symbolIndex(0), 3u);  // samples 4, 14, 24, ... (1-based)
    EXPECT_EQ(s.symbolIndex(1), 13u);
    EXPECT_EQ(s.symbolIndex(9), 93u);
    EXPECT_DOUBLE_EQ(s.limit, 1.07 * 0.6);
    EXPECT_EQ(s.title, "Scatter plot");
    EXPECT_EQ(s.xLabel, "In-Phase");
    EXPECT_EQ(s.yLabel, "Quadrature");
    EXPECT_EQ(scatterPlot(ComplexRow(4), 1, 0).limit, 2.220446049250313e-16);
    EXPECT_EQ(errorOf([&] { scatterPlot({}, 1, 0); }), "Input variable X is empty.");
    EXPECT_EQ(errorOf([&] { scatterPlot(w, 0, 0); }), "N must be a positive integer.");
    EXPECT_EQ(errorOf([&] { scatterPlot(w, 2, -1); }), "OFFSET must be a nonnegative integer.");
}

// A plain single walk over the points: one grid, segments stepped cell by
// cell with the library's rounding.
std::vector<std::uint32_t> walkedDensity(const ComplexRow& w, double limit, std::size_t side, std::size_t first,
                                         std::size_t step, bool joined) {
    std::vector<std::uint32_t> g(side * side, 0);
    const double scale = static_cast<double>(side - 1) / (2 * limit);
    auto cell = [&](double v) { return std::clamp((v + limit) * scale, 0.0, static_cast<double>(side - 1)); };
    double px = 0, py = 0;
    for (std::size_t i = first; i < w.size(); i += step) {
        const double cx = cell(w[i].real()), cy = cell(w[i].imag());
        const int steps = joined && i > first ? static_cast<int>(std::ceil(std::max(std::fabs(cx - px), std::fabs(cy - py)))) : 0;
        for (int k = 0; k <= steps; ++k) {
            const double f = steps ? static_cast<double>(k) / steps : 1;
            const auto gx = static_cast<std::size_t>(std::lround(px + f * (cx - px)));
            const auto gy = static_cast<std::size_t>(std::lround(py + f * (cy - py)));
            ++g[gy * side + gx];
        }
        px = cx;
        py = cy;
    }
    return g;
}

TEST(Scatter, DensityEqualsOneWalkOnAnyNumberOfThreads) {
    // A wandering trajectory that also leaves the limits (edge cells) and
    // lands on exact half cells.
    std::mt19937 rng(11);
    std::normal_distribution<double> g(0, 0.05);
    ComplexRow w(200'003);
    Complex z(0, 0);
    for (auto& v : w) {
        z += Complex(g(rng), g(rng));
        z *= 0.99;
        v = z;
    }
    w[500] = Complex(3, -3);
    w[501] = Complex(0.25, -0.75);  // (v + 1) * 100 / 2: cells 62.5 and 12.5 exactly
    w[502] = Complex(0.25, 0.25);
    // Held points: silence, a held level, and a run across the middle where
    // two threads split the walk.
    std::fill(w.begin() + 1000, w.begin() + 1500, Complex(0, 0));
    std::fill(w.begin() + 2000, w.begin() + 2100, w[1999]);
    std::fill(w.begin() + 99'950, w.begin() + 100'050, Complex(-0.3, 0.7));
    const std::size_t side = 101;
    const double limit = 1;
    for (const auto& [first, step, joined] : {std::tuple{0u, 1u, true}, {7u, 20u, false}, {3u, 7u, true}}) {
        const auto want = walkedDensity(w, limit, side, first, step, joined);
        for (unsigned threads : {1u, 2u, 3u, 8u}) {
            bt::setWorkerThreads(threads);
            EXPECT_EQ(scatterDensity(w, limit, side, first, step, joined), want) << threads << " " << step;
        }
        bt::setWorkerThreads(0);
    }
    // Unjoined points each mark one cell.
    const auto points = scatterDensity(w, limit, side, 7, 20, false);
    EXPECT_EQ(std::accumulate(points.begin(), points.end(), std::size_t{0}), (w.size() - 7 + 19) / 20);
    // A diagonal from corner to corner marks each diagonal cell once, and
    // the first corner once more (the first point's own mark).
    const ComplexRow diag{Complex(-1, -1), Complex(1, 1)};
    const auto d = scatterDensity(diag, 1, 10, 0, 1, true);
    for (std::size_t c = 0; c < 10; ++c) EXPECT_EQ(d[c * 10 + c], c == 0 ? 2u : 1u) << c;
    EXPECT_EQ(std::accumulate(d.begin(), d.end(), 0u), 11u);
}

}  // namespace

namespace {

using namespace bt::plots;

TEST(PlotRequests, EyeAndScatterAnswers) {
    const InputRequest eye = eyeDiagramRequest();
    EXPECT_EQ(eye.title, "Eye Diagram Configuration");
    EXPECT_EQ(eye.prompts, (std::vector<std::string>{"Enter number of symbols:", "Enter symbol delay (0-1):"}));
    EXPECT_EQ(eye.defaults, (std::vector<std::string>{"1", "0"}));
    // 12500 samples at 10 per symbol hold 1250 symbols; a delay of 1.7 is 1.
    auto r = eyeRequest({"5000", "1.7"}, 12500, 10, 10e6);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->n, 12500);
    EXPECT_DOUBLE_EQ(r->period, 1.25e-3);
    EXPECT_EQ(r->delay, 10);
    r = eyeRequest({"2.5", "0.25"}, 12500, 10, 10e6);
    EXPECT_EQ(r->n, 30);  // 2.5 rounds to 3 symbols
    EXPECT_EQ(r->delay, 3);  // 2.5 samples round away from zero
    EXPECT_EQ(eyeRequest({"-4", "-1"}, 12505, 10, 10e6)->n, 10);
    EXPECT_EQ(eyeRequest({"9999", "0"}, 12505, 10, 10e6)->n, 12500);  // whole symbols only
    EXPECT_FALSE(eyeRequest({}, 100, 10, 1e6));
    EXPECT_FALSE(eyeRequest({"x", "0"}, 100, 10, 1e6));

    const InputRequest sc = scatterDiagramRequest();
    EXPECT_EQ(sc.title, "Scatter Diagram Configuration");
    EXPECT_EQ(sc.prompts, (std::vector<std::string>{"Trace On (0|1):", "Enter symbol delay (0-1):"}));
    auto s = scatterRequest({"0.4", "0.5"}, 20);
    ASSERT_TRUE(s);
    EXPECT_FALSE(s->traceOn);
    EXPECT_EQ(s->n, 20);
    EXPECT_EQ(s->delay, 10);
    EXPECT_TRUE(scatterRequest({"7", "0"}, 20)->traceOn);
    EXPECT_DOUBLE_EQ(waterfallSlice(12500, 10e6), 1.25e-3 / 200);
}

}  // namespace

namespace bt::plots {
namespace {

TEST(Frequency, ATonesFrequencyAndGapsBetweenBursts) {
    const double rate = 10e6, f0 = -312.5e3;
    ComplexRow x(400);
    for (std::size_t k = 0; k < x.size(); ++k)
        x[k] = k < 300 ? std::polar(0.8, 2 * std::numbers::pi * f0 * double(k) / rate) : Complex(0, 0);
    const std::vector<double> f = instantaneousFrequency(x, rate);
    ASSERT_EQ(f.size(), x.size());
    for (std::size_t k = 0; k + 1 < 300; ++k) ASSERT_NEAR(f[k], f0, 1e-6) << k;
    for (std::size_t k = 299; k < f.size(); ++k) EXPECT_TRUE(std::isnan(f[k])) << k;

    // Drawn small: each run keeps its extremes, a silent run is a gap.
    const FrequencyTrace few = frequencyTrace(f, rate, 40);
    ASSERT_EQ(few.t.size(), few.f.size());
    EXPECT_LE(few.t.size(), 40u);
    EXPECT_NEAR(few.f.front(), f0, 1e-6);
    EXPECT_TRUE(std::isnan(few.f.back()));
    EXPECT_LE(frequencyTrace(f, rate, 0).t.size(), 4u);  // no budget is the smallest one
    const FrequencyTrace all = frequencyTrace(f, rate, 1000);
    EXPECT_EQ(all.t.size(), f.size());
    EXPECT_DOUBLE_EQ(all.t[10], 1e-6);
}

// A GFSK packet's frequency swings to +-h/2 of the symbol rate on runs of
// equal bits: 157.5 kHz for the default modulation index 0.315.
TEST(Frequency, ThePacketsDeviationFollowsTheModulationIndex) {
    Parameters p;
    const GeneratedSignal s = Calculate(p);
    const double rate = p.OverSampling * 1e6;
    const std::vector<double> f = instantaneousFrequency(s.waveform, rate);
    double lo = 0, hi = 0;
    for (double v : f)
        if (!std::isnan(v)) lo = std::min(lo, v), hi = std::max(hi, v);
    const double deviation = p.ModIndex / 2 * 1e6;
    EXPECT_NEAR(hi, deviation, 0.05 * deviation);
    EXPECT_NEAR(lo, -deviation, 0.05 * deviation);
}

}  // namespace
}  // namespace bt::plots
