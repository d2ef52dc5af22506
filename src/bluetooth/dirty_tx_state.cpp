#include "bluetooth/dirty_tx_state.h"

#include "bluetooth/dirty_tx_frames.h"
#include "bluetooth/packet_types.h"
#include "bluetooth/size_est.h"
#include "lib/numtext.h"

namespace bt {

const DtTestSetRow kDtTestSetTable[kDtTestSets] = {
    {75, 0.28, -20}, {14, 0.30, -20}, {-2, 0.29, 20}, {1, 0.32, 20},   {39, 0.33, 20},
    {0, 0.34, -20},  {-42, 0.29, -20}, {74, 0.31, -20}, {-19, 0.28, -20}, {-75, 0.35, 20},
};

DtDriftDefaults dtDriftDefaults(double packetType) {
    const int slots = dtPacketSlots(packetType);
    DtDriftDefaults d = slots == 5 ? DtDriftDefaults{300, 40, 2712}
                        : slots == 3 ? DtDriftDefaults{500, 40, 1464}
                                     : DtDriftDefaults{1600, 25, 216};
    // An EDR packet carries its own largest payload, as the basic-rate ones do.
    if (packetType >= kEdrCodeBase)
        if (const double bits = Bt_UserPayloadMaxSize(kLinkAcl, packetType); bits > 0) d.patternLength = bits;
    return d;
}

Impairments dtBaseImpairments() {
    Impairments b;
    b.ModIndexActive = 1;
    b.ModIndex = 0.315;
    b.AWGNactive = 0;
    b.AWGNratio = 0;
    b.AWGNseed = 1;
    b.FreqDriftActive = 1;
    b.FreqDriftType = 2;
    b.FreqDriftDeviation = 25;
    b.FreqDriftRate = 1600;
    b.InitialDriftPhase = 0;
    b.FreqOffsetActive = 1;
    b.FreqOffset = 0;
    b.SymbolTimingErrorActive = 1;
    b.SymbolTimingError = 0;
    return b;
}

DtImpairmentTable dtDefaultImpairmentTable() {
    DtImpairmentTable t;
    for (std::size_t n = 0; n < kDtTestSets; ++n) {
        t[n] = dtBaseImpairments();
        t[n].FreqOffset = kDtTestSetTable[n].FreqOffset;
        t[n].ModIndex = kDtTestSetTable[n].ModIndex;
        t[n].SymbolTimingError = kDtTestSetTable[n].SymbolTimingError;
    }
    return t;
}

GenerationSettings dtDefaultParameters(const GenerationSettings& copyOf) {
    GenerationSettings d = copyOf;
    d.ParameterFileFormat_ID = "bt - Format 1.0";
    d.generationMode = 1;
    d.linkType = 2;
    d.packetType = 4;
    d.multiPacket = 0;
    d.BDaddr = *parseHex("BDBDBDBDBDBD");
    d.AMaddr = 1;
    d.SEQN = 1;
    d.ARQN = 1;
    d.dataWhiteningActive = 0;
    d.dataWhiteningInitValue = 1;
    d.burstActive = 1;
    d.burstLength = 2;
    d.burstSettle = 2;
    d.ModIndex = 0.315;
    d.payloadSetup = 1;
    d.payloadType = 5;
    d.bitPattern = 85;
    d.patternReps = 216.0 / 511.0;
    d.patternLength = 216;
    d.marker1Type = 2;
    d.marker2Type = 2;
    d.marker1Timing = 0;
    d.CGdelay = 0;
    d.MirrorSpectrum = 0;
    d.OverSampling = 10;
    d.ProjectedLength = 0;
    return d;
}

void initDtParameters(DirtyTxState& s, Parameters& parameters) {
    if (!s.initHasBeenRun) {
        s.dtParameters = static_cast<const GenerationSettings&>(parameters);
        s.initHasBeenRun = true;
    }
    s.dtParameters = dtDefaultParameters(s.dtParameters);
    s.dtOmitPollPeriods = 0;
    parameters.dtParameters = s.dtParameters;
}

void initDtImpairments(DirtyTxState& s) {
    s.dtImpairmentsBase = dtBaseImpairments();
    s.dtImpairmentsDefault = dtDefaultImpairmentTable();
    s.dtImpairmentsCurrent = s.dtImpairmentsDefault;
}

void initDtSigGenSettings(DirtyTxState& s) {
    s.dtSigGenSettings = DtSigGenSettings{};
    s.dtSigGenSettings.SamplingRate = 1e6 * s.dtParameters.OverSampling;
}

void initDtTestSelect(DirtyTxState& s) {
    s.dtTestSelect.fill(1);
    s.dtCalcNeeded = 1;
}

void initDtQ7395(DirtyTxState& s) { s.dtQ7395 = DtQ7395{}; }

DirtyTxState initialDtState(Parameters& parameters) {
    DirtyTxState s;
    initDtParameters(s, parameters);
    initDtImpairments(s);
    initDtSigGenSettings(s);
    initDtTestSelect(s);
    initDtQ7395(s);
    return s;
}

void dtApplyLoadedMarkerRules(GenerationSettings& dtParameters, double dtOmitPollPeriods,
                              DtSigGenSettings& dtSigGenSettings) {
    dtSigGenSettings.RFblanking = dtParameters.marker2Type == 2 ? 1 : 0;
    const double earliest = dtOmitPollPeriods != 0 ? 0 : -625;  // one slot ahead of the first symbol
    if (dtParameters.marker1Timing < earliest) dtParameters.marker1Timing = earliest;
}

void loadDtState(DirtyTxState& s, const Parameters& p) {
    s.dtParameters = p.dtParameters;
    s.dtOmitPollPeriods = p.dtOmitPollPeriods;
    s.dtImpairmentsCurrent = p.dtImpairmentsCurrent;
    s.dtSigGenSettings = p.dtSigGenSettings;
    s.dtTestSelect = p.dtTestSelect;
    s.dtQ7395 = p.dtQ7395;
    dtApplyLoadedMarkerRules(s.dtParameters, s.dtOmitPollPeriods, s.dtSigGenSettings);
}

void saveDtState(const DirtyTxState& s, Parameters& p) {
    p.dtParameters = s.dtParameters;
    p.dtOmitPollPeriods = s.dtOmitPollPeriods;
    p.dtImpairmentsCurrent = s.dtImpairmentsCurrent;
    p.dtSigGenSettings = s.dtSigGenSettings;
    p.dtTestSelect = s.dtTestSelect;
    p.dtQ7395 = s.dtQ7395;
}

}  // namespace bt
