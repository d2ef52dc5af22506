#include "analysis/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

namespace bt::analysis {

namespace {

// A value that rounds to zero is printed without a sign ("0.00", not
// "-0.00").
std::string fixed(double v, int digits) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", digits, v);
    std::string text = buf;
    if (text.starts_with('-') && text.find_first_not_of("0.", 1) == std::string::npos) text.erase(0, 1);
    return text;
}

std::string opt(const std::optional<double>& v, double scale, int digits) {
    return v ? fixed(*v * scale, digits) : "-";
}

std::string hex(unsigned v, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", width, v);
    return buf;
}

nlohmann::json optJson(const std::optional<double>& v) { return v ? nlohmann::json(*v) : nlohmann::json(nullptr); }

std::size_t packetCount(const std::vector<ReceptionRow>& rows) {
    std::size_t n = 0;
    for (const auto& r : rows) n += r.reception->packets.size();
    return n;
}

const char* crcText(const DecodedPacket& d) {
    if (!d.crcPresent) return "-";
    return d.crcOk ? "ok" : "FAIL";
}

}  // namespace

std::string bodyHex(const Bits& body) {
    std::string s;
    for (std::size_t b = 0; b + 8 <= body.size(); b += 8) {
        unsigned v = 0;
        for (unsigned k = 0; k < 8; ++k) v |= unsigned(body[b + k] & 1u) << k;
        s += hex(v, 2);
    }
    return s;
}

Verdict verdictOf(const std::vector<ReceptionRow>& rows, const MeasurementSummary& summary) {
    if (packetCount(rows) == 0 || summary.confirmedPackets == 0) return Verdict::NoPacket;
    return summary.allPass() ? Verdict::Pass : Verdict::Fail;
}

void printPacketHeader(std::ostream& out) {
    char line[512];
    std::snprintf(line, sizeof line,
                  "  %4s %10s %10s %6s %3s %6s %4s %4s %4s %4s %4s %4s %4s %5s %3s %9s %9s %6s %6s  %s\n", "#",
                  "start", "time us", "LAP", "UAP", "type", "LT", "FLOW", "ARQN", "SEQN", "HEC", "CRC", "len", "FEC",
                  "err", "f0 kHz", "off kHz", "h", "SNR dB", "status");
    out << line;
}

void printPacketLine(std::ostream& out, std::size_t number, const ReceivedPacket& p) {
    char line[512];
    const DecodedPacket& d = p.decoded;
    const std::string type = d.isId ? "ID" : d.type < 0 ? "?" : packetTypeName(d.type, d.linkType, d.edrBitsPerSymbol);
    const auto field = [](int v) { return v < 0 ? std::string("-") : std::to_string(v); };
    std::snprintf(line, sizeof line,
                  "  %4zu %10zu %10.2f %6s %3s %6s %4s %4s %4s %4s %4s %4s %4s %5s %3d %9s %9s %6s %6s  %s%s\n", number,
                  p.startSample, p.startTime * 1e6, hex(d.lap, 6).c_str(),
                  d.isId || d.type < 0 ? "-" : hex(d.uap, 2).c_str(), type.c_str(),
                  field(d.AMaddr).c_str(), field(d.FLOW).c_str(), field(d.ARQN).c_str(), field(d.SEQN).c_str(),
                  d.isId ? "-" : d.hecOk ? "ok" : "FAIL", crcText(d),
                  d.payloadLength >= 0 ? std::to_string(d.payloadLength).c_str() : d.body.empty() ? "-" : std::to_string(d.body.size() / 8).c_str(),
                  (std::to_string(d.fecCorrected) + (d.fecUncorrectable ? "!" : "")).c_str(), d.syncErrors,
                  opt(p.measured.initialFrequency, 1e-3, 2).c_str(), opt(p.measured.carrierOffset, 1e-3, 2).c_str(),
                  opt(p.measured.modulationIndex, 1, 4).c_str(), opt(p.measured.snrDb, 1, 1).c_str(),
                  d.status().c_str(), d.truncated ? " (cut off by the end of the recording)" : "");
    out << line;
}

void printReport(std::ostream& out, const std::vector<ReceptionRow>& rows, const MeasurementSummary& summary) {
    for (const auto& [label, r] : rows) {
        out << label << ": " << r->samples << " samples at " << fixed(r->sampleRate / 1e6, 3) << " MHz, "
            << r->packets.size() << (r->packets.size() == 1 ? " packet\n" : " packets\n");
        if (r->packets.empty()) {
            out << "  no packet found\n";
            continue;
        }
        printPacketHeader(out);
        for (std::size_t k = 0; k < r->packets.size(); ++k) printPacketLine(out, k + 1, r->packets[k]);
    }
    out << '\n';
    printSummary(out, rows, summary);
}

