#include "plots/waveform_file.h"

#include <nlohmann/json.hpp>

#include <bit>
#include <cstring>
#include <fstream>

#include "lib/errors.h"
#include "lib/matfile.h"

namespace bt::plots {

namespace fs = std::filesystem;

namespace {

std::string name(const fs::path& p) { return p.string(); }

// Little-endian values from raw bytes, whatever the machine's order.
template <class T>
T little(const char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) {
        auto* b = reinterpret_cast<unsigned char*>(&v);
        for (std::size_t i = 0; i < sizeof v / 2; ++i) std::swap(b[i], b[sizeof v - 1 - i]);
    }
    return v;
}

}  // namespace

WaveformFile readSigmf(const fs::path& meta) {
    std::ifstream in(meta);
    if (!in) throw Error(name(meta) + "\ncannot be opened.");
    nlohmann::json j;
    try {
        in >> j;
    } catch (const nlohmann::json::exception& e) {
        throw Error(name(meta) + "\nis not a SigMF description: " + e.what());
    }
    const auto global = j.find("global");
    if (global == j.end() || !global->is_object()) throw Error(name(meta) + "\nhas no \"global\" object.");
    const std::string datatype = global->value("core:datatype", "");
    std::size_t bytesPerSample = 0;
    if (datatype == "cf32_le") bytesPerSample = 8;
    else if (datatype == "ci16_le") bytesPerSample = 4;
    else throw Error(name(meta) + "\nholds \"" + datatype + "\" samples; cf32_le and ci16_le can be read.");
    WaveformFile w;
    w.kind = "SigMF";
    const auto rate = global->find("core:sample_rate");
    if (rate != global->end() && rate->is_number()) w.sampleRate = rate->get<double>();

    fs::path data = meta;
    data.replace_extension(".sigmf-data");
    std::ifstream d(data, std::ios::binary);
    if (!d) throw Error(name(data) + "\ncannot be opened.");
    const auto size = fs::file_size(data);
    if (size % bytesPerSample != 0)
        throw Error(name(data) + "\nis not a whole number of " + datatype + " samples.");
    const std::size_t n = size / bytesPerSample;
    w.waveform.resize(n);
    std::vector<char> buf(std::size_t{1} << 20);
    std::size_t done = 0;
    while (done < n) {
        const std::size_t count = std::min(n - done, buf.size() / bytesPerSample);
        if (!d.read(buf.data(), static_cast<std::streamsize>(count * bytesPerSample)))
            throw Error(name(data) + "\nended early.");
        for (std::size_t k = 0; k < count; ++k) {
            const char* p = buf.data() + k * bytesPerSample;
            if (bytesPerSample == 8)
                w.waveform[done + k] = Complex(little<float>(p), little<float>(p + 4));
            else
                w.waveform[done + k] = Complex(little<std::int16_t>(p) / 32767.0, little<std::int16_t>(p + 2) / 32767.0);
        }
        done += count;
    }
    // The marker file beside the samples, when it fits them.
    fs::path markerFile = data;
    markerFile += ".markers";
    std::error_code ec;
    if (fs::exists(markerFile, ec) && fs::file_size(markerFile, ec) == n) {
        std::ifstream m(markerFile, std::ios::binary);
        std::vector<char> bytes(n);
        if (m.read(bytes.data(), static_cast<std::streamsize>(n))) {
            Markers mk;
            mk.resize(n);
            for (std::size_t k = 0; k < n; ++k) {
                mk.row1[k] = static_cast<std::uint8_t>(bytes[k] & 1);
                mk.row2[k] = static_cast<std::uint8_t>((bytes[k] >> 1) & 1);
            }
            w.markers = std::move(mk);
        }
    }
    return w;
}

WaveformFile readWaveformMat(const fs::path& path) {
    MatReadLimits limits;
    limits.maxFileBytes = std::uint64_t{8} << 30;
    limits.maxUnpackedBytes = std::uint64_t{8} << 30;
    const MatFileReader reader(path, limits, {"waveform", "samples", "wave", "sampleRate"});
    WaveformFile w;
    w.kind = "MAT-file";
    const char* found = nullptr;
    for (const char* v : {"waveform", "samples", "wave"})
        if (reader.info(v)) {
            found = v;
            break;
        }
    if (!found) throw Error(name(path) + "\nholds no waveform (waveform, samples or wave).");
    const MatValue m = reader.read(found);
    if (!isNumericClass(m.cls) || m.dims.size() != 2) throw Error(name(path) + "\nholds a " + m.describe() + " " + found + ".");
    const std::size_t rows = m.dims[0], cols = m.dims[1];
    if (m.complex || rows == 1 || cols == 1) {
        // A row or a column of complex (or real) samples.
        if (rows != 1 && cols != 1) throw Error(name(path) + "\nholds a " + m.describe() + " " + found + "; a row or a column is needed.");
        w.waveform.resize(m.re.size());
        for (std::size_t k = 0; k < m.re.size(); ++k) w.waveform[k] = Complex(m.re[k], m.complex ? m.im[k] : 0.0);
    } else if (cols == 2) {
        // Two real columns: in-phase, quadrature (column-major storage).
        w.waveform.resize(rows);
        for (std::size_t k = 0; k < rows; ++k) w.waveform[k] = Complex(m.re[k], m.re[rows + k]);
    } else {
        throw Error(name(path) + "\nholds a " + m.describe() + " " + found + "; a row, a column or two columns are needed.");
    }
    if (reader.info("sampleRate")) {
        const MatValue r = reader.read("sampleRate");
        if (isNumericClass(r.cls) && r.re.size() == 1 && r.re[0] > 0) w.sampleRate = r.re[0];
    }
    return w;
}

WaveformFile readWaveformFile(const fs::path& path) {
    const std::string ext = path.extension().string();
    if (ext == ".sigmf-meta") return readSigmf(path);
    if (ext == ".sigmf") {
        fs::path meta = path;
        return readSigmf(meta.replace_extension(".sigmf-meta"));
    }
    if (ext == ".sigmf-data") {
        fs::path meta = path;
        return readSigmf(meta.replace_extension(".sigmf-meta"));
    }
    if (!fs::exists(path)) {
        fs::path meta = path;
        meta += ".sigmf-meta";
        if (fs::exists(meta)) return readSigmf(meta);
    }
    return readWaveformMat(path);
}

}  // namespace bt::plots
