#include "bluetooth/main_window_view.h"

#include <algorithm>
#include <cmath>

#include "bluetooth/packet_types.h"
#include "bluetooth/settings_editor.h"
#include "bluetooth/size_est.h"
#include "lib/numtext.h"
#include "lib/num2str.h"

namespace bt {

namespace {

constexpr const char* kNotApplicable = "N/A";

bool packetMode(const GenerationSettings& p) { return p.generationMode == 1; }
double packetSize(const GenerationSettings& p) { return Bt_UserPayloadMaxSize(p.linkType, p.packetType); }

void setCounts(MainWindowView& v, const PacketCounts& c) {
    v.fullPackets.text = formatNumber(c.full);
    v.partialPackets.text = formatNumber(c.partial);
    v.padPackets.text = formatNumber(c.pad);
}

void setCountsText(MainWindowView& v, const std::string& text) {
    v.fullPackets.text = v.partialPackets.text = v.padPackets.text = text;
}

void payloadSetup(const GenerationSettings& p, MainWindowView& v) {
    v.calibrateDelayEnabled = false;
    v.bitPattern = {formatHex(p.bitPattern), false};
    v.patternReps = {num2Str(p.patternReps), true};
    v.patternLength = {num2Str(p.patternLength), true};

    if (!packetMode(p)) {
        v.multiPacket = {{"Single Packet", "Multi Packet"}, 1, false};
        v.payload = {payloadLabels(false), static_cast<int>(p.payloadType), true};
        v.bitPattern.enabled = p.payloadType == 7;
        setCountsText(v, kNotApplicable);
        return;
    }
    const double size = packetSize(p);
    if (size <= 0) {
        v.multiPacket = {{"Single Packet", "Multi Packet"}, 1, false};
        v.payload = {{kNotApplicable}, 1, false};
        v.bitPattern.enabled = false;
        v.patternReps = {"", false};
        v.patternLength = {"", false};
        setCounts(v, {1, 0, 0});
        return;
    }
    const bool multi = p.multiPacket != 0;
    v.multiPacket = {{"Single Packet", "Multi Packet"}, multi ? 2 : 1, true};
    v.payload = {payloadLabels(multi), payloadItem(p), true};
    if (!multi) {
        v.patternReps.enabled = false;
    } else if (p.payloadSetup == 4) {
        v.patternReps.enabled = false;
    } else if (p.payloadSetup == 1 || p.payloadSetup == 2) {
        v.patternReps.enabled = false;
        v.patternLength.enabled = false;
        v.calibrateDelayEnabled = true;
    }
    v.bitPattern.enabled = v.payload.item == 7;
    setCounts(v, packetCounts(p.patternLength, size));
}

}  // namespace

PacketCounts packetCounts(double patternLength, double packetSize) {
    PacketCounts c;
    if (packetSize <= 0) return c;
    c.full = std::floor(patternLength / packetSize);
    c.partial = patternLength - c.full * packetSize > 0 ? 1 : 0;
    c.pad = std::fmod(c.full + c.partial, 2.0);
    return c;
}

void applyRedrawRules(GenerationSettings& p) {
    if (packetMode(p) && packetSize(p) > 0) p.ARQN = p.multiPacket != 0 ? 1 : 0;
    p.ProjectedLength = Bt_SizeEst(p);
}

MainWindowView mainWindowView(const GenerationSettings& p, double frequencyHz) {
    MainWindowView v;
    const bool packet = packetMode(p);
    v.streamMode = !packet;
    v.generationMode = packet ? "Packet Mode" : "Stream Mode";
    v.linkType = {{"SCO", "ACL", "eSCO"}, p.linkType == kLinkSco ? 1 : p.linkType == kLinkEsco ? 3 : 2, packet};
    if (packet)
        v.packetType = {packetTypeLabels(p.linkType), static_cast<int>(p.packetType) + 2, true};
    else
        v.packetType = {{kNotApplicable}, 1, false};
    v.BDaddr = {formatHex(p.BDaddr, 12), packet};
    v.AMaddr = {formatHex(p.AMaddr), packet};
    v.edrRelativePower = {num2Str(p.edrRelativePower), edrRelativePowerApplies(p)};
    v.dataWhitening = {p.dataWhiteningActive != 0, true};
    v.burstActive = {p.burstActive != 0, packet};
    const bool ramps = packet && p.burstActive == 1;
    v.powerRamp = {num2Str(p.burstLength), ramps};
    v.rampSettling = {num2Str(p.burstSettle), ramps};

    payloadSetup(p, v);

    v.overSampling = {num2Str(p.OverSampling), true};
    v.mirrorSpectrum = {p.MirrorSpectrum != 0, true};
    v.CGdelay = {num2Str(p.CGdelay), true};
    v.numberOfSamples = projectedLengthText(Bt_SizeEst(p));
    v.channel = channelText(frequencyHz);
    for (int e = 1; e <= 4; ++e) v.event[e - 1] = eventOutputText(p, e);
    return v;
}

std::string channelText(double frequencyHz) {
    // Dividing (not multiplying by 1e-6) keeps whole megahertz exact.
    const double channel = (frequencyHz - 2402e6) / 1e6;
    if (!(channel >= 0 && channel <= 78) || channel != std::trunc(channel)) return "--";
    return formatNumber(channel);
}

ChannelEntry enterChannel(std::string_view text) {
    const double typed = parseNumber(text).value_or(0);
    ChannelEntry e;
    e.channel = static_cast<int>(roundHalfAway(std::clamp(typed, 0.0, 78.0)));
    e.frequencyHz = (2402.0 + e.channel) * 1e6;
    e.channelText = std::to_string(e.channel);
    e.frequencyText = formatNumber((2402.0 + e.channel) / 1000.0);
    return e;
}

std::string eventOutputText(const GenerationSettings& p, int event) {
    switch (event) {
        case 1: return "Symbol Clock";
        case 2:
            if (!packetMode(p)) return "Start of Stream";
            return packetSize(p) > 0 ? "Payload Data" : "Not Used";
        default: return "Not Used";
    }
}

}  // namespace bt
