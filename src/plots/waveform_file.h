#pragma once
// Waveforms read back for plotting: our MAT-files (`waveform` from the
// generate command, `samples` and `wave` from the frame's waveform saves,
// with `sampleRate` when the file has it) and SigMF recordings (a
// .sigmf-meta description beside its .sigmf-data samples, complex 32-bit
// float or 16-bit integer, little-endian).
#include <filesystem>
#include <optional>
#include <string>

#include "lib/types.h"

namespace bt::plots {

struct WaveformFile {
    ComplexRow waveform;
    double sampleRate = 0;  // 0 when the file does not say
    std::string kind;       // "MAT-file" or "SigMF"
    // The marker rows when the recording has them (NAME.sigmf-data.markers,
    // one byte a sample: bit 0 marker 1, bit 1 marker 2).
    std::optional<Markers> markers;
};

// Reads `path` (a .mat file, or a SigMF recording named by its .sigmf-meta,
// its .sigmf-data, NAME.sigmf or their common base name NAME). Throws bt::Error saying what
// is wrong with the file.
WaveformFile readWaveformFile(const std::filesystem::path& path);

WaveformFile readSigmf(const std::filesystem::path& meta);
WaveformFile readWaveformMat(const std::filesystem::path& path);

}  // namespace bt::plots
