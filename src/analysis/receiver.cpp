#include "analysis/receiver.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <memory>
#include <numbers>

#include "analysis/edr_demod.h"
#include "lib/errors.h"
#include "lib/parallel.h"

namespace bt::analysis {

namespace {

// Values that are not finite (a damaged recording) read as silence.
float finite(double v) { return std::isfinite(v) && std::fabs(v) < 1e30 ? float(v) : 0.0f; }

}  // namespace

void ComplexRowSource::read(std::size_t first, std::size_t count, CFloat* out) const {
    const Complex* p = data_ + first * stride_;
    for (std::size_t k = 0; k < count; ++k, p += stride_) out[k] = CFloat(finite(p->real()), finite(p->imag()));
}

void SampleSource::readExact(std::size_t first, std::size_t count, Complex* out) const {
    constexpr std::size_t kChunk = 1 << 16;
    std::vector<CFloat> buf(std::min(kChunk, count));
    for (std::size_t done = 0; done < count; done += buf.size()) {
        const std::size_t n = std::min(buf.size(), count - done);
        read(first + done, n, buf.data());
        for (std::size_t k = 0; k < n; ++k) out[done + k] = Complex(buf[k].real(), buf[k].imag());
    }
}

void ComplexRowSource::readExact(std::size_t first, std::size_t count, Complex* out) const {
    const Complex* p = data_ + first * stride_;
    for (std::size_t k = 0; k < count; ++k, p += stride_) out[k] = *p;
}

void SplitComplexSource::readExact(std::size_t first, std::size_t count, Complex* out) const {
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t at = (first + k) * stride_;
        out[k] = Complex(re_[at], im_ ? im_[at] : 0.0);
    }
}

void SplitComplexSource::read(std::size_t first, std::size_t count, CFloat* out) const {
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t at = (first + k) * stride_;
        out[k] = CFloat(finite(re_[at]), im_ ? finite(im_[at]) : 0.0f);
    }
}

namespace {

// Air bits of the longest packet (DH5: 72 + 54 + 2745) and a little more.
constexpr std::size_t kLongestPacketBits = 2900;
constexpr std::size_t kPreambleBits = 4;

struct Block {
    std::size_t readBegin = 0, readEnd = 0;  // samples read
    std::size_t ownBegin = 0, ownEnd = 0;    // sync words starting here are this block's
};

// The Barker bits that end a sync word (air bits 58..63 in bits 0..5).
bool barkerOk(std::uint64_t word) {
    const unsigned tail = static_cast<unsigned>(word >> 58) & 0x3F;
    const unsigned top = static_cast<unsigned>(word >> 57) & 1u;
    return tail == (top ? 0b010011u : 0b101100u);
}

// A row of samples that is not cleared when made: every element is
// written before it is read (the source fills it, the filter overwrites
// it), and clearing two rows of a block took as long as detecting its bits.
class SampleRow {
public:
    void resize(std::size_t n) {
        if (n > capacity_) {
            // complex<float> is laid out as float[2].
            storage_ = std::make_unique_for_overwrite<float[]>(2 * n);
            capacity_ = n;
        }
        size_ = n;
    }
    CFloat* data() { return reinterpret_cast<CFloat*>(storage_.get()); }
    std::size_t size() const { return size_; }

private:
    std::unique_ptr<float[]> storage_;
    std::size_t size_ = 0, capacity_ = 0;
};

class BlockReceiver {
public:
    BlockReceiver(const SampleSource& source, double rate, const ReceiverOptions& options)
        : source_(source), rate_(rate), sps_(rate / 1e6), options_(options) {
        if (options.lap) targets_.push_back({*options.lap, syncWordOf(*options.lap)});
    }

