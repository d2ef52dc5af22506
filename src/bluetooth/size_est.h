#pragma once
// Waveform size projection and the instrument memory limits.
#include <string>
#include <string_view>

#include "bluetooth/settings.h"

namespace bt {

// Largest user payload of a packet type in bits; 0 for packets without one.
double Bt_UserPayloadMaxSize(double linkType, double packetId);

// Air length of one packet in bits for a user payload of `userMsgLength`;
// in symbols for an Enhanced Data Rate packet (to the end of its closing).
double bt_SinglePacketLength(double userMsgLength, double linkType, double packetType);

// Coded length of `size` bits at FEC rate 1/3, 2/3 or 1.
double bt_BlockEncoderLengthProjection(double rate, double size);

// Slot period of one burst (2, 4 or 6 slots).
int bt_NumberOfSlots(double linkType, double packetType);

// Samples the settings will generate. A fractional pattern length yields
// its whole bits only, as the payload generator does.
double Bt_SizeEst(const GenerationSettings& p);

// 1 when `projSize` exceeds the waveform memory of the instrument
// generation ('b': 1 M samples; 'c': 8 M with option "001", else 32 M).
int WaveformTooLarge(double projSize, char platform, std::string_view bbgType);

// Outcome of the projected-size check that guards every size-changing edit.
struct SizeCheck {
    enum class Result { Accepted, Warning, Refused };
    Result result = Result::Accepted;
    std::string title;    // "Configuration Invalid" or "Calculation Warning!"
    std::string message;  // the box text, lines separated by '\n'
    bool accepted() const { return result != Result::Refused; }
};

// `packetTypeEdit` selects the refusal wording used for packet-type edits.
SizeCheck checkProjectedSize(double projSize, char platform, std::string_view bbgType,
                             bool packetTypeEdit = false);

// "12500 Samples"
std::string projectedLengthText(double projSize);
// Tooltip of the projected-length display for the platform.
std::string projectedLengthTooltip(char platform);

}  // namespace bt
