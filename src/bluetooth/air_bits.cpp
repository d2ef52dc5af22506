#include "bluetooth/air_bits.h"

#include <span>
#include <utility>

#include "bluetooth/multi_packet_bits.h"
#include "bluetooth/packet.h"
#include "bluetooth/payload.h"
#include "bluetooth/size_est.h"

namespace bt {

std::vector<AirRow> airRows(const GenerationSettings& p) {
    const Bits data = Bt_GeneratePayload(p);
    if (p.generationMode != 1) {
        Bits marker(data.size(), 0);
        if (!marker.empty()) marker[0] = 1;
        return {{data, marker}};
    }
    const auto single = [&p](double seqn) {
        return bt_SinglePacketInputs(p.linkType, p.packetType, p.BDaddr, p.AMaddr, seqn, p.ARQN,
                                     p.dataWhiteningActive, p.dataWhiteningInitValue);
    };
    const double packetSize = Bt_UserPayloadMaxSize(p.linkType, p.packetType);
    std::vector<AirRow> rows;
    if (packetSize == 0 || p.multiPacket == 0) {
        PacketBits pb = Bt_Packet(data, single(p.SEQN));
        rows.push_back({std::move(pb.bitstream), std::move(pb.payloadMarker)});
    } else if (p.burstActive == 0) {
        // Without bursts the packets are joined back to back; cut them apart.
        const MultiPacketBits m = bt_MultiPacketGenerateBits(
            data, p.linkType, p.packetType, p.BDaddr, p.AMaddr, p.SEQN, p.dataWhiteningActive, p.dataWhiteningInitValue);
        for (std::size_t k = 0; k < m.packetStarts.size(); ++k) {
            const auto from = static_cast<std::ptrdiff_t>(m.packetStarts[k]);
            const auto to = static_cast<std::ptrdiff_t>(k + 1 < m.packetStarts.size() ? m.packetStarts[k + 1]
                                                                                      : m.bits.size());
            rows.push_back({Bits(m.bits.begin() + from, m.bits.begin() + to),
                            Bits(m.payloadMarker.begin() + from, m.payloadMarker.begin() + to)});
        }
    } else {
        // With bursts every packet is a single-packet burst of its own.
        const auto segments = bt_MultiPacketSegments(data.size(), static_cast<std::size_t>(packetSize), 0);
        for (const PacketSegment& s : segments) {
            PacketBits pb = Bt_Packet(std::span(data).subspan(s.start, s.length), single(s.SEQN));
            rows.push_back({std::move(pb.bitstream), std::move(pb.payloadMarker)});
        }
    }
    return rows;
}

}  // namespace bt
