// Plot window placement over a parent and on the bare screen.
#include <gtest/gtest.h>

#include "plots/placement.h"

namespace {

using namespace bt::plots;
using bt::WindowRect;

void expectRect(const WindowRect& r, double l, double b, double w, double h) {
    EXPECT_DOUBLE_EQ(r.left, l);
    EXPECT_DOUBLE_EQ(r.bottom, b);
    EXPECT_DOUBLE_EQ(r.width, w);
    EXPECT_DOUBLE_EQ(r.height, h);
}

TEST(Placement, OverTheParent) {
    const WindowRect parent{100, 200, 500, 400};
    // 0.8 of the size, right by a tenth and down by a tenth of the new size.
    expectRect(plotWindowRect(PlotKind::Ccdf, parent), 140, 168, 400, 320);
    expectRect(plotWindowRect(PlotKind::IqTime, parent), 140, 168, 400, 320);
    // The spectrum moves by the parent's size, then shrinks.
    expectRect(plotWindowRect(PlotKind::Spectrum, parent), 150, 272, 400, 320);
    // The waterfall by a fifth of the new size.
    expectRect(plotWindowRect(PlotKind::Waterfall, parent), 180, 136, 400, 320);
}

TEST(Placement, OnTheScreen) {
    expectRect(plotWindowRect(PlotKind::Ccdf, std::nullopt), 150, 150, 340, 340);
    expectRect(plotWindowRect(PlotKind::Spectrum, std::nullopt), 50, 480, 300, 300);
    expectRect(plotWindowRect(PlotKind::Waterfall, std::nullopt), 100, 100, 300, 300);
    const WindowRect r = fromTopDown(10, 20, 300, 200, 1000);
    expectRect(r, 10, 780, 300, 200);
    expectRect(toTopDown(r, 1000), 10, 20, 300, 200);
}

}  // namespace
