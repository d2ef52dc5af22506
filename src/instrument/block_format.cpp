#include "instrument/block_format.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace bt {

std::optional<std::string> blockHeader(std::uint64_t length) {
    if (length > kMaxBlockBytes) return std::nullopt;
    const std::string digits = std::to_string(length);
    return "#" + std::to_string(digits.size()) + digits;
}

BlockHeaderParse parseBlockHeader(std::string_view bytes) {
    using State = BlockHeaderParse::State;
    BlockHeaderParse r;
    if (bytes.empty() || bytes[0] != '#') {
        r.state = State::Malformed;
        r.error = "the block does not start with '#'";
        return r;
    }
    if (bytes.size() < 2) return r;
    const char d = bytes[1];
    if (d == '0') {
        r.state = State::Malformed;
        r.error = "indefinite-length block (#0) is not accepted";
        return r;
    }
    if (d < '1' || d > '9') {
        r.state = State::Malformed;
        r.error = "the block header has no digit count";
        return r;
    }
    const std::size_t n = static_cast<std::size_t>(d - '0');
    if (bytes.size() < 2 + n) {
        // Refuse a non-digit as soon as it arrives rather than waiting.
        for (char c : bytes.substr(2))
            if (c < '0' || c > '9') {
                r.state = State::Malformed;
                r.error = "the block length is not a number";
            }
        return r;
    }
    std::uint64_t length = 0;
    for (char c : bytes.substr(2, n)) {
        if (c < '0' || c > '9') {
            r.state = State::Malformed;
            r.error = "the block length is not a number";
            return r;
        }
        length = length * 10 + static_cast<std::uint64_t>(c - '0');
    }
    r.state = State::Complete;
    r.headerSize = 2 + n;
    r.length = length;
    return r;
}

IqEncoder::IqEncoder(const ComplexRow& data, double level) : data_(data) {
    double peak = 0;
    for (const Complex& z : data) {
        const double a = std::max(std::fabs(z.real()), std::fabs(z.imag()));
        if (!(a <= peak)) {
            if (!std::isfinite(a)) {
                valid_ = false;
                return;
            }
            peak = a;
        }
    }
    scale_ = peak > 0 ? 32767.0 * level / peak : 0.0;
}

namespace {
inline std::uint16_t toWord(double x, double scale) {
    const double v = x * scale;
    // Round halves away from zero; the peak maps to exactly 32767.
    auto q = static_cast<std::int32_t>(v + (v >= 0 ? 0.5 : -0.5));
    q = std::clamp(q, -32767, 32767);
    return static_cast<std::uint16_t>(q);
}
}  // namespace

void IqEncoder::encode(std::size_t first, std::size_t count, std::uint8_t* out) const {
    const Complex* z = data_.data() + first;
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint16_t i = toWord(z[k].real(), scale_);
        const std::uint16_t q = toWord(z[k].imag(), scale_);
        out[0] = static_cast<std::uint8_t>(i >> 8);
        out[1] = static_cast<std::uint8_t>(i);
        out[2] = static_cast<std::uint8_t>(q >> 8);
        out[3] = static_cast<std::uint8_t>(q);
        out += 4;
    }
}

void encodeMarkers(const Markers& markers, std::size_t first, std::size_t count, std::uint8_t* out) {
    if (markers.empty()) {
        std::fill(out, out + count, std::uint8_t{0});
        return;
    }
    const std::uint8_t* m1 = markers.row1.data() + first;
    const std::uint8_t* m2 = markers.row2.data() + first;
    for (std::size_t k = 0; k < count; ++k)
        out[k] = static_cast<std::uint8_t>((m1[k] != 0 ? 1 : 0) | (m2[k] != 0 ? 2 : 0));
}

namespace {
constexpr std::array<std::uint32_t, 256> makeCrcTable() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[n] = c;
    }
    return t;
}
constexpr auto kCrcTable = makeCrcTable();
}  // namespace

std::uint32_t crc32(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
    crc = ~crc;
    for (std::uint8_t b : bytes) crc = kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

}  // namespace bt
