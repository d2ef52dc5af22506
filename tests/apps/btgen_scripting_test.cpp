// btgen as scripts use it: every command that takes edits builds the same
// instrument settings, an ignored edit is an error unless asked otherwise,
// settings files are printed and edited in place, dirty-transmitter fields
// included.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/files.h"
#include "support/process.h"
#include "app/settings_files.h"

namespace {

using bttest::ScratchDir;
using testing::HasSubstr;
using testing::Not;

using testsupport::btgen;

std::pair<bt::Parameters, bt::SigGenSettings> load(const std::filesystem::path& file) {
    return bt::readSettingsFile(file, bt::EditContext{});
}

// -33 ppm on 10 MHz: 10 x (1e6 - 33) samples per second, whichever command
// the edits are given to.
TEST(BtgenScripting, EveryCommandCouplesTheSampleRateToTheTimingError) {
    const ScratchDir dir;
    const std::vector<std::string> edits = {"--set", "impairments.SymbolTimingErrorActive=1", "--set",
                                            "impairments.SymbolTimingError=-33"};
    std::vector<std::string> save = {"save-settings", (dir / "t.bt").string()};
    save.insert(save.end(), edits.begin(), edits.end());
    const auto saved = btgen(save);
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(load(dir / "t.bt").second.SamplingRate, 9999670);

    std::vector<std::string> show = {"settings", "--all"};
    show.insert(show.end(), edits.begin(), edits.end());
    const auto shown = btgen(show);
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(nlohmann::json::parse(shown.out)["SigGenSettings"]["SamplingRate"], 9999670);

    // Editing the saved file keeps its coupling and its other values.
    const auto again = btgen({"save-settings", (dir / "t2.bt").string(), "--settings", (dir / "t.bt").string(),
                              "--set", "OverSampling=20"});
    ASSERT_EQ(again.status, 0) << again.err;
    const auto [p, s] = load(dir / "t2.bt");
    EXPECT_EQ(p.impairments.SymbolTimingError, -33);
    EXPECT_EQ(s.SamplingRate, 20 * (1e6 - 33));
}

TEST(BtgenScripting, AnIgnoredEditIsAnErrorUnlessKeepGoing) {
    const ScratchDir dir;
    const std::string out = (dir / "w.raw").string();
    const std::vector<std::vector<std::string>> typos = {
        {"size", "--set", "packetType=99"},
        {"generate", "-o", out, "--set", "multiPacket=1", "--set", "payloadType=9", "--set", "patternLength=5000"},
        {"save-settings", (dir / "s.bt").string(), "--set", "generationMode=2", "--set", "burstLength=3"},
    };
    for (const auto& args : typos) {
        SCOPED_TRACE(args.back());
        std::filesystem::remove(out);
        const auto r = btgen(args);
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_THAT(r.err, HasSubstr(args.back() + " was ignored: "));
        EXPECT_FALSE(std::filesystem::exists(out));  // nothing written
        auto kept = args;
        kept.push_back("--keep-going");
        const auto k = btgen(kept);
        EXPECT_EQ(k.status, 0) << k.err;
        EXPECT_THAT(k.err, HasSubstr("  ignored: "));
    }
}

TEST(BtgenScripting, TheOutputFormatComesFromTheExtensionInAnyCase) {
    const ScratchDir dir;
    for (const char* name : {"W.MAT", "w.Csv"}) {
        const auto r = btgen({"generate", "-o", (dir / name).string()});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_THAT(r.out, Not(HasSubstr(".markers"))) << name;
        EXPECT_FALSE(std::filesystem::exists(dir / (std::string(name) + ".markers"))) << name;
    }
    EXPECT_EQ(bttest::readBytes(dir / "W.MAT").substr(0, 6), "MATLAB");
    EXPECT_EQ(bttest::readBytes(dir / "w.Csv").find_first_not_of("0123456789.,-e\n"), std::string::npos);
}

TEST(BtgenScripting, SettingsFilesArePrintedAndEditedDirtyTransmitterFieldsIncluded) {
    const ScratchDir dir;
    const std::string file = (dir / "s.bt").string();
    ASSERT_EQ(btgen({"save-settings", file, "--set", "OverSampling=8"}).status, 0);

    const auto shown = btgen({"settings", "--settings", file, "--set", "dt.marker2Type=1"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    const auto j = nlohmann::json::parse(shown.out);
    EXPECT_EQ(j["OverSampling"], 8);
    EXPECT_EQ(j["dtParameters"]["marker2Type"], 1);
    EXPECT_EQ(j["dtSigGenSettings"]["RFblanking"], 0);  // follows marker 2

    const auto edited = btgen({"save-settings", file, "--settings", file, "--set", "dt.Title=run 2/b", "--set",
                               "dt.packetType=DH3", "--set", "dt.Frequency=2.44e9", "--set-impairment",
                               "3:FreqOffset=200", "--set-impairment", "all:FreqDriftDeviation=30"});
    ASSERT_EQ(edited.status, 0) << edited.err;
    const auto [p, s] = load(file);
    EXPECT_EQ(p.OverSampling, 8);  // from the file
    EXPECT_EQ(p.dtSigGenSettings.Title, "RUN2B");
    EXPECT_EQ(p.dtParameters.packetType, 11);
    EXPECT_EQ(p.dtParameters.patternLength, 1464);
    EXPECT_EQ(p.dtSigGenSettings.Frequency, 2.44e9);
    EXPECT_EQ(p.dtImpairmentsCurrent[2].FreqOffset, 150);
    EXPECT_EQ(p.dtImpairmentsCurrent[9].FreqDriftDeviation, 30);

    // A disabled control (omit poll in external trigger mode) is an ignored
    // edit; an unknown field is refused outright.
    const auto disabled = btgen({"settings", "--set", "dt.external=1", "--set", "dt.omitPollPeriods=1"});
    EXPECT_EQ(disabled.status, 2);
    EXPECT_THAT(disabled.err, HasSubstr("dt.omitPollPeriods=1 was ignored"));
    EXPECT_EQ(btgen({"settings", "--set", "dt.external=1", "--set", "dt.omitPollPeriods=1", "--keep-going"}).status, 0);
    EXPECT_EQ(btgen({"settings", "--set", "dt.nonsense=1"}).status, 2);
    EXPECT_EQ(btgen({"settings", "--platform", "b", "--set", "dt.packetType=DH5"}).status, 2);  // not in its list
}

}  // namespace
