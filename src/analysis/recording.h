#pragma once
// Recordings the receiver reads: our MAT-files (`waveform`, or
// `dtWaveform` row by row, or the frame's `samples` and `wave` saves), the raw export's 16-bit layout, SDR captures
// as interleaved cf32 or ci16 (little-endian), and SigMF recordings
// (`.sigmf-meta` with its `.sigmf-data`). Raw and SigMF data are read from
// the file block by block, never held whole. The same reader serves the
// plots and the Python module, which also take the marker rows, the carrier
// and a SigMF recording's metadata from it.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/receiver.h"
#include "lib/types.h"

namespace bt::analysis {

enum class SampleFormat {
    Auto,   // from the file name: .mat, .sigmf-meta/.sigmf-data, else Raw16
    Raw16,  // interleaved 16-bit I/Q, most significant byte first (our raw export)
    Cf32,   // interleaved 32-bit float I/Q, little-endian
    Ci16,   // interleaved 16-bit I/Q, little-endian
    Ci8,    // interleaved signed 8-bit I/Q
    Cu8,    // interleaved unsigned 8-bit I/Q, 127.5 the zero
    Mat,    // a MAT-file, whatever its name
};

// "raw", "cf32", "ci16", "ci8", "cu8"; none for anything else.
std::optional<SampleFormat> parseSampleFormat(const std::string& name);

// Where the marker rows of a recording's row are kept: rows `firstRow` and
// `firstRow` + 1 of the MAT-file matrix `variable`, or, when `variable` is
// empty, a marker file (one byte a sample: bit 0 marker 1, bit 1 marker 2).
struct MarkerLocation {
    std::filesystem::path file;  // empty: the recording has no markers
    std::string variable;
    std::size_t firstRow = 0;
};

struct RecordingRow {
    std::string label;  // "waveform", "dtWaveform row 3", "cf32 samples"...
    std::shared_ptr<const SampleSource> source;
    MarkerLocation markers;
};

struct Recording {
    std::string kind;                  // "MAT-file", "SigMF (cf32_le)", "raw 16-bit"...
    std::vector<RecordingRow> rows;    // rows of zeros (unselected test sets) left out
    std::optional<double> sampleRate;  // when the file tells it
    std::string rateSource;            // where it came from
    std::shared_ptr<const void> storage;  // what the row sources read from
    std::optional<double> frequency;      // carrier, Hz (a SigMF capture's core:frequency)
    double fullScale = 1;                 // sample value of full scale: 32767 for 16-bit integers
    nlohmann::json metadata;              // a SigMF recording's metadata as read; null otherwise
};

struct OpenOptions {
    // A SigMF dataset is checked against its metadata's core:sha512 (one
    // pass over the file before it is read); false skips it for speed.
    bool verify = true;
    // The most a MAT-file's compressed data may unpack to (and the most of
    // an uncompressed file read); 0: a quarter of the memory the process can
    // count on (lib/memory.h), as reading costs a few times the data.
    // Beyond it the file is refused as too large to read.
    std::uint64_t maxMatBytes = 0;
};

// The largest SigMF metadata read: descriptions of any real recording are
// far smaller, and the whole of it is held while it is parsed.
constexpr std::uintmax_t kMaxSigmfMetaBytes = std::uintmax_t(64) << 20;
// The deepest nesting of SigMF metadata read: a description is a few levels
// deep, while brackets nested millions deep cost some thirty times their
// bytes to hold (2 GB for 64 MB).
constexpr int kMaxSigmfMetaNesting = 200;

// Opens a recording. Throws bt::Error with the reason when the file cannot
// be read, is not what its name or `format` says, or holds no waveform; for
// SigMF also when the dataset does not belong to the metadata (a checksum
// or an annotation that does not fit it: a save cut short between files),
// naming both files.
Recording openRecording(const std::filesystem::path& file, SampleFormat format = SampleFormat::Auto,
                        const OpenOptions& options = {});

// The marker rows of `row`; none when the recording has none or when they
// are not as long as the row's samples. Throws bt::Error when the marker
// file or matrix is there but cannot be read.
std::optional<Markers> readMarkers(const RecordingRow& row);
// Samples offset .. offset + count - 1 of them: a marker file is read only
// there, whatever its length.
std::optional<Markers> readMarkers(const RecordingRow& row, std::size_t offset, std::size_t count);

// The oversampling a symbol-clock marker row shows (the most common
// distance between its rising edges), 0 when it shows none.
std::size_t oversamplingOfMarker(const std::vector<std::uint8_t>& marker);

}  // namespace bt::analysis
