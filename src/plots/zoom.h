#pragma once
// The zoom command set of the plot windows, as state and arithmetic: which
// mode a window is in, the limits "out" returns to, and the limits a
// click, a rubber band or a scale factor leads to. The windows only apply
// the limits this computes.
#include <optional>
#include <string>

namespace bt::plots {

struct AxisLimits {
    double xmin = 0, xmax = 1, ymin = 0, ymax = 1;
    bool operator==(const AxisLimits&) const = default;
};

struct ZoomState {
    bool on = false;
    std::string direction = "both";  // "both", "x" or "y": what a click zooms
    std::string figureMode = "in";   // "in" or "out"
    std::optional<AxisLimits> stored;  // the full limits, kept at the first zoom
};

// What a command asks the window to do.
struct ZoomOutcome {
    std::optional<AxisLimits> limits;  // new limits for the current axes
    std::string output;                // "getmode": "on", "off", "xon" or "yon"
    std::optional<AxisLimits> storedLimits;  // "getlimits"
    bool connect = false;              // "getconnect": the window answers with its axes
    bool restoreFill = false;          // "fill"
};

// Runs a command ("" toggles) against the state, given the current axes
// limits and whether the axes are logarithmic. `wantOutput` says the caller
// asks for a result. Throws bt::Error with the command set's messages.
ZoomOutcome zoomCommand(ZoomState& s, const std::string& command, const AxisLimits& current, bool wantOutput = false,
                        bool logX = false, bool logY = false);

// Limits after zooming by `factor` (> 1 in, < 1 out) about (x, y), along
// the state's direction; logarithmic axes zoom on the exponent scale.
AxisLimits zoomAbout(const AxisLimits& current, double x, double y, double factor, const std::string& direction,
                     bool logX = false, bool logY = false);

// Limits after a rubber band from (x0, y0) to (x1, y1); nothing when it
// spans no more than 0.01 of either zoomed axis's range (a click).
std::optional<AxisLimits> zoomToBand(const AxisLimits& current, double x0, double y0, double x1, double y1,
                                     const std::string& direction);

// A mouse click in zoom mode: stores the full limits at first use; a double
// click returns to them, a single click zooms by 2 about the point in the
// window's mode ("in" or "out"), a band zooms to the band.
struct ZoomClick {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // press and release points
    bool doubleClick = false;
};
AxisLimits zoomClick(ZoomState& s, const AxisLimits& current, const ZoomClick& click, bool logX = false,
                     bool logY = false);

}  // namespace bt::plots
