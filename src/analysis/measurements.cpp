#include "analysis/measurements.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <numbers>

#include "analysis/channel_filter.h"
#include "lib/numtext.h"

namespace bt::analysis {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

bool groupReads(const Bits& air, std::size_t at, const char* pattern, std::size_t width) {
    for (std::size_t k = 0; k < width; ++k)
        if (air[at + k] != pattern[k] - '0') return false;
    return true;
}

PayloadPattern patternOf(const Bits& air, const DecodedPacket& d, std::size_t available) {
    if (!d.ok() || d.isId || d.fecThird || d.fecTwoThirds || d.bodyStart == 0 || d.body.size() < 8) return PayloadPattern::Other;
    const std::size_t end = d.bodyStart + d.body.size();
    if (end > available || d.body.size() % 8 != 0) return PayloadPattern::Other;
    for (const auto& [pattern, name] : {std::pair{"11110000", PayloadPattern::F1}, std::pair{"10101010", PayloadPattern::F2}}) {
        bool all = true;
        for (std::size_t g = d.bodyStart; all && g < end; g += 8) all = groupReads(air, g, pattern, 8);
        if (all) return name;
    }
    return PayloadPattern::Other;
}

double mean(const std::vector<double>& v) {
    double s = 0;
    for (const double x : v) s += x;
    return s / double(v.size());
}

}  // namespace

