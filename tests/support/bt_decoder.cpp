#include "support/bt_decoder.h"

#include <algorithm>
#include <array>
#include <sstream>

namespace bt::test {

namespace {

// ------------------------------------------------------------ polynomials
// Polynomials over GF(2) as coefficient vectors, element k for D^k.
using Poly = std::vector<std::uint8_t>;

// r(D) = c(D) mod g(D); `g` holds its coefficients in bits 0..deg.
Poly polyMod(Poly c, std::uint64_t g, unsigned deg) {
    for (std::size_t k = c.size(); k-- > deg;)
        if (c[k])
            for (unsigned j = 0; j <= deg; ++j) c[k - deg + j] ^= static_cast<std::uint8_t>((g >> j) & 1u);
    c.resize(std::min<std::size_t>(c.size(), deg));
    return c;
}

bool allZero(const Poly& p) {
    return std::all_of(p.begin(), p.end(), [](std::uint8_t b) { return b == 0; });
}

// A division register started from `init` and fed `bits` (data followed by
// its check bits, first bit first) ends at zero exactly when
// init(D) D^N + D^m b(D) is a multiple of g(D), b's first bit being the
// coefficient of D^(N-1).
bool checksumHolds(std::span<const std::uint8_t> bits, unsigned init, std::uint64_t g, unsigned m) {
    const std::size_t n = bits.size();
    Poly c(n + m + 16, 0);
    for (std::size_t i = 0; i < n; ++i) c[m + n - 1 - i] ^= bits[i] & 1u;
    for (unsigned k = 0; k < 16; ++k) c[n + k] ^= static_cast<std::uint8_t>((init >> k) & 1u);
    return allZero(polyMod(std::move(c), g, m));
}

constexpr std::uint64_t kHecPoly = 0x1A7;     // D^8 + D^7 + D^5 + D^2 + D + 1
constexpr std::uint64_t kCrcPoly = 0x11021;   // D^16 + D^12 + D^5 + 1
constexpr std::uint64_t kHammingPoly = 0x35;  // D^5 + D^4 + D^2 + 1

// ------------------------------------------------------------ sync word
// The published covering sequence, its first bit as the most significant.
constexpr std::uint64_t kSyncPn = 0x3F2A33DD69B121C1ull;
constexpr std::uint64_t kSyncPoly = 0260534236651ull;  // degree 34
constexpr std::array<std::uint8_t, 6> kBarker = {0, 0, 1, 1, 0, 1};

std::uint8_t pnBit(unsigned k) { return static_cast<std::uint8_t>((kSyncPn >> (63 - k)) & 1u); }

// The 64 bits at `s` are the sync word of `lap`: its last 30 bits are the
// LAP followed by the Barker bits (complemented under a LAP with its top bit
// set), and with the covering sequence removed the whole word is a code word.
bool syncWordOk(const std::uint8_t* s, std::uint32_t lap) {
    for (unsigned k = 0; k < 24; ++k)
        if ((s[34 + k] & 1u) != ((lap >> k) & 1u)) return false;
    const std::uint8_t top = (lap >> 23) & 1u;
    for (unsigned k = 0; k < 6; ++k)
        if ((s[58 + k] & 1u) != (kBarker[k] ^ top)) return false;
    Poly c(64);
    for (unsigned k = 0; k < 64; ++k) c[k] = (s[k] ^ pnBit(k)) & 1u;
    return allZero(polyMod(std::move(c), kSyncPoly, 34));
}

// ------------------------------------------------------------ whitening
Bits whiteningSequence(unsigned init, std::size_t n) {
    std::array<std::uint8_t, 7> cell{};
    for (unsigned k = 0; k < 7; ++k) cell[k] = (init >> k) & 1u;
    Bits w(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t out = cell[6];
        w[i] = out;
        for (unsigned k = 6; k > 0; --k) cell[k] = cell[k - 1];
        cell[4] ^= out;
        cell[0] = out;
    }
    return w;
}

// ------------------------------------------------------------ FEC
enum class Fec { None, Third, TwoThirds };

std::size_t codedLength(Fec fec, std::size_t n) {
    if (fec == Fec::Third) return 3 * n;
    if (fec == Fec::TwoThirds) return 15 * ((n + 9) / 10);
    return n;
}

// Syndrome of a 15-bit block: the parity the 10 information bits call for
// (D^5 u(D) mod g(D), the first bit the highest power, sent highest first)
// against the received parity.
unsigned hammingSyndrome(const std::uint8_t* block) {
    Poly c(15, 0);
    for (unsigned i = 0; i < 10; ++i) c[5 + 9 - i] = block[i] & 1u;
    const Poly r = polyMod(std::move(c), kHammingPoly, 5);
    unsigned s = 0;
    for (unsigned j = 0; j < 5; ++j) s |= static_cast<unsigned>((r[4 - j] ^ block[10 + j]) & 1u) << j;
    return s;
}

const std::array<unsigned, 15>& singleErrorSyndromes() {
    static const std::array<unsigned, 15> table = [] {
        std::array<unsigned, 15> t{};
        for (unsigned e = 0; e < 15; ++e) {
            std::array<std::uint8_t, 15> block{};
            block[e] = 1;
            t[e] = hammingSyndrome(block.data());
        }
        return t;
    }();
    return table;
}

// Decodes `n` plain bits from the coded bits at `air`, correcting what the
// code can correct.
Bits fecDecode(Fec fec, const std::uint8_t* air, std::size_t n, DecodedPacket& d) {
    Bits plain(n);
    if (fec == Fec::None) {
        std::copy(air, air + n, plain.begin());
    } else if (fec == Fec::Third) {
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned votes = air[3 * i] + air[3 * i + 1] + air[3 * i + 2];
            plain[i] = votes >= 2;
            if (votes == 1 || votes == 2) ++d.fecCorrected;
        }
    } else {
        for (std::size_t b = 0; 10 * b < n; ++b) {
            std::array<std::uint8_t, 15> block;
            std::copy(air + 15 * b, air + 15 * b + 15, block.begin());
            if (const unsigned s = hammingSyndrome(block.data())) {
                const auto& table = singleErrorSyndromes();
                const auto hit = std::find(table.begin(), table.end(), s);
                if (hit == table.end()) ++d.fecUncorrectable;
                else {
                    block[static_cast<std::size_t>(hit - table.begin())] ^= 1u;
                    ++d.fecCorrected;
                }
            }
            for (std::size_t i = 0; i < 10 && 10 * b + i < n; ++i) plain[10 * b + i] = block[i];
        }
    }
    return plain;
}

// ------------------------------------------------------------ packet types
struct TypeRule {
    int code;
    bool onSco, onAcl;
    Fec fec;
    unsigned headerBits;  // payload header: 0, 8 or 16
    bool crc;
    int maxBytes;          // largest LENGTH
    std::size_t fixedBits; // voice types: the body size
};

constexpr TypeRule kRules[] = {
    {0, true, true, Fec::None, 0, false, 0, 0},       {1, true, true, Fec::None, 0, false, 0, 0},
    {3, true, true, Fec::TwoThirds, 8, true, 17, 0},  {4, false, true, Fec::None, 8, true, 27, 0},
    {9, false, true, Fec::None, 8, false, 29, 0},     {10, false, true, Fec::TwoThirds, 16, true, 121, 0},
    {11, false, true, Fec::None, 16, true, 183, 0},   {14, false, true, Fec::TwoThirds, 16, true, 224, 0},
    {15, false, true, Fec::None, 16, true, 339, 0},   {5, true, false, Fec::Third, 0, false, 0, 80},
    {6, true, false, Fec::TwoThirds, 0, false, 0, 160}, {7, true, false, Fec::None, 0, false, 0, 240},
};

const TypeRule* ruleFor(int code, double linkType) {
    const bool sco = linkType == 1;
    for (const TypeRule& r : kRules)
        if (r.code == code && (sco ? r.onSco : r.onAcl)) return &r;
    return nullptr;
}

int field(const Bits& bits, std::size_t from, unsigned width) {
    int v = 0;
    for (unsigned k = 0; k < width; ++k) v |= (bits[from + k] & 1) << k;
    return v;
}

void decodePayload(std::span<const std::uint8_t> air, const TypeRule& rule, const Bits& whitening,
                   const DecodeKey& key, DecodedPacket& d) {
    constexpr std::size_t kPayloadStart = 72 + 54;
    const std::uint8_t* at = air.data() + kPayloadStart;
    const std::size_t available = air.size() - kPayloadStart;
    const auto dewhiten = [&](Bits& plain) {
        for (std::size_t i = 0; i < plain.size(); ++i) plain[i] ^= whitening[18 + i];
    };
    std::size_t n = rule.fixedBits;
    if (rule.headerBits > 0) {
        if (codedLength(rule.fec, rule.headerBits) > available) {
            d.truncated = true;
            return;
        }
        DecodedPacket scratch;
        Bits head = fecDecode(rule.fec, at, rule.headerBits, scratch);
        dewhiten(head);
        d.hasPayloadHeader = true;
        d.LLID = field(head, 0, 2);
        d.payloadFlow = head[2];
        d.payloadLength = field(head, 3, rule.headerBits == 8 ? 5 : 9);
        d.lengthOk = d.payloadLength <= rule.maxBytes && (rule.headerBits == 8 || field(head, 12, 4) == 0);
        if (!d.lengthOk) return;
        n = rule.headerBits + 8 * static_cast<std::size_t>(d.payloadLength) + (rule.crc ? 16 : 0);
    }
    const std::size_t coded = codedLength(rule.fec, n);
    if (coded > available) {
        d.truncated = true;
        return;
    }
    Bits plain = fecDecode(rule.fec, at, n, d);
    dewhiten(plain);
    d.length = kPayloadStart + coded;
    d.crcPresent = rule.crc;
    if (rule.crc) d.crcOk = checksumHolds(plain, key.uap, kCrcPoly, 16);
    const std::size_t bodyEnd = n - (rule.crc ? 16 : 0);
    d.body.assign(plain.begin() + rule.headerBits, plain.begin() + static_cast<std::ptrdiff_t>(bodyEnd));
}

}  // namespace

