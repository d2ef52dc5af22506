// libFuzzer target: the command line's number reader takes any text and
// gives a finite number within the option's limits, or a reason, never a
// NaN; the plain reader never gives a NaN and reads back what it writes.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "lib/numtext.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const auto v = bt::parseNumber(text);
    if (v) {
        if (std::isnan(*v)) std::abort();
        if (std::isfinite(*v) && bt::parseNumber(bt::formatNumber(*v)) != *v) std::abort();
    }
    struct Rule {
        double lo, hi;
        bool whole;
    };
    for (const Rule& rule : {Rule{1.0, 86'400'000.0, true}, Rule{-9254.0, 9254.0, false},
                             Rule{-HUGE_VAL, HUGE_VAL, false}}) {
        const auto [lo, hi, whole] = rule;
        const bt::OptionNumber n = bt::readOptionNumber(text, lo, hi, whole);
        if (n.value.has_value() == !n.error.empty()) std::abort();  // a value or a reason, never both
        if (n.value && (!std::isfinite(*n.value) || *n.value < lo || *n.value > hi)) std::abort();
        if (n.value && whole && *n.value != std::trunc(*n.value)) std::abort();
        if (n.value && *n.value != *v) std::abort();  // the same reading as the plain reader
    }
    if (const auto h = bt::parseHex(text); h && std::isnan(*h)) std::abort();
    return 0;
}
