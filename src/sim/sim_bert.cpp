#include "sim/sim_bert.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <random>

namespace bt::sim {

namespace {

// A simulated measurement never compares more than this; the estimate is
// long settled by then and a trigger answers promptly.
constexpr std::uint64_t kMaxComparedBits = 2'000'000;

std::complex<double> sampleAt(const std::vector<std::uint8_t>& iq, std::size_t n) {
    const auto word = [&](std::size_t at) {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(iq[at] << 8 | iq[at + 1]));
    };
    return {double(word(4 * n)), double(word(4 * n + 2))};
}

// Self-synchronising PRBS checker. It syncs when the received bits follow
// the sequence's recurrence (either bit order of the generator), then
// compares every further bit with its own copy of the sequence, so one
// wrong bit counts once. Too many errors in a row of 64 lose the sync.
class PrbsChecker {
public:
    explicit PrbsChecker(int order) : order_(order), taps_{order == 15 ? 14 : 5, order == 15 ? 1 : 4} {}

    // Feeds one received bit; returns 1 for an error, 0 for a match, -1
    // when the bit was not compared (not in sync).
    int feed(std::uint8_t bit) {
        received_.push_back(bit);
        if (received_.size() > 64) received_.erase(received_.begin());
        if (!synced_) {
            trySync();
            return -1;
        }
        const std::uint8_t expected = next();
        const int error = expected != bit;
        window_ = (window_ << 1) | std::uint64_t(error);
        if (std::popcount(window_) > 16) lose();
        return error;
    }

    void lose() {
        synced_ = false;
        window_ = 0;
    }

private:
    std::uint8_t at(const std::vector<std::uint8_t>& v, std::size_t back) const { return v[v.size() - 1 - back]; }

    void trySync() {
        const std::size_t need = std::size_t(order_) + 24;
        if (received_.size() < need) return;
        for (int tap : taps_) {
            bool follows = true;
            for (std::size_t k = 0; k < 24 && follows; ++k)
                follows = at(received_, k) == (at(received_, k + order_) ^ at(received_, k + std::size_t(tap)));
            bool allZero = true;
            for (std::size_t k = 0; k < std::size_t(order_); ++k) allZero = allZero && at(received_, k) == 0;
            if (follows && !allZero) {
                tap_ = tap;
                reference_.assign(received_.end() - order_, received_.end());
                synced_ = true;
                window_ = 0;
                return;
            }
        }
    }

    std::uint8_t next() {
        const std::uint8_t b = at(reference_, std::size_t(order_) - 1) ^ at(reference_, std::size_t(tap_) - 1);
        reference_.erase(reference_.begin());
        reference_.push_back(b);
        return b;
    }

    int order_;
    int taps_[2];
    int tap_ = 0;
    bool synced_ = false;
    std::uint64_t window_ = 0;
    std::vector<std::uint8_t> received_;
    std::vector<std::uint8_t> reference_;  // the last `order_` bits of the sequence, oldest first
};

}  // namespace

BertResult measureBer(const std::vector<std::uint8_t>& iq, const std::vector<std::uint8_t>& markers,
                      double sampleRate, const ReceiverModel& rx, const BertSetup& setup, std::uint64_t trigger) {
    BertResult result;
    const std::size_t n = iq.size() / 4;
    if (n < 2 || markers.size() != n || !(sampleRate > 0)) return result;

    // The sampling instants: clock edges of the chosen polarity, with the
    // gate open.
    std::vector<std::size_t> edges;
    for (std::size_t k = 0; k < n; ++k) {
        const bool now = markers[k] & 1, before = markers[(k + n - 1) % n] & 1;
        if (now == before || now != setup.clockRising) continue;
        if (setup.gate && bool(markers[k] & 2) != setup.gateHigh) continue;
        edges.push_back(k);
    }
    if (edges.empty()) return result;
    result.inputValid = true;

    const double os = sampleRate / 1e6;
    const auto latency = static_cast<std::size_t>(std::llround(std::max(0.0, rx.latencyUs) * os));
    // Noise per sample and component: rms `noise` x the signal's in 1 MHz,
    // so os MHz of it per sample.
    double power = 0;
    for (std::size_t k = 0; k < n; ++k) power += std::norm(sampleAt(iq, k));
    power /= double(n);
    const double sigma = std::max(0.0, rx.noise) * std::sqrt(power * std::max(1.0, os) / 2);
    std::mt19937_64 rng(rx.seed ^ (0x9E3779B97F4A7C15ull * (trigger + 1)));
    std::normal_distribution<double> noise(0.0, sigma > 0 ? sigma : 1.0);
    // Channel filter: two moving averages of half a symbol in cascade (a
    // triangle of L - 1 samples either side; first zero at 2 MHz).
    const auto L = static_cast<std::size_t>(std::max(1.0, std::round(os / 2)));
    std::vector<double> weight(2 * L - 1);
    for (std::size_t m = 0; m < weight.size(); ++m)
        weight[m] = double(L - (m + 1 > L ? m + 1 - L : L - m - 1)) / double(L * L);
    // The data output: the phase advance of the filtered signal over the
    // symbol period centred on sample k (integrate and dump), which opens
    // the eye widest at the symbol's centre. Each filtered value takes the
    // noise of its own samples, drawn afresh.
    const auto half = static_cast<std::size_t>(std::max(1.0, std::round(os / 2)));
    const auto filtered = [&](std::size_t centre) {
        std::complex<double> v{};
        for (std::size_t m = 0; m < weight.size(); ++m) {
            std::complex<double> x = sampleAt(iq, (centre + n * 2 + m - (L - 1)) % n);
            if (sigma > 0) x += std::complex<double>(noise(rng), noise(rng));
            v += weight[m] * x;
        }
        return v;
    };
    const auto discriminate = [&](std::size_t k) {
        return std::arg(filtered(k + half) * std::conj(filtered(k + n - half)));
    };

    PrbsChecker checker(setup.prbsOrder == 15 ? 15 : 9);
    const std::uint64_t target = std::min<std::uint64_t>(std::max<std::uint64_t>(setup.totalBits, 1), kMaxComparedBits);
    std::uint64_t errors = 0, compared = 0, fed = 0;
    std::size_t ignoredRun = 0;
    // Enough loops of the waveform for the target, plus a few to find sync.
    const std::uint64_t maxFed = target * 4 + 64 * std::uint64_t(edges.size()) + 1000;
    for (std::size_t e = 0; compared < target && fed < maxFed; e = (e + 1) % edges.size(), ++fed) {
        // The receiver's output now shows the signal of `latency` samples ago.
        const std::size_t k = (edges[e] + n - latency % n) % n;
        const double v = discriminate(k);
        const auto bit = static_cast<std::uint8_t>((v > 0) != setup.dataInverted);
        if (setup.ignore != 0 && bit == (setup.ignore == 1 ? 0 : 1)) {
            // Long runs of the ignored value are no PRBS data: skip them.
            if (++ignoredRun >= std::size_t(setup.prbsOrder)) {
                checker.lose();
                continue;
            }
        } else {
            ignoredRun = 0;
        }
        const int r = checker.feed(bit);
        if (r < 0) continue;
        errors += std::uint64_t(r);
        ++compared;
    }
    result.bits = compared;
    // A BERT that never finds the pattern sees random data.
    result.ber = compared ? double(errors) / double(compared) : 0.5;
    return result;
}

}  // namespace bt::sim
