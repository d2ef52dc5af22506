#pragma once
// A dynamically typed argument, for the few exported routines whose
// behaviour depends on how many arguments of which kind they are given
// (numeric array, text, or anything else). Typed C++ overloads of the same
// routines are the normal way to call them.
#include <complex>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace bt {

struct Value {
    enum class Kind { Numeric, Text, Other };

    Kind kind = Kind::Numeric;
    std::size_t rows = 0;
    std::size_t cols = 0;
    std::vector<double> re;  // column-major, rows * cols elements
    std::vector<double> im;  // empty for real arrays
    std::string text;

    static Value scalar(double x) { return {Kind::Numeric, 1, 1, {x}, {}, {}}; }
    static Value row(std::vector<double> xs) {
        const std::size_t n = xs.size();
        return {Kind::Numeric, n ? 1u : 0u, n, std::move(xs), {}, {}};
    }
    static Value matrix(std::size_t r, std::size_t c, std::vector<double> columnMajor) {
        return {Kind::Numeric, r, c, std::move(columnMajor), {}, {}};
    }
    static Value complexRow(const std::vector<std::complex<double>>& xs) {
        Value v{Kind::Numeric, xs.empty() ? 0u : 1u, xs.size(), {}, {}, {}};
        v.re.reserve(xs.size());
        v.im.reserve(xs.size());
        for (auto z : xs) {
            v.re.push_back(z.real());
            v.im.push_back(z.imag());
        }
        return v;
    }
    static Value empty() { return {}; }
    static Value str(std::string s) { return {Kind::Text, 1, s.size(), {}, {}, std::move(s)}; }
    static Value other() { return {Kind::Other, 1, 1, {}, {}, {}}; }

    bool isNumeric() const { return kind == Kind::Numeric; }
    bool isText() const { return kind == Kind::Text; }
    bool isEmpty() const { return kind == Kind::Numeric ? re.empty() : (kind == Kind::Text && text.empty()); }
    bool isScalar() const { return kind == Kind::Numeric && re.size() == 1; }
    bool isComplex() const { return !im.empty(); }
    std::size_t numel() const { return kind == Kind::Text ? text.size() : re.size(); }
};

}  // namespace bt
