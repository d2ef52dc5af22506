#include "bluetooth/generate.h"

#include <algorithm>
#include <cmath>

#include "bluetooth/gfsk_primitives.h"
#include "bluetooth/multi_packet.h"
#include "bluetooth/multi_packet_bits.h"
#include "bluetooth/payload.h"
#include "bluetooth/signal_render.h"
#include "bluetooth/single_packet.h"
#include "bluetooth/size_est.h"
#include "lib/numtext.h"
#include "lib/parallel.h"
#include "lib/random.h"

namespace bt {

namespace {

// The drift rate a linear drift runs at, whatever the settings say.
constexpr double kLinearDriftRate = 1600;

ModulatorSettings modulationOf(const GenerateInputs& in) {
    ModulatorSettings m;
    m.modIndex = in.modIndex;
    m.burstActive = in.burstActive != 0;
    m.burstLength = in.burstLength;
    m.burstSettle = in.burstSettle;
    m.oversamplingRate = in.oversamplingRate;
    m.AWGNactive = in.AWGNactive != 0;
    m.AWGNratio = in.AWGNratio;
    m.AWGNseed = in.AWGNseed;
    m.freq.freqDriftActive = in.freqDriftActive != 0;
    m.freq.freqDriftDeviation = in.freqDriftDeviation;
    m.freq.freqDriftType = in.freqDriftType;
    m.freq.initialDriftPhase = in.initialDriftPhase;
    m.freq.freqDriftRate = in.freqDriftType == 1 ? kLinearDriftRate : in.freqDriftRate;
    m.freq.freqOffsetActive = in.freqOffsetActive != 0;
    m.freq.freqOffsetFreq = in.freqOffsetFreq;
    m.iq.gainImbalanceActive = in.gainImbalanceActive != 0;
    m.iq.gainImbalance = in.gainImbalance;
    m.iq.quadratureSkewActive = in.quadratureSkewActive != 0;
    m.iq.quadratureSkew = in.quadratureSkew;
    m.iq.carrierLeakageActive = in.carrierLeakageActive != 0;
    m.iq.carrierLeakage = in.carrierLeakage;
    m.iq.phaseNoiseActive = in.phaseNoiseActive != 0;
    m.iq.phaseNoiseLevel = in.phaseNoiseLevel;
    m.iq.phaseNoiseOffset = in.phaseNoiseOffset;
    m.edrRelativePower = in.edrRelativePower;
    return m;
}

// A continuous modulated stream: no bursts, phase correction on, marker 2
// a single 1 on the first sample.
GeneratedSignal stream(const Bits& data, ModulatorSettings modulation, const BuildOptions& options) {
    modulation.burstActive = false;
    modulation.phaseCorrection = true;
    const GfskModulator m(data, modulation);
    const std::uint64_t noiseStart = gaussianGenerator().reserve(m.noiseDeviates());
    GeneratedSignal out;
    allocateSignal(out, m.size());
    renderRow(m, {}, checkedFactor(modulation.oversamplingRate, "The oversampling rate"), out, noiseStart,
              gaussianGenerator(), options);
    if (!out.markers.empty()) out.markers.row2[0] = 1;
    return out;
}

// Both rows rotated right by `delay` samples; a delay longer than the rows
// wraps around as often as it takes.
void delayMarkers(Markers& markers, double delay) {
    const std::size_t n = markers.size();
    const double d = roundHalfAway(delay);
    if (n == 0 || !(d > 0)) return;
    const auto shift = static_cast<std::size_t>(std::fmod(d, double(n)));
    if (shift == 0) return;
    parallelFor(2, [&](std::size_t row) {
        MarkerRow& r = row == 0 ? markers.row1 : markers.row2;
        std::rotate(r.begin(), r.end() - std::ptrdiff_t(shift), r.end());
    });
}

}  // namespace

GeneratedSignal Bt_GENERATE(const GenerateInputs& in, const GenerationProgress& progress) {
    gaussianGenerator().reseed(in.AWGNseed);
    const BuildOptions options{in.mirrorSpectrum != 0, progress};
    const ModulatorSettings modulation = modulationOf(in);

    GeneratedSignal out;
    if (in.generationMode == 1) {
        PacketWaveformSettings s;
        s.linkType = in.linkType;
        s.PacketType = in.packetType;
        s.BDaddr = in.BDaddr;
        s.AMaddr = in.AMaddr;
        s.SeqNum = in.SEQN;
        s.ArqNum = in.ARQN;
        s.scramblerActive = in.dataWhiteningActive;
        s.scramblerInit = in.dataWhiteningInitValue;
        s.modulation = modulation;
        const bool sequence = in.multiPacket != 0 && Bt_UserPayloadMaxSize(in.linkType, in.packetType) > 0;
        out = sequence ? Bt_MultiPacket(in.data, s, options) : Bt_SinglePacket(in.data, s, options);
    } else {
        out = stream(in.data, modulation, options);
    }
    delayMarkers(out.markers, in.CGdelay * in.oversamplingRate);
    if (progress) progress(1.0);
    return out;
}

GeneratedSignal Bt_GENERATE(const Bits& data, double generationMode, double linkType, double packetType,
                            double multiPacket, double BDaddr, double AMaddr, double SEQN, double ARQN,
                            double dataWhiteningActive, double dataWhiteningInitValue, double burstActive,
                            double burstLength, double burstSettle, double mirrorSpectrum, double oversamplingRate,
                            double modIndex, double AWGNactive, double AWGNratio, double AWGNseed,
                            double freqDriftActive, double freqDriftType, double freqDriftDeviation,
                            double freqDriftRate, double initialDriftPhase, double freqOffsetActive,
                            double freqOffsetFreq, double CGdelay) {
    return Bt_GENERATE(GenerateInputs{data, generationMode, linkType, packetType, multiPacket, BDaddr, AMaddr, SEQN,
                                      ARQN, dataWhiteningActive, dataWhiteningInitValue, burstActive, burstLength,
                                      burstSettle, mirrorSpectrum, oversamplingRate, modIndex, AWGNactive, AWGNratio,
                                      AWGNseed, freqDriftActive, freqDriftType, freqDriftDeviation, freqDriftRate,
                                      initialDriftPhase, freqOffsetActive, freqOffsetFreq, CGdelay});
}

GenerateInputs generateInputs(const GenerationSettings& p) {
    const Impairments& i = p.impairments;
    return GenerateInputs{Bt_GeneratePayload(p),  p.generationMode,       p.linkType,
                          p.packetType,           p.multiPacket,          p.BDaddr,
                          p.AMaddr,               p.SEQN,                 p.ARQN,
                          p.dataWhiteningActive,  p.dataWhiteningInitValue, p.burstActive,
                          p.burstLength,          p.burstSettle,          p.MirrorSpectrum,
                          p.OverSampling,         effectiveModIndex(p),   i.AWGNactive,
                          i.AWGNratio,            i.AWGNseed,             i.FreqDriftActive,
                          i.FreqDriftType,        i.FreqDriftDeviation,   i.FreqDriftRate,
                          i.InitialDriftPhase,    i.FreqOffsetActive,     i.FreqOffset,
                          p.CGdelay,              i.GainImbalanceActive,  i.GainImbalance,
                          i.QuadratureSkewActive, i.QuadratureSkew,       i.CarrierLeakageActive,
                          i.CarrierLeakage,       i.PhaseNoiseActive,     i.PhaseNoiseLevel,
                          i.PhaseNoiseOffset,     p.edrRelativePower};
}

GeneratedSignal Calculate(const GenerationSettings& p, const GenerationProgress& progress) {
    return Bt_GENERATE(generateInputs(p), progress);
}

std::size_t generatedPacketCount(const GenerationSettings& p) {
    if (p.generationMode != 1) return 0;
    const double packetSize = Bt_UserPayloadMaxSize(p.linkType, p.packetType);
    if (p.multiPacket == 0 || packetSize == 0) return 1;
    const auto bits = static_cast<std::size_t>(std::max(0.0, std::floor(p.patternLength)));
    return bt_MultiPacketSegments(bits, static_cast<std::size_t>(packetSize), 0).size();
}

}  // namespace bt
