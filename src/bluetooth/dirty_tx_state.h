#pragma once
// State of the dirty-transmitter sequence and its default set-up steps.
#include <vector>

#include "bluetooth/packet_layout.h"
#include "bluetooth/settings.h"
#include "lib/types.h"

namespace bt {

struct DirtyTxState {
    bool initHasBeenRun = false;
    GenerationSettings dtParameters;
    Impairments dtImpairmentsBase;
    DtImpairmentTable dtImpairmentsDefault{};
    DtImpairmentTable dtImpairmentsCurrent{};
    DtSigGenSettings dtSigGenSettings;
    DtTestSelect dtTestSelect{};
    double dtOmitPollPeriods = 0;
    double dtOmitPollLastState = 0;
    DtQ7395 dtQ7395;
    int dtCalcNeeded = 1;  // bit 1: recalculate; bit 2: only frequency/power changed
    std::vector<ComplexRow> dtWaveform;  // one row per test set
    std::vector<Markers> dtMarkers;      // markers 1 and 2 of each test set
    std::vector<PacketLayout> dtPackets; // where each set's packets lie in its row
    double dtPacketType = 4;
    double dtRepetitions = 8;
};

// Test-set table: frequency offset (kHz), modulation index, symbol timing
// error (ppm) of each of the ten sets.
struct DtTestSetRow {
    double FreqOffset;
    double ModIndex;
    double SymbolTimingError;
};
extern const DtTestSetRow kDtTestSetTable[kDtTestSets];

// Drift shared by all sets, and the payload length, per packet type
// (by its slots: DH1, DH3, DH5 and the EDR types of as many slots share the
// drift; any other type counts as DH1). An EDR type's payload is its largest.
struct DtDriftDefaults {
    double FreqDriftRate;       // Hz
    double FreqDriftDeviation;  // kHz
    double patternLength;       // bits
};
DtDriftDefaults dtDriftDefaults(double packetType);

Impairments dtBaseImpairments();

// The five default set-up steps, in the order the start-up runs them.
// The first run of initDtParameters copies `parameters`; every run resets
// the packet fields and hands the result back to parameters.dtParameters.
void initDtParameters(DirtyTxState& s, Parameters& parameters);
void initDtImpairments(DirtyTxState& s);
void initDtSigGenSettings(DirtyTxState& s);
void initDtTestSelect(DirtyTxState& s);
void initDtQ7395(DirtyTxState& s);
// A fresh state after all five steps.
DirtyTxState initialDtState(Parameters& parameters);

// The event-marker rules that the windows keep while the user edits, for a
// record from elsewhere (a settings file): RF blanking on exactly when
// marker 2 carries the burst, and a marker-1 pulse no earlier than one slot
// ahead of the packet, nor ahead of it at all without poll periods (a
// negative timing then becomes 0, as ticking "Omit Poll Periods" makes it).
void dtApplyLoadedMarkerRules(GenerationSettings& dtParameters, double dtOmitPollPeriods,
                              DtSigGenSettings& dtSigGenSettings);

// The module state lives in `parameters` between openings of its window;
// loading brings it into line with the event-marker rules.
void loadDtState(DirtyTxState& s, const Parameters& parameters);
void saveDtState(const DirtyTxState& s, Parameters& parameters);

}  // namespace bt