PacketMeasurements measurePacket(const CFloat* x, std::size_t n, const std::vector<double>& centres, const Bits& air,
                                 const DecodedPacket& d, double rate, double timeOrigin, RowEdges edges) {
    PacketMeasurements m;
    const std::size_t count = std::min(centres.size(), air.size());
    if (count < 5 || n < 4) return m;
    const double sps = count > 1 ? (centres[count - 1] - centres[0]) / double(count - 1) : rate / 1e6;
    // Every figure is read on the channel-filtered signal, evaluated at the
    // instants it needs (the filter interpolates, too).
    const ChannelFilter filter(x, n, sps, edges);
    // The grid at the nominal rate, whose whole steps share their taps.
    const FilteredPhase ph(filter, centres[0] - sps, centres[count - 1] + sps, rate / 1e6);
    if (ph.empty()) return m;
    const double toHz = rate / kTwoPi;
    const double symbolRate = rate / sps;

    m.initialFrequency = ph.mean(centres[0], centres[4]) * toHz;

    // Runs of three equal symbols: the middle one sits at the full deviation.
    double sum1 = 0, sum0 = 0;
    std::size_t n1 = 0, n0 = 0;
    std::vector<std::size_t> runs;
    std::vector<double> advance(count, 0.0);
    for (std::size_t k = 1; k + 1 < count; ++k) {
        if (air[k - 1] != air[k] || air[k + 1] != air[k]) continue;
        advance[k] = ph.phase(centres[k] + sps / 2) - ph.phase(centres[k] - sps / 2);
        runs.push_back(k);
        if (air[k]) sum1 += advance[k], ++n1;
        else sum0 += advance[k], ++n0;
    }
    // Neighbouring runs of opposite sign, paired: the carrier (and any
    // drift, which moves little between them) cancels in their difference.
    double pairSum = 0;
    std::size_t pairs = 0;
    for (std::size_t r = 1; r < runs.size(); ++r) {
        const std::size_t a = runs[r - 1], b = runs[r];
        if (air[a] == air[b] || b - a > 16) continue;
        pairSum += (air[a] ? advance[a] - advance[b] : advance[b] - advance[a]) / kTwoPi;
        ++pairs;
        ++r;  // each run symbol in one pair only
    }
    std::vector<double> trackSamples;  // times of the carrier track in samples of x
    if (n1 > 0 && n0 > 0) {
        const double h = pairs > 0 ? pairSum / double(pairs) : (sum1 / double(n1) - sum0 / double(n0)) / kTwoPi;
        m.modulationIndex = h;
        for (const std::size_t k : runs) {
            const double f = advance[k] / sps * toHz - (air[k] ? 1 : -1) * h * symbolRate / 2;
            m.carrierTrackTime.push_back((timeOrigin + centres[k]) / rate);
            m.carrierTrack.push_back(f);
            trackSamples.push_back(centres[k]);
        }
        m.carrierOffset = mean(m.carrierTrack);
    }
    // The carrier at time t (samples of x), from the track.
    const auto carrierAt = [&](double t) {
        const auto it = std::lower_bound(trackSamples.begin(), trackSamples.end(), t);
        if (it == trackSamples.begin()) return m.carrierTrack.front();
        if (it == trackSamples.end()) return m.carrierTrack.back();
        const auto i = std::size_t(it - trackSamples.begin());
        const double u = (t - trackSamples[i - 1]) / (trackSamples[i] - trackSamples[i - 1]);
        return m.carrierTrack[i - 1] + u * (m.carrierTrack[i] - m.carrierTrack[i - 1]);
    };

    // Zero crossings (less the carrier) between runs of two or more.
    if (m.carrierOffset) {
        double sk = 0, st = 0, skk = 0, skt = 0;
        std::size_t crossings = 0;
        for (std::size_t k = 1; k + 2 < count; ++k) {
            if (air[k - 1] != air[k] || air[k + 1] == air[k] || air[k + 2] != air[k + 1]) continue;
            const double carrier = carrierAt(centres[k] + sps / 2) / toHz;
            // Between runs the pulse's symmetry makes the frequency nearly a
            // straight line through the crossing: a line through two
            // instants an eighth of a symbol either side of the boundary.
            const double mid = 0.5 * (centres[k] + centres[k + 1]);
            const double ta = mid - sps / 8, tb = mid + sps / 8;
            const double u = ph.frequency(ta) - carrier, v = ph.frequency(tb) - carrier;
            if ((u > 0) == (v > 0)) continue;
            {
                const double t = ta + u / (u - v) * (tb - ta);
                const double kk = double(k) + 0.5;
                sk += kk, st += t, skk += kk * kk, skt += kk * t;
                ++crossings;
            }
        }
        if (crossings >= 10) {
            const double c = double(crossings);
            const double period = (c * skt - sk * st) / (c * skk - sk * sk);
            if (period > 0) m.symbolRateErrorPpm = (rate / 1e6 / period - 1) * 1e6;
        }
    }

    // Signal to noise from the second and fourth moments over the packet.
    {
        const auto from = static_cast<std::size_t>(std::max(0.0, std::ceil(centres[0])));
        const auto to = std::min(n, static_cast<std::size_t>(std::max(0.0, centres[count - 1])));
        double m2 = 0, m4 = 0;
        for (std::size_t k = from; k < to; ++k) {
            const double p = std::norm(x[k]);
            m2 += p;
            m4 += p * p;
        }
        if (to > from + 16 && m2 > 0) {
            m2 /= double(to - from);
            m4 /= double(to - from);
            const double s = std::sqrt(std::max(0.0, 2 * m2 * m2 - m4));
            const double noise = m2 - s;
            m.snrDb = noise > s * 1e-10 ? 10 * std::log10(s / noise) : 100.0;
            if (s <= 0) m.snrDb = -100.0;
            m.snrDb = std::clamp(*m.snrDb, -100.0, 100.0);
        }
    }

    // Output power over the packet's symbols.
    {
        const auto from = static_cast<std::size_t>(std::max(0.0, std::ceil(centres[0] - sps / 2)));
        const auto to = std::min(n, static_cast<std::size_t>(std::max(0.0, std::floor(centres[count - 1] + sps / 2))));
        double sum = 0, peak = 0;
        for (std::size_t k = from; k < to; ++k) {
            const double p = std::norm(x[k]);
            sum += p;
            peak = std::max(peak, p);
        }
        if (to > from && peak > 0) {
            m.averagePowerDb = 10 * std::log10(sum / double(to - from));
            m.peakPowerDb = 10 * std::log10(peak);
        }
    }

    // Delta f1 / delta f2 on bodies of one repeated pattern.
    m.pattern = patternOf(air, d, count);
    if (m.pattern != PayloadPattern::Other) {
        const std::size_t end = d.bodyStart + d.body.size();
        std::vector<double> up, down;  // delta f1: the ones' and the zeros' deviation of each group
        for (std::size_t g = d.bodyStart; g + 8 <= end; g += 8) {
            const double centre = ph.mean(centres[g] - sps / 2, centres[g + 7] + sps / 2);
            if (m.pattern == PayloadPattern::F1) {
                // The inner two symbols of each run of four sit at the full
                // deviation for their whole periods: their mean frequency
                // is read, not one instant each (a fifth of the noise).
                const auto inner = [&](std::size_t k) {
                    return ph.mean(centres[g + k] - sps / 2, centres[g + k + 1] + sps / 2) * toHz;
                };
                up.push_back(inner(1) - centre * toHz);
                down.push_back(centre * toHz - inner(5));
            } else {
                for (std::size_t k = 0; k < 8; ++k) m.f2max.push_back(std::fabs(ph.frequency(centres[g + k]) - centre) * toHz);
            }
        }
        // The larger of a group's two deviations is their mean plus half
        // their difference. Under noise the difference of each group, taken
        // in magnitude, reads high by about its noise; the transmitter's
        // own asymmetry is the packet's mean difference, so that is taken.
        if (!up.empty()) {
            double asymmetry = 0;
            for (std::size_t k = 0; k < up.size(); ++k) asymmetry += (up[k] - down[k]) / double(up.size());
            for (std::size_t k = 0; k < up.size(); ++k) m.f1max.push_back((up[k] + down[k]) / 2 + std::fabs(asymmetry) / 2);
        }
        if (!m.f1max.empty()) m.f1avg = mean(m.f1max);
        if (!m.f2max.empty()) m.f2avg = mean(m.f2max);
    }
    if (m.pattern == PayloadPattern::F2) {
        std::vector<double> blocks;
        const std::size_t end = d.bodyStart + d.body.size();
        for (std::size_t i = d.bodyStart + 1; i + 10 < end; i += 10)
            blocks.push_back(ph.mean(centres[i], centres[i + 10]) * toHz);
        if (!blocks.empty()) {
            double drift = 0, rateMax = 0;
            for (std::size_t k = 0; k < blocks.size(); ++k) {
                const double dk = blocks[k] - *m.initialFrequency;
                if (std::fabs(dk) > std::fabs(drift)) drift = dk;
                if (k >= 5) {
                    const double rk = blocks[k] - blocks[k - 5];
                    if (std::fabs(rk) > std::fabs(rateMax)) rateMax = rk;
                }
            }
            m.drift = drift;
            if (blocks.size() > 5) m.driftRate = rateMax;
        }
    }
    return m;
}

