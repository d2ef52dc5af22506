#pragma once
// SCPI parsing for the instrument simulator: header patterns with long and
// short forms and optional nodes ("[:SOURce]:RADio:ARB[:STATe]"), parameter
// lists, and numbers with unit suffixes.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bt::sim {

class HeaderPattern {
public:
    explicit HeaderPattern(std::string_view pattern);
    // `header` without the query mark; a leading colon is optional.
    bool matches(std::string_view header) const;
    const std::string& text() const { return text_; }

private:
    struct Node {
        std::string longForm;   // upper case
        std::string shortForm;  // the upper-case letters of the pattern
        bool optional = false;
    };
    bool match(std::size_t p, const std::vector<std::string>& typed, std::size_t t) const;
    std::string text_;
    std::vector<Node> nodes_;
};

// One program message unit split up: header, query mark, parameters.
struct CommandUnit {
    std::string header;  // as typed, without '?'
    bool query = false;
    std::vector<std::string> params;  // trimmed; quoted strings keep their quotes
};

// Splits a line into units at ';' outside quotes. Leading blanks of the line
// are ignored, as an instrument's parser does.
std::vector<CommandUnit> splitUnits(std::string_view line);

std::string upper(std::string_view s);
// The text inside double quotes, or nothing when `p` is not quoted.
std::optional<std::string> unquote(std::string_view p);

enum class UnitKind { None, Frequency, Power, Time };
// Reads "2.5MHz", "-14dbm", "1167 us", "95": the value in the base unit
// (Hz, dBm, s). Nothing for a malformed number or a suffix of another kind.
std::optional<double> parseQuantity(std::string_view p, UnitKind kind);

}  // namespace bt::sim
