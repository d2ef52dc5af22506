#pragma once
// Field-by-field access to the settings records, in the order their fields
// are created. Serialisers (JSON, MAT-files) walk the records through these
// so that a field is named in one place only.
//
// forEachField(record, f) calls f(name, member) for every field; `member`
// is one of: double, std::string, char, Bits, a nested record, a
// DtImpairmentTable, a DtTestSelect, std::vector<std::uintptr_t> or
// std::optional<Parameters>.
#include <concepts>
#include <type_traits>

#include "bluetooth/settings.h"

namespace bt {

template <class R, class T>
concept RecordOf = std::same_as<std::remove_const_t<R>, T>;

template <RecordOf<Impairments> R, class F>
void forEachField(R& r, F&& f) {
    f("ModIndexActive", r.ModIndexActive);
    f("ModIndex", r.ModIndex);
    f("AWGNactive", r.AWGNactive);
    f("AWGNratio", r.AWGNratio);
    f("AWGNseed", r.AWGNseed);
    f("FreqDriftActive", r.FreqDriftActive);
    f("FreqDriftType", r.FreqDriftType);
    f("FreqDriftDeviation", r.FreqDriftDeviation);
    f("FreqDriftRate", r.FreqDriftRate);
    f("InitialDriftPhase", r.InitialDriftPhase);
    f("FreqOffsetActive", r.FreqOffsetActive);
    f("FreqOffset", r.FreqOffset);
    f("SymbolTimingErrorActive", r.SymbolTimingErrorActive);
    f("SymbolTimingError", r.SymbolTimingError);
    f("GainImbalanceActive", r.GainImbalanceActive);
    f("GainImbalance", r.GainImbalance);
    f("QuadratureSkewActive", r.QuadratureSkewActive);
    f("QuadratureSkew", r.QuadratureSkew);
    f("CarrierLeakageActive", r.CarrierLeakageActive);
    f("CarrierLeakage", r.CarrierLeakage);
    f("PhaseNoiseActive", r.PhaseNoiseActive);
    f("PhaseNoiseLevel", r.PhaseNoiseLevel);
    f("PhaseNoiseOffset", r.PhaseNoiseOffset);
}

template <RecordOf<DtSigGenSettings> R, class F>
void forEachField(R& r, F&& f) {
    f("SamplingRate", r.SamplingRate);
    f("Title", r.Title);
    f("RFblanking", r.RFblanking);
    f("MarkerPolarity", r.MarkerPolarity);
    f("Amplitude", r.Amplitude);
    f("TriggerDelay", r.TriggerDelay);
    f("TriggerType", r.TriggerType);
    f("Frequency", r.Frequency);
}

template <RecordOf<DtQ7395> R, class F>
void forEachField(R& r, F&& f) {
    f("enable", r.enable);
    f("SlotSyncDelay", r.SlotSyncDelay);
}

namespace detail {
// The generation fields up to and including the impairment record.
template <class R, class F>
void forEachGenerationField(R& r, F&& f) {
    f("ParameterFileFormat_ID", r.ParameterFileFormat_ID);
    f("generationMode", r.generationMode);
    f("linkType", r.linkType);
    f("packetType", r.packetType);
    f("multiPacket", r.multiPacket);
    f("BDaddr", r.BDaddr);
    f("AMaddr", r.AMaddr);
    f("SEQN", r.SEQN);
    f("ARQN", r.ARQN);
    f("dataWhiteningActive", r.dataWhiteningActive);
    f("dataWhiteningInitValue", r.dataWhiteningInitValue);
    f("burstActive", r.burstActive);
    f("burstLength", r.burstLength);
    f("burstSettle", r.burstSettle);
    f("ModIndex", r.ModIndex);
    f("payloadSetup", r.payloadSetup);
    f("payloadType", r.payloadType);
    f("bitPattern", r.bitPattern);
    f("patternReps", r.patternReps);
    f("patternLength", r.patternLength);
    f("dataSourceBitstream", r.dataSourceBitstream);
    f("CGdelay", r.CGdelay);
    f("MirrorSpectrum", r.MirrorSpectrum);
    f("OverSampling", r.OverSampling);
    f("marker1Type", r.marker1Type);
    f("marker2Type", r.marker2Type);
    f("marker1Timing", r.marker1Timing);
    f("edrRelativePower", r.edrRelativePower);
    f("impairments", r.impairments);
}
}  // namespace detail

template <RecordOf<GenerationSettings> R, class F>
void forEachField(R& r, F&& f) {
    detail::forEachGenerationField(r, f);
    f("ProjectedLength", r.ProjectedLength);
}

template <RecordOf<Parameters> R, class F>
void forEachField(R& r, F&& f) {
    detail::forEachGenerationField(r, f);
    f("dtParameters", r.dtParameters);
    f("dtImpairmentsCurrent", r.dtImpairmentsCurrent);
    f("dtOmitPollPeriods", r.dtOmitPollPeriods);
    f("dtSigGenSettings", r.dtSigGenSettings);
    f("dtTestSelect", r.dtTestSelect);
    f("dtQ7395", r.dtQ7395);
    f("ProjectedLength", r.ProjectedLength);
}

template <RecordOf<AppInfo> R, class F>
void forEachField(R& r, F&& f) {
    f("ParameterFileExtension", r.ParameterFileExtension);
    f("ClientWindows", r.ClientWindows);
    f("LastCaluclatedParameterSet", r.LastCaluclatedParameterSet);
    f("LastCalcTimeStamp", r.LastCalcTimeStamp);
    f("Name", r.Name);
    f("Platform", r.Platform);
    f("IsRelease", r.IsRelease);
    f("Rev", r.Rev);
    f("Date", r.Date);
    f("Notes", r.Notes);
    f("NotesLine2", r.NotesLine2);
    f("NotesLine3", r.NotesLine3);
    f("NotesLine4", r.NotesLine4);
    f("NotesLine5", r.NotesLine5);
    f("ApplicationFunction", r.ApplicationFunction);
}

template <RecordOf<Configuration::Gpib> R, class F>
void forEachField(R& r, F&& f) {
    f("board", r.board);
    f("primary", r.primary);
    f("secondary", r.secondary);
}

template <RecordOf<Configuration::Rs232> R, class F>
void forEachField(R& r, F&& f) {
    f("port", r.port);
    f("baudrate", r.baudrate);
    f("handshake", r.handshake);
    f("device", r.device);
}

template <RecordOf<Configuration::Tcpip> R, class F>
void forEachField(R& r, F&& f) {
    f("address", r.address);
    f("board", r.board);
}

template <RecordOf<Configuration::Sdr> R, class F>
void forEachField(R& r, F&& f) {
    f("args", r.args);
    f("gain", r.gain);
    f("antenna", r.antenna);
}

template <RecordOf<Configuration> R, class F>
void forEachField(R& r, F&& f) {
    f("type", r.type);
    f("GPIB", r.GPIB);
    f("RS232", r.RS232);
    f("TCPIP", r.TCPIP);
    f("SDR", r.SDR);
    f("BBGtype", r.BBGtype);
    f("LastParameterFilename", r.LastParameterFilename);
}

template <RecordOf<SigGenSettings> R, class F>
void forEachField(R& r, F&& f) {
    f("Title", r.Title);
    f("Frequency", r.Frequency);
    f("Amplitude", r.Amplitude);
    f("SamplingRate", r.SamplingRate);
    f("RFblanking", r.RFblanking);
    f("ArbRefSource", r.ArbRefSource);
    f("MarkerPolarity", r.MarkerPolarity);
    f("ALC", r.ALC);
    f("ReconFilter", r.ReconFilter);
    f("BBfilter", r.BBfilter);
    f("Scaling", r.Scaling);
    f("ModAtten", r.ModAtten);
}

// Records that forEachField knows.
template <class T>
concept SettingsRecord = requires(T& t) { forEachField(t, [](const char*, auto&) {}); };

}  // namespace bt
