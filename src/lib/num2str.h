#pragma once
// Numbers as the numeric environment displays them.
#include <string>
#include <string_view>
#include <vector>

#include "lib/types.h"

namespace bt {

// The display text of a number as the numeric environment's number-to-text
// conversion writes it: whole numbers as integers ("2402000000"), others
// with max(1, min(11, ceil(log10(|x|)))) + 4 significant digits in the
// shorter of fixed and exponential form ("0.315"), complex values as
// "re+imi", no leading blanks.
std::string num2Str(double x);
std::string num2Str(Complex z);
// A row or matrix (row-major, `cols` per row): columns two blanks apart,
// one line per row.
std::string num2Str(const std::vector<double>& values, std::size_t cols = 0);
// With `precision` significant digits.
std::string num2Str(double x, int precision);
// With an explicit format ("%10.4f"). Throws bt::Error "Format must contain
// field width." when the format has no field width and "'<format>' is an
// invalid format." when it has no conversion.
std::string num2Str(double x, std::string_view format);
// Text is returned unchanged.
inline std::string num2Str(std::string_view text) { return std::string(text); }
inline std::string num2Str(const char* text) { return std::string(text); }

}  // namespace bt
