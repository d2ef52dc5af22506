// The min/max envelope: a single-sample spike anywhere shows at every zoom,
// columns agree with a plain scan, and the deepest zoom gives the samples.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

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
