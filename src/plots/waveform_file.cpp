#include "plots/waveform_file.h"

#include <algorithm>
#include <cctype>

#include "analysis/recording.h"
#include "lib/errors.h"

namespace bt::plots {

namespace fs = std::filesystem;

WaveformFile readWaveformFile(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    fs::path meta = path;
    meta += ".sigmf-meta";
    std::error_code ec;
    const bool sigmf = ext == ".sigmf-meta" || ext == ".sigmf-data" || ext == ".sigmf" ||
                       (!fs::exists(path, ec) && fs::exists(meta, ec));
    const analysis::Recording r =
        analysis::openRecording(path, sigmf ? analysis::SampleFormat::Auto : analysis::SampleFormat::Mat);
    if (r.rows.empty() || r.rows.front().source->size() == 0)
        throw Error(path.string() + "\nholds no samples.");
    const analysis::RecordingRow& row = r.rows.front();
    WaveformFile w;
    w.kind = sigmf ? "SigMF" : "MAT-file";
    w.sampleRate = r.sampleRate.value_or(0);
    w.waveform.resize(row.source->size());
    row.source->readExact(0, w.waveform.size(), w.waveform.data());
    if (r.fullScale != 1)
        for (Complex& z : w.waveform) z /= r.fullScale;
    w.markers = analysis::readMarkers(row);
    return w;
}

}  // namespace bt::plots
