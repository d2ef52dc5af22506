#include "bluetooth/dirty_tx_entries.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "bluetooth/dirty_tx_frames.h"
#include "instrument/siggen_editor.h"
#include "lib/numtext.h"

namespace bt {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kMaxBDaddr = 281474976710655.0;  // 2^48 - 1
constexpr double kFirstChannelHz = 2402e6;
constexpr double kLastChannel = 78;

// Unreadable text clamps to the upper limit: the lower limit is applied
// first, then the upper one.
double upperIfUnreadable(std::string_view text) { return parseNumber(text).value_or(kInf); }

double clampTo(double x, double lo, double hi) { return std::max(std::min(x, hi), lo); }

void markWaveform(DirtyTxState& s) { s.dtCalcNeeded = 1; }
void markRf(DirtyTxState& s) { s.dtCalcNeeded |= 2; }

}  // namespace

// ---------------------------------------------------------------- opening

void dtOpenFromParameters(DirtyTxState& s, const Parameters& parameters) {
    DirtyTxState loaded = s;
    loadDtState(loaded, parameters);
    dtApplyMarkerRules(loaded);

    DtSigGenSettings rfOnly = s.dtSigGenSettings;
    rfOnly.Frequency = loaded.dtSigGenSettings.Frequency;
    rfOnly.Amplitude = loaded.dtSigGenSettings.Amplitude;
    const bool sameSegments = loaded.dtParameters == s.dtParameters && loaded.dtOmitPollPeriods == s.dtOmitPollPeriods &&
                              loaded.dtImpairmentsCurrent == s.dtImpairmentsCurrent &&
                              loaded.dtTestSelect == s.dtTestSelect && loaded.dtQ7395 == s.dtQ7395 &&
                              rfOnly == loaded.dtSigGenSettings;
    if (!sameSegments) loaded.dtCalcNeeded = 1;
    else if (!(loaded.dtSigGenSettings == s.dtSigGenSettings)) loaded.dtCalcNeeded |= 2;
    s = std::move(loaded);
}

// ---------------------------------------------------------------- lists

std::vector<std::string> dtPacketTypeItems(char platform) {
    std::vector<std::string> items;
    for (const DtPacketType& t : dtPacketTypes(platform)) items.push_back(t.name);
    return items;
}

double dtPacketTypeOfItem(int item, char platform) {
    const std::vector<DtPacketType> types = dtPacketTypes(platform);
    return item >= 1 && item <= static_cast<int>(types.size()) ? types[static_cast<std::size_t>(item) - 1].code : 4;
}

int dtPacketTypeItem(double packetType, char platform) {
    const std::vector<DtPacketType> types = dtPacketTypes(platform);
    for (std::size_t k = 0; k < types.size(); ++k)
        if (types[k].code == packetType) return static_cast<int>(k) + 1;
    return 1;
}

double dtDriftRateOfItem(int item) { return item == 2 ? 500 : item == 3 ? 300 : 1600; }

int dtDriftRateItem(double rate) { return rate == 500 ? 2 : rate == 300 ? 3 : 1; }

// ---------------------------------------------------------------- entries

void dtEnterMasterAddr(DirtyTxState& s, std::string_view hexText) {
    markWaveform(s);
    s.dtParameters.BDaddr = clampTo(std::trunc(parseHex(hexText).value_or(kInf)), 0, kMaxBDaddr);
}

void dtEnterAmAddr(DirtyTxState& s, std::string_view text) {
    markWaveform(s);
    s.dtParameters.AMaddr = clampTo(roundHalfAway(upperIfUnreadable(text)), 0, 7);
}

void dtEnterPowerRamp(DirtyTxState& s, std::string_view text) {
    markWaveform(s);
    s.dtParameters.burstLength = clampTo(roundHalfAway(upperIfUnreadable(text)), 1, 100);
}

void dtEnterRampSettling(DirtyTxState& s, std::string_view text) {
    markWaveform(s);
    const double ramp = s.dtParameters.burstLength;
    const double total = clampTo(roundHalfAway(upperIfUnreadable(text)), ramp, ramp + 20);
    s.dtParameters.burstSettle = total - ramp;
}

void dtEnterRfPower(DirtyTxState& s, std::string_view text) {
    markRf(s);
    // A typing slip must not turn the output up: text that is no number
    // keeps the stored power.
    const auto dBm = parseNumber(text);
    if (dBm) s.dtSigGenSettings.Amplitude = clampTo(*dBm, -136, 0);
}

void dtEnterRfFrequency(DirtyTxState& s, std::string_view mhz) {
    markRf(s);
    s.dtSigGenSettings.Frequency = clampTo(upperIfUnreadable(mhz), 0.001, 6000) * 1e6;
}

void dtEnterChannel(DirtyTxState& s, std::string_view text) {
    markRf(s);
    const double channel = roundHalfAway(clampTo(parseNumber(text).value_or(0), 0, kLastChannel));
    s.dtSigGenSettings.Frequency = kFirstChannelHz + channel * 1e6;
}

void dtEnterTriggerDelay(DirtyTxState& s, std::string_view text) {
    // The lower limit is applied last here, so unreadable text ends on it.
    dtSetSlotSyncDelay(s, parseNumber(text).value_or(-kInf));
}