void printSummary(std::ostream& out, const std::vector<ReceptionRow>& rows, const MeasurementSummary& summary) {
    out << "summary (" << summary.confirmedPackets << " confirmed of " << packetCount(rows)
        << (packetCount(rows) == 1 ? " packet" : " packets") << "):\n";
    if (packetCount(rows) == 0) {
        out << "  no packet found\n";
        return;
    }
    if (summary.confirmedPackets == 0) {
        out << "  no confirmed packet: nothing measured\n";
        out << "verdict: FAIL\n";
        return;
    }
    for (const TestResult& t : summary.tests) {
        out << "  " << t.name << ": " << fixed(t.value, t.unit == "" ? 3 : 2) << (t.unit.empty() ? "" : " ") << t.unit
            << "  (" << t.figure << "; limit " << t.limit << "; " << t.packets << (t.packets == 1 ? " packet" : " packets")
            << ")  " << (t.pass ? "PASS" : "FAIL") << '\n';
    }
    if (summary.tests.empty()) out << "  no test measured (no packet carried a test payload)\n";
    out << "  modulation index: " << opt(summary.modulationIndex, 1, 4) << '\n';
    out << "  carrier offset: " << opt(summary.carrierOffset, 1e-3, 2) << " kHz\n";
    out << "  symbol rate error: " << opt(summary.symbolRateErrorPpm, 1, 1) << " ppm\n";
    out << "  signal to noise: " << opt(summary.snrDb, 1, 1) << " dB\n";
    if (summary.averagePowerDb) {
        const auto dbm = [&](double v) {
            return summary.referenceDbm ? " (" + fixed(v + *summary.referenceDbm, 2) + " dBm)" : std::string();
        };
        out << "  packet output power: average " << fixed(*summary.averagePowerDb, 2) << " dBFS"
            << dbm(*summary.averagePowerDb) << ", peak " << fixed(*summary.peakPowerDb, 2) << " dBFS"
            << dbm(*summary.peakPowerDb) << '\n';
    }
    if (summary.bandwidth20dB) {
        out << "  output spectrum (" << summary.spectrumPackets << (summary.spectrumPackets == 1 ? " packet" : " packets")
            << ", RBW 10 kHz): 20 dB bandwidth " << fixed(summary.bandwidth20dB->width() / 1e3, 1) << " kHz, from "
            << fixed(summary.bandwidth20dB->lower / 1e3, 1) << " to " << fixed(summary.bandwidth20dB->upper / 1e3, 1)
            << " kHz\n";
    }
    if (!summary.channelPowers.empty()) {
        out << "  channel power (1 MHz channels; dBc against the in-band channel):\n";
        out << "    offset MHz       dBc      dBFS" << (summary.referenceDbm ? "       dBm" : "") << '\n';
        std::vector<ChannelPower> byOffset = summary.channelPowers;
        std::sort(byOffset.begin(), byOffset.end(), [](const ChannelPower& a, const ChannelPower& b) { return a.offset < b.offset; });
        for (const ChannelPower& c : byOffset) {
            char line[128];
            const std::string offset = (c.offset > 0 ? "+" : "") + std::to_string(c.offset);
            std::snprintf(line, sizeof line, "    %10s %9s %9s", offset.c_str(), fixed(c.relativeDb, 2).c_str(),
                          fixed(c.powerDb, 2).c_str());
            out << line;
            if (summary.referenceDbm) {
                std::snprintf(line, sizeof line, " %9s", fixed(c.powerDb + *summary.referenceDbm, 2).c_str());
                out << line;
            }
            out << '\n';
        }
    }
    out << "verdict: " << (summary.allPass() ? "PASS" : "FAIL") << '\n';
}

