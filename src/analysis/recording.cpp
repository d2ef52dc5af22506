#include "analysis/recording.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <string_view>
#include <type_traits>

#include <nlohmann/json.hpp>

#include "instrument/sigmf.h"
#include "instrument/signal_files.h"
#include "lib/errors.h"
#include "lib/matfile.h"
#include "lib/memory.h"

namespace bt::analysis {

namespace {

// Samples of a file read with positional reads, so blocks may be read from
// several threads at once.
class FileSource : public SampleSource {
public:
    FileSource(const std::filesystem::path& path, SampleFormat format) : format_(format) {
        // Without waiting: a FIFO without a writer would block the open.
        fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) throw Error(path.string() + "\ncannot be opened: " + std::strerror(errno));
        struct stat st{};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd_);
            throw Error(path.string() + "\nis not a regular file.");
        }
        // A partial last sample (a capture cut short) is left out.
        count_ = static_cast<std::size_t>(st.st_size) / bytesPerSample();
    }
    ~FileSource() override { ::close(fd_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::size_t size() const override { return count_; }

    void read(std::size_t first, std::size_t count, CFloat* out) const override { readAs(first, count, out); }
    void readExact(std::size_t first, std::size_t count, Complex* out) const override { readAs(first, count, out); }

private:
    std::size_t bytesPerSample() const {
        return format_ == SampleFormat::Cf32 ? 8 : format_ == SampleFormat::Ci8 || format_ == SampleFormat::Cu8 ? 2 : 4;
    }

    template <class T>
    void readAs(std::size_t first, std::size_t count, std::complex<T>* out) const {
        constexpr std::size_t kChunk = 1 << 16;
        std::vector<unsigned char> buf(kChunk * bytesPerSample());
        for (std::size_t done = 0; done < count;) {
            const std::size_t n = std::min(kChunk, count - done);
            const std::size_t bytes = n * bytesPerSample();
            std::size_t got = 0;
            while (got < bytes) {
                const ssize_t r = ::pread(fd_, buf.data() + got, bytes - got,
                                          static_cast<off_t>((first + done) * bytesPerSample() + got));
                if (r <= 0) throw Error("the recording could not be read to its end");
                got += static_cast<std::size_t>(r);
            }
            convert(buf.data(), n, out + done);
            done += n;
        }
    }

    // The receiver gets non-finite float samples as zeros; an exact read
    // hands them on as they are.
    template <class T>
    void convert(const unsigned char* b, std::size_t n, std::complex<T>* out) const {
        constexpr bool exact = std::is_same_v<T, double>;
        for (std::size_t k = 0; k < n; ++k) {
            const unsigned char* s = b + k * bytesPerSample();
            if (format_ == SampleFormat::Cf32) {
                float re, im;
                std::memcpy(&re, s, 4);  // the machine is little-endian, as the format
                std::memcpy(&im, s + 4, 4);
                if (!exact) re = std::isfinite(re) ? re : 0.0f, im = std::isfinite(im) ? im : 0.0f;
                out[k] = std::complex<T>(re, im);
            } else if (format_ == SampleFormat::Ci16) {
                out[k] = std::complex<T>(T(std::int16_t(s[0] | (s[1] << 8))), T(std::int16_t(s[2] | (s[3] << 8))));
            } else if (format_ == SampleFormat::Ci8) {
                out[k] = std::complex<T>(T(std::int8_t(s[0])), T(std::int8_t(s[1])));
            } else if (format_ == SampleFormat::Cu8) {
                out[k] = std::complex<T>(T(s[0] - 127.5), T(s[1] - 127.5));
            } else {
                out[k] = std::complex<T>(T(std::int16_t((s[0] << 8) | s[1])), T(std::int16_t((s[2] << 8) | s[3])));
            }
        }
    }

    SampleFormat format_;
    int fd_ = -1;
    std::size_t count_ = 0;
};

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The marker file beside a raw waveform: its symbol clock tells the rate.
std::optional<double> rateFromMarkerFile(const std::filesystem::path& file) {
    const std::filesystem::path markers = markerFilePath(file);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(markers, ec)) return std::nullopt;  // a pipe would never end
    std::ifstream in(markers, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> row;
    std::array<char, 1 << 16> buf;
    // A million samples show the clock well enough.
    while (row.size() < (1u << 20)) {
        in.read(buf.data(), buf.size());
        const std::streamsize got = in.gcount();
        if (got <= 0) break;
        for (std::streamsize k = 0; k < got; ++k) row.push_back(static_cast<std::uint8_t>(buf[std::size_t(k)] & 1));
    }
    const std::size_t os = oversamplingOfMarker(row);
    if (os == 0) return std::nullopt;
    return double(os) * 1e6;
}

struct MatStorage {
    MatValue waveform;
};

MatReadLimits matLimits(const OpenOptions& options) {
    MatReadLimits limits;
    const std::uint64_t cap = options.maxMatBytes ? options.maxMatBytes : usableMemoryBytes() / 4;
    limits.maxFileBytes = cap;
    limits.maxUnpackedBytes = cap;
    return limits;
}

// The MAT-file reader's reasons say what is wrong ("is too large to
// read"), not of which file: the file's name is put first, as in every
// other reason here.
template <class F>
auto namingFile(const std::filesystem::path& file, F&& f) {
    try {
        return f();
    } catch (const Error& e) {
        const std::string name = file.string() + "\n";
        if (std::string_view(e.what()).starts_with(name)) throw;
        throw Error(name + e.what());
    }
}

Recording readMat(const std::filesystem::path& file, const OpenOptions& options) {
    const MatReadLimits limits = matLimits(options);
    const MatFileReader reader(file, limits);
    // The generate command's `waveform`, the dirty-transmitter matrix, or
    // the frame's waveform saves (`samples`, `wave`).
    std::string name;
    for (const char* v : {"waveform", "dtWaveform", "samples", "wave"})
        if (reader.info(v)) {
            name = v;
            break;
        }
    if (name.empty())
        throw Error(file.string() + "\nholds no waveform (waveform, dtWaveform, samples or wave).");
    const bool dt = name == "dtWaveform";
    const MatValue* shape = reader.info(name);
    if (!isNumericClass(shape->cls) || shape->dims.size() != 2)
        throw Error(file.string() + "\n`" + name + "` is " + shape->describe() + ", not a numeric matrix.");

    auto storage = std::make_shared<MatStorage>();
    storage->waveform = reader.read(name);
    const MatValue& w = storage->waveform;
    Recording r;
    r.kind = "MAT-file";
    const std::size_t rows = w.dims[0];
    const std::size_t cols = w.dims[1];
    const double* im = w.complex ? w.im.data() : nullptr;
    if (!dt && (rows == 1 || cols == 1)) {
        // A row or a column: either way one waveform.
        r.rows.push_back({name, std::make_shared<SplitComplexSource>(w.re.data(), im, rows * cols, 1), {}});
    } else if (!dt && !w.complex && cols == 2) {
        // Two real columns, in-phase and quadrature (column-major storage).
        r.rows.push_back({name, std::make_shared<SplitComplexSource>(w.re.data(), w.re.data() + rows, rows, 1), {}});
    } else if (!dt) {
        throw Error(file.string() + "\n`" + name + "` is " + w.describe() +
                    "; a row, a column or two real columns (I, Q) is needed.");
    } else {
        for (std::size_t k = 0; k < rows; ++k) {
            bool zeros = true;
            for (std::size_t c = 0; zeros && c < cols; ++c)
                zeros = w.re[c * rows + k] == 0 && (!im || im[c * rows + k] == 0);
            if (zeros) continue;  // a test set not selected
            r.rows.push_back({"dtWaveform row " + std::to_string(k + 1),
                              std::make_shared<SplitComplexSource>(w.re.data() + k, im ? im + k : nullptr, cols, rows),
                              {{}, {}, 2 * k}});
        }
    }
    r.storage = storage;
    const std::string markerName = dt ? "dtMarkers" : "markers";
    // Row K of dtWaveform has rows 2K-1 and 2K of dtMarkers.
    if (const MatValue* m = reader.info(markerName); m && isNumericClass(m->cls) && m->dims.size() == 2) {
        for (RecordingRow& row : r.rows) {
            row.markers.file = file;
            row.markers.variable = markerName;
        }
    }

    // SamplingRate from the dirty-transmitter command, sampleRate from the
    // frame's saves.
    for (const char* rateName : {"SamplingRate", "sampleRate"}) {
        const MatValue* rate = reader.info(rateName);
        if (!rate || !isNumericClass(rate->cls) || rate->numel() != 1) continue;
        const MatValue v = reader.read(rateName);
        if (!v.re.empty() && std::isfinite(v.re[0]) && v.re[0] > 0) {
            r.sampleRate = v.re[0];
            r.rateSource = std::string(rateName) + " in the file";
            return r;
        }
    }
    if (const MatValue* m = reader.info(markerName); m && isNumericClass(m->cls) && m->dims.size() == 2 && m->dims[0] > 0) {
        const MatValue markers = reader.read(markerName);
        const std::size_t mr = markers.dims[0];
        const std::size_t mc = markers.dims[1];
        // Marker 1 of the waveform (of each test set in turn).
        for (std::size_t row = 0; row < mr; row += 2) {
            std::vector<std::uint8_t> clock(std::min<std::size_t>(mc, 1u << 20));
            for (std::size_t c = 0; c < clock.size(); ++c) clock[c] = markers.re[c * mr + row] != 0;
            if (const std::size_t os = oversamplingOfMarker(clock)) {
                r.sampleRate = double(os) * 1e6;
                r.rateSource = "symbol clock marker";
                break;
            }
        }
    }
    return r;
}

Recording openMat(const std::filesystem::path& file, const OpenOptions& options) {
    return namingFile(file, [&] { return readMat(file, options); });
}

// A crash between the renames of a save can leave a dataset beside the
// metadata of another: refused when the metadata shows it, naming both.
void checkDatasetBelongs(const nlohmann::json& j, const nlohmann::json& global, const std::filesystem::path& meta,
                         const std::filesystem::path& data, std::size_t samples, const OpenOptions& options) {
    const std::string pair = meta.string() + "\nand " + data.string() + "\ndo not belong together: ";
    if (const auto annotations = j.find("annotations"); annotations != j.end() && annotations->is_array()) {
        for (const nlohmann::json& a : *annotations) {
            if (!a.is_object()) continue;
            const auto start = a.find("core:sample_start");
            const auto count = a.find("core:sample_count");
            if (start == a.end() || count == a.end() || !start->is_number_unsigned() || !count->is_number_unsigned())
                continue;
            const std::uint64_t end = start->get<std::uint64_t>() + count->get<std::uint64_t>();
            if (end < start->get<std::uint64_t>() || end > samples)
                throw Error(pair + "an annotation reaches sample " + std::to_string(end) + " of a dataset of " +
                            std::to_string(samples) + " samples.");
        }
    }
    const auto sha = global.find("core:sha512");
    if (!options.verify || sha == global.end() || !sha->is_string()) return;
    std::string expected = sha->get<std::string>();
    std::transform(expected.begin(), expected.end(), expected.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (sha512OfFile(data) != expected)
        throw Error(pair + "the dataset's SHA-512 is not the one in the metadata.");
}

Recording openSigmf(const std::filesystem::path& file, const OpenOptions& options) {
    std::filesystem::path base = file;
    const std::string name = file.string();
    // NAME.sigmf stands for the recording NAME, as when it is written.
    if (endsWith(lower(name), ".sigmf-meta") || endsWith(lower(name), ".sigmf-data") || endsWith(lower(name), ".sigmf"))
        base.replace_extension();
    std::filesystem::path meta = base, data = base;
    meta += ".sigmf-meta";
    data += ".sigmf-data";
    std::error_code ec;
    if (std::filesystem::exists(meta, ec) && !std::filesystem::is_regular_file(meta, ec))
        throw Error(meta.string() + "\nis not a regular file.");
    std::ifstream in(meta);
    if (!in) throw Error(meta.string() + "\ncannot be opened.");
    if (const std::uintmax_t size = std::filesystem::file_size(meta, ec); !ec && size > kMaxSigmfMetaBytes)
        throw Error(meta.string() + "\nis " + std::to_string(size >> 20) + " MB; SigMF metadata of more than " +
                    std::to_string(kMaxSigmfMetaBytes >> 20) + " MB is not read.");
    nlohmann::json j;
    // Refused at the first level too deep, before the rest is parsed.
    const auto notTooDeep = [&meta](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
        if (depth > kMaxSigmfMetaNesting)
            throw Error(meta.string() + "\nis nested more than " + std::to_string(kMaxSigmfMetaNesting) +
                        " levels deep; SigMF metadata that deep is not read.");
        return true;
    };
    try {
        j = nlohmann::json::parse(in, notTooDeep);
    } catch (const nlohmann::json::exception& e) {
        throw Error(meta.string() + "\nis not valid JSON: " + e.what());
    }
    const auto global = j.find("global");
    if (!j.is_object() || global == j.end() || !global->is_object())
        throw Error(meta.string() + "\nhas no \"global\" object.");
    const auto type = global->find("core:datatype");
    if (type == global->end() || !type->is_string()) throw Error(meta.string() + "\nhas no core:datatype.");
    const std::string datatype = type->get<std::string>();
    SampleFormat format;
    if (datatype == "cf32_le") format = SampleFormat::Cf32;
    else if (datatype == "ci16_le") format = SampleFormat::Ci16;
    else throw Error(meta.string() + "\nholds \"" + datatype + "\" samples; cf32_le and ci16_le are read.");
    Recording r;
    r.kind = "SigMF (" + datatype + ")";
    const auto rate = global->find("core:sample_rate");
    if (rate != global->end() && rate->is_number() && rate->get<double>() > 0) {
        r.sampleRate = rate->get<double>();
        r.rateSource = "core:sample_rate";
    }
    if (format == SampleFormat::Ci16) r.fullScale = 32767;
    if (const auto captures = j.find("captures"); captures != j.end() && captures->is_array() && !captures->empty()) {
        const nlohmann::json& first = captures->front();
        if (const auto f = first.is_object() ? first.find("core:frequency") : first.end();
            f != first.end() && f->is_number())
            r.frequency = f->get<double>();
    }
    RecordingRow row{data.filename().string(), std::make_shared<FileSource>(data, format), {}};
    checkDatasetBelongs(j, *global, meta, data, row.source->size(), options);
    // The marker file the metadata names, looked for beside it only (a name
    // in the metadata never reaches another folder), else the usual one
    // beside the dataset (the recording renamed after it was written).
    std::filesystem::path markers = markerFilePath(data);
    if (const auto m = global->find("btgen:markers"); m != global->end() && m->is_object()) {
        if (const auto f = m->find("file"); f != m->end() && f->is_string()) {
            const std::filesystem::path named = std::filesystem::path(f->get<std::string>()).filename();
            if (!named.empty() && named != "." && named != ".." &&
                std::filesystem::is_regular_file(meta.parent_path() / named, ec))
                markers = meta.parent_path() / named;
        }
    }
    if (std::filesystem::is_regular_file(markers, ec)) row.markers.file = markers;
    r.rows.push_back(std::move(row));
    r.metadata = std::move(j);
    return r;
}

// Rows `firstRow` and `firstRow` + 1 of a MAT-file matrix (column-major).
std::optional<Markers> readMatMarkers(const MarkerLocation& at, std::size_t count) {
    const MatFileReader reader(at.file, matLimits({}), {at.variable});
    const MatValue* shape = reader.info(at.variable);
    if (!shape || !isNumericClass(shape->cls) || shape->dims.size() != 2 || shape->dims[1] != count ||
        shape->dims[0] < at.firstRow + 2)
        return std::nullopt;
    const MatValue m = reader.read(at.variable);
    const std::size_t rows = m.dims[0];
    Markers out;
    out.resize(count);
    for (std::size_t c = 0; c < count; ++c) {
        out.row1[c] = m.re[c * rows + at.firstRow] != 0;
        out.row2[c] = m.re[c * rows + at.firstRow + 1] != 0;
    }
    return out;
}

std::optional<Markers> matMarkers(const MarkerLocation& at, std::size_t count) {
    return namingFile(at.file, [&] { return readMatMarkers(at, count); });
}

// Samples offset .. offset + count - 1 of a marker file of exactly one byte
// per sample of `total`.
std::optional<Markers> fileMarkers(const std::filesystem::path& file, std::size_t total, std::size_t offset,
                                   std::size_t count) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec) || std::filesystem::file_size(file, ec) != total || ec)
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) throw Error(file.string() + "\ncannot be opened.");
    if (!in.seekg(static_cast<std::streamoff>(offset))) throw Error(file.string() + "\ncould not be read to its end.");
    Markers out;
    out.resize(count);
    std::vector<char> buf(1 << 16);
    for (std::size_t done = 0; done < count;) {
        const std::size_t n = std::min(buf.size(), count - done);
        if (!in.read(buf.data(), static_cast<std::streamsize>(n)))
            throw Error(file.string() + "\ncould not be read to its end.");
        for (std::size_t k = 0; k < n; ++k) {
            out.row1[done + k] = static_cast<std::uint8_t>(buf[k] & 1);
            out.row2[done + k] = static_cast<std::uint8_t>((buf[k] >> 1) & 1);
        }
        done += n;
    }
    return out;
}

}  // namespace

