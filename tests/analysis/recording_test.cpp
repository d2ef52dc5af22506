// Recordings read from every layout the receiver takes — our MAT-file and
// raw export, SDR captures as cf32/ci16, SigMF, a dirty-transmitter matrix
// row by row — and `btgen measure` with its exit statuses and JSON.
#include "analysis/recording.h"

#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <random>

#include "analysis/receiver.h"
#include "bluetooth/generate.h"
#include "instrument/sigmf.h"
#include "instrument/signal_files.h"
#include "lib/errors.h"
#include "lib/matfile.h"
#include "support/files.h"

namespace bt::analysis {
namespace {

using bttest::ScratchDir;

const GeneratedSignal& dh1() {
    static const GeneratedSignal s = Calculate(Parameters{});
    return s;
}

// Interleaved little-endian I/Q of the signal: cf32, or ci16 at `scale`.
std::string interleaved(const ComplexRow& w, bool cf32, double scale = 20000) {
    std::string bytes;
    for (const Complex& z : w) {
        if (cf32) {
            const float v[2] = {float(z.real()), float(z.imag())};
            bytes.append(reinterpret_cast<const char*>(v), 8);
        } else {
            for (const double part : {z.real(), z.imag()}) {
                const auto v = static_cast<std::int16_t>(std::lround(part * scale));
                bytes.push_back(char(v & 0xFF));
                bytes.push_back(char((v >> 8) & 0xFF));
            }
        }
    }
    return bytes;
}

void expectOneGoodPacket(const Recording& r, double rate) {
    ASSERT_EQ(r.rows.size(), 1u);
    ASSERT_TRUE(r.sampleRate) << r.kind;
    EXPECT_EQ(*r.sampleRate, rate);
    const Reception rec = receive(*r.rows[0].source, *r.sampleRate);
    ASSERT_EQ(rec.packets.size(), 1u) << r.kind;
    EXPECT_TRUE(rec.packets[0].decoded.ok()) << rec.packets[0].decoded.describe();
    EXPECT_EQ(rec.packets[0].decoded.lap, 8u);
}

TEST(Recording, OurMatAndRawFilesTellTheirRateByTheSymbolClock) {
    ScratchDir dir;
    writeSignal(dir / "a.mat", SignalFormat::Mat, dh1().waveform, dh1().markers);
    writeSignal(dir / "a.raw", SignalFormat::Raw, dh1().waveform, dh1().markers);
    expectOneGoodPacket(openRecording(dir / "a.mat"), 10e6);
    expectOneGoodPacket(openRecording(dir / "a.raw"), 10e6);
    // Without its marker file a raw file has no rate.
    std::filesystem::remove(markerFilePath(dir / "a.raw"));
    EXPECT_FALSE(openRecording(dir / "a.raw").sampleRate);
}

TEST(Recording, TheFramesWaveformSaves) {
    ScratchDir dir;
    const ComplexRow& w = dh1().waveform;
    std::vector<double> columns(2 * w.size());
    for (std::size_t k = 0; k < w.size(); ++k) columns[k] = w[k].real(), columns[w.size() + k] = w[k].imag();
    writeMatFile(dir / "wave.mat", {{"wave", MatValue::realMatrix(w.size(), 2, columns)},
                                    {"sampleRate", MatValue::scalar(10e6)}});
    expectOneGoodPacket(openRecording(dir / "wave.mat"), 10e6);
    // A matrix that is neither a row, a column nor I and Q columns.
    writeMatFile(dir / "square.mat", {{"samples", MatValue::realMatrix(3, 3, std::vector<double>(9, 1.0))}});
    EXPECT_THROW(openRecording(dir / "square.mat"), Error);
}

TEST(Recording, SdrCapturesAndSigmf) {
    ScratchDir dir;
    for (const bool cf32 : {true, false}) {
        const std::string type = cf32 ? "cf32_le" : "ci16_le";
        bttest::writeBytes(dir / (type + ".sigmf-data"), interleaved(dh1().waveform, cf32));
        bttest::writeBytes(dir / (type + ".sigmf-meta"),
                           nlohmann::json{{"global", {{"core:datatype", type}, {"core:sample_rate", 10e6},
                                                      {"core:version", "1.0.0"}}},
                                          {"captures", nlohmann::json::array()},
                                          {"annotations", nlohmann::json::array()}}
                               .dump());
        expectOneGoodPacket(openRecording(dir / (type + ".sigmf-meta")), 10e6);
        expectOneGoodPacket(openRecording(dir / (type + ".sigmf-data")), 10e6);
        // The same samples as a bare capture, with a partial sample at the end.
        std::string bare = interleaved(dh1().waveform, cf32) + "xyz";
        bttest::writeBytes(dir / "capture.bin", bare);
        const Recording r = openRecording(dir / "capture.bin", cf32 ? SampleFormat::Cf32 : SampleFormat::Ci16);
        EXPECT_EQ(r.rows[0].source->size(), dh1().waveform.size());
        EXPECT_EQ(receive(*r.rows[0].source, 10e6).packets.size(), 1u);
    }
    bttest::writeBytes(dir / "odd.sigmf-meta", R"({"global": {"core:datatype": "ri8", "core:sample_rate": 1e6}})");
    EXPECT_THROW(openRecording(dir / "odd.sigmf-meta"), Error);
    bttest::writeBytes(dir / "bad.sigmf-meta", "{ not json");
    EXPECT_THROW(openRecording(dir / "bad.sigmf-meta"), Error);
    EXPECT_THROW(openRecording(dir / "missing.sigmf-meta"), Error);
    EXPECT_THROW(openRecording(dir / "missing.raw"), Error);
}

TEST(Recording, DirtyTransmitterMatrixRowByRowWithoutTheEmptyOnes) {
    ScratchDir dir;
    const ComplexRow& w = dh1().waveform;
    const std::size_t rows = 10, cols = w.size();
    const auto selected = [](std::size_t r) { return r == 1 || r == 4; };
    const MatMatrixSource m{"dtWaveform", rows, cols, true, [&](std::size_t first, std::size_t count, bool im, double* out) {
                                for (std::size_t i = first; i < first + count; ++i) {
                                    const Complex z = selected(i % rows) ? w[i / rows] : Complex{};
                                    *out++ = im ? z.imag() : z.real();
                                }
                            }};
    const MatMatrixSource rate{"SamplingRate", 1, 1, false, [](std::size_t, std::size_t, bool, double* out) { *out = 10e6; }};
    writeMatMatrices(dir / "dt.mat", {m, rate});
    const Recording r = openRecording(dir / "dt.mat");
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.rows[0].label, "dtWaveform row 2");
    EXPECT_EQ(r.rows[1].label, "dtWaveform row 5");
    EXPECT_EQ(r.sampleRate, 10e6);
    for (const RecordingRow& row : r.rows) EXPECT_EQ(receive(*row.source, 10e6).packets.size(), 1u);

