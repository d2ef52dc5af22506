#include "plots/edr_points.h"

#include <algorithm>

#include "analysis/receiver.h"
#include "lib/errors.h"

namespace bt::plots {

std::vector<Complex> edrSymbolPoints(std::span<const Complex> wave, double sampleRate) {
    std::vector<Complex> points;
    analysis::ReceiverOptions o;
    o.keepEdrPoints = true;
    o.cyclic = true;
    analysis::Reception r;
    try {
        r = analysis::receive(wave.data(), std::min(wave.size(), kEdrPointsReach), sampleRate, o);
    } catch (const Error&) {
        return points;
    }
    for (const analysis::ReceivedPacket& p : r.packets)
        if (p.measured.edr && p.decoded.ok())
            points.insert(points.end(), p.measured.edr->points.begin(), p.measured.edr->points.end());
    return points;
}

}  // namespace bt::plots
