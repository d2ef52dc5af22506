#include "lib/random.h"

#include <algorithm>
#include <cmath>

#include "lib/detmath.h"

// Compiled with -ffp-contract=off (see CMakeLists.txt): the transform must
// not pick up fused multiply-adds on machines that have them.

namespace bt {

namespace {

constexpr std::uint32_t kM0 = 0xD2511F53u;
constexpr std::uint32_t kM1 = 0xCD9E8D57u;
constexpr std::uint32_t kW0 = 0x9E3779B9u;
constexpr std::uint32_t kW1 = 0xBB67AE85u;
constexpr int kRounds = 10;

// One round on one counter; inlined into the batch loop below.
inline void philoxRound(std::uint32_t& x0, std::uint32_t& x1, std::uint32_t& x2, std::uint32_t& x3,
                        std::uint32_t k0, std::uint32_t k1) {
    const std::uint64_t a = std::uint64_t{kM0} * x0;
    const std::uint64_t b = std::uint64_t{kM1} * x2;
    const std::uint32_t n0 = static_cast<std::uint32_t>(b >> 32) ^ x1 ^ k0;
    const std::uint32_t n2 = static_cast<std::uint32_t>(a >> 32) ^ x3 ^ k1;
    x1 = static_cast<std::uint32_t>(b);
    x3 = static_cast<std::uint32_t>(a);
    x0 = n0;
    x2 = n2;
}

// Pairs made per pass: the counters of a batch are scrambled side by side
// (structure of arrays), which lets the compiler vectorise the rounds.
constexpr std::size_t kBatch = 128;

// The Box-Muller pairs of Philox blocks p .. p + count - 1 (count <= kBatch)
// into out[0 .. 2 * count).
BT_VECTOR_CLONES
void makePairs(std::uint64_t key, std::uint64_t p, std::size_t count, double* out) {
    alignas(64) std::uint32_t x0[kBatch];
    alignas(64) std::uint32_t x1[kBatch];
    alignas(64) std::uint32_t x2[kBatch];
    alignas(64) std::uint32_t x3[kBatch];
    for (std::size_t i = 0; i < count; ++i) {
        x0[i] = static_cast<std::uint32_t>(p + i);
        x1[i] = static_cast<std::uint32_t>((p + i) >> 32);
        x2[i] = 0;
        x3[i] = 0;
    }
    std::uint32_t k0 = static_cast<std::uint32_t>(key);
    std::uint32_t k1 = static_cast<std::uint32_t>(key >> 32);
    for (int round = 0; round < kRounds; ++round) {
        for (std::size_t i = 0; i < count; ++i) philoxRound(x0[i], x1[i], x2[i], x3[i], k0, k1);
        k0 += kW0;
        k1 += kW1;
    }

    // Box-Muller: words 0-1 give the radius from u in (0, 1] (52 bits, so
    // log never sees 0); words 2-3 give the angle: the top two bits pick
    // the quadrant, the next 52 bits an offset in [-pi/4, pi/4).
    constexpr double kAngleStep = 0x1.921fb54442d18p-52;  // (pi/4) / 2^51
    constexpr std::uint64_t kMask52 = (std::uint64_t{1} << 52) - 1;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t a = (std::uint64_t{x1[i]} << 32) | x0[i];
        const std::uint64_t b = (std::uint64_t{x3[i]} << 32) | x2[i];
        const double u = (detmath::fromBits(0x3ff0000000000000ULL | (a >> 12)) - 1.0) + 0x1p-52;
        const double r = std::sqrt(-2.0 * detmath::log(u));
        const double offset =
            detmath::fromBits(0x4330000000000000ULL | ((b >> 10) & kMask52)) - 0x1.8p52;
        const double y = offset * kAngleStep;
        double s, c;
        detmath::rotateQuarter(b >> 62, detmath::cosKernel(y), detmath::sinKernel(y), s, c);
        out[2 * i] = r * c;
        out[2 * i + 1] = r * s;
    }
}

std::uint64_t seedKey(double seed) {
    if (std::isfinite(seed) && seed == std::trunc(seed) && std::fabs(seed) < 0x1p63)
        return static_cast<std::uint64_t>(static_cast<std::int64_t>(seed));
    return detmath::toBits(seed);
}

}  // namespace

void GaussianRandom::reseed(double seed) {
    key_ = seedKey(seed);
    position_ = 0;
}

double GaussianRandom::next() {
    double x;
    fillAt(position_++, &x, 1);
    return x;
}

void GaussianRandom::fillAt(std::uint64_t start, double* out, std::size_t n) const {
    if (n == 0) return;
    double edge[2];
    std::uint64_t p = start / 2;
    std::size_t done = 0;
    if (start % 2 != 0) {  // starts on the second deviate of a pair
        makePairs(key_, p++, 1, edge);
        out[done++] = edge[1];
    }
    while (n - done >= 2) {
        const std::size_t count = std::min(kBatch, (n - done) / 2);
        makePairs(key_, p, count, out + done);
        p += count;
        done += 2 * count;
    }
    if (done < n) {
        makePairs(key_, p, 1, edge);
        out[done] = edge[0];
    }
}

void GaussianRandom::philoxBlock(const std::uint32_t counter[4], std::uint64_t key,
                                 std::uint32_t out[4]) {
    std::uint32_t x[4] = {counter[0], counter[1], counter[2], counter[3]};
    std::uint32_t k0 = static_cast<std::uint32_t>(key);
    std::uint32_t k1 = static_cast<std::uint32_t>(key >> 32);
    for (int round = 0; round < kRounds; ++round) {
        philoxRound(x[0], x[1], x[2], x[3], k0, k1);
        k0 += kW0;
        k1 += kW1;
    }
    std::copy(x, x + 4, out);
}

GaussianRandom& gaussianGenerator() {
    // One per thread: generations running side by side (Python threads,
    // a batch spread over workers) each reseed and draw from their own.
    thread_local GaussianRandom generator;
    return generator;
}

}  // namespace bt
