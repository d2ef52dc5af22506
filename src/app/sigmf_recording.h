#pragma once
// SigMF recordings of a generated signal: the metadata with the settings
// that made the samples, and one annotation per packet carrying its place
// on air and its header, the ground truth for a receiver under test.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bluetooth/dirty_tx_state.h"
#include "bluetooth/packet_layout.h"
#include "bluetooth/settings.h"
#include "instrument/sigmf.h"
#include "lib/types.h"

namespace bt {

// What the metadata says beside the samples.
struct SigmfDescription {
    GenerationSettings settings;    // the settings the signal was generated from
    double sampleRate = 10e6;       // samples per second
    double frequency = 2402e6;      // carrier, Hz
    nlohmann::ordered_json record;  // kept under "btgen:settings" so the signal can be made again
    std::string description;        // core:description; empty: from the settings
    std::optional<int> dirtyTxSet;  // 1..10 for a dirty-transmitter segment
};

// "DH1, ACL link, single packet" and the like.
std::string sigmfSummary(const GenerationSettings& settings);

// The metadata of a recording whose dataset has the SHA-512 `sha512` (hex).
nlohmann::ordered_json sigmfMetadata(const SigmfDescription& d, const PacketLayout& packets, SigmfDatatype type,
                                     const std::string& sha512, const std::string& markerFileName);

// Writes the recording NAME (see sigmfFiles) with one annotation per packet.
// Throws bt::Error with the reason when a file cannot be written.
SigmfFiles writeSigmfRecording(const std::filesystem::path& name, SigmfDatatype type, const ComplexRow& waveform,
                               const Markers& markers, const PacketLayout& packets, const SigmfDescription& d);

// One recording per selected set of a calculated dirty-transmitter state,
// NAME-set1 … NAME-set10, each with its set's impairments, at the sequence's
// sample rate and carrier. Returns the files written.
std::vector<SigmfFiles> writeDirtyTxSigmf(const std::filesystem::path& name, SigmfDatatype type,
                                          const DirtyTxState& s);

}  // namespace bt