DecodeKey keyFor(std::uint64_t BDaddr, unsigned whitening, double linkType) {
    return {static_cast<std::uint32_t>(BDaddr & 0xFFFFFF), static_cast<std::uint8_t>((BDaddr >> 24) & 0xFF),
            whitening, linkType};
}

bool DecodedPacket::ok() const {
    if (!accessCodeOk || truncated) return false;
    if (isId) return true;
    return hecOk && payloadKnown && fecUncorrectable == 0 && (!hasPayloadHeader || lengthOk) &&
           (!crcPresent || crcOk);
}

std::string DecodedPacket::describe() const {
    std::ostringstream s;
    s << "packet at " << start << " length " << length << ": access code " << (accessCodeOk ? "ok" : "BAD");
    if (isId) return s.str() + ", ID";
    s << ", type " << type << " AM " << AMaddr << " FLOW " << FLOW << " ARQN " << ARQN << " SEQN " << SEQN
      << ", HEC " << (hecOk ? "ok" : "BAD") << " (" << headerTriplesCorrected << " triples corrected)";
    if (hasPayloadHeader)
        s << ", L_CH " << LLID << " flow " << payloadFlow << " LENGTH " << payloadLength << (lengthOk ? "" : " (BAD)");
    s << ", body " << body.size() << " bits";
    if (crcPresent) s << ", CRC " << (crcOk ? "ok" : "BAD");
    s << ", FEC corrected " << fecCorrected << " uncorrectable " << fecUncorrectable;
    if (truncated) s << ", TRUNCATED";
    if (!payloadKnown) s << ", payload unknown";
    return s.str();
}

