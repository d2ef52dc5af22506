#pragma once
// A capture written as a SigMF recording while it runs: complex float
// samples (cf32_le, full scale 1) appended to the dataset, then the
// metadata with the radio, frequency, rate and gain, and an annotation
// where samples were lost.
#include <complex>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "instrument/sigmf.h"

namespace bt::radio {

struct CaptureDescription {
    std::string hardware;  // core:hw, the radio's arguments and key
    double frequency = 0;  // Hz
    double sampleRate = 0;
    std::optional<double> gain;  // dB
    std::string antenna;
    std::vector<std::uint64_t> gaps;  // samples lost before each of these
    std::string datetime;             // ISO 8601 UTC of the first sample
};

class SigmfCaptureWriter {
public:
    // Throws bt::Error when the dataset cannot be created.
    explicit SigmfCaptureWriter(const std::filesystem::path& name);
    ~SigmfCaptureWriter();
    SigmfCaptureWriter(const SigmfCaptureWriter&) = delete;
    SigmfCaptureWriter& operator=(const SigmfCaptureWriter&) = delete;

    // False when the disk refused the samples (the reason in error()).
    bool append(const std::complex<float>* samples, std::size_t count);
    const std::string& error() const { return error_; }
    std::uint64_t samples() const { return samples_; }
    // Closes the dataset, moves it in place and writes the metadata.
    // Throws bt::Error with the reason.
    SigmfFiles finish(const CaptureDescription& d);

private:
    SigmfFiles files_;
    std::filesystem::path partial_;
    std::FILE* file_ = nullptr;
    std::uint64_t samples_ = 0;
    std::string error_;
};

// Now, as SigMF writes a date and time ("2026-12-07T21:44:06Z").
std::string utcNow();

}  // namespace bt::radio
