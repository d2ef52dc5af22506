#include "bluetooth/access_code.h"

#include <gtest/gtest.h>

#include "lib/errors.h"
#include "support/bit_text.h"

namespace bt {
namespace {

using test::bitsOf;
using test::bitsOfValue;

// The sync word read as a 64-bit number with its first air bit as the most
// significant, as the baseband's sample data print it.
std::uint64_t syncAsPrinted(const Bits& accessCode) {
    std::uint64_t v = 0;
    for (int k = 4; k < 68; ++k) v = (v << 1) | accessCode[static_cast<std::size_t>(k)];
    return v;
}

struct SyncSample {
    std::uint32_t lap;
    std::uint64_t sync;
};

class SyncWordSample : public testing::TestWithParam<SyncSample> {};

TEST_P(SyncWordSample, MatchesPublishedSyncWord) {
    const Bits ac = Bt_AccessCode(bitsOfValue(GetParam().lap, 24), false);
    ASSERT_EQ(ac.size(), 68u);
    EXPECT_EQ(syncAsPrinted(ac), GetParam().sync) << std::hex << GetParam().lap;
}

// The general inquiry LAP and the two extreme LAPs of the sample data.
INSTANTIATE_TEST_SUITE_P(Samples, SyncWordSample,
                         testing::Values(SyncSample{0x9E8B33, 0x475C58CC73345E72ull},
                                         SyncSample{0x000000, 0x7E7041E34000000Dull},
                                         SyncSample{0xFFFFFF, 0xE758B5227FFFFFF2ull}));

TEST(AccessCode, GeneralInquiryFraming) {
    const Bits lap = bitsOfValue(0x9E8B33, 24);
    const Bits noTrailer = Bt_AccessCode(lap, false);
    EXPECT_EQ(Bits(noTrailer.begin(), noTrailer.begin() + 4), bitsOf("0101"));
    const Bits withTrailer = Bt_AccessCode(lap, true);
    ASSERT_EQ(withTrailer.size(), 72u);
    EXPECT_EQ(Bits(withTrailer.begin(), withTrailer.begin() + 68), noTrailer);
    EXPECT_EQ(Bits(withTrailer.begin() + 68, withTrailer.end()), bitsOf("1010"));
}

TEST(AccessCode, InformationPartCarriesLapAndBarkerBits) {
    for (std::uint32_t lap : {0x000000u, 0x7FFFFFu, 0x800000u, 0xFFFFFFu, 0x123456u, 0xC0FFEEu}) {
        const Bits ac = Bt_AccessCode(bitsOfValue(lap, 24), true);
        Bits expected = bitsOfValue(lap, 24);
        const Bits barker = lap & 0x800000 ? bitsOf("110010") : bitsOf("001101");
        expected.insert(expected.end(), barker.begin(), barker.end());
        EXPECT_EQ(Bits(ac.begin() + 38, ac.begin() + 68), expected) << std::hex << lap;
        // Preamble and trailer alternate with the sync bits next to them.
        for (int k = 0; k < 4; ++k) EXPECT_NE(ac[static_cast<std::size_t>(k)], ac[static_cast<std::size_t>(k) + 1]);
        for (int k = 67; k < 71; ++k) EXPECT_NE(ac[static_cast<std::size_t>(k)], ac[static_cast<std::size_t>(k) + 1]);
    }
}

TEST(AccessCode, RejectsLapOfWrongWidth) {
    EXPECT_THROW(Bt_AccessCode(Bits(23, 0), true), Error);
    EXPECT_THROW(Bt_AccessCode(Bits(48, 0), true), Error);
}

}  // namespace
}  // namespace bt
