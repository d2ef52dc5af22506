#include "sim/sim_scpi.h"

#include <cctype>

#include "lib/numtext.h"

namespace bt::sim {

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

namespace {
std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}
}  // namespace

HeaderPattern::HeaderPattern(std::string_view pattern) : text_(pattern) {
    std::size_t i = 0;
    while (i < pattern.size()) {
        Node n;
        if (pattern[i] == '[') {
            n.optional = true;
            ++i;
        }
        if (i < pattern.size() && pattern[i] == ':') ++i;
        const std::size_t j = pattern.find_first_of(":[]", i);
        const std::string_view name = pattern.substr(i, j == std::string_view::npos ? std::string_view::npos : j - i);
        for (char c : name)
            if (std::isupper(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) || c == '*')
                n.shortForm += c;
        n.longForm = upper(name);
        nodes_.push_back(n);
        i = j == std::string_view::npos ? pattern.size() : j;
        if (i < pattern.size() && pattern[i] == ']') ++i;
    }
}

bool HeaderPattern::match(std::size_t p, const std::vector<std::string>& typed, std::size_t t) const {
    if (p == nodes_.size()) return t == typed.size();
    const Node& n = nodes_[p];
    if (t < typed.size() && (typed[t] == n.longForm || typed[t] == n.shortForm) && match(p + 1, typed, t + 1))
        return true;
    return n.optional && match(p + 1, typed, t);
}

bool HeaderPattern::matches(std::string_view header) const {
    if (!header.empty() && header.front() == ':') header.remove_prefix(1);
    std::vector<std::string> typed;
    std::size_t i = 0;
    while (i <= header.size()) {
        const std::size_t j = std::min(header.find(':', i), header.size());
        typed.push_back(upper(header.substr(i, j - i)));
        if (typed.back().empty()) return false;
        i = j + 1;
    }
    return match(0, typed, 0);
}

std::vector<CommandUnit> splitUnits(std::string_view line) {
    std::vector<CommandUnit> units;
    std::vector<std::string_view> pieces;
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t k = 0; k < line.size(); ++k) {
        if (line[k] == '"') quoted = !quoted;
        if (line[k] == ';' && !quoted) {
            pieces.push_back(line.substr(start, k - start));
            start = k + 1;
        }
    }
    pieces.push_back(line.substr(start));
    for (std::string_view piece : pieces) {
        piece = trim(piece);
        if (piece.empty()) continue;
        CommandUnit u;
        const std::size_t blank = piece.find_first_of(" \t");
        std::string_view header = piece.substr(0, blank);
        if (!header.empty() && header.back() == '?') {
            u.query = true;
            header.remove_suffix(1);
        }
        u.header = std::string(header);
        if (blank != std::string_view::npos) {
            const std::string_view rest = trim(piece.substr(blank));
            std::size_t s = 0;
            bool q = false;
            for (std::size_t k = 0; k <= rest.size(); ++k) {
                if (k < rest.size() && rest[k] == '"') q = !q;
                if (k == rest.size() || (rest[k] == ',' && !q)) {
                    u.params.emplace_back(trim(rest.substr(s, k - s)));
                    s = k + 1;
                }
            }
        }
        units.push_back(std::move(u));
    }
    return units;
}

std::optional<std::string> unquote(std::string_view p) {
    if (p.size() < 2 || p.front() != '"' || p.back() != '"') return std::nullopt;
    return std::string(p.substr(1, p.size() - 2));
}

std::optional<double> parseQuantity(std::string_view p, UnitKind kind) {
    std::size_t end = 0;
    while (end < p.size() && (std::isdigit(static_cast<unsigned char>(p[end])) || p[end] == '.' || p[end] == '+' ||
                              p[end] == '-' ||
                              ((p[end] == 'e' || p[end] == 'E') && end + 1 < p.size() &&
                               (std::isdigit(static_cast<unsigned char>(p[end + 1])) || p[end + 1] == '-' ||
                                p[end + 1] == '+'))))
        ++end;
    const auto value = parseNumber(p.substr(0, end));
    if (!value) return std::nullopt;
    const std::string suffix = upper(trim(p.substr(end)));
    if (suffix.empty()) return value;
    struct Unit {
        const char* name;
        UnitKind kind;
        double factor;
    };
    static constexpr Unit units[] = {
        {"HZ", UnitKind::Frequency, 1},  {"KHZ", UnitKind::Frequency, 1e3}, {"MHZ", UnitKind::Frequency, 1e6},
        {"GHZ", UnitKind::Frequency, 1e9}, {"DBM", UnitKind::Power, 1},      {"S", UnitKind::Time, 1},
        {"MS", UnitKind::Time, 1e-3},    {"US", UnitKind::Time, 1e-6},      {"NS", UnitKind::Time, 1e-9},
    };
    for (const Unit& u : units)
        if (suffix == u.name && u.kind == kind) return *value * u.factor;
    return std::nullopt;
}

}  // namespace bt::sim
