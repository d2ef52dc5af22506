#include "analysis/edr_demod.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "lib/errors.h"

namespace bt::analysis {

namespace {

constexpr double kRollOff = 0.4;
constexpr double kQuarterPi = std::numbers::pi / 4;
// The pulse table's points per symbol (linear interpolation between them
// is exact to 1e-7 of the pulse's height).
constexpr int kTableResolution = 512;
// Symbols whose output power places the instants.
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

const std::vector<double>& pulseTable() {
    static const std::vector<double> table = [] {
        const auto half = static_cast<int>(kEdrPulseSpan) * kTableResolution;
        std::vector<double> t(std::size_t(2 * half + 2));
        for (int k = -half; k <= half + 1; ++k) t[std::size_t(k + half)] = srrc(double(k) / kTableResolution);
        return t;
    }();
    return table;
}

// The derotated samples around the section, read once.
class Section {
public:
    Section(const CFloat* x, std::size_t n, double from, double to, double cyclesPerSample) {
        lo_ = static_cast<std::size_t>(std::clamp(std::floor(from), 0.0, double(n)));
        const auto hi = static_cast<std::size_t>(std::clamp(std::ceil(to) + 1, 0.0, double(n)));
        if (hi <= lo_) return;
        y_.resize(hi - lo_);
        const double w = -2 * std::numbers::pi * cyclesPerSample;
        constexpr std::size_t kAnchor = 1024;  // exact phasor every so often, stepped between
        const Complex step = std::polar(1.0, w);
        Complex rot;
        for (std::size_t k = 0; k < y_.size(); ++k) {
            if (k % kAnchor == 0) rot = std::polar(1.0, std::fmod(w * double(lo_ + k), 2 * std::numbers::pi));
            y_[k] = Complex(x[lo_ + k].real(), x[lo_ + k].imag()) * rot;
            rot *= step;
        }
    }

