#include "plots/plot_units.h"

#include <cmath>

namespace bt::plots {

namespace {
// The power-of-a-thousand exponent of x; NaN for x <= 0, which then falls
// to the "any other value" unit.
double thousands(double x) { return std::floor(std::log10(x) / 3.0); }
}  // namespace

Unit frequencyUnits(double x) {
    const double e = thousands(x);
    if (e == 0) return {"Hz", 1};
    if (e == 1) return {"kHz", 1e3};
    if (e == 2) return {"MHz", 1e6};
    return {"GHz", 1e9};
}

Unit timeUnits(double x) {
    const double e = thousands(x);
    if (e == 0) return {"S", 1};
    if (e == -1) return {"mS", 1e3};
    if (e == -2) return {"uS", 1e6};
    if (e == -3) return {"nS", 1e9};
    return {"pS", 1e12};
}

double roundHalfAway(double x) { return std::round(x); }

std::vector<double> ticksUpTo(double first, double step, double last) {
    std::vector<double> t;
    if (!(step > 0) || !(last >= first)) return t;
    const auto count = static_cast<std::size_t>(std::floor((last - first) / step + 1e-9)) + 1;
    t.reserve(count);
    for (std::size_t k = 0; k < count; ++k) t.push_back(first + static_cast<double>(k) * step);
    return t;
}

}  // namespace bt::plots