DecodedPacket decodePacket(std::span<const std::uint8_t> air, const DecodeKey& key) {
    DecodedPacket d;
    if (air.size() < 68) {
        d.truncated = true;
        d.length = air.size();
        return d;
    }
    const std::uint8_t s0 = air[4] & 1u;
    const std::uint8_t s63 = air[67] & 1u;
    bool preambleOk = true;
    for (unsigned k = 0; k < 4; ++k) preambleOk = preambleOk && (air[k] & 1u) == (s0 ^ (k & 1u));
    d.accessCodeOk = preambleOk && syncWordOk(air.data() + 4, key.lap);
    d.length = 68;
    if (!d.accessCodeOk) return d;

    d.trailer = air.size() >= 72;
    for (unsigned k = 0; d.trailer && k < 4; ++k) d.trailer = (air[68 + k] & 1u) == (s63 ^ 1u ^ (k & 1u));
    if (!d.trailer) {
        d.isId = true;
        return d;
    }
    d.length = 72;
    if (air.size() < 72 + 54) {
        d.truncated = true;
        return d;
    }

    const Bits whitening = whiteningSequence(key.whitening, 18 + 2744);
    Bits header(18);
    for (std::size_t i = 0; i < 18; ++i) {
        const unsigned votes = air[72 + 3 * i] + air[73 + 3 * i] + air[74 + 3 * i];
        header[i] = static_cast<std::uint8_t>((votes >= 2) ^ whitening[i]);
        if (votes == 1 || votes == 2) ++d.headerTriplesCorrected;
    }
    d.length = 72 + 54;
    d.hecOk = checksumHolds(header, key.uap, kHecPoly, 8);
    d.AMaddr = field(header, 0, 3);
    d.type = field(header, 3, 4);
    d.FLOW = header[7];
    d.ARQN = header[8];
    d.SEQN = header[9];
    if (!d.hecOk) return d;

    const TypeRule* rule = ruleFor(d.type, key.linkType);
    if (!rule) return d;
    d.payloadKnown = true;
    if (rule->headerBits == 0 && rule->fixedBits == 0) return d;  // NULL, POLL
    decodePayload(air, *rule, whitening, key, d);
    return d;
}

std::vector<DecodedPacket> decodeAll(std::span<const std::uint8_t> row, const DecodeKey& key) {
    std::vector<DecodedPacket> packets;
    std::size_t i = 0;
    while (i + 68 <= row.size()) {
        DecodedPacket d = decodePacket(row.subspan(i), key);
        if (!d.accessCodeOk) {
            ++i;
            continue;
        }
        d.start = i;
        i += std::max<std::size_t>(d.length, 1);
        packets.push_back(std::move(d));
    }
    return packets;
}

}  // namespace bt::test
