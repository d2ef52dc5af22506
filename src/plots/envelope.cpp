#include "plots/envelope.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "lib/parallel.h"

namespace bt::plots {

namespace {

float below(double v) {
    auto f = static_cast<float>(v);
    if (static_cast<double>(f) > v) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
    return f;
}
float above(double v) {
    auto f = static_cast<float>(v);
    if (static_cast<double>(f) < v) f = std::nextafter(f, std::numeric_limits<float>::infinity());
    return f;
}

}  // namespace

Envelope Envelope::ofComponent(std::span<const Complex> wave, int component) {
    Envelope e;
    // std::complex<double> is an array of two doubles. An empty row may
    // have no array at all, which no offset may be added to.
    if (!wave.empty()) e.d_ = reinterpret_cast<const double*>(wave.data()) + (component == 0 ? 0 : 1);
    e.stride_ = 2;
    e.size_ = wave.size();
    e.skip_ = 1;
    e.build();
    return e;
}

Envelope Envelope::ofValues(std::span<const float> values) {
    Envelope e;
    e.f_ = values.data();
    e.size_ = values.size();
    e.build();
    return e;
}

Envelope Envelope::levelsOf(std::span<const float> values) {
    if (values.size() <= kKeptValues) {
        auto kept = std::make_shared<const std::vector<float>>(values.begin(), values.end());
        Envelope e = ofValues(*kept);
        e.kept_ = std::move(kept);
        return e;
    }
    Envelope e = ofValues(values);
    e.f_ = nullptr;
    return e;
}

Envelope Envelope::ofBytes(std::span<const std::uint8_t> values) {
    Envelope e;
    e.b_ = values.data();
    e.size_ = values.size();
    e.skip_ = 1;
    e.build();
    return e;
}

Envelope Envelope::ofBits(std::span<const std::uint64_t> words, std::size_t size) {
    Envelope e;
    e.w_ = words.data();
    e.size_ = std::min(size, words.size() * 64);
    e.skip_ = 1;
    e.build();
    return e;
}

std::vector<std::uint64_t> Envelope::packBits(std::span<const std::uint8_t> values) {
    std::vector<std::uint64_t> words((values.size() + 63) / 64, 0);
    constexpr std::size_t chunk = 1 << 12;  // words per task
    parallelFor((words.size() + chunk - 1) / chunk, [&](std::size_t c) {
        const std::size_t end = std::min(words.size(), (c + 1) * chunk);
        for (std::size_t k = c * chunk; k < end; ++k) {
            std::uint64_t w = 0;
            const std::size_t last = std::min(values.size(), 64 * k + 64);
            for (std::size_t i = 64 * k; i < last; ++i) w |= std::uint64_t{values[i] != 0} << (i - 64 * k);
            words[k] = w;
        }
    });
    return words;
}

std::size_t Envelope::memoryBytes() const {
    std::size_t b = 0;
    for (const Level& l : levels_) b += (l.lo.capacity() + l.hi.capacity()) * sizeof(float);
    if (kept_) b += kept_->capacity() * sizeof(float);
    return b;
}

void Envelope::build() {
    levels_.clear();
    std::size_t factor = kFactor;
    for (std::size_t k = 0; k < skip_; ++k) factor *= kFactor;
    if (size_ <= factor) return;
    // The first level from the samples, in parallel chunks.
    Level first;
    const std::size_t n1 = (size_ + factor - 1) / factor;
    first.lo.resize(n1);
    first.hi.resize(n1);
    const std::size_t chunk = (std::size_t{1} << 18) / factor;  // entries per task
    parallelFor((n1 + chunk - 1) / chunk, [&](std::size_t c) {
        const std::size_t end = std::min(n1, (c + 1) * chunk);
        for (std::size_t k = c * chunk; k < end; ++k) {
            const std::size_t a = k * factor, b = std::min(size_, a + factor);
            double lo = value(a), hi = lo;
            for (std::size_t i = a + 1; i < b; ++i) {
                const double v = value(i);
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
            first.lo[k] = below(lo);
            first.hi[k] = above(hi);
        }
    });
    levels_.push_back(std::move(first));
    buildCoarser();
}

Envelope Envelope::ofFinestLevel(std::vector<float> lo, std::vector<float> hi, std::size_t size) {
    Envelope e;
    if (lo.size() != hi.size() || lo.size() != (size + kFactor - 1) / kFactor)
        throw std::invalid_argument("Envelope: a finest level of the wrong length");
    e.size_ = size;
    e.levels_.push_back(Level{std::move(lo), std::move(hi)});
    e.buildCoarser();
    return e;
}

void Envelope::buildCoarser() {
    while (levels_.back().lo.size() > kFactor) {
        const Level& prev = levels_.back();
        Level next;
        const std::size_t n = (prev.lo.size() + kFactor - 1) / kFactor;
        next.lo.resize(n);
        next.hi.resize(n);
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t a = k * kFactor, b = std::min(prev.lo.size(), a + kFactor);
            next.lo[k] = *std::min_element(prev.lo.begin() + static_cast<std::ptrdiff_t>(a),
                                           prev.lo.begin() + static_cast<std::ptrdiff_t>(b));
            next.hi[k] = *std::max_element(prev.hi.begin() + static_cast<std::ptrdiff_t>(a),
                                           prev.hi.begin() + static_cast<std::ptrdiff_t>(b));
        }
        levels_.push_back(std::move(next));
    }
}

// Extremes of samples [a, b) read from `level` (0, and the finest levels
// not stored: the samples; L: the entries of levels_[L - 1 - skip_]), whose
// entries may reach beyond [a, b).
void Envelope::extremes(std::size_t a, std::size_t b, std::size_t level, double& lo, double& hi) const {
    lo = std::numeric_limits<double>::infinity();
    hi = -lo;
    if (level <= skip_) {
        for (std::size_t i = a; i < b; ++i) {
            const double v = value(i);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        return;
    }
    const Level& l = levels_[level - 1 - skip_];
    std::size_t span = 1;
    for (std::size_t k = 0; k < level; ++k) span *= kFactor;
    const std::size_t ea = a / span, eb = (b - 1) / span;
    for (std::size_t k = ea; k <= eb && k < l.lo.size(); ++k) {
        lo = std::min(lo, static_cast<double>(l.lo[k]));
        hi = std::max(hi, static_cast<double>(l.hi[k]));
    }
}

Envelope::View Envelope::view(double first, double last, std::size_t columns) const {
    View v;
    if (size_ == 0 || columns == 0) return v;
    const auto a = static_cast<std::size_t>(std::clamp(std::floor(first), 0.0, static_cast<double>(size_ - 1)));
    const auto b = static_cast<std::size_t>(std::clamp(std::ceil(last), static_cast<double>(a + 1),
                                                       static_cast<double>(size_)));
    const std::size_t count = b - a;
    if (count <= 2 * columns && hasValues()) {
        v.raw = true;
        v.keys.resize(count);
        v.lo.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            v.keys[i] = static_cast<double>(a + i);
            v.lo[i] = value(a + i);
        }
        v.hi = v.lo;
        return v;
    }
    const double perColumn = static_cast<double>(count) / static_cast<double>(columns);
    std::size_t level = 0;
    for (double span = kFactor; span <= perColumn && level < levels_.size() + skip_; span *= kFactor) ++level;
    if (level <= skip_) level = 0;
    // Without the values the finest level stands in for them: a column
    // then shows the span of the run of kFactor values it falls in.
    if (!hasValues()) level = std::max<std::size_t>(level, 1);
    v.keys.resize(columns);
    v.lo.resize(columns);
    v.hi.resize(columns);
    for (std::size_t c = 0; c < columns; ++c) {
        const std::size_t ca = a + static_cast<std::size_t>(std::floor(static_cast<double>(c) * perColumn));
        std::size_t cb = c + 1 == columns ? b : a + static_cast<std::size_t>(std::floor(static_cast<double>(c + 1) * perColumn));
        cb = std::max(cb, ca + 1);
        v.keys[c] = static_cast<double>(ca);
        extremes(ca, cb, level, v.lo[c], v.hi[c]);
    }
    return v;
}

}  // namespace bt::plots
