// The min/max envelope: a single-sample spike anywhere shows at every zoom,
// columns agree with a plain scan, and the deepest zoom gives the samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "plots/envelope.h"

namespace {

using bt::Complex;
using bt::ComplexRow;
using bt::plots::Envelope;

TEST(Envelope, SingleSampleSpikeVisibleAtEveryZoom) {
    const std::size_t N = 3'000'017;
    ComplexRow w(N);
    for (std::size_t k = 0; k < N; ++k) w[k] = Complex(0.1 * std::sin(0.01 * k), -0.1 * std::cos(0.013 * k));
    std::mt19937 rng(3);
    for (int trial = 0; trial < 8; ++trial) {
        const std::size_t at = std::uniform_int_distribution<std::size_t>(0, N - 1)(rng);
        w[at] = Complex(0.75, -0.9);
        const Envelope i = Envelope::ofComponent(w, 0), q = Envelope::ofComponent(w, 1);
        // Both components' levels together: under an eighth of the waveform.
        EXPECT_LE(i.memoryBytes() + q.memoryBytes(), N * sizeof(Complex) / 8);
        // Views from the whole waveform down to a few samples around the
        // spike, on 700 columns, at shifted positions.
        for (double width = static_cast<double>(N); width >= 4; width /= 3.7) {
            const double first = std::max(0.0, static_cast<double>(at) - width * 0.37);
            const Envelope::View vi = i.view(first, first + width, 700);
            const Envelope::View vq = q.view(first, first + width, 700);
            EXPECT_GE(*std::max_element(vi.hi.begin(), vi.hi.end()), 0.75) << at << " " << width;
            EXPECT_LE(*std::min_element(vq.lo.begin(), vq.lo.end()), -0.9) << at << " " << width;
        }
        w[at] = Complex(0, 0);
    }
}

TEST(Envelope, ColumnsMatchAPlainScanAndDeepZoomGivesSamples) {
    std::vector<float> v(100000);
    std::mt19937 rng(5);
    std::normal_distribution<float> g;
    for (float& x : v) x = g(rng);
    const Envelope e = Envelope::ofValues(v);
    EXPECT_EQ(e.levels(), 4u);  // 6250, 391, 25, 2 entries
    const Envelope::View view = e.view(1024, 1024 + 64000, 250);  // 256 samples a column
    ASSERT_FALSE(view.raw);
    ASSERT_EQ(view.keys.size(), 250u);
    for (std::size_t c = 0; c < 250; ++c) {
        const auto a = static_cast<std::size_t>(view.keys[c]);
        EXPECT_EQ(a, 1024 + c * 256);
        // Level entries of 256 line up with these columns exactly.
        const float lo = *std::min_element(v.begin() + static_cast<long>(a), v.begin() + static_cast<long>(a + 256));
        const float hi = *std::max_element(v.begin() + static_cast<long>(a), v.begin() + static_cast<long>(a + 256));
        EXPECT_EQ(view.lo[c], lo);
        EXPECT_EQ(view.hi[c], hi);
    }
    const Envelope::View raw = e.view(500, 600, 400);
    ASSERT_TRUE(raw.raw);
    ASSERT_EQ(raw.keys.size(), 100u);
    EXPECT_EQ(raw.keys[0], 500);
    EXPECT_EQ(raw.lo[7], v[507]);
}

TEST(Envelope, WaveformColumnsCoverAPlainScanAtEveryZoom) {
    // A waveform's envelope keeps no finest level: up to 256 samples a
    // column are read from the samples (exactly a plain scan), beyond that
    // from coarser levels (a span that covers the column's).
    ComplexRow w(1'000'000);
    std::mt19937 rng(7);
    std::normal_distribution<double> g;
    for (auto& z : w) z = Complex(g(rng), g(rng));
    const Envelope q = Envelope::ofComponent(w, 1);
    EXPECT_LE(q.memoryBytes(), w.size() * sizeof(Complex) / 400);
    for (const double width : {1'000'000.0, 250'000.0, 100'000.0, 25'000.0, 4'000.0, 1'000.0}) {
        const double first = 123'457;
        const std::size_t columns = 500;
        const Envelope::View v = q.view(first, std::min(first + width, 1e6), columns);
        ASSERT_EQ(v.keys.size(), v.raw ? static_cast<std::size_t>(std::min(width, 1e6 - first)) : columns);
        if (v.raw) continue;
        for (std::size_t c = 0; c < columns; ++c) {
            const auto a = static_cast<std::size_t>(v.keys[c]);
            const std::size_t b = c + 1 < columns ? static_cast<std::size_t>(v.keys[c + 1])
                                                  : static_cast<std::size_t>(std::min(first + width, 1e6));
            double lo = INFINITY, hi = -INFINITY;
            for (std::size_t i = a; i < b; ++i) {
                lo = std::min(lo, w[i].imag());
                hi = std::max(hi, w[i].imag());
            }
            if ((b - a) < 256) {
                EXPECT_EQ(v.lo[c], lo) << width << " " << c;
                EXPECT_EQ(v.hi[c], hi) << width << " " << c;
            } else {
                EXPECT_LE(v.lo[c], lo) << width << " " << c;
                EXPECT_GE(v.hi[c], hi) << width << " " << c;
            }
        }
    }
}

TEST(Envelope, LevelsAloneNeverHideAOneValuePeak) {
    // A spectrum-like row in dB, dropped once the levels are built: a
    // single-bin peak still shows at every zoom, the deepest included,
    // where each column shows the span of the run of 16 values it falls in.
    const std::size_t N = 1'000'003;
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> floor(-95, -60);
    for (int trial = 0; trial < 4; ++trial) {
        const std::size_t at = std::uniform_int_distribution<std::size_t>(0, N - 1)(rng);
        Envelope e;
        {
            std::vector<float> row(N);
            for (float& v : row) v = floor(rng);
            row[at] = -3.5f;
            e = Envelope::levelsOf(row);
            std::fill(row.begin(), row.end(), 0.0f);  // nothing reads the row any more
        }
        EXPECT_FALSE(e.hasValues());
        EXPECT_LE(e.memoryBytes(), N * sizeof(float) / 7);
        for (double width = static_cast<double>(N); width >= 2; width /= 3.1) {
            const double first = std::max(0.0, static_cast<double>(at) - width * 0.61);
            const Envelope::View v = e.view(first, first + width, 700);
            EXPECT_FALSE(v.raw);
            EXPECT_EQ(*std::max_element(v.hi.begin(), v.hi.end()), -3.5f) << at << " " << width;
            EXPECT_GE(*std::min_element(v.lo.begin(), v.lo.end()), -95) << at << " " << width;
        }
    }
    // A short row is copied whole: its deepest zoom is the values.
    Envelope shortRow;
    {
        std::vector<float> row(1000, -40.0f);
        row[321] = -1.25f;
        shortRow = Envelope::levelsOf(row);
        std::fill(row.begin(), row.end(), 0.0f);
    }
    ASSERT_TRUE(shortRow.hasValues());
    const Envelope::View raw = shortRow.view(300, 340, 400);
    ASSERT_TRUE(raw.raw);
    EXPECT_EQ(raw.lo[21], -1.25);
    EXPECT_EQ(raw.lo[20], -40);
    const Envelope::View all = shortRow.view(0, 1000, 50);
    EXPECT_EQ(*std::max_element(all.hi.begin(), all.hi.end()), -1.25);
}

TEST(Envelope, MarkerBitsDrawAsTheBytes) {
    // Marker rows packed to bits give the same views as the bytes, at every
    // zoom.
    std::vector<std::uint8_t> row(300'037, 0);
    std::mt19937 rng(13);
    for (std::size_t i = 0; i < row.size(); i += std::uniform_int_distribution<std::size_t>(1, 5000)(rng))
        for (std::size_t k = i; k < std::min(row.size(), i + 40); ++k) row[k] = 1;
    row[299'999] = 1;
    row[300'036] = 1;  // the last, in a partly used word
    const std::vector<std::uint64_t> bits = Envelope::packBits(row);
    ASSERT_EQ(bits.size(), (row.size() + 63) / 64);
    const Envelope b = Envelope::ofBytes(row), w = Envelope::ofBits(bits, row.size());
    EXPECT_EQ(w.size(), row.size());
    EXPECT_EQ(w.value(299'999), 1);
    EXPECT_EQ(w.value(300'036), 1);
    for (const auto& [first, last] : {std::pair{0.0, 300'037.0}, {1'000.0, 61'000.0}, {299'000.0, 300'037.0},
                                      {299'990.0, 300'010.0}}) {
        const Envelope::View vb = b.view(first, last, 300), vw = w.view(first, last, 300);
        EXPECT_EQ(vw.raw, vb.raw);
        EXPECT_EQ(vw.keys, vb.keys);
        EXPECT_EQ(vw.lo, vb.lo) << first;
        EXPECT_EQ(vw.hi, vb.hi) << first;
    }
    // Any non-zero byte is a set marker.
    EXPECT_EQ(Envelope::packBits(std::vector<std::uint8_t>{0, 7, 0, 255}), std::vector<std::uint64_t>{0b1010});
}

TEST(Envelope, ExtremesAreRoundedOutwards) {
    // A double that float rounds inwards stays inside the stored span.
    ComplexRow w(64, Complex(0, 0));
    w[10] = Complex(0.1, -0.1);  // float(0.1) > 0.1 but float(-0.1) < -0.1
    w[11] = Complex(1.0 / 3, -1.0 / 3);
    const Envelope i = Envelope::ofComponent(w, 0);
    const Envelope::View v = i.view(0, 63, 2);
    EXPECT_GE(*std::max_element(v.hi.begin(), v.hi.end()), 1.0 / 3);
    const Envelope q = Envelope::ofComponent(w, 1);
    const Envelope::View vq = q.view(0, 63, 2);
    EXPECT_LE(*std::min_element(vq.lo.begin(), vq.lo.end()), -1.0 / 3);
}

}  // namespace
