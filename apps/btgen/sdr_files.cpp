#include "sdr_files.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

#include "lib/atomic_save.h"
#include "lib/errors.h"

namespace btgen {

std::optional<SdrFormat> sdrFormatOfName(const std::string& name) {
    if (name == "cf32" || name == "fc32" || name == "cfile") return SdrFormat::Cf32;
    if (name == "cs16") return SdrFormat::Cs16;
    if (name == "cs8") return SdrFormat::Cs8;
    if (name == "cu8") return SdrFormat::Cu8;
    return std::nullopt;
}

std::optional<SdrFormat> sdrFormatOfExtension(const std::filesystem::path& file) {
    std::string ext = file.extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext.size() > 1 ? sdrFormatOfName(ext.substr(1)) : std::nullopt;
}

bt::analysis::SampleFormat readerFormat(SdrFormat format) {
    switch (format) {
        case SdrFormat::Cf32: return bt::analysis::SampleFormat::Cf32;
        case SdrFormat::Cs16: return bt::analysis::SampleFormat::Ci16;
        case SdrFormat::Cs8: return bt::analysis::SampleFormat::Ci8;
        case SdrFormat::Cu8: return bt::analysis::SampleFormat::Cu8;
    }
    return bt::analysis::SampleFormat::Auto;
}

namespace {

template <class T>
void putLittleEndian(std::vector<char>& out, T value) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    if constexpr (std::endian::native == std::endian::big) std::reverse(bytes, bytes + sizeof(T));
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

// Rounded half away from zero and clipped to [lo, hi].
double quantise(double x, double lo, double hi) { return std::clamp(std::round(x), lo, hi); }

void putSample(std::vector<char>& out, SdrFormat format, double x) {
    switch (format) {
        case SdrFormat::Cf32:
            putLittleEndian(out, static_cast<float>(x));
            break;
        case SdrFormat::Cs16:
            putLittleEndian(out, static_cast<std::int16_t>(quantise(x * 32767, -32767, 32767)));
            break;
        case SdrFormat::Cs8:
            putLittleEndian(out, static_cast<std::int8_t>(quantise(x * 127, -127, 127)));
            break;
        case SdrFormat::Cu8:
            putLittleEndian(out, static_cast<std::uint8_t>(quantise(127.5 + x * 127.5, 0, 255)));
            break;
    }
}

}  // namespace

void writeSdrSamples(const std::filesystem::path& file, SdrFormat format, const bt::ComplexRow& waveform) {
    bt::saveAtomically(file, [&](const std::filesystem::path& temporary) {
        std::ofstream out(temporary, std::ios::binary);
        std::vector<char> block;
        constexpr std::size_t kBlock = 1 << 16;  // samples per write: the waveform is never copied whole
        for (std::size_t first = 0; first < waveform.size(); first += kBlock) {
            block.clear();
            const std::size_t last = std::min(waveform.size(), first + kBlock);
            for (std::size_t k = first; k < last; ++k) {
                putSample(block, format, waveform[k].real());
                putSample(block, format, waveform[k].imag());
            }
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
        out.flush();
        if (!out) throw bt::Error("cannot write " + temporary.string() + ": " + std::strerror(errno));
    });
}

}  // namespace btgen
