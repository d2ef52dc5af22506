#include "windowkit/window_geometry.h"

#include <gtest/gtest.h>

namespace bt {
namespace {

TEST(WindowUtils, CentresAChildOverTheScreenOrItsParent) {
    // A 400 x 300 window on a 1024 x 768 screen whose corner is at (1, 1).
    const WindowRect w = centredOver({1, 1, 400, 300}, {1, 1, 1024, 768});
    EXPECT_DOUBLE_EQ(w.left, 313);
    EXPECT_DOUBLE_EQ(w.bottom, 235);
    EXPECT_DOUBLE_EQ(w.width, 400);
    EXPECT_DOUBLE_EQ(w.height, 300);
    // Larger than its parent: it overhangs evenly on both sides.
    const WindowRect big = centredOver({0, 0, 300, 100}, {100, 50, 100, 100});
    EXPECT_DOUBLE_EQ(big.left, 0);
    EXPECT_DOUBLE_EQ(big.bottom, 50);
}

TEST(WindowUtils, AWindowIsKeptWhollyOnItsScreen) {
    const WindowRect screen{0, 0, 1366, 768};
    // Centred over a parent near the right edge, it would hang off.
    const WindowRect off = keptInside({1200, 600, 400, 300}, screen);
    EXPECT_DOUBLE_EQ(off.left, 966);
    EXPECT_DOUBLE_EQ(off.bottom, 468);
    const WindowRect above = keptInside({-50, -20, 400, 300}, screen);
    EXPECT_DOUBLE_EQ(above.left, 0);
    EXPECT_DOUBLE_EQ(above.bottom, 0);
    // Inside already: untouched.
    const WindowRect inside = keptInside({10, 20, 400, 300}, screen);
    EXPECT_DOUBLE_EQ(inside.left, 10);
    EXPECT_DOUBLE_EQ(inside.bottom, 20);
    // Larger than the screen: its near edges on the screen's.
    const WindowRect huge = keptInside({300, 300, 2000, 1000}, {100, 50, 1366, 768});
    EXPECT_DOUBLE_EQ(huge.left, 100);
    EXPECT_DOUBLE_EQ(huge.bottom, 50);
    EXPECT_DOUBLE_EQ(huge.width, 2000);
}

TEST(WindowUtils, FontsGrowOnlyOnStandardResolutionScreens) {
    EXPECT_DOUBLE_EQ(scaledFontSize(8, 96), 9);
    EXPECT_DOUBLE_EQ(scaledFontSize(10, 96), 11);
    EXPECT_DOUBLE_EQ(scaledFontSize(8, 120), 8);
    EXPECT_DOUBLE_EQ(scaledFontSize(8, 72), 8);
}

}  // namespace
}  // namespace bt
