#pragma once
// Locale-independent number <-> text conversion. Everything that ends up in a
// file, an SCPI command or a control goes through here, never through the
// process locale (a German locale would write "0,1").
#include <optional>
#include <string>
#include <string_view>

namespace bt {

// Shortest decimal text that reads back to exactly `x`: whole numbers print
// without exponent or point ("1000000"), others with up to 17 significant
// digits ("0.4227005870841487").
std::string formatNumber(double x);

// Decimal text with a fixed number of digits after the point ("12.3").
std::string formatFixed(double x, int decimals);

// Reads a decimal number (optional sign, digits, point, exponent), allowing
// surrounding blanks. Returns nothing for empty or malformed text.
std::optional<double> parseNumber(std::string_view text);

// A number given on a command line, checked against the option's rules:
// finite, within [min, max] and, for `whole`, without a fraction. Either
// `value` or the reason it was refused ("is not a number", "must be at
// least 1", ...).
struct OptionNumber {
    std::optional<double> value;
    std::string error;
};
OptionNumber readOptionNumber(std::string_view text, double min, double max, bool whole);

// Reads a hexadecimal number (optional sign, optional "0x"), allowing
// surrounding blanks. Large values saturate instead of wrapping.
std::optional<double> parseHex(std::string_view text);

// Upper-case hexadecimal digits of a whole number, zero-padded to `width`.
std::string formatHex(double value, int width = 0);

// Rounds to the nearest integer, halves away from zero.
double roundHalfAway(double x);

}  // namespace bt