    std::vector<ReceivedPacket> run(const Block& block) {
        block_ = block;
        const std::size_t len = block.readEnd - block.readBegin;
        x_.resize(len);
        source_.read(block.readBegin, len, x_.data());
        const auto length = static_cast<std::size_t>(std::lround(sps_ / 2));
        const CFloat* y = x_.data();
        if (length > 1) {
            y_.resize(len);
            smooth(x_.data(), len, length, y_.data());
            y = y_.data();
        }
        if (len < 2) return {};
        std::vector<SlicedBits> missed;
        freq_.resize(len - 1);
        phase_.resize(len);
        for (const SampleSpan& span : findBursts(y, len, sps_)) {
            // The discriminator only where there are bursts; the running
            // phase starts again in each.
            const std::size_t count = span.end - span.begin;
            if (count < 2) continue;
            discriminate(y + span.begin, count, freq_.data() + span.begin);
            runningPhase(freq_.data() + span.begin, count - 1, phase_.data() + span.begin);
            readSpan(span, y, len, missed);
        }
        // Bursts without a packet last, when the UAP of the block's other
        // packets is known.
        if (!missed.empty()) {
            for (const SlicedBits& s : missed) secondChance(s);
            std::stable_sort(found_.begin(), found_.end(), [](const ReceivedPacket& a, const ReceivedPacket& b) {
                return a.startSample < b.startSample;
            });
        }
        return std::move(found_);
    }

private:
    // Symbols sliced behind an EDR packet for the next one: a gap, its GFSK
    // part and more.
    static constexpr std::size_t kProbeSymbols = 320;

    // The GFSK slicer's clock and threshold follow whatever the span holds,
    // and over an EDR packet's DPSK section they wander: where packets
    // follow each other without a power gap, the bits after one are not
    // trustworthy. The span is sliced in pieces that start afresh after
    // every EDR packet: first a short one that holds the GFSK part of an
    // EDR packet right behind it, and where none is there, pieces that
    // hold the longest packet, growing as long as no EDR packet turns up.
    // Where the span holds no EDR packet, it is sliced once as a whole.
    void readSpan(SampleSpan span, const CFloat* y, std::size_t len, std::vector<SlicedBits>& missed) {
        const auto longest = static_cast<std::size_t>(std::ceil(double(kLongestPacketBits + 64) * sps_));
        const auto least = static_cast<std::size_t>(std::ceil(68 * sps_));
        std::size_t cursor = span.begin, length = span.end - span.begin;
        double ownBegin = -1;
        bool probe = false;
        while (cursor < span.end && span.end - cursor >= least) {
            const std::size_t end =
                std::min(span.end, cursor + (probe ? static_cast<std::size_t>(std::ceil(kProbeSymbols * sps_)) : length));
            const double ownEnd = end == span.end || probe ? double(end) : double(end - std::min(end, longest));
            SlicedBits sliced = sliceSpan(phase_.data(), y, phase_.size(), SampleSpan{cursor, end}, sps_);
            // The slicer's clock and carrier, a sequence search for the bits.
            detectSequence(x_.data(), len, sps_, sliced);
            const std::size_t before = found_.size();
            edrEnd_.reset();
            search(sliced, ownBegin, ownEnd, probe);
            if (edrEnd_) {
                const double e = std::max(*edrEnd_, double(cursor) + 1);
                cursor = static_cast<std::size_t>(e);
                ownBegin = e - sps_;
                probe = true;
                length = 2 * longest;
                continue;
            }
            if (probe) {
                probe = false;
                continue;
            }
            if (found_.size() == before) missed.push_back(std::move(sliced));
            if (end == span.end || ownEnd <= double(cursor)) break;
            ownBegin = ownEnd;
            cursor = static_cast<std::size_t>(std::max(double(cursor) + 1, ownEnd - 16 * sps_));
            length *= 2;
        }
    }

    struct Target {
        std::uint32_t lap;
        std::uint64_t word;
    };

    // A burst is a packet's, and noise that reads a long run of equal
    // symbols as a carrier offset can put more errors into its sync word
    // than the search allows. A burst that gave no packet is searched once
    // more at its start, for the position of fewest errors against the
    // known sync words; that one is taken only within kSecondChanceErrors
    // and when the header behind it checks (a position of noise comes
    // within 13 of 64 bits about once in 10^7 tries).
    void secondChance(const SlicedBits& s) {
        constexpr int kSecondChanceErrors = 13;
        const Bits& bits = s.bits;
        const std::size_t nb = bits.size();
        if (targets_.empty() || nb < 68 || options_.maxSyncErrors >= kSecondChanceErrors) return;
        // The sync word starts after the preamble, a ramp and the margin
        // the burst detection leaves.
        constexpr std::size_t kStartReach = 48;
        std::size_t bestAt = 0;
        const Target* best = nullptr;
        int fewest = kSecondChanceErrors + 1;
        std::uint64_t word = 0;
        for (unsigned k = 0; k < 64; ++k) word |= std::uint64_t(bits[k]) << k;
        for (std::size_t j = 0; j < kStartReach && j + 64 <= nb; ++j) {
            if (j > 0) word = (word >> 1) | (std::uint64_t(bits[j + 63]) << 63);
            for (const Target& t : targets_) {
                const int errors = std::popcount(word ^ t.word);
                if (errors < fewest) fewest = errors, best = &t, bestAt = j;
            }
        }
        if (best) packetAt(s, bestAt, best->lap, fewest, true);
    }