std::optional<Markers> readMarkers(const RecordingRow& row) {
    if (row.markers.file.empty() || !row.source) return std::nullopt;
    const std::size_t count = row.source->size();
    return row.markers.variable.empty() ? fileMarkers(row.markers.file, count, 0, count)
                                        : matMarkers(row.markers, count);
}

std::optional<Markers> readMarkers(const RecordingRow& row, std::size_t offset, std::size_t count) {
    if (row.markers.file.empty() || !row.source) return std::nullopt;
    const std::size_t total = row.source->size();
    if (offset > total || count > total - offset) throw Error("the markers hold " + std::to_string(total) + " samples.");
    if (row.markers.variable.empty()) return fileMarkers(row.markers.file, total, offset, count);
    // A MAT-file's markers are held whole with its samples (within its
    // read limit): the stretch is cut from them.
    std::optional<Markers> all = matMarkers(row.markers, total);
    if (!all) return all;
    Markers out;
    const auto from = all->row1.begin() + static_cast<std::ptrdiff_t>(offset);
    out.row1.assign(from, from + static_cast<std::ptrdiff_t>(count));
    const auto from2 = all->row2.begin() + static_cast<std::ptrdiff_t>(offset);
    out.row2.assign(from2, from2 + static_cast<std::ptrdiff_t>(count));
    return out;
}

