#include "bluetooth/header.h"

#include "bluetooth/crc_fec.h"
#include "lib/errors.h"

namespace bt {

std::array<std::uint8_t, 18> bt_RawHeader(const HeaderFields& f, std::uint8_t uap) {
    std::array<std::uint8_t, 18> h{};
    for (unsigned k = 0; k < 3; ++k) h[k] = (f.AMaddr >> k) & 1u;
    for (unsigned k = 0; k < 4; ++k) h[3 + k] = (f.PacketType >> k) & 1u;
    h[7] = f.FlowBit & 1u;
    h[8] = f.ArqNum & 1u;
    h[9] = f.SeqNum & 1u;
    ChecksumRegister hec = hecRegister(uap);
    hec.feed(std::span<const std::uint8_t>(h.data(), 10));
    hec.readOut(h.data() + 10);
    return h;
}

Bits Bt_Header(const Bits& AMaddr, const Bits& PacketType, const Bits& FlowBit, const Bits& ArqNum,
               const Bits& SeqNum, const Bits& HECinitialState) {
    if (AMaddr.size() != 3 || PacketType.size() != 4 || FlowBit.size() != 1 || ArqNum.size() != 1 ||
        SeqNum.size() != 1)
        throw Error("The header fields must have 3, 4, 1, 1 and 1 bits.");
    if (HECinitialState.size() != 8) throw Error("The checksum start value must have 8 bits (the UAP).");
    const HeaderFields f{packBits8(AMaddr), packBits8(PacketType), FlowBit[0], ArqNum[0], SeqNum[0]};
    const auto raw = bt_RawHeader(f, packBits8(HECinitialState));
    Bits out(54);
    fecEncode(FecRate::OneThird, raw.data(), raw.size(), out.data());
    return out;
}

}  // namespace bt
