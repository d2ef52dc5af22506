#include "bluetooth/settings_validate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "lib/errors.h"
#include "app/app_state.h"
#include "support/files.h"

namespace bt {
namespace {

const EditContext kC{'c', "002"};

// Whatever the editors produce must pass: random edit sequences through
// every editable field, with values inside, at and beyond their limits.
TEST(SettingsValidate, EveryRecordTheEditorsProduceIsAccepted) {
    const std::vector<std::string> values = {"-5", "0", "1", "2", "3", "4", "7", "7.6", "8", "11", "15",
                                             "20", "25", "0.123", "2.5", "100", "250", "FFFFFFFFFFFFF", "1e6"};
    const Bits userBits(300, 1);
    std::mt19937 rng(3);
    for (char platform : {'c', 'b'}) {
        const EditContext ctx{platform, "002"};
        Parameters p;
        ASSERT_FALSE(findInconsistentField(p, ctx)) << findInconsistentField(p, ctx)->text();
        for (int step = 0; step < 3000; ++step) {
            const auto& fields = editableFields();
            const std::string& field = fields[rng() % fields.size()];
            const std::string& value = values[rng() % values.size()];
            EditResult r;
            try {
                r = editField(p, field, value, ctx, &userBits);
            } catch (const Error&) {
                continue;  // a list value that is not a whole number
            }
            p = r.parameters;
            const auto problem = findInconsistentField(p, ctx);
            ASSERT_FALSE(problem) << "after " << field << "=" << value << ": " << problem->text();
        }
    }
}

TEST(SettingsValidate, TheStartUpRecordsAreAccepted) {
    AppState s;
    initializeAppState(s);
    EXPECT_FALSE(findInconsistentField(s.parameters, kC));
    EXPECT_FALSE(findInconsistentField(s.SigGenSettings, 'c'));
    EXPECT_FALSE(findInconsistentField(s.configuration));
}

struct Broken {
    const char* what;
    void (*breakIt)(Parameters&);
    const char* field;
};

class SettingsValidateRefuses : public testing::TestWithParam<Broken> {};

TEST_P(SettingsValidateRefuses, NamingTheField) {
    Parameters p;
    GetParam().breakIt(p);
    const auto problem = findInconsistentField(p, kC);
    ASSERT_TRUE(problem) << GetParam().what;
    EXPECT_EQ(problem->field, GetParam().field) << problem->text();
}

INSTANTIATE_TEST_SUITE_P(
    Records, SettingsValidateRefuses,
    testing::Values(
        Broken{"fractional oversampling", [](Parameters& p) { p.OverSampling = 7.5; }, "OverSampling"},
        Broken{"delay off the sample grid", [](Parameters& p) { p.CGdelay = 0.123; }, "CGdelay"},
        Broken{"settle below ramp", [](Parameters& p) { p.burstSettle = 3; }, "burstSettle"},
        Broken{"ramp off the grid", [](Parameters& p) { p.burstLength = 6.5; }, "burstLength"},
        Broken{"SCO link with DH1", [](Parameters& p) { p.linkType = 1; }, "packetType"},
        Broken{"eSCO link with DH1", [](Parameters& p) { p.linkType = 3; }, "packetType"},
        Broken{"link code 4", [](Parameters& p) { p.linkType = 4; }, "linkType"},
        Broken{"unknown payload", [](Parameters& p) { p.payloadType = 9; }, "payloadType"},
        Broken{"flag of 2", [](Parameters& p) { p.ARQN = 2; }, "ARQN"},
        Broken{"address of 8", [](Parameters& p) { p.AMaddr = 8; }, "AMaddr"},
        Broken{"whitening of 128", [](Parameters& p) { p.dataWhiteningInitValue = 128; }, "dataWhiteningInitValue"},
        Broken{"infinite offset", [](Parameters& p) { p.impairments.FreqOffset = INFINITY; }, "impairments.FreqOffset"},
        Broken{"drift rate", [](Parameters& p) { p.impairments.FreqDriftRate = 1000; }, "impairments.FreqDriftRate"},
        Broken{"empty bits", [](Parameters& p) { p.dataSourceBitstream.clear(); }, "dataSourceBitstream"},
        Broken{"DT ramp", [](Parameters& p) { p.dtParameters.burstLength = 101; }, "dtParameters.burstLength"},
        Broken{"DT selection", [](Parameters& p) { p.dtTestSelect[2] = 0.5; }, "dtTestSelect"},
        Broken{"trigger delay", [](Parameters& p) { p.dtQ7395.SlotSyncDelay = 9255; }, "dtQ7395.SlotSyncDelay"},
        Broken{"stream too long", [](Parameters& p) {
                   p.generationMode = 2;
                   p.patternLength = 4e6;
                   p.patternReps = 4e6 / 511;
               }, "patternLength"}),
    [](const auto& info) { return bttest::testName(info.param.what); });

// What the editors store for eSCO EV5 (and a file saved so) is accepted.
TEST(SettingsValidate, EscoSettingsAreAccepted) {
    Parameters p;
    p.linkType = 3;
    p.packetType = 13;
    p.patternLength = 1440;
    p.patternReps = 1440.0 / 511;
    EXPECT_FALSE(findInconsistentField(p, {'c', "002"}));
}

TEST(SettingsValidate, SizeDependsOnTheInstrument) {
    Parameters p;
    p.generationMode = 2;
    p.patternLength = 200000;  // 2 M samples at 10 per symbol
    p.patternReps = 200000.0 / 511;
    EXPECT_FALSE(findInconsistentField(p, {'c', "002"}));
    EXPECT_TRUE(findInconsistentField(p, {'b', "002"}));
}

TEST(SettingsValidate, InstrumentSettingsAndConnection) {
    SigGenSettings s;
    s.SamplingRate = 50e6;
    EXPECT_FALSE(findInconsistentField(s, 'c'));
    EXPECT_EQ(findInconsistentField(s, 'b')->field, "SamplingRate");
    s = SigGenSettings{};
    s.Title = "lower";
    EXPECT_EQ(findInconsistentField(s, 'c')->field, "Title");
    Configuration c;
    c.GPIB.primary = 31;
    EXPECT_EQ(findInconsistentField(c)->text(), "GPIB.primary is 31, outside 0 .. 30.");
}

}  // namespace
}  // namespace bt