double dtEnterImpairment(DirtyTxState& s, std::size_t set, std::string_view field, std::string_view text) {
    return dtEditImpairment(s, set, field, upperIfUnreadable(text));
}

void dtEnterTitle(DirtyTxState& s, std::string_view text) {
    markWaveform(s);
    s.dtSigGenSettings.Title = filterWaveformTitle(text);
}

// ---------------------------------------------------------------- event markers

void dtOpenEventMarkers(DirtyTxState& s) { markWaveform(s); }

// The markers are written into the sets when they are calculated, so a
// marker that changes after a calculation needs the sets made again; the
// download would otherwise play the old markers.
void dtSelectMarker1Type(DirtyTxState& s, int item) {
    if (s.dtParameters.marker1Type != item) markWaveform(s);
    s.dtParameters.marker1Type = item;
}

void dtSelectMarker2Type(DirtyTxState& s, int item) {
    if (s.dtParameters.marker2Type != item) markWaveform(s);
    s.dtParameters.marker2Type = item;
    dtApplyMarkerRules(s);
}

double dtMarker1TimingMin(const DirtyTxState& s) { return s.dtOmitPollPeriods != 0 ? 0 : -625; }

void dtEnterMarker1Timing(DirtyTxState& s, std::string_view text) {
    const double os = s.dtParameters.OverSampling;
    const double onGrid = roundHalfAway(upperIfUnreadable(text) * os) / os;
    const double timing = std::max(std::min(onGrid, 500.0), dtMarker1TimingMin(s));
    if (timing != s.dtParameters.marker1Timing) markWaveform(s);
    s.dtParameters.marker1Timing = timing;
}

void dtApplyMarkerRules(DirtyTxState& s) {
    dtApplyLoadedMarkerRules(s.dtParameters, s.dtOmitPollPeriods, s.dtSigGenSettings);
}

// ---------------------------------------------------------------- what the windows show

std::string dtChannelText(double frequencyHz) {
    const double channel = (frequencyHz - kFirstChannelHz) / 1e6;
    if (channel < 0 || channel > kLastChannel || channel != std::trunc(channel)) return "--";
    return formatNumber(channel);
}

DtWindowView dtWindowView(const DirtyTxState& s, char platform) {
    const GenerationSettings& p = s.dtParameters;
    const DtSigGenSettings& sg = s.dtSigGenSettings;
    const Impairments& first = s.dtImpairmentsCurrent[0];
    const DtDriftDefaults drift = dtDriftDefaults(p.packetType);

    DtWindowView v;
    v.packetItem = dtPacketTypeItem(p.packetType, platform);
    v.masterAddr = formatHex(p.BDaddr, 12);
    v.amAddr = formatNumber(p.AMaddr);
    v.rfPower = formatNumber(sg.Amplitude);
    v.rfFrequency = formatNumber(sg.Frequency / 1e6);
    v.channel = dtChannelText(sg.Frequency);
    v.powerRamp = formatNumber(p.burstLength);
    v.rampSettling = formatNumber(p.burstSettle + p.burstLength);
    v.useQ7395 = s.dtQ7395.enable != 0;
    v.omitPoll = s.dtOmitPollPeriods != 0;
    v.omitPollEnabled = !v.useQ7395;
    v.triggerDelay = formatNumber(s.dtQ7395.SlotSyncDelay);
    v.title = sg.Title;
    v.driftRateItem = dtDriftRateItem(first.FreqDriftRate);
    v.driftDeviation = formatNumber(first.FreqDriftDeviation);
    v.driftPhase = formatNumber(first.InitialDriftPhase);
    v.driftRateEdited = first.FreqDriftRate != drift.FreqDriftRate;
    v.driftDeviationEdited = first.FreqDriftDeviation != drift.FreqDriftDeviation;
    v.driftPhaseEdited = first.InitialDriftPhase != 0;
    for (std::size_t n = 0; n < kDtTestSets; ++n) {
        const Impairments& i = s.dtImpairmentsCurrent[n];
        const DtTestSetRow& d = kDtTestSetTable[n];
        DtSetView& row = v.sets[n];
        row.selected = s.dtTestSelect[n] != 0;
        row.freqOffset = formatNumber(i.FreqOffset);
        row.modIndex = formatNumber(i.ModIndex);
        row.symbolTiming = formatNumber(i.SymbolTimingError);
        row.freqOffsetEdited = i.FreqOffset != d.FreqOffset;
        row.modIndexEdited = i.ModIndex != d.ModIndex;
        row.symbolTimingEdited = i.SymbolTimingError != d.SymbolTimingError;
    }
    v.projectedLength =
        setDTProjectedLength(p.packetType, platform, s.dtOmitPollPeriods, s.dtTestSelect, p.OverSampling, s.dtQ7395.enable);
    return v;
}

DtEventMarkerView dtEventMarkerView(const DirtyTxState& s) {
    DtEventMarkerView v;
    v.marker1Item = static_cast<int>(s.dtParameters.marker1Type);
    v.marker2Item = static_cast<int>(s.dtParameters.marker2Type);
    v.marker1Timing = formatNumber(s.dtParameters.marker1Timing);
    v.timingShown = s.dtParameters.marker1Type == 2;
    return v;
}

}  // namespace bt