    // Sync words at times ownBegin .. ownEnd (of the block's row); the
    // search stops behind an EDR packet (`edrEnd_`). `edrOnly`: only EDR
    // packets are taken.
    void search(const SlicedBits& s, double ownBegin, double ownEnd, bool edrOnly) {
        const Bits& bits = s.bits;
        const std::size_t nb = bits.size();
        if (nb < 68) return;
        const auto wordAt = [&](std::size_t j) {
            std::uint64_t w = 0;
            for (unsigned k = 0; k < 64; ++k) w |= std::uint64_t(bits[j + k]) << k;
            return w;
        };
        std::size_t j = 0;
        std::uint64_t word = wordAt(0);
        while (j + 64 <= nb) {
            if (s.centres[j] >= ownEnd) return;
            const Target* hit = nullptr;
            int errors = 0;
            for (const Target& t : targets_) {
                errors = std::popcount(word ^ t.word);
                if (errors <= options_.maxSyncErrors) {
                    hit = &t;
                    break;
                }
            }
            if (!hit && !options_.lap && barkerOk(word)) {
                if (const auto lap = lapOfSyncWord(word)) {
                    targets_.push_back({*lap, word});
                    hit = &targets_.back();
                    errors = 0;
                }
            }
            if (hit && s.centres[j] >= ownBegin) {
                const std::size_t used = packetAt(s, j, hit->lap, errors, false, edrOnly);
                if (edrEnd_) return;
                if (used > 0) {
                    j += used;
                    if (j + 64 <= nb) word = wordAt(j);
                    continue;
                }
            }
            if (j + 64 >= nb) break;
            word = (word >> 1) | (std::uint64_t(bits[j + 64]) << 63);
            ++j;
        }
    }

