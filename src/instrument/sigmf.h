#pragma once
// SigMF recordings: the samples as a SigMF dataset (little-endian 32-bit
// float or 16-bit integer I/Q), the marker rows in the marker file beside
// it, and the metadata that describes them.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "lib/atomic_save.h"
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
// What is wrong with NAME as a recording's name: none when it has a base
// name; a text when it names a folder ("sub/", ".", "..") and the files
// would be hidden ones such as sub/.sigmf-meta.
std::optional<std::string> sigmfNameProblem(const std::filesystem::path& name);

// Makes the metadata once the dataset is written: given the dataset's
// SHA-512 (hex) and the marker file's name (without folder).
using SigmfMetadataMaker =
    std::function<nlohmann::ordered_json(const std::string& sha512, const std::string& markerFileName)>;

// The SHA-512 (hex) of a file's bytes, read in blocks (memory stays small
// whatever the size). Throws bt::Error when the file cannot be read.
std::string sha512OfFile(const std::filesystem::path& file);

// The three files of one recording as entries for saveTogether (dataset,
// marker file, then the metadata, which takes the dataset's hash), so that
// several recordings can be saved as one. The waveform and markers must
// outlive the save.
std::vector<FileToSave> sigmfFilesToSave(const SigmfFiles& files, SigmfDatatype type, const ComplexRow& waveform,
                                         const Markers& markers, SigmfMetadataMaker metadata);

// Writes the recording NAME: dataset and marker file streamed from the
// signal as it stands, then the metadata, each replaced atomically. Throws
// bt::Error with the reason when a file cannot be written.
SigmfFiles writeSigmf(const std::filesystem::path& name, SigmfDatatype type, const ComplexRow& waveform,
                      const Markers& markers, const SigmfMetadataMaker& metadata);

}  // namespace bt
