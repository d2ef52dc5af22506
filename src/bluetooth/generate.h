#pragma once
// The generation driver: one set of generation settings to the generated
// signal, a single packet, a packet sequence or a continuous modulated
// stream, with the clock/gate delay of the markers and spectrum mirroring.
#include <cstddef>

#include "bluetooth/generated_signal.h"
#include "bluetooth/settings.h"
#include "lib/types.h"

namespace bt {

// The driver's 28 exported inputs, in their order, then the I/Q
// modulator's and oscillator's impairments.
struct GenerateInputs {
    Bits data;                  // payload bits, possibly none
    double generationMode = 1;  // 1 packet mode, 2 stream mode
    double linkType = 2;
    double packetType = 4;
    double multiPacket = 0;
    double BDaddr = 8;
    double AMaddr = 1;
    double SEQN = 0;
    double ARQN = 0;
    double dataWhiteningActive = 0;
    double dataWhiteningInitValue = 1;
    double burstActive = 1;
    double burstLength = 6;
    double burstSettle = 6;
    double mirrorSpectrum = 0;
    double oversamplingRate = 10;
    double modIndex = 0.315;
    double AWGNactive = 0;
    double AWGNratio = 30;
    double AWGNseed = 1;
    double freqDriftActive = 0;
    double freqDriftType = 1;
    double freqDriftDeviation = 0;
    double freqDriftRate = 1600;
    double initialDriftPhase = 0;
    double freqOffsetActive = 0;
    double freqOffsetFreq = 0;
    double CGdelay = 0;
    double gainImbalanceActive = 0;
    double gainImbalance = 0;  // dB
    double quadratureSkewActive = 0;
    double quadratureSkew = 0;  // degrees
    double carrierLeakageActive = 0;
    double carrierLeakage = -40;  // dBc
    double phaseNoiseActive = 0;
    double phaseNoiseLevel = -100;  // dBc/Hz
    double phaseNoiseOffset = 100;  // kHz
    double edrRelativePower = 0;  // dB: EDR packets' DPSK section against their GFSK section
};

// Reseeds the thread's Gaussian generator with AWGNseed, then builds
// the signal; a linear drift always runs at 1600 Hz. Both marker rows are
// rotated right (circularly) by round(CGdelay x oversamplingRate) samples;
// mirroring negates Q. `progress` is called now and then on this thread.
// Throws bt::Error for settings the builders cannot make.
GeneratedSignal Bt_GENERATE(const GenerateInputs& in, const GenerationProgress& progress = {});

// The exported argument order.
GeneratedSignal Bt_GENERATE(const Bits& data, double generationMode, double linkType, double packetType,
                            double multiPacket, double BDaddr, double AMaddr, double SEQN, double ARQN,
                            double dataWhiteningActive, double dataWhiteningInitValue, double burstActive,
                            double burstLength, double burstSettle, double mirrorSpectrum, double oversamplingRate,
                            double modIndex, double AWGNactive, double AWGNratio, double AWGNseed,
                            double freqDriftActive, double freqDriftType, double freqDriftDeviation,
                            double freqDriftRate, double initialDriftPhase, double freqOffsetActive,
                            double freqOffsetFreq, double CGdelay);

// The driver's inputs for the settings: their payload bits, the effective
// modulation index, and every other field as it stands.
GenerateInputs generateInputs(const GenerationSettings& p);

// The application's "Calculate" step: the signal the settings describe.
GeneratedSignal Calculate(const GenerationSettings& p, const GenerationProgress& progress = {});

// Packets in the signal of these settings (0 in stream mode), extra packet
// of an odd count included.
std::size_t generatedPacketCount(const GenerationSettings& p);

}  // namespace bt