    // Decodes and measures the packet whose sync word starts at bit j of
    // the span; returns the bits it used (0: not this block's). With
    // `headerMustCheck`, a packet whose header does not check is not one
    // (0): its HEC, and the CRC too where the HEC named the UAP.
    std::size_t packetAt(const SlicedBits& s, std::size_t j, std::uint32_t lap, int syncErrors, bool headerMustCheck,
                         bool edrOnly = false) {
        const double syncTime = double(block_.readBegin) + s.centres[j];
        if (syncTime < double(block_.ownBegin) || syncTime >= double(block_.ownEnd)) return 64;
        // Air bits from the preamble on; a preamble cut off by the span is
        // taken to be what the sync word calls for.
        const std::size_t from = j >= kPreambleBits ? j - kPreambleBits : 0;
        const std::size_t missing = kPreambleBits - (j - from);
        const std::size_t to = std::min(s.bits.size(), j + kLongestPacketBits);
        Bits air(missing + (to - from));
        std::vector<double> centres(air.size());
        for (std::size_t k = 0; k < missing; ++k) {
            air[k] = static_cast<std::uint8_t>((s.bits[j] ^ (kPreambleBits - k)) & 1u);
            centres[k] = s.centres[j] - double(kPreambleBits - k) * sps_;
        }
        std::copy(s.bits.begin() + static_cast<std::ptrdiff_t>(from), s.bits.begin() + static_cast<std::ptrdiff_t>(to),
                  air.begin() + static_cast<std::ptrdiff_t>(missing));
        std::copy(s.centres.begin() + static_cast<std::ptrdiff_t>(from),
                  s.centres.begin() + static_cast<std::ptrdiff_t>(to), centres.begin() + static_cast<std::ptrdiff_t>(missing));
        if (headerMustCheck && air.size() >= 72) {
            // The access code this position was taken for, trailer too:
            // the errors cluster at its end, where the trailer would read
            // as missing and the packet as an ID packet; the header decides.
            const std::uint64_t word = syncWordOf(lap);
            const auto bit = [&](unsigned k) { return static_cast<std::uint8_t>((word >> k) & 1u); };
            for (unsigned k = 0; k < kPreambleBits; ++k) air[k] = bit(0) ^ ((kPreambleBits - k) & 1u);
            for (unsigned k = 0; k < 64; ++k) air[kPreambleBits + k] = bit(k);
            for (unsigned k = 0; k < 4; ++k) air[68 + k] = bit(63) ^ 1u ^ (k & 1u);
        }

        DecodeKey key;
        key.lap = lap;
        key.linkType = options_.linkType;
        if (options_.uap) {
            key.uap = *options_.uap;
        } else if (const auto it = learnedUap_.find(lap); it != learnedUap_.end()) {
            key.uap = it->second;
        } else {
            key.findUap = true;
        }
        if (options_.whitening) key.whitening = *options_.whitening;
        else key.findWhitening = true;

        ReceivedPacket p;
        p.decoded = decodePacket(air, key, true);
        std::size_t edrSymbols = 0;
        if (p.decoded.hecOk && !p.decoded.isId) {
            // The carrier over the header, as the slicer saw it, for finding
            // the synchronisation sequence: more than 95 kHz off, the carrier
            // alone turns a DPSK symbol by the 0.6 rad the check allows.
            const std::size_t first = std::min(from + kEdrGfskBits - missing - 54, s.carrier.size());
            const std::size_t last = std::min(from + kEdrGfskBits - missing, s.carrier.size());
            double turn = 0;
            for (std::size_t k = first; k < last; ++k) turn += s.carrier[k];
            const double headerCarrier =
                last > first ? turn / double(last - first) * rate_ / (2 * std::numbers::pi * sps_) : 0;
            edrSymbols = readEdr(air, centres, key, p, headerCarrier);
        }
        if (headerMustCheck && (!p.decoded.hecOk || p.decoded.isId || (key.findUap && !p.decoded.confirmedByCrc)))
            return 0;
        if (edrOnly && edrSymbols == 0) return 0;
        p.decoded.syncErrors = syncErrors;
        p.decoded.lap = lap;
        if (key.findUap && p.decoded.confirmedByCrc) learnedUap_[lap] = p.decoded.uap;
        if (edrSymbols > 0) {
            const double start = double(block_.readBegin) + centres[0] + 1.0;
            p.startSample = static_cast<std::size_t>(std::max(0.0, std::round(start)));
            p.startTime = std::max(0.0, start) / rate_;
            found_.push_back(std::move(p));
            // Where the last symbol ends: the slicer's bits over the DPSK
            // section are not symbols, so it starts again there.
            edrEnd_ = centres[0] + (double(edrSymbols) - 0.5) * sps_;
            return edrSymbols - kPreambleBits;
        }
        const std::size_t length = std::min(p.decoded.length, air.size());
        air.resize(length);
        centres.resize(length);
        // The generator's layout (and the SigMF annotations made from it)
        // starts a symbol on the sample its frequency pulse is centred on,
        // less half a sample (the Gaussian filter has an even number of
        // taps), and gives a sample the phase step that ends on it; the
        // discriminator dates that step half a sample earlier. So the
        // packet starts one sample after the first preamble symbol's
        // centre on the receiver's clock.
        const double start = double(block_.readBegin) + centres[0] + 1.0;
        p.startSample = static_cast<std::size_t>(std::max(0.0, std::round(start)));
        p.startTime = std::max(0.0, start) / rate_;
        if (length > 0) {
            const double first = double(block_.readBegin) + centres[0] - sps_ / 2;
            const double last = double(block_.readBegin) + centres[length - 1] + sps_ / 2;
            const auto clampTo = [&](double v) {
                return static_cast<std::size_t>(std::clamp(v, 0.0, double(source_.size())));
            };
            p.symbols = {clampTo(std::ceil(first)), clampTo(std::floor(last))};
            if (p.symbols.end < p.symbols.begin) p.symbols.end = p.symbols.begin;
        }
        p.measured = measurePacket(x_.data(), x_.size(), centres, air, p.decoded, rate_, double(block_.readBegin), edges());
        found_.push_back(std::move(p));
        return std::max<std::size_t>(64, length > kPreambleBits + missing ? length - kPreambleBits : 64);
    }

