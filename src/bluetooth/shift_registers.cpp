#include "bluetooth/shift_registers.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "lib/errors.h"

namespace bt {

Bits Lfsr(std::size_t order, const Bits& taps, std::size_t m, const Bits& seed) {
    if (order == 0) throw Error("Register order must be at least 1.");
    if (seed.size() < order) throw Error("Seed must have at least " + std::to_string(order) + " bits.");
    if (taps.size() < order) throw Error("Tap vector must have at least " + std::to_string(order) + " elements.");
    Bits a(std::max(m, order), 0);
    std::copy_n(seed.begin(), order, a.begin());
    // Only the non-zero taps matter; keep their distances back from i.
    std::vector<std::size_t> back;
    for (std::size_t k = 0; k < order; ++k)
        if (taps[k] & 1) back.push_back(order - k);
    for (std::size_t i = order; i < m; ++i) {
        std::uint8_t bit = 0;
        for (std::size_t d : back) bit ^= a[i - d];
        a[i] = bit;
    }
    return a;
}

Bits LfsrChecksum(const Bits& taps, const Bits& initialState, const Bits& data) {
    if (taps.size() < 2) throw Error("Generator polynomial must have degree 1 or more.");
    const std::size_t m = taps.size() - 1;
    if (initialState.size() != m)
        throw Error("Initial state must have " + std::to_string(m) + " bits.");
    Bits sr = initialState;
    for (std::uint8_t bit : data) {
        const std::uint8_t carry = (bit ^ sr[m - 1]) & 1;
        for (std::size_t k = m - 1; k > 0; --k) sr[k] = sr[k - 1] ^ (carry & taps[k]);
        sr[0] = carry & taps[0];
    }
    return Bits(sr.rbegin(), sr.rend());
}

namespace {

struct PnTaps {
    int taps[4];
    bool inverted;
};

// Feedback tap positions per order (3..31); zero marks an unused slot.
constexpr PnTaps kPnTable[] = {
    {{3, 1}, false},         {{4, 1}, false},          {{5, 2}, false},     {{6, 1}, false},
    {{7, 1}, false},         {{8, 4, 3, 2}, false},    {{9, 5}, false},     {{10, 3}, false},
    {{11, 9}, false},        {{12, 6, 4, 1}, false},   {{13, 4, 3, 1}, false}, {{14, 12, 2, 1}, false},
    {{15, 14}, true},        {{16, 12, 3, 1}, false},  {{17, 3}, false},    {{18, 7}, false},
    {{19, 5, 2, 1}, false},  {{20, 3}, false},         {{21, 2}, false},    {{22, 1}, false},
    {{23, 18}, true},        {{24, 7, 2}, false},      {{25, 3}, false},    {{26, 6, 2, 1}, false},
    {{27, 5, 2, 1}, false},  {{28, 3}, false},         {{29, 27}, true},    {{30, 23, 2, 1}, false},
    {{31, 28}, true},
};
constexpr PnTaps kPn20ZeroSuppressed = {{20, 17}, false};

bool isOne(const std::optional<Value>& v) { return v && v->isScalar() && v->re[0] == 1; }

}  // namespace

Bits PNgenerator(const PnOptions& o) {
    // Order: default 9, non-scalar counts as 9, clamped to 3..31; a value
    // that is not in the table (a fraction) falls back to order 9.
    double order = 9;
    if (o.order && o.order->isScalar() && !std::isnan(o.order->re[0]))
        order = std::clamp(o.order->re[0], 3.0, 31.0);
    const bool zeroSuppression = isOne(o.zeroSuppression);
    PnTaps entry = kPnTable[9 - 3];
    if (order == std::floor(order)) {
        entry = kPnTable[static_cast<int>(order) - 3];
        if (order == 20 && zeroSuppression) entry = kPn20ZeroSuppressed;
    } else {
        order = 9;
    }
    const auto n = static_cast<std::size_t>(order);

    double length = std::pow(2.0, order) - 1;
    if (o.dataLength && o.dataLength->isScalar()) {
        const double want = o.dataLength->re[0];
        length = std::isnan(want) ? 1.0 : std::max(1.0, std::floor(want));
    }
    if (length > 1e10) throw Error("PN sequence length is too large.");
    const auto dataLength = static_cast<std::size_t>(length);

    Bits seed(n, 1);
    if (o.seed && o.seed->isNumeric() && !o.seed->isEmpty()) {
        const Value& s = *o.seed;
        if (s.numel() == 1) {
            if (s.re[0] != 0) {
                std::fill(seed.begin(), seed.end(), 0);
                seed[n - 1] = 1;
            }
        } else if (s.numel() >= n) {
            for (std::size_t k = 0; k < n; ++k) seed[k] = s.re[k] != 0 ? 1 : 0;
            if (std::all_of(seed.begin(), seed.end(), [](std::uint8_t b) { return b == 0; }))
                seed[n - 1] = 1;
        }
    }

    // Register row [t(n) .. t(1), 1]: bit i = XOR of bit (i - k) over taps k.
    Bits row(n + 1, 0);
    for (int t : entry.taps)
        if (t > 0) row[n - static_cast<std::size_t>(t)] = 1;
    row[n] = 1;
    Bits seq = Lfsr(n, row, dataLength, seed);

    if (n == 20 && zeroSuppression) {
        std::size_t run = 0;  // zeros ending at the current position
        for (std::size_t i = 0; i < seq.size(); ++i) {
            run = seq[i] ? 0 : run + 1;
            if (run == 15) {
                seq[i] = 1;
                run = 0;
            }
        }
    }
    if (entry.inverted != isOne(o.userInvert))
        for (auto& b : seq) b ^= 1;
    if (seq.size() > dataLength) seq.resize(dataLength);
    return seq;
}

Bits PNgenerator(double order, double dataLength) {
    return PNgenerator(PnOptions{Value::scalar(order), Value::scalar(dataLength), {}, {}, {}});
}

Bits PNgenerator(std::span<const Value> args) {
    if (args.size() > 5) throw Error("Too many input arguments.");
    PnOptions o;
    std::optional<Value>* slots[] = {&o.order, &o.dataLength, &o.userInvert, &o.seed, &o.zeroSuppression};
    for (std::size_t i = 0; i < args.size(); ++i) *slots[i] = args[i];
    return PNgenerator(o);
}

// ---------------------------------------------------------------- GF(2)

Bits gfadd(const Bits& a, const Bits& b) {
    Bits out(std::max(a.size(), b.size()), 0);
    for (std::size_t i = 0; i < a.size(); ++i) out[i] ^= a[i] & 1;
    for (std::size_t i = 0; i < b.size(); ++i) out[i] ^= b[i] & 1;
    return out;
}

namespace {
Bits trimmed(Bits p) {
    while (p.size() > 1 && p.back() == 0) p.pop_back();
    if (p.empty()) p.push_back(0);
    return p;
}
}  // namespace

std::pair<Bits, Bits> gfdeconv(const Bits& b, const Bits& a) {
    const Bits divisor = trimmed(a);
    if (divisor.size() == 1 && divisor[0] == 0) throw Error("Division by the zero polynomial.");
    Bits rem = trimmed(b);
    const std::size_t da = divisor.size() - 1;
    if (rem.size() - 1 < da) return {Bits{0}, rem};
    Bits quot(rem.size() - da, 0);
    for (std::size_t i = rem.size(); i-- > da;) {
        if (!(rem[i] & 1)) continue;
        const std::size_t shift = i - da;
        quot[shift] = 1;
        for (std::size_t k = 0; k <= da; ++k) rem[shift + k] ^= divisor[k] & 1;
    }
    rem.resize(std::max<std::size_t>(da, 1));
    return {trimmed(quot), trimmed(rem)};
}

}  // namespace bt
