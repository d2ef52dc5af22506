#include "instrument/delay_finder_config.h"

#include <algorithm>
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
    // Start + k x Step carries the binary error of a decimal step (0.1 x 3
    // is 0.30000000000000004); each point is rounded to the decimals the
    // start and the step have, so 0.3 is 0.3.
    const auto decimalsOf = [](double x) {
        for (int d = 0; d <= 9; ++d) {
            const double scaled = x * std::pow(10.0, d);
            if (std::fabs(scaled - std::round(scaled)) < 1e-6 * std::max(1.0, std::fabs(scaled))) return d;
        }
        return -1;
    };
    const int ds = decimalsOf(start), dt = decimalsOf(step);
    const double scale = ds < 0 || dt < 0 ? 0 : std::pow(10.0, std::max(ds, dt));
    for (double k = 0; k <= n; ++k) {
        const double x = start + k * step;
        out.push_back(scale > 0 ? std::round(x * scale) / scale : x);
    }
    return out;
}

void rebuildSweep(DelayFinderConfig& c) {
    c.Delay = delayPoints(c.Start, c.DelayStep, c.End);
    const std::size_t reps = c.Repeat >= 1 ? std::size_t(c.Repeat) : 1;
    c.BER.assign(reps, std::vector<double>(c.Delay.size(), std::numeric_limits<double>::quiet_NaN()));
}

}  // namespace bt