    // The slicer's clock runs on through everything before the packet in
    // its span: behind an EDR packet with no power gap between them it has
    // tracked the DPSK section's phase jumps and can still be a third of a
    // symbol off over the next packet's GFSK part, more than the DPSK
    // reader's search for the reference symbol spans. The part's own bits
    // place it again: the time of its first symbol on the nominal symbol
    // period, within half a symbol of the slicer's, at which the phase
    // advances over the symbols agree best with the bits.
    double gfskStart(const Bits& air, const std::vector<double>& centres) const {
        double mean = 0;
        for (std::size_t q = kPreambleBits; q < kEdrGfskBits; ++q) mean += centres[q] - double(q) * sps_;
        const double guess = mean / double(kEdrGfskBits - kPreambleBits);
        const double half = sps_ / 2;
        const auto steps = static_cast<int>(std::max(8.0, std::ceil(sps_)));
        const double step = sps_ / steps;
        const auto phaseOf = [&](double t) { return phaseAt(phase_.data(), phase_.size(), t); };
        std::vector<double> score(std::size_t(steps) + 1);
        for (int k = 0; k <= steps; ++k) {
            const double o = -half + k * step;
            double sum = 0;
            for (std::size_t q = kPreambleBits; q < kEdrGfskBits; ++q) {
                const double t = guess + double(q) * sps_ + o;
                const double advance = phaseOf(t + half) - phaseOf(t - half);
                sum += air[q] ? advance : -advance;
            }
            score[std::size_t(k)] = sum;
        }
        const auto best = std::size_t(std::max_element(score.begin(), score.end()) - score.begin());
        double shift = -half + double(best) * step;
        if (best > 0 && best < score.size() - 1) {
            const double left = score[best - 1], right = score[best + 1];
            const double curvature = left - 2 * score[best] + right;
            if (curvature < 0) shift += std::clamp(0.5 * (left - right) / curvature, -0.5, 0.5) * step;
        }
        return guess + shift;
    }

