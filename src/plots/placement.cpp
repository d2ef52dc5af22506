#include "plots/placement.h"

namespace bt::plots {

WindowRect plotWindowRect(PlotKind kind, const std::optional<WindowRect>& parent) {
    if (!parent) {
        switch (kind) {
            case PlotKind::Spectrum: return {50, 480, 300, 300};
            case PlotKind::Waterfall: return {100, 100, 300, 300};
            default: return {150, 150, 340, 340};
        }
    }
    WindowRect r = *parent;
    switch (kind) {
        case PlotKind::Spectrum:
            // Shifted by the parent's size, then shrunk.
            r.left += 0.1 * parent->width;
            r.bottom += 0.18 * parent->height;
            r.width *= 0.8;
            r.height *= 0.8;
            return r;
        case PlotKind::Waterfall:
            r.width *= 0.8;
            r.height *= 0.8;
            r.left += 0.2 * r.width;
            r.bottom -= 0.2 * r.height;
            return r;
        default:
            r.width *= 0.8;
            r.height *= 0.8;
            r.left += 0.1 * r.width;
            r.bottom -= 0.1 * r.height;
            return r;
    }
}

WindowRect fromTopDown(double x, double y, double width, double height, double screenHeight) {
    return {x, screenHeight - (y + height), width, height};
}

WindowRect toTopDown(const WindowRect& r, double screenHeight) {
    return {r.left, screenHeight - (r.bottom + r.height), r.width, r.height};
}

}  // namespace bt::plots
