#pragma once
// Millions of samples on a few hundred pixel columns: a min/max envelope
// kept in levels built once, each level summarising 16 entries of the one
// below, so that any zoom reads a level with about one entry per column.
// Extremes are rounded outwards when stored, so a peak is never lost: a
// single-sample spike shows in its column at every zoom.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "lib/types.h"

namespace bt::plots {

class Envelope {
public:
    static constexpr std::size_t kFactor = 16;

    Envelope() = default;
    // The envelope of the real (component 0) or imaginary (1) parts of
    // `wave`, which must outlive it (raw samples are read from it). Such
    // long rows at hand keep no finest level: a view of up to 256 samples a
    // column reads the samples, which costs a redraw about a millisecond
    // and saves fifteen sixteenths of the levels' memory.
    static Envelope ofComponent(std::span<const Complex> wave, int component);
    // The envelope of plain values, which must outlive it.
    static Envelope ofValues(std::span<const float> values);
    // The envelope of plain values that need not outlive it: short rows are
    // copied, longer ones (over kKeptValues) are summarised by the levels
    // alone, so that the deepest zoom shows each run of kFactor values as
    // its min/max span instead of the values themselves.
    static Envelope levelsOf(std::span<const float> values);
    static constexpr std::size_t kKeptValues = std::size_t{1} << 16;
    // The envelope of `size` values that were never stored, from its finest
    // level made elsewhere: lo[k] and hi[k] the extremes of values
    // [16 k, 16 k + 16), as levelsOf would have made them from the values.
    static Envelope ofFinestLevel(std::vector<float> lo, std::vector<float> hi, std::size_t size);
    // The envelope of a 0/1 marker row, which must outlive it (no finest
    // level either).
    static Envelope ofBytes(std::span<const std::uint8_t> values);
    // The envelope of `size` 0/1 values packed by packBits, which must
    // outlive it (no finest level either).
    static Envelope ofBits(std::span<const std::uint64_t> words, std::size_t size);
    // Bit i of word i / 64 set for each non-zero values[i]: a marker row in
    // an eighth of its bytes.
    static std::vector<std::uint64_t> packBits(std::span<const std::uint8_t> values);

    std::size_t size() const { return size_; }
    // Whether single values can be read (value(), raw views).
    bool hasValues() const { return d_ || f_ || b_ || w_; }
    double value(std::size_t i) const {
        return f_   ? static_cast<double>(f_[i])
               : b_ ? static_cast<double>(b_[i])
               : w_ ? static_cast<double>((w_[i >> 6] >> (i & 63)) & 1)
                    : d_[i * stride_];
    }
    // Levels stored (the finest of a long row at hand is not).
    std::size_t levels() const { return levels_.size(); }
    // Bytes held beyond the source (the levels, and a copied row).
    std::size_t memoryBytes() const;

    // What to draw for samples [floor(first), ceil(last)) on `columns`
    // pixel columns.
    // raw: keys are sample indices and lo == hi the samples themselves
    // (when the range holds at most two samples per column and the values
    // are at hand). Otherwise one
    // entry per column: its first sample's index and the smallest and
    // largest value of the samples it covers (a column's span may reach
    // into a neighbour's, never fall short of its own).
    struct View {
        bool raw = false;
        std::vector<double> keys;
        std::vector<double> lo;
        std::vector<double> hi;
    };
    View view(double first, double last, std::size_t columns) const;

private:
    struct Level {
        std::vector<float> lo, hi;
    };
    void build();
    void buildCoarser();
    void extremes(std::size_t a, std::size_t b, std::size_t level, double& lo, double& hi) const;

    const double* d_ = nullptr;
    const float* f_ = nullptr;
    const std::uint8_t* b_ = nullptr;
    const std::uint64_t* w_ = nullptr;
    std::size_t stride_ = 1;
    std::shared_ptr<const std::vector<float>> kept_;  // a short row copied by levelsOf
    std::size_t size_ = 0;
    // levels_[0] summarises 16^(1 + skip_) samples per entry.
    std::vector<Level> levels_;
    std::size_t skip_ = 0;
};

}  // namespace bt::plots
