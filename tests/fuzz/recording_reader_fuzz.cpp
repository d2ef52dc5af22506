// libFuzzer target: the recording reader on any SigMF metadata or MAT-file.
// The first byte chooses: even, the rest is the metadata of a recording
// whose dataset (cf32, 1000 samples) and marker file lie beside it; odd,
// the rest is a MAT-file. Whatever is read is read through: samples, the
// marker rows, a stretch of them. Everything must be read or refused with
// bt::Error; nothing may crash, leak or run out of memory.
#include <unistd.h>

#include <complex>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/recording.h"
#include "lib/errors.h"

namespace {

namespace fs = std::filesystem;

const fs::path& folder() {
    static const fs::path dir = [] {
        std::string pattern = (fs::temp_directory_path() / "recording_reader_fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        const fs::path d = pattern;
        // Gone when the fuzzer ends (it leaves through exit()).
        static std::string made = d.string();
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(made, ec);
        });
        std::ofstream data(d / "r.sigmf-data", std::ios::binary);
        for (int k = 0; k < 1000; ++k) {
            const std::complex<float> z(float(k % 7) / 7, float(k % 5) / 5);
            data.write(reinterpret_cast<const char*>(&z), sizeof z);
        }
        std::ofstream markers(d / "r.sigmf-data.markers", std::ios::binary);
        for (int k = 0; k < 1000; ++k) markers.put(static_cast<char>(k % 4));
        return d;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const bool mat = data[0] & 1;
    const fs::path file = folder() / (mat ? "m.mat" : "r.sigmf-meta");
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    try {
        // A small cap keeps a MAT-file's unpacking within the fuzzer's memory.
        const bt::analysis::Recording r =
            bt::analysis::openRecording(file, bt::analysis::SampleFormat::Auto, {.verify = true, .maxMatBytes = 64 << 20});
        std::size_t rows = 0;
        for (const bt::analysis::RecordingRow& row : r.rows) {
            if (++rows > 4) break;
            const std::size_t n = std::min<std::size_t>(row.source->size(), 4096);
            std::vector<bt::Complex> samples(n);
            row.source->readExact(0, n, samples.data());
            (void)bt::analysis::readMarkers(row);
            if (n > 2) (void)bt::analysis::readMarkers(row, 1, n - 2);
        }
    } catch (const bt::Error&) {
    }
    return 0;
}