namespace {

// The EDR transmitter tests over the packets: relative power, carrier
// frequency stability (omega_i from the GFSK part, omega_o per DEVM block),
// modulation accuracy per modulation, and differential phase encoding
// (packets without error among the EDR packets whose header checked).
class EdrFigures {
public:
    void addDecoded(const DecodedPacket& d) {
        ++decoded_;
        if (d.ok()) ++errorFree_;
    }
    void addMeasured(const PacketMeasurements& m) {
        const EdrMeasurements& e = *m.edr;
        if (e.relativePowerDb) {
            const double v = *e.relativePowerDb;
            // The worst is the one farthest outside, or nearest an edge.
            const auto margin = [](double x) { return std::min(x + 4, 1 - x); };
            if (!relPower_ || margin(v) < margin(*relPower_)) relPower_ = v;
            ++relPackets_;
        }
        if (e.blockDevm.empty()) return;
        ++stabilityPackets_;
        if (m.carrierOffset) {
            worst(omegaI_, *m.carrierOffset);
            for (const double o : e.omegaO) worst(omegaIO_, *m.carrierOffset + o);
        }
        for (const double o : e.omegaO) worst(omegaO_, o);
        Modulation& mod = e.bitsPerSymbol == 2 ? dqpsk_ : dpsk8_;
        ++mod.packets;
        mod.rms = std::max(mod.rms, *std::max_element(e.blockDevm.begin(), e.blockDevm.end()));
        mod.peak = std::max(mod.peak, e.peakDevm);
        mod.symbols.insert(mod.symbols.end(), e.symbolDevm.begin(), e.symbolDevm.end());
    }
    void addTests(std::vector<TestResult>& tests) {
        if (relPackets_)
            tests.push_back({"EDR relative transmit power", "P(DPSK) - P(GFSK) farthest from the limits", *relPower_, "dB",
                             "-4 dB < P(DPSK) - P(GFSK) < +1 dB", *relPower_ > -4 && *relPower_ < 1, relPackets_});
        if (stabilityPackets_) {
            if (omegaI_)
                tests.push_back({"EDR carrier frequency stability: wi", "largest |wi| (GFSK part)", *omegaI_ / 1e3, "kHz",
                                 "|wi| <= 75 kHz", std::fabs(*omegaI_) <= 75e3, stabilityPackets_});
            tests.push_back({"EDR carrier frequency stability: wo", "largest |wo| (50 us blocks)", omegaO_.value_or(0) / 1e3,
                             "kHz", "|wo| <= 10 kHz", std::fabs(omegaO_.value_or(0)) <= 10e3, stabilityPackets_});
            if (omegaIO_)
                tests.push_back({"EDR carrier frequency stability: wi + wo", "largest |wi + wo|", *omegaIO_ / 1e3, "kHz",
                                 "|wi + wo| <= 75 kHz", std::fabs(*omegaIO_) <= 75e3, stabilityPackets_});
        }
        addAccuracy(tests, dqpsk_, "pi/4-DQPSK", 0.20, 0.30, 0.35);
        addAccuracy(tests, dpsk8_, "8DPSK", 0.13, 0.20, 0.25);
        if (decoded_) {
            const double share = 100.0 * double(errorFree_) / double(decoded_);
            tests.push_back({"EDR differential phase encoding", "packets without error", share, "%",
                             ">= 99 % of the packets without error", share >= 99, decoded_});
        }
    }

private:
    struct Modulation {
        std::size_t packets = 0;
        double rms = 0, peak = 0;
        std::vector<float> symbols;
    };
    static void worst(std::optional<double>& w, double v) {
        if (!w || std::fabs(v) > std::fabs(*w)) w = v;
    }
    static void addAccuracy(std::vector<TestResult>& tests, Modulation& m, const std::string& name, double rmsLimit,
                            double p99Limit, double peakLimit) {
        if (m.packets == 0) return;
        const auto at = static_cast<std::ptrdiff_t>(std::ceil(0.99 * double(m.symbols.size()))) - 1;
        std::nth_element(m.symbols.begin(), m.symbols.begin() + std::max<std::ptrdiff_t>(at, 0), m.symbols.end());
        const double p99 = m.symbols[static_cast<std::size_t>(std::max<std::ptrdiff_t>(at, 0))];
        const auto limit = [](double v) { return formatNumber(v); };
        tests.push_back({"EDR modulation accuracy " + name + ": RMS DEVM", "largest RMS DEVM of a 50 us block", m.rms, "",
                         "RMS DEVM <= " + limit(rmsLimit), m.rms <= rmsLimit, m.packets});
        tests.push_back({"EDR modulation accuracy " + name + ": 99% DEVM", "DEVM that 99 % of the symbols stay within",
                         p99, "", "99% DEVM <= " + limit(p99Limit), p99 <= p99Limit, m.packets});
        tests.push_back({"EDR modulation accuracy " + name + ": peak DEVM", "largest symbol DEVM", m.peak, "",
                         "peak DEVM <= " + limit(peakLimit), m.peak <= peakLimit, m.packets});
    }

