#include "bluetooth/edr.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "lib/errors.h"

// Compiled like the GFSK modulator (-ffp-contract=off): the same samples
// whatever the stretch a render call starts at.

namespace bt {

namespace {

// Weight transition inside the guard: from 1.5 symbols after the header's
// last symbol (its frequency pulse has died out) to 1 symbol before the
// reference symbol.
constexpr std::size_t kRiseStart = 127;
constexpr std::size_t kRiseSymbols = 3;

constexpr std::uint8_t kSync2[] = {0, 1, 1, 1, 0, 1, 1, 1, 0, 1, 1, 1, 1, 1, 0, 1, 0, 1, 0, 1};
constexpr std::uint8_t kSync3[] = {0, 1, 0, 1, 1, 1, 0, 1, 0, 1, 1, 1, 0, 1, 0,
                                   1, 1, 1, 1, 1, 1, 0, 1, 0, 0, 1, 0, 0, 1, 0};

void checkRate(int bitsPerSymbol) {
    if (bitsPerSymbol != 2 && bitsPerSymbol != 3) throw Error("An EDR payload has 2 or 3 bits per symbol.");
}

// The square-root raised cosine at t symbols, unit height at 0 before
// scaling.
double srrc(double t) {
    constexpr double b = kEdrRollOff;
    constexpr double pi = std::numbers::pi;
    if (t == 0) return 1 - b + 4 * b / pi;
    if (std::fabs(std::fabs(4 * b * t) - 1) < 1e-12)
        return b / std::numbers::sqrt2 * ((1 + 2 / pi) * std::sin(pi / (4 * b)) + (1 - 2 / pi) * std::cos(pi / (4 * b)));
    return (std::sin(pi * t * (1 - b)) + 4 * b * t * std::cos(pi * t * (1 + b))) /
           (pi * t * (1 - (4 * b * t) * (4 * b * t)));
}

// e^(j*k*pi/4), exact on the axes.
Complex unitStep(int k) {
    static const std::array<Complex, 8> table = [] {
        std::array<Complex, 8> t;
        const double h = std::numbers::sqrt2 / 2;
        t = {Complex{1, 0}, Complex{h, h}, Complex{0, 1}, Complex{-h, h},
             Complex{-1, 0}, Complex{-h, -h}, Complex{0, -1}, Complex{h, -h}};
        return t;
    }();
    return table[static_cast<std::size_t>(((k % 8) + 8) % 8)];
}

// One symbol's pulse added into the block's sums. This is most of an EDR
// waveform's cost, so it is built for wider vectors as well where the CPU has
// them: each term is still one multiply and one add, in the same order, so
// the samples are the same bit for bit on every machine.
__attribute__((target_clones("avx2", "default"))) void addPulse(double* __restrict re, double* __restrict im,
                                                                 const double* __restrict p, double sr, double si,
                                                                 std::size_t m) {
    for (std::size_t k = 0; k < m; ++k) {
        re[k] += sr * p[k];
        im[k] += si * p[k];
    }
}

// out *= amplitude * (re + j im), written out so that it vectorises (the
// library's complex product checks every result for NaN).
void multiplyBy(Complex* out, const double* re, const double* im, double amplitude, std::size_t m) {
    auto* o = reinterpret_cast<double*>(out);
    for (std::size_t k = 0; k < m; ++k) {
        const double a = o[2 * k], b = o[2 * k + 1];
        const double c = amplitude * re[k], d = amplitude * im[k];
        o[2 * k] = a * c - b * d;
        o[2 * k + 1] = a * d + b * c;
    }
}

}  // namespace

std::span<const std::uint8_t> edrSyncBits(int bitsPerSymbol) {
    checkRate(bitsPerSymbol);
    if (bitsPerSymbol == 2) return kSync2;
    return kSync3;
}

std::size_t edrPacketSymbols(std::size_t airBits, int bitsPerSymbol) {
    checkRate(bitsPerSymbol);
    const auto bps = static_cast<std::size_t>(bitsPerSymbol);
    if (airBits < kEdrGfskBits || (airBits - kEdrGfskBits) % bps != 0)
        throw Error("An EDR packet has 126 GFSK bits and then whole DPSK symbols.");
    return kEdrReferenceSymbol + (airBits - kEdrGfskBits) / bps + 1 + kEdrCloseSymbols;
}

std::size_t edrSymbolOfBit(std::size_t bit, int bitsPerSymbol) {
    checkRate(bitsPerSymbol);
    if (bit < kEdrGfskBits) return bit;
    return kEdrReferenceSymbol + 1 + (bit - kEdrGfskBits) / static_cast<std::size_t>(bitsPerSymbol);
}

int edrPhaseStep(const std::uint8_t* bits, int bitsPerSymbol) {
    if (bitsPerSymbol == 2) {
        // 00 +pi/4, 01 +3pi/4, 11 -3pi/4, 10 -pi/4
        static constexpr int kSteps[4] = {1, 3, -1, -3};
        return kSteps[(bits[0] & 1) << 1 | (bits[1] & 1)];
    }
    // 000 0, 001 pi/4, 011 pi/2, 010 3pi/4, 110 pi, 111 -3pi/4, 101 -pi/2, 100 -pi/4
    static constexpr int kSteps[8] = {0, 1, 3, 2, -1, -2, 4, -3};
    return kSteps[(bits[0] & 1) << 2 | (bits[1] & 1) << 1 | (bits[2] & 1)];
}

void appendEdrGfskRow(std::span<const std::uint8_t> airBits, int bitsPerSymbol, Bits& row) {
    const std::size_t symbols = edrPacketSymbols(airBits.size(), bitsPerSymbol);
    row.insert(row.end(), airBits.begin(), airBits.begin() + kEdrGfskBits);
    row.insert(row.end(), symbols - kEdrGfskBits, kGfskZeroSymbol);
}

MarkerExtent edrSymbolExtent(const MarkerExtent& bits, std::size_t airBits, int bitsPerSymbol) {
    const std::size_t total = edrPacketSymbols(airBits, bitsPerSymbol);
    const std::size_t first = edrSymbolOfBit(bits.headerPad, bitsPerSymbol);
    const std::size_t last = bits.userPayloadLength == 0
                                 ? first
                                 : edrSymbolOfBit(bits.headerPad + bits.userPayloadLength - 1, bitsPerSymbol) + 1;
    return {first, last - first, total - last};
}

double edrAmplitude(double relativePower) {
    if (!std::isfinite(relativePower)) throw Error("The EDR relative power must be a finite number.");
    return std::pow(10.0, relativePower / 20);
}

void appendEdrSymbolMarker(std::span<const std::uint8_t> bitMarker, int bitsPerSymbol, Bits& row) {
    const std::size_t symbols = edrPacketSymbols(bitMarker.size(), bitsPerSymbol);
    const std::size_t at = row.size();
    row.resize(at + symbols, 0);
    std::copy_n(bitMarker.begin(), kEdrGfskBits, row.begin() + std::ptrdiff_t(at));
    for (std::size_t k = kEdrGfskBits; k < bitMarker.size(); ++k)
        row[at + edrSymbolOfBit(k, bitsPerSymbol)] |= bitMarker[k];
}

// ------------------------------------------------------------- overlay

DpskOverlay::DpskOverlay(std::size_t n, double amplitude) : n_(n), amplitude_(amplitude) {
    if (n == 0) throw Error("The oversampling rate must be at least 1.");
    if (!std::isfinite(amplitude) || amplitude < 0) throw Error("The DPSK amplitude must be a finite number.");
    const std::size_t half = kEdrPulseHalfSpan * n;
    pulse_.resize(2 * half + 1);
    double energy = 0;
    for (std::size_t k = 0; k < pulse_.size(); ++k) {
        pulse_[k] = srrc((double(k) - double(half)) / double(n));
        energy += pulse_[k] * pulse_[k];
    }
    // One symbol's energy per symbol: unit mean power for independent symbols.
    const double scale = std::sqrt(double(n) / energy);
    for (double& p : pulse_) p *= scale;
    const std::size_t rise = kRiseSymbols * n;
    rise_.resize(rise + 1);
    for (std::size_t k = 0; k <= rise; ++k)
        rise_[k] = 0.5 * (1 - std::cos(std::numbers::pi * double(k) / double(rise)));
}

void DpskOverlay::addPacket(std::size_t packetSymbol, std::span<const std::uint8_t> airBits, int bitsPerSymbol) {
    const std::size_t total = edrPacketSymbols(airBits.size(), bitsPerSymbol);
    const auto bps = static_cast<std::size_t>(bitsPerSymbol);
    Section s;
    s.symbols = phases_.size();
    s.count = 1 + (airBits.size() - kEdrGfskBits) / bps;
    int phase = 0;  // in steps of pi/4 from the carrier's
    phases_.push_back(0);
    for (std::size_t k = kEdrGfskBits; k < airBits.size(); k += bps) {
        phase = (phase + edrPhaseStep(airBits.data() + k, bitsPerSymbol)) & 7;
        phases_.push_back(static_cast<std::uint8_t>(phase));
    }
    s.begin = (packetSymbol + kRiseStart) * n_;
    s.reference = (packetSymbol + kEdrReferenceSymbol) * n_;
    s.fallStart = (packetSymbol + kEdrReferenceSymbol + s.count) * n_;
    s.end = s.fallStart + kRiseSymbols * n_;
    if (s.end > (packetSymbol + total) * n_) throw Error("The EDR packet's closing is too short.");
    if (!sections_.empty() && s.begin < sections_.back().end) throw Error("EDR packets overlap in the row.");
    sections_.push_back(s);
}

void DpskOverlay::apply(std::size_t first, Complex* out, std::size_t count) const {
    const std::size_t last = first + count;
    auto it = std::upper_bound(sections_.begin(), sections_.end(), first,
                               [](std::size_t v, const Section& s) { return v < s.end; });
    constexpr std::size_t kBlock = 1024;
    alignas(64) double re[kBlock];
    alignas(64) double im[kBlock];
    const std::size_t half = kEdrPulseHalfSpan * n_;
    const std::size_t rise = kRiseSymbols * n_;
    for (; it != sections_.end() && it->begin < last; ++it) {
        const Section& s = *it;
        for (std::size_t a = std::max(first, s.begin), stop = std::min(last, s.end); a < stop;) {
            const std::size_t b = std::min(stop, a + kBlock);
            const std::size_t len = b - a;
            std::fill_n(re, len, 0.0);
            std::fill_n(im, len, 0.0);
            // Every symbol whose pulse reaches [a, b), added in symbol order
            // so that a sample's sum does not depend on the block.
            const std::size_t lo = a > s.reference + half ? (a - s.reference - half) / n_ : 0;
            for (std::size_t j = lo; j < s.count; ++j) {
                const std::size_t centre = s.reference + j * n_;
                if (centre >= b + half) break;
                const std::size_t from = std::max(a, centre - half);
                const std::size_t to = std::min(b, centre + half + 1);
                if (from >= to) continue;
                const Complex sym = unitStep(phases_[s.symbols + j]);
                addPulse(re + (from - a), im + (from - a), pulse_.data() + (from + half - centre), sym.real(),
                         sym.imag(), to - from);
            }
            // The guard's transitions blend the carrier into the DPSK
            // section and back; between them the sums apply as they are.
            const std::size_t flatFrom = std::clamp(s.begin + rise, a, b);
            const std::size_t flatTo = std::clamp(s.fallStart, flatFrom, b);
            const auto blend = [&](std::size_t from, std::size_t to) {
                for (std::size_t sample = from; sample < to; ++sample) {
                    const std::size_t k = sample - a;
                    const double w = sample < s.begin + rise ? rise_[sample - s.begin]
                                                             : rise_[rise - (sample - s.fallStart)];
                    out[sample - first] *= Complex{1 - w, 0} + w * Complex{amplitude_ * re[k], amplitude_ * im[k]};
                }
            };
            blend(a, flatFrom);
            multiplyBy(out + (flatFrom - first), re + (flatFrom - a), im + (flatFrom - a), amplitude_,
                       flatTo - flatFrom);
            blend(flatTo, b);
            a = b;
        }
    }
}

}  // namespace bt
