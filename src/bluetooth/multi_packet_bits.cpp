#include "bluetooth/multi_packet_bits.h"

#include <algorithm>

#include "bluetooth/access_code.h"
#include "bluetooth/packet.h"
#include "bluetooth/size_est.h"
#include "lib/errors.h"

namespace bt {

std::vector<PacketSegment> bt_MultiPacketSegments(std::size_t dataLength, std::size_t packetSize,
                                                  std::uint8_t padSeqn) {
    std::vector<PacketSegment> segments;
    if (dataLength == 0) return segments;
    if (packetSize == 0) throw Error("The packet type carries no payload to spread over packets.");
    const std::size_t count = (dataLength + packetSize - 1) / packetSize;
    segments.reserve(count + 1);
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t start = k * packetSize;
        segments.push_back({start, std::min(packetSize, dataLength - start), static_cast<std::uint8_t>((k + 1) % 2)});
    }
    if (count % 2 == 1) segments.push_back({dataLength, 0, padSeqn});
    return segments;
}

MultiPacketBits bt_MultiPacketGenerateBits(std::span<const std::uint8_t> databits, double linkType,
                                           double packetType, double BDaddr, double AMaddr, double /*SeqNum*/,
                                           double scramblerActive, double scramblerInit) {
    const double packetSize = Bt_UserPayloadMaxSize(linkType, packetType);
    const auto segments = bt_MultiPacketSegments(databits.size(), static_cast<std::size_t>(packetSize), 1);

    PacketInputs in = bt_PacketAddressing(BDaddr, AMaddr);
    in.linkType = linkType;
    in.PacketType = packetType;
    in.trailerActive = 1;
    in.scramblerActive = scramblerActive;
    in.scramblerInit = scramblerInit;
    Bits lap(in.BDaddr.begin(), in.BDaddr.begin() + 24);
    in.accessCode = Bt_AccessCode(lap, true);

    MultiPacketBits out;
    const auto perPacket = static_cast<std::size_t>(bt_SinglePacketLength(packetSize, linkType, packetType));
    out.bits.reserve(segments.size() * perPacket);
    out.payloadMarker.reserve(segments.size() * perPacket);
    out.packetStarts.reserve(segments.size());
    out.packets.reserve(segments.size());
    for (const PacketSegment& s : segments) {
        in.SeqNum = s.SEQN;
        const std::size_t start = out.bits.size();
        out.packetStarts.push_back(start);
        bt_AppendPacket(databits.subspan(s.start, s.length), in, out.bits, out.payloadMarker);
        out.packets.push_back(packetOnAir(in, databits.subspan(s.start, s.length), out.bits.size() - start, start, 1));
    }
    return out;
}

}  // namespace bt
