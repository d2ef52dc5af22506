#pragma once
// Array types shared by the whole generation chain.
//
// Bit rows are contiguous 8-bit vectors holding exactly 0 or 1, position 0
// first on air. Waveforms are complex double rows; marker rows are 8-bit.
#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace bt {

using Bits = std::vector<std::uint8_t>;
using RealRow = std::vector<double>;
using Complex = std::complex<double>;
using ComplexRow = std::vector<Complex>;
using MarkerRow = std::vector<std::uint8_t>;

// The two marker rows that accompany every waveform: row 1 is the symbol
// clock, row 2 the payload (packet mode) or start (stream mode) marker.
struct Markers {
    MarkerRow row1;
    MarkerRow row2;

    std::size_t size() const { return row1.size(); }
    bool empty() const { return row1.empty(); }
    void resize(std::size_t n) {
        row1.resize(n);
        row2.resize(n);
    }
    bool operator==(const Markers&) const = default;
};

// A dense row-major matrix, used where a routine returns one row per input.
template <class T>
struct Matrix {
    std::size_t rows = 0;
    std::size_t cols = 0;
    std::vector<T> data;

    Matrix() = default;
    Matrix(std::size_t r, std::size_t c, T fill = T{}) : rows(r), cols(c), data(r * c, fill) {}
    T& operator()(std::size_t r, std::size_t c) { return data[r * cols + c]; }
    const T& operator()(std::size_t r, std::size_t c) const { return data[r * cols + c]; }
    std::vector<T> row(std::size_t r) const {
        return std::vector<T>(data.begin() + static_cast<std::ptrdiff_t>(r * cols),
                              data.begin() + static_cast<std::ptrdiff_t>((r + 1) * cols));
    }
    bool operator==(const Matrix&) const = default;
};

}  // namespace bt
