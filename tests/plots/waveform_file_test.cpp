// Waveforms read back for plotting: SigMF recordings written here byte by
// byte, and MAT-files in our three layouts.
#include <gtest/gtest.h>

#include <complex>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "lib/errors.h"
#include "instrument/sigmf.h"
#include "lib/matfile.h"
#include "plots/waveform_file.h"

namespace {

namespace fs = std::filesystem;
using bt::Complex;
using namespace bt::plots;

fs::path scratch(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / "btgen_waveform_file_test";
    fs::create_directories(dir);
    return dir / name;
}

void writeText(const fs::path& p, const std::string& text) { std::ofstream(p) << text; }

TEST(WaveformFile, SigmfComplexFloatAndInt16) {
    const fs::path base = scratch("rec");
    writeText(fs::path(base).replace_extension(".sigmf-meta"),
              R"({"global": {"core:datatype": "cf32_le", "core:sample_rate": 2000000, "core:version": "1.0.0"},
                  "captures": [{"core:sample_start": 0}], "annotations": []})");
    {
        std::ofstream d(fs::path(base).replace_extension(".sigmf-data"), std::ios::binary);
        const unsigned char bytes[] = {0x00, 0x00, 0x80, 0x3f, 0x00, 0x00, 0x00, 0xc0,   // 1, -2
                                       0x00, 0x00, 0x00, 0x3f, 0x00, 0x00, 0x40, 0x40};  // 0.5, 3
        d.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
    }
    for (const fs::path& p : {fs::path(base).replace_extension(".sigmf-meta"),
                              fs::path(base).replace_extension(".sigmf-data"), base}) {
        const WaveformFile w = readWaveformFile(p);
        EXPECT_EQ(w.kind, "SigMF");
        EXPECT_EQ(w.sampleRate, 2e6);
        ASSERT_EQ(w.waveform.size(), 2u);
        EXPECT_EQ(w.waveform[0], Complex(1, -2));
        EXPECT_EQ(w.waveform[1], Complex(0.5, 3));
    }
    const fs::path i16 = scratch("i16.sigmf-meta");
    writeText(i16, R"({"global": {"core:datatype": "ci16_le", "core:sample_rate": 1e6}})");
    {
        std::ofstream d(scratch("i16.sigmf-data"), std::ios::binary);
        const unsigned char bytes[] = {0xff, 0x7f, 0x01, 0x80, 0x00, 0x00, 0x00, 0x40};  // 32767, -32767, 0, 16384
        d.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
    }
    const WaveformFile w = readWaveformFile(i16);
    ASSERT_EQ(w.waveform.size(), 2u);
    EXPECT_EQ(w.waveform[0], Complex(1, -1));
    EXPECT_DOUBLE_EQ(w.waveform[1].imag(), 16384 / 32767.0);
}

TEST(WaveformFile, RecordingsOfTheSigmfWriterReadBack) {
    bt::ComplexRow wave(300);
    bt::Markers markers;
    markers.resize(300);
    for (std::size_t k = 0; k < wave.size(); ++k) {
        wave[k] = std::polar(0.8, 0.05 * double(k));
        markers.row1[k] = k % 3 == 0;
        markers.row2[k] = k > 100;
    }
    for (const auto type : {bt::SigmfDatatype::Cf32Le, bt::SigmfDatatype::Ci16Le}) {
        const fs::path name = scratch(type == bt::SigmfDatatype::Cf32Le ? "written_f" : "written_i");
        bt::writeSigmf(name, type, wave, markers, [&](const std::string&, const std::string&) {
            return nlohmann::ordered_json{{"global", {{"core:datatype", bt::sigmfDatatypeName(type)},
                                                      {"core:sample_rate", 5e6}}}};
        });
        fs::path sigmf = name;
        sigmf += ".sigmf";
        const WaveformFile w = readWaveformFile(sigmf);
        EXPECT_EQ(w.sampleRate, 5e6);
        ASSERT_EQ(w.waveform.size(), wave.size());
        // The integer recording is scaled: compare the shape.
        const double scale = std::abs(w.waveform[0]) / 0.8;
        for (std::size_t k = 0; k < wave.size(); ++k)
            EXPECT_NEAR(std::abs(w.waveform[k] - wave[k] * scale), 0, 1e-4) << k;
        ASSERT_TRUE(w.markers);
        EXPECT_EQ(*w.markers, markers);
    }
}

TEST(WaveformFile, SigmfProblemsAreNamed) {
    const fs::path meta = scratch("bad.sigmf-meta");
    writeText(meta, R"({"global": {"core:datatype": "ri8"}})");
    try {
        readWaveformFile(meta);
        FAIL();
    } catch (const bt::Error& e) {
        EXPECT_NE(std::string(e.what()).find("\"ri8\""), std::string::npos);
    }
    writeText(meta, R"({"global": {"core:datatype": "cf32_le"}})");
    std::ofstream(scratch("bad.sigmf-data"), std::ios::binary) << "abc";  // not whole samples
    EXPECT_THROW(readWaveformFile(meta), bt::Error);
    writeText(meta, "{not json");
    EXPECT_THROW(readWaveformFile(meta), bt::Error);
}

TEST(WaveformFile, MatLayouts) {
    const fs::path row = scratch("row.mat");
    bt::writeMatFile(row, {{"waveform", bt::MatValue::complexMatrix(1, 3, {1, 2, 3}, {-1, 0, 0.5})}});
    WaveformFile w = readWaveformFile(row);
    EXPECT_EQ(w.kind, "MAT-file");
    EXPECT_EQ(w.sampleRate, 0);
    ASSERT_EQ(w.waveform.size(), 3u);
    EXPECT_EQ(w.waveform[2], Complex(3, 0.5));

    const fs::path cols = scratch("cols.mat");
    bt::writeMatFile(cols, {{"wave", bt::MatValue::realMatrix(3, 2, {1, 2, 3, 4, 5, 6})},
                            {"sampleRate", bt::MatValue::scalar(20e6)},
                            {"samplePoints", bt::MatValue::scalar(3)}});
    w = readWaveformFile(cols);
    EXPECT_EQ(w.sampleRate, 20e6);
    ASSERT_EQ(w.waveform.size(), 3u);
    EXPECT_EQ(w.waveform[1], Complex(2, 5));

    // The generate command's file with its marker rows; of a
    // dirty-transmitter matrix, the first selected row.
    const fs::path gen = scratch("gen.mat");
    bt::writeMatFile(gen, {{"waveform", bt::MatValue::complexMatrix(1, 3, {1, 2, 3}, {0, 0, 0})},
                           {"markers", bt::MatValue::realMatrix(2, 3, {1, 0, 0, 1, 1, 1})}});
    w = readWaveformFile(gen);
    ASSERT_TRUE(w.markers);
    EXPECT_EQ(w.markers->row1, (bt::MarkerRow{1, 0, 1}));
    EXPECT_EQ(w.markers->row2, (bt::MarkerRow{0, 1, 1}));
    const fs::path dt = scratch("dt.mat");
    bt::writeMatFile(dt, {{"dtWaveform", bt::MatValue::complexMatrix(2, 2, {0, 4, 0, 5}, {0, 0, 0, 1})}});
    w = readWaveformFile(dt);
    EXPECT_EQ(w.waveform, (bt::ComplexRow{Complex(4, 0), Complex(5, 1)}));

    const fs::path none = scratch("none.mat");
    bt::writeMatFile(none, {{"other", bt::MatValue::scalar(1)}});
    EXPECT_THROW(readWaveformFile(none), bt::Error);
}

}  // namespace