    writeMatMatrices(dir / "none.mat", {rate});
    EXPECT_THROW(openRecording(dir / "none.mat"), Error);
}

// What the Python module hands on: the samples as stored, the marker rows,
// the carrier and the metadata.
TEST(Recording, ExactSamplesMarkersAndMetadata) {
    ScratchDir dir;
    const ComplexRow& w = dh1().waveform;
    const Markers& mk = dh1().markers;
    const auto samples = [](const RecordingRow& row) {
        ComplexRow out(row.source->size());
        row.source->readExact(0, out.size(), out.data());
        return out;
    };

    writeSignal(dir / "a.mat", SignalFormat::Mat, w, mk);
    Recording r = openRecording(dir / "a.mat");
    EXPECT_EQ(samples(r.rows[0]), w);
    EXPECT_EQ(readMarkers(r.rows[0]), mk);
    EXPECT_EQ(r.fullScale, 1);

    writeSignal(dir / "a.raw", SignalFormat::Raw, w, mk);
    r = openRecording(dir / "a.raw");
    EXPECT_EQ(r.fullScale, 32767);
    EXPECT_EQ(readMarkers(r.rows[0]), mk);
    const ComplexRow raw = samples(r.rows[0]);
    double peak = 0;
    for (const Complex& z : w) peak = std::max({peak, std::abs(z.real()), std::abs(z.imag())});
    for (std::size_t k = 0; k < w.size(); k += 97)
        EXPECT_NEAR(raw[k].real(), w[k].real() * 32766 / peak, 0.5) << k;

    // A SigMF recording whose metadata names its marker file with a folder:
    // only the name counts, looked for beside the metadata.
    writeSigmf(dir / "rec", SigmfDatatype::Cf32Le, w, mk, [](const std::string&, const std::string& markerFile) {
        return nlohmann::ordered_json{
            {"global", {{"core:datatype", "cf32_le"}, {"core:sample_rate", 10e6},
                        {"btgen:markers", {{"file", "../elsewhere/" + markerFile}}}}},
            {"captures", {{{"core:sample_start", 0}, {"core:frequency", 2.45e9}}}},
            {"annotations", {{{"core:sample_start", 250}, {"core:label", "DH1"}}}}};
    });
    r = openRecording(dir / "rec");  // the base name stands for the recording
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.frequency, 2.45e9);
    EXPECT_EQ(r.metadata["annotations"][0]["core:label"], "DH1");
    EXPECT_EQ(readMarkers(r.rows[0]), mk);
    const ComplexRow cf32 = samples(r.rows[0]);
    for (std::size_t k = 0; k < w.size(); ++k)
    {
        ASSERT_EQ(cf32[k].real(), double(float(w[k].real()))) << k;
        ASSERT_EQ(cf32[k].imag(), double(float(w[k].imag()))) << k;
    }
    // Markers that do not fit the samples are not the recording's.
    bttest::writeBytes(dir / "rec.sigmf-data.markers", "\x01\x03");
    EXPECT_FALSE(readMarkers(openRecording(dir / "rec.sigmf-meta").rows[0]));

