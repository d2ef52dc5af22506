#pragma once
// Bit and vector utilities of the generation chain.
//
// Bit-row convention used everywhere: element 0 goes on air first; numbers
// become bits least significant bit first ("right-msb"). GF(2) polynomials
// are coefficient rows in ascending powers (element k holds D^k).
#include <cmath>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lib/errors.h"
#include "lib/types.h"
#include "lib/value.h"

namespace bt {

// The bits of a non-negative whole number, at least `minSize` of them
// (zero-padded at the most significant end, never truncated). Without
// `minSize` the row has exactly ceil(log2(x + 1)) elements.
Bits BitVector(double x, std::optional<double> minSize = std::nullopt,
               std::string_view orientation = "right-msb");
// Argument-count checking form: 1 to 3 arguments (x, minSize, orientation).
Bits BitVector(std::span<const Value> args);

// Octal generator text to an ascending coefficient row with trailing zeros
// removed; "13" with input order "left-msb" is 1 1 0 1 (1 + D + D^3).
Bits Oct2bin(std::string_view octal, std::string_view inputOrder = "right-msb",
             std::string_view outputOrder = "right-msb");
Bits Oct2bin(std::span<const Value> args);

// Digits of each element of `d` in base `p`, one row per element.
Matrix<double> De2bi(const std::vector<double>& d, std::optional<double> n = std::nullopt,
                     std::optional<double> p = std::nullopt, std::string_view flag = "right-msb");
// Every argument pattern: d, then numeric n and p in that order and a text
// flag anywhere after d.
Matrix<double> De2bi(std::span<const Value> args);

namespace detail {
std::size_t shiftCount(double count, std::size_t length);
std::size_t extendLength(double reqLength, std::size_t dataLength);
}  // namespace detail

// The first `count` elements move to the end; zero or negative counts shift
// nothing. `count` is rounded half away from zero and may not exceed the
// length.
template <class T>
std::vector<T> CircularShiftLeft(const std::vector<T>& input, double count) {
    const std::size_t k = detail::shiftCount(count, input.size());
    std::vector<T> out;
    out.reserve(input.size());
    out.insert(out.end(), input.begin() + static_cast<std::ptrdiff_t>(k), input.end());
    out.insert(out.end(), input.begin(), input.begin() + static_cast<std::ptrdiff_t>(k));
    return out;
}

// The last `count` elements move to the front.
template <class T>
std::vector<T> CircularShiftRight(const std::vector<T>& input, double count) {
    const std::size_t k = detail::shiftCount(count, input.size());
    std::vector<T> out;
    out.reserve(input.size());
    out.insert(out.end(), input.end() - static_cast<std::ptrdiff_t>(k), input.end());
    out.insert(out.end(), input.begin(), input.end() - static_cast<std::ptrdiff_t>(k));
    return out;
}

// `data` repeated cyclically (or truncated) to exactly `reqLength` elements.
template <class T>
std::vector<T> ExtendVector(const std::vector<T>& data, double reqLength) {
    const std::size_t n = detail::extendLength(reqLength, data.size());
    std::vector<T> out;
    out.reserve(n);
    while (out.size() < n) {
        const std::size_t take = std::min(data.size(), n - out.size());
        out.insert(out.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(take));
    }
    return out;
}

}  // namespace bt
