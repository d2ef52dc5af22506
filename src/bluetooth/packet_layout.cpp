#include "bluetooth/packet_layout.h"

#include <algorithm>

#include "bluetooth/crc_fec.h"
#include "bluetooth/packet.h"
#include "bluetooth/packet_types.h"

namespace bt {

PacketOnAir packetOnAir(const PacketInputs& in, std::span<const std::uint8_t> data, std::size_t airSymbols,
                        std::size_t sampleStart, std::size_t oversampling) {
    std::size_t dataBits = data.size();
    PacketOnAir p;
    p.sampleStart = sampleStart;
    p.sampleCount = airSymbols * oversampling;
    p.linkType = in.linkType;
    p.packetType = in.PacketType;
    p.AMaddr = packBits8(in.AMaddr);
    p.SEQN = in.SeqNum;
    p.ARQN = in.ArqNum;
    p.FLOW = in.FlowBit;
    // What the payload carries, as the packet builder cuts and pads it.
    if (const PacketTypeInfo* type = bt_PacketTypeInfo(in.linkType, in.PacketType)) {
        const std::size_t padded = std::min((dataBits + 7) / 8 * 8, type->payloadBits);
        if (type->kind == PayloadKind::Voice || type->kind == PayloadKind::Sync)
            p.payloadBytes = type->payloadBits / 8;
        else if (type->kind == PayloadKind::Data)
            p.payloadBytes = padded / 8;
        else if (type->kind == PayloadKind::DataVoice)  // the voice field is always whole
            p.payloadBytes = std::max(padded, kDvVoiceBits) / 8;
    }
    // FHS carries the sender's fields instead of user data.
    Bits fhs;
    if (p.packetType == 2 && in.BDaddr.size() == 48) {
        fhs = bt_FhsFields(in);
        data = fhs;
        dataBits = fhs.size();
        p.payloadBytes = fhs.size() / 8;
    }
    // Cut to the payload, the last byte filled with zeros as the builder
    // pads it.
    p.payload.assign(p.payloadBytes, 0);
    for (std::size_t k = 0; k < p.payloadBytes * 8 && k < dataBits; ++k)
        p.payload[k / 8] = static_cast<std::uint8_t>(p.payload[k / 8] | ((data[k] & 1u) << (k % 8)));
    return p;
}

}  // namespace bt
