#include "instrument/waveform_export.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace bt {

namespace {

constexpr double kHalfScale = 32768;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// 16-bit two's complement, most significant byte first.
inline void putWord(unsigned char*& out, double value) {
    if (std::isnan(value)) value = 0;  // never undefined behaviour on a bad sample
    const auto w = static_cast<std::uint16_t>(static_cast<std::int32_t>(std::round(value)));
    *out++ = static_cast<unsigned char>(w >> 8);
    *out++ = static_cast<unsigned char>(w & 0xFF);
}

}  // namespace

double exportGain(std::span<const Complex> v, double scale) {
    scale = std::isnan(scale) ? 1e-5 : std::max(std::min(scale, 1.0), 1e-5);
    double mx = 0;
    for (const Complex& z : v) mx = std::max({mx, std::fabs(z.real()), std::fabs(z.imag())});
    // Every non-zero waveform is scaled to full scale, also one whose
    // components all share one magnitude: written unscaled such a waveform
    // would wrap around at +-32767 or vanish into the lowest bits.
    return mx > 0 ? (kHalfScale - 2) * scale / mx : 1.0;
}

int SaveMarrowindWaveform(std::span<const Complex> v, const std::string& filename, double scale) {
    const double gain = exportGain(v, scale);

    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(filename.c_str(), "wb"));
    if (!f) return 0;
    constexpr std::size_t kChunk = 16384;  // samples per write
    std::vector<unsigned char> buf(kChunk * 4);
    for (std::size_t start = 0; start < v.size(); start += kChunk) {
        const std::size_t n = std::min(kChunk, v.size() - start);
        unsigned char* out = buf.data();
        for (std::size_t i = start; i < start + n; ++i) {
            putWord(out, v[i].real() * gain);
            putWord(out, v[i].imag() * gain);
        }
        if (std::fwrite(buf.data(), 1, n * 4, f.get()) != n * 4) return 0;
    }
    return std::fclose(f.release()) == 0 ? 1 : 0;
}

int SaveMarrowindWaveform(std::span<const Value> args) {
    if (args.empty() || args.size() > 3 || !args[0].isNumeric()) return 0;
    const Value& v = args[0];
    std::vector<Complex> samples(v.re.size());
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = {v.re[i], v.isComplex() ? v.im[i] : 0.0};
    std::string filename = "IXO-C";
    if (args.size() >= 2) {
        if (!args[1].isText()) return 0;
        filename = args[1].text;
    }
    double scale = 1;
    if (args.size() == 3) {
        if (!args[2].isScalar()) return 0;
        scale = args[2].re[0];
    }
    return SaveMarrowindWaveform(samples, filename, scale);
}

}  // namespace bt
