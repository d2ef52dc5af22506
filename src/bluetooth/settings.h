#pragma once
// The application's settings records. Plain structs with the field names the
// settings files and the instrument dialogue use; copied by value.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "instrument/instrument_settings.h"
#include "lib/types.h"

namespace bt {

// Transmitter impairments (also one per dirty-transmitter test set).
struct Impairments {
    double ModIndexActive = 0;
    double ModIndex = 0.315;
    double AWGNactive = 0;
    double AWGNratio = 30;  // dB
    double AWGNseed = 1;
    double FreqDriftActive = 0;
    double FreqDriftType = 1;       // 1 linear ramp, 2 sinusoidal
    double FreqDriftDeviation = 0;  // kHz
    double FreqDriftRate = 1600;    // Hz
    double InitialDriftPhase = 0;
    double FreqOffsetActive = 0;
    double FreqOffset = 0;  // kHz
    double SymbolTimingErrorActive = 0;
    double SymbolTimingError = 0;  // ppm
    // The I/Q modulator and its oscillator. Files written before these
    // existed lack them and load with them off.
    double GainImbalanceActive = 0;
    double GainImbalance = 0;  // dB, I over Q
    double QuadratureSkewActive = 0;
    double QuadratureSkew = 0;  // degrees
    double CarrierLeakageActive = 0;
    double CarrierLeakage = -40;  // dBc
    double PhaseNoiseActive = 0;
    double PhaseNoiseLevel = -100;  // dBc/Hz at PhaseNoiseOffset
    double PhaseNoiseOffset = 100;  // kHz
    bool operator==(const Impairments&) const = default;
};

// Signal-generator settings that the dirty-transmitter download uses.
struct DtSigGenSettings {
    double SamplingRate = 10e6;
    std::string Title = "Bluetooth_DT";
    double RFblanking = 1;
    double MarkerPolarity = 0;
    double Amplitude = -14;  // dBm
    double TriggerDelay = 1167;
    std::string TriggerType = "Single";
    double Frequency = 2402000000;  // Hz
    bool operator==(const DtSigGenSettings&) const = default;
};

// External frame-synchronised mode for the Bluetooth test set.
struct DtQ7395 {
    double enable = 0;
    double SlotSyncDelay = -703;  // microseconds
    bool operator==(const DtQ7395&) const = default;
};

inline constexpr std::size_t kDtTestSets = 10;
using DtImpairmentTable = std::array<Impairments, kDtTestSets>;
using DtTestSelect = std::array<double, kDtTestSets>;

struct GenerationSettings;
// Dirty-transmitter defaults (defined with the dirty-transmitter state).
DtImpairmentTable dtDefaultImpairmentTable();
GenerationSettings dtDefaultParameters(const GenerationSettings& copyOf);

// Everything that decides the generated signal. The dirty-transmitter
// sequence keeps one of these (without its own dirty-transmitter fields) as
// `dtParameters`, hence the split from `Parameters` below.
struct GenerationSettings {
    std::string ParameterFileFormat_ID = "bt - Format 1.0";
    double generationMode = 1;  // 1 packet, 2 stream
    double linkType = 2;        // 1 SCO, 2 ACL, 3 eSCO
    double packetType = 4;      // DH1; -1 is the ID packet
    double multiPacket = 0;
    double BDaddr = 8;
    double AMaddr = 1;
    double SEQN = 0;
    double ARQN = 0;
    double dataWhiteningActive = 0;
    double dataWhiteningInitValue = 1;
    double burstActive = 1;
    double burstLength = 6;  // us
    double burstSettle = 6;  // us
    double ModIndex = 0.315;
    double payloadSetup = 1;  // 0 pattern, 1 continuous PN9, 2 continuous PN15, 4 user file
    double payloadType = 5;   // PN9
    double bitPattern = 85;
    double patternReps = 216.0 / 511.0;
    double patternLength = 216;
    Bits dataSourceBitstream = {0, 1};
    double CGdelay = 0;  // us
    double MirrorSpectrum = 0;
    double OverSampling = 10;
    double marker1Type = 1;
    double marker2Type = 1;
    double marker1Timing = 0;
    double edrRelativePower = 0;  // dB, EDR DPSK section against the GFSK section
    Impairments impairments;
    double ProjectedLength = 0;
    bool operator==(const GenerationSettings&) const = default;
};

// A default-constructed record holds every default, the dirty-transmitter
// ones included.
struct Parameters : GenerationSettings {
    GenerationSettings dtParameters = dtDefaultParameters(GenerationSettings{});
    DtImpairmentTable dtImpairmentsCurrent = dtDefaultImpairmentTable();
    double dtOmitPollPeriods = 0;
    DtSigGenSettings dtSigGenSettings;
    DtTestSelect dtTestSelect = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    DtQ7395 dtQ7395;
    bool operator==(const Parameters&) const = default;
};

struct AppInfo {
    std::string ParameterFileExtension = ".bt";
    std::vector<std::uintptr_t> ClientWindows;  // open plot windows
    std::optional<Parameters> LastCaluclatedParameterSet;
    std::string LastCalcTimeStamp;
    // Added by the library entry.
    std::string Name;
    char Platform = 'c';  // 'c' IXO-C generation, 'b' IXO-B
    double IsRelease = 0;
    std::string Rev;
    std::string Date;
    std::string Notes;
    std::string NotesLine2;
    std::string NotesLine3;
    std::string NotesLine4;
    std::string NotesLine5;
    std::string ApplicationFunction;
    bool operator==(const AppInfo&) const = default;
};

// ------------------------------------------------------------- defaults

// appInfo as the library entry completes it (name, platform, texts).
AppInfo defaultAppInfo();
// Instrument settings derived from the given settings (sample rate).
SigGenSettings defaultSigGenSettings(const GenerationSettings& p);

// ------------------------------------------------------------- helpers

// Bits of one period of the payload pattern (1, 2, 511, 32767, 8, or the
// length of the user bit stream; 1 for any other code).
double patternPeriod(const GenerationSettings& p);
double patternPeriod(double payloadType, const Bits& dataSourceBitstream);

// impairments.ModIndex while that impairment is active, else ModIndex.
double effectiveModIndex(const GenerationSettings& p);

// The instrument sample rate for these settings: OverSampling x 1e6, or
// OverSampling x (1e6 + SymbolTimingError) while the timing error is active.
double instrumentSampleRate(const GenerationSettings& p);

}  // namespace bt
