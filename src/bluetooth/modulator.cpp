#include "bluetooth/modulator.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "bluetooth/edr.h"
#include "bluetooth/gfsk_primitives.h"
#include "bluetooth/noise.h"
#include "lib/detmath.h"
#include "lib/errors.h"
#include "lib/memory.h"

// Compiled with -O3 -ffp-contract=off (see CMakeLists.txt) so that the
// per-sample loops vectorise and the maths of lib/detmath.h stays exact.

namespace bt {

namespace {

// Of the 24 symbols whose pulses reach a sample, only the 8 nearest (3
// before its symbol, 4 after) are partly through their pulse. The
// Gaussian's tail leaves every other one at all or nothing of its phase to
// within 6.2e-42 of a symbol's share (for every oversampling rate), far
// below what a double holds next to 1: they count whole or not at all.
constexpr std::size_t kWindow = 8;
constexpr std::size_t kPatterns = std::size_t{1} << kWindow;
constexpr std::uint32_t kAllSet = kPatterns - 1;
constexpr std::int64_t kAhead = 4;  // the window: symbols q - 3 .. q + 4
// The whole-symbol count times h*pi is reduced exactly while it stays
// below 2^26 symbols (64 M symbols: far more than any instrument holds).
constexpr std::size_t kMaxSymbols = (std::size_t{1} << 26) - 1;
// Samples rendered per pass: the phases of a pass stay in the L1 cache.
constexpr std::size_t kChunk = 1024;

// ---- Per-sample kernels. Loop counters are int so that the index converts
// to double in vector registers (there is no unsigned 64-bit conversion).

BT_VECTOR_CLONES
void addRow(double* phase, const double* add, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) phase[k] += add[k];
}

BT_VECTOR_CLONES
void addOffset(double* phase, std::size_t count, double first, double step) {
    for (int k = 0; k < int(count); ++k)
        phase[k] += detmath::reduceTwoPi((first + double(k)) * step);
}

BT_VECTOR_CLONES
void addCorrection(double* phase, std::size_t count, double first, double amount, double last) {
    for (int k = 0; k < int(count); ++k) phase[k] += amount * (first + double(k)) / last;
}

BT_VECTOR_CLONES
void sincosRow(const double* phase, double* iq, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        double s, c;
        detmath::sincos(phase[k], s, c);
        iq[2 * k] = c;
        iq[2 * k + 1] = s;
    }
}

std::size_t wholeCount(double value, const char* what) {
    if (!(value >= 0) || value != std::floor(value) || value > double(kMaxSymbols))
        throw Error(std::string(what) + " must be a non-negative whole number of symbols.");
    return static_cast<std::size_t>(value);
}

}  // namespace

struct GfskModulator::Cursor {
    std::size_t q = 0;       // symbol of the next sample
    std::int64_t whole = 0;  // sum of the symbols whose pulse has fully passed
    std::uint32_t pos = 0;   // bit b: symbol q + 4 - b is +1
    std::uint32_t neg = 0;   // bit b: symbol q + 4 - b is -1
};

// The symbol layout of a burst: ramp-up, settling, data, ramp-down,
// extended cyclically to at least kFilterTaps symbols.
struct GfskModulator::Frame {
    std::size_t n = 1;
    std::size_t ramp = 0;
    std::size_t lead = 0;
    std::size_t framed = 0;
    std::size_t symbols = 0;
};

GfskModulator::Frame GfskModulator::frame(std::size_t bitCount, const ModulatorSettings& s) {
    Frame f;
    f.n = checkedFactor(s.oversamplingRate, "The oversampling rate");
    std::size_t settle = 0;
    if (s.burstActive) {
        f.ramp = wholeCount(s.burstLength, "The burst ramp length");
        settle = wholeCount(s.burstSettle, "The burst settling time");
    }
    f.lead = f.ramp + settle;
    f.framed = f.lead + bitCount + f.ramp;
    if (f.framed == 0) return f;  // nothing to modulate: empty results
    f.symbols = std::max(f.framed, kFilterTaps);
    if (f.symbols > kMaxSymbols) throw Error("The bit stream is too long to modulate.");
    return f;
}