    // Dirty-transmitter rows 2 and 5 with their marker rows 3-4 and 9-10.
    const std::size_t rows = 10, cols = w.size();
    const MatMatrixSource dtw{"dtWaveform", rows, cols, true, [&](std::size_t first, std::size_t count, bool im, double* out) {
                                  for (std::size_t i = first; i < first + count; ++i) {
                                      const std::size_t row = i % rows;
                                      const Complex z = row == 1 || row == 4 ? w[i / rows] * double(row) : Complex{};
                                      *out++ = im ? z.imag() : z.real();
                                  }
                              }};
    const MatMatrixSource dtm{"dtMarkers", 2 * rows, cols, false, [&](std::size_t first, std::size_t count, bool, double* out) {
                                  for (std::size_t i = first; i < first + count; ++i) {
                                      const std::size_t row = i % (2 * rows);
                                      const MarkerRow& m = row % 2 == 0 ? mk.row1 : mk.row2;
                                      *out++ = row == 8 || row == 9 ? m[i / (2 * rows)] : 0;
                                  }
                              }};
    writeMatMatrices(dir / "dt.mat", {dtw, dtm});
    r = openRecording(dir / "dt.mat");
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(samples(r.rows[1])[100], w[100] * 4.0);
    EXPECT_EQ(readMarkers(r.rows[1]), mk);
    const std::optional<Markers> none = readMarkers(r.rows[0]);
    ASSERT_TRUE(none);
    EXPECT_EQ(std::count(none->row1.begin(), none->row1.end(), 1), 0);
}

TEST(Recording, SymbolClockMarkerGivesTheOversampling) {
    EXPECT_EQ(oversamplingOfMarker(dh1().markers.row1), 10u);
    EXPECT_EQ(oversamplingOfMarker(MarkerRow(1000, 0)), 0u);
}

bttest::RunResult btgen(std::vector<std::string> args) {
    args.insert(args.begin(), bttest::btgenPath().string());
    return bttest::runProgram(args);
}

TEST(MeasureCommand, ExitStatusesAndJson) {
    ScratchDir dir;
    const std::string mat = (dir / "p.mat").string();
    // A 11110000 payload at the nominal index: every test passes.
    ASSERT_EQ(btgen({"generate", "-o", mat, "--set", "payloadType=7", "--set", "bitPattern=0F", "--measure"}).status, 0);
    bttest::RunResult r = btgen({"measure", mat, "--json", "--lap", "000008", "--uap", "00", "--whitening", "0"});
    ASSERT_EQ(r.status, 0) << r.output;
    const nlohmann::json j = nlohmann::json::parse(r.output);
    ASSERT_EQ(j["recordings"][0]["packets"].size(), 1u);
    const auto& p = j["recordings"][0]["packets"][0];
    EXPECT_EQ(p["type_name"], "DH1");
    EXPECT_EQ(p["CRC"], true);
    std::string body;
    for (int k = 0; k < 27; ++k) body += "0F";
    EXPECT_EQ(p["payload"], body);
    EXPECT_NEAR(p["measurements"]["delta_f1avg"].get<double>(), 157.5e3, 1.6e3);
    EXPECT_EQ(j["summary"]["verdict"], "pass");

    // A low index fails delta f1avg: status 3, from generate too.
    EXPECT_EQ(btgen({"generate", "-o", mat, "--set", "payloadType=7", "--set", "bitPattern=0F", "--set",
                     "impairments.ModIndexActive=1", "--set", "impairments.ModIndex=0.25", "--measure"})
                  .status,
              3);
    r = btgen({"measure", mat});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.output.find("FAIL"), std::string::npos);

    // Noise: no packet found, status 3.
    std::mt19937 rng(1);
    std::normal_distribution<float> g;
    std::string noise(8 * 200000, '\0');
    for (std::size_t k = 0; k < noise.size(); k += 4) {
        const float v = g(rng);
        std::memcpy(&noise[k], &v, 4);
    }
    bttest::writeBytes(dir / "noise.cf32", noise);
    r = btgen({"measure", (dir / "noise.cf32").string(), "--format", "cf32", "--rate", "4e6"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.output.find("no packet found"), std::string::npos);

    // Bad input: status 2.
    EXPECT_EQ(btgen({"measure", (dir / "noise.cf32").string(), "--format", "cf32"}).status, 2);  // no rate
    EXPECT_EQ(btgen({"measure", mat, "--lap", "XYZ"}).status, 2);
    EXPECT_EQ(btgen({"measure", mat, "--whitening", "300"}).status, 2);
    EXPECT_EQ(btgen({"measure", (dir / "noise.cf32").string(), "--format", "cf32", "--rate", "1e6"}).status, 2);
    EXPECT_NE(btgen({"measure", (dir / "absent.mat").string()}).status, 0);
}

