#include "lib/num2str.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "lib/errors.h"

namespace bt {

namespace {

bool isWhole(double x) { return std::isfinite(x) && x == std::trunc(x); }

std::string printf1(const char* format, double x) {
    char buf[512];
    std::snprintf(buf, sizeof buf, format, x);
    return buf;
}

std::string special(double x) {
    if (std::isnan(x)) return "NaN";
    return x > 0 ? "Inf" : "-Inf";
}

// Significant digits for values up to `largest` in magnitude.
int displayDigits(double largest) {
    const double l = largest > 0 ? std::ceil(std::log10(largest)) : 0;
    return static_cast<int>(std::max(1.0, std::min(11.0, l))) + 4;
}

std::string part(double x, int digits) {
    if (!std::isfinite(x)) return special(x);
    if (isWhole(x)) return printf1("%.0f", x == 0 ? 0.0 : x);
    return printf1(("%." + std::to_string(digits) + "g").c_str(), x);
}

std::string trimLeft(std::string s) {
    const auto first = s.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : s.substr(first);
}

}  // namespace

std::string num2Str(double x) { return part(x, displayDigits(std::fabs(x))); }

std::string num2Str(Complex z) {
    const double largest = std::max(std::fabs(z.real()), std::fabs(z.imag()));
    const int digits = displayDigits(std::isfinite(largest) ? largest : 0);
    std::string im = part(z.imag(), digits);
    if (im.front() != '-') im = "+" + im;
    return part(z.real(), digits) + im + "i";
}

std::string num2Str(const std::vector<double>& values, std::size_t cols) {
    if (values.empty()) return {};
    if (cols == 0) cols = values.size();
    double largest = 0;
    for (double v : values)
        if (std::isfinite(v)) largest = std::max(largest, std::fabs(v));
    const int digits = displayDigits(largest);
    std::vector<std::string> texts;
    std::size_t width = 0;
    for (double v : values) {
        texts.push_back(part(v, digits));
        width = std::max(width, texts.back().size());
    }
    // Right-aligned columns two blanks apart; the blanks every line starts
    // with are removed.
    std::vector<std::string> lines;
    for (std::size_t first = 0; first < texts.size(); first += cols) {
        std::string line;
        for (std::size_t k = first; k < std::min(first + cols, texts.size()); ++k)
            line += std::string(width + 2 - texts[k].size(), ' ') + texts[k];
        lines.push_back(line);
    }
    std::size_t common = std::string::npos;
    for (const auto& l : lines) common = std::min(common, l.find_first_not_of(' '));
    std::string out;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        if (k) out += '\n';
        out += lines[k].substr(common == std::string::npos ? 0 : common);
    }
    return out;
}

std::string num2Str(double x, int precision) {
    if (!std::isfinite(x)) return special(x);
    return trimLeft(printf1(("%." + std::to_string(std::clamp(precision, 1, 99)) + "g").c_str(), x));
}

std::string num2Str(double x, std::string_view format) {
    const std::string f(format);
    const auto percent = f.find('%');
    if (percent == std::string::npos) throw Error("'" + f + "' is an invalid format.");
    // One conversion: %[flags][width][.precision]type.
    std::size_t k = percent + 1;
    while (k < f.size() && std::string_view("-+ #0").find(f[k]) != std::string_view::npos) ++k;
    const std::size_t widthStart = k;
    while (k < f.size() && std::isdigit(static_cast<unsigned char>(f[k]))) ++k;
    if (k == widthStart) throw Error("Format must contain field width.");
    if (k < f.size() && f[k] == '.') {
        ++k;
        while (k < f.size() && std::isdigit(static_cast<unsigned char>(f[k]))) ++k;
    }
    if (k >= f.size() || std::string_view("dieEfgGxXo").find(f[k]) == std::string_view::npos ||
        f.find('%', k + 1) != std::string::npos)
        throw Error("'" + f + "' is an invalid format.");
    std::string spec = f.substr(percent, k + 1 - percent);
    const std::string rest = f.substr(k + 1);
    const char type = f[k];
    std::string text;
    if (type == 'd' || type == 'i' || type == 'x' || type == 'X' || type == 'o') {
        // Whole-number conversions of a value that is not whole fall back
        // to the exponential form, as the environment's conversion does.
        if (!isWhole(x) || std::fabs(x) > 9.2e18) {
            spec.back() = 'e';
            text = printf1(spec.c_str(), x);
        } else {
            spec.insert(spec.size() - 1, "ll");
            char buf[512];
            std::snprintf(buf, sizeof buf, spec.c_str(), static_cast<long long>(x));
            text = buf;
        }
    } else {
        text = printf1(spec.c_str(), x);
    }
    return trimLeft(f.substr(0, percent) + text + rest);
}

}  // namespace bt
