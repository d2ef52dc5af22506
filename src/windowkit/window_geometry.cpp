#include "windowkit/window_geometry.h"

#include <cmath>

namespace bt {

WindowRect centredOver(const WindowRect& child, const WindowRect& parent) {
    WindowRect r = child;
    r.left = parent.left + (parent.width - child.width) / 2;
    r.bottom = parent.bottom + (parent.height - child.height) / 2;
    return r;
}

double scaledFontSize(double size, double screenDpi) {
    constexpr double baseDpi = 96;
    return screenDpi == baseDpi ? std::round(size * 1.1) : size;
}

}  // namespace bt