// A perfect 10101010 DH1 passes (its last timing window once ran past the
// burst); the table names its units, UAP and status, prints no "-0.00";
// --summary prints the summary alone; the JSON states its units.
TEST(MeasureCommand, PerfectSignalPassesAndTheReportReadsCleanly) {
    ScratchDir dir;
    const std::string mat = (dir / "t.mat").string();
    bttest::RunResult r = btgen({"generate", "-o", mat, "--set", "payloadType=7", "--set", "bitPattern=55", "--measure"});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.find("-0.00"), std::string::npos) << r.output;
    r = btgen({"measure", mat});
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* text : {"f0 kHz", "off kHz", "SNR dB", "UAP", "status", "1 confirmed of 1 packet"})
        EXPECT_NE(r.output.find(text), std::string::npos) << text << "\n" << r.output;
    EXPECT_EQ(r.output.find("-0.00"), std::string::npos) << r.output;
    // The packet's row ends in its status.
    EXPECT_NE(r.output.find("100.0  ok\n"), std::string::npos) << r.output;

    const bttest::RunResult summary = btgen({"measure", "--summary", mat});
    EXPECT_EQ(summary.status, 0);
    EXPECT_TRUE(summary.output.starts_with("summary (1 confirmed of 1 packet):")) << summary.output;
    EXPECT_EQ(summary.output.find("LAP"), std::string::npos) << summary.output;

    r = btgen({"measure", "--json", mat});
    const nlohmann::json j = nlohmann::json::parse(r.output);
    EXPECT_EQ(j["units"]["frequency"], "Hz");
    EXPECT_EQ(j["recordings"][0]["packets"][0]["status"], "ok");
    EXPECT_EQ(j["summary"]["confirmed_packets"], 1);

    // Packet output power: the generator's unit envelope is 0 dB against
    // full scale, and the reference level given puts it in dBm.
    EXPECT_TRUE(j["summary"]["average_power_dbm"].is_null());
    r = btgen({"measure", "--json", "--ref-dbm", "-12.5", mat});
    const nlohmann::json k = nlohmann::json::parse(r.output);
    EXPECT_NEAR(k["summary"]["average_power_dbfs"].get<double>(), 0, 0.01);
    EXPECT_NEAR(k["summary"]["peak_power_dbfs"].get<double>(), 0, 0.01);
    EXPECT_NEAR(k["summary"]["average_power_dbm"].get<double>(), -12.5, 0.01);
    EXPECT_EQ(btgen({"measure", "--ref-dbm", "nan", mat}).status, 2);
}

// A recording cut inside its packet: the packet is marked, not counted.
TEST(MeasureCommand, PacketCutByTheEndIsMarked) {
    ScratchDir dir;
    const Parameters p = [] {
        Parameters q;
        q.packetType = 15;  // DH5
        return q;
    }();
    const GeneratedSignal s = Calculate(p);
    const std::size_t keep = s.packets.at(0).sampleStart + s.packets.at(0).sampleCount / 2;
    std::string bytes(8 * keep, '\0');
    for (std::size_t k = 0; k < keep; ++k) {
        const float re = float(s.waveform[k].real()), im = float(s.waveform[k].imag());
        std::memcpy(&bytes[8 * k], &re, 4);
        std::memcpy(&bytes[8 * k + 4], &im, 4);
    }
    bttest::writeBytes(dir / "cut.cf32", bytes);
    // Without the key a guessed whitening may read the header as a packet
    // without payload (shown unconfirmed); with it, the DH5 is cut.
    const bttest::RunResult r = btgen({"measure", (dir / "cut.cf32").string(), "--format", "cf32", "--rate", "10e6",
                                       "--lap", "000008", "--uap", "00", "--whitening", "0"});
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_NE(r.output.find("cut off by the end of the recording"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("0 confirmed of 1 packet"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace bt::analysis
