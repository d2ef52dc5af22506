#pragma once
// The receiver: finds the packets of a recording, decodes them and
// measures the transmitter. A recording of any length is read in blocks
// through a SampleSource, so memory stays bounded; blocks overlap by more
// than the longest packet and each packet is reported by the block in
// which its sync word starts.
//
// Entry point for other front ends (the command line, the Python module):
// receive(waveform, count, sampleRate, options) -> Reception.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/demodulator.h"
#include "analysis/measurements.h"
#include "analysis/packet_decoder.h"
#include "lib/types.h"

namespace bt::analysis {

// Samples of a recording, read by position. read() may be called from
// several threads at once.
class SampleSource {
public:
    virtual ~SampleSource() = default;
    virtual std::size_t size() const = 0;
    // Samples [first, first + count), first + count <= size().
    virtual void read(std::size_t first, std::size_t count, CFloat* out) const = 0;
    // The same samples as stored, at double precision and with non-finite
    // values left as they are: for handing a recording on rather than
    // receiving it. By default widened from read().
    virtual void readExact(std::size_t first, std::size_t count, Complex* out) const;
};

// A complex double row in memory, every `stride`-th element (rows of a
// column-major matrix), not copied.
class ComplexRowSource : public SampleSource {
public:
    ComplexRowSource(const Complex* data, std::size_t count, std::size_t stride = 1)
        : data_(data), count_(count), stride_(stride) {}
    std::size_t size() const override { return count_; }
    void read(std::size_t first, std::size_t count, CFloat* out) const override;
    void readExact(std::size_t first, std::size_t count, Complex* out) const override;

private:
    const Complex* data_;
    std::size_t count_, stride_;
};

// Real and imaginary parts held apart (a MAT-file matrix), every
// `stride`-th element.
class SplitComplexSource : public SampleSource {
public:
    SplitComplexSource(const double* re, const double* im, std::size_t count, std::size_t stride = 1)
        : re_(re), im_(im), count_(count), stride_(stride) {}
    std::size_t size() const override { return count_; }
    void read(std::size_t first, std::size_t count, CFloat* out) const override;
    void readExact(std::size_t first, std::size_t count, Complex* out) const override;

private:
    const double* re_;
    const double* im_;
    std::size_t count_, stride_;
};

struct ReceiverOptions {
    std::optional<std::uint32_t> lap;      // none: any sync word that is a code word
    std::optional<std::uint8_t> uap;       // none: named by the HEC, confirmed by a CRC
    std::optional<unsigned> whitening;     // start value 1..127, 0 none; unset: found
    double linkType = 0;                   // 1 SCO, 2 ACL, 3 eSCO, 0 told by the type code
    int maxSyncErrors = 6;                 // sync-word bits that may differ (LAP known)
    std::size_t blockSamples = std::size_t(1) << 21;  // samples per block (at least)
    // The recording is a waveform played in a loop: the channel filter
    // reads its last samples ahead of its first, and its first behind its
    // last (a packet at the very start is measured as the instrument plays
    // it). A capture is not: there the filter sees silence beyond it.
    bool cyclic = false;
    // Keep the DPSK symbol points of EDR packets (for the constellation).
    bool keepEdrPoints = false;
};

struct ReceivedPacket {
    // The first preamble symbol's instant (the peak of its frequency
    // pulse), where the generator's layout starts the access code.
    std::size_t startSample = 0;
    double startTime = 0;         // s
    // Samples of the recording from the first symbol's leading edge to the
    // last one's trailing edge (ramps excluded).
    SampleSpan symbols;
    DecodedPacket decoded;        // start and length count air bits from the preamble
    PacketMeasurements measured;
};

struct Reception {
    double sampleRate = 0;
    std::size_t samples = 0;
    std::vector<ReceivedPacket> packets;
    MeasurementSummary summary;
    // Over the first kSpectrumPackets confirmed packets.
    OutputSpectrum spectrum;
};

// Throws bt::Error for a sample rate below 2 samples per symbol (2 MHz),
// above 200 MHz or not finite, or for options out of range.
Reception receive(const SampleSource& source, double sampleRate, const ReceiverOptions& options = {});
Reception receive(const Complex* waveform, std::size_t count, double sampleRate, const ReceiverOptions& options = {});

// Packet powers (and the output spectrum) stated against a sample at the recording's full scale
// (32767 for 16-bit integers, 127 for 8-bit...) instead of magnitude 1, so
// that one signal reads the same level whatever layout it was stored in.
void referPowerToFullScale(Reception& reception, double fullScale);

// The summary over several receptions (the rows of a dirty-transmitter
// matrix); `referenceDbm` as summarise() takes it.
MeasurementSummary summariseAll(const std::vector<const Reception*>& receptions,
                                std::optional<double> referenceDbm = {});

}  // namespace bt::analysis
