#include "app/sigmf_recording.h"

#include <cstdint>

#include "bluetooth/dirty_tx_calc.h"
#include "bluetooth/packet_types.h"
#include "bluetooth/settings_editor.h"
#include "bluetooth/size_est.h"
#include "lib/errors.h"
#include "lib/numtext.h"
#include "app/records_json.h"

#ifndef BTGEN_VERSION
#define BTGEN_VERSION "0"
#endif

namespace bt {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kSigmfVersion = "1.2.5";
constexpr double kChannelHalfWidth = 0.5e6;

std::string packetName(double linkType, double packetType) {
    const PacketTypeInfo* info = bt_PacketTypeInfo(linkType, packetType);
    return info ? std::string(info->name) : "type " + formatNumber(packetType);
}

// The carrier offset the samples carry: negated by mirroring.
double carrierOffsetHz(const GenerationSettings& p) {
    if (p.impairments.FreqOffsetActive == 0) return 0;
    return p.impairments.FreqOffset * 1e3 * (p.MirrorSpectrum != 0 ? -1 : 1);
}

// The impairments in effect, in SI units; null for those switched off.
Json impairmentsInEffect(const GenerationSettings& p) {
    const Impairments& i = p.impairments;
    Json j = Json::object();
    j["freq_offset_hz"] = carrierOffsetHz(p);
    j["mod_index"] = effectiveModIndex(p);
    if (i.FreqDriftActive != 0) {
        const bool linear = i.FreqDriftType == 1;
        j["drift"] = {{"type", linear ? "linear" : "sinusoidal"},
                      {"deviation_hz", i.FreqDriftDeviation * 1e3},
                      {"rate_hz", linear ? 1600.0 : i.FreqDriftRate},
                      {"initial_phase", i.InitialDriftPhase}};
    } else {
        j["drift"] = nullptr;
    }
    j["symbol_timing_error_ppm"] = i.SymbolTimingErrorActive != 0 ? i.SymbolTimingError : 0.0;
    j["noise_ratio_db"] = i.AWGNactive != 0 ? Json(i.AWGNratio) : Json(nullptr);
    j["iq_gain_imbalance_db"] = i.GainImbalanceActive != 0 ? Json(i.GainImbalance) : Json(nullptr);
    j["iq_quadrature_skew_deg"] = i.QuadratureSkewActive != 0 ? Json(i.QuadratureSkew) : Json(nullptr);
    j["carrier_leakage_dbc"] = i.CarrierLeakageActive != 0 ? Json(i.CarrierLeakage) : Json(nullptr);
    if (i.PhaseNoiseActive != 0)
        j["phase_noise"] = {{"level_dbc_hz", i.PhaseNoiseLevel},
                            {"offset_hz", i.PhaseNoiseOffset * 1e3},
                            {"model", "single pole at the offset"}};
    else
        j["phase_noise"] = nullptr;
    return j;
}

}  // namespace

std::string sigmfSummary(const GenerationSettings& p) {
    if (p.generationMode != 1) return "Stream mode: continuous GFSK bit stream";
    const bool sequence = p.multiPacket != 0 && Bt_UserPayloadMaxSize(p.linkType, p.packetType) > 0;
    return packetName(p.linkType, p.packetType) + ", " + std::string(linkTypeName(p.linkType)) + " link, " +
           (sequence ? "multi-packet sequence" : "single packet");
}