    // An Enhanced Data Rate packet behind the header: its DPSK section's
    // synchronisation sequence where the GFSK clock puts it. When found, the
    // payload is read from the DPSK symbols and `p` becomes the EDR
    // packet, measured on its GFSK part and its DPSK part; returns the
    // packet's symbols from the first preamble symbol (0: not EDR).
    std::size_t readEdr(const Bits& air, std::vector<double>& centres, const DecodeKey& key, ReceivedPacket& p,
                        double headerCarrier) {
        if (air.size() < kEdrGfskBits) return 0;
        // A type with an EDR form tells the modulation. A header read under
        // a guessed whitening or UAP may name another type (of another
        // size): unless the type it names reads with its CRC valid, both
        // modulations are tried at their largest.
        std::vector<EdrTypeInfo> kinds;
        if (const auto info = edrTypeInfo(p.decoded.type, options_.linkType)) kinds.push_back(*info);
        const bool guessed = key.findWhitening || key.findUap;
        if (guessed)
            for (const EdrTypeInfo largest : {EdrTypeInfo{2, 16 + 679 * 8 + 16}, EdrTypeInfo{3, 16 + 1021 * 8 + 16}})
                if (kinds.empty() || largest.bitsPerSymbol != kinds[0].bitsPerSymbol ||
                    largest.maxPayloadBits != kinds[0].maxPayloadBits)
                    kinds.push_back(largest);
        if (kinds.empty()) return 0;
        // The slicer's clock of the GFSK part: a line through its symbol
        // centres, which must run at the symbol rate.
        double sq = 0, st = 0, sqq = 0, sqt = 0;
        const double count = double(kEdrGfskBits);
        for (std::size_t q = 0; q < kEdrGfskBits; ++q) {
            sq += double(q), st += centres[q], sqq += double(q) * double(q), sqt += double(q) * centres[q];
        }
        const double period = (count * sqt - sq * st) / (count * sqq - sq * sq);
        if (!(std::fabs(period / sps_ - 1) < 0.01)) return 0;
        // The GFSK part's period is not fine enough to carry over thousands
        // of symbols: the DPSK reader tracks its own from the nominal one.
        const EdrClock clock{gfskStart(air, centres), sps_};
        if (readEdrSymbols(x_.data(), x_.size(), clock, rate_, headerCarrier, 1 + kEdrSyncSymbols, 3, false).bitsPerSymbol == 0)
            return 0;

        // An EDR packet: the GFSK part on its own timing from here on.
        for (std::size_t q = 0; q < centres.size(); ++q) centres[q] = clock.start + double(q) * sps_;
        const Bits gfskAir(air.begin(), air.begin() + std::ptrdiff_t(kEdrGfskBits));
        const std::vector<double> gfskCentres(centres.begin(), centres.begin() + std::ptrdiff_t(kEdrGfskBits));
        PacketMeasurements m =
            measurePacket(x_.data(), x_.size(), gfskCentres, gfskAir, p.decoded, rate_, double(block_.readBegin), edges());
        const double carrier = m.carrierOffset.value_or(m.initialFrequency.value_or(0.0));
        std::optional<DecodedPacket> best;
        EdrSymbols bestSymbols;
        for (const EdrTypeInfo& kind : kinds) {
            const auto bps = static_cast<std::size_t>(kind.bitsPerSymbol);
            const std::size_t symbols = 1 + kEdrSyncSymbols + (kind.maxPayloadBits + bps - 1) / bps + 2;
            EdrSymbols s = readEdrSymbols(x_.data(), x_.size(), clock, rate_, carrier, symbols, kind.bitsPerSymbol, false);
            if (s.bitsPerSymbol == 0) continue;
            Bits edrAir = gfskAir;
            const Bits payload = edrPayloadBits(s);
            edrAir.insert(edrAir.end(), payload.begin(), payload.end());
            DecodeKey k = key;
            k.edrBitsPerSymbol = kind.bitsPerSymbol;
            DecodedPacket d = decodePacket(edrAir, k, true);
            if (!d.hecOk || d.edrBitsPerSymbol == 0) continue;
            if (!best || (d.ok() && !best->ok())) best = std::move(d), bestSymbols = std::move(s);
            if (best->ok()) break;
        }
        if (!best) return 0;
        const auto bps = static_cast<std::size_t>(best->edrBitsPerSymbol);
        const std::size_t payloadSymbols = (best->length - std::min(best->length, kEdrGfskBits) + bps - 1) / bps;
        // Measured on the packet's own symbols: read again to its end, so
        // that no instant is placed on what follows it.
        if (payloadSymbols > 0) {
            EdrSymbols exact = readEdrSymbols(x_.data(), x_.size(), clock, rate_, carrier,
                                              1 + kEdrSyncSymbols + payloadSymbols + 2, best->edrBitsPerSymbol);
            if (exact.bitsPerSymbol != 0) bestSymbols = std::move(exact);
        }
        m.edr = measureEdr(x_.data(), x_.size(), bestSymbols, payloadSymbols, clock, rate_, options_.keepEdrPoints);
        p.decoded = std::move(*best);
        p.measured = std::move(m);
        return static_cast<std::size_t>(kEdrReferenceSymbol) + 1 + kEdrSyncSymbols + payloadSymbols + 2;
    }

    // The other end of a looped waveform, read once, where this block
    // reaches an end of the recording.
    RowEdges edges() {
        if (!options_.cyclic) return {};
        const std::size_t n = source_.size();
        const auto reach = std::min(n, static_cast<std::size_t>(std::ceil(kChannelFilterHalfSpanUs * sps_)) + 2);
        RowEdges e;
        if (block_.readBegin == 0) {
            if (before_.empty()) {
                before_.resize(reach);
                source_.read(n - reach, reach, before_.data());
            }
            e.before = before_.data(), e.beforeCount = before_.size();
        }
        if (block_.readEnd == n) {
            if (after_.empty()) {
                after_.resize(reach);
                source_.read(0, reach, after_.data());
            }
            e.after = after_.data(), e.afterCount = after_.size();
        }
        return e;
    }