std::optional<SampleFormat> parseSampleFormat(const std::string& name) {
    if (name == "raw") return SampleFormat::Raw16;
    if (name == "cf32") return SampleFormat::Cf32;
    if (name == "ci16") return SampleFormat::Ci16;
    if (name == "ci8") return SampleFormat::Ci8;
    if (name == "cu8") return SampleFormat::Cu8;
    return std::nullopt;
}

std::size_t oversamplingOfMarker(const std::vector<std::uint8_t>& marker) {
    std::map<std::size_t, std::size_t> distances;
    std::size_t last = 0;
    bool seen = false;
    for (std::size_t k = 1; k < marker.size(); ++k) {
        if (!marker[k] || marker[k - 1]) continue;
        if (seen && k - last <= 64) ++distances[k - last];
        last = k;
        seen = true;
    }
    std::size_t best = 0, count = 0;
    for (const auto& [d, c] : distances)
        if (c > count) best = d, count = c;
    return count >= 8 && best >= 2 ? best : 0;
}

Recording openRecording(const std::filesystem::path& file, SampleFormat format, const OpenOptions& options) {
    const std::string name = lower(file.filename().string());
    if (format == SampleFormat::Mat) return openMat(file, options);
    if (format == SampleFormat::Auto) {
        if (endsWith(name, ".mat")) return openMat(file, options);
        if (endsWith(name, ".sigmf-meta") || endsWith(name, ".sigmf-data") || endsWith(name, ".sigmf"))
            return openSigmf(file, options);
        // A recording named by its base name, as when it was written.
        std::error_code ec;
        std::filesystem::path meta = file;
        meta += ".sigmf-meta";
        if (!std::filesystem::exists(file, ec) && std::filesystem::exists(meta, ec)) return openSigmf(meta, options);
        format = SampleFormat::Raw16;
    }
    Recording r;
    switch (format) {
        case SampleFormat::Cf32: r.kind = "cf32 samples"; break;
        case SampleFormat::Ci16: r.kind = "ci16 samples", r.fullScale = 32767; break;
        case SampleFormat::Ci8: r.kind = "ci8 samples", r.fullScale = 127; break;
        case SampleFormat::Cu8: r.kind = "cu8 samples", r.fullScale = 127.5; break;
        default: r.kind = "raw 16-bit", r.fullScale = 32767; break;
    }
    r.rows.push_back({file.filename().string(), std::make_shared<FileSource>(file, format), {}});
    if (format == SampleFormat::Raw16) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(markerFilePath(file), ec)) {
            // A waveform and its marker file are saved as a pair; a crash
            // between their renames can leave one beside the other's
            // partner, which shows when their lengths differ.
            const std::uintmax_t markerBytes = std::filesystem::file_size(markerFilePath(file), ec);
            const std::size_t samples = r.rows.back().source->size();
            if (!ec && markerBytes != samples)
                throw Error(file.string() + "\nand " + markerFilePath(file).string() +
                            "\ndo not belong together: " + std::to_string(samples) + " samples beside " +
                            std::to_string(markerBytes) + " marker bytes.");
            r.rows.back().markers.file = markerFilePath(file);
        }
        if (const auto rate = rateFromMarkerFile(file)) {
            r.sampleRate = rate;
            r.rateSource = "symbol clock in " + markerFilePath(file).filename().string();
        }
    }
    return r;
}

}  // namespace bt::analysis
