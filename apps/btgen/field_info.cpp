#include "field_info.h"

#include <string>

#include "commands.h"

namespace btgen {

// What each field means; the lists and the defaults come from the editors
// and the default records.
const std::vector<FieldInfo>& fieldTable() {
    static const std::vector<FieldInfo> fields = {
        {"main", "--set", "generationMode", "", "", "packet mode or a continuous modulated stream"},
        {"main", "--set", "linkType", "", "", "synchronous (SCO), asynchronous (ACL) or extended synchronous (eSCO) link; sets packetType to NULL"},
        {"main", "--set", "packetType", "", "", "packet type (the names depend on linkType)"},
        {"main", "--set", "multiPacket", "", "", "one packet or a sequence carrying the whole payload pattern"},
        {"main", "--set", "payloadType", "", "", "payload pattern (Continuous PN9/PN15 in multi-packet mode only)"},
        {"main", "--set", "BDaddr", "hex", "0 .. FFFFFFFFFFFF", "Bluetooth device address (LAP, UAP, NAP)"},
        {"main", "--set", "AMaddr", "hex", "0 .. 7", "active member address (LT_ADDR)"},
        {"main", "--set", "SEQN", "", "0 or 1", "header sequence bit"},
        {"main", "--set", "dataWhiteningActive", "", "0 or 1", "whitening of header and payload"},
        {"main", "--set", "dataWhiteningInitValue", "", "0 .. 127", "whitening register start value"},
        {"main", "--set", "burstActive", "", "0 or 1", "power ramps and idle time around each packet"},
        {"main", "--set", "burstLength", "us", "1 .. 10, whole", "power ramp length; burstSettle moves with it"},
        {"main", "--set", "burstSettle", "us", "burstLength .. burstLength + 10, whole",
         "time from the ramp's start to the first symbol"},
        {"main", "--set", "bitPattern", "hex", "0 .. FF", "the pattern of payload type 8 Bit Pattern"},
        {"main", "--set", "patternReps", "", "1 or more", "repetitions of the payload pattern's period"},
        {"main", "--set", "patternLength", "bits", "1 or more", "payload pattern length"},
        {"main", "--set", "CGdelay", "us", "0 .. 100, a whole number of samples", "clock/gate delay of the markers"},
        {"main", "--set", "MirrorSpectrum", "", "0 or 1", "output the complex conjugate of the waveform"},
        {"main", "--set", "edrRelativePower", "dB", "-10 .. 10",
         "power of an EDR packet's DPSK section against its GFSK section"},
        {"main", "--set", "OverSampling", "samples per symbol", "2 .. 20, whole",
         "sample rate in MHz; the instrument sample rate follows it"},
        {"impairments", "--set", "impairments.ModIndexActive", "", "0 or 1", "use impairments.ModIndex"},
        {"impairments", "--set", "impairments.ModIndex", "", "0.25 .. 0.4, 3 decimals", "GFSK modulation index"},
        {"impairments", "--set", "impairments.AWGNactive", "", "0 or 1", "additive white Gaussian noise"},
        {"impairments", "--set", "impairments.AWGNratio", "dB", "10 .. 40", "carrier-to-noise ratio"},
        {"impairments", "--set", "impairments.AWGNseed", "", "1 .. 65535", "noise seed: the same seed, the same noise"},
        {"impairments", "--set", "impairments.FreqDriftActive", "", "0 or 1", "carrier frequency drift"},
        {"impairments", "--set", "impairments.FreqDriftType", "", "", "drift shape"},
        {"impairments", "--set", "impairments.FreqDriftDeviation", "kHz", "-100 .. 100", "peak drift deviation"},
        {"impairments", "--set", "impairments.FreqDriftRate", "Hz", "1600, 500 or 300 (or list item 1, 2, 3)",
         "drift repetition rate (sinusoidal drift)"},
        {"impairments", "--set", "impairments.FreqOffsetActive", "", "0 or 1", "carrier frequency offset"},
        {"impairments", "--set", "impairments.FreqOffset", "kHz", "-100 .. 100", "carrier frequency offset"},
        {"impairments", "--set", "impairments.SymbolTimingErrorActive", "", "0 or 1",
         "symbol rate error; the instrument sample rate follows it"},
        {"impairments", "--set", "impairments.SymbolTimingError", "ppm", "-50 .. 50", "symbol rate error"},
        {"impairments", "--set", "impairments.GainImbalanceActive", "", "0 or 1", "I/Q gain imbalance"},
        {"impairments", "--set", "impairments.GainImbalance", "dB", "-6 .. 6, 2 decimals", "I branch gain over Q branch gain"},
        {"impairments", "--set", "impairments.QuadratureSkewActive", "", "0 or 1", "I/Q quadrature skew"},
        {"impairments", "--set", "impairments.QuadratureSkew", "degrees", "-30 .. 30, 2 decimals",
         "departure of the I and Q carriers from 90 degrees"},
        {"impairments", "--set", "impairments.CarrierLeakageActive", "", "0 or 1", "DC offset / carrier leakage"},
        {"impairments", "--set", "impairments.CarrierLeakage", "dBc", "-80 .. -10, 1 decimal",
         "leaked carrier (equal DC offsets on I and Q)"},
        {"impairments", "--set", "impairments.PhaseNoiseActive", "", "0 or 1", "oscillator phase noise"},
        {"impairments", "--set", "impairments.PhaseNoiseLevel", "dBc/Hz", "-140 .. -60, 1 decimal",
         "phase noise at PhaseNoiseOffset (single pole: flat inside, -20 dB/decade beyond)"},
        {"impairments", "--set", "impairments.PhaseNoiseOffset", "kHz", "10 .. 400, whole",
         "offset of PhaseNoiseLevel and corner of the phase-noise spectrum"},
        {"dirty-transmitter", "--set", "dt.packetType", "", "", "packet type of every test packet; sets the drift"},
        {"dirty-transmitter", "--set", "dt.BDaddr", "hex", "0 .. FFFFFFFFFFFF", "device address of the test packets"},
        {"dirty-transmitter", "--set", "dt.AMaddr", "", "0 .. 7", "active member address of the test packets"},
        {"dirty-transmitter", "--set", "dt.burstLength", "us", "1 .. 10", "power ramp length"},
        {"dirty-transmitter", "--set", "dt.burstSettle", "us", "0 .. 10", "settling after the ramp"},
        {"dirty-transmitter", "--set", "dt.Amplitude", "dBm", "-136 .. 0", "RF level of the sequence"},
        {"dirty-transmitter", "--set", "dt.Frequency", "Hz", "as the window's RF frequency field",
         "carrier of the sequence (or --sg Frequency with dirty-tx)"},
        {"dirty-transmitter", "--set", "dt.channel", "", "0 .. 78", "carrier of the sequence: 2402 + channel MHz"},
        {"dirty-transmitter", "--set", "dt.Title", "", "letters and digits", "waveform and sequence name"},
        {"dirty-transmitter", "--set", "dt.omitPollPeriods", "", "0 or 1", "leave the tester's poll slots out"},
        {"dirty-transmitter", "--set", "dt.external", "", "0 or 1", "frames on an external trigger"},
        {"dirty-transmitter", "--set", "dt.SlotSyncDelay", "us", "as the window's trigger delay field",
         "external trigger to the first symbol"},
        {"dirty-transmitter", "--set", "dt.marker1Type", "", "list item 1 .. 4", "event marker 1"},
        {"dirty-transmitter", "--set", "dt.marker1Timing", "us", "marker 1 type 2 only", "event marker 1 timing"},
        {"dirty-transmitter", "--set", "dt.marker2Type", "", "list item 1 .. 4", "event marker 2"},
        {"dirty-transmitter", "--set-impairment", "N:FreqOffset", "kHz", "-150 .. 150", "carrier offset of set N"},
        {"dirty-transmitter", "--set-impairment", "N:ModIndex", "", "as the window's field", "modulation index of set N"},
        {"dirty-transmitter", "--set-impairment", "N:SymbolTimingError", "ppm", "as the window's field",
         "symbol rate error of set N"},
        {"dirty-transmitter", "--set-impairment", "all:FreqDriftDeviation", "kHz", "as the window's field",
         "drift deviation shared by all sets"},
        {"dirty-transmitter", "--set-impairment", "all:FreqDriftRate", "Hz", "as the window's field",
         "drift rate shared by all sets"},
        {"dirty-transmitter", "--set-impairment", "all:InitialDriftPhase", "", "as the window's field",
         "drift start phase shared by all sets"},
        {"instrument", "--sg", "Title", "", "letters, digits and _", "waveform name on the instrument"},
        {"instrument", "--sg", "Frequency", "Hz", "100e3 .. 6e9", "carrier frequency"},
        {"instrument", "--sg", "channel", "", "0 .. 78", "carrier of Bluetooth channel k: 2402 + k MHz"},
        {"instrument", "--sg", "Amplitude", "dBm", "-136 .. 20", "RF level"},
        {"instrument", "--sg", "SamplingRate", "Hz", "the rate OverSampling gives, else --force-rate",
         "sample clock of the waveform player"},
        {"instrument", "--sg", "RFblanking", "", "0 or 1", "RF blanking on marker 2"},
        {"instrument", "--sg", "ArbRefSource", "", "0 or 1", "reference of the waveform player: internal or external"},
        {"instrument", "--sg", "MarkerPolarity", "", "0 or 1", "marker polarity"},
        {"instrument", "--sg", "ALC", "", "0 or 1", "automatic level control"},
        {"instrument", "--sg", "ReconFilter", "", "the settings window's list", "reconstruction filter"},
        {"instrument", "--sg", "BBfilter", "", "the settings window's list", "baseband filter"},
        {"instrument", "--sg", "Scaling", "%", "the settings window's range", "waveform scaling"},
        {"instrument", "--sg", "ModAtten", "dB", "the settings window's range", "modulator attenuation"},
    };
    return fields;
}

std::string fieldUnit(const std::string& name) {
    for (const FieldInfo& f : fieldTable())
        if (name == f.name && std::string(f.unit) != "hex") return f.unit;
    return {};
}

}  // namespace btgen