    // The matched filter's output at sample time t; false where the pulse
    // would reach beyond the samples.
    bool at(double t, double period, Complex& out) const {
        const double reach = kEdrPulseSpan * period;
        const double first = std::ceil(t - reach), last = std::floor(t + reach);
        if (first < double(lo_) || last >= double(lo_ + y_.size())) return false;
        const std::vector<double>& p = pulseTable();
        const double perSample = kTableResolution / period;
        const double centre = kEdrPulseSpan * kTableResolution;
        double re = 0, im = 0;
        const auto m0 = static_cast<std::size_t>(first);
        double u = centre + (first - t) * perSample;
        for (std::size_t m = m0; double(m) <= last; ++m, u += perSample) {
            const auto i = static_cast<std::size_t>(u);
            const double f = u - double(i);
            const double g = p[i] + f * (p[i + 1] - p[i]);
            const Complex& y = y_[m - lo_];
            re += g * y.real();
            im += g * y.imag();
        }
        out = Complex(re, im) / period;
        return true;
    }

private:
    std::size_t lo_ = 0;
    std::vector<Complex> y_;
};

int decide(Complex d, int bitsPerSymbol) {
    const double a = std::arg(d) / kQuarterPi;
    int step = bitsPerSymbol == 2 ? 2 * static_cast<int>(std::lround((a - 1) / 2)) + 1 : static_cast<int>(std::lround(a));
    if (step > 4) step -= 8;
    if (step <= -4) step += 8;
    return step;
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
    const double margin = kEdrPulseSpan * b + 4 * b;
    const double t0 = clock.start + kEdrReferenceSymbol * b;
    const Section sec(x, n, t0 - margin, t0 + double(symbols) * b + margin, carrierHz / sampleRate);

    // Instants: those of the least differential error (as DEVM measures
    // it), found for windows of symbols every kTrackStep symbols as long as
    // the packet lasts, and a line through them: the GFSK part is too short
    // to give the symbol period to the accuracy a long payload needs.
    double per = b;  // the period the searches step by
    const auto power = [&](double start, std::size_t j0, std::size_t count) {
        double e = 0;
        Complex z;
        for (std::size_t j = j0; j < j0 + count; ++j)
            if (sec.at(start + double(j) * per, per, z)) e += std::norm(z);
        return e;
    };
    // The differential error of the window's decided steps, its mean turn
    // taken off, against its power: what the DEVM blocks measure.
    std::vector<Complex> zs;
    const auto error = [&](double start, std::size_t j0, std::size_t count) {
        zs.clear();
        Complex z;
        for (std::size_t j = j0; j < j0 + count; ++j)
            if (sec.at(start + double(j) * per, per, z)) zs.push_back(z);
        if (zs.size() < 3) return 1e300;
        Complex turn = 0;
        double p = 0;
        for (std::size_t k = 1; k < zs.size(); ++k) {
            const Complex d = zs[k] * std::conj(zs[k - 1]);
            turn += d * std::polar(1.0, -decide(d, bitsPerSymbol) * kQuarterPi);
            p += std::norm(zs[k]);
        }
        const Complex unturn = std::polar(1.0, std::arg(turn));
        double e = 0;
        for (std::size_t k = 1; k < zs.size(); ++k) {
            const Complex d = zs[k] * std::conj(zs[k - 1]);
            e += std::norm(zs[k] - zs[k - 1] * std::polar(1.0, decide(d, bitsPerSymbol) * kQuarterPi) * unturn);
        }
        return e / p;
    };
    const double reach = std::max(1.5, 0.15 * b), grid = reach / 6;
    // Coarse by the power (a raised cosine's folded power peaks at the
    // right instant), fine by the error, which the decisions make exact.
    const auto place = [&](double guess, std::size_t j0, std::size_t count, double& bestPower) {
        double best = guess;
        bestPower = -1;
        for (int k = -6; k <= 6; ++k) {
            const double e = power(guess + k * grid, j0, count);
            if (e > bestPower) bestPower = e, best = guess + k * grid;
        }
        double lo = best - grid, hi = best + grid;
        const double g = (std::sqrt(5.0) - 1) / 2;
        double c = hi - g * (hi - lo), d = lo + g * (hi - lo);
        double ec = error(c, j0, count), ed = error(d, j0, count);
        while (hi - lo > 1e-3) {
            if (ec < ed) {
                hi = d, d = c, ed = ec;
                c = hi - g * (hi - lo), ec = error(c, j0, count);
            } else {
                lo = c, c = d, ec = ed;
                d = lo + g * (hi - lo), ed = error(d, j0, count);
            }
        }
        return (lo + hi) / 2;
    };
    // The first window clear of the guard's transition where the packet
    // has the symbols (the pulses of the first few DPSK symbols reach back
    // into it).
    const std::size_t from = symbols > 1 + kEdrSyncSymbols + kTimingSymbols / 2 ? 1 + kEdrSyncSymbols : 0;
    const std::size_t probe = std::min(symbols - from, kTimingSymbols);
    double firstPower = 0;
    double start = place(t0, from, probe, firstPower);
    double period = b;
    std::vector<double> js{double(from) + double(probe) / 2}, ts{start + js.front() * b};
    for (std::size_t j0 = kTrackStep; j0 + kTimingSymbols <= symbols; j0 += kTrackStep) {
        double p = 0;
        const double guess = start + double(j0) * (period - b);
        const double at = place(guess, j0, kTimingSymbols, p);
        if (p < 0.7 * firstPower * double(kTimingSymbols) / double(probe)) break;  // the packet ends in it
        js.push_back(double(j0 + kTimingSymbols / 2));
        ts.push_back(at + js.back() * b);
        // Least squares: time = start + j period.
        double mj = 0, mt = 0;
        for (std::size_t k = 0; k < js.size(); ++k) mj += js[k], mt += ts[k];
        mj /= double(js.size()), mt /= double(js.size());
        double sjj = 0, sjt = 0;
        for (std::size_t k = 0; k < js.size(); ++k) sjj += (js[k] - mj) * (js[k] - mj), sjt += (js[k] - mj) * (ts[k] - mt);
        period = sjt / sjj;
        start = mt - period * mj;
    }
    s.firstTime = start;
    s.period = period;

    // Each block of kBlockSymbols from the first payload symbol on at the
    // instants of its own least error near the line (as DEVM allows the
    // timing per block), the reference symbol and the sync on the line.
    per = period;
    s.z.reserve(symbols);
    const std::size_t lineEnd = std::min(symbols, 1 + kEdrSyncSymbols);
    for (std::size_t j = 0; j < lineEnd; ++j) {
        Complex z;
        if (!sec.at(start + double(j) * per, per, z)) break;
        s.z.push_back(z);
    }
    const double g = (std::sqrt(5.0) - 1) / 2;
    const double symbolPower = firstPower / double(probe);
    double previous = start;
    for (std::size_t j0 = lineEnd; j0 < symbols && s.z.size() == j0; j0 += kBlockSymbols) {
        const std::size_t count = std::min(kBlockSymbols, symbols - j0);
        // A block the packet ends in (or has ended before) keeps the
        // timing of the one before: its error is not the packet's.
        if (!blockTiming || count < kBlockSymbols / 2 || power(start, j0, count) < 0.7 * symbolPower * double(count)) {
            for (std::size_t j = j0; j < j0 + count; ++j) {
                Complex z;
                if (!sec.at(previous + double(j) * per, per, z)) break;
                s.z.push_back(z);
            }
            continue;
        }
        double lo = start - 0.25, hi = start + 0.25;
        double c = hi - g * (hi - lo), d = lo + g * (hi - lo);
        double ec = error(c, j0 - 1, count + 1), ed = error(d, j0 - 1, count + 1);
        while (hi - lo > 5e-3) {
            if (ec < ed) {
                hi = d, d = c, ed = ec;
                c = hi - g * (hi - lo), ec = error(c, j0 - 1, count + 1);
            } else {
                lo = c, c = d, ec = ed;
                d = lo + g * (hi - lo), ed = error(d, j0 - 1, count + 1);
            }
        }
        const double at = (lo + hi) / 2;
        previous = at;
        for (std::size_t j = j0; j < j0 + count; ++j) {
            Complex z;
            if (!sec.at(at + double(j) * per, per, z)) break;
            s.z.push_back(z);
        }
    }
    if (s.z.size() < 1 + kEdrSyncSymbols) {
        s.z.clear();
        return s;
    }
    // The sync sequence, allowing for a carrier left over: its mean turn
    // per symbol comes off the steps before they are compared.
    Complex turn = 0;
    for (std::size_t j = 1; j <= kEdrSyncSymbols; ++j)
        turn += s.z[j] * std::conj(s.z[j - 1]) * std::polar(1.0, -kSyncSteps[j - 1] * kQuarterPi);
    const double left = std::arg(turn);
    int errors = 0;
    for (std::size_t j = 1; j <= kEdrSyncSymbols; ++j)
        errors += decide(s.z[j] * std::conj(s.z[j - 1]) * std::polar(1.0, -left), bitsPerSymbol) != kSyncSteps[j - 1];
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
            turn += s.z[k] * std::conj(s.z[k - 1]) * std::polar(1.0, -s.steps[k] * kQuarterPi);
            power += std::norm(s.z[k]);
        }
        // The frequency error within the block: the turn per symbol that
        // the differential error vectors leave, taken off them.
        const double delta = std::arg(turn);
        m.omegaO.push_back(delta / (2 * std::numbers::pi * symbolTime));
        const double meanPowerZ = power / double(to - from + 1);
        double error = 0;
        for (std::size_t k = from; k <= to; ++k) {
            const Complex e = s.z[k] - s.z[k - 1] * std::polar(1.0, s.steps[k] * kQuarterPi + delta);
            error += std::norm(e);
            m.symbolDevm.push_back(static_cast<float>(std::sqrt(std::norm(e) / meanPowerZ)));
            if (keepPoints)
                m.points.push_back(s.z[k] * std::conj(s.z[k - 1]) * std::polar(1.0, -delta) /
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