std::size_t GfskModulator::sizeFor(std::size_t bitCount, const ModulatorSettings& s) {
    const Frame f = frame(bitCount, s);
    return f.symbols * f.n;
}

GfskModulator::GfskModulator(std::span<const std::uint8_t> bits, const ModulatorSettings& s,
                             const DpskOverlay* overlay, std::size_t overlayOrigin)
    : bits_(bits), overlay_(overlay), overlayOrigin_(overlayOrigin) {
    const Frame f = frame(bits.size(), s);
    n_ = f.n;
    if (!std::isfinite(s.modIndex)) throw Error("The modulation index must be a finite number.");
    if (std::any_of(bits.begin(), bits.end(), [overlay](std::uint8_t b) { return b > (overlay ? 2 : 1); }))
        throw Error("The bit stream must hold only 0 and 1.");
    const std::size_t ramp = f.ramp;
    leadSymbols_ = f.lead;
    framed_ = f.framed;
    if (framed_ == 0) return;  // nothing to modulate: empty results
    symbols_ = f.symbols;
    samples_ = symbols_ * n_;

    // Phase of one whole symbol, split so that step * count is exact in two
    // parts: 26 and 27 significant bits against a count below 2^26.
    step_ = s.modIndex * std::numbers::pi;
    stepHi_ = detmath::fromBits(detmath::toBits(step_) & ~((std::uint64_t{1} << 27) - 1));
    stepLo_ = step_ - stepHi_;

    // Cumulative pulse: the share of a symbol's phase reached j samples into
    // its filter span, normalised so that the whole span gives exactly 1.
    const std::size_t span = kFilterTaps * n_;
    const RealRow taps = Filter_Gaussian(double(span), kGaussianBT, double(n_));
    double tapSum = 0;
    for (double t : taps) tapSum += t;
    const double gain = 1 / tapSum;
    std::vector<long double> cumulative(span);
    long double acc = 0;
    for (std::size_t j = 0; j < span; ++j) {
        acc += static_cast<long double>(taps[j]) * gain;
        cumulative[j] = acc;
    }
    cumulative.back() = 1;

    // The window's partial phase at sample r of symbol q, by pattern: bit b
    // stands for symbol q + 4 - b, which is then (8 + b) * n + r samples
    // into its filter span. ternary_ is indexed by the pattern of +1 and
    // of -1 symbols (the difference of two entries); binary_ serves windows
    // without zero symbols, where the -1 pattern is the complement.
    std::vector<long double> share(kPatterns * n_, 0.0L);
    for (std::size_t pattern = 0; pattern < kPatterns; ++pattern)
        for (std::size_t b = 0; b < kWindow; ++b)
            if (pattern >> b & 1)
                for (std::size_t r = 0; r < n_; ++r)
                    share[pattern * n_ + r] += cumulative[(kWindow + b) * n_ + r];
    ternary_.resize(kPatterns * n_);
    binary_.resize(kPatterns * n_);
    for (std::size_t j = 0; j < share.size(); ++j) {
        ternary_[j] = static_cast<double>(step_ * share[j]);
        binary_[j] = static_cast<double>(step_ * (2 * share[j] - share[kAllSet * n_ + j % n_]));
    }
    // The running phase starts at the first sample: the parts of the pulses
    // of symbols -11 .. 11 that lie before it are not in it.
    long double start = 0;
    for (std::int64_t p = -11; p <= 11; ++p)
        start -= symbol(p) * cumulative[std::size_t(12 - p) * n_ - 1];
    startPhase_ = static_cast<double>(step_ * start);

    rampLength_ = ramp * n_;
    ramp_ = burstRamp(rampLength_);
    clockPeriod_ = clockMarkerPeriod(n_);

    packetOffset_ = leadSymbols_ * n_;
    drift_ = driftPeriodPhase(double(samples_ - packetOffset_), double(n_), s.freq);
    offsetStep_ = offsetPhaseStep(double(n_), s.freq);
    offsetOn_ = s.freq.freqOffsetActive;

    if (s.phaseCorrection) {
        const std::size_t last = samples_ - 1;
        double phaseEnd = gfskPhaseEnd();
        if (!drift_.empty() && last >= packetOffset_)
            phaseEnd += drift_[(last - packetOffset_) % drift_.size()];
        if (offsetOn_) phaseEnd += std::fmod(double(last) * offsetStep_, kTwoPi);
        correction_ = phaseCorrectionAmount(phaseEnd);
        correctionOn_ = true;
    }

    IqImpairmentSettings iq = s.iq;
    iq.seed = s.AWGNseed;
    frontEnd_ = IqFrontEnd(iq, double(n_) * kSymbolRate);

    noiseOn_ = s.AWGNactive;
    if (noiseOn_) {
        if (std::isnan(s.AWGNratio)) throw Error("The signal-to-noise ratio must be a number.");
        // Mean power of the samples: |amp * e^(j*phase)|^2 is amp^2.
        double energy = double(samples_ - 2 * rampLength_);
        for (double a : ramp_) energy += 2 * a * a;
        noisePower_ = awgnNoisePower(energy / double(samples_),
                                     s.AWGNratio - 10 * std::log10(double(n_)));
    }
}

