#pragma once
// SigMF recordings: the samples as a SigMF dataset (little-endian 32-bit
// float or 16-bit integer I/Q), the marker rows in the marker file beside
// it, and the metadata that describes them.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "lib/types.h"

namespace bt {

enum class SigmfDatatype {
    Cf32Le,  // 32-bit float I/Q as generated
    Ci16Le,  // 16-bit I/Q with the instrument's scaling (largest component 32766)
};

// "cf32_le" or "ci16_le".
std::optional<SigmfDatatype> parseSigmfDatatype(std::string_view name);
std::string sigmfDatatypeName(SigmfDatatype type);

// The files of the recording NAME: NAME.sigmf-meta, NAME.sigmf-data and the
// marker file NAME.sigmf-data.markers (the raw format's layout). A name
// ending in ".sigmf-meta", ".sigmf-data" or ".sigmf" stands for the
// recording without it.
struct SigmfFiles {
    std::filesystem::path meta;
    std::filesystem::path data;
    std::filesystem::path markers;
};
SigmfFiles sigmfFiles(const std::filesystem::path& name);

// Makes the metadata once the dataset is written: given the dataset's
// SHA-512 (hex) and the marker file's name (without folder).
using SigmfMetadataMaker =
    std::function<nlohmann::ordered_json(const std::string& sha512, const std::string& markerFileName)>;

// Writes the recording NAME: dataset and marker file streamed from the
// signal as it stands, then the metadata, each replaced atomically. Throws
// bt::Error with the reason when a file cannot be written.
SigmfFiles writeSigmf(const std::filesystem::path& name, SigmfDatatype type, const ComplexRow& waveform,
                      const Markers& markers, const SigmfMetadataMaker& metadata);

}  // namespace bt
