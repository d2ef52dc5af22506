// Settings files as scipy and Octave users handle them: loaded and saved
// again with the tools' plain defaults, extra variables beside ours, and the
// tools' other formats named when they are given to us.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "bluetooth/dirty_tx_calc.h"
#include "bluetooth/dirty_tx_state.h"
#include "support/files.h"
#include "support/process.h"
#include "app/mat_records.h"
#include "app/settings_files.h"

namespace bt {
namespace {

using bttest::ScratchDir;
using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;

#define SKIP_WITHOUT_SCIPY() \
    if (!bttest::scipyPython()) GTEST_SKIP() << "python3 with scipy is not available"

const EditContext kCtx{'c', "002"};

// Something changed in every record, as a user's file would have it.
std::pair<Parameters, SigGenSettings> userSettings() {
    Parameters p;
    p = editField(p, "packetType", "11", kCtx).parameters;
    p = editField(p, "BDaddr", "123456789ABC", kCtx).parameters;
    p = editField(p, "OverSampling", "12", kCtx).parameters;
    p = editField(p, "impairments.FreqOffsetActive", "1", kCtx).parameters;
    p = editField(p, "impairments.FreqOffset", "-35", kCtx).parameters;
    p.dtImpairmentsCurrent[3].FreqOffset = 120;
    p.dtImpairmentsCurrent[9].ModIndex = 0.2;
    p.dtTestSelect[5] = 0;
    p.dtSigGenSettings.Title = "DT_RUN";
    p.dtParameters.marker2Type = 4;
    p.dtSigGenSettings.RFblanking = 0;
    SigGenSettings s = defaultSigGenSettings(p);
    s.Title = "MY_WAVE";
    s.Amplitude = -20;
    return {p, s};
}

void expectSameSettings(const LoadedSettings& got, const Parameters& p, const SigGenSettings& s) {
    ASSERT_TRUE(got.outcome) << got.outcome.message;
    Parameters expected = p;
    expected.ProjectedLength = Bt_SizeEst(p);
    // Field by field, so that a difference names the field.
    const MatValue a = toMatValue(got.parameters);
    const MatValue b = toMatValue(expected);
    ASSERT_EQ(a.fieldNames, b.fieldNames);
    for (std::size_t f = 0; f < a.fieldNames.size(); ++f) {
        Parameters one, two;
        MatValue x = MatValue::structArray({}, 1), y = MatValue::structArray({}, 1);
        x.setField(a.fieldNames[f], a.elements[f]);
        y.setField(b.fieldNames[f], b.elements[f]);
        fromMatValue(x, one, "got");
        fromMatValue(y, two, "expected");
        EXPECT_TRUE(one == two) << a.fieldNames[f];
    }
    EXPECT_TRUE(got.sigGen == s);
}

// loadmat then savemat, as a user editing one value would; `how` picks
// loadmat's options.
constexpr const char* kScipyRoundTrip = R"(
import sys, scipy.io as sio
src, dst, how = sys.argv[1], sys.argv[2], sys.argv[3]
d = sio.loadmat(src, simplify_cells=(how == 'simplify'))
sio.savemat(dst, {k: v for k, v in d.items() if not k.startswith('__')})
)";

TEST(SettingsFromScipy, LoadmatSavematRoundTripsKeepEveryField) {
    SKIP_WITHOUT_SCIPY();
    const ScratchDir dir;
    const auto [p, s] = userSettings();
    ASSERT_TRUE(saveParameters(dir / "ours.bt", p, s));
    for (const char* how : {"default", "simplify"}) {
        SCOPED_TRACE(how);
        const auto out = dir / (std::string(how) + ".bt");
        const auto r = bttest::runPython(kScipyRoundTrip, {(dir / "ours.bt").string(), out.string(), how});
        ASSERT_EQ(r.status, 0) << r.output;
        expectSameSettings(loadParameters(out, "bt - Format 1.0", kCtx), p, s);
    }
}

// A list of records is what scipy writes for dtImpairmentsCurrent, as a row
// or a column; each element must still be a record.
constexpr const char* kCellTables = R"(
import sys, scipy.io as sio
d = sio.loadmat(sys.argv[1], simplify_cells=True)
p = d['fileParameters']
rows = p['dtImpairmentsCurrent']
p['dtImpairmentsCurrent'] = [[r] for r in rows]
sio.savemat(sys.argv[2] + '/column.bt', d)
p['dtImpairmentsCurrent'] = rows[:9] + [3.0]
sio.savemat(sys.argv[2] + '/number.bt', d)
)";

