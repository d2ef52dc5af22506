// The zoom command set: modes, stored limits, messages and the mouse.
#include <gtest/gtest.h>

#include <cmath>

#include "lib/errors.h"
#include "plots/zoom.h"

namespace {

using namespace bt::plots;

std::string errorOf(ZoomState& s, const std::string& cmd, bool wantOutput) {
    try {
        zoomCommand(s, cmd, AxisLimits{}, wantOutput);
    } catch (const bt::Error& e) {
        return e.what();
    }
    return "";
}

TEST(Zoom, ModesAndMessages) {
    ZoomState s;
    const AxisLimits full{0, 10, -1, 1};
    EXPECT_EQ(zoomCommand(s, "getmode", full, true).output, "off");
    zoomCommand(s, "", full);
    EXPECT_EQ(zoomCommand(s, "getmode", full, true).output, "on");
    zoomCommand(s, "toggle", full);
    EXPECT_FALSE(s.on);
    zoomCommand(s, "xon", full);
    EXPECT_EQ(zoomCommand(s, "getmode", full, true).output, "xon");
    zoomCommand(s, "yon", full);
    EXPECT_EQ(zoomCommand(s, "getmode", full, true).output, "yon");
    zoomCommand(s, "off", full);
    EXPECT_FALSE(s.on);
    zoomCommand(s, "outmode", full);
    EXPECT_EQ(s.figureMode, "out");
    zoomCommand(s, "inmode", full);
    EXPECT_EQ(s.figureMode, "in");
    EXPECT_EQ(errorOf(s, "sideways", false), "Unknown option: sideways.");
    EXPECT_EQ(errorOf(s, "on", true),
              "ZOOM only returns an output if the command is getmode, getlimits, getconnect, or down");
    EXPECT_EQ(errorOf(s, "getlimits", true), "");
}

TEST(Zoom, ResetOutAndScale) {
    ZoomState s;
    const AxisLimits full{0, 10, -1, 1};
    zoomCommand(s, "reset", full);
    EXPECT_EQ(*zoomCommand(s, "getlimits", {2, 3, 0, 1}, true).storedLimits, full);
    const ZoomOutcome z = zoomCommand(s, "2", full);
    EXPECT_EQ(*z.limits, (AxisLimits{2.5, 7.5, -0.5, 0.5}));
    EXPECT_EQ(*zoomCommand(s, "out", *z.limits).limits, full);
    // On a logarithmic axis the exponent range (-4 ... 2) is halved about
    // its middle.
    ZoomState l;
    const ZoomOutcome lz = zoomCommand(l, "2", {0, 10, 1e-4, 100}, false, false, true);
    EXPECT_NEAR(std::log10(lz.limits->ymin), -2.5, 1e-12);
    EXPECT_NEAR(std::log10(lz.limits->ymax), 0.5, 1e-12);
}

TEST(Zoom, DoubleClickRestoresTheFirstStoredLimits) {
    ZoomState s;
    s.on = true;
    const AxisLimits full{0, 100, 0, 10};
    AxisLimits l = zoomClick(s, full, {50, 5, 50, 5, false});  // click: zoom in by 2
    EXPECT_EQ(l, (AxisLimits{25, 75, 2.5, 7.5}));
    l = zoomClick(s, l, {30, 3, 40, 6, false});  // band
    EXPECT_EQ(l, (AxisLimits{30, 40, 3, 6}));
    l = zoomClick(s, l, {35, 4, 35.01, 4, false});  // too small a band: a click
    EXPECT_EQ(l, (AxisLimits{32.5, 37.5, 3.5, 5}));  // about the point clicked
    EXPECT_EQ(zoomClick(s, l, {0, 0, 0, 0, true}), full);
    // Zoom out mode and x-only direction.
    ZoomState o;
    o.figureMode = "out";
    o.direction = "x";
    EXPECT_EQ(zoomClick(o, full, {50, 5, 50, 5, false}), (AxisLimits{0 - 50, 150, 0, 10}));
}

}  // namespace
