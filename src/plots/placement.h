#pragma once
// Where a plot window opens: over its parent window at 0.8 of its size,
// each kind of plot offset its own way so that several stay visible, or at
// a fixed place on the screen without a parent. Rectangles are [left
// bottom width height] with the bottom counted up from the screen's foot.
#include <optional>

#include "windowkit/window_geometry.h"

namespace bt::plots {

enum class PlotKind { Ccdf, Spectrum, Waterfall, IqTime, Eye, Scatter };

WindowRect plotWindowRect(PlotKind kind, const std::optional<WindowRect>& parent);

// Between the top-down pixel rectangles of the toolkit and the bottom-up
// ones above, on a screen `screenHeight` pixels high.
WindowRect fromTopDown(double x, double y, double width, double height, double screenHeight);
WindowRect toTopDown(const WindowRect& r, double screenHeight);  // left, top, width, height

}  // namespace bt::plots
