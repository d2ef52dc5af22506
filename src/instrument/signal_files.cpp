#include "instrument/signal_files.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "instrument/block_format.h"
#include "instrument/waveform_export.h"
#include "lib/atomic_save.h"
#include "lib/errors.h"
#include "lib/matfile.h"

namespace bt {

namespace {

constexpr std::size_t kChunk = 1 << 16;  // samples per write

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Bytes appended chunk by chunk to a file opened for the atomic save.
class ChunkWriter {
public:
    explicit ChunkWriter(const std::filesystem::path& path) : f_(std::fopen(path.c_str(), "wb")) {
        if (!f_) throw Error(reason("cannot open " + path.string()));
    }
    void write(const void* data, std::size_t bytes) {
        if (bytes > 0 && std::fwrite(data, 1, bytes, f_.get()) != bytes) throw Error(reason("cannot write the file"));
    }
    void close() {
        if (std::fclose(f_.release()) != 0) throw Error(reason("cannot finish the file"));
    }
    // `what` with the system's reason ("No space left on device").
    static std::string reason(const std::string& what) { return what + ": " + std::strerror(errno); }

private:
    std::unique_ptr<std::FILE, FileCloser> f_;
};

void writeMarkerBytes(const std::filesystem::path& temporary, const Markers& markers) {
    {
        ChunkWriter out(temporary);
        std::vector<std::uint8_t> bytes(kChunk);
        for (std::size_t first = 0; first < markers.size(); first += kChunk) {
            const std::size_t count = std::min(kChunk, markers.size() - first);
            encodeMarkers(markers, first, count, bytes.data());
            out.write(bytes.data(), count);
        }
        out.close();
    }
}

// The shortest text that reads back to the same number, whatever the
// process locale.
// Negative zero is written as 0: "-0" means nothing to a reader.
char* putNumber(char* out, char* end, double x) { return std::to_chars(out, end, x == 0 ? 0.0 : x).ptr; }

void writeCsv(const std::filesystem::path& file, const ComplexRow& waveform, const Markers& markers) {
    saveAtomically(file, [&](const std::filesystem::path& temporary) {
        ChunkWriter out(temporary);
        constexpr std::size_t kLine = 2 * 32 + 6;  // two numbers, two flags, separators
        std::vector<char> text(kChunk * kLine);
        for (std::size_t first = 0; first < waveform.size(); first += kChunk) {
            const std::size_t count = std::min(kChunk, waveform.size() - first);
            char* p = text.data();
            char* const end = text.data() + text.size();
            for (std::size_t k = first; k < first + count; ++k) {
                p = putNumber(p, end, waveform[k].real());
                *p++ = ',';
                p = putNumber(p, end, waveform[k].imag());
                *p++ = ',';
                *p++ = markers.row1[k] ? '1' : '0';
                *p++ = ',';
                *p++ = markers.row2[k] ? '1' : '0';
                *p++ = '\n';
            }
            out.write(text.data(), std::size_t(p - text.data()));
        }
        out.close();
    });
}

void writeMat(const std::filesystem::path& file, const ComplexRow& waveform, const Markers& markers) {
    const std::size_t n = waveform.size();
    MatMatrixSource w{"waveform", 1, n, true, [&](std::size_t first, std::size_t count, bool imaginary, double* out) {
                          for (std::size_t k = 0; k < count; ++k)
                              out[k] = imaginary ? waveform[first + k].imag() : waveform[first + k].real();
                      }};
    // Column-major: element i is row i % 2 of column i / 2.
    MatMatrixSource m{"markers", 2, n, false, [&](std::size_t first, std::size_t count, bool, double* out) {
                          for (std::size_t k = 0; k < count; ++k) {
                              const std::size_t i = first + k;
                              out[k] = (i % 2 == 0 ? markers.row1 : markers.row2)[i / 2];
                          }
                      }};
    writeMatMatrices(file, {w, m});
}

}  // namespace

std::optional<std::size_t> firstNonFiniteSample(const ComplexRow& waveform) {
    for (std::size_t k = 0; k < waveform.size(); ++k)
        if (!std::isfinite(waveform[k].real()) || !std::isfinite(waveform[k].imag())) return k;
    return std::nullopt;
}

void writeMarkerFile(const std::filesystem::path& file, const Markers& markers) {
    saveAtomically(file, [&](const std::filesystem::path& temporary) { writeMarkerBytes(temporary, markers); });
}

FileToSave markerFileToSave(const std::filesystem::path& file, const Markers& markers) {
    return {file, [&markers](const std::filesystem::path& temporary) { writeMarkerBytes(temporary, markers); },
            "the marker file"};
}

std::optional<SignalFormat> parseSignalFormat(std::string_view name) {
    if (name == "raw") return SignalFormat::Raw;
    if (name == "mat") return SignalFormat::Mat;
    if (name == "csv") return SignalFormat::Csv;
    return std::nullopt;
}

std::filesystem::path markerFilePath(const std::filesystem::path& waveformFile) {
    std::filesystem::path p = waveformFile;
    p += ".markers";
    return p;
}

void writeSignal(const std::filesystem::path& file, SignalFormat format, const ComplexRow& waveform,
                 const Markers& markers) {
    if (markers.row1.size() != waveform.size() || markers.row2.size() != waveform.size())
        throw Error("the markers are not as long as the waveform");
    if (const auto k = firstNonFiniteSample(waveform))
        throw Error("sample " + std::to_string(*k + 1) + " of the waveform is not a finite number; nothing was written");
    switch (format) {
        case SignalFormat::Raw:
            // Written together: a waveform never ends up next to the
            // markers of another.
            saveTogether({{file,
                           [&](const std::filesystem::path& temporary) {
                               errno = 0;
                               if (SaveMarrowindWaveform(waveform, temporary.string()) != 1)
                                   throw Error(errno ? ChunkWriter::reason("cannot write the file")
                                                     : "cannot write the file");
                           },
                           "the waveform file"},
                          markerFileToSave(markerFilePath(file), markers)});
            return;
        case SignalFormat::Mat:
            writeMat(file, waveform, markers);
            return;
        case SignalFormat::Csv:
            writeCsv(file, waveform, markers);
            return;
    }
}

}  // namespace bt
