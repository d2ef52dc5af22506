#pragma once
// Elementary functions made only of IEEE-754 basic operations (+ - * /,
// sqrt) and bit manipulation, so that they return the same bits on every
// machine and compiler, and so that loops calling them vectorise.
//
// The C library's log, sin and cos are accurate but not reproducible: the
// implementation picks FMA or non-FMA code paths at run time by CPU. Noise
// must repeat bit for bit from a seed everywhere, and the modulator needs
// millions of sin/cos pairs per second, so both use these instead.
//
// Translation units using these must be compiled without floating-point
// contraction (-ffp-contract=off) and without -ffast-math: a fused
// multiply-add would change the last bits from one machine to the next.
#include <bit>
#include <cstdint>

// Marks a loop kernel to be compiled twice, for baseline x86-64 and for
// AVX2, the better one chosen at load time. Both clones do the same IEEE
// operations lane by lane, so their results are identical bit for bit.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define BT_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define BT_VECTOR_CLONES
#endif

namespace bt::detmath {

inline double fromBits(std::uint64_t u) { return std::bit_cast<double>(u); }
inline std::uint64_t toBits(double x) { return std::bit_cast<std::uint64_t>(x); }

// sin(x) and cos(x) for |x| <= pi/4, within 1 ulp (classic minimax kernels).
inline double sinKernel(double x) {
    constexpr double S1 = -1.66666666666666324348e-01;
    constexpr double S2 = 8.33333333332248946124e-03;
    constexpr double S3 = -1.98412698298579493134e-04;
    constexpr double S4 = 2.75573137070700676789e-06;
    constexpr double S5 = -2.50507602534068634195e-08;
    constexpr double S6 = 1.58969099521155010221e-10;
    const double z = x * x;
    const double w = z * z;
    const double r = S2 + z * (S3 + z * S4) + z * w * (S5 + z * S6);
    return x + z * x * (S1 + z * r);
}

inline double cosKernel(double x) {
    constexpr double C1 = 4.16666666666666019037e-02;
    constexpr double C2 = -1.38888888888741095749e-03;
    constexpr double C3 = 2.48015872894767294178e-05;
    constexpr double C4 = -2.75573143513906633035e-07;
    constexpr double C5 = 2.08757232129817482790e-09;
    constexpr double C6 = -1.13596475577881948265e-11;
    const double z = x * x;
    const double w = z * z;
    const double r = z * (C1 + z * (C2 + z * C3)) + w * w * (C4 + z * (C5 + z * C6));
    const double hz = 0.5 * z;
    const double v = 1.0 - hz;
    return v + (((1.0 - v) - hz) + z * r);
}

// Rotates (cos y, sin y) by q quarter turns: exact, only swaps and signs.
// Written with masks rather than conditions, which baseline x86-64 cannot
// vectorise on 64-bit lanes.
inline void rotateQuarter(std::uint64_t q, double c, double s, double& sinOut, double& cosOut) {
    const std::uint64_t swap = 0 - (q & 1);  // all ones for odd quarters
    const std::uint64_t cb = toBits(c);
    const std::uint64_t sb = toBits(s);
    const std::uint64_t a = (sb & ~swap) | (cb & swap);
    const std::uint64_t b = (cb & ~swap) | (sb & swap);
    sinOut = fromBits(a ^ ((q & 2) << 62));
    cosOut = fromBits(b ^ (((q + 1) & 2) << 62));
}

// sin and cos of x for |x| < 2^19 * pi/2, within about 1 ulp plus 1e-18
// absolute. The argument is reduced by the nearest multiple of pi/2 with a
// two-part pi/2 whose first part has 33 bits, so q * part is exact.
inline void sincos(double x, double& s, double& c) {
    constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
    constexpr double kPio2Hi = 0x1.921fb544p+0;
    constexpr double kPio2Lo = 0x1.0b4611a626331p-34;
    constexpr double kRound = 0x1.8p52;  // adding it rounds to an integer
    const double t = x * kTwoOverPi + kRound;
    const double q = t - kRound;
    const double y = (x - q * kPio2Hi) - q * kPio2Lo;
    rotateQuarter(toBits(t), cosKernel(y), sinKernel(y), s, c);
}

// x minus the nearest multiple of 2*pi, for |x| < 2^26 * 2*pi. 2*pi is split
// into three parts, the first two of 26 bits, so k * part is exact and the
// result is within about 1 ulp of the exact reduction (a plain fmod by the
// double nearest 2*pi drifts by 2.4e-16 per turn).
inline double reduceTwoPi(double x) {
    constexpr double kInvTwoPi = 0x1.45f306dc9c883p-3;
    constexpr double kP1 = 0x1.921fb58p+2;
    constexpr double kP2 = -0x1.dde974p-25;
    constexpr double kP3 = 0x1.1a62633145c07p-52;
    constexpr double kRound = 0x1.8p52;
    const double k = (x * kInvTwoPi + kRound) - kRound;
    return ((x - k * kP1) - k * kP2) - k * kP3;
}

// Natural logarithm of a positive normal number, within 1 ulp.
inline double log(double x) {
    constexpr double kLn2Hi = 6.93147180369123816490e-01;
    constexpr double kLn2Lo = 1.90821492927058770002e-10;
    constexpr double Lg1 = 6.666666666666735130e-01;
    constexpr double Lg2 = 3.999999999940941908e-01;
    constexpr double Lg3 = 2.857142874366239149e-01;
    constexpr double Lg4 = 2.222219843214978396e-01;
    constexpr double Lg5 = 1.818357216161805012e-01;
    constexpr double Lg6 = 1.531383769920937332e-01;
    constexpr double Lg7 = 1.479819860511658591e-01;
    // Split x = 2^k * m with m in [sqrt(2)/2, sqrt(2)), on 64-bit lanes only.
    const std::uint64_t ix = toBits(x);
    const std::uint64_t hx = (ix >> 32) + (0x3ff00000 - 0x3fe6a09e);
    const std::uint64_t biasedK = hx >> 20;
    const std::uint64_t mhx = (hx & 0x000fffff) + 0x3fe6a09e;
    const double m = fromBits((mhx << 32) | (ix & 0xffffffff));
    // biasedK is below 2^11, so this is exact: 2^52 + biasedK - 2^52 - 1023.
    const double dk = fromBits(0x4330000000000000ULL | biasedK) - (0x1p52 + 1023.0);
    const double f = m - 1.0;
    const double hfsq = 0.5 * f * f;
    const double s = f / (2.0 + f);
    const double z = s * s;
    const double w = z * z;
    const double t1 = w * (Lg2 + w * (Lg4 + w * Lg6));
    const double t2 = z * (Lg1 + w * (Lg3 + w * (Lg5 + w * Lg7)));
    return s * (hfsq + (t2 + t1)) + dk * kLn2Lo - hfsq + f + dk * kLn2Hi;
}

}  // namespace bt::detmath
