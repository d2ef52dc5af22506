#include "analysis/packet_decoder.h"

#include <algorithm>
#include <array>
#include <sstream>

namespace bt::analysis {

namespace {

// ------------------------------------------------------------ polynomials
// Long division over GF(2): coefficients are fed highest power first and
// the register holds the remainder so far. `g` holds the divisor with its
// leading term (bit `deg`).
struct Divider {
    std::uint64_t g;
    unsigned deg;
    std::uint64_t reg = 0;
    void feed(unsigned bit) {
        reg = (reg << 1) | (bit & 1u);
        if ((reg >> deg) & 1u) reg ^= g;
    }
};

// Remainder of init(D) D^N + D^m b(D) modulo g(D), where `bits` (data
// followed by its m check bits, N in all) give b(D) with the first bit as
// the coefficient of D^(N-1). A division register started from `init` and
// fed the bits ends at zero exactly when this remainder is zero.
std::uint64_t checksumRemainder(std::span<const std::uint8_t> bits, unsigned init, std::uint64_t g, unsigned m) {
    const std::size_t n = bits.size();
    Divider div{g, m};
    for (std::size_t p = n + 16; p-- > 0;) {
        unsigned c = 0;
        if (p >= n && p - n < 16) c ^= (init >> (p - n)) & 1u;
        if (p >= m && p <= m + n - 1) c ^= bits[m + n - 1 - p] & 1u;
        div.feed(c);
    }
    return div.reg;
}

constexpr std::uint64_t kHecPoly = 0x1A7;     // D^8 + D^7 + D^5 + D^2 + D + 1
constexpr std::uint64_t kCrcPoly = 0x11021;   // D^16 + D^12 + D^5 + 1
constexpr std::uint64_t kHammingPoly = 0x35;  // D^5 + D^4 + D^2 + 1

// The HEC remainder is linear in the UAP: remainder(bits, uap) =
// remainder(bits, 0) ^ remainder(no bits, uap) over 18 bits, and the
// second term is a one-to-one map of the UAP (D^18 is invertible modulo the
// HEC polynomial). Its inverse names the UAP under which a header checks.
const std::array<std::uint8_t, 256>& uapOfHecRemainder() {
    static const std::array<std::uint8_t, 256> table = [] {
        std::array<std::uint8_t, 256> t{};
        const std::array<std::uint8_t, 18> zeros{};
        for (unsigned u = 0; u < 256; ++u) t[checksumRemainder(zeros, u, kHecPoly, 8)] = static_cast<std::uint8_t>(u);
        return t;
    }();
    return table;
}

// ------------------------------------------------------------ sync word
// The published covering sequence, its first bit as the most significant.
constexpr std::uint64_t kSyncPn = 0x3F2A33DD69B121C1ull;
constexpr std::uint64_t kSyncPoly = 0260534236651ull;  // degree 34
constexpr unsigned kBarker = 0b101100;                 // air bits 58..63 = 0,0,1,1,0,1 (bit k = air bit 58+k)

std::uint64_t pnWord() {
    std::uint64_t w = 0;
    for (unsigned k = 0; k < 64; ++k) w |= ((kSyncPn >> (63 - k)) & 1u) << k;
    return w;
}

// Remainder of c(D) = sum c_k D^k (bit k of `word`) modulo the sync code's
// generator.
std::uint64_t syncRemainder(std::uint64_t word) {
    Divider div{kSyncPoly, 34};
    for (unsigned k = 64; k-- > 0;) div.feed(static_cast<unsigned>((word >> k) & 1u));
    return div.reg;
}

// ------------------------------------------------------------ whitening
// Header, then the longest payload (3-DH5: header, 1021 bytes, CRC).
constexpr std::size_t kWhiteningLength = 18 + 16 + 1021 * 8 + 16;

// The whitening sequences of every start value (0 gives zeros: none).
const std::vector<Bits>& whiteningTable() {
    static const std::vector<Bits> table = [] {
        std::vector<Bits> t(128);
        for (unsigned init = 0; init < 128; ++init) {
            std::array<std::uint8_t, 7> cell{};
            for (unsigned k = 0; k < 7; ++k) cell[k] = (init >> k) & 1u;
            Bits& w = t[init];
            w.resize(kWhiteningLength);
            for (std::size_t i = 0; i < kWhiteningLength; ++i) {
                const std::uint8_t out = cell[6];
                w[i] = out;
                for (unsigned k = 6; k > 0; --k) cell[k] = cell[k - 1];
                cell[4] ^= out;
                cell[0] = out;
            }
        }
        return t;
    }();
    return table;
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
    Divider div{kHammingPoly, 5};
    for (unsigned i = 0; i < 10; ++i) div.feed(block[i]);
    for (unsigned i = 0; i < 5; ++i) div.feed(0);
    unsigned s = 0;
    for (unsigned j = 0; j < 5; ++j)
        s |= static_cast<unsigned>(((div.reg >> (4 - j)) ^ block[10 + j]) & 1u) << j;
    return s;
}

// Error position (0..14) of each syndrome that a single error gives; -1
// for the others.
const std::array<int, 32>& singleErrorPositions() {
    static const std::array<int, 32> table = [] {
        std::array<int, 32> t;
        t.fill(-1);
        for (int e = 0; e < 15; ++e) {
            std::array<std::uint8_t, 15> block{};
            block[static_cast<std::size_t>(e)] = 1;
            t[hammingSyndrome(block.data())] = e;
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
                const int at = singleErrorPositions()[s];
                if (at < 0) {
                    ++d.fecUncorrectable;
                } else {
                    block[static_cast<std::size_t>(at)] ^= 1u;
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
    bool onSco, onAcl, onEsco;
    Fec fec;
    unsigned headerBits;  // payload header: 0, 8 or 16
    bool crc;
    int maxBytes;           // largest LENGTH
    std::size_t fixedBits;  // types without a payload header: the body size
    const char* name;
    int slots;
    int bitsPerSymbol = 0;  // EDR payloads: 2 or 3 (LENGTH has 10 bits)
};

// DV: an uncoded voice field of this size comes before the data field,
// which has a payload header, at most 9 bytes and a CRC, coded 2/3.
constexpr std::size_t kDvVoice = 80;

constexpr TypeRule kRules[] = {
    {0, true, true, true, Fec::None, 0, false, 0, 0, "NULL", 1},
    {1, true, true, true, Fec::None, 0, false, 0, 0, "POLL", 1},
    {2, true, true, true, Fec::TwoThirds, 0, true, 0, 144, "FHS", 1},
    {3, true, true, true, Fec::TwoThirds, 8, true, 17, 0, "DM1", 1},
    {4, false, true, false, Fec::None, 8, true, 27, 0, "DH1", 1},
    {9, false, true, false, Fec::None, 8, false, 29, 0, "AUX1", 1},
    {10, false, true, false, Fec::TwoThirds, 16, true, 121, 0, "DM3", 3},
    {11, false, true, false, Fec::None, 16, true, 183, 0, "DH3", 3},
    {14, false, true, false, Fec::TwoThirds, 16, true, 224, 0, "DM5", 5},
    {15, false, true, false, Fec::None, 16, true, 339, 0, "DH5", 5},
    {5, true, false, false, Fec::Third, 0, false, 0, 80, "HV1", 1},
    {6, true, false, false, Fec::TwoThirds, 0, false, 0, 160, "HV2", 1},
    {7, true, false, false, Fec::None, 0, false, 0, 240, "HV3", 1},
    {8, true, false, false, Fec::TwoThirds, 8, true, 9, kDvVoice, "DV", 1},
    {7, false, false, true, Fec::None, 0, true, 0, 240, "EV3", 1},
    {12, false, false, true, Fec::TwoThirds, 0, true, 0, 960, "EV4", 3},
    {13, false, false, true, Fec::None, 0, true, 0, 1440, "EV5", 3},
};

// Enhanced Data Rate: the TYPE codes of the basic-rate types of as many
// slots, the payload in DPSK without FEC, read here from its demapped bits.
constexpr TypeRule kEdrRules[] = {
    {4, false, true, false, Fec::None, 16, true, 54, 0, "2-DH1", 1, 2},
    {10, false, true, false, Fec::None, 16, true, 367, 0, "2-DH3", 3, 2},
    {14, false, true, false, Fec::None, 16, true, 679, 0, "2-DH5", 5, 2},
    {8, false, true, false, Fec::None, 16, true, 83, 0, "3-DH1", 1, 3},
    {11, false, true, false, Fec::None, 16, true, 552, 0, "3-DH3", 3, 3},
    {15, false, true, false, Fec::None, 16, true, 1021, 0, "3-DH5", 5, 3},
    {6, false, false, true, Fec::None, 0, true, 0, 60 * 8, "2-EV3", 1, 2},
    {12, false, false, true, Fec::None, 0, true, 0, 360 * 8, "2-EV5", 3, 2},
    {7, false, false, true, Fec::None, 0, true, 0, 90 * 8, "3-EV3", 1, 3},
    {13, false, false, true, Fec::None, 0, true, 0, 540 * 8, "3-EV5", 3, 3},
};

bool onLink(const TypeRule& r, double linkType) {
    if (linkType == 1) return r.onSco;
    if (linkType == 2) return r.onAcl;
    if (linkType == 3) return r.onEsco;
    return true;
}

// The rules of `code` on the link, in table order: two when the link is
// not known and the code means one type on SCO and another on eSCO.
std::vector<const TypeRule*> rulesFor(int code, double linkType, int edrBitsPerSymbol = 0) {
    std::vector<const TypeRule*> found;
    if (edrBitsPerSymbol != 0) {
        for (const TypeRule& r : kEdrRules)
            if (r.code == code && r.bitsPerSymbol == edrBitsPerSymbol && onLink(r, linkType)) found.push_back(&r);
        return found;
    }
    for (const TypeRule& r : kRules)
        if (r.code == code && onLink(r, linkType)) found.push_back(&r);
    return found;
}

const TypeRule* ruleFor(int code, double linkType, int edrBitsPerSymbol = 0) {
    const auto found = rulesFor(code, linkType, edrBitsPerSymbol);
    return found.empty() ? nullptr : found.front();
}

double linkOf(const TypeRule& r, double keyLink) {
    if (onLink(r, keyLink) && keyLink >= 1 && keyLink <= 3) return keyLink;
    return r.onAcl ? 2 : r.onSco ? 1 : 3;
}

int field(const Bits& bits, std::size_t from, unsigned width) {
    int v = 0;
    for (unsigned k = 0; k < width; ++k) v |= (bits[from + k] & 1) << k;
    return v;
}

constexpr std::size_t kPayloadStart = 72 + 54;

void decodePayload(std::span<const std::uint8_t> air, const TypeRule& rule, const Bits& whitening, DecodedPacket& d) {
    // A DV packet's voice field goes first, uncoded; its data field follows
    // with the whitening running on through both.
    const std::size_t voice = rule.headerBits > 0 ? rule.fixedBits : 0;
    if (air.size() < kPayloadStart + voice) {
        d.truncated = true;
        return;
    }
    Bits voiceBits(air.begin() + kPayloadStart, air.begin() + static_cast<std::ptrdiff_t>(kPayloadStart + voice));
    for (std::size_t i = 0; i < voice; ++i) voiceBits[i] ^= whitening[18 + i];
    const std::uint8_t* at = air.data() + kPayloadStart + voice;
    const std::size_t available = air.size() - kPayloadStart - voice;
    const auto dewhiten = [&](Bits& plain) {
        for (std::size_t i = 0; i < plain.size(); ++i) plain[i] ^= whitening[18 + voice + i];
    };
    std::size_t n = rule.fixedBits + (rule.crc && rule.headerBits == 0 ? 16 : 0);
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
        const unsigned lengthBits = rule.headerBits == 8 ? 5 : rule.bitsPerSymbol != 0 ? 10 : 9;
        d.payloadLength = field(head, 3, lengthBits);
        d.lengthOk = d.payloadLength <= rule.maxBytes &&
                     (rule.headerBits == 8 || field(head, 3 + lengthBits, 13 - lengthBits) == 0);
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
    d.length = kPayloadStart + voice + coded;
    d.crcPresent = rule.crc;
    if (rule.crc) d.crcOk = checksumRemainder(plain, d.uap, kCrcPoly, 16) == 0;
    const std::size_t bodyEnd = n - (rule.crc ? 16 : 0);
    d.body = std::move(voiceBits);
    d.body.insert(d.body.end(), plain.begin() + rule.headerBits, plain.begin() + static_cast<std::ptrdiff_t>(bodyEnd));
    d.bodyStart = voice > 0 ? 0 : kPayloadStart + rule.headerBits;
}

// The header and payload under one whitening start value; false when the
// HEC fails.
bool decodeUnder(std::span<const std::uint8_t> air, const Bits& coded, unsigned whitening, const DecodeKey& key,
                 DecodedPacket& d) {
    const Bits& w = whiteningTable()[whitening];
    Bits header(18);
    for (std::size_t i = 0; i < 18; ++i) header[i] = coded[i] ^ w[i];
    d.whitening = whitening;
    d.AMaddr = field(header, 0, 3);
    d.type = field(header, 3, 4);
    d.FLOW = header[7];
    d.ARQN = header[8];
    d.SEQN = header[9];
    if (key.findUap) {
        d.uap = uapOfHecRemainder()[checksumRemainder(header, 0, kHecPoly, 8)];
        d.hecOk = true;
    } else {
        d.uap = key.uap;
        d.hecOk = checksumRemainder(header, key.uap, kHecPoly, 8) == 0;
    }
    if (!d.hecOk) return false;
    const auto rules = rulesFor(d.type, key.linkType, key.edrBitsPerSymbol);
    if (rules.empty()) return true;
    const auto readAs = [&](const TypeRule& rule, DecodedPacket& t) {
        t.payloadKnown = true;
        t.edrBitsPerSymbol = rule.bitsPerSymbol;
        t.linkType = linkOf(rule, key.linkType);
        t.fecThird = rule.fec == Fec::Third;
        t.fecTwoThirds = rule.fec == Fec::TwoThirds;
        if (rule.headerBits == 0 && rule.fixedBits == 0) return;  // NULL, POLL
        if (rule.fec == Fec::None && rule.headerBits == 0) t.bodyStart = kPayloadStart;
        decodePayload(air, rule, w, t);
    };
    // A code that names one type on SCO and another on eSCO (HV3, EV3) is
    // the type whose CRC checks; with none checking, the first reading.
    const DecodedPacket headerOnly = d;
    readAs(*rules.front(), d);
    for (std::size_t k = 1; k < rules.size() && !(d.crcPresent && d.crcOk); ++k) {
        DecodedPacket other = headerOnly;
        readAs(*rules[k], other);
        if (other.crcPresent && other.crcOk) d = std::move(other);
    }
    return true;
}

}  // namespace

DecodeKey keyFor(std::uint64_t BDaddr, unsigned whitening, double linkType) {
    DecodeKey k;
    k.lap = static_cast<std::uint32_t>(BDaddr & 0xFFFFFF);
    k.uap = static_cast<std::uint8_t>((BDaddr >> 24) & 0xFF);
    k.whitening = whitening;
    k.linkType = linkType;
    return k;
}

std::uint64_t syncWordOf(std::uint32_t lap) {
    const std::uint64_t pn = pnWord();
    const std::uint64_t top = (lap >> 23) & 1u;
    std::uint64_t s = (std::uint64_t(lap & 0xFFFFFF) << 34) | (std::uint64_t(top ? (~kBarker & 0x3F) : kBarker) << 58);
    const std::uint64_t high = (s ^ pn) & ~((std::uint64_t(1) << 34) - 1);
    const std::uint64_t parity = syncRemainder(high);
    return s | ((parity ^ pn) & ((std::uint64_t(1) << 34) - 1));
}

std::optional<std::uint32_t> lapOfSyncWord(std::uint64_t word) {
    const auto lap = static_cast<std::uint32_t>((word >> 34) & 0xFFFFFF);
    const unsigned barker = static_cast<unsigned>(word >> 58) & 0x3F;
    if (barker != (((lap >> 23) & 1u) ? (~kBarker & 0x3F) : kBarker)) return std::nullopt;
    if (syncRemainder(word ^ pnWord()) != 0) return std::nullopt;
    return lap;
}

std::string packetTypeName(int type, double linkType, int edrBitsPerSymbol) {
    if (const TypeRule* r = ruleFor(type, linkType, edrBitsPerSymbol)) return r->name;
    return "type " + std::to_string(type);
}

std::optional<EdrTypeInfo> edrTypeInfo(int type, double linkType) {
    for (const TypeRule& r : kEdrRules)
        if (r.code == type && onLink(r, linkType))
            return EdrTypeInfo{r.bitsPerSymbol, r.headerBits + 8 * std::size_t(r.maxBytes) + r.fixedBits + 16};
    return std::nullopt;
}

int packetTypeSlots(int type) {
    // The same code has the same slot count on every link that uses it.
    const TypeRule* r = ruleFor(type, 0);
    return r ? r->slots : 1;
}

bool DecodedPacket::ok() const { return status() == "ok"; }

std::string DecodedPacket::status() const {
    if (!accessCodeOk) return "bad";
    if (isId) return truncated ? "bad" : "ok";
    if (!hecOk) return "HEC fail";
    if (crcPresent && !crcOk) return "CRC fail";
    if (truncated || !payloadKnown || fecUncorrectable != 0 || (hasPayloadHeader && !lengthOk)) return "bad";
    if (guessed && !confirmedByCrc) return "unconfirmed";
    return "ok";
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

DecodedPacket decodePacket(std::span<const std::uint8_t> air, const DecodeKey& key, bool accessCodeFound) {
    DecodedPacket d;
    d.lap = key.lap;
    if (air.size() < 68) {
        d.truncated = true;
        d.length = air.size();
        return d;
    }
    if (accessCodeFound) {
        d.accessCodeOk = true;
    } else {
        const std::uint8_t s0 = air[4] & 1u;
        bool preambleOk = true;
        for (unsigned k = 0; k < 4; ++k) preambleOk = preambleOk && (air[k] & 1u) == (s0 ^ (k & 1u));
        std::uint64_t word = 0;
        for (unsigned k = 0; k < 64; ++k) word |= std::uint64_t(air[4 + k] & 1u) << k;
        d.accessCodeOk = preambleOk && word == syncWordOf(key.lap);
    }
    d.length = 68;
    if (!d.accessCodeOk) return d;

    const std::uint8_t s63 = air[67] & 1u;
    int trailerErrors = air.size() >= 72 ? 0 : 4;
    for (unsigned k = 0; air.size() >= 72 && k < 4; ++k)
        trailerErrors += (air[68 + k] & 1u) != (s63 ^ 1u ^ (k & 1u));
    // A receiver that found the access code by correlation allows one
    // error in the trailer; the exact check allows none.
    d.trailer = trailerErrors <= (accessCodeFound ? 1 : 0);
    // A receiver knowing the key reads a damaged trailer as a trailer when
    // the header behind it checks.
    // Whether or not the key is known: a header that checks behind it
    // makes it a packet, and only a position where none checks is an ID
    // packet.
    const bool headerDecides = accessCodeFound && !d.trailer && air.size() >= 72 + 54;
    if (!d.trailer && !headerDecides) {
        d.isId = true;
        return d;
    }
    d.length = 72;
    if (air.size() < 72 + 54) {
        // A burst that ends before a header could follow is an ID packet
        // whose trailer the ramp happened to imitate.
        if (accessCodeFound) {
            d.isId = true;
            d.trailer = false;
            d.length = 68;
        } else {
            d.truncated = true;
        }
        return d;
    }

    Bits coded(18);
    for (std::size_t i = 0; i < 18; ++i) {
        const unsigned votes = air[72 + 3 * i] + air[73 + 3 * i] + air[74 + 3 * i];
        coded[i] = votes >= 2;
        if (votes == 1 || votes == 2) ++d.headerTriplesCorrected;
    }
    d.length = 72 + 54;

    std::vector<unsigned> candidates{key.whitening & 0x7Fu};
    if (key.findWhitening) {
        if (candidates[0] != 0) candidates.push_back(0);
        for (unsigned w = 1; w < 128; ++w)
            if (w != candidates[0]) candidates.push_back(w);
    }
    if (headerDecides && !key.findWhitening && !key.findUap) {
        DecodedPacket trial = d;
        if (!decodeUnder(air, coded, key.whitening & 0x7Fu, key, trial)) {
            d.isId = true;
            d.length = 68;
            d.headerTriplesCorrected = 0;
            return d;
        }
        return trial;
    }
    const bool guessing = key.findWhitening || key.findUap;
    std::optional<DecodedPacket> fallback;
    for (const unsigned w : candidates) {
        DecodedPacket trial = d;
        if (!decodeUnder(air, coded, w, key, trial)) {
            if (!fallback && w == candidates.front()) fallback = trial;  // the header as first read
            continue;
        }
        // Without guessing there is nothing to confirm: this is the packet.
        if (!guessing) return trial;
        trial.guessed = true;
        if (trial.crcPresent && trial.crcOk) {
            trial.confirmedByCrc = true;
            return trial;
        }
        // Unconfirmed: keep the first reading that holds together.
        const auto plausible = [](const DecodedPacket& t) {
            return t.hecOk && t.payloadKnown && !t.truncated && t.fecUncorrectable == 0 &&
                   (!t.hasPayloadHeader || t.lengthOk);
        };
        if (!fallback || !fallback->hecOk || (!plausible(*fallback) && plausible(trial))) fallback = trial;
    }
    if (headerDecides && (!fallback || !fallback->hecOk)) {
        d.isId = true;
        d.length = 68;
        d.headerTriplesCorrected = 0;
        return d;
    }
    return fallback ? *fallback : d;
}

std::vector<DecodedPacket> decodeAll(std::span<const std::uint8_t> row, const DecodeKey& key) {
    std::vector<DecodedPacket> packets;
    const std::uint64_t sync = syncWordOf(key.lap);
    std::uint64_t word = 0;
    // word holds row[i + 4 .. i + 67] once 68 bits are in.
    std::size_t i = 0;
    while (i + 68 <= row.size()) {
        word = 0;
        for (unsigned k = 0; k < 64; ++k) word |= std::uint64_t(row[i + 4 + k] & 1u) << k;
        while (word != sync && i + 68 < row.size()) {
            word = (word >> 1) | (std::uint64_t(row[i + 68] & 1u) << 63);
            ++i;
        }
        if (word != sync) break;
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

}  // namespace bt::analysis
