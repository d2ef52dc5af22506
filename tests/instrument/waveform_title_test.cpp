#include "instrument/waveform_title.h"

#include <gtest/gtest.h>

namespace bt {
namespace {

TEST(WaveformTitle, KeepsWhatTheInstrumentAccepts) {
    EXPECT_EQ(filterWaveformTitle("bt test-1/ab"), "BTTEST-1AB");
    EXPECT_EQ(filterWaveformTitle("a_$&#+-[]z"), "A_$&#+-[]Z");
    EXPECT_EQ(filterWaveformTitle(""), "BLANK");
    EXPECT_EQ(filterWaveformTitle("\xc3\xa9t\xc3\xa9"), "T");  // bytes of other characters are dropped
    EXPECT_EQ(filterWaveformTitle("12345678901234567890123"), "12345678901234567890");
    EXPECT_EQ(filterWaveformTitle("....................abc"), "ABC");  // cut after filtering
}

}  // namespace
}  // namespace bt
