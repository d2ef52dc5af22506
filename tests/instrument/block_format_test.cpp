#include "instrument/block_format.h"

#include <gtest/gtest.h>

#include <string>

namespace bt {
namespace {

TEST(BlockHeader, FormatsDefiniteLength) {
    EXPECT_EQ(*blockHeader(0), "#10");
    EXPECT_EQ(*blockHeader(50000), "#550000");
    EXPECT_EQ(*blockHeader(120000000), "#9120000000");
    EXPECT_FALSE(blockHeader(1'000'000'000).has_value());
}

TEST(BlockHeader, ParsesWhatItFormats) {
    for (std::uint64_t n : {0ull, 7ull, 4096ull, 999999999ull}) {
        const std::string h = *blockHeader(n);
        const auto p = parseBlockHeader(h + "data");
        ASSERT_EQ(p.state, BlockHeaderParse::State::Complete) << h;
        EXPECT_EQ(p.length, n);
        EXPECT_EQ(p.headerSize, h.size());
    }
}

TEST(BlockHeader, WaitsForAnIncompleteHeader) {
    EXPECT_EQ(parseBlockHeader("#").state, BlockHeaderParse::State::NeedMore);
    EXPECT_EQ(parseBlockHeader("#41").state, BlockHeaderParse::State::NeedMore);
}

class MalformedHeader : public ::testing::TestWithParam<const char*> {};

TEST_P(MalformedHeader, IsRefused) {
    const auto p = parseBlockHeader(GetParam());
    EXPECT_EQ(p.state, BlockHeaderParse::State::Malformed) << GetParam();
    EXPECT_FALSE(p.error.empty());
}

INSTANTIATE_TEST_SUITE_P(Headers, MalformedHeader,
                         ::testing::Values("#0abc\n",  // indefinite length
                                           "#x12",     // no digit count
                                           "#3a12",    // non-digit length
                                           "#31x",     // non-digit later in the length
                                           "X12"));

// Reference encoding written independently: scale the peak component to
// 32767, round halves away from zero, two's complement, high byte first.
std::string referenceEncode(const ComplexRow& z) {
    double peak = 0;
    for (auto s : z) peak = std::max({peak, std::abs(s.real()), std::abs(s.imag())});
    std::string out;
    for (auto s : z)
        for (double v : {s.real(), s.imag()}) {
            const long q = peak > 0 ? std::lround(v / peak * 32767.0) : 0;
            const auto w = static_cast<std::uint16_t>(static_cast<std::int16_t>(q));
            out += static_cast<char>(w >> 8);
            out += static_cast<char>(w & 0xFF);
        }
    return out;
}

TEST(IqEncoder, ScalesPeakToFullScaleBigEndian) {
    const ComplexRow z = {{1.0, 0.0}, {-1.0, -0.5}, {0.25, 0.0}};
    IqEncoder e(z);
    ASSERT_TRUE(e.valid());
    std::string bytes(12, '\0');
    e.encode(0, 3, reinterpret_cast<std::uint8_t*>(bytes.data()));
    // 32767, 0, -32767, -16384 (16383.5 rounds away from zero), 8192, 0
    const std::string expected("\x7F\xFF\x00\x00\x80\x01\xC0\x00\x20\x00\x00\x00", 12);
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(bytes, referenceEncode(z));
}

TEST(IqEncoder, SlicesMatchTheWhole) {
    ComplexRow z;
    for (int k = 0; k < 1000; ++k) z.emplace_back(std::sin(k * 0.1) * 3.7, std::cos(k * 0.37) * 2.1);
    IqEncoder e(z);
    std::string sliced(4 * z.size(), '\0');
    for (std::size_t first = 0; first < z.size(); first += 77)
        e.encode(first, std::min<std::size_t>(77, z.size() - first),
                 reinterpret_cast<std::uint8_t*>(sliced.data()) + 4 * first);
    EXPECT_EQ(sliced, referenceEncode(z));
}

TEST(IqEncoder, AllZeroAndNonFinite) {
    const ComplexRow zeros(4);
    IqEncoder e(zeros);
    std::string bytes(16, 'x');
    e.encode(0, 4, reinterpret_cast<std::uint8_t*>(bytes.data()));
    EXPECT_EQ(bytes, std::string(16, '\0'));
    EXPECT_FALSE(IqEncoder(ComplexRow{{1, 0}, {std::nan(""), 0}}).valid());
    EXPECT_FALSE(IqEncoder(ComplexRow{{1, 0}, {0, HUGE_VAL}}).valid());
}

TEST(Markers, OneBytePerSampleBit0Marker1Bit1Marker2) {
    Markers m;
    m.row1 = {0, 1, 0, 1, 1};
    m.row2 = {0, 0, 1, 1, 7};  // any non-zero counts as set
    std::uint8_t out[5];
    encodeMarkers(m, 0, 5, out);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 5), (std::vector<std::uint8_t>{0, 1, 2, 3, 3}));
    encodeMarkers(Markers{}, 0, 3, out);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 3), (std::vector<std::uint8_t>{0, 0, 0}));
}

TEST(Crc32, MatchesPublishedCheckValue) {
    const std::string check = "123456789";
    EXPECT_EQ(crc32({reinterpret_cast<const std::uint8_t*>(check.data()), check.size()}), 0xCBF43926u);
    // Continuation over pieces equals the whole.
    const auto* p = reinterpret_cast<const std::uint8_t*>(check.data());
    EXPECT_EQ(crc32({p + 4, 5}, crc32({p, 4})), 0xCBF43926u);
}

}  // namespace
}  // namespace bt
