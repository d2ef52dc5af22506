#include "instrument/sigmf.h"

#include <openssl/evp.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <type_traits>
#include <vector>

#include "instrument/signal_files.h"
#include "instrument/waveform_export.h"
#include "lib/atomic_save.h"
#include "lib/errors.h"

namespace bt {

namespace {

constexpr std::size_t kChunk = 1 << 16;  // samples per write
constexpr double kChannelHalfWidth = 0.5e6;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
struct DigestFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

// SHA-512 of the bytes passed through update().
class Sha512 {
public:
    Sha512() : ctx_(EVP_MD_CTX_new()) {
        if (!ctx_ || EVP_DigestInit_ex(ctx_.get(), EVP_sha512(), nullptr) != 1)
            throw Error("cannot compute the dataset's checksum");
    }
    void update(const void* data, std::size_t bytes) {
        if (EVP_DigestUpdate(ctx_.get(), data, bytes) != 1) throw Error("cannot compute the dataset's checksum");
    }
    std::string hex() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(ctx_.get(), digest, &length) != 1)
            throw Error("cannot compute the dataset's checksum");
        static const char* const kDigits = "0123456789abcdef";
        std::string out;
        for (unsigned int k = 0; k < length; ++k) {
            out += kDigits[digest[k] >> 4];
            out += kDigits[digest[k] & 15];
        }
        return out;
    }

private:
    std::unique_ptr<EVP_MD_CTX, DigestFree> ctx_;
};

template <class T>
void putLittleEndian(unsigned char*& out, T value) {
    auto bits = std::bit_cast<std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint16_t>>(value);
    for (std::size_t k = 0; k < sizeof(T); ++k, bits >>= 8) *out++ = static_cast<unsigned char>(bits & 0xFF);
}

std::int16_t toInt16(double value) {
    if (std::isnan(value)) return 0;  // never undefined behaviour on a bad sample
    return static_cast<std::int16_t>(static_cast<std::int32_t>(std::round(value)));
}

// Writes the dataset to `file` and returns its SHA-512.
std::string writeDataset(const std::filesystem::path& file, SigmfDatatype type, const ComplexRow& waveform) {
    // Errors give the system's reason; the save names the target (never
    // the temporary file, which is gone by then).
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(file.c_str(), "wb"));
    if (!f) throw Error(std::string("cannot create the file: ") + std::strerror(errno));
    const double gain = type == SigmfDatatype::Ci16Le ? exportGain(waveform) : 1.0;
    const std::size_t sampleBytes = type == SigmfDatatype::Ci16Le ? 4 : 8;
    std::vector<unsigned char> buffer(kChunk * sampleBytes);
    Sha512 sha;
    for (std::size_t first = 0; first < waveform.size(); first += kChunk) {
        const std::size_t count = std::min(kChunk, waveform.size() - first);
        unsigned char* out = buffer.data();
        for (std::size_t k = first; k < first + count; ++k) {
            if (type == SigmfDatatype::Ci16Le) {
                putLittleEndian(out, toInt16(waveform[k].real() * gain));
                putLittleEndian(out, toInt16(waveform[k].imag() * gain));
            } else {
                putLittleEndian(out, static_cast<float>(waveform[k].real()));
                putLittleEndian(out, static_cast<float>(waveform[k].imag()));
            }
        }
        const std::size_t bytes = count * sampleBytes;
        if (std::fwrite(buffer.data(), 1, bytes, f.get()) != bytes)
            throw Error(std::string("cannot write the file: ") + std::strerror(errno));
        sha.update(buffer.data(), bytes);
    }
    if (std::fclose(f.release()) != 0) throw Error(std::string("cannot write the file: ") + std::strerror(errno));
    return sha.hex();
}

}  // namespace

