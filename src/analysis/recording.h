#pragma once
// Recordings the receiver reads: our MAT-files (`waveform`, or
// `dtWaveform` row by row), the raw export's 16-bit layout, SDR captures
// as interleaved cf32 or ci16 (little-endian), and SigMF recordings
// (`.sigmf-meta` with its `.sigmf-data`). Raw and SigMF data are read from
// the file block by block, never held whole.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/receiver.h"

namespace bt::analysis {

enum class SampleFormat {
    Auto,   // from the file name: .mat, .sigmf-meta/.sigmf-data, else Raw16
    Raw16,  // interleaved 16-bit I/Q, most significant byte first (our raw export)
    Cf32,   // interleaved 32-bit float I/Q, little-endian
    Ci16,   // interleaved 16-bit I/Q, little-endian
};

// "raw", "cf32", "ci16"; none for anything else.
std::optional<SampleFormat> parseSampleFormat(const std::string& name);

struct RecordingRow {
    std::string label;  // "waveform", "dtWaveform row 3", "cf32 samples"...
    std::shared_ptr<const SampleSource> source;
};

struct Recording {
    std::string kind;                  // "MAT-file", "SigMF (cf32_le)", "raw 16-bit"...
    std::vector<RecordingRow> rows;    // rows of zeros (unselected test sets) left out
    std::optional<double> sampleRate;  // when the file tells it
    std::string rateSource;            // where it came from
    std::shared_ptr<const void> storage;  // what the row sources read from
};

// Opens a recording. Throws bt::Error with the reason when the file cannot
// be read, is not what its name or `format` says, or holds no waveform.
Recording openRecording(const std::filesystem::path& file, SampleFormat format = SampleFormat::Auto);

// The oversampling a symbol-clock marker row shows (the most common
// distance between its rising edges), 0 when it shows none.
std::size_t oversamplingOfMarker(const std::vector<std::uint8_t>& marker);

}  // namespace bt::analysis
