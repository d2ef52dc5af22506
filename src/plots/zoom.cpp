#include "plots/zoom.h"

#include <cmath>
#include <cstdlib>

#include "lib/errors.h"

namespace bt::plots {

namespace {

// Zooms [lo, hi] by `factor` about `c` (on log10 of the values when log).
void zoomRange(double& lo, double& hi, double c, double factor, bool log) {
    if (log) {
        if (lo > 0 && hi > 0 && c > 0) {
            double l = std::log10(lo), h = std::log10(hi), cc = std::log10(c);
            l = cc - (cc - l) / factor;
            h = cc + (h - cc) / factor;
            lo = std::pow(10.0, l);
            hi = std::pow(10.0, h);
        }
        return;
    }
    lo = c - (c - lo) / factor;
    hi = c + (hi - c) / factor;
}

bool parseNumber(const std::string& s, double& v) {
    if (s.empty()) return false;
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return end != nullptr && *end == '\0' && std::isfinite(v);
}

}  // namespace

AxisLimits zoomAbout(const AxisLimits& current, double x, double y, double factor, const std::string& direction,
                     bool logX, bool logY) {
    AxisLimits l = current;
    if (direction != "y") zoomRange(l.xmin, l.xmax, x, factor, logX);
    if (direction != "x") zoomRange(l.ymin, l.ymax, y, factor, logY);
    return l;
}

std::optional<AxisLimits> zoomToBand(const AxisLimits& current, double x0, double y0, double x1, double y1,
                                     const std::string& direction) {
    const double dx = std::fabs(x1 - x0), dy = std::fabs(y1 - y0);
    const bool wideX = dx > 0.01 * std::fabs(current.xmax - current.xmin);
    const bool wideY = dy > 0.01 * std::fabs(current.ymax - current.ymin);
    AxisLimits l = current;
    if (direction == "x") {
        if (!wideX) return std::nullopt;
    } else if (direction == "y") {
        if (!wideY) return std::nullopt;
    } else if (!wideX || !wideY) {
        return std::nullopt;
    }
    if (direction != "y") {
        l.xmin = std::min(x0, x1);
        l.xmax = std::max(x0, x1);
    }
    if (direction != "x") {
        l.ymin = std::min(y0, y1);
        l.ymax = std::max(y0, y1);
    }
    return l;
}

AxisLimits zoomClick(ZoomState& s, const AxisLimits& current, const ZoomClick& click, bool logX, bool logY) {
    if (!s.stored) s.stored = current;
    if (click.doubleClick) return *s.stored;
    if (auto band = zoomToBand(current, click.x0, click.y0, click.x1, click.y1, s.direction)) return *band;
    const double factor = s.figureMode == "out" ? 0.5 : 2.0;
    return zoomAbout(current, click.x0, click.y0, factor, s.direction, logX, logY);
}

ZoomOutcome zoomCommand(ZoomState& s, const std::string& command, const AxisLimits& current, bool wantOutput,
                        bool logX, bool logY) {
    ZoomOutcome out;
    double factor = 0;
    const bool number = parseNumber(command, factor);
    const bool returns = command == "getmode" || command == "getlimits" || command == "getconnect" ||
                         command == "down";
    const bool known = number || returns || command.empty() || command == "on" || command == "off" ||
                       command == "toggle" || command == "xon" || command == "yon" || command == "inmode" ||
                       command == "outmode" || command == "reset" || command == "out" || command == "fill" ||
                       command == "xdown" || command == "ydown";
    if (!known) throw Error("Unknown option: " + command + ".");
    if (wantOutput && !returns)
        throw Error("ZOOM only returns an output if the command is getmode, getlimits, getconnect, or down");
    if (command.empty() || command == "toggle") {
        s.on = !s.on;
        if (s.on) s.direction = "both";
    } else if (command == "on") {
        s.on = true;
        s.direction = "both";
    } else if (command == "off") {
        s.on = false;
    } else if (command == "xon") {
        s.on = true;
        s.direction = "x";
    } else if (command == "yon") {
        s.on = true;
        s.direction = "y";
    } else if (command == "inmode") {
        s.figureMode = "in";
    } else if (command == "outmode") {
        s.figureMode = "out";
    } else if (command == "reset") {
        s.stored = current;
    } else if (command == "out") {
        if (s.stored) out.limits = *s.stored;
    } else if (command == "fill") {
        out.restoreFill = true;
    } else if (number) {
        if (!s.stored) s.stored = current;
        out.limits = zoomAbout(current, (current.xmin + current.xmax) / 2, (current.ymin + current.ymax) / 2, factor,
                               "both", logX, logY);
        if (logY && current.ymin > 0 && current.ymax > 0) {
            // About the middle of the exponent range on a log axis.
            const double c = std::pow(10.0, (std::log10(current.ymin) + std::log10(current.ymax)) / 2);
            AxisLimits y = zoomAbout(current, 0, c, factor, "y", false, true);
            out.limits->ymin = y.ymin;
            out.limits->ymax = y.ymax;
        }
        if (logX && current.xmin > 0 && current.xmax > 0) {
            const double c = std::pow(10.0, (std::log10(current.xmin) + std::log10(current.xmax)) / 2);
            AxisLimits x = zoomAbout(current, c, 0, factor, "x", true, false);
            out.limits->xmin = x.xmin;
            out.limits->xmax = x.xmax;
        }
    } else if (command == "getmode") {
        out.output = !s.on ? "off" : s.direction == "x" ? "xon" : s.direction == "y" ? "yon" : "on";
    } else if (command == "getlimits") {
        out.storedLimits = s.stored ? *s.stored : current;
    } else if (command == "getconnect") {
        out.connect = true;
    }
    // "down", "xdown", "ydown" are the mouse handlers: the window runs
    // zoomClick with the press and release points.
    return out;
}

}  // namespace bt::plots