int GfskModulator::symbol(std::int64_t p) const {
    const auto count = static_cast<std::int64_t>(symbols_);
    if (p < 0 || p >= count) {
        p %= count;
        if (p < 0) p += count;
    }
    auto k = static_cast<std::size_t>(p);
    if (symbols_ != framed_) k %= framed_;  // short rows repeat cyclically
    if (k < leadSymbols_ || k >= leadSymbols_ + bits_.size()) return 0;
    const std::uint8_t b = bits_[k - leadSymbols_];
    return b == kGfskZeroSymbol ? 0 : (b ? 1 : -1);
}

std::int64_t GfskModulator::bitSum(std::size_t from, std::size_t to) const {
    const auto a = bits_.begin() + std::ptrdiff_t(from);
    const auto b = bits_.begin() + std::ptrdiff_t(to);
    if (!overlay_) return 2 * std::count(a, b, 1) - std::int64_t(to - from);
    return std::count(a, b, 1) - std::count(a, b, 0);
}

std::int64_t GfskModulator::symbolSum(std::int64_t from, std::int64_t to) const {
    std::int64_t sum = 0;
    if (symbols_ != framed_ || to - from < 64) {  // short: one by one
        for (std::int64_t p = from; p <= to; ++p) sum += symbol(p);
        return sum;
    }
    // Whole passes over the row, then the data bits of what is left of the
    // range (the ramps and settling symbols are 0): 2 * ones - count.
    const auto count = static_cast<std::int64_t>(symbols_);
    const std::int64_t rowSum = bitSum(0, bits_.size());
    std::int64_t p = from;
    while (p <= to) {
        std::int64_t k = p % count;
        if (k < 0) k += count;
        const std::int64_t run = std::min(to - p + 1, count - k);
        if (run == count) {
            sum += rowSum;
        } else {
            const auto lead = static_cast<std::int64_t>(leadSymbols_);
            const std::int64_t a = std::clamp(k - lead, std::int64_t{0}, std::int64_t(bits_.size()));
            const std::int64_t b = std::clamp(k + run - lead, std::int64_t{0}, std::int64_t(bits_.size()));
            sum += bitSum(std::size_t(a), std::size_t(b));
        }
        p += run;
    }
    return sum;
}

GfskModulator::Cursor GfskModulator::cursorAt(std::size_t q) const {
    Cursor c;
    c.q = q;
    const auto qi = static_cast<std::int64_t>(q);
    c.whole = symbolSum(-11, qi - kAhead);
    for (std::size_t b = 0; b < kWindow; ++b) {
        const int v = symbol(qi + kAhead - static_cast<std::int64_t>(b));
        c.pos |= std::uint32_t{v > 0} << b;
        c.neg |= std::uint32_t{v < 0} << b;
    }
    return c;
}

void GfskModulator::advance(Cursor& c) const {
    const auto q = static_cast<std::int64_t>(c.q);
    c.whole += symbol(q + 1 - kAhead);
    const int in = symbol(q + 1 + kAhead);
    c.pos = ((c.pos << 1) | std::uint32_t{in > 0}) & kAllSet;
    c.neg = ((c.neg << 1) | std::uint32_t{in < 0}) & kAllSet;
    ++c.q;
}

