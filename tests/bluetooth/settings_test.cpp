#include <gtest/gtest.h>

#include "bluetooth/dirty_tx_state.h"
#include "bluetooth/settings.h"
#include "app/app_state.h"

using namespace bt;

TEST(Settings, StartUpRecordsMatchTheDefaults) {
    AppState s;
    initializeAppState(s);
    // A default-constructed record already holds every default, the
    // dirty-transmitter ones included.
    EXPECT_EQ(s.parameters, Parameters{});
    const Parameters& p = s.parameters;
    EXPECT_EQ(p.packetType, 4);
    EXPECT_EQ(p.patternLength, 216);
    EXPECT_DOUBLE_EQ(p.patternReps, 0.4227005870841487);
    EXPECT_EQ(p.dataSourceBitstream, (Bits{0, 1}));
    EXPECT_EQ(p.ProjectedLength, 0);
    EXPECT_EQ(s.SigGenSettings.SamplingRate, 10e6);
    EXPECT_EQ(s.SigGenSettings.Frequency, 2402e6);
    EXPECT_EQ(s.configuration.type, "GPIB");
    EXPECT_EQ(s.configuration.GPIB.primary, 19);
    EXPECT_EQ(s.configuration.BBGtype, "002");
    EXPECT_EQ(s.appInfo.Name, "BLUETOOTH");
    EXPECT_EQ(s.appInfo.Platform, 'c');
    EXPECT_EQ(s.appInfo.ParameterFileExtension, ".bt");
    EXPECT_EQ(s.appInfo.ApplicationFunction, "bt_GUI");
    EXPECT_FALSE(s.appInfo.LastCaluclatedParameterSet);
}

TEST(Settings, DirtyTransmitterDefaults) {
    const Parameters p;
    const GenerationSettings& d = p.dtParameters;
    EXPECT_EQ(d.BDaddr, 0xBDBDBDBDBDBDLL);
    EXPECT_EQ(d.SEQN, 1);
    EXPECT_EQ(d.ARQN, 1);
    EXPECT_EQ(d.burstLength, 2);
    EXPECT_EQ(d.burstSettle, 2);
    EXPECT_EQ(d.marker1Type, 2);
    EXPECT_EQ(d.marker2Type, 2);
    // Fields the set-up does not reset are copies of the main settings.
    EXPECT_EQ(d.impairments, Impairments{});
    EXPECT_EQ(d.dataSourceBitstream, p.dataSourceBitstream);

    const double table[10][3] = {{75, 0.28, -20}, {14, 0.30, -20}, {-2, 0.29, 20},  {1, 0.32, 20},
                                 {39, 0.33, 20},  {0, 0.34, -20},  {-42, 0.29, -20}, {74, 0.31, -20},
                                 {-19, 0.28, -20}, {-75, 0.35, 20}};
    for (std::size_t n = 0; n < 10; ++n) {
        const Impairments& i = p.dtImpairmentsCurrent[n];
        EXPECT_EQ(i.FreqOffset, table[n][0]);
        EXPECT_EQ(i.ModIndex, table[n][1]);
        EXPECT_EQ(i.SymbolTimingError, table[n][2]);
        EXPECT_EQ(i.FreqDriftType, 2);
        EXPECT_EQ(i.FreqDriftDeviation, 25);
        EXPECT_EQ(i.FreqDriftRate, 1600);
        EXPECT_EQ(i.ModIndexActive, 1);
        EXPECT_EQ(i.SymbolTimingErrorActive, 1);
        EXPECT_EQ(p.dtTestSelect[n], 1);
    }
    EXPECT_EQ(p.dtSigGenSettings.Title, "Bluetooth_DT");
    EXPECT_EQ(p.dtSigGenSettings.SamplingRate, 10e6);
    EXPECT_EQ(p.dtSigGenSettings.Amplitude, -14);
    EXPECT_EQ(p.dtQ7395.SlotSyncDelay, -703);
    EXPECT_EQ(p.dtQ7395.enable, 0);

    EXPECT_EQ(dtDriftDefaults(11).FreqDriftRate, 500);
    EXPECT_EQ(dtDriftDefaults(15).patternLength, 2712);
    EXPECT_EQ(dtDriftDefaults(3).FreqDriftDeviation, 25);  // any other type counts as DH1
}

TEST(Settings, OnlyTheFirstDirtyTransmitterSetUpCopiesTheMainSettings) {
    DirtyTxState s;
    Parameters p;
    p.dataSourceBitstream = {1, 1, 1};
    p.SEQN = 0;
    initDtParameters(s, p);
    EXPECT_EQ(s.dtParameters.dataSourceBitstream, (Bits{1, 1, 1}));
    EXPECT_EQ(s.dtParameters.SEQN, 1);
    // Later runs keep the first copy and reset only the listed fields.
    p.dataSourceBitstream = {0};
    s.dtParameters.burstLength = 9;
    s.dtOmitPollPeriods = 1;
    initDtParameters(s, p);
    EXPECT_EQ(s.dtParameters.dataSourceBitstream, (Bits{1, 1, 1}));
    EXPECT_EQ(s.dtParameters.burstLength, 2);
    EXPECT_EQ(s.dtOmitPollPeriods, 0);
    EXPECT_EQ(p.dtParameters, s.dtParameters);

    s.dtTestSelect.fill(0);
    s.dtCalcNeeded = 0;
    initDtTestSelect(s);
    EXPECT_EQ(s.dtTestSelect[4], 1);
    EXPECT_EQ(s.dtCalcNeeded, 1);
}

TEST(Settings, PatternPeriodAndModulationIndex) {
    GenerationSettings p;
    const double periods[] = {1, 1, 2, 2, 511, 32767, 8};
    for (int t = 1; t <= 7; ++t) {
        p.payloadType = t;
        EXPECT_EQ(patternPeriod(p), periods[t - 1]);
    }
    p.payloadType = 8;
    p.dataSourceBitstream = Bits(123, 1);
    EXPECT_EQ(patternPeriod(p), 123);
    p.payloadType = 0;
    EXPECT_EQ(patternPeriod(p), 1);

    EXPECT_EQ(effectiveModIndex(p), 0.315);
    p.impairments.ModIndex = 0.28;
    EXPECT_EQ(effectiveModIndex(p), 0.315);
    p.impairments.ModIndexActive = 1;
    EXPECT_EQ(effectiveModIndex(p), 0.28);

    p.OverSampling = 4;
    EXPECT_EQ(instrumentSampleRate(p), 4e6);
    p.impairments.SymbolTimingError = 20;
    EXPECT_EQ(instrumentSampleRate(p), 4e6);
    p.impairments.SymbolTimingErrorActive = 1;
    EXPECT_EQ(instrumentSampleRate(p), 4 * (1e6 + 20));
}