Json sigmfMetadata(const SigmfDescription& d, const PacketLayout& packets, SigmfDatatype type,
                   const std::string& sha512, const std::string& markerFileName) {
    const GenerationSettings& p = d.settings;
    Json global = Json::object();
    global["core:datatype"] = sigmfDatatypeName(type);
    global["core:sample_rate"] = d.sampleRate;
    global["core:version"] = kSigmfVersion;
    global["core:recorder"] = std::string("btgen ") + BTGEN_VERSION;
    global["core:description"] = d.description.empty() ? sigmfSummary(p) : d.description;
    global["core:sha512"] = sha512;
    global["core:extensions"] = Json::array({{{"name", "signal"}, {"version", "1.0.0"}, {"optional", true}},
                                             {{"name", "btgen"}, {"version", "1.0.0"}, {"optional", true}}});
    global["btgen:markers"] = {{"file", markerFileName},
                               {"format", "one byte per sample: bit 0 marker 1 (symbol clock), bit 1 marker 2 "
                                          "(payload, or start of the stream)"}};
    if (d.dirtyTxSet) global["btgen:dirty_tx_set"] = *d.dirtyTxSet;
    global["btgen:settings"] = d.record;

    const Json capture = {{"core:sample_start", 0}, {"core:frequency", d.frequency}};

    const auto bd = static_cast<std::uint64_t>(p.BDaddr);
    const double centre = d.frequency + carrierOffsetHz(p);
    const Json impairments = impairmentsInEffect(p);
    static const Json gfsk = {{"type", "digital"}, {"mod_class", "fsk"}, {"standard", "Bluetooth BR"}, {"order", 2}};
    // An EDR packet is described by its payload's modulation; its access
    // code and header are GFSK as in every packet.
    const auto detail = [](const PacketTypeInfo* info) {
        if (info == nullptr || !info->edr()) return gfsk;
        Json d = {{"type", "digital"},      {"mod_class", "psk"}, {"standard", "Bluetooth EDR"},
                  {"symbol_variant", "differential"}, {"order", 1 << info->edrBitsPerSymbol}};
        if (info->edrBitsPerSymbol == 2) d["class_variant"] = "pi/4";
        return d;
    };
    const std::string payloadType = displayText(p, "payloadType");
    Json annotations = Json::array();
    for (const PacketOnAir& q : packets) {
        Json a = Json::object();
        a["core:sample_start"] = q.sampleStart;
        a["core:sample_count"] = q.sampleCount;
        a["core:label"] = packetName(q.linkType, q.packetType);
        a["core:freq_lower_edge"] = centre - kChannelHalfWidth;
        a["core:freq_upper_edge"] = centre + kChannelHalfWidth;
        const PacketTypeInfo* info = bt_PacketTypeInfo(q.linkType, q.packetType);
        a["signal:detail"] = detail(info);
        Json b = Json::object();
        b["LAP"] = bd & 0xFFFFFF;
        b["UAP"] = (bd >> 24) & 0xFF;
        b["LT_ADDR"] = q.AMaddr;
        // The header's own field, as a third-party receiver reads it (the
        // settings number EDR packets from 16 on).
        b["TYPE"] = info != nullptr ? info->headerType() : static_cast<int>(q.packetType);
        b["SEQN"] = q.SEQN;
        b["ARQN"] = q.ARQN;
        b["FLOW"] = q.FLOW;
        b["whitening"] =
            p.dataWhiteningActive != 0 ? Json(static_cast<int>(p.dataWhiteningInitValue)) : Json(nullptr);
        std::string hex;
        for (const std::uint8_t v : q.payload) {
            constexpr char kDigits[] = "0123456789ABCDEF";
            hex += kDigits[v >> 4];
            hex += kDigits[v & 15];
        }
        b["payload_length"] = q.payloadBytes;
        b["payload_bytes"] = q.payloadBytes > 0 ? Json(hex) : Json(nullptr);
        b["payload_type"] = q.payloadBytes > 0 ? Json(payloadType) : Json(nullptr);
        b["impairments"] = impairments;
        a["btgen:packet"] = std::move(b);
        annotations.push_back(std::move(a));
    }

    Json meta = Json::object();
    meta["global"] = std::move(global);
    meta["captures"] = Json::array({capture});
    meta["annotations"] = std::move(annotations);
    return meta;
}

SigmfFiles writeSigmfRecording(const std::filesystem::path& name, SigmfDatatype type, const ComplexRow& waveform,
                               const Markers& markers, const PacketLayout& packets, const SigmfDescription& d) {
    return writeSigmf(name, type, waveform, markers, [&](const std::string& sha, const std::string& markerFile) {
        return sigmfMetadata(d, packets, type, sha, markerFile);
    });
}

std::vector<SigmfFiles> writeDirtyTxSigmf(const std::filesystem::path& name, SigmfDatatype type,
                                          const DirtyTxState& s) {
    if (s.dtWaveform.size() != kDtTestSets || s.dtMarkers.size() != kDtTestSets)
        throw Error("the dirty-transmitter sequence has not been calculated");
    if (const auto problem = sigmfNameProblem(name)) throw Error(*problem);
    std::filesystem::path base = sigmfFiles(name).meta;
    base.replace_extension();
    // The sets are one sequence: their files are saved together, so a full
    // disk leaves every old recording as it was instead of new sets beside
    // old ones.
    std::vector<SigmfFiles> written;
    std::vector<FileToSave> all;
    static const PacketLayout none;
    for (std::size_t n = 0; n < kDtTestSets; ++n) {
        if (s.dtTestSelect[n] == 0) continue;
        SigmfDescription d;
        // The set's packets as generated, with the timing error the
        // resampling gave them.
        d.settings = dtFrameSettings(s, n, 0);
        d.settings.impairments.SymbolTimingErrorActive = 1;
        d.settings.impairments.SymbolTimingError = s.dtImpairmentsCurrent[n].SymbolTimingError;
        d.sampleRate = s.dtSigGenSettings.SamplingRate;
        d.frequency = s.dtSigGenSettings.Frequency;
        d.dirtyTxSet = static_cast<int>(n) + 1;
        d.description = "Dirty transmitter test set " + std::to_string(n + 1) + ": " + sigmfSummary(d.settings);
        d.record = {{"dtParameters", toJson(s.dtParameters)},
                    {"dtImpairments", toJson(s.dtImpairmentsCurrent[n])},
                    {"dtOmitPollPeriods", s.dtOmitPollPeriods},
                    {"dtQ7395", toJson(s.dtQ7395)},
                    {"dtSigGenSettings", toJson(s.dtSigGenSettings)}};
        std::filesystem::path setName = base;
        setName += "-set" + std::to_string(n + 1);
        const PacketLayout& packets = n < s.dtPackets.size() ? s.dtPackets[n] : none;
        written.push_back(sigmfFiles(setName));
        auto files = sigmfFilesToSave(written.back(), type, s.dtWaveform[n], s.dtMarkers[n],
                                      [d = std::move(d), &packets, type](const std::string& sha, const std::string& markerFile) {
                                          return sigmfMetadata(d, packets, type, sha, markerFile);
                                      });
        for (FileToSave& f : files) all.push_back(std::move(f));
    }
    saveTogether(all);
    return written;
}

}  // namespace bt