double GfskModulator::phaseBase(std::int64_t wholeSymbols) const {
    const double count = static_cast<double>(wholeSymbols);
    return detmath::reduceTwoPi(stepHi_ * count) + stepLo_ * count + startPhase_;
}

const double* GfskModulator::windowRow(const Cursor& c, const double*& minus) const {
    if ((c.pos | c.neg) == kAllSet) {
        minus = nullptr;
        return &binary_[c.pos * n_];
    }
    minus = &ternary_[c.neg * n_];
    return &ternary_[c.pos * n_];
}

// The modulated phase of the last sample as the running sum leaves it:
// reduced by 2*pi with the sign of the sum kept, since the end-phase
// correction depends on which side of zero it lies.
double GfskModulator::gfskPhaseEnd() const {
    const Cursor c = cursorAt(symbols_ - 1);
    const double* minus;
    const double* plus = windowRow(c, minus);
    const std::size_t r = n_ - 1;
    const double window = plus[r] - (minus ? minus[r] : 0.0);
    double phase = detmath::reduceTwoPi(phaseBase(c.whole) + window);
    const double sum = double(c.whole) * step_ + startPhase_ + window;  // only its sign counts
    if (sum > 0 && phase < 0) phase += kTwoPi;
    if (sum < 0 && phase > 0) phase -= kTwoPi;
    return phase;
}

void GfskModulator::render(std::size_t first, std::span<Complex> waveform,
                           std::span<std::uint8_t> clk, const GaussianRandom& noise,
                           std::uint64_t noiseStart, std::uint64_t placedAt) const {
    if (first > samples_ || waveform.size() > samples_ - first)
        throw Error("The requested samples lie outside the modulated row.");
    if (!clk.empty() && clk.size() != waveform.size())
        throw Error("The clock marker must have as many samples as the waveform.");
    if (waveform.empty()) return;

    alignas(64) double phase[kChunk];
    IqFrontEnd::Run frontEnd(frontEnd_, placedAt + first);
    const std::size_t end = first + waveform.size();
    Cursor cursor = cursorAt(first / n_);
    std::size_t r = first % n_;
    for (std::size_t i = first; i < end;) {
        const std::size_t count = std::min(kChunk, end - i);
        for (std::size_t k = 0; k < count;) {
            const double base = phaseBase(cursor.whole);
            const double* minus;
            const double* plus = windowRow(cursor, minus);
            const std::size_t stop = std::min(n_, r + (count - k));
            if (minus)
                for (std::size_t j = r; j < stop; ++j) phase[k++] = base + (plus[j] - minus[j]);
            else
                for (std::size_t j = r; j < stop; ++j) phase[k++] = base + plus[j];
            if (stop == n_) {
                advance(cursor);
                r = 0;
            } else {
                r = stop;
            }
        }
        const std::size_t offset = i - first;
        finishChunk(i, phase, count, waveform.data() + offset,
                    clk.empty() ? nullptr : clk.data() + offset, noise, noiseStart, frontEnd);
        i += count;
    }
}