    const SampleSource& source_;
    std::vector<CFloat> before_, after_;
    double rate_, sps_;
    ReceiverOptions options_;
    Block block_;
    SampleRow x_, y_;
    std::vector<float> freq_;
    std::vector<double> phase_;
    std::vector<Target> targets_;
    std::map<std::uint32_t, std::uint8_t> learnedUap_;
    std::vector<ReceivedPacket> found_;
    std::optional<double> edrEnd_;
};

bool repeatsOneByte(const Bits& body) {
    if (body.size() < 16) return false;
    for (std::size_t k = 8; k + 8 <= body.size(); ++k)
        if (body[k] != body[k % 8]) return false;
    return true;
}

std::vector<PacketSummaryInput> inputsOf(const std::vector<const Reception*>& receptions) {
    std::vector<PacketSummaryInput> in;
    for (const Reception* r : receptions)
        for (const ReceivedPacket& p : r->packets) in.push_back({&p.decoded, &p.measured});
    return in;
}

}  // namespace

Reception receive(const SampleSource& source, double sampleRate, const ReceiverOptions& options) {
    if (!std::isfinite(sampleRate) || sampleRate < 2e6)
        throw Error("The sample rate must be at least 2 MHz (2 samples per symbol).");
    // Blocks hold the longest packet at the sample rate: keep them to tens
    // of megabytes.
    if (sampleRate > 200e6) throw Error("The sample rate must be at most 200 MHz.");
    if (options.lap && *options.lap > 0xFFFFFF) throw Error("The LAP has 24 bits.");
    if (options.whitening && *options.whitening > 127) throw Error("The whitening start value is 0 to 127.");
    if (options.maxSyncErrors < 0 || options.maxSyncErrors > 13)
        throw Error("The sync-word errors allowed are 0 to 13.");

    Reception r;
    r.sampleRate = sampleRate;
    r.samples = source.size();
    const double sps = sampleRate / 1e6;
    const auto overlap = static_cast<std::size_t>(std::ceil(double(kLongestPacketBits + 64) * sps));
    const auto lead = static_cast<std::size_t>(std::ceil(80 * sps));
    const std::size_t step = std::max(options.blockSamples, 4 * overlap);
    const std::size_t n = source.size();
    const std::size_t blocks = (n + step - 1) / step;
    std::vector<std::vector<ReceivedPacket>> found(blocks);
    parallelFor(blocks, [&](std::size_t k) {
        Block b;
        b.ownBegin = k * step;
        b.ownEnd = std::min(n, b.ownBegin + step);
        b.readBegin = b.ownBegin > lead ? b.ownBegin - lead : 0;
        b.readEnd = std::min(n, b.ownEnd + overlap);
        if (k + 1 == blocks) b.ownEnd = n + 1;  // the last block owns the very end too
        BlockReceiver receiver(source, sampleRate, options);
        found[k] = receiver.run(b);
    });
    for (auto& f : found)
        for (auto& p : f) r.packets.push_back(std::move(p));
    // The spectrum tests run on a pseudo-random payload: one byte repeated
    // makes a line spectrum (10101010 puts lines at +-500 kHz 17 dB below
    // the carrier's, and reads 1.004 MHz wide).
    std::vector<SampleSpan> spans;
    for (const ReceivedPacket& p : r.packets)
        if (p.decoded.ok() && !repeatsOneByte(p.decoded.body) && spans.size() < kSpectrumPackets)
            spans.push_back(p.symbols);
    r.spectrum = outputSpectrum(source, sampleRate, spans);
    r.summary = summariseAll({&r});
    return r;
}

Reception receive(const Complex* waveform, std::size_t count, double sampleRate, const ReceiverOptions& options) {
    return receive(ComplexRowSource(waveform, count), sampleRate, options);
}

MeasurementSummary summariseAll(const std::vector<const Reception*>& receptions, std::optional<double> referenceDbm) {
    OutputSpectrum spectrum;
    for (const Reception* r : receptions) spectrum.add(r->spectrum);
    return summarise(inputsOf(receptions), spectrum, referenceDbm);
}

void referPowerToFullScale(Reception& reception, double fullScale) {
    if (!(fullScale > 0) || fullScale == 1) return;
    const double shift = 20 * std::log10(fullScale);
    for (ReceivedPacket& p : reception.packets) {
        if (p.measured.averagePowerDb) *p.measured.averagePowerDb -= shift;
        if (p.measured.peakPowerDb) *p.measured.peakPowerDb -= shift;
    }
    reception.spectrum.scale(fullScale * fullScale);
}

}  // namespace bt::analysis
