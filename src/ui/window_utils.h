#pragma once
// The arithmetic behind the window utilities, free of any toolkit.
#include <string>
#include <string_view>
#include <vector>

#include "bluetooth/settings_fields.h"
#include "lib/matfile.h"
#include "lib/types.h"
#include "ui/mat_records.h"

namespace bt {

// A window's place: [left bottom width height], as the layouts store it.
struct WindowRect {
    double left = 0, bottom = 0, width = 0, height = 0;
};

// `child` moved so that it is centred over `parent`, keeping its size.
WindowRect centredOver(const WindowRect& child, const WindowRect& parent);

// The font size a control gets on a screen of `screenDpi` pixels per inch:
// a tenth larger, rounded, on a standard 96-dpi screen; unchanged elsewhere.
double scaledFontSize(double size, double screenDpi);

// ------------------------------------------------------ record comparison

// 1 when `a` and `b` are both records (structs) with the same fields in the
// same order and equal values: both empty, both records (compared the same
// way, element by element for record arrays), both numeric of one size with
// no differing element (a NaN matches only a NaN in the same place), or
// otherwise identical. 0 for anything that is not a record.
bool compareStruct(const MatValue& a, const MatValue& b);

// The same comparison for the application's settings records.
template <SettingsRecord T>
bool compareStruct(const T& a, const T& b) {
    return compareStruct(toMatValue(a), toMatValue(b));
}

// --------------------------------------------------------- number display

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
