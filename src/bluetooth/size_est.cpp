#include "bluetooth/size_est.h"

#include <algorithm>
#include <cmath>

#include "bluetooth/edr.h"
#include "bluetooth/packet_types.h"
#include "lib/numtext.h"

namespace bt {

namespace {

const PacketTypeInfo* edrType(double linkType, double packetType) {
    if (!(packetType >= kEdrCodeBase)) return nullptr;
    const PacketTypeInfo* t = bt_PacketTypeInfo(linkType, packetType);
    return t && t->edr() ? t : nullptr;
}

}  // namespace

double Bt_UserPayloadMaxSize(double linkType, double packetId) {
    if (packetId >= kEdrCodeBase) {
        const PacketTypeInfo* t = edrType(linkType, packetId);
        return t ? double(t->payloadBits) : 0;
    }
    const bool sco = linkType == kLinkSco;
    if (packetId == 3) return 136;  // DM1 on every link
    if (linkType == kLinkEsco) {
        if (packetId == 7) return 240;    // EV3
        if (packetId == 12) return 960;   // EV4
        if (packetId == 13) return 1440;  // EV5
        return 0;
    }
    if (sco) {
        if (packetId == 5) return 80;   // HV1
        if (packetId == 6) return 160;  // HV2
        if (packetId == 7) return 240;  // HV3
        if (packetId == 8) return 152;  // DV
        return 0;
    }
    if (packetId == 4) return 216;    // DH1
    if (packetId == 9) return 232;    // AUX1
    if (packetId == 10) return 968;   // DM3
    if (packetId == 11) return 1464;  // DH3
    if (packetId == 14) return 1792;  // DM5
    if (packetId == 15) return 2712;  // DH5
    return 0;
}

double bt_BlockEncoderLengthProjection(double rate, double size) {
    if (rate == 1.0 / 3.0) return 3 * size;
    if (rate == 2.0 / 3.0) return 15 * std::ceil(size / 10);
    return size;
}

double bt_SinglePacketLength(double L, double linkType, double packetType) {
    if (packetType >= kEdrCodeBase) {
        const PacketTypeInfo* t = edrType(linkType, packetType);
        if (!t) return 0;
        const double bps = t->edrBitsPerSymbol;
        const double dpskBits = std::ceil((double(t->payloadHeaderBits) + L + 16) / bps) * bps;
        return double(edrPacketSymbols(kEdrGfskBits + std::size_t(dpskBits) + (kEdrSyncSymbols + kEdrTrailerSymbols) *
                                                                                  std::size_t(bps),
                                       t->edrBitsPerSymbol));
    }
    const bool sco = linkType == kLinkSco;
    const int code = packetType == std::trunc(packetType) ? static_cast<int>(packetType) : -100;
    switch (code) {
        case -1: return 68;
        case 0:
        case 1: return 126;
        case 2: return 126 + bt_BlockEncoderLengthProjection(2.0 / 3.0, 144 + 16);  // FHS
        case 3: return 126 + bt_BlockEncoderLengthProjection(2.0 / 3.0, 8 + L + 16);
        default: break;
    }
    if (linkType == kLinkEsco) {
        // Fixed bodies with CRC, whatever the data.
        if (code == 7) return 126 + 240 + 16;
        if (code == 12) return 126 + bt_BlockEncoderLengthProjection(2.0 / 3.0, 960 + 16);
        if (code == 13) return 126 + 1440 + 16;
        return 0;
    }
    if (sco) {
        if (code >= 5 && code <= 7) return 366;
        // DV: the voice field uncoded, the rest of the data in the data field.
        if (code == 8) return 126 + 80 + bt_BlockEncoderLengthProjection(2.0 / 3.0, 8 + std::max(L - 80, 0.0) + 16);
        return 0;
    }
    switch (code) {
        case 4: return 126 + (8 + L + 16);
        case 9: return 134 + L;
        case 10:
        case 14: return 126 + bt_BlockEncoderLengthProjection(2.0 / 3.0, 16 + L + 16);
        case 11:
        case 15: return 126 + bt_BlockEncoderLengthProjection(1, 16 + L + 16);
        default: return 0;
    }
}

int bt_NumberOfSlots(double linkType, double packetType) {
    if (const PacketTypeInfo* t = edrType(linkType, packetType)) return t->slots + 1;
    if (packetType >= 14) return 6;
    if (packetType >= 10) return 4;
    if (linkType == 1 && packetType == 6) return 4;
    if (linkType == 1 && packetType == 7) return 6;
    return 2;
}

namespace {

constexpr double kMinModulatedSymbols = 24;

double sizeEstPacketMode(const GenerationSettings& p) {
    const double packetSize = Bt_UserPayloadMaxSize(p.linkType, p.packetType);
    const double patternLength = std::floor(p.patternLength);
    const double os = p.OverSampling;
    const bool multi = packetSize > 0 && p.multiPacket != 0;
    if (p.burstActive != 0) {
        double packets = 1;
        if (multi) {
            const double payloadPackets = std::ceil(patternLength / packetSize);
            packets = payloadPackets + std::fmod(payloadPackets, 2);
        }
        return packets * bt_NumberOfSlots(p.linkType, p.packetType) * 625 * os;
    }
    if (!multi) {
        // The packet carries its data padded to whole bytes.
        const double payloadLength = patternLength > packetSize ? packetSize : patternLength;
        return bt_SinglePacketLength(8 * std::ceil(payloadLength / 8), p.linkType, p.packetType) * os;
    }
    const double full = std::floor(patternLength / packetSize);
    double bits = full * bt_SinglePacketLength(packetSize, p.linkType, p.packetType);
    double payloadPackets = full;
    const double remainder = patternLength - full * packetSize;
    if (remainder > 0) {
        bits += bt_SinglePacketLength(8 * std::ceil(remainder / 8), p.linkType, p.packetType);
        payloadPackets += 1;
    }
    if (std::fmod(payloadPackets, 2) == 1) bits += bt_SinglePacketLength(0, p.linkType, p.packetType);
    return bits * os;
}

}  // namespace

double Bt_SizeEst(const GenerationSettings& p) {
    // The modulator repeats a stream shorter than its filter span up to
    // that many symbols.
    if (p.generationMode != 1) return std::max(std::floor(p.patternLength), kMinModulatedSymbols) * p.OverSampling;
    return sizeEstPacketMode(p);
}

int WaveformTooLarge(double projSize, char platform, std::string_view bbgType) {
    double limit = 1e6;
    if (platform == 'c') limit = bbgType == "001" ? 8e6 : 32e6;
    return projSize > limit ? 1 : 0;
}

SizeCheck checkProjectedSize(double projSize, char platform, std::string_view bbgType, bool packetTypeEdit) {
    SizeCheck c;
    const std::string m = formatNumber(roundHalfAway(projSize / 100000) / 10);
    if (platform == 'b') {
        if (projSize > 1e6) {
            c.result = SizeCheck::Result::Refused;
            c.title = "Configuration Invalid";
            c.message = "Configuration would require " + m + " Msamples\nexceeding the IXO-B limit of 1.0 Msamples.";
        }
    } else if (platform == 'c') {
        if (WaveformTooLarge(projSize, platform, bbgType)) {
            c.result = SizeCheck::Result::Refused;
            c.title = "Configuration Invalid";
            c.message = "Configuration would require " + m + " Msamples\n" +
                        (packetTypeEdit ? "exceeding the limit of Baseband Generator Option ."
                                        : "exceeding the memory capacity of your instrument.");
        } else if (projSize > 1e6) {
            c.result = SizeCheck::Result::Warning;
            c.title = "Calculation Warning!";
            c.message =
                "Calculation of a signal with this Projected \n"
                "Length requires a substantial amount of RAM \n"
                "(500 Mbytes or more).                  \n"
                "If the calculation takes longer than   \n"
                "20 minutes, it has most likely failed, \n"
                "even if no error message is visible.   ";
        }
    }
    return c;
}

std::string projectedLengthText(double projSize) { return formatNumber(projSize) + " Samples"; }

std::string projectedLengthTooltip(char platform) {
    if (platform == 'b')
        return "The number of samples generated \nby the current settings.\n(An IXO can hold up 1 M samples.)";
    return "The number of samples generated \nby the current settings.\n(An IXO can hold 8 or 32 M samples,\n depending on the hardware option.)";
}

}  // namespace bt
