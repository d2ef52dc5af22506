#include "lib/numtext.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace bt {

namespace {

std::string_view trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// Removes a leading sign; true when it was a minus.
bool takeSign(std::string_view& s) {
    if (s.empty() || (s.front() != '+' && s.front() != '-')) return false;
    const bool negative = s.front() == '-';
    s.remove_prefix(1);
    return negative;
}

// Whether an out-of-range decimal text (digits, point, exponent; no sign)
// is too large rather than too small: its decimal order of magnitude, from
// the digits before the point (or the zeros after it) and the exponent.
bool overflows(std::string_view s) {
    const auto e = s.find_first_of("eE");
    const std::string_view mantissa = s.substr(0, e);
    long long order = 0;
    const auto point = mantissa.find('.');
    const std::string_view whole = mantissa.substr(0, point);
    const auto firstDigit = whole.find_first_not_of('0');
    if (firstDigit != std::string_view::npos) {
        order = static_cast<long long>(whole.size() - firstDigit);
    } else if (point != std::string_view::npos) {
        const std::string_view fraction = mantissa.substr(point + 1);
        const auto nonzero = fraction.find_first_not_of('0');
        if (nonzero == std::string_view::npos) return false;  // zero
        order = -static_cast<long long>(nonzero);
    }
    if (e != std::string_view::npos) {
        std::string_view exp = s.substr(e + 1);
        const bool negative = takeSign(exp);
        long long x = 0;
        for (char c : exp) x = std::min<long long>(x * 10 + (c - '0'), 1'000'000'000);
        order += negative ? -x : x;
    }
    return order > 0;
}

std::string toChars(double x, std::chars_format fmt, int precision) {
    std::array<char, 64> buf{};
    auto res = std::to_chars(buf.data(), buf.data() + buf.size(), x, fmt, precision);
    return std::string(buf.data(), res.ptr);
}

}  // namespace

double roundHalfAway(double x) { return std::round(x); }

std::string formatNumber(double x) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
    if (x == 0) return "0";
    if (x == std::trunc(x) && std::fabs(x) < 1e17) return toChars(x, std::chars_format::fixed, 0);
    // Fifteen significant digits read better ("0.1" rather than
    // "0.10000000000000001"); fall back to seventeen where fifteen would not
    // read back to the same value.
    for (int digits : {15, 17}) {
        std::string s = toChars(x, std::chars_format::general, digits);
        double back = 0;
        std::from_chars(s.data(), s.data() + s.size(), back);
        if (back == x || digits == 17) return s;
    }
    return {};
}

std::string formatFixed(double x, int decimals) {
    std::string s = toChars(x, std::chars_format::fixed, decimals);
    if (s == "-0" || (s.size() > 2 && s.rfind("-0.", 0) == 0 &&
                      s.find_first_not_of("0.", 1) == std::string::npos))
        s.erase(0, 1);  // no "-0.0"
    return s;
}

std::optional<double> parseNumber(std::string_view text) {
    std::string_view s = trim(text);
    const bool negative = takeSign(s);
    if (s.empty() || !(std::isdigit(static_cast<unsigned char>(s.front())) || s.front() == '.'))
        return std::nullopt;
    double value = 0;
    auto res = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        // Overflow saturates (a huge entry is clamped by the editors anyway);
        // underflow reads as zero.
        value = overflows(s.substr(0, static_cast<std::size_t>(res.ptr - s.data()))) ? HUGE_VAL : 0.0;
    } else if (res.ec != std::errc{}) {
        return std::nullopt;
    }
    if (res.ptr != s.data() + s.size()) return std::nullopt;
    if (std::isnan(value)) return std::nullopt;
    return negative ? -value : value;
}

OptionNumber readOptionNumber(std::string_view text, double min, double max, bool whole) {
    const std::optional<double> v = parseNumber(text);
    if (!v) return {std::nullopt, "is not a number"};
    if (!std::isfinite(*v)) return {std::nullopt, "is out of range"};
    if (whole && *v != std::trunc(*v)) return {std::nullopt, "must be a whole number"};
    if (*v < min) return {std::nullopt, "must be at least " + formatNumber(min)};
    if (*v > max) return {std::nullopt, "must be at most " + formatNumber(max)};
    return {*v, {}};
}

std::optional<double> parseHex(std::string_view text) {
    std::string_view s = trim(text);
    const bool negative = takeSign(s);
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.remove_prefix(2);
    if (s.empty()) return std::nullopt;
    double value = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return std::nullopt;
        value = value * 16 + d;  // doubles saturate to inf, never wrap
    }
    return negative ? -value : value;
}

std::string formatHex(double value, int width) {
    static constexpr char digits[] = "0123456789ABCDEF";
    // Clamped before the cast: out-of-range conversions are undefined.
    std::uint64_t v = 0;
    if (value >= 18446744073709551615.0) v = UINT64_MAX;
    else if (value > 0) v = static_cast<std::uint64_t>(value);
    std::string s;
    do {
        s.insert(s.begin(), digits[v & 0xF]);
        v >>= 4;
    } while (v != 0);
    if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
    return s;
}

}  // namespace bt
