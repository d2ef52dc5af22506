#pragma once
// What every control of the main window shows for a settings record: the
// redraw rules, free of any toolkit, so the window only copies them onto its
// controls and the rules can be checked without one.
#include <string>
#include <string_view>
#include <vector>

#include "bluetooth/settings.h"

namespace bt {

// A text field or read-out.
struct FieldView {
    std::string text;
    bool enabled = true;
};

// A pop-up list: its items and the 1-based item selected.
struct ListView {
    std::vector<std::string> items;
    int item = 1;
    bool enabled = true;
};

struct CheckView {
    bool checked = false;
    bool enabled = true;
};

// The multi-packet counts (the same as the multi-packet builder's).
struct PacketCounts {
    double full = 0;
    double partial = 0;
    double pad = 0;
};

struct MainWindowView {
    // redrawFormatParameters
    bool streamMode = false;
    std::string generationMode;  // the selector's text: "Packet Mode" or "Stream Mode"
    ListView linkType;
    ListView packetType;   // redrawPacketType
    FieldView BDaddr;      // 12 hexadecimal digits
    FieldView AMaddr;      // hexadecimal
    FieldView edrRelativePower;  // dB; enabled for an EDR packet
    CheckView dataWhitening;
    CheckView burstActive;
    FieldView powerRamp;     // burstLength
    FieldView rampSettling;  // burstSettle
    // redrawPayloadSetup
    ListView multiPacket;
    ListView payload;
    FieldView bitPattern;  // the label follows its enable state
    FieldView patternReps;
    FieldView patternLength;
    FieldView fullPackets, partialPackets, padPackets;
    bool calibrateDelayEnabled = false;
    // redrawGenerationParameters
    FieldView overSampling;
    CheckView mirrorSpectrum;
    FieldView CGdelay;
    // redrawProjectedLength
    std::string numberOfSamples;  // "12500 Samples"
    // The channel display of the carrier frequency.
    std::string channel;
    // What the rear-panel event outputs carry.
    std::string event[4];
};

// The counts of a multi-packet signal of `patternLength` bits in packets of
// `packetSize` payload bits.
PacketCounts packetCounts(double patternLength, double packetSize);

// The record as the redraw leaves it: the acknowledge bit follows the packet
// setup (0 single, 1 multi-packet) and ProjectedLength is recomputed.
void applyRedrawRules(GenerationSettings& p);

// Every control's state for `p` (after applyRedrawRules) and the carrier
// frequency `frequencyHz`.
MainWindowView mainWindowView(const GenerationSettings& p, double frequencyHz);

// ---------------------------------------------------- channel and carrier

// The Bluetooth channel of a carrier frequency (channel k is 2402 + k MHz),
// or "--" when the frequency is no channel's.
std::string channelText(double frequencyHz);

// A channel typed by the user: the number (empty or unreadable text gives
// 0), clamped to 0..78 and rounded.
struct ChannelEntry {
    int channel = 0;
    double frequencyHz = 2402e6;
    std::string channelText;    // what the channel field shows
    std::string frequencyText;  // the carrier in GHz, what the frequency field shows
};
ChannelEntry enterChannel(std::string_view text);
// The frequency unit list item that frequencyText is in (4: GHz).
inline constexpr int kChannelFrequencyUnitItem = 4;

// ------------------------------------------------------------ event outputs

// What rear-panel event output 1..4 carries for these settings.
std::string eventOutputText(const GenerationSettings& p, int event);

}  // namespace bt
