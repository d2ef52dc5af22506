#include "bluetooth/packet_types.h"

#include <cmath>

namespace bt {

namespace {

using enum PayloadKind;
constexpr FecRate k13 = FecRate::OneThird;
constexpr FecRate k23 = FecRate::TwoThirds;
constexpr FecRate kNo = FecRate::None;

// Types below 4 are the same on every link.
constexpr PacketTypeInfo kCommon[] = {
    {-1, "ID", None, 0, 0, false, kNo},
    {0, "NULL", None, 0, 0, false, kNo},
    {1, "POLL", None, 0, 0, false, kNo},
    {2, "FHS", Fhs, 0, 0, true, k23},
    {3, "DM1", Data, 136, 8, true, k23},
};
constexpr PacketTypeInfo kAcl[] = {
    {4, "DH1", Data, 216, 8, true, kNo},     {9, "AUX1", Data, 232, 8, false, kNo},
    {10, "DM3", Data, 968, 16, true, k23},   {11, "DH3", Data, 1464, 16, true, kNo},
    {14, "DM5", Data, 1792, 16, true, k23},  {15, "DH5", Data, 2712, 16, true, kNo},
};
constexpr PacketTypeInfo kSco[] = {
    {5, "HV1", Voice, 80, 0, false, k13},
    {6, "HV2", Voice, 160, 0, false, k23},
    {7, "HV3", Voice, 240, 0, false, kNo},
    {8, "DV", DataVoice, kDvVoiceBits + kDvDataBits, 8, true, k23},
};
constexpr PacketTypeInfo kEsco[] = {
    {7, "EV3", Sync, 240, 0, true, kNo},
    {12, "EV4", Sync, 960, 0, true, k23},
    {13, "EV5", Sync, 1440, 0, true, kNo},
};

template <std::size_t N>
const PacketTypeInfo* find(const PacketTypeInfo (&table)[N], int code) {
    for (const PacketTypeInfo& t : table)
        if (t.code == code) return &t;
    return nullptr;
}

}  // namespace

const PacketTypeInfo* bt_PacketTypeInfo(double linkType, double packetType) {
    if (!(packetType >= -1 && packetType <= 15) || packetType != std::trunc(packetType)) return nullptr;
    const int code = static_cast<int>(packetType);
    if (const PacketTypeInfo* t = find(kCommon, code)) return t;
    if (linkType == kLinkSco) return find(kSco, code);
    if (linkType == kLinkEsco) return find(kEsco, code);
    return find(kAcl, code);
}

std::string_view linkTypeName(double linkType) {
    if (linkType == kLinkSco) return "SCO";
    if (linkType == kLinkEsco) return "eSCO";
    return "ACL";
}

}  // namespace bt
