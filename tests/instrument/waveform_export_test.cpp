#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "instrument/waveform_export.h"

using namespace bt;

namespace {

class WaveformExport : public ::testing::Test {
protected:
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("btgen-export-" + std::to_string(::getpid()));
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string path(const char* name) const { return (dir / name).string(); }
    static std::vector<unsigned char> bytes(const std::string& p) {
        std::ifstream f(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(f), {}};
    }
    static std::vector<int> words(const std::string& p) {
        const auto b = bytes(p);
        std::vector<int> w;
        for (std::size_t i = 0; i + 1 < b.size(); i += 2) w.push_back(static_cast<std::int16_t>((b[i] << 8) | b[i + 1]));
        return w;
    }
};

}  // namespace

TEST_F(WaveformExport, ScalesToFullScaleMostSignificantByteFirst) {
    const ComplexRow v = {{1, 0}, {-1, -0.5}};
    ASSERT_EQ(SaveMarrowindWaveform(v, path("a")), 1);
    EXPECT_EQ(bytes(path("a")), (std::vector<unsigned char>{0x7F, 0xFE, 0x00, 0x00, 0x80, 0x02, 0xC0, 0x01}));
    ASSERT_EQ(SaveMarrowindWaveform(v, path("b"), 0.5), 1);
    EXPECT_EQ(words(path("b")), (std::vector<int>{16383, 0, -16383, -8192}));
    SaveMarrowindWaveform(v, path("c"), 5);
    EXPECT_EQ(bytes(path("c")), bytes(path("a")));
    SaveMarrowindWaveform(v, path("d"), 0);
    EXPECT_EQ(words(path("d")), (std::vector<int>{0, 0, 0, 0}));  // 1e-05 of full scale rounds to 0
    SaveMarrowindWaveform(ComplexRow(3), path("z"));
    EXPECT_EQ(words(path("z")), std::vector<int>(6, 0));
}

TEST_F(WaveformExport, EqualMagnitudesAreScaledNotWrapped) {
    // Every component +-100: written unscaled this would wrap; it must come
    // out at full scale with its signs.
    const ComplexRow v = {{100, -100}, {-100, 100}};
    ASSERT_EQ(SaveMarrowindWaveform(v, path("e")), 1);
    EXPECT_EQ(words(path("e")), (std::vector<int>{32766, -32766, -32766, 32766}));
}

TEST_F(WaveformExport, ArgumentForms) {
    const Value v = Value::complexRow({{1, 0}, {-1, -0.5}});
    const std::vector<Value> two = {v, Value::str(path("f"))};
    EXPECT_EQ(SaveMarrowindWaveform(std::span<const Value>(two)), 1);
    EXPECT_EQ(words(path("f")), (std::vector<int>{32766, 0, -32766, -16383}));
    // A column holds the same samples as a row.
    Value column = v;
    std::swap(column.rows, column.cols);
    const std::vector<Value> col = {column, Value::str(path("g"))};
    SaveMarrowindWaveform(std::span<const Value>(col));
    EXPECT_EQ(bytes(path("g")), bytes(path("f")));
    const std::vector<Value> four = {v, Value::str(path("h")), Value::scalar(1), Value::scalar(1)};
    EXPECT_EQ(SaveMarrowindWaveform(std::span<const Value>(four)), 0);
    EXPECT_FALSE(std::filesystem::exists(path("h")));
    EXPECT_EQ(SaveMarrowindWaveform(ComplexRow{{1, 1}}, path("no/such/dir/x")), 0);
}
