#include "instrument/signal_files.h"

#include <charconv>
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
        if (!f_) throw Error("cannot open " + path.string());
    }
    void write(const void* data, std::size_t bytes) {
        if (bytes > 0 && std::fwrite(data, 1, bytes, f_.get()) != bytes) throw Error("cannot write the file");
    }
    void close() {
        if (std::fclose(f_.release()) != 0) throw Error("cannot finish the file");
    }

private:
    std::unique_ptr<std::FILE, FileCloser> f_;
};

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

void writeMarkerFile(const std::filesystem::path& file, const Markers& markers) {
    saveAtomically(file, [&](const std::filesystem::path& temporary) {
        ChunkWriter out(temporary);
        std::vector<std::uint8_t> bytes(kChunk);
        for (std::size_t first = 0; first < markers.size(); first += kChunk) {
            const std::size_t count = std::min(kChunk, markers.size() - first);
            encodeMarkers(markers, first, count, bytes.data());
            out.write(bytes.data(), count);
        }
        out.close();
    });
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
    switch (format) {
        case SignalFormat::Raw:
            saveAtomically(file, [&](const std::filesystem::path& temporary) {
                if (SaveMarrowindWaveform(waveform, temporary.string()) != 1)
                    throw Error("cannot write " + temporary.string());
            });
            writeMarkerFile(markerFilePath(file), markers);
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