void GfskModulator::finishChunk(std::size_t first, double* phase, std::size_t count, Complex* out,
                                std::uint8_t* clk, const GaussianRandom& noise,
                                std::uint64_t noiseStart, IqFrontEnd::Run& frontEnd) const {
    if (!drift_.empty() && first + count > packetOffset_) {
        std::size_t k = first < packetOffset_ ? packetOffset_ - first : 0;
        std::size_t m = (first + k - packetOffset_) % drift_.size();
        while (k < count) {  // whole runs of the period, wrapping at its end
            const std::size_t run = std::min(count - k, drift_.size() - m);
            addRow(phase + k, drift_.data() + m, run);
            k += run;
            m = 0;
        }
    }
    if (offsetOn_) addOffset(phase, count, double(first), offsetStep_);
    if (correctionOn_) addCorrection(phase, count, double(first), correction_, double(samples_ - 1));
    // std::complex<double> is laid out as two doubles, real part first.
    sincosRow(phase, reinterpret_cast<double*>(out), count);
    if (overlay_ && first + count > packetOffset_) {
        const std::size_t skip = first < packetOffset_ ? packetOffset_ - first : 0;
        overlay_->apply(overlayOrigin_ + first + skip - packetOffset_, out + skip, count - skip);
    }
    if (frontEnd_.active()) frontEnd.apply({out, count});
    if (rampLength_ > 0) {
        for (std::size_t k = 0; k < count && first + k < rampLength_; ++k) out[k] *= ramp_[first + k];
        const std::size_t fall = samples_ - rampLength_;
        for (std::size_t k = first < fall ? fall - first : 0; k < count; ++k)
            out[k] *= ramp_[samples_ - 1 - (first + k)];
    }
    if (noiseOn_) addComplexNoiseAt({out, count}, noisePower_, noise, noiseStart + 2 * first);

    if (clk) {  // the period repeated from the symbol start, zero over the ramps
        for (std::size_t k = 0, r = first % n_; k < count; r = 0) {
            const std::size_t run = std::min(count - k, n_ - r);
            std::copy_n(clockPeriod_.begin() + std::ptrdiff_t(r), run, clk + k);
            k += run;
        }
        const std::size_t highEnd = samples_ - rampLength_;
        for (std::size_t k = 0; k < count && first + k < rampLength_; ++k) clk[k] = 0;
        for (std::size_t k = first < highEnd ? highEnd - first : 0; k < count; ++k) clk[k] = 0;
    }
}

ModulatedSignal Bt_Modulate(const Bits& bitstream, const ModulatorSettings& s,
                            GaussianRandom& noise) {
    const GfskModulator modulator(bitstream, s);
    ModulatedSignal out;
    resizeLarge(out.waveform, modulator.size());
    resizeLarge(out.clk, modulator.size());
    const std::uint64_t start = noise.reserve(modulator.noiseDeviates());
    modulator.render(0, out.waveform, out.clk, noise, start);
    return out;
}

ModulatorSettings modulatorSettings(double modIndex, double burstActive, double burstLength, double burstSettle,
                                    double oversamplingRate, double AWGNactive, double AWGNratio, double AWGNseed,
                                    double freqDriftActive, double freqDriftDeviation, double freqDriftType,
                                    double initialDriftPhase, double freqDriftRate, double freqOffsetActive,
                                    double freqOffsetFreq, double phaseCorrection) {
    ModulatorSettings s;
    s.modIndex = modIndex;
    s.burstActive = burstActive != 0;
    s.burstLength = burstLength;
    s.burstSettle = burstSettle;
    s.oversamplingRate = oversamplingRate;
    s.AWGNactive = AWGNactive != 0;
    s.AWGNratio = AWGNratio;
    s.AWGNseed = AWGNseed;
    s.freq.freqDriftActive = freqDriftActive != 0;
    s.freq.freqDriftDeviation = freqDriftDeviation;
    s.freq.freqDriftType = freqDriftType;
    s.freq.initialDriftPhase = initialDriftPhase;
    s.freq.freqDriftRate = freqDriftRate;
    s.freq.freqOffsetActive = freqOffsetActive != 0;
    s.freq.freqOffsetFreq = freqOffsetFreq;
    s.phaseCorrection = phaseCorrection != 0;
    return s;
}

ModulatedSignal Bt_Modulate(const Bits& bitstream, double modIndex, double burstActive, double burstLength,
                            double burstSettle, double oversamplingRate, double AWGNactive, double AWGNratio,
                            double AWGNseed, double freqDriftActive, double freqDriftDeviation,
                            double freqDriftType, double initialDriftPhase, double freqDriftRate,
                            double freqOffsetActive, double freqOffsetFreq, double phaseCorrection) {
    const ModulatorSettings s =
        modulatorSettings(modIndex, burstActive, burstLength, burstSettle, oversamplingRate, AWGNactive, AWGNratio,
                          AWGNseed, freqDriftActive, freqDriftDeviation, freqDriftType, initialDriftPhase,
                          freqDriftRate, freqOffsetActive, freqOffsetFreq, phaseCorrection);
    return Bt_Modulate(bitstream, s, gaussianGenerator());
}

}  // namespace bt
