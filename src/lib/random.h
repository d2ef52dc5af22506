#pragma once
// The Gaussian pseudo-random generator that additive noise draws from.
//
// The same seed gives bit-identical numbers on every machine and compiler:
// the engine's output sequence is fixed by the C++ standard, and the
// transform to normal deviates (Marsaglia's polar method) is written here
// rather than left to std::normal_distribution, whose algorithm is not.
#include <cstddef>
#include <cstdint>
#include <random>

namespace bt {

class GaussianRandom {
public:
    explicit GaussianRandom(std::uint64_t seed = 0) { reseed(seed); }

    void reseed(std::uint64_t seed) {
        engine_.seed(seed);
        hasSpare_ = false;
    }

    // Uniform on the open interval (-1, 1) with 53 random bits.
    double uniformSigned() {
        for (;;) {
            const double u = static_cast<double>(engine_() >> 11) * 0x1.0p-52 - 1.0;
            if (u != -1.0) return u;
        }
    }

    // One standard normal deviate.
    double next();

    // n standard normal deviates, the same as n calls of next().
    void fill(double* out, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) out[i] = next();
    }

private:
    std::mt19937_64 engine_;
    bool hasSpare_ = false;
    double spare_ = 0;
};

}  // namespace bt