    std::size_t decoded_ = 0, errorFree_ = 0, relPackets_ = 0, stabilityPackets_ = 0;
    std::optional<double> relPower_, omegaI_, omegaO_, omegaIO_;
    Modulation dqpsk_, dpsk8_;
};

}  // namespace

bool MeasurementSummary::allPass() const {
    return std::all_of(tests.begin(), tests.end(), [](const TestResult& t) { return t.pass; });
}

namespace {

// The output spectrum tests: the 20 dB bandwidth always, the channel
// powers against their limits in dBm when the reference level is known
// (2 MHz off: -20 dBm; 3 MHz or more: -40 dBm, where up to three channels
// may reach -20 dBm).
void spectrumTests(MeasurementSummary& s, const OutputSpectrum& spectrum) {
    if (spectrum.empty()) return;
    s.spectrumPackets = spectrum.packets;
    s.bandwidth20dB = twentyDbBandwidth(spectrum);
    s.channelPowers = channelPowers(spectrum);
    const std::size_t packets = spectrum.packets;
    if (s.bandwidth20dB) {
        const double width = s.bandwidth20dB->width();
        s.tests.push_back({"output spectrum 20 dB bandwidth", "fH - fL of the peak-hold spectrum (RBW 10 kHz)",
                           width / 1e3, "kHz", "<= 1000 kHz", width <= 1e6, packets});
    }
    if (!s.referenceDbm) return;
    const double ref = *s.referenceDbm;
    std::optional<double> two;
    std::vector<double> far;
    for (const ChannelPower& c : s.channelPowers) {
        const int off = std::abs(c.offset);
        if (off == 2) two = std::max(two.value_or(-1e300), c.powerDb + ref);
        if (off >= 3) far.push_back(c.powerDb + ref);
    }
    if (two)
        s.tests.push_back({"adjacent channel power 2 MHz off", "largest power of the channels 2 MHz off", *two, "dBm",
                           "<= -20 dBm", *two <= -20, packets});
    if (!far.empty()) {
        std::sort(far.begin(), far.end(), std::greater<>());
        // Up to three channels may be exceptions up to -20 dBm.
        const bool pass = far.front() <= -20 && (far.size() <= 3 || far[3] <= -40);
        s.tests.push_back({"adjacent channel power 3 MHz or more off", "largest power of the channels 3 MHz or more off",
                           far.front(), "dBm", "<= -40 dBm, up to three channels <= -20 dBm", pass, packets});
    }
}

}  // namespace

