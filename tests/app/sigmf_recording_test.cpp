// SigMF recordings read back from their files: every annotation is checked
// by demodulating the dataset and decoding the packet found at its start
// with the test receiver, which shares no code with the builders.
#include "app/sigmf_recording.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <cstring>
#include <nlohmann/json.hpp>

#include "bluetooth/dirty_tx_calc.h"
#include "bluetooth/generate.h"
#include "bluetooth/packet_types.h"
#include "bluetooth/settings_editor.h"
#include "support/bt_decoder.h"
#include "support/demod.h"
#include "support/files.h"

namespace bt {
namespace {

using Json = nlohmann::json;
constexpr std::uint64_t kAddr = 0x9E8B33A1C2D5ull;

Json readMeta(const std::filesystem::path& file) { return Json::parse(bttest::readBytes(file)); }

ComplexRow readCf32(const std::filesystem::path& file) {
    const std::string bytes = bttest::readBytes(file);
    ComplexRow w(bytes.size() / 8);
    for (std::size_t k = 0; k < w.size(); ++k) {
        float iq[2];
        std::memcpy(iq, bytes.data() + 8 * k, 8);  // the test machines are little-endian
        w[k] = {iq[0], iq[1]};
    }
    return w;
}

struct RecordingCase {
    const char* name;
    std::vector<std::pair<const char*, const char*>> edits;
};

Parameters edited(const RecordingCase& c) {
    Parameters p;
    p.BDaddr = double(kAddr);
    for (const auto& [field, value] : c.edits) {
        const EditResult r = editField(p, field, value, EditContext{});
        EXPECT_FALSE(r.refused()) << field;
        p = r.parameters;
    }
    return p;
}

// The packet the test receiver finds at each annotated start, compared with
// what the annotation says about it.
void checkAnnotations(const Json& meta, const ComplexRow& w, std::size_t n, const GenerationSettings& p,
                      std::size_t expectedPackets) {
    const Json& annotations = meta.at("annotations");
    ASSERT_EQ(annotations.size(), expectedPackets);
    const std::size_t eyeFrom = p.burstActive != 0 ? std::size_t(p.burstLength + p.burstSettle) * n : 0;
    const Bits air = testing::sliceWaveform(w, n, eyeFrom, 60);
    const unsigned whitening = p.dataWhiteningActive != 0 ? unsigned(p.dataWhiteningInitValue) : 0;
    const auto key = test::keyFor(std::uint64_t(p.BDaddr), whitening, p.linkType);
    for (std::size_t k = 0; k < annotations.size(); ++k) {
        SCOPED_TRACE("annotation " + std::to_string(k));
        const Json& a = annotations[k];
        const Json& b = a.at("btgen:packet");
        const std::size_t start = a.at("core:sample_start");
        const std::size_t count = a.at("core:sample_count");
        ASSERT_EQ(start % n, 0u);
        const test::DecodedPacket d = test::decodePacket(std::span(air).subspan(start / n), key);
        ASSERT_TRUE(d.ok()) << d.describe();
        EXPECT_EQ(d.length * n, count);
        EXPECT_EQ(b.at("LAP"), kAddr & 0xFFFFFF);
        EXPECT_EQ(b.at("UAP"), (kAddr >> 24) & 0xFF);
        const PacketTypeInfo* info = bt_PacketTypeInfo(p.linkType, p.packetType);
        EXPECT_EQ(a.at("core:label"), std::string(info->name));
        EXPECT_EQ(a.at("signal:detail").at("standard"), "Bluetooth BR");
        if (d.isId) {
            EXPECT_EQ(p.packetType, -1);
            continue;
        }
        EXPECT_EQ(b.at("TYPE"), d.type);
        EXPECT_TRUE(b.at("TYPE").is_number_integer());
        EXPECT_EQ(b.at("LT_ADDR"), d.AMaddr);
        EXPECT_EQ(b.at("SEQN"), d.SEQN);
        EXPECT_EQ(b.at("ARQN"), d.ARQN);
        EXPECT_EQ(b.at("FLOW"), d.FLOW);
        // DV carries its voice field besides the LENGTH bytes of its data.
        const std::size_t length = d.body.size() / 8;
        if (d.hasPayloadHeader) {
            EXPECT_EQ(std::size_t(d.payloadLength), length - (d.type == 8 ? 10 : 0));
        }
        EXPECT_EQ(b.at("payload_length"), length);
        // The bytes in hexadecimal, as the test's own decoder reads them.
        std::string hex;
        for (std::size_t k = 0; k < length; ++k) {
            unsigned v = 0;
            for (unsigned i = 0; i < 8; ++i) v |= unsigned(d.body[8 * k + i] & 1u) << i;
            char buf[3];
            std::snprintf(buf, sizeof buf, "%02X", v);
            hex += buf;
        }
        if (length > 0) EXPECT_EQ(b.at("payload_bytes"), hex);
        else EXPECT_TRUE(b.at("payload_bytes").is_null());
        if (whitening != 0) {
            EXPECT_EQ(b.at("whitening"), whitening);
            EXPECT_TRUE(b.at("whitening").is_number_integer());
        } else {
            EXPECT_TRUE(b.at("whitening").is_null());
        }
    }
}

class SigmfRecording : public ::testing::TestWithParam<RecordingCase> {};

TEST_P(SigmfRecording, AnnotationsMatchTheDecodedPackets) {
    const Parameters p = edited(GetParam());
    const GeneratedSignal s = Calculate(p);
    const bttest::ScratchDir dir;
    SigmfDescription d;
    d.settings = p;
    d.frequency = 2441e6;
    d.sampleRate = p.OverSampling * 1e6;
    const SigmfFiles files = writeSigmfRecording(dir / "rec", SigmfDatatype::Cf32Le, s.waveform, s.markers, s.packets, d);
    EXPECT_EQ(files.meta, dir / "rec.sigmf-meta");

    const Json meta = readMeta(files.meta);
    EXPECT_EQ(meta.at("global").at("btgen:markers").at("file"), "rec.sigmf-data.markers");
    EXPECT_EQ(meta.at("captures").at(0).at("core:frequency"), 2441e6);
    const ComplexRow w = readCf32(files.data);
    ASSERT_EQ(w.size(), s.waveform.size());
    const auto n = std::size_t(p.OverSampling);
    checkAnnotations(meta, w, n, p, generatedPacketCount(p));
}

INSTANTIATE_TEST_SUITE_P(
    Packets, SigmfRecording,
    ::testing::Values(RecordingCase{"DH1", {}},
                      RecordingCase{"ID", {{"packetType", "-1"}, {"OverSampling", "4"}}},
                      RecordingCase{"SCO_HV3_whitened",
                                    {{"linkType", "1"}, {"packetType", "7"}, {"dataWhiteningActive", "1"},
                                     {"dataWhiteningInitValue", "83"}, {"OverSampling", "4"}}},
                      RecordingCase{"DH3_sequence_whitened",
                                    {{"packetType", "11"}, {"multiPacket", "1"}, {"dataWhiteningActive", "1"},
                                     {"dataWhiteningInitValue", "37"}, {"OverSampling", "4"}}},
                      RecordingCase{"eSCO_EV5_sequence_whitened",
                                    {{"linkType", "3"}, {"packetType", "13"}, {"multiPacket", "1"},
                                     {"dataWhiteningActive", "1"}, {"dataWhiteningInitValue", "99"},
                                     {"OverSampling", "4"}}},
                      RecordingCase{"SCO_DV_sequence",
                                    {{"linkType", "1"}, {"packetType", "8"}, {"multiPacket", "1"}, {"OverSampling", "4"}}},
                      RecordingCase{"FHS", {{"packetType", "2"}, {"OverSampling", "4"}}},
                      RecordingCase{"DM1_sequence_without_bursts",
                                    {{"packetType", "3"}, {"multiPacket", "1"}, {"burstActive", "0"},
                                     {"OverSampling", "4"}}},
                      RecordingCase{"DH1_delayed_markers_offset",
                                    {{"CGdelay", "3"}, {"impairments.FreqOffsetActive", "1"},
                                     {"impairments.FreqOffset", "30"}, {"OverSampling", "4"}}}),
    [](const auto& info) { return std::string(info.param.name); });

// An EDR packet's annotation names its payload's modulation and carries the
// header's TYPE field of the Bluetooth packet table, not the settings' code.
TEST(SigmfMetadata, EdrPacketsCarryTheirHeaderTypeAndModulation) {
    struct Case {
        double linkType, packetType;
        int type, order;
    };
    for (const Case c : {Case{2, 17, 0xA, 4}, Case{2, 21, 0xF, 8}, Case{3, 19, 0xD, 8}, Case{2, 15, 15, 2}}) {
        SigmfDescription d;
        PacketOnAir q;
        q.linkType = c.linkType;
        q.packetType = c.packetType;
        q.sampleCount = 10;
        const Json a = sigmfMetadata(d, {q}, SigmfDatatype::Cf32Le, std::string(128, '0'), "m").at("annotations").at(0);
        SCOPED_TRACE(a.at("core:label").get<std::string>());
        EXPECT_EQ(a.at("btgen:packet").at("TYPE"), c.type);
        const Json& detail = a.at("signal:detail");
        EXPECT_EQ(detail.at("order"), c.order);
        EXPECT_EQ(detail.at("mod_class"), c.order == 2 ? "fsk" : "psk");
        EXPECT_EQ(detail.at("standard"), c.order == 2 ? "Bluetooth BR" : "Bluetooth EDR");
        EXPECT_EQ(detail.contains("class_variant"), c.order == 4);
    }
}

// The channel's edges follow the carrier offset, mirrored with the spectrum;
// stream mode has no packets to annotate.
TEST(SigmfMetadata, EdgesFollowTheOffsetAndStreamsHaveNoPackets) {
    GenerationSettings p;
    p.impairments.FreqOffsetActive = 1;
    p.impairments.FreqOffset = 100;
    SigmfDescription d;
    d.settings = p;
    PacketOnAir q;
    q.sampleCount = 10;
    Json a = sigmfMetadata(d, {q}, SigmfDatatype::Ci16Le, std::string(128, '0'), "m").at("annotations").at(0);
    EXPECT_EQ(a.at("core:freq_lower_edge"), 2402e6 + 100e3 - 0.5e6);
    EXPECT_EQ(a.at("core:freq_upper_edge"), 2402e6 + 100e3 + 0.5e6);
    EXPECT_EQ(a.at("btgen:packet").at("impairments").at("freq_offset_hz"), 100e3);
    d.settings.MirrorSpectrum = 1;
    a = sigmfMetadata(d, {q}, SigmfDatatype::Ci16Le, std::string(128, '0'), "m").at("annotations").at(0);
    EXPECT_EQ(a.at("core:freq_upper_edge"), 2402e6 - 100e3 + 0.5e6);

    GenerationSettings stream;
    stream.generationMode = 2;
    EXPECT_TRUE(Calculate(stream).packets.empty());
    EXPECT_EQ(sigmfSummary(stream), "Stream mode: continuous GFSK bit stream");
    EXPECT_EQ(sigmfFiles("a/b.sigmf-data").meta, std::filesystem::path("a/b.sigmf-meta"));
}

// One recording per selected set; each frame's packet decodes at its
// annotated start, also after the resampling that gives the set its
// timing error (offset and drift are left out so that slicing is plain).
TEST(SigmfDirtyTx, OneRecordingPerSelectedSetWithItsPackets) {
    Parameters parameters;
    DirtyTxState s = initialDtState(parameters);
    s.dtTestSelect = {0, 1, 0, 0, 1, 0, 0, 0, 0, 0};
    for (Impairments& i : s.dtImpairmentsCurrent) {
        i.FreqOffset = 0;
        i.FreqDriftDeviation = 0;
    }
    ASSERT_TRUE(dtCalculate(s));
    const bttest::ScratchDir dir;
    const auto files = writeDirtyTxSigmf(dir / "dt.sigmf-meta", SigmfDatatype::Cf32Le, s);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1].meta, dir / "dt-set5.sigmf-meta");
    const DtSegmentLayout layout = dtLayout(s);
    for (std::size_t k = 0; k < files.size(); ++k) {
        const std::size_t set = k == 0 ? 1 : 4;
        const Json meta = readMeta(files[k].meta);
        EXPECT_EQ(meta.at("global").at("btgen:dirty_tx_set"), set + 1);
        const Json& annotations = meta.at("annotations");
        ASSERT_EQ(annotations.size(), layout.numFrames);
        const ComplexRow w = readCf32(files[k].data);
        const auto key = test::keyFor(std::uint64_t(s.dtParameters.BDaddr));
        const Bits air = testing::sliceWaveform(w, 10, 0, 60);
        for (std::size_t f = 0; f < annotations.size(); ++f) {
            const std::size_t start = annotations[f].at("core:sample_start");
            const std::size_t count = annotations[f].at("core:sample_count");
            EXPECT_EQ(start / layout.frameSamples(), f);
            const test::DecodedPacket d = test::decodePacket(std::span(air).subspan((start + 5) / 10), key);
            ASSERT_TRUE(d.ok()) << d.describe();
            EXPECT_NEAR(double(d.length * 10), double(count), 1);
            EXPECT_EQ(annotations[f].at("btgen:packet").at("SEQN"), f % 2 == 0 ? 1 : 0);
            EXPECT_EQ(d.SEQN, f % 2 == 0 ? 1 : 0);
            EXPECT_EQ(annotations[f].at("btgen:packet").at("impairments").at("symbol_timing_error_ppm"),
                      s.dtImpairmentsCurrent[set].SymbolTimingError);
        }
    }
}

}  // namespace
}  // namespace bt
