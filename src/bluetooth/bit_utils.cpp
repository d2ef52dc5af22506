#include "bluetooth/bit_utils.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "lib/numtext.h"

namespace bt {

namespace {

bool isWhole(double x) { return std::isfinite(x) && x == std::trunc(x); }

// Guards allocations sized by a caller's number: far beyond anything the
// generation chain asks for, small enough to be a clear error, not an abort.
constexpr double kMaxElements = 1e10;

std::size_t checkedSize(double n, const char* what) {
    if (!(n <= kMaxElements)) throw Error(std::string(what) + " is too large.");
    return n <= 0 ? 0 : static_cast<std::size_t>(n);
}

double checkedBase(double base) {
    if (!std::isfinite(base) || base != std::floor(base))
        throw Error("Destination base must be a finite real integer.");
    if (base < 2) throw Error("Cannot convert to a base of less than two.");
    return base;
}

}  // namespace

// ---------------------------------------------------------------- BitVector

Bits BitVector(double x, std::optional<double> minSize, std::string_view orientation) {
    if (!isWhole(x)) throw Error("Integer required");
    if (x < 0) throw Error("Non-negative integer required");
    // ceil(log2(x + 1)) computed exactly: the number of binary digits of x.
    std::size_t len = 0;
    for (double t = x; t >= 1; t = std::trunc(t / 2)) ++len;
    std::size_t size = len;
    if (minSize) {
        const double m = std::trunc(*minSize);
        if (m > static_cast<double>(len)) size = checkedSize(m, "Minimum size");
    }
    Bits out(size, 0);
    double t = x;
    for (std::size_t i = 0; i < len; ++i) {
        out[i] = static_cast<std::uint8_t>(std::fmod(t, 2.0));
        t = std::trunc(t / 2);
    }
    if (orientation == "left-msb") std::reverse(out.begin(), out.end());
    return out;
}

Bits BitVector(std::span<const Value> args) {
    if (args.empty() || args.size() > 3) throw Error("Incorrect number of parameters.");
    const auto scalarOf = [](const Value& v) {
        if (!v.isScalar()) throw Error("Integer required");
        return v.re[0];
    };
    const double x = scalarOf(args[0]);
    std::optional<double> minSize;
    if (args.size() >= 2 && !args[1].isEmpty()) {
        if (!args[1].isScalar()) throw Error("Minimum size must be a number.");
        minSize = args[1].re[0];
    } else if (args.size() == 1 && x > 0) {
        // The one-argument default, ceil(log2(x)), never exceeds the digits
        // of x, so it only documents the result size; keep it explicit.
        minSize = std::ceil(std::log2(x));
    }
    std::string orientation = "right-msb";
    if (args.size() == 3 && args[2].isText()) orientation = args[2].text;
    return BitVector(x, minSize, orientation);
}

// ------------------------------------------------------------------ Oct2bin

Bits Oct2bin(std::string_view octal, std::string_view inputOrder, std::string_view outputOrder) {
    std::string digits(octal);
    if (inputOrder == "left-msb") std::reverse(digits.begin(), digits.end());
    Bits row;
    row.reserve(3 * digits.size());
    for (char c : digits) {
        if (c < '0' || c > '9') throw Error(std::string("Invalid octal digit '") + c + "'.");
        // A digit 8 or 9 needs four bits and fails like De2bi(d, 3) would.
        const Matrix<double> b = De2bi({static_cast<double>(c - '0')}, 3.0);
        const Bits bits = {static_cast<std::uint8_t>(b.data[0]), static_cast<std::uint8_t>(b.data[1]),
                           static_cast<std::uint8_t>(b.data[2])};
        if (outputOrder == "right-msb") row.insert(row.end(), bits.begin(), bits.end());
        else row.insert(row.begin(), bits.begin(), bits.end());
    }
    while (!row.empty() && row.back() == 0) row.pop_back();
    return row;
}

Bits Oct2bin(std::span<const Value> args) {
    if (args.empty()) throw Error("Need at least one input parameter");
    if (args.size() > 3) throw Error("Too many input arguments.");
    for (const Value& a : args)
        if (!a.isText()) throw Error("Octal text and order texts required.");
    return Oct2bin(args[0].text, args.size() > 1 ? std::string_view(args[1].text) : "right-msb",
                   args.size() > 2 ? std::string_view(args[2].text) : "right-msb");
}

// -------------------------------------------------------------------- De2bi

Matrix<double> De2bi(const std::vector<double>& d, std::optional<double> n, std::optional<double> p,
                     std::string_view flag) {
    if (d.empty()) throw Error("Required parameter empty.");
    for (double v : d)
        if (!std::isfinite(v) || v < 0 || v != std::floor(v))
            throw Error("Input must contain only finite real positive integers.");
    const double base = p ? checkedBase(*p) : 2.0;
    const double maxD = *std::max_element(d.begin(), d.end());
    double ntmp = 1;
    if (maxD > 0) {
        ntmp = std::floor(std::log(maxD) / std::log(base)) + 1;
        if (std::pow(base, ntmp) <= maxD) ntmp += 1;  // logarithm fell short
    }
    double cols = ntmp;
    if (n) {
        cols = *n;
        if (!std::isfinite(cols) || cols != std::floor(cols))
            throw Error("Specified number of columns must be a finite real integer.");
        if (cols < ntmp) throw Error("Specified number of columns in output matrix is too small.");
    }
    const bool leftMsb = flag == "left-msb";
    if (!flag.empty() && !leftMsb && flag != "right-msb") throw Error("Invalid string flag.");

    const std::size_t nc = checkedSize(cols * static_cast<double>(d.size()), "Output") / d.size();
    Matrix<double> b(d.size(), nc, 0.0);
    for (std::size_t i = 0; i < d.size(); ++i) {
        double t = d[i];
        for (std::size_t j = 0; j < nc && t > 0; ++j) {
            b(i, j) = std::fmod(t, base);
            t = std::floor(t / base);
        }
        if (leftMsb) std::reverse(b.data.begin() + static_cast<std::ptrdiff_t>(i * nc),
                                  b.data.begin() + static_cast<std::ptrdiff_t>((i + 1) * nc));
    }
    return b;
}

Matrix<double> De2bi(std::span<const Value> args) {
    if (args.empty()) throw Error("Not enough input arguments.");
    if (args.size() > 4) throw Error("Too many input arguments.");
    std::string pattern;
    for (const Value& a : args) {
        if (a.isNumeric()) pattern += 'n';
        else if (a.isText()) pattern += 's';
        else throw Error("Only string and numeric arguments are accepted.");
    }
    static constexpr std::string_view accepted[] = {"n",    "nn",   "ns",   "nnn",  "nns",
                                                    "nsn",  "nnns", "nnsn", "nsnn"};
    if (std::find(std::begin(accepted), std::end(accepted), pattern) == std::end(accepted))
        throw Error("Syntax error.");

    const Value& dv = args[0];
    if (dv.isEmpty()) throw Error("Required parameter empty.");
    for (std::size_t i = 0; i < dv.re.size(); ++i) {
        const double v = dv.re[i];
        const bool real = !dv.isComplex() || dv.im[i] == 0;
        if (!real || !std::isfinite(v) || v < 0 || v != std::floor(v))
            throw Error("Input must contain only finite real positive integers.");
    }
    // The first numeric argument after d is the column count, the second the
    // base; the text is the flag wherever it stands.
    const Value* nArg = nullptr;
    const Value* pArg = nullptr;
    std::string flag = "right-msb";
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i].isText()) {
            if (!args[i].text.empty()) flag = args[i].text;
        } else if (!nArg) {
            nArg = &args[i];
        } else {
            pArg = &args[i];
        }
    }
    std::optional<double> n, p;
    if (pArg && !pArg->isEmpty()) {
        if (!pArg->isScalar()) throw Error("Destination base must be scalar.");
        if (pArg->isComplex() && pArg->im[0] != 0)
            throw Error("Destination base must be a finite real integer.");
        p = checkedBase(pArg->re[0]);
    }
    if (nArg && !nArg->isEmpty()) {
        if (!nArg->isScalar()) throw Error("Specified number of columns must be scalar.");
        if (nArg->isComplex() && nArg->im[0] != 0)
            throw Error("Specified number of columns must be a finite real integer.");
        n = nArg->re[0];
    }
    // The typed form checks base, columns and flag, in that order.
    return De2bi(dv.re, n, p, flag);
}

// ------------------------------------------------------ shifts and extension

namespace detail {

std::size_t shiftCount(double count, std::size_t length) {
    const double k = roundHalfAway(count);
    if (!(k > 0)) return 0;
    if (k > static_cast<double>(length))
        throw Error("Shift count " + formatNumber(k) + " exceeds the vector length " +
                    std::to_string(length) + ".");
    return static_cast<std::size_t>(k);
}

std::size_t extendLength(double reqLength, std::size_t dataLength) {
    if (dataLength == 0) throw Error("Cannot extend an empty vector.");
    if (!(reqLength >= 0)) throw Error("Required length must be a non-negative number.");
    return checkedSize(std::floor(reqLength), "Required length");
}

}  // namespace detail

}  // namespace bt
