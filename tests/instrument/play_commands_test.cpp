#include "instrument/play_commands.h"

#include <gtest/gtest.h>

#include "lib/errors.h"

namespace bt {
namespace {

SigGenSettings settings() {
    SigGenSettings s;
    s.Frequency = 2441000000;
    s.Amplitude = -14;
    s.SamplingRate = 10000000;
    s.ReconFilter = 4;
    s.BBfilter = 3;
    s.Scaling = 95;
    s.ModAtten = 3;
    s.ALC = 0;
    s.RFblanking = 0;
    s.MarkerPolarity = 1;
    s.ArbRefSource = 1;
    return s;
}

TEST(PlayCommands, IxoB) {
    const std::vector<std::string> expected = {
        " :source:rad:arb:state off",
        " :source:rad:arb:wav \"arbi:BT\" ",
        " :source:freq:fix 2441000000Hz",
        " :source:power:level:immediate:amplitude -14dbm",
        " :source:rad:arb:clock:srate 10000000Hz",
        " :source:rad:arb:rfilter through",
        " :source:rad:arb:marker:rfblank off",
        " :source:rad:arb:marker:polarity Neg",
        " :source:rad:arb:clock:ref ext",
        " :source:rad:arb:state on",
        " :output:state on",
    };
    EXPECT_EQ(playCommands("BT", settings(), 'b'), expected);
}

TEST(PlayCommands, IxoC) {
    const std::vector<std::string> expected = {
        " :source:rad:arb:state off",
        " :source:rad:arb:wav \"arbi:BT\" ",
        " :source:freq:fix 2441000000Hz",
        " :source:power:level:immediate:amplitude -14dbm",
        " :source:rad:arb:clock:srate 10000000Hz",
        " :source:dm:bbfilter Through",
        " :source:rad:ARB:rscaling 95",
        ":source:DM:IQAT:AUTO off",
        ":source:DM:IQAT 3",
        " :pow:alc:state off",
        " :source:rad:arb:marker:rfblank off",
        " :source:rad:arb:marker:polarity Neg",
        " :source:rad:arb:clock:ref ext",
        " :source:rad:arb:state on",
        " :output:state on",
        " :OUTPUT:MOD ON",
    };
    EXPECT_EQ(playCommands("BT", settings(), 'c'), expected);
}

TEST(PlayCommands, ChoiceTexts) {
    SigGenSettings s = settings();
    const char* recon[] = {"250.0khz", "2.5Mhz", "8Mhz", "through"};
    const char* bb[] = {"2.1MHz", "40MHz", "Through"};
    for (int k = 1; k <= 4; ++k) {
        s.ReconFilter = k;
        EXPECT_EQ(playCommands("X", s, 'b')[5], std::string(" :source:rad:arb:rfilter ") + recon[k - 1]);
    }
    for (int k = 1; k <= 3; ++k) {
        s.BBfilter = k;
        EXPECT_EQ(playCommands("X", s, 'c')[5], std::string(" :source:dm:bbfilter ") + bb[k - 1]);
    }
    s.RFblanking = 1;
    s.MarkerPolarity = 0;
    s.ArbRefSource = 0;
    s.ALC = 1;
    const auto c = playCommands("X", s, 'c');
    EXPECT_EQ(c[9], " :pow:alc:state on");
    EXPECT_EQ(c[10], " :source:rad:arb:marker:rfblank on");
    EXPECT_EQ(c[11], " :source:rad:arb:marker:polarity Pos");
    EXPECT_EQ(c[12], " :source:rad:arb:clock:ref int");
    s.Amplitude = -13.5;
    s.Frequency = 2402.5e6;
    EXPECT_EQ(playCommands("X", s, 'c')[3], " :source:power:level:immediate:amplitude -13.5dbm");
    EXPECT_EQ(playCommands("X", s, 'c')[2], " :source:freq:fix 2402500000Hz");
}

TEST(PlayCommands, ChoicesOutsideTheListsAreRefused) {
    SigGenSettings s = settings();
    s.ReconFilter = 5;
    EXPECT_THROW(playCommands("X", s, 'b'), Error);
    EXPECT_NO_THROW(playCommands("X", s, 'c'));  // IXO-C does not send it
    s = settings();
    s.BBfilter = 0;
    EXPECT_THROW(playCommands("X", s, 'c'), Error);
    s = settings();
    s.ALC = 2;
    EXPECT_THROW(playCommands("X", s, 'c'), Error);
}

TEST(SequenceDefinition, EntriesFollowTheHeader) {
    const std::vector<SequenceElement> e = {{"s1", 3, 1, 0}, {"s2", 1, 0, 0}};
    EXPECT_EQ(sequenceDefinition(e, "dt", 'b'), ":source:rad:arb:seq \"SEQ:dt\",\"ARBI:s1\",3,1,0,\"ARBI:s2\",1,0,0");
    EXPECT_EQ(sequenceDefinition(e, "dt", 'c'), ":source:rad:arb:seq \"SEQ:dt\",\"WFM1:s1\",3,1,0,\"WFM1:s2\",1,0,0");
    EXPECT_EQ(sequenceDefinition({}, "dt", 'c'), ":source:rad:arb:seq \"SEQ:dt\"");
}

TEST(SequencePlay, ListsPerGeneration) {
    const auto b = sequencePlayCommands("dt", settings(), 'b');
    const auto c = sequencePlayCommands("dt", settings(), 'c');
    const auto other = sequencePlayCommands("dt", settings(), 'x');
    ASSERT_EQ(b.size(), 13u);
    ASSERT_EQ(c.size(), 16u);
    ASSERT_EQ(other.size(), 12u);
    EXPECT_EQ(b[1], ":source:rad:arb:wav \"SEQ:dt\"");
    EXPECT_EQ(b[5], ":pow:alc:state off");
    EXPECT_EQ(b[9], ":source:rad:arb:rfilter through");
    EXPECT_EQ(c[9], ":source:dm:bbfilter Through");
    EXPECT_EQ(c[10], ":source:rad:ARB:rscaling 95");
    EXPECT_EQ(c[11], ":source:DM:IQAT:AUTO off");
    EXPECT_EQ(c[12], ":source:DM:IQAT 3");
    for (const auto* list : {&b, &c, &other}) {
        const auto& l = *list;
        EXPECT_EQ(l[l.size() - 3], ":source:rad:arb:state on");
        EXPECT_EQ(l[l.size() - 2], ":output:mod on");
        EXPECT_EQ(l.back(), ":output:state on");
        for (const auto& cmd : l) EXPECT_NE(cmd.front(), ' ') << cmd;
    }
}

}  // namespace
}  // namespace bt
