#include "plots/waveform_file.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "analysis/recording.h"
#include "lib/errors.h"
#include "lib/memory.h"

namespace bt::plots {

namespace {

std::string formatRate(double rate) {
    char text[40];
    std::snprintf(text, sizeof text, "%.6g Hz", rate);
    return text;
}

}  // namespace

namespace fs = std::filesystem;

std::size_t maxPlotSamples() {
    return static_cast<std::size_t>(std::min<std::uint64_t>(kMostPlotSamples, usableMemoryBytes() / 128));
}

bool usableSample(const Complex& z) {
    return std::fabs(z.real()) < kLargestSample && std::fabs(z.imag()) < kLargestSample;  // false for NaN
}

void checkPlotRate(double rate, const std::string& where) {
    if (!(rate >= kLowestPlotRate && rate <= kHighestPlotRate))
        throw Error(where + "The sample rate " + formatRate(rate) + " is outside 1 Hz to 1e12 Hz.");
}

WaveformFile readWaveformFile(const fs::path& path, bool verify, std::optional<analysis::SampleFormat> samples) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    fs::path meta = path;
    meta += ".sigmf-meta";
    std::error_code ec;
    const bool sigmf = ext == ".sigmf-meta" || ext == ".sigmf-data" || ext == ".sigmf" ||
                       (!fs::exists(path, ec) && fs::exists(meta, ec));
    const analysis::SampleFormat format =
        samples ? *samples : sigmf ? analysis::SampleFormat::Auto : analysis::SampleFormat::Mat;
    const analysis::Recording r = analysis::openRecording(path, format, {.verify = verify});
    if (r.rows.empty() || r.rows.front().source->size() == 0)
        throw Error(path.string() + "\nholds no samples.");
    const analysis::RecordingRow& row = r.rows.front();
    // The plots hold the samples and draw from them a few times their
    // size: a recording beyond what the machine holds is refused before
    // any is read.
    const std::size_t most = maxPlotSamples();
    if (row.source->size() > most)
        throw Error(path.string() + "\nholds " + std::to_string(row.source->size()) +
                    " samples; the plots read at most " + std::to_string(most) + " on this machine.");
    WaveformFile w;
    w.kind = samples ? r.kind : sigmf ? "SigMF" : "MAT-file";
    w.sampleRate = r.sampleRate.value_or(0);
    w.waveform.resize(row.source->size());
    row.source->readExact(0, w.waveform.size(), w.waveform.data());
    if (r.fullScale != 1)
        for (Complex& z : w.waveform) z /= r.fullScale;
    // The receiver reads such samples as silence; a plot of them would
    // show nothing true (a power of infinity, an axis to 1e300), so the
    // file is refused with their count.
    std::size_t damaged = 0;
    for (const Complex& z : w.waveform) damaged += !usableSample(z);
    if (damaged > 0)
        throw Error(path.string() + "\nholds " + std::to_string(damaged) + " of " + std::to_string(w.waveform.size()) +
                    " samples that are not finite numbers or not below 1e30 in size; they cannot be plotted.");
    w.markers = analysis::readMarkers(row);
    return w;
}

}  // namespace bt::plots
