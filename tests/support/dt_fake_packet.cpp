#include "support/dt_fake_packet.h"

#include <cmath>

namespace bttest {

FakeBurst fakeBurst(const bt::GenerationSettings& p) {
    const auto os = static_cast<std::size_t>(p.OverSampling);
    // Access code with trailer, header, payload header, payload, CRC.
    const std::size_t payloadHeader = p.packetType == 11 || p.packetType == 15 ? 16 : 8;
    const auto payloadBits = static_cast<std::size_t>(p.patternLength);
    const std::size_t bits = 72 + 54 + payloadHeader + payloadBits + 16;
    const auto ramp = static_cast<std::size_t>(p.burstLength);
    const auto settle = static_cast<std::size_t>(p.burstSettle);
    const std::size_t slots = p.packetType == 15 ? 6 : p.packetType == 11 ? 4 : 2;
    FakeBurst b;
    b.samples = (ramp + settle + bits + ramp) * os;
    b.payload = (ramp + settle + 72 + 54 + payloadHeader) * os;
    b.payloadSamples = payloadBits * os;
    b.total = 625 * slots * os;
    return b;
}

bt::DtGenerator fakeGenerator(std::shared_ptr<std::vector<bt::GenerationSettings>> calls) {
    return [calls](const bt::GenerationSettings& p) {
        if (calls) calls->push_back(p);
        const FakeBurst b = fakeBurst(p);
        const auto os = static_cast<std::size_t>(p.OverSampling);
        const auto ramp = static_cast<std::size_t>(p.burstLength) * os;
        const auto clockHigh = static_cast<std::size_t>(std::lround(0.3 * static_cast<double>(os)));
        bt::GeneratedSignal g;
        g.waveform.assign(b.total, {});
        g.markers.resize(b.total);
        const double tag = 1000 * p.SEQN + p.impairments.FreqOffset;
        for (std::size_t k = 0; k < b.samples; ++k) g.waveform[k] = {1.0 + static_cast<double>(k), tag};
        for (std::size_t k = ramp; k < b.samples - ramp; ++k) g.markers.row1[k] = (k - ramp) % os < clockHigh;
        for (std::size_t k = b.payload; k < b.payload + b.payloadSamples; ++k) g.markers.row2[k] = 1;
        return g;
    };
}

}  // namespace bttest
