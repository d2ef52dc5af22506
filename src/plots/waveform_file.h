#pragma once
// Waveforms read back for plotting, through the receiver's recording reader:
// our MAT-files (`waveform` from the generate command, the selected rows of
// `dtWaveform`, `samples` and `wave` from the frame's waveform saves) and
// SigMF recordings (a .sigmf-meta description beside its .sigmf-data
// samples, complex 32-bit float or 16-bit integer, little-endian).
#include <filesystem>
#include <optional>
#include <string>

#include "analysis/recording.h"
#include "lib/types.h"

namespace bt::plots {

struct WaveformFile {
    ComplexRow waveform;    // 16-bit samples scaled so that 32767 is 1
    double sampleRate = 0;  // 0 when the file does not say
    std::string kind;       // "MAT-file", "SigMF" or the layout of bare samples ("cs8 samples")
    // The marker rows when the recording has them (the MAT-file's matrix,
    // or the marker file NAME.sigmf-data.markers: one byte a sample, bit 0
    // marker 1, bit 1 marker 2).
    std::optional<Markers> markers;
};

// The rates the plots take, as the measurements' --rate does: beyond them a
// slice or a symbol is no sample or more samples than a file holds.
constexpr double kLowestPlotRate = 1;
constexpr double kHighestPlotRate = 1e12;
// Throws bt::Error (`where` first) for a rate outside them, NaN included.
void checkPlotRate(double rate, const std::string& where = {});

// The most samples a recording plotted may hold: 100 million, fewer when
// the memory the process can count on is less than 128 bytes a sample.
constexpr std::size_t kMostPlotSamples = 100'000'000;
std::size_t maxPlotSamples();

// Samples of this size or more are damaged ones, as the receiver counts
// them: their powers overflow.
constexpr double kLargestSample = 1e30;
bool usableSample(const Complex& z);

// Reads `path` (a .mat file, or a SigMF recording named by its .sigmf-meta,
// its .sigmf-data, NAME.sigmf or their common base name NAME); of a
// dirty-transmitter matrix, its first selected row. Anything else is read
// as a MAT-file. Throws bt::Error saying what is wrong with the file, also
// for samples that are not usable.
// `verify` false skips checking a SigMF dataset against its metadata.
// `samples` names the layout of a file of bare samples (an SDR tool's),
// which holds no sample rate.
WaveformFile readWaveformFile(const std::filesystem::path& path, bool verify = true,
                              std::optional<analysis::SampleFormat> samples = std::nullopt);

}  // namespace bt::plots