std::string sha512OfFile(const std::filesystem::path& file) {
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(file.c_str(), "rb"));
    if (!f) throw Error(file.string() + "\ncannot be opened: " + std::strerror(errno));
    Sha512 sha;
    std::vector<unsigned char> buffer(1 << 20);
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), f.get());
        sha.update(buffer.data(), got);
        if (got < buffer.size()) break;
    }
    if (std::ferror(f.get())) throw Error(file.string() + "\ncould not be read to its end.");
    return sha.hex();
}

std::optional<SigmfDatatype> parseSigmfDatatype(std::string_view name) {
    if (name == "cf32_le") return SigmfDatatype::Cf32Le;
    if (name == "ci16_le") return SigmfDatatype::Ci16Le;
    return std::nullopt;
}

std::string sigmfDatatypeName(SigmfDatatype type) { return type == SigmfDatatype::Ci16Le ? "ci16_le" : "cf32_le"; }

SigmfFiles sigmfFiles(const std::filesystem::path& name) {
    std::filesystem::path base = name;
    const std::string ext = name.extension().string();
    if (ext == ".sigmf-meta" || ext == ".sigmf-data" || ext == ".sigmf") base.replace_extension();
    SigmfFiles f;
    f.meta = base;
    f.meta += ".sigmf-meta";
    f.data = base;
    f.data += ".sigmf-data";
    f.markers = markerFilePath(f.data);
    return f;
}

std::optional<std::string> sigmfNameProblem(const std::filesystem::path& name) {
    std::filesystem::path base = name;
    const std::string ext = name.extension().string();
    if (ext == ".sigmf-meta" || ext == ".sigmf-data" || ext == ".sigmf") base.replace_extension();
    const std::string stem = base.filename().string();
    if (stem.empty() || stem == "." || stem == "..")
        return "\"" + name.string() + "\" names no recording: give a file name such as " +
               (name.string().empty() || name.string().ends_with('/') ? name.string() : name.string() + "/") +
               "capture.";
    return std::nullopt;
}

std::vector<FileToSave> sigmfFilesToSave(const SigmfFiles& files, SigmfDatatype type, const ComplexRow& waveform,
                                         const Markers& markers, SigmfMetadataMaker metadata) {
    if (markers.row1.size() != waveform.size() || markers.row2.size() != waveform.size())
        throw Error("the markers are not as long as the waveform");
    if (const auto k = firstNonFiniteSample(waveform))
        throw Error("sample " + std::to_string(*k + 1) + " of the waveform is not a finite number; nothing was written");
    // The writers run in this order: the dataset's hash is known when the
    // metadata is written.
    auto sha = std::make_shared<std::string>();
    return {{files.data,
             [sha, type, &waveform](const std::filesystem::path& temporary) {
                 *sha = writeDataset(temporary, type, waveform);
             },
             "the dataset"},
            markerFileToSave(files.markers, markers),
            {files.meta,
             [sha, markerName = files.markers.filename().string(),
              metadata = std::move(metadata)](const std::filesystem::path& temporary) {
                 const std::string text = metadata(*sha, markerName).dump(2) + "\n";
                 std::unique_ptr<std::FILE, FileCloser> f(std::fopen(temporary.c_str(), "wb"));
                 if (!f || std::fwrite(text.data(), 1, text.size(), f.get()) != text.size() ||
                     std::fclose(f.release()) != 0)
                     throw Error(std::string("cannot write the file: ") + std::strerror(errno));
             },
             "the metadata"}};
}

SigmfFiles writeSigmf(const std::filesystem::path& name, SigmfDatatype type, const ComplexRow& waveform,
                      const Markers& markers, const SigmfMetadataMaker& metadata) {
    if (const auto problem = sigmfNameProblem(name)) throw Error(*problem);
    const SigmfFiles files = sigmfFiles(name);
    // Dataset, markers and metadata are one recording: saved together, so
    // no metadata ever describes another dataset.
    saveTogether(sigmfFilesToSave(files, type, waveform, markers, metadata));
    return files;
}

}  // namespace bt
