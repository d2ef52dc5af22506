#pragma once
// Window placement and font scaling, free of any toolkit.

namespace bt {

// A window's place: [left bottom width height], as the layouts store it.
struct WindowRect {
    double left = 0, bottom = 0, width = 0, height = 0;
};

// `child` moved so that it is centred over `parent`, keeping its size.
WindowRect centredOver(const WindowRect& child, const WindowRect& parent);

// `child` moved the least so that it lies wholly inside `area`; a child
// larger than the area is aligned with its near edges (left, and the edge
// `bottom` measures from), so its title bar stays reachable.
WindowRect keptInside(const WindowRect& child, const WindowRect& area);

// The font size a control gets on a screen of `screenDpi` pixels per inch:
// a tenth larger, rounded, on a standard 96-dpi screen; unchanged elsewhere.
double scaledFontSize(double size, double screenDpi);

}  // namespace bt
