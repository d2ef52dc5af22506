#include "instrument/delay_finder_config.h"

#include <cmath>
#include <limits>

namespace bt {

DelayFinderConfig::DelayFinderConfig() : MinBERDelay(std::numeric_limits<double>::quiet_NaN()) { rebuildSweep(*this); }

std::vector<double> delayPoints(double start, double step, double end) {
    std::vector<double> out;
    if (!(step > 0) || !std::isfinite(start) || !std::isfinite(end) || end < start) return out;
    // The tolerance keeps End itself when (End - Start) / Step lands a hair
    // below a whole number.
    const double n = std::floor((end - start) / step + 1e-9);
    for (double k = 0; k <= n; ++k) out.push_back(start + k * step);
    return out;
}

void rebuildSweep(DelayFinderConfig& c) {
    c.Delay = delayPoints(c.Start, c.DelayStep, c.End);
    const std::size_t reps = c.Repeat >= 1 ? std::size_t(c.Repeat) : 1;
    c.BER.assign(reps, std::vector<double>(c.Delay.size(), std::numeric_limits<double>::quiet_NaN()));
}

}  // namespace bt