nlohmann::json reportJson(const std::vector<ReceptionRow>& rows, const MeasurementSummary& summary) {
    nlohmann::json j;
    // Figures are in SI units unless their name says otherwise.
    j["units"] = {{"frequency", "Hz"}, {"time", "s"}, {"sample_rate", "Hz"}, {"modulation_index", "1"},
                  {"symbol_rate_error_ppm", "ppm"}, {"snr_db", "dB"},
                  {"power_dbfs", "dB against a full-scale sample"}, {"power_dbm", "dBm, from --ref-dbm"}, {"drift_rate", "Hz per 50 us"},
                  {"relative_db", "dB against the in-band channel"},
                  {"edr_omega_o", "Hz, per 50 us block"}, {"edr_rms_devm", "1, per 50 us block"},
                  {"summary.tests.value", "as its unit field says"}};
    j["recordings"] = nlohmann::json::array();
    for (const auto& [label, r] : rows) {
        nlohmann::json rec;
        rec["label"] = label;
        rec["samples"] = r->samples;
        rec["sample_rate"] = r->sampleRate;
        rec["packets"] = nlohmann::json::array();
        for (const ReceivedPacket& p : r->packets) {
            const DecodedPacket& d = p.decoded;
            const PacketMeasurements& m = p.measured;
            nlohmann::json q;
            q["start_sample"] = p.startSample;
            q["start_time"] = p.startTime;
            q["lap"] = hex(d.lap, 6);
            q["sync_errors"] = d.syncErrors;
            q["id"] = d.isId;
            q["truncated"] = d.truncated;
            q["ok"] = d.ok();
            q["status"] = d.status();
            if (!d.isId && d.type >= 0) {
                q["type"] = d.type;
                q["type_name"] = packetTypeName(d.type, d.linkType, d.edrBitsPerSymbol);
                q["edr_bits_per_symbol"] = d.edrBitsPerSymbol;
                q["LT_ADDR"] = d.AMaddr;
                q["FLOW"] = d.FLOW;
                q["ARQN"] = d.ARQN;
                q["SEQN"] = d.SEQN;
                q["HEC"] = d.hecOk;
                q["uap"] = hex(d.uap, 2);
                q["whitening"] = d.whitening;
                q["confirmed_by_crc"] = d.confirmedByCrc;
                q["header_triples_corrected"] = d.headerTriplesCorrected;
                q["CRC"] = d.crcPresent ? nlohmann::json(d.crcOk) : nlohmann::json(nullptr);
                q["payload_length"] = d.payloadLength >= 0 ? nlohmann::json(d.payloadLength) : nlohmann::json(nullptr);
                q["payload"] = bodyHex(d.body);
                q["fec_corrected"] = d.fecCorrected;
                q["fec_uncorrectable"] = d.fecUncorrectable;
            }
            nlohmann::json mj;
            mj["initial_frequency"] = optJson(m.initialFrequency);
            mj["carrier_offset"] = optJson(m.carrierOffset);
            mj["modulation_index"] = optJson(m.modulationIndex);
            mj["symbol_rate_error_ppm"] = optJson(m.symbolRateErrorPpm);
            mj["snr_db"] = optJson(m.snrDb);
            mj["average_power_dbfs"] = optJson(m.averagePowerDb);
            mj["peak_power_dbfs"] = optJson(m.peakPowerDb);
            mj["payload_pattern"] = m.pattern == PayloadPattern::F1 ? "11110000" : m.pattern == PayloadPattern::F2 ? "10101010" : "";
            mj["delta_f1avg"] = optJson(m.f1avg);
            mj["delta_f2avg"] = optJson(m.f2avg);
            mj["delta_f2max_lowest"] =
                m.f2max.empty() ? nlohmann::json(nullptr) : nlohmann::json(*std::min_element(m.f2max.begin(), m.f2max.end()));
            mj["drift"] = optJson(m.drift);
            mj["drift_rate"] = optJson(m.driftRate);
            if (m.edr && !m.edr->blockDevm.empty()) {
                const EdrMeasurements& e = *m.edr;
                mj["edr_relative_power_db"] = optJson(e.relativePowerDb);
                mj["edr_omega_o"] = e.omegaO;
                mj["edr_rms_devm"] = e.blockDevm;
                mj["edr_peak_devm"] = e.peakDevm;
            }
            q["measurements"] = mj;
            rec["packets"].push_back(q);
        }
        j["recordings"].push_back(rec);
    }
    nlohmann::json s;
    s["tests"] = nlohmann::json::array();
    for (const TestResult& t : summary.tests)
        s["tests"].push_back({{"name", t.name}, {"figure", t.figure}, {"value", t.value}, {"unit", t.unit},
                              {"limit", t.limit}, {"pass", t.pass}, {"packets", t.packets}});
    s["modulation_index"] = optJson(summary.modulationIndex);
    s["carrier_offset"] = optJson(summary.carrierOffset);
    s["symbol_rate_error_ppm"] = optJson(summary.symbolRateErrorPpm);
    s["snr_db"] = optJson(summary.snrDb);
    s["confirmed_packets"] = summary.confirmedPackets;
    s["average_power_dbfs"] = optJson(summary.averagePowerDb);
    s["peak_power_dbfs"] = optJson(summary.peakPowerDb);
    const auto inDbm = [&](const std::optional<double>& v) {
        return v && summary.referenceDbm ? nlohmann::json(*v + *summary.referenceDbm) : nlohmann::json(nullptr);
    };
    s["average_power_dbm"] = inDbm(summary.averagePowerDb);
    s["peak_power_dbm"] = inDbm(summary.peakPowerDb);
    nlohmann::json spectrum;
    spectrum["packets"] = summary.spectrumPackets;
    spectrum["resolution_bandwidth"] = kSpectrumResolutionHz;
    if (summary.bandwidth20dB) {
        spectrum["bandwidth_20db"] = summary.bandwidth20dB->width();
        spectrum["bandwidth_20db_lower"] = summary.bandwidth20dB->lower;
        spectrum["bandwidth_20db_upper"] = summary.bandwidth20dB->upper;
    }
    spectrum["channels"] = nlohmann::json::array();
    for (const ChannelPower& c : summary.channelPowers)
        spectrum["channels"].push_back({{"offset", c.offset * 1e6}, {"power_dbfs", c.powerDb},
                                        {"power_dbm", inDbm(c.powerDb)}, {"relative_db", c.relativeDb}});
    s["output_spectrum"] = spectrum;
    const Verdict v = verdictOf(rows, summary);
    s["verdict"] = v == Verdict::Pass ? "pass" : v == Verdict::Fail ? "fail" : packetCount(rows) == 0 ? "no packet found" : "no confirmed packet";
    j["summary"] = s;
    return j;
}

}  // namespace bt::analysis
