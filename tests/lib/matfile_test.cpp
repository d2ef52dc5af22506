#include "lib/matfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include "lib/atomic_save.h"
#include "support/files.h"
#include "support/process.h"

namespace bt {
namespace {

namespace fs = std::filesystem;
using bttest::ScratchDir;

// ------------------------------------------------ raw version 5 builders

std::string u32(std::uint32_t x) {
    return {static_cast<char>(x), static_cast<char>(x >> 8), static_cast<char>(x >> 16), static_cast<char>(x >> 24)};
}
std::string element(std::uint32_t type, const std::string& data) {
    std::string e = u32(type) + u32(static_cast<std::uint32_t>(data.size())) + data;
    e.resize((e.size() + 7) / 8 * 8, '\0');
    return e;
}
std::string header(std::uint16_t version = 0x0100, const char* text = "MATLAB 5.0 MAT-file, test") {
    std::string h(text);
    h.resize(116, ' ');
    h += std::string(8, '\0');
    h += static_cast<char>(version & 0xFF);
    h += static_cast<char>(version >> 8);
    return h + "IM";
}
std::string array(std::uint32_t flags, const std::vector<std::int32_t>& dims, const std::string& name,
                  const std::string& contents) {
    std::string d;
    for (auto x : dims) d += u32(static_cast<std::uint32_t>(x));
    return element(14, element(6, u32(flags) + u32(0)) + element(5, d) + element(1, name) + contents);
}
std::string doubles(const std::vector<double>& xs) {
    return element(9, std::string(reinterpret_cast<const char*>(xs.data()), xs.size() * sizeof(double)));
}
std::string compressed(const std::string& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
             static_cast<uLong>(raw.size()));
    out.resize(size);
    return u32(15) + u32(static_cast<std::uint32_t>(out.size())) + out;
}
// The packed field name length of a struct.
std::string fieldNameLength(std::uint32_t n) { return u32((4u << 16) | 5u) + u32(n); }
// A struct nested `depth` levels deep, each level one field "a".
std::string nested(int depth) {
    std::string inner = array(6, {1, 1}, "", doubles({1}));
    for (int k = 0; k < depth; ++k) inner = array(2, {1, 1}, "", fieldNameLength(2) + element(1, std::string("a\0", 2)) + inner);
    return inner;
}

std::string screenError(const std::string& bytes, const MatReadLimits& limits = {}) {
    try {
        screenMatBytes(bytes, limits);
    } catch (const Error& e) {
        return e.what();
    }
    return "accepted";
}

TEST(MatScreen, AcceptsAWellFormedFileAndListsItsShapes) {
    const std::string file = header() + array(6, {1, 3}, "x", doubles({1, 2, 3})) +
                             compressed(array(4, {1, 2}, "name", element(4, std::string("h\0i\0", 4))));
    const MatDirectory dir = screenMatBytes(file);
    ASSERT_EQ(dir.variables.size(), 2u);
    EXPECT_EQ(dir.variables[0].name, "x");
    EXPECT_EQ(dir.variables[0].value.describe(), "1x3 double");
    EXPECT_FALSE(dir.variables[0].value.hasData);
    EXPECT_EQ(dir.variables[1].value.describe(), "1x2 char");
}

struct BadFile {
    const char* what;
    std::string bytes;
    const char* expected;  // part of the error text
};

class MatScreenRefuses : public testing::TestWithParam<BadFile> {};

TEST_P(MatScreenRefuses, WithAClearReason) {
    EXPECT_NE(screenError(GetParam().bytes).find(GetParam().expected), std::string::npos)
        << GetParam().what << ": " << screenError(GetParam().bytes);
}

std::string v4File() {
    // Version 4: a bare header of five int32 (type, rows, cols, imaginary flag, name length).
    std::string f = u32(0) + u32(1) + u32(1) + u32(0) + u32(2) + std::string("x\0", 2);
    const double one = 1;
    return f + std::string(reinterpret_cast<const char*>(&one), 8) + std::string(200, '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Files, MatScreenRefuses,
    testing::Values(
        BadFile{"empty", "", "is empty (0 bytes)"},
        BadFile{"short", "MATLAB 5.0", "shorter than a MAT-file header"},
        BadFile{"text", std::string(300, 'a'), "is not a version 5 or 7 MAT-file"},
        BadFile{"version 4", v4File(), "is not a version 5 or 7 MAT-file"},
        BadFile{"version 7.3", header(0x0200, "MATLAB 7.3 MAT-file") + std::string(512, '\0'), "version 7.3 (HDF5)"},
        BadFile{"huge dimensions", header() + array(6, {0x7FFFFFFF, 0x7FFFFFFF}, "x", doubles({1})),
                "more elements than any file can hold"},
        BadFile{"data shorter than dimensions", header() + array(6, {1000, 1000}, "x", doubles({1})),
                "an array of 1000000 numbers holds 8 bytes"},
        BadFile{"negative dimension", header() + array(6, {-1, 1}, "x", doubles({})), "negative array dimension"},
        BadFile{"element longer than file", header() + u32(14) + u32(4000) + std::string(16, '\0'),
                "claims 4000 bytes"},
        BadFile{"tag cut short", header() + array(6, {1, 1}, "x", doubles({1})) + "abc", "ends inside an element tag"},
        BadFile{"small element over 4 bytes", header() + array(6, {1, 1}, "x", u32(0x00090009) + u32(0)),
                "small data element claims 9 bytes"},
        BadFile{"sparse", header() + array(5, {1, 1}, "x", ""), "class sparse"},
        BadFile{"deep nesting", header() + array(2, {1, 1}, "x", fieldNameLength(2) + element(1, std::string("a\0", 2)) + nested(20)),
                "nested more than 16 deep"},
        BadFile{"unknown element type", header() + element(99, "12345678"), "unknown type 99"},
        BadFile{"corrupt compression", header() + u32(15) + u32(12) + "not zlib at!", "corrupt or cut short"},
        BadFile{"struct field count", header() + array(2, {1, 1}, "x", fieldNameLength(4) + element(1, "abc")),
                "bad field names"}),
    [](const auto& info) { return bttest::testName(info.param.what); });

TEST(MatScreen, CapsWhatCompressedDataMayUnpackTo) {
    // A megabyte of zeros packs into a kilobyte: a classic bomb in miniature.
    const std::string bomb = header() + compressed(array(6, {1, 131072}, "x", doubles(std::vector<double>(131072))));
    MatReadLimits limits;
    limits.maxUnpackedBytes = 64 * 1024;
    EXPECT_NE(screenError(bomb, limits).find("unpack to more than 65536 bytes"), std::string::npos);
    EXPECT_EQ(screenError(bomb), "accepted");
}

// ----------------------------------------------------------- round trips

MatValue sampleRecord() {
    MatValue inner = MatValue::structArray({"a", "b"}, 1);
    inner.setField("a", MatValue::scalar(-1.5));
    inner.setField("b", MatValue::string("text"));
    MatValue table = MatValue::structArray({"x"}, 3);
    for (std::size_t k = 0; k < 3; ++k) table.setField("x", MatValue::scalar(static_cast<double>(k) + 0.25), k);
    MatValue r = MatValue::structArray({}, 1);
    r.setField("inner", inner);
    r.setField("table", table);
    r.setField("empty", MatValue::string(""));
    r.setField("row", MatValue::realMatrix(1, 4, {1, 0, 1, 1}));
    r.setField("iq", MatValue::complexMatrix(2, 1, {0.5, -0.5}, {1e-300, 3}));
    return r;
}

void expectSame(const MatValue& a, const MatValue& b) {
    EXPECT_EQ(a.describe(), b.describe());
    EXPECT_EQ(a.re, b.re);
    EXPECT_EQ(a.im, b.im);
    EXPECT_EQ(a.text, b.text);
    ASSERT_EQ(a.fieldNames, b.fieldNames);
    ASSERT_EQ(a.elements.size(), b.elements.size());
    for (std::size_t k = 0; k < a.elements.size(); ++k) expectSame(a.elements[k], b.elements[k]);
}

class MatRoundTrip : public testing::TestWithParam<MatCompression> {};

TEST_P(MatRoundTrip, RecordsTextAndMatricesComeBackUnchanged) {
    ScratchDir dir;
    const MatValue record = sampleRecord();
    writeMatFile(dir / "r.mat", {{"record", record}, {"n", MatValue::scalar(42)}}, GetParam());
    const MatFileReader reader(dir / "r.mat");
    ASSERT_NE(reader.info("record"), nullptr);
    EXPECT_EQ(reader.info("record")->field("table")->describe(), "1x3 struct");
    expectSame(reader.read("record"), record);
    EXPECT_EQ(reader.read("n").re, std::vector<double>{42});
    EXPECT_THROW(reader.read("missing"), Error);
}

INSTANTIATE_TEST_SUITE_P(Compression, MatRoundTrip, testing::Values(MatCompression::None, MatCompression::Zlib),
                         [](const auto& info) { return info.param == MatCompression::None ? "plain" : "zlib"; });

TEST(MatStream, MatricesStreamedInChunksReadBackThroughMatio) {
    ScratchDir dir;
    const std::size_t n = 100003;  // several chunks, not a multiple of any
    const auto fill = [](std::size_t first, std::size_t count, bool imag, double* out) {
        for (std::size_t k = 0; k < count; ++k) out[k] = imag ? -static_cast<double>(first + k) : 0.5 * (first + k);
    };
    writeMatMatrices(dir / "w.mat", {{"wave", n, 1, true, fill}, {"ab", 2, 3, false, fill}});
    MatReadLimits limits;
    limits.maxFileBytes = 8u << 20;
    const MatFileReader reader(dir / "w.mat", limits);
    const MatValue wave = reader.read("wave");
    ASSERT_EQ(wave.describe(), "100003x1 complex double");
    EXPECT_EQ(wave.re[n - 1], 0.5 * (n - 1));
    EXPECT_EQ(wave.im[77777], -77777.0);
    EXPECT_EQ(reader.read("ab").re, (std::vector<double>{0, 0.5, 1, 1.5, 2, 2.5}));
}

// --------------------------------------------------------- atomic saves

TEST(AtomicSave, AFullDiskLeavesTheOldFileByteForByte) {
    ScratchDir dir;
    const fs::path target = dir / "keep.mat";
    writeMatFile(target, {{"old", MatValue::scalar(1)}});
    const std::string before = bttest::readBytes(target);
    const MatValue big = MatValue::realMatrix(1, 20000, std::vector<double>(20000, 3.25));

    const std::string viaMatio =
        testsupport::errorUnderFileSizeLimit(4096, [&] { writeMatFile(target, {{"big", big}}, MatCompression::None); });
    EXPECT_NE(viaMatio.find("incomplete"), std::string::npos) << viaMatio;
    const auto fill = [](std::size_t, std::size_t count, bool, double* out) { std::fill(out, out + count, 1.0); };
    const std::string streamed = testsupport::errorUnderFileSizeLimit(4096, [&] { writeMatMatrices(target, {{"w", 50000, 2, false, fill}}); });
    EXPECT_NE(streamed.find("cannot write the new file"), std::string::npos) << streamed;

    EXPECT_EQ(bttest::readBytes(target), before);
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1) << "a temporary file was left behind";
}

TEST(AtomicSave, KeepsPermissionsAndWritesThroughALink) {
    ScratchDir dir;
    const fs::path real = dir / "real.mat";
    writeMatFile(real, {{"v", MatValue::scalar(1)}});
    ::chmod(real.c_str(), 0640);
    fs::create_symlink(real, dir / "link.mat");
    writeMatFile(dir / "link.mat", {{"v", MatValue::scalar(2)}});
    EXPECT_TRUE(fs::is_symlink(dir / "link.mat"));
    EXPECT_EQ(MatFileReader(real).read("v").re, std::vector<double>{2});
    struct stat st {};
    ::stat(real.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(AtomicSave, AFailingWriterLeavesNothingBehind) {
    ScratchDir dir;
    EXPECT_THROW(saveAtomically(dir / "x.mat", [](const fs::path&) { throw Error("stop"); }), Error);
    EXPECT_TRUE(fs::is_empty(dir.path()));
    EXPECT_THROW(saveAtomically(dir / "missing-folder" / "x.mat", [](const fs::path&) {}), Error);
}

}  // namespace
}  // namespace bt