MeasurementSummary summarise(const std::vector<PacketSummaryInput>& packets, const OutputSpectrum& spectrum,
                             std::optional<double> referenceDbm) {
    MeasurementSummary s;
    s.referenceDbm = referenceDbm;
    std::vector<double> f0, f1, f2, idx, offs, ppm, snr, power;
    std::optional<double> peak;
    TestResult drift{"carrier frequency drift", "largest drift from the preamble frequency", 0, "kHz",
                     "|drift| <= 25 kHz (1 slot), 40 kHz (3, 5 slots)", true, 0};
    TestResult driftRate{"carrier frequency drift rate", "largest change over 50 us", 0, "kHz/50us",
                         "|rate| <= 20 kHz per 50 us", true, 0};
    std::size_t f1packets = 0, f2packets = 0;
    EdrFigures edr;
    for (const auto& [d, m] : packets) {
        if (d->edrBitsPerSymbol != 0 && d->hecOk) edr.addDecoded(*d);
        // Only packets whose checks confirm them are the transmitter's.
        if (!d->ok()) continue;
        if (m->edr) edr.addMeasured(*m);
        ++s.confirmedPackets;
        if (m->initialFrequency) f0.push_back(*m->initialFrequency);
        if (m->modulationIndex) idx.push_back(*m->modulationIndex);
        if (m->carrierOffset) offs.push_back(*m->carrierOffset);
        if (m->symbolRateErrorPpm) ppm.push_back(*m->symbolRateErrorPpm);
        if (m->snrDb) snr.push_back(*m->snrDb);
        if (m->averagePowerDb) power.push_back(std::pow(10.0, *m->averagePowerDb / 10));
        if (m->peakPowerDb) peak = std::max(peak.value_or(-1e300), *m->peakPowerDb);
        if (!m->f1max.empty()) ++f1packets, f1.insert(f1.end(), m->f1max.begin(), m->f1max.end());
        if (!m->f2max.empty()) ++f2packets, f2.insert(f2.end(), m->f2max.begin(), m->f2max.end());
        if (m->drift) {
            const double limit = packetTypeSlots(d->type) > 1 ? 40e3 : 25e3;
            if (drift.packets == 0 || std::fabs(*m->drift) > std::fabs(drift.value * 1e3)) drift.value = *m->drift / 1e3;
            drift.pass = drift.pass && std::fabs(*m->drift) <= limit;
            ++drift.packets;
        }
        if (m->driftRate) {
            if (driftRate.packets == 0 || std::fabs(*m->driftRate) > std::fabs(driftRate.value * 1e3))
                driftRate.value = *m->driftRate / 1e3;
            driftRate.pass = driftRate.pass && std::fabs(*m->driftRate) <= 20e3;
            ++driftRate.packets;
        }
    }
    if (!f0.empty()) {
        double worst = f0.front();
        for (const double v : f0)
            if (std::fabs(v) > std::fabs(worst)) worst = v;
        s.tests.push_back({"initial carrier frequency tolerance", "largest |f0| from the carrier", worst / 1e3, "kHz",
                           "|f0| <= 75 kHz", std::fabs(worst) <= 75e3, f0.size()});
    }
    std::optional<double> f1avg, f2avg;
    if (!f1.empty()) {
        f1avg = mean(f1);
        s.tests.push_back({"modulation delta f1avg", "mean of delta f1max over the 11110000 groups", *f1avg / 1e3, "kHz",
                           "140 kHz <= delta f1avg <= 175 kHz", *f1avg >= 140e3 && *f1avg <= 175e3, f1packets});
    }
    if (!f2.empty()) {
        f2avg = mean(f2);
        const auto above = static_cast<double>(std::count_if(f2.begin(), f2.end(), [](double v) { return v >= 115e3; }));
        const double share = 100 * above / double(f2.size());
        s.tests.push_back({"modulation delta f2max", "share of delta f2max values >= 115 kHz", share, "%",
                           ">= 99.9 % of the values >= 115 kHz", share >= 99.9, f2packets});
    }
    if (f1avg && f2avg) {
        const double ratio = *f2avg / *f1avg;
        s.tests.push_back({"modulation delta f2avg/delta f1avg", "ratio of the means", ratio, "", "ratio >= 0.8",
                           ratio >= 0.8, std::min(f1packets, f2packets)});
    }
    if (drift.packets) s.tests.push_back(drift);
    if (driftRate.packets) s.tests.push_back(driftRate);
    edr.addTests(s.tests);
    if (!idx.empty()) s.modulationIndex = mean(idx);
    if (!offs.empty()) s.carrierOffset = mean(offs);
    if (!ppm.empty()) s.symbolRateErrorPpm = mean(ppm);
    if (!snr.empty()) s.snrDb = mean(snr);
    if (!power.empty()) s.averagePowerDb = 10 * std::log10(mean(power));
    s.peakPowerDb = peak;
    spectrumTests(s, spectrum);
    return s;
}

}  // namespace bt::analysis
