#include "bluetooth/packet.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "bluetooth/access_code.h"
#include "bluetooth/bit_utils.h"
#include "bluetooth/crc_fec.h"
#include "bluetooth/edr.h"
#include "bluetooth/header.h"
#include "bluetooth/packet_types.h"
#include "bluetooth/whitening.h"
#include "lib/errors.h"

namespace bt {

namespace {

// Payload header, the largest body (3-DH5) and the CRC, before FEC.
constexpr std::size_t kMaxPayloadBits = 16 + 1021 * 8 + 16;

void checkInputs(const PacketInputs& in) {
    if (in.accessCode.empty() && in.BDaddr.size() < 24)
        throw Error("The device address must have 48 bits when no access code is given.");
    if (in.AMaddr.size() != 3) throw Error("The AM address must have 3 bits.");
    if (in.CheckSumInitialState.size() != 8) throw Error("The checksum start value must have 8 bits (the UAP).");
    if (in.playloadLChFlags.size() != 2) throw Error("The payload L_CH field must have 2 bits.");
    if (in.scramblerActive != 0) {
        const double v = in.scramblerInit;
        if (!(v >= 0 && v <= 127) || v != std::trunc(v))
            throw Error("The whitening start value must be a whole number from 0 to 127.");
    }
}

std::uint32_t lapOf(const Bits& BDaddr) {
    std::uint32_t lap = 0;
    for (std::size_t k = 0; k < 24; ++k) lap |= std::uint32_t{BDaddr[k] & 1u} << k;
    return lap;
}

void appendField(std::uint64_t value, std::size_t width, std::uint8_t* out, std::size_t& n) {
    for (std::size_t k = 0; k < width; ++k) out[n++] = (value >> k) & 1u;
}

// The FHS fields of the sending device: the parity bits of its sync word,
// its address, LT_ADDR, and fixed values for what the settings do not hold
// (extended inquiry response none, scan repetition R1, class of device,
// clock and page scan mode zero).
std::size_t buildFhs(const PacketInputs& in, std::uint8_t* out) {
    if (in.BDaddr.size() != 48) throw Error("An FHS packet needs the 48 device address bits.");
    std::uint64_t addr = 0;
    for (std::size_t k = 0; k < 48; ++k) addr |= std::uint64_t{in.BDaddr[k] & 1u} << k;
    std::size_t n = 0;
    appendField(bt_SyncWord(static_cast<std::uint32_t>(addr & 0xFFFFFF)), 34, out, n);
    appendField(addr & 0xFFFFFF, 24, out, n);  // LAP
    appendField(0, 1, out, n);                 // EIR
    appendField(0, 1, out, n);                 // undefined
    appendField(1, 2, out, n);                 // SR: R1
    appendField(2, 2, out, n);                 // reserved, fixed 10
    appendField((addr >> 24) & 0xFF, 8, out, n);   // UAP
    appendField((addr >> 32) & 0xFFFF, 16, out, n);  // NAP
    appendField(0, 24, out, n);                // class of device
    appendField(packBits8(in.AMaddr), 3, out, n);  // LT_ADDR
    appendField(0, 26, out, n);                // CLK27-2
    appendField(0, 3, out, n);                 // page scan mode
    return n;
}

// Payload header, the body padded to whole bytes and cut to `maxBits`, and
// the CRC if the type has one; returns the bits written and the body size.
std::size_t buildDataField(const PacketTypeInfo& type, std::size_t maxBits, std::span<const std::uint8_t> data,
                           const PacketInputs& in, std::uint8_t* out, std::size_t& body) {
    const std::size_t padded = (data.size() + 7) / 8 * 8;
    body = std::min(padded, maxBits);
    const std::size_t copied = std::min(data.size(), body);
    std::size_t n = 0;
    if (type.payloadHeaderBits > 0) {
        out[n++] = in.playloadLChFlags[0] & 1u;
        out[n++] = in.playloadLChFlags[1] & 1u;
        out[n++] = in.playloadFlowFlag & 1u;
        const std::size_t lengthBits = type.payloadHeaderBits == 8 ? 5 : (type.edr() ? 10 : 9);
        const std::size_t bytes = body / 8;
        for (std::size_t k = 0; k < lengthBits; ++k) out[n++] = (bytes >> k) & 1u;
        while (n < type.payloadHeaderBits) out[n++] = 0;
    }
    std::copy_n(data.data(), copied, out + n);
    std::fill(out + n + copied, out + n + body, std::uint8_t{0});
    n += body;
    if (type.crc) {
        crc16(std::span<const std::uint8_t>(out, n), packBits8(in.CheckSumInitialState), out + n);
        n += 16;
    }
    return n;
}

// Bits at the start of the payload that go on air without FEC (the DV
// voice field); the rest is coded at the type's rate.
std::size_t uncodedPrefix(const PacketTypeInfo& type) {
    return type.kind == PayloadKind::DataVoice ? kDvVoiceBits : 0;
}

std::size_t codedPayloadLength(const PacketTypeInfo& type, std::size_t n) {
    const std::size_t plain = std::min(n, uncodedPrefix(type));
    return plain + fecCodedLength(type.fec, n - plain);
}

// The payload before FEC: payload header, body and CRC, or the fixed body
// (with its CRC for EV), or the FHS fields, or DV's voice and data fields.
// Returns its length and sets the marker's user part and end offset.
std::size_t buildPayload(const PacketTypeInfo& type, std::span<const std::uint8_t> data, const PacketInputs& in,
                         std::uint8_t* out, MarkerExtent& marker) {
    using enum PayloadKind;
    if (type.kind == None) return 0;
    if (type.kind == Fhs) {
        std::size_t n = buildFhs(in, out);
        crc16(std::span<const std::uint8_t>(out, n), packBits8(in.CheckSumInitialState), out + n);
        n += 16;
        marker.userPayloadLength = (3 * kFhsBits + 1) / 2;
        marker.endOffset = 16;
        return n;
    }
    if (type.kind == DataVoice) {
        // The data pads to whole bytes; its first 80 bits are the voice
        // field (zeros make up a short one), the rest goes to the data field.
        const std::size_t voice = std::min(data.size(), kDvVoiceBits);
        std::copy_n(data.data(), voice, out);
        std::fill(out + voice, out + kDvVoiceBits, std::uint8_t{0});
        std::size_t body = 0;
        const std::size_t n =
            kDvVoiceBits + buildDataField(type, kDvDataBits, data.subspan(voice), in, out + kDvVoiceBits, body);
        // The marker runs from the voice field to the end of the data,
        // stopping where the CRC begins, as for the DM types.
        marker.endOffset = 16;
        marker.userPayloadLength = codedPayloadLength(type, n) - marker.endOffset;
        return n;
    }
    // The data is padded to whole bytes, then cut to what the type carries.
    const std::size_t padded = (data.size() + 7) / 8 * 8;
    const std::size_t body = std::min(padded, type.payloadBits);
    const std::size_t copied = std::min(data.size(), body);
    if (type.kind == Voice || type.kind == Sync) {
        std::copy_n(data.data(), copied, out);
        std::fill(out + copied, out + type.payloadBits, std::uint8_t{0});
        std::size_t n = type.payloadBits;
        if (type.crc) {
            crc16(std::span<const std::uint8_t>(out, n), packBits8(in.CheckSumInitialState), out + n);
            n += 16;
        }
        if (type.kind == Voice) {
            // The HV marker counts the uncoded body: its last bits are marked.
            marker.userPayloadLength = type.payloadBits;
            return n;
        }
        // The EV bodies fill whole FEC blocks, so the marker ends exactly
        // where the CRC's coded bits begin.
        marker.userPayloadLength = fecCodedLength(type.fec, type.payloadBits);
        marker.endOffset = fecCodedLength(type.fec, n) - marker.userPayloadLength;
        return n;
    }
    std::size_t dataBody = 0;
    const std::size_t n = buildDataField(type, type.payloadBits, data, in, out, dataBody);
    // The marker covers the coded user bits and stops before the CRC. A type
    // without CRC (AUX1) has nothing after its data, so nothing is left out.
    marker.userPayloadLength = type.fec == FecRate::TwoThirds ? (3 * dataBody + 1) / 2 : dataBody;
    marker.endOffset = type.crc ? 16 : 0;
    return n;
}

}  // namespace

Bits bt_FhsFields(const PacketInputs& in) {
    Bits fields(kFhsBits);
    buildFhs(in, fields.data());
    return fields;
}

MarkerExtent bt_AppendPacket(std::span<const std::uint8_t> databits, const PacketInputs& in, Bits& bitstream,
                             Bits& payloadMarker) {
    const PacketTypeInfo* type = bt_PacketTypeInfo(in.linkType, in.PacketType);
    if (!type) return {};
    checkInputs(in);
    if (payloadMarker.size() != bitstream.size())
        throw Error("The payload marker must be as long as the bit stream it belongs to.");

    // Header and payload are built before the rows grow, so the data may even
    // come from the row being appended to.
    MarkerExtent marker;
    const bool hasHeader = type->code >= 0;
    std::array<std::uint8_t, 18> header{};
    std::array<std::uint8_t, kMaxPayloadBits> payload;
    std::size_t n = 0;
    if (hasHeader) {
        const HeaderFields fields{packBits8(in.AMaddr), static_cast<std::uint8_t>(type->headerType()), in.FlowBit,
                                  in.ArqNum, in.SeqNum};
        header = bt_RawHeader(fields, packBits8(in.CheckSumInitialState));
        n = buildPayload(*type, databits, in, payload.data(), marker);
        // One whitening sequence runs over the header and on into the payload,
        // both before their FEC, so a receiver can undo it after decoding.
        if (in.scramblerActive != 0) {
            Whitener w(static_cast<unsigned>(in.scramblerInit));
            w.apply(header.data(), header.size());
            w.apply(payload.data(), n);
        }
    }

    const std::size_t start = bitstream.size();
    if (in.accessCode.empty()) bt_AppendAccessCode(lapOf(in.BDaddr), in.trailerActive != 0, bitstream);
    else bitstream.insert(bitstream.end(), in.accessCode.begin(), in.accessCode.end());
    if (type->edr()) {
        if (in.trailerActive == 0) throw Error("An EDR packet's access code has its trailer.");
        // GFSK header, then the DPSK bits: synchronisation sequence, payload
        // (no FEC), zeros up to a whole symbol, trailer.
        const auto bps = static_cast<std::size_t>(type->edrBitsPerSymbol);
        const std::span<const std::uint8_t> sync = edrSyncBits(type->edrBitsPerSymbol);
        const std::size_t at = bitstream.size();
        const std::size_t pad = (bps - n % bps) % bps;
        bitstream.resize(at + 54 + sync.size() + n + pad + kEdrTrailerSymbols * bps, 0);
        fecEncode(FecRate::OneThird, header.data(), header.size(), bitstream.data() + at);
        std::copy(sync.begin(), sync.end(), bitstream.begin() + std::ptrdiff_t(at + 54));
        std::copy_n(payload.data(), n, bitstream.begin() + std::ptrdiff_t(at + 54 + sync.size()));
        marker.endOffset += pad + kEdrTrailerSymbols * bps;
    } else if (hasHeader) {
        const std::size_t at = bitstream.size();
        bitstream.resize(at + 54 + codedPayloadLength(*type, n));
        fecEncode(FecRate::OneThird, header.data(), header.size(), bitstream.data() + at);
        const std::size_t plain = std::min(n, uncodedPrefix(*type));
        std::copy_n(payload.data(), plain, bitstream.data() + at + 54);
        fecEncode(type->fec, payload.data() + plain, n - plain, bitstream.data() + at + 54 + plain);
    }

    const std::size_t length = bitstream.size() - start;
    marker.headerPad = length - marker.userPayloadLength - marker.endOffset;
    payloadMarker.resize(start + length, 0);
    std::fill_n(payloadMarker.begin() + static_cast<std::ptrdiff_t>(start + marker.headerPad),
                marker.userPayloadLength, std::uint8_t{1});
    return marker;
}

PacketBits Bt_Packet(std::span<const std::uint8_t> databits, const PacketInputs& in) {
    PacketBits out;
    out.marker = bt_AppendPacket(databits, in, out.bitstream, out.payloadMarker);
    return out;
}

PacketInputs bt_PacketAddressing(double BDaddr, double AMaddr) {
    if (!(BDaddr >= 0 && BDaddr <= 281474976710655.0))
        throw Error("The device address must lie between 0 and FFFFFFFFFFFF.");
    if (!(AMaddr >= 0 && AMaddr <= 7)) throw Error("The AM address must lie between 0 and 7.");
    PacketInputs in;
    in.BDaddr = BitVector(BDaddr, 48);
    in.AMaddr = BitVector(AMaddr, 3);
    in.CheckSumInitialState.assign(in.BDaddr.begin() + 24, in.BDaddr.begin() + 32);
    return in;
}

PacketInputs bt_SinglePacketInputs(double linkType, double packetType, double BDaddr, double AMaddr,
                                   double SeqNum, double ArqNum, double scramblerActive, double scramblerInit) {
    PacketInputs in = bt_PacketAddressing(BDaddr, AMaddr);
    in.linkType = linkType;
    in.PacketType = packetType;
    in.trailerActive = packetType == -1 ? 0 : 1;
    in.FlowBit = 1;
    in.ArqNum = ArqNum != 0 ? 1 : 0;
    in.SeqNum = SeqNum != 0 ? 1 : 0;
    in.playloadLChFlags = {0, 1};
    in.playloadFlowFlag = 1;
    in.scramblerActive = scramblerActive;
    in.scramblerInit = scramblerInit;
    return in;
}

}  // namespace bt