TEST(SettingsFromScipy, CellArraysOfRecordsAreTablesInEitherOrientation) {
    SKIP_WITHOUT_SCIPY();
    const ScratchDir dir;
    const auto [p, s] = userSettings();
    ASSERT_TRUE(saveParameters(dir / "ours.bt", p, s));
    const auto r = bttest::runPython(kCellTables, {(dir / "ours.bt").string(), dir.path().string()});
    ASSERT_EQ(r.status, 0) << r.output;
    expectSameSettings(loadParameters(dir / "column.bt", "bt - Format 1.0", kCtx), p, s);
    const LoadedSettings bad = loadParameters(dir / "number.bt", "bt - Format 1.0", kCtx);
    EXPECT_FALSE(bad.outcome);
    EXPECT_THAT(bad.outcome.message, HasSubstr("fileParameters.dtImpairmentsCurrent(10)"));
}

// A user keeps a long waveform beside the settings: millions of samples,
// compressed or not. The settings still load; what is not read is not
// screened or capped.
constexpr const char* kBesideAWaveform = R"(
import sys, numpy as np, scipy.io as sio
d = sio.loadmat(sys.argv[1])
d = {k: v for k, v in d.items() if not k.startswith('__')}
d['waveform'] = np.exp(1j * 0.01 * np.arange(1_200_000))
d['note'] = 'measured on the bench'
sio.savemat(sys.argv[2] + '/plain.bt', d)
sio.savemat(sys.argv[2] + '/packed.bt', d, do_compression=True)
)";

TEST(SettingsFromScipy, VariablesNotReadDoNotMakeAFileDamagedOrTooLarge) {
    SKIP_WITHOUT_SCIPY();
    const ScratchDir dir;
    const auto [p, s] = userSettings();
    ASSERT_TRUE(saveParameters(dir / "ours.bt", p, s));
    const auto r = bttest::runPython(kBesideAWaveform, {(dir / "ours.bt").string(), dir.path().string()});
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* name : {"plain.bt", "packed.bt"}) {
        SCOPED_TRACE(name);
        ASSERT_GT(std::filesystem::file_size(dir / name), MatReadLimits{}.maxFileBytes);
        expectSameSettings(loadParameters(dir / name, "bt - Format 1.0", kCtx), p, s);
    }
    // Read in full, the same file hits the caps: that is "too large".
    for (const char* name : {"plain.bt", "packed.bt"}) {
        try {
            MatFileReader reader(dir / name);
            ADD_FAILURE() << name << " was read in full";
        } catch (const Error& e) {
            EXPECT_THAT(e.what(), StartsWith("is too large to read")) << name;
        }
    }
}

TEST(SettingsFiles, ACompressedVariableOverTheCapIsTooLargeNotDamaged) {
    const ScratchDir dir;
    MatValue big = MatValue::realMatrix(1, 300000, std::vector<double>(300000, 0.0));
    writeMatFile(dir / "f.bt", {{"fileParameters", toMatValue(Parameters{})}, {"fileParametersToo", big}});
    MatReadLimits limits;
    limits.maxUnpackedBytes = 1u << 20;
    try {
        MatFileReader reader(dir / "f.bt", limits, {"fileParameters", "fileParametersToo"});
        ADD_FAILURE() << "read";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), StartsWith("is too large to read: its compressed data unpack to more than"));
    }
    // Not asked for, the same variable is passed over.
    EXPECT_NO_THROW(MatFileReader(dir / "f.bt", limits, {"fileParameters"}));
}

// ------------------------------------------------------------ titles

TEST(SettingsFiles, TitlesThatReachTheInstrumentAreRefusedNamingTheField) {
    const ScratchDir dir;
    struct Case {
        const char* title;
        bool dirtyTx;
    };
    for (const Case c : {Case{"", true}, Case{"Bl\xc3\xbc", true}, Case{"A B", true}, Case{"ABCDEFGHIJKLMNOPQRSTU", true},
                         Case{"", false}, Case{"BT\x01", false}}) {
        SCOPED_TRACE(c.title);
        Parameters p;
        SigGenSettings s;
        (c.dirtyTx ? p.dtSigGenSettings.Title : s.Title) = c.title;
        ASSERT_TRUE(saveParameters(dir / "t.bt", p, s));
        const LoadedSettings l = loadParameters(dir / "t.bt", "bt - Format 1.0", kCtx);
        EXPECT_FALSE(l.outcome);
        EXPECT_THAT(l.outcome.message, HasSubstr(c.dirtyTx ? "fileParameters.dtSigGenSettings.Title is \""
                                                            : "sigGenParameters.Title is \""));
        EXPECT_THAT(l.outcome.message, Not(HasSubstr("\xc3")));  // shown, never passed on raw
    }
    // The default dirty-transmitter title, in mixed case, is a good one.
    Parameters p;
    p.dtSigGenSettings.Title = "Bluetooth_DT";
    ASSERT_TRUE(saveParameters(dir / "ok.bt", p, SigGenSettings{}));
    EXPECT_TRUE(loadParameters(dir / "ok.bt", "bt - Format 1.0", kCtx).outcome);
}

