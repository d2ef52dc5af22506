#include "analysis/edr_demod.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>

#include "lib/errors.h"

namespace bt::analysis {

namespace {

constexpr double kRollOff = 0.4;
constexpr double kQuarterPi = std::numbers::pi / 4;
// Symbols whose timing places the instants.
constexpr std::size_t kTimingSymbols = 64;
constexpr std::size_t kTrackStep = 512;
constexpr std::size_t kBlockSymbols = 50;  // 50 us, as DEVM is taken

constexpr std::array<int, kEdrSyncSymbols> kSyncSteps = {3, -3, 3, -3, 3, -3, -3, 3, 3, 3};

double srrc(double t) {
    constexpr double b = kRollOff, pi = std::numbers::pi;
    if (t == 0) return 1 - b + 4 * b / pi;
    if (std::fabs(std::fabs(4 * b * t) - 1) < 1e-9)
        return b / std::numbers::sqrt2 * ((1 + 2 / pi) * std::sin(pi / (4 * b)) + (1 - 2 / pi) * std::cos(pi / (4 * b)));
    return (std::sin(pi * t * (1 - b)) + 4 * b * t * std::cos(pi * t * (1 + b))) / (pi * t * (1 - (4 * b * t) * (4 * b * t)));
}

// The matched filter's taps (the pulse over +-8 symbols, its last symbol at
// either end faded out) for one symbol period, at `phases` + 1
// fractional sample offsets (about 1000 per symbol): an instant between
// two of them is read by both and interpolated, which also gives the
// output's slope. Each tap is stored twice (for I and Q), so that one
// output is a plain product of two float rows that vectorises.
class TapBank {
public:
    explicit TapBank(double period) : period_(period) {
        phases_ = std::max(8, static_cast<int>(std::ceil(1024 / period)));
        reach_ = static_cast<int>(std::floor(kEdrPulseSpan * period)) + 1;
        // Samples base - reach + 1 .. base + reach, padded to whole groups of 8 floats.
        width_ = (4 * reach_ + 7) / 8 * 8;
        taps_.assign(std::size_t(phases_ + 1) * width_, 0.0f);
        for (int p = 0; p <= phases_; ++p)
            for (int k = 0; k < 2 * reach_; ++k) {
                const double u = (double(k - reach_ + 1) - double(p) / phases_) / period;
                if (std::fabs(u) > kEdrPulseSpan) continue;
                // The last symbol of the span faded out (raised cosine):
                // a hard cut leaves twice the error floor on a clean signal.
                const double fade = std::min(1.0, kEdrPulseSpan - std::fabs(u));
                const auto g = static_cast<float>(srrc(u) / period * (0.5 - 0.5 * std::cos(std::numbers::pi * fade)));
                taps_[std::size_t(p) * width_ + 2 * std::size_t(k)] = g;
                taps_[std::size_t(p) * width_ + 2 * std::size_t(k) + 1] = g;
            }
    }
    double period() const { return period_; }
    int phases() const { return phases_; }
    int reach() const { return reach_; }
    std::size_t width() const { return width_; }  // floats per row
    const float* row(int phase) const { return taps_.data() + std::size_t(phase) * width_; }

private:
    double period_;
    int phases_ = 0, reach_ = 0;
    std::size_t width_ = 0;
    std::vector<float> taps_;
};

// One bank per thread for the period last asked for: a receiver reads every
// packet at its nominal symbol period.
const TapBank& tapBank(double period) {
    thread_local std::unique_ptr<TapBank> bank;
    if (!bank || bank->period() != period) bank = std::make_unique<TapBank>(period);
    return *bank;
}

// Four floats added and multiplied lane by lane (SSE at the least): the
// matched filter's products, which the compiler would not vectorise without
// reordering sums.
typedef float Floats4 __attribute__((vector_size(16)));

Floats4 load4(const float* p) {
    Floats4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The derotated samples around the section, read once. Beyond the ends of
// the row they are zeros: a packet that ends just before the recording
// does (no silence behind it) has its last pulses' tails cut, not its
// last symbols.
class Section {
public:
    Section(const CFloat* x, std::size_t n, double from, double to, double cyclesPerSample, const TapBank& bank)
        : bank_(bank), n_(n) {
        const double reach = bank.reach();
        lo_ = std::max(std::floor(from), -reach);
        const double hi = std::min(std::ceil(to) + 1, double(n) + reach);
        if (!(hi > lo_)) return;
        size_ = static_cast<std::size_t>(hi - lo_);
        y_.assign(2 * size_ + bank.width(), 0.0f);  // room for the padding taps
        const double w = -2 * std::numbers::pi * cyclesPerSample;
        constexpr std::size_t kAnchor = 1024;  // exact phasor every so often, stepped between
        const Complex step = std::polar(1.0, w);
        Complex rot;
        const auto first = static_cast<std::size_t>(std::max(0.0, -lo_));
        const std::size_t last = std::min(size_, static_cast<std::size_t>(std::max(0.0, double(n) - lo_)));
        for (std::size_t k = first; k < last; ++k) {
            const auto i = static_cast<std::size_t>(lo_ + double(k));
            if (k == first || (k - first) % kAnchor == 0)
                rot = std::polar(1.0, std::fmod(w * double(i), 2 * std::numbers::pi));
            const Complex y = Complex(x[i].real(), x[i].imag()) * rot;
            y_[2 * k] = static_cast<float>(y.real());
            y_[2 * k + 1] = static_cast<float>(y.imag());
            rot *= step;
        }
    }

    // The matched filter's output at sample time t and its slope per
    // sample; false where t lies beyond the samples, or the pulse beyond
    // the section.
    bool at(double t, Complex& out, Complex& slope) const {
        const double base = std::floor(t);
        const auto reach = double(bank_.reach());
        if (t < 0 || t > double(n_) - 1) return false;
        if (base - reach + 1 < lo_ || base + reach >= lo_ + double(size_)) return false;
        const double position = (t - base) * bank_.phases();
        const int phase = std::min(static_cast<int>(position), bank_.phases() - 1);
        const double f = position - phase;
        const float* a = bank_.row(phase);
        const float* b = bank_.row(phase + 1);
        const float* y = y_.data() + 2 * static_cast<std::size_t>(base - reach + 1 - lo_);
        // Four-float vectors of I, Q, I, Q: two partial sums per row.
        Floats4 sa0{}, sa1{}, sb0{}, sb1{};
        for (std::size_t k = 0; k < bank_.width(); k += 8) {
            const Floats4 y0 = load4(y + k), y1 = load4(y + k + 4);
            sa0 += load4(a + k) * y0;
            sa1 += load4(a + k + 4) * y1;
            sb0 += load4(b + k) * y0;
            sb1 += load4(b + k + 4) * y1;
        }
        const Floats4 sa = sa0 + sa1, sb = sb0 + sb1;
        const Complex za{double(sa[0]) + sa[2], double(sa[1]) + sa[3]};
        const Complex zb{double(sb[0]) + sb[2], double(sb[1]) + sb[3]};
        out = za + f * (zb - za);
        slope = (zb - za) * double(bank_.phases());
        return true;
    }

private:
    const TapBank& bank_;
    std::size_t n_;
    double lo_ = 0;  // sample index of y_[0], negative before the row
    std::size_t size_ = 0;
    std::vector<float> y_;  // I, Q, I, Q, ...
};

// The unit phasors of the phase steps 0 .. 7 x pi/4.
const std::array<Complex, 8>& stepPhasors() {
    static const std::array<Complex, 8> phasors = [] {
        std::array<Complex, 8> p;
        for (int k = 0; k < 8; ++k) p[std::size_t(k)] = std::polar(1.0, k * kQuarterPi);
        return p;
    }();
    return phasors;
}

Complex phasorOfStep(int step) { return stepPhasors()[std::size_t(step & 7)]; }

// The step (in units of pi/4, -3 .. 4) nearest the phase of d; at 2 bits
// per symbol the nearest odd one.
int decide(Complex d, int bitsPerSymbol) {
    const std::array<Complex, 8>& c = stepPhasors();
    const std::size_t first = bitsPerSymbol == 2 ? 1 : 0, by = bitsPerSymbol == 2 ? 2 : 1;
    std::size_t best = first;
    double most = -1e300;
    for (std::size_t k = first; k < 8; k += by) {
        const double v = d.real() * c[k].real() + d.imag() * c[k].imag();
        if (v > most) most = v, best = k;
    }
    return best > 4 ? int(best) - 8 : int(best);
}

constexpr std::size_t kMaxRun = kTimingSymbols + 1;

// The differential error of a run of symbols read at one timing (the
// decided steps and the run's mean turn taken off) against the run's power,
// as DEVM measures it, with its slope and curvature against the timing per
// sample (the Gauss-Newton curvature: that of the errors themselves left
// out, which near the least error is nought). The curvature says how much
// timing the run holds: little when its symbols hardly change.
struct RunError {
    double power = 0;  // of the symbols after the first
    double error = 0;
    double slope = 0;
    double curvature = 0;
};

RunError runError(const Complex* z, const Complex* dz, std::size_t count, int bitsPerSymbol) {
    RunError r;
    if (count < 3) return r;
    std::array<Complex, kMaxRun> rotation;
    Complex turn = 0;
    for (std::size_t k = 1; k < count; ++k) {
        const Complex d = z[k] * std::conj(z[k - 1]);
        rotation[k] = phasorOfStep(decide(d, bitsPerSymbol));
        turn += d * std::conj(rotation[k]);
    }
    const Complex unturn = std::abs(turn) > 0 ? turn / std::abs(turn) : Complex(1);
    double e = 0, g = 0, h = 0, p = 0, pg = 0;
    for (std::size_t k = 1; k < count; ++k) {
        const Complex u = rotation[k] * unturn;
        const Complex err = z[k] - z[k - 1] * u, derr = dz[k] - dz[k - 1] * u;
        e += std::norm(err);
        g += 2 * (err.real() * derr.real() + err.imag() * derr.imag());
        h += 2 * std::norm(derr);
        p += std::norm(z[k]);
        pg += 2 * (z[k].real() * dz[k].real() + z[k].imag() * dz[k].imag());
    }
    if (!(p > 0)) return r;
    r.power = p;
    r.error = e / p;
    r.slope = (g - r.error * pg) / p;
    r.curvature = h / p;
    return r;
}

// The steps of the sync sequence z[0] .. z[10] that read otherwise,
// allowing for a carrier left over: its mean turn per symbol (`left`)
// comes off the steps before they are compared.
int syncErrors(const Complex* z, int bitsPerSymbol, double& left) {
    Complex turn = 0;
    for (std::size_t j = 1; j <= kEdrSyncSymbols; ++j)
        turn += z[j] * std::conj(z[j - 1]) * std::conj(phasorOfStep(kSyncSteps[j - 1]));
    left = std::arg(turn);
    const Complex unturn = std::polar(1.0, -left);
    int errors = 0;
    for (std::size_t j = 1; j <= kEdrSyncSymbols; ++j)
        errors += decide(z[j] * std::conj(z[j - 1]) * unturn, bitsPerSymbol) != kSyncSteps[j - 1];
    return errors;
}

}  // namespace

std::span<const int> edrSyncSteps() { return kSyncSteps; }

void edrBitsOfStep(int step, int bitsPerSymbol, std::uint8_t* out) {
    const int s = ((step % 8) + 8) % 8;  // 0 .. 7
    if (bitsPerSymbol == 2) {
        // +pi/4 00, +3pi/4 01, -3pi/4 11, -pi/4 10
        static constexpr std::uint8_t kBits[8][2] = {{0, 0}, {0, 0}, {0, 0}, {0, 1}, {0, 0}, {1, 1}, {0, 0}, {1, 0}};
        out[0] = kBits[s][0];
        out[1] = kBits[s][1];
        return;
    }
    // 0 000, pi/4 001, pi/2 011, 3pi/4 010, pi 110, -3pi/4 111, -pi/2 101, -pi/4 100
    static constexpr std::uint8_t kBits[8][3] = {{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0},
                                                 {1, 1, 0}, {1, 1, 1}, {1, 0, 1}, {1, 0, 0}};
    std::copy_n(kBits[s], 3, out);
}

EdrSymbols readEdrSymbols(const CFloat* x, std::size_t n, EdrClock clock, double sampleRate, double carrierHz,
                          std::size_t symbols, int bitsPerSymbol, bool blockTiming) {
    if (bitsPerSymbol != 2 && bitsPerSymbol != 3) throw Error("An EDR payload has 2 or 3 bits per symbol.");
    EdrSymbols s;
    const double b = clock.period;
    if (!(b > 0) || symbols < 1 + kEdrSyncSymbols) return s;
    const TapBank& bank = tapBank(b);
    const double margin = kEdrPulseSpan * b + 4 * b;
    const double t0 = clock.start + kEdrReferenceSymbol * b;
    const Section sec(x, n, t0 - margin, t0 + double(symbols) * b + margin, carrierHz / sampleRate, bank);

    // Outputs and slopes of the symbols j0 .. j0 + count - 1 at the instants
    // start + j per; how many of them the samples hold.
    std::array<Complex, kMaxRun> rz, rdz;
    const auto readRun = [&](double start, double per, std::size_t j0, std::size_t count) {
        std::size_t k = 0;
        while (k < count && sec.at(start + double(j0 + k) * per, rz[k], rdz[k])) ++k;
        return k;
    };
    // The curvature of random symbols' error is about 7.5 / b^2 per
    // sample^2 (the sync sequence's about 2 / b^2); a run with a tenth of
    // it holds too little timing to go by.
    const double typical = 7.5 / (b * b);

    // Instants: those of the least differential error (as DEVM measures
    // it), found for windows of symbols every kTrackStep symbols as long as
    // the packet lasts, and a line through them weighted by the timing each
    // holds: the GFSK part is too short to give the symbol period to the
    // accuracy a long payload needs.
    struct Placed {
        double start = 0;        // time of symbol 0, were the period b
        double information = 0;  // curvature times symbols; 0: no timing in them
        double power = 0;        // per symbol
    };
    // Gauss-Newton steps from the guess, held within lo .. hi.
    const auto place = [&](double guess, std::size_t j0, std::size_t count, double lo, double hi) {
        Placed r{guess, 0, 0};
        double at = guess;
        for (int round = 0; round < 4; ++round) {
            const std::size_t got = readRun(at, b, j0, count);
            const RunError e = runError(rz.data(), rdz.data(), got, bitsPerSymbol);
            r.power = got > 1 ? e.power / double(got - 1) : 0;
            if (got < 3 || !(e.curvature > 0.1 * typical)) {
                r.information = 0;
                return r;
            }
            const double next = std::clamp(at - e.slope / e.curvature, lo, hi);
            const double step = next - at;
            r.start = at = next;
            r.information = e.curvature * double(got - 1);
            if (std::fabs(step) < 0.002 * b) break;
        }
        return r;
    };
    // Coarse by the power, which at the instants start + j b + u varies
    // with u as A + B cos(2 pi (u - u0) / b) for raised-cosine pulses
    // carrying uncorrelated symbols: three readings a third of a symbol
    // apart give u0.
    const auto coarse = [&](double guess, std::size_t j0, std::size_t count, double range) {
        Complex sum = 0;
        double total = 0;
        for (int m = 0; m < 3; ++m) {
            const std::size_t got = readRun(guess + m * b / 3, b, j0, count);
            double p = 0;
            for (std::size_t k = 0; k < got; ++k) p += std::norm(rz[k]);
            sum += p * std::polar(1.0, -2 * std::numbers::pi * m / 3);
            total += p;
        }
        if (!(2 * std::abs(sum) > 0.02 * total)) return guess;
        return guess + std::clamp(-std::arg(sum) / (2 * std::numbers::pi) * b, -range, range);
    };
    // The first window clear of the guard's transition where the packet
    // has the symbols (the pulses of the first few DPSK symbols reach back
    // into it).
    const std::size_t from = symbols > 1 + kEdrSyncSymbols + kTimingSymbols / 2 ? 1 + kEdrSyncSymbols : 0;
    const std::size_t probe = std::min(symbols - from, kTimingSymbols);
    // The GFSK part's clock places the first instant to a sample and a
    // half or so (a sixth of a symbol at many samples per symbol).
    const double search = std::max(1.5, 0.15 * b);
    // The coarse placement starts at the sync sequence, which every packet
    // has: a short packet's payload fills little of the first window, and
    // what follows it (silence, or the next packet's GFSK part) says nothing.
    double rough = coarse(t0, 0, std::min(from + probe, kTimingSymbols), search);
    // The power peaks once a symbol: where the search spans more than a
    // symbol, the sync sequence tells which peak is whose.
    int fewest = int(kEdrSyncSymbols) + 1;
    for (const double candidate : {rough, rough - b, rough + b}) {
        if (std::fabs(candidate - t0) > search) continue;
        if (readRun(candidate, b, 0, 1 + kEdrSyncSymbols) < 1 + kEdrSyncSymbols) continue;
        double left = 0;
        const int errors = syncErrors(rz.data(), bitsPerSymbol, left);
        if (errors < fewest) fewest = errors, rough = candidate;
    }
    const Placed first = place(rough, from, probe, t0 - search, t0 + search);
    double start = first.start, period = b;
    std::vector<double> js, ts, ws;
    const auto addWindow = [&](const Placed& w, double centre) {
        js.push_back(centre);
        ts.push_back(w.start + centre * b);
        ws.push_back(w.information);
        // Weighted least squares: time = start + j period.
        double sw = 0, mj = 0, mt = 0;
        for (std::size_t k = 0; k < js.size(); ++k) sw += ws[k], mj += ws[k] * js[k], mt += ws[k] * ts[k];
        mj /= sw, mt /= sw;
        double sjj = 0, sjt = 0;
        for (std::size_t k = 0; k < js.size(); ++k)
            sjj += ws[k] * (js[k] - mj) * (js[k] - mj), sjt += ws[k] * (js[k] - mj) * (ts[k] - mt);
        period = js.size() > 1 && sjj > 0 ? sjt / sjj : b;
        start = mt - period * mj;
    };
    if (first.information > 0) addWindow(first, double(from) + double(probe) / 2);
    // Windows every kTrackStep symbols and one on the last symbols, so that
    // the line reaches the end even when the symbols before hold no timing.
    std::vector<std::size_t> windows;
    for (std::size_t j0 = kTrackStep; j0 + kTimingSymbols <= symbols; j0 += kTrackStep) windows.push_back(j0);
    const std::size_t covered = windows.empty() ? from + probe : windows.back() + kTimingSymbols;
    if (symbols >= covered + kTimingSymbols) windows.push_back(symbols - kTimingSymbols);
    for (const std::size_t j0 : windows) {
        const double guess = start + double(j0) * (period - b);
        const Placed w = place(guess, j0, kTimingSymbols, guess - 0.25 * b, guess + 0.25 * b);
        if (w.power < 0.7 * first.power) break;  // the packet ends in it
        if (w.information > 0) addWindow(w, double(j0 + kTimingSymbols / 2));
    }
    s.firstTime = start;
    s.period = period;

    // Each block of kBlockSymbols from the first payload symbol on at the
    // instants of its own least error near the line (as DEVM allows the
    // timing per block), the reference symbol and the sync on the line. The
    // search is held to the line in proportion to the timing the block
    // holds: a block of one repeated symbol has none and stays on it.
    s.z.reserve(symbols);
    const auto readAt = [&](double at, std::size_t j0, std::size_t count) {
        Complex z, dz;
        for (std::size_t j = j0; j < j0 + count && sec.at(at + double(j) * period, z, dz); ++j) s.z.push_back(z);
    };
    const std::size_t lineEnd = std::min(symbols, 1 + kEdrSyncSymbols);
    readAt(start, 0, lineEnd);
    const double pull = 0.05 * typical, reach = 0.25, close = 0.002 * b;
    double previous = start;
    for (std::size_t j0 = lineEnd; j0 < symbols && s.z.size() == j0; j0 += kBlockSymbols) {
        const std::size_t count = std::min(kBlockSymbols, symbols - j0);
        // A block the packet ends in (or has ended before) keeps the
        // timing of the one before: its error is not the packet's.
        if (!blockTiming || count < kBlockSymbols / 2) {
            readAt(previous, j0, count);
            continue;
        }
        std::size_t got = readRun(start, period, j0 - 1, count + 1);
        RunError e = runError(rz.data(), rdz.data(), got, bitsPerSymbol);
        if (got < count + 1 || e.power < 0.7 * first.power * double(count)) {
            readAt(previous, j0, count);
            continue;
        }
        double offset = 0;
        for (int round = 1;; ++round) {
            const double next =
                std::clamp(offset - (e.slope + pull * offset) / (e.curvature + pull), -reach, reach);
            const double step = next - offset;
            offset = next;
            if (std::fabs(step) <= close) {
                // Near enough for the slope to carry the outputs there.
                for (std::size_t k = 1; k <= count; ++k) s.z.push_back(rz[k] + step * rdz[k]);
                break;
            }
            got = readRun(start + offset, period, j0 - 1, count + 1);
            if (got < count + 1 || round == 3) {
                for (std::size_t k = 1; k < got; ++k) s.z.push_back(rz[k]);
                break;
            }
            e = runError(rz.data(), rdz.data(), got, bitsPerSymbol);
        }
        previous = start + offset;
    }
    if (s.z.size() < 1 + kEdrSyncSymbols) {
        s.z.clear();
        return s;
    }
    double left = 0;
    const int errors = syncErrors(s.z.data(), bitsPerSymbol, left);
    // A basic-rate payload read this way matches 8 of the 10 steps by
    // chance about once in a million packets.
    if (errors > 2 || std::fabs(left) > 0.6) {
        s.z.resize(1 + kEdrSyncSymbols);
        return s;
    }
    s.bitsPerSymbol = bitsPerSymbol;
    s.syncErrors = errors;
    s.steps.assign(s.z.size(), 0);
    const Complex unturn = std::polar(1.0, -left);
    for (std::size_t j = 1; j < s.z.size(); ++j)
        s.steps[j] = decide(s.z[j] * std::conj(s.z[j - 1]) * unturn, bitsPerSymbol);
    return s;
}

EdrMeasurements measureEdr(const CFloat* x, std::size_t n, const EdrSymbols& s, std::size_t payloadSymbols,
                           EdrClock clock, double sampleRate, bool keepPoints) {
    EdrMeasurements m;
    m.bitsPerSymbol = s.bitsPerSymbol;
    const std::size_t last = std::min(s.z.size() - 1, kEdrSyncSymbols + payloadSymbols);
    if (s.bitsPerSymbol == 0 || last <= kEdrSyncSymbols) return m;
    // Power of the GFSK part from the first to the last symbol, of the DPSK
    // part from the first sync symbol to the last payload symbol.
    const auto meanPower = [&](double from, double to) {
        const auto a = static_cast<std::size_t>(std::clamp(std::ceil(from), 0.0, double(n)));
        const auto b = static_cast<std::size_t>(std::clamp(std::floor(to) + 1, 0.0, double(n)));
        double sum = 0;
        for (std::size_t k = a; k < b; ++k) sum += double(std::norm(x[k]));
        return b > a ? sum / double(b - a) : 0.0;
    };
    // Whole symbols: the raised cosine's Nyquist property makes the power
    // of a pulse train over whole symbols that of its symbols, whatever
    // they are, up to the window's two edges.
    const double gfsk = meanPower(clock.start - clock.period / 2, clock.start + (double(kEdrGfskBits) - 0.5) * clock.period);
    const double dpsk = meanPower(s.firstTime + s.period / 2, s.firstTime + (double(last) + 0.5) * s.period);
    if (gfsk > 0 && dpsk > 0) m.relativePowerDb = 10 * std::log10(dpsk / gfsk);

    // Blocks of 50 symbols (50 us) from the first payload symbol (its
    // reference the last sync symbol, clear of the guard's transition); a
    // short last block joins the one before.
    constexpr std::size_t kBlock = 50;
    const double symbolTime = s.period / sampleRate;
    m.symbolDevm.reserve(last);
    if (keepPoints) m.points.reserve(last);
    for (std::size_t from = kEdrSyncSymbols + 1; from <= last;) {
        std::size_t to = std::min(last, from + kBlock - 1);
        if (last - to < kBlock / 2) to = last;
        Complex turn = 0;
        double power = 0;
        for (std::size_t k = from; k <= to; ++k) {
            turn += s.z[k] * std::conj(s.z[k - 1]) * std::conj(phasorOfStep(s.steps[k]));
            power += std::norm(s.z[k]);
        }
        // The frequency error within the block: the turn per symbol that
        // the differential error vectors leave, taken off them.
        const double delta = std::arg(turn);
        m.omegaO.push_back(delta / (2 * std::numbers::pi * symbolTime));
        const double meanPowerZ = power / double(to - from + 1);
        const Complex drift = std::polar(1.0, delta);
        double error = 0;
        for (std::size_t k = from; k <= to; ++k) {
            const Complex e = s.z[k] - s.z[k - 1] * phasorOfStep(s.steps[k]) * drift;
            error += std::norm(e);
            m.symbolDevm.push_back(static_cast<float>(std::sqrt(std::norm(e) / meanPowerZ)));
            if (keepPoints)
                m.points.push_back(s.z[k] * std::conj(s.z[k - 1]) * std::conj(drift) /
                                   (std::abs(s.z[k - 1]) * std::sqrt(meanPowerZ)));
        }
        m.blockDevm.push_back(std::sqrt(error / power));
        from = to + 1;
    }
    m.peakDevm = *std::max_element(m.symbolDevm.begin(), m.symbolDevm.end());
    return m;
}

Bits edrPayloadBits(const EdrSymbols& s) {
    Bits bits;
    if (s.bitsPerSymbol == 0 || s.steps.size() <= 1 + kEdrSyncSymbols) return bits;
    const auto bps = static_cast<std::size_t>(s.bitsPerSymbol);
    bits.resize((s.steps.size() - 1 - kEdrSyncSymbols) * bps);
    for (std::size_t j = 1 + kEdrSyncSymbols, k = 0; j < s.steps.size(); ++j, k += bps)
        edrBitsOfStep(s.steps[j], s.bitsPerSymbol, bits.data() + k);
    return bits;
}

}  // namespace bt::analysis
