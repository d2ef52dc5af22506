// The settings options as an RF engineer drives them: the same option set on
// every command that makes, saves, plots or plays a signal, the carrier
// reaching every recording, refresh sending what download sets, a sample
// rate that does not fit the waveform refused, and save-settings keeping
// the file it edits.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <nlohmann/json.hpp>

#include "app/settings_files.h"
#include "bluetooth/settings_editor.h"
#include "support/files.h"
#include "support/process.h"

namespace {

using bttest::ScratchDir;
using testing::HasSubstr;
using testsupport::SimProcess;

using testsupport::btgen;

std::vector<std::string> lines(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// btgen plot needs btgen-plot-gui, built only with the windows (not in the
// sanitizer tree).
bool haveDrawing() { return std::filesystem::exists(testsupport::appPath("btgen-plot-gui")); }

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Every command that makes, saves, plots or plays a signal, as a script
// would start it (the instrument ones are stopped by the settings before
// any connection is tried).
std::vector<std::vector<std::string>> signalCommands(const ScratchDir& dir) {
    return {
        {"generate", "-o", (dir / "w.mat").string()},
        {"settings"},
        {"save-settings", (dir / "s.bt").string()},
        {"size"},
        {"bits"},
        {"dirty-tx", "--calculate", "-o", (dir / "dt.mat").string()},
        {"plot", "ccdf", "-o", (dir / "p.png").string()},
        {"download", "--tcpip", "127.0.0.1:1"},
        {"refresh", "--tcpip", "127.0.0.1:1"},
    };
}

TEST(BtgenOptions, EveryCommandTakesTheSameOptionsAndNamesTheOptionOfAMisplacedField) {
    const ScratchDir dir;
    const std::string base = (dir / "s0.bt").string();
    ASSERT_EQ(btgen({"save-settings", base}).status, 0);
    for (const auto& cmd : signalCommands(dir)) {
        SCOPED_TRACE(cmd.front());
        if (cmd.front() == "plot" && !haveDrawing()) continue;
        const auto sg = btgen(with(cmd, {"--settings", base, "--platform", "c", "--set", "Frequency=2441e6"}));
        EXPECT_EQ(sg.status, 2) << sg.err;
        EXPECT_THAT(sg.err, HasSubstr("Frequency is an instrument setting: use --sg Frequency=..."));
        const auto set = btgen(with(cmd, {"--sg", "OverSampling=20"}));
        EXPECT_EQ(set.status, 2) << set.err;
        EXPECT_THAT(set.err, HasSubstr("OverSampling is a settings field: use --set OverSampling=..."));
        const auto bad = btgen(with(cmd, {"--sg", "channel=79"}));
        EXPECT_EQ(bad.status, 2) << bad.err;
        EXPECT_THAT(bad.err, HasSubstr("channel"));
        EXPECT_FALSE(std::filesystem::exists(dir / "w.mat"));
        EXPECT_FALSE(std::filesystem::exists(dir / "p.png"));
    }
}

TEST(BtgenOptions, TheCarrierReachesEveryRecordingAndSettingsFile) {
    const ScratchDir dir;
    const auto rec = btgen({"generate", "-o", (dir / "rec").string(), "--format", "sigmf", "--sg",
                            "Frequency=2441e6", "--sg", "Amplitude=-10", "--set", "packetType=15"});
    ASSERT_EQ(rec.status, 0) << rec.err;
    std::ifstream meta(dir / "rec.sigmf-meta");
    const auto j = nlohmann::json::parse(meta);
    EXPECT_EQ(j["captures"][0]["core:frequency"], 2441e6);
    EXPECT_EQ(j["global"]["btgen:settings"]["sigGenParameters"]["Amplitude"], -10);
    // The echo says what was stored, in its unit, on standard error.
    EXPECT_THAT(rec.err, HasSubstr("set Frequency=2441e6\n  Frequency: 2441 MHz"));
    EXPECT_THAT(rec.out, testing::Not(HasSubstr("set ")));

    const auto all = btgen({"settings", "--all", "--sg", "channel=39"});
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(nlohmann::json::parse(all.out)["SigGenSettings"]["Frequency"], 2441e6);

    const auto saved = btgen({"save-settings", (dir / "s.bt").string(), "--sg", "channel=78", "--sg", "Title=RUN"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    const auto [p, s] = bt::readSettingsFile(dir / "s.bt", bt::EditContext{});
    EXPECT_EQ(s.Frequency, 2480e6);
    EXPECT_EQ(s.Title, "RUN");

    // The dirty-transmitter sequence plays at its own carrier: --sg sets it.
    const auto dt = btgen({"dirty-tx", "--calculate", "--format", "sigmf", "--sets", "1", "-o",
                           (dir / "dt").string(), "--sg", "channel=39"});
    ASSERT_EQ(dt.status, 0) << dt.err;
    std::ifstream dtMeta(dir / "dt-set1.sigmf-meta");
    EXPECT_EQ(nlohmann::json::parse(dtMeta)["captures"][0]["core:frequency"], 2441e6);
}

TEST(BtgenOptions, RefreshSendsWhatDownloadSetAndARateThatDoesNotFitIsRefused) {
    const ScratchDir dir;
    const std::vector<std::string> job = {"--set", "OverSampling=20", "--sg", "Frequency=2441e6"};
    std::vector<std::string> download, refresh;
    {
        const auto file = dir / "sent.txt";
        SimProcess sim({"--transcript", file.string()});
        const std::string at = "127.0.0.1:" + std::to_string(sim.port());
        const auto d = btgen(with({"download", "--tcpip", at}, job));
        ASSERT_EQ(d.status, 0) << d.err;
        download = lines(file);
        const auto r = btgen(with({"refresh", "--tcpip", at}, job));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(sim.stop(), 0);
        const auto all = lines(file);
        refresh.assign(all.begin() + static_cast<std::ptrdiff_t>(download.size()), all.end());
    }
    ASSERT_FALSE(refresh.empty());
    // Every setting refresh sends is one download sent, the carrier and the
    // 20 MHz sample clock among them.
    for (const std::string& line : refresh)
        EXPECT_NE(std::find(download.begin(), download.end(), line), download.end()) << line;
    const auto sent = [&](const std::string& part) {
        return std::any_of(refresh.begin(), refresh.end(),
                           [&](const std::string& l) { return l.find(part) != std::string::npos; });
    };
    EXPECT_TRUE(sent("freq:fix 2441000000Hz")) << testing::PrintToString(refresh);
    EXPECT_TRUE(sent("clock:srate 20000000Hz")) << testing::PrintToString(refresh);

    // A sample rate other than the waveform's is refused before anything is
    // sent, unless asked for in so many words.
    SimProcess sim({"--transcript", (dir / "rate.txt").string()});
    const std::string at = "127.0.0.1:" + std::to_string(sim.port());
    const auto refused = btgen({"download", "--tcpip", at, "--sg", "SamplingRate=5e6"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_THAT(refused.err, HasSubstr("SamplingRate 5000000 Hz is not the 10000000 Hz the waveform is built for"));
    EXPECT_THAT(refused.err, HasSubstr("--force-rate"));
    const auto forced = btgen({"download", "--tcpip", at, "--sg", "SamplingRate=5e6", "--force-rate"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    const auto status = btgen({"status", "--tcpip", at});
    EXPECT_THAT(status.out, HasSubstr("sample clock: 5000000 Hz"));
    EXPECT_EQ(sim.stop(), 0);
}

TEST(BtgenOptions, SaveSettingsEditsAnExistingFileUnlessToldToStartAfresh) {
    const ScratchDir dir;
    const std::string file = (dir / "job.bt").string();
    ASSERT_EQ(btgen({"save-settings", file, "--set", "OverSampling=8", "--sg", "channel=39"}).status, 0);
    const auto edited = btgen({"save-settings", file, "--set", "packetType=11"});
    ASSERT_EQ(edited.status, 0) << edited.err;
    EXPECT_THAT(edited.err, HasSubstr(file + " exists: starting from its settings"));
    auto [p, s] = bt::readSettingsFile(file, bt::EditContext{});
    EXPECT_EQ(p.OverSampling, 8);
    EXPECT_EQ(p.packetType, 11);
    EXPECT_EQ(s.Frequency, 2441e6);

    const auto fresh = btgen({"save-settings", file, "--from-defaults", "--set", "packetType=11"});
    ASSERT_EQ(fresh.status, 0) << fresh.err;
    EXPECT_THAT(fresh.err, testing::Not(HasSubstr("exists")));
    std::tie(p, s) = bt::readSettingsFile(file, bt::EditContext{});
    EXPECT_EQ(p.OverSampling, 10);
    EXPECT_EQ(p.packetType, 11);
    EXPECT_EQ(s.Frequency, 2402e6);
}

TEST(BtgenOptions, ListFieldsTakeNamesInAnyCase) {
    const auto named = btgen({"settings", "--set", "linkType=sco", "--set", "packetType=hv3", "--set",
                              "impairments.FreqDriftType=Sinusoidal", "--set", "dt.packetType=dh3"});
    ASSERT_EQ(named.status, 0) << named.err;
    auto j = nlohmann::json::parse(named.out);
    EXPECT_EQ(j["linkType"], 1);
    EXPECT_EQ(j["packetType"], 7);
    EXPECT_EQ(j["impairments"]["FreqDriftType"], 2);
    EXPECT_EQ(j["dtParameters"]["packetType"], 11);
    EXPECT_THAT(named.err, HasSubstr("set packetType=hv3\n  packetType: \"7: HV3\""));

    const auto multi = btgen({"settings", "--set", "linkType=ACL", "--set", "packetType=DH5", "--set",
                              "multiPacket=multi", "--set", "payloadType=Continuous PN15"});
    ASSERT_EQ(multi.status, 0) << multi.err;
    j = nlohmann::json::parse(multi.out);
    EXPECT_EQ(j["packetType"], 15);
    EXPECT_EQ(j["multiPacket"], 1);
    EXPECT_EQ(j["payloadType"], 6);
    EXPECT_EQ(j["payloadSetup"], 2);

    const auto stream = btgen({"settings", "--set", "generationMode=STREAM", "--set", "payloadType=\"PN9\"",
                               "--set", "payloadType=8 bit pattern"});
    ASSERT_EQ(stream.status, 0) << stream.err;
    j = nlohmann::json::parse(stream.out);
    EXPECT_EQ(j["generationMode"], 2);
    EXPECT_EQ(j["payloadType"], 7);

    // An unknown name lists the names and codes there are; DH5 is no
    // name on a synchronous link.
    const auto unknown = btgen({"size", "--set", "linkType=SCO", "--set", "packetType=DH5"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_THAT(unknown.err, HasSubstr("Value \"DH5\" of packetType is none of its names or codes: ID (-1), "
                                       "NULL (0), POLL (1), FHS (2), DM1 (3), HV1 (5), HV2 (6), HV3 (7), DV (8)."));
    EXPECT_EQ(unknown.out, "");
    const auto dt = btgen({"settings", "--set", "dt.packetType=DH4"});
    EXPECT_EQ(dt.status, 2);
    EXPECT_THAT(dt.err, HasSubstr("DH1 (4), DH3 (11), DH5 (15)"));
}

TEST(BtgenOptions, AnInstrumentOfTheOtherGenerationIsNamedBeforeAnythingIsSent) {
    const ScratchDir dir;
    SimProcess sim({"--model", "b", "--transcript", (dir / "b.txt").string()});
    // A host name and a timeout with decimals, as people write them.
    const std::string at = "localhost:" + std::to_string(sim.port());
    const auto wrong = btgen({"download", "--tcpip", at, "--timeout", "2500.5"});
    EXPECT_EQ(wrong.status, 2) << wrong.err;
    EXPECT_THAT(wrong.err, HasSubstr("the instrument is an IXO-B: use --platform b"));
    const auto dt = btgen({"dirty-tx", "--download", "--sets", "1", "--tcpip", at});
    EXPECT_EQ(dt.status, 2) << dt.err;
    EXPECT_THAT(dt.err, HasSubstr("the instrument is an IXO-B: use --platform b"));
    // Nothing but the identification query went to the instrument.
    for (const std::string& line : lines(dir / "b.txt")) EXPECT_EQ(line, "*IDN?");
    const auto right = btgen({"download", "--tcpip", at, "--platform", "b"});
    EXPECT_EQ(right.status, 0) << right.err;
    EXPECT_EQ(sim.stop(), 0);

    const auto unknown = btgen({"idn", "--tcpip", "no-such-host.invalid"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_THAT(unknown.err, HasSubstr("cannot find the host \"no-such-host.invalid\""));
    // Without a connection option: which one was tried, and how to give one.
    // (in a folder without an I/O configuration file)
    const auto none = testsupport::runProcess({"/bin/sh", "-c", "cd \"$1\" && exec \"$2\" idn --timeout 200", "sh",
                                               dir.path().string(), testsupport::appPath("btgen")});
    EXPECT_EQ(none.status, 4);
    EXPECT_THAT(none.err, HasSubstr("tried GPIB 19 on board 0, the default connection: give --tcpip"));
}

TEST(BtgenOptions, PlotAndTheSimulatorBehaveLikeEveryOtherCommand) {
    const auto sim = testsupport::runProcess({testsupport::appPath("ixo-sim"), "--help"});
    EXPECT_EQ(sim.status, 0);
    EXPECT_THAT(sim.out, HasSubstr("--port INT:INT in [0 - 65535]=5025"));
    EXPECT_THAT(sim.out, HasSubstr("--model TEXT:{b,c}=c"));
    if (!haveDrawing()) GTEST_SKIP() << "built without the windows";
    const ScratchDir dir;
    const auto help = btgen({"plot", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("btgen plot"));
    EXPECT_THAT(help.out, HasSubstr("--sg"));
    const std::string png = (dir / "p.png").string();
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"plot", "ccdf", "-o", png, "--width", "abc"},
                                                {"plot", "nonsense", "-o", png},
                                                {"plot", "ccdf", "-o", png, "--no-such-option"},
                                                {"plot", "ccdf"}}) {
        const auto r = btgen(bad);
        EXPECT_EQ(r.status, 2) << testing::PrintToString(bad) << r.err;
    }
    const auto echoed = btgen({"plot", "ccdf", "-o", png, "--set", "OverSampling=4", "--sg", "channel=39"});
    EXPECT_EQ(echoed.status, 0) << echoed.err;
    EXPECT_THAT(echoed.err, HasSubstr("set OverSampling=4\n"));
    EXPECT_THAT(echoed.err, HasSubstr("set channel=39\n"));
}

TEST(BtgenOptions, FieldsListsEveryEditableFieldWithItsUnitRangeAndDefault) {
    const auto r = btgen({"fields", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    std::map<std::string, nlohmann::json> byName;
    for (const auto& e : j) byName[e["name"].get<std::string>()] = e;
    // Every field the editor takes is listed, with all its columns.
    for (const std::string& field : bt::editableFields()) {
        SCOPED_TRACE(field);
        ASSERT_TRUE(byName.count(field));
        const auto& e = byName[field];
        EXPECT_EQ(e["option"], "--set");
        for (const char* key : {"unit", "default", "description", "record"}) EXPECT_TRUE(e.contains(key)) << key;
        EXPECT_TRUE(e.contains("range") != e.contains("values"));
    }
    for (const char* record : {"main", "impairments", "dirty-transmitter", "instrument"})
        EXPECT_TRUE(std::any_of(j.begin(), j.end(), [&](const auto& e) { return e["record"] == record; })) << record;
    const auto has = [&](const std::string& field, const std::string& name, int code) {
        for (const auto& v : byName[field]["values"])
            if (v["name"] == name && v["code"] == code) return true;
        return false;
    };
    EXPECT_TRUE(has("packetType", "DH5", 15));
    EXPECT_TRUE(has("packetType", "HV3", 7));
    for (const auto& [name, code] : {std::pair{"FHS", 2}, {"DV", 8}, {"EV3", 7}, {"EV4", 12}, {"EV5", 13}})
        EXPECT_TRUE(has("packetType", name, code)) << name;
    EXPECT_TRUE(has("linkType", "eSCO", 3));
    EXPECT_TRUE(has("payloadType", "Continuous PN9", 9));
    EXPECT_TRUE(has("impairments.FreqDriftType", "sinusoidal", 2));
    EXPECT_TRUE(has("dt.packetType", "DH3", 11));
    EXPECT_EQ(byName["impairments.FreqOffset"]["unit"], "kHz");
    EXPECT_EQ(byName["Frequency"]["option"], "--sg");
    EXPECT_EQ(byName["Frequency"]["default"], "2402000000");
    EXPECT_EQ(byName["OverSampling"]["default"], "10");

    const auto text = btgen({"fields"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_THAT(text.out, HasSubstr("  OverSampling [samples per symbol]: 2 .. 20, whole; default 10;"));
    EXPECT_THAT(text.out, HasSubstr("  linkType: SCO (1), ACL (2), eSCO (3); default ACL;"));
    std::ifstream readme(std::string(BTGEN_SOURCE_DIR) + "/README.md");
    const std::string doc((std::istreambuf_iterator<char>(readme)), std::istreambuf_iterator<char>());
    EXPECT_THAT(doc, HasSubstr("btgen fields"));
}

TEST(BtgenOptions, AValueStoredOtherThanTypedIsNotedAndStrictStops) {
    const auto clamped = btgen({"size", "--set", "OverSampling=25", "--set", "CGdelay=0.123"});
    ASSERT_EQ(clamped.status, 0) << clamped.err;
    EXPECT_THAT(clamped.err, HasSubstr("note: OverSampling 25 is stored as 20"));
    EXPECT_THAT(clamped.err, HasSubstr("note: CGdelay 0.123 is stored as 0.1"));
    EXPECT_EQ(clamped.out, "25000 Samples\n");
    const auto exact = btgen({"size", "--set", "OverSampling=20", "--set", "BDaddr=0A"});
    EXPECT_THAT(exact.err, testing::Not(HasSubstr("note:")));
    const auto strict = btgen({"size", "--strict", "--set", "OverSampling=25"});
    EXPECT_EQ(strict.status, 2);
    EXPECT_THAT(strict.err, HasSubstr("--strict"));
    EXPECT_EQ(strict.out, "");
}

TEST(BtgenOptions, SettingsPrintedAsJsonReadBackToTheSameRecordAndARecordingMakesItsSignalAgain) {
    const ScratchDir dir;
    const std::vector<std::string> edits = {
        "--set", "packetType=DH3", "--set", "multiPacket=multi", "--set", "payloadType=8 Bit Pattern",
        "--set", "bitPattern=3C", "--set", "BDaddr=123456789ABC", "--set", "AMaddr=5", "--set", "SEQN=1",
        "--set", "dataWhiteningActive=1", "--set", "dataWhiteningInitValue=77", "--set", "burstLength=4",
        "--set", "burstSettle=9", "--set", "CGdelay=0.5", "--set", "MirrorSpectrum=1", "--set", "OverSampling=8",
        "--set", "impairments.AWGNactive=1", "--set", "impairments.AWGNratio=17", "--set", "impairments.AWGNseed=4242",
        "--set", "impairments.FreqOffsetActive=1", "--set", "impairments.FreqOffset=-35", "--set",
        "impairments.FreqDriftActive=1", "--set", "impairments.FreqDriftType=sinusoidal", "--set",
        "impairments.FreqDriftDeviation=20", "--set", "impairments.FreqDriftRate=500", "--set",
        "dt.packetType=DH5", "--set", "dt.Title=RUN7", "--sg", "channel=39", "--sg", "Amplitude=-20"};
    for (const bool all : {false, true}) {
        SCOPED_TRACE(all ? "--all" : "record");
        std::vector<std::string> args = {"settings"};
        if (all) args.push_back("--all");
        const auto first = btgen(with(args, edits));
        ASSERT_EQ(first.status, 0) << first.err;
        const auto file = dir / (all ? "all.json" : "record.json");
        bttest::writeBytes(file, first.out);
        const auto again = btgen(with(args, {"--settings", file.string()}));
        ASSERT_EQ(again.status, 0) << again.err;
        EXPECT_EQ(again.out, first.out);
    }
    // A record that breaks the editors' rules is refused as a .bt file is.
    bttest::writeBytes(dir / "bad.json", "{\"OverSampling\": 25}");
    const auto bad = btgen({"settings", "--settings", (dir / "bad.json").string()});
    EXPECT_EQ(bad.status, 2);
    EXPECT_THAT(bad.err, HasSubstr("OverSampling"));

    const auto rec = btgen(with({"generate", "--format", "sigmf", "-o", (dir / "rec").string()}, edits));
    ASSERT_EQ(rec.status, 0) << rec.err;
    const auto again = btgen({"generate", "--format", "sigmf", "-o", (dir / "again").string(), "--settings",
                              (dir / "rec.sigmf-meta").string()});
    ASSERT_EQ(again.status, 0) << again.err;
    const std::string samples = bttest::readBytes(dir / "rec.sigmf-data");
    EXPECT_GT(samples.size(), 100000u);
    EXPECT_TRUE(samples == bttest::readBytes(dir / "again.sigmf-data"));
    EXPECT_TRUE(bttest::readBytes(dir / "rec.sigmf-data.markers") == bttest::readBytes(dir / "again.sigmf-data.markers"));
    std::ifstream meta(dir / "again.sigmf-meta");
    EXPECT_EQ(nlohmann::json::parse(meta)["captures"][0]["core:frequency"], 2441e6);
}

TEST(BtgenOptions, MeasureAndPlotNameARecordingAlike) {
    const ScratchDir dir;
    const std::string rec = (dir / "rec").string();
    const auto made = btgen({"generate", "--format", "sigmf", "--sigmf-type", "ci16", "-o", rec});
    ASSERT_EQ(made.status, 0) << made.err;
    std::ifstream meta(rec + ".sigmf-meta");
    EXPECT_EQ(nlohmann::json::parse(meta)["global"]["core:datatype"], "ci16_le");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"measure", rec}, {"measure", "--input", rec},
          {"plot", "ccdf", rec, "-o", (dir / "a.png").string()},
          {"plot", "ccdf", "--input", rec, "-o", (dir / "b.png").string()}}) {
        if (args.front() == "plot" && !haveDrawing()) continue;
        const auto r = btgen(args);
        EXPECT_EQ(r.status, 0) << testing::PrintToString(args) << r.err;
    }
    EXPECT_EQ(btgen({"measure", (dir / "none").string()}).status, 2);
    EXPECT_EQ(btgen({"measure"}).status, 2);
}

// The three everyday jobs, as the README words them, without leaving the
// command line.
TEST(BtgenOptions, TheThreeEverydayJobs) {
    const ScratchDir dir;
    const std::vector<std::string> dh5 = {
        "--set", "packetType=DH5", "--set", "payloadType=PN9", "--set", "impairments.FreqOffsetActive=1",
        "--set", "impairments.FreqOffset=30", "--set", "impairments.FreqDriftActive=1", "--set",
        "impairments.FreqDriftDeviation=10", "--sg", "Frequency=2441e6"};
    // 1. A DH5 PN9 waveform at 2441 MHz with offset and drift, as MAT and
    // SigMF, plotted and measured.
    const std::string job = (dir / "job").string();
    for (const std::vector<std::string>& step :
         {with({"generate", "-o", job + ".mat"}, dh5), with({"generate", "--format", "sigmf", "-o", job}, dh5),
          std::vector<std::string>{"plot", "spectrum", job, "-o", job + ".png"},
          std::vector<std::string>{"measure", job}}) {
        if (step.front() == "plot" && !haveDrawing()) continue;
        const auto r = btgen(step);
        EXPECT_EQ(r.status, 0) << testing::PrintToString(step) << r.err << r.out;
    }
    std::ifstream meta(job + ".sigmf-meta");
    EXPECT_EQ(nlohmann::json::parse(meta)["captures"][0]["core:frequency"], 2441e6);

    // 2. The same played on the simulator, then the dirty-transmitter
    // sequence at the same carrier.
    SimProcess sim({});
    const std::string at = "127.0.0.1:" + std::to_string(sim.port());
    const auto played = btgen(with({"download", "--tcpip", at}, dh5));
    EXPECT_EQ(played.status, 0) << played.err;
    EXPECT_THAT(btgen({"status", "--tcpip", at}).out, HasSubstr("frequency: 2441000000 Hz"));
    const auto dt = btgen({"dirty-tx", "--packet", "DH1", "--download", "--tcpip", at, "--sg", "Frequency=2441e6"});
    EXPECT_EQ(dt.status, 0) << dt.err;
    EXPECT_THAT(btgen({"status", "--tcpip", at}).out, HasSubstr("frequency: 2441000000 Hz"));
    EXPECT_EQ(sim.stop(), 0);

    // 3. Settings saved, edited, generated again.
    const std::string bt = (dir / "job.bt").string();
    EXPECT_EQ(btgen(with({"save-settings", bt}, dh5)).status, 0);
    EXPECT_EQ(btgen({"save-settings", bt, "--set", "impairments.FreqOffset=-20"}).status, 0);
    const auto [p, s] = bt::readSettingsFile(bt, bt::EditContext{});
    EXPECT_EQ(p.packetType, 15);
    EXPECT_EQ(p.impairments.FreqOffset, -20);
    EXPECT_EQ(s.Frequency, 2441e6);
    const auto again = btgen({"generate", "--settings", bt, "--format", "sigmf", "-o", job + "2"});
    EXPECT_EQ(again.status, 0) << again.err;
    std::ifstream meta2(job + "2.sigmf-meta");
    EXPECT_EQ(nlohmann::json::parse(meta2)["captures"][0]["core:frequency"], 2441e6);
}

// Little-endian numbers of a file, as the SDR tools read them.
template <class T>
std::vector<double> samplesOf(const std::string& bytes) {
    std::vector<double> out(bytes.size() / sizeof(T));
    for (std::size_t k = 0; k < out.size(); ++k) {
        unsigned char b[sizeof(T)];
        for (std::size_t i = 0; i < sizeof(T); ++i) b[i] = static_cast<unsigned char>(bytes[k * sizeof(T) + i]);
        T v;
        std::memcpy(&v, b, sizeof(T));  // the test machine is little-endian, as checked below
        out[k] = static_cast<double>(v);
    }
    return out;
}

TEST(BtgenOptions, SdrSampleFilesAreNamedByTheirExtension) {
    static_assert(std::endian::native == std::endian::little);
    const ScratchDir dir;
    // The reference: the SigMF dataset's cf32_le samples, written by the
    // recording writer.
    ASSERT_EQ(btgen({"generate", "--format", "sigmf", "-o", (dir / "ref").string()}).status, 0);
    const std::vector<double> ref = samplesOf<float>(bttest::readBytes(dir / "ref.sigmf-data"));
    ASSERT_EQ(ref.size(), 2u * 12500);
    for (const char* name : {"cap.cf32", "cap.FC32", "cap.cfile"}) {
        const auto r = btgen({"generate", "-o", (dir / name).string()});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(bttest::readBytes(dir / name) == bttest::readBytes(dir / "ref.sigmf-data")) << name;
        EXPECT_FALSE(std::filesystem::exists(dir / (std::string(name) + ".markers")));
    }
    struct Integer {
        const char* name;
        double scale, zero;
        std::vector<double> (*read)(const std::string&);
    };
    for (const Integer& f : {Integer{"cap.cs16", 32767, 0, samplesOf<std::int16_t>},
                             Integer{"cap.cs8", 127, 0, samplesOf<std::int8_t>},
                             Integer{"cap.cu8", 127.5, 127.5, samplesOf<std::uint8_t>}}) {
        SCOPED_TRACE(f.name);
        ASSERT_EQ(btgen({"generate", "-o", (dir / f.name).string()}).status, 0);
        const std::vector<double> got = f.read(bttest::readBytes(dir / f.name));
        ASSERT_EQ(got.size(), ref.size());
        double worst = 0;
        for (std::size_t k = 0; k < got.size(); ++k) worst = std::max(worst, std::abs(got[k] - (f.zero + f.scale * ref[k])));
        EXPECT_LE(worst, 0.51);  // one rounding (and the reference's float32), nothing else
    }
    // Read back by name; the rate is not in such a file.
    const std::string cf32 = (dir / "cap.cf32").string();
    const auto norate = btgen({"measure", cf32});
    EXPECT_EQ(norate.status, 2);
    EXPECT_THAT(norate.err, HasSubstr("give it with --rate HZ"));
    // Each layout reads back to the same packet at the same level (its full
    // scale known), within its own rounding.
    std::optional<double> level;
    for (const char* name : {"cap.cf32", "cap.cs16", "cap.cs8", "cap.cu8"}) {
        SCOPED_TRACE(name);
        const auto m = btgen({"measure", (dir / name).string(), "--rate", "10e6", "--json"});
        ASSERT_EQ(m.status, 0) << m.err << m.out;
        const auto packets = nlohmann::json::parse(m.out)["recordings"][0]["packets"];
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0]["status"], "ok");
        const double power = packets[0]["measurements"]["average_power_dbfs"].get<double>();
        if (!level) level = power;
        EXPECT_NEAR(power, *level, 0.2);
    }
    // The plots read them the same way, and ask for the rate too.
    if (std::filesystem::exists(testsupport::appPath("btgen-plot-gui"))) {
        const std::string png = (dir / "cap.png").string();
        const auto asked = btgen({"plot", "iq", (dir / "cap.cu8").string(), "-o", png});
        EXPECT_EQ(asked.status, 2);
        EXPECT_THAT(asked.err, HasSubstr("give it with --rate HZ"));
        for (const char* name : {"cap.cf32", "cap.cs8", "cap.cu8"}) {
            const auto r = btgen({"plot", "spectrum", (dir / name).string(), "--rate", "10e6", "-o", png});
            EXPECT_EQ(r.status, 0) << name << r.err;
            EXPECT_GT(std::filesystem::file_size(png), 1000u) << name;
            std::filesystem::remove(png);
        }
    }
}

TEST(BtgenOptions, WithoutAConnectionOptionTheIoConfigurationOfTheWorkingFolderIsUsed) {
    const ScratchDir dir;
    SimProcess sim({});
    bt::Configuration c;
    c.type = "TCPIP";
    c.TCPIP.address = "127.0.0.1:" + std::to_string(sim.port());
    ASSERT_TRUE(bt::saveConfig(c, dir / "rfIOConfig.mat"));
    const auto r = testsupport::runProcess(
        {"/bin/sh", "-c", "cd \"$1\" && exec \"$2\" idn", "sh", dir.path().string(), testsupport::appPath("btgen")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("using the connection of rfIOConfig.mat: LAN " + c.TCPIP.address));
    EXPECT_THAT(r.out, HasSubstr("generation: c"));
    EXPECT_EQ(sim.stop(), 0);
}

TEST(BtgenOptions, EchoesCarryUnitsAndPlotSpeaksOnlyOfItsWork) {
    const auto r = btgen({"size", "--set", "impairments.FreqOffsetActive=1", "--set", "impairments.FreqOffset=50",
                          "--set", "burstLength=4"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("  impairments.FreqOffset: \"50\" kHz\n"));
    EXPECT_THAT(r.err, HasSubstr("  burstLength: \"4\" us\n"));
    EXPECT_THAT(btgen({"generate", "--help"}).out, HasSubstr("btgen fields"));

    if (!haveDrawing()) GTEST_SKIP() << "built without the windows";
    const ScratchDir dir;
    const auto quiet = btgen({"plot", "ccdf", "-o", (dir / "p.png").string()});
    EXPECT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
    const std::string missing = (dir / "no-such.mat").string();
    const auto gone = btgen({"plot", "ccdf", "--input", missing, "-o", (dir / "q.png").string()});
    EXPECT_EQ(gone.status, 2);
    EXPECT_THAT(gone.err, HasSubstr(missing));
    EXPECT_THAT(gone.err, testing::Not(HasSubstr("QStandardPaths")));
}

TEST(BtgenOptions, SettingsWrittenByHandTakeHexadecimalTextAndNames) {
    const ScratchDir dir;
    bttest::writeBytes(dir / "hand.json", R"({"linkType": "acl", "packetType": "DH3", "BDaddr": "123456789ABC",
                                             "bitPattern": "a5", "impairments": {"FreqDriftType": "Sinusoidal"}})");
    const auto r = btgen({"settings", "--settings", (dir / "hand.json").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["packetType"], 11);
    EXPECT_EQ(j["BDaddr"], 0x123456789ABCLL);
    EXPECT_EQ(j["bitPattern"], 0xA5);
    EXPECT_EQ(j["impairments"]["FreqDriftType"], 2);
    bttest::writeBytes(dir / "bad.json", R"({"BDaddr": "12x"})");
    const auto bad = btgen({"settings", "--settings", (dir / "bad.json").string()});
    EXPECT_EQ(bad.status, 2);
    EXPECT_THAT(bad.err, HasSubstr("BDaddr \"12x\" is not a hexadecimal number"));
}

}  // namespace
