#pragma once
// The Gaussian pseudo-random generator that additive noise draws from.
//
// Reproducible everywhere: the same seed gives the same deviates, bit for
// bit, on every machine and compiler. The uniform source is the
// counter-based Philox4x32-10 generator (the std::philox4x32 of C++26, whose
// output the standard fixes), and the transform to normal deviates is the
// Box-Muller method written with self-contained maths (lib/detmath.h),
// never std::normal_distribution (implementation-defined) or the C
// library's log/sin/cos (CPU-dependent in their last bits).
//
// Random access: deviates 2p and 2p+1 of the stream are the Box-Muller pair
// made from Philox block p (counter p, key = seed). Any stretch of the
// stream can therefore be produced directly from its start position, so
// work split across threads gives exactly the single-threaded result.
#include <cstddef>
#include <cstdint>

namespace bt {

class GaussianRandom {
public:
    explicit GaussianRandom(double seed = 0) { reseed(seed); }

    // Starts the stream of `seed` from its beginning. Whole numbers (the
    // settings' 1..65535) are used as they are; other values by their bit
    // pattern, so 2.5 and 2 give different streams.
    void reseed(double seed);
    std::uint64_t key() const { return key_; }

    // Stream position: the number of deviates drawn since the last reseed.
    std::uint64_t position() const { return position_; }
    void seek(std::uint64_t position) { position_ = position; }
    // Claims the next n deviates without computing them and returns the
    // position of the first; fillAt() then produces them on any thread.
    std::uint64_t reserve(std::uint64_t n) {
        const std::uint64_t start = position_;
        position_ += n;
        return start;
    }

    // The next deviate, or the next n; both advance the position.
    double next();
    void fill(double* out, std::size_t n) { fillAt(reserve(n), out, n); }

    // The n deviates starting at stream position `start`, without touching
    // the position: safe to call concurrently on one generator.
    void fillAt(std::uint64_t start, double* out, std::size_t n) const;

    // One Philox4x32-10 block: four 32-bit words for a 128-bit counter and a
    // 64-bit key (low word first). Exposed for its known-answer tests.
    static void philoxBlock(const std::uint32_t counter[4], std::uint64_t key,
                            std::uint32_t out[4]);

private:
    std::uint64_t key_ = 0;
    std::uint64_t position_ = 0;
};

// The calling thread's generator, which the generation chain's noise draws
// from. The generation driver reseeds it once per generation, so a
// generation owns it from start to end and generations on different
// threads never disturb each other. Workers of one generation are handed a
// reference and draw with fillAt() at positions claimed by reserve().
GaussianRandom& gaussianGenerator();

}  // namespace bt
