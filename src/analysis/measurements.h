#pragma once
// Transmitter measurements of one received packet, made the way the
// basic-rate RF test procedures make them, and their summary over a
// recording with the pass limits.
//
// Definitions where the procedures leave a choice:
// - Every figure is read on the channel-filtered signal (ChannelFilter:
//   zero phase, so no group delay), evaluated at the instants it needs.
// - The sampling instant of a symbol is its centre on the receiver's
//   symbol clock (the timing that opens the eye widest, tracked every 64
//   symbols); the frequency there is the filtered signal's own.
// - Mean frequencies are phase advances over the span divided by its time.
// - Packets count for delta f1 when every byte of their body reads
//   11110000 on air, for delta f2 and drift when every byte reads
//   10101010; types with FEC never count, and only packets whose checks
//   (HEC, CRC, FEC) all passed do. The summary counts confirmed packets
//   only (DecodedPacket::ok).
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "analysis/channel_filter.h"
#include "analysis/demodulator.h"
#include "analysis/edr_demod.h"
#include "analysis/output_spectrum.h"
#include "analysis/packet_decoder.h"

namespace bt::analysis {

enum class PayloadPattern { Other, F1, F2 };  // 11110000, 10101010

struct PacketMeasurements {
    // Mean frequency from the centre of the first preamble symbol to the
    // centre of the first sync-word symbol (four symbol periods), Hz.
    std::optional<double> initialFrequency;
    // Mean of the carrier track below, Hz.
    std::optional<double> carrierOffset;
    // The carrier's frequency through the packet: at the centre of every
    // symbol between two equal neighbours, its mean frequency less the full
    // deviation (h x 500 kHz) of its sign. Times in seconds from the
    // recording's first sample.
    std::vector<double> carrierTrackTime;
    std::vector<double> carrierTrack;
    // From the phase advance over such symbols: (mean over ones - mean over
    // zeros) / 2 pi.
    std::optional<double> modulationIndex;
    // Symbol rate against 1 Msymbol/s, from a line fitted through the zero
    // crossings between runs of at least two equal symbols, ppm.
    std::optional<double> symbolRateErrorPpm;
    // Constant-envelope estimate (second and fourth moments) over the
    // packet, in the recording's bandwidth, dB.
    std::optional<double> snrDb;
    // Packet output power: the mean and the largest |x|^2 over the packet's
    // symbols (first to last, ramps excluded), in dB against a sample of
    // magnitude 1 (full scale).
    std::optional<double> averagePowerDb, peakPowerDb;

    PayloadPattern pattern = PayloadPattern::Other;
    // Delta f1max, one per 11110000 group: the larger deviation from the
    // group's mean frequency of the mean frequencies over symbols 2-3 and
    // 6-7 (the runs' inner symbols), taken as the mean of the two plus half
    // the packet's mean difference between them. Delta f2max, one per
    // symbol of the 10101010 groups: the deviation at the symbol's centre.
    // Hz.
    std::vector<double> f1max;
    std::vector<double> f2max;
    std::optional<double> f1avg, f2avg;
    // 10-symbol mean frequencies of a 10101010 body from its second symbol
    // (centre to centre) against the initial frequency: the largest
    // difference (sign kept), and the largest change between means 50 us
    // apart.
    std::optional<double> drift;
    std::optional<double> driftRate;

    // An EDR packet: the figures above from its GFSK part alone (carrier
    // offset = omega_i), these from its DPSK part.
    std::optional<EdrMeasurements> edr;
};

// Measures the packet whose air bits are `air` (as decoded in `d`), read at
// `centres` (times in samples of `x`; one per air bit). `x` holds `n`
// samples at `sampleRate`; `timeOrigin` is the sample index of x[0] in the
// recording.
// `edges` continue `x` where the recording goes on beyond it (a waveform
// played in a loop).
PacketMeasurements measurePacket(const CFloat* x, std::size_t n, const std::vector<double>& centres,
                                 const Bits& air, const DecodedPacket& d, double sampleRate, double timeOrigin,
                                 RowEdges edges = {});

// One line of the summary: a figure with its pass limits.
struct TestResult {
    std::string name;    // "initial carrier frequency tolerance", ...
    std::string figure;  // what the value is: "largest |f0|", ...
    double value = 0;
    std::string unit;    // "kHz", "%", ""
    std::string limit;   // "|f0| <= 75 kHz"
    bool pass = false;
    std::size_t packets = 0;  // packets that counted
};

struct MeasurementSummary {
    std::vector<TestResult> tests;  // only the tests some packet could measure
    // Figures without limits (means over the packets that gave them).
    std::optional<double> modulationIndex;
    std::optional<double> carrierOffset;  // Hz
    std::optional<double> symbolRateErrorPpm;
    std::optional<double> snrDb;
    // Packet output power over the packets: the mean of their average
    // powers (taken in watts) and the largest peak, dB against full scale.
    std::optional<double> averagePowerDb, peakPowerDb;
    // What full scale is in dBm (the recording's reference level), when the
    // user gave it: the powers are then stated in dBm too.
    std::optional<double> referenceDbm;
    // The output spectrum over the first confirmed packets of each
    // recording: its 20 dB bandwidth and the power in each 1 MHz channel
    // the recording's band holds (in-band first).
    std::optional<TwentyDbBandwidth> bandwidth20dB;
    std::vector<ChannelPower> channelPowers;
    std::size_t spectrumPackets = 0;
    std::size_t confirmedPackets = 0;  // the packets the summary counts
    bool allPass() const;
};

struct PacketSummaryInput {
    const DecodedPacket* decoded;
    const PacketMeasurements* measured;
};

// `spectrum`: the recordings' output spectrum; `referenceDbm`: what full
// scale is in dBm, when known (the channel powers' limits are in dBm).
MeasurementSummary summarise(const std::vector<PacketSummaryInput>& packets, const OutputSpectrum& spectrum = {},
                             std::optional<double> referenceDbm = {});

}  // namespace bt::analysis