// ------------------------------------------------- event-marker rules

TEST(SettingsFiles, DirtyTransmitterMarkersAreBroughtIntoLineOnLoad) {
    const ScratchDir dir;
    Parameters p;
    p.dtParameters.marker2Type = 1;  // not the burst: no RF blanking
    p.dtSigGenSettings.RFblanking = 1;
    p.dtOmitPollPeriods = 1;
    p.dtParameters.marker1Timing = -100;  // no room ahead of the packet
    p.dtTestSelect = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(saveParameters(dir / "m.bt", p, SigGenSettings{}));
    const LoadedSettings l = loadParameters(dir / "m.bt", "bt - Format 1.0", kCtx);
    ASSERT_TRUE(l.outcome) << l.outcome.message;
    EXPECT_EQ(l.parameters.dtSigGenSettings.RFblanking, 0);
    EXPECT_EQ(l.parameters.dtParameters.marker1Timing, 0);

    // The same record reaching the state some other way is brought into
    // line as well, and the marker-1 pulse is there in the segment.
    DirtyTxState s;
    loadDtState(s, p);
    EXPECT_EQ(s.dtSigGenSettings.RFblanking, 0);
    ASSERT_TRUE(dtCalculate(s));
    const Markers& m = s.dtMarkers.at(0);
    EXPECT_GT(std::count(m.row1.begin(), m.row1.end(), 1), 0);

    p.dtParameters.marker2Type = 2;
    p.dtSigGenSettings.RFblanking = 0;
    loadDtState(s, p);
    EXPECT_EQ(s.dtSigGenSettings.RFblanking, 1);
}

// ------------------------------------------------------------ Octave

std::string octave() {
    static const std::string found = [] {
        for (const char* candidate : {"/usr/bin/octave-cli", "/usr/bin/octave"})
            if (std::filesystem::exists(candidate)) return std::string(candidate);
        return std::string();
    }();
    return found;
}

bttest::RunResult runOctave(const std::string& code) {
    return bttest::runProgram({octave(), "--no-gui", "--no-window-system", "--norc", "-q", "--eval", code});
}

TEST(SettingsFromOctave, LoadAndSaveV7KeepEveryField) {
    if (octave().empty()) GTEST_SKIP() << "GNU Octave is not installed (scripts/install-deps.sh installs it)";
    const ScratchDir dir;
    const auto [p, s] = userSettings();
    ASSERT_TRUE(saveParameters(dir / "ours.bt", p, s));
    const std::string in = (dir / "ours.bt").string(), out = (dir / "octave.bt").string();
    const auto r = runOctave("load('-mat', '" + in + "'); save('-v7', '" + out + "', 'fileParameters', 'sigGenParameters');");
    ASSERT_TRUE(std::filesystem::exists(out)) << r.output;
    expectSameSettings(loadParameters(out, "bt - Format 1.0", kCtx), p, s);
}

TEST(SettingsFromOctave, OtherSaveFormatsAreNamedWithTheWayOut) {
    const ScratchDir dir;
    std::vector<std::pair<std::string, std::string>> files;  // file, what the message must say
    if (!octave().empty()) {
        Parameters p;
        ASSERT_TRUE(saveParameters(dir / "ours.bt", p, SigGenSettings{}));
        const std::string d = dir.path().string() + "/";
        const auto r = runOctave("load('-mat', '" + d + "ours.bt'); save('" + d + "text.bt', 'fileParameters'); save('-zip', '" +
                                 d + "zip.bt', 'fileParameters'); save('-hdf5', '" + d + "hdf5.bt', 'fileParameters');");
        for (const char* f : {"text.bt", "zip.bt", "hdf5.bt"}) ASSERT_TRUE(std::filesystem::exists(dir / f)) << r.output;
    } else {
        // The first bytes of what Octave writes.
        bttest::writeBytes(dir / "text.bt", "# Created by Octave 7.3.0, Mon Dec 07 10:00:00 2026 UTC <u@h>\n# name: x\n");
        bttest::writeBytes(dir / "zip.bt", std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10) + std::string(200, 'x'));
        bttest::writeBytes(dir / "hdf5.bt", std::string("\x89HDF\r\n\x1a\n", 8) + std::string(200, '\0'));
    }
    files = {{"text.bt", "Octave text file"}, {"zip.bt", "gzip-compressed"}, {"hdf5.bt", "HDF5 file"}};
    for (const auto& [name, what] : files) {
        const LoadedSettings l = loadParameters(dir / name, "bt - Format 1.0", kCtx);
        EXPECT_FALSE(l.outcome);
        EXPECT_THAT(l.outcome.message, HasSubstr(what)) << name;
        EXPECT_THAT(l.outcome.message, HasSubstr("\"save -v7\" writes a readable one")) << name;
    }
}

}  // namespace
}  // namespace bt
