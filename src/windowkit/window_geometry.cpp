#include "windowkit/window_geometry.h"

#include <algorithm>
#include <cmath>

namespace bt {

WindowRect centredOver(const WindowRect& child, const WindowRect& parent) {
    WindowRect r = child;
    r.left = parent.left + (parent.width - child.width) / 2;
    r.bottom = parent.bottom + (parent.height - child.height) / 2;
    return r;
}

WindowRect keptInside(const WindowRect& child, const WindowRect& area) {
    WindowRect r = child;
    r.left = std::max(std::min(r.left, area.left + area.width - r.width), area.left);
    r.bottom = std::max(std::min(r.bottom, area.bottom + area.height - r.height), area.bottom);
    return r;
}

double scaledFontSize(double size, double screenDpi) {
    constexpr double baseDpi = 96;
    return screenDpi == baseDpi ? std::round(size * 1.1) : size;
}

}  // namespace bt
