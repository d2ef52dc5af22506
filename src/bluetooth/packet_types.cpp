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

// The link's Enhanced Data Rate packets from code 16 on: a 16-bit payload
// header with a 10-bit length on ACL, a fixed-size body as EV3 and EV5 on
// eSCO.
constexpr PacketTypeInfo kAclEdr[] = {
    {16, "2-DH1", Data, 54 * 8, 16, true, kNo, 2, 4, 1},    {17, "2-DH3", Data, 367 * 8, 16, true, kNo, 2, 10, 3},
    {18, "2-DH5", Data, 679 * 8, 16, true, kNo, 2, 14, 5},  {19, "3-DH1", Data, 83 * 8, 16, true, kNo, 3, 8, 1},
    {20, "3-DH3", Data, 552 * 8, 16, true, kNo, 3, 11, 3},  {21, "3-DH5", Data, 1021 * 8, 16, true, kNo, 3, 15, 5},
};
constexpr PacketTypeInfo kEscoEdr[] = {
    {16, "2-EV3", Sync, 60 * 8, 0, true, kNo, 2, 6, 1},   {17, "2-EV5", Sync, 360 * 8, 0, true, kNo, 2, 12, 3},
    {18, "3-EV3", Sync, 90 * 8, 0, true, kNo, 3, 7, 1},   {19, "3-EV5", Sync, 540 * 8, 0, true, kNo, 3, 13, 3},
};

template <std::size_t N>
const PacketTypeInfo* find(const PacketTypeInfo (&table)[N], int code) {
    for (const PacketTypeInfo& t : table)
        if (t.code == code) return &t;
    return nullptr;
}

}  // namespace

const PacketTypeInfo* bt_PacketTypeInfo(double linkType, double packetType) {
    if (!(packetType >= -1 && packetType <= 31) || packetType != std::trunc(packetType)) return nullptr;
    const int code = static_cast<int>(packetType);
    if (code >= kEdrCodeBase) {
        if (linkType == kLinkSco) return nullptr;
        return linkType == kLinkEsco ? find(kEscoEdr, code) : find(kAclEdr, code);
    }
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
