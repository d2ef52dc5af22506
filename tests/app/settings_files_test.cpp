#include "app/settings_files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "bluetooth/settings_fields.h"
#include "bluetooth/size_est.h"
#include "support/files.h"
#include "app/mat_records.h"

namespace bt {
namespace {

namespace fs = std::filesystem;
using bttest::ScratchDir;
using testing::HasSubstr;

#define SKIP_WITHOUT_SCIPY() \
    if (!bttest::scipyPython()) GTEST_SKIP() << "python3 with scipy is not available"

const EditContext kCtx{'c', "002"};

Parameters edited(const Parameters& p, std::string_view field, std::string_view value, const Bits* bits = nullptr) {
    EditResult r = editField(p, field, value, kCtx, bits);
    EXPECT_TRUE(r.ignored.empty()) << field << ": " << r.ignored;
    return r.parameters;
}

// A record with something changed in every part, dirty-transmitter records
// included, and a user bit stream long enough to span compressed blocks.
Parameters richSettings() {
    Parameters p = edited(Parameters{}, "OverSampling", "12");
    Bits bits(5000);
    std::mt19937 rng(7);
    for (auto& b : bits) b = static_cast<std::uint8_t>(rng() & 1);
    p = edited(p, "payloadType", "8", &bits);
    p = edited(p, "BDaddr", "123456789ABC");
    p = edited(p, "burstSettle", "11");
    p.impairments.AWGNactive = 1;
    p.impairments.AWGNratio = 17.5;
    p.dtImpairmentsCurrent[3].FreqOffset = 120;
    p.dtImpairmentsCurrent[9].ModIndex = 0.2;
    p.dtTestSelect[5] = 0;
    p.dtQ7395.enable = 1;
    p.dtSigGenSettings.Title = "DT_RUN";
    p.dtParameters.packetType = 15;
    p.dtParameters.patternLength = 2712;
    p.dtParameters.patternReps = 2712.0 / 511.0;
    return p;
}

SigGenSettings richSigGen() {
    SigGenSettings s;
    s.Title = "MY_WAVE";
    s.Frequency = 2.48e9;
    s.Amplitude = -20;
    s.SamplingRate = 12e6;
    return s;
}

class SettingsRoundTrip : public testing::TestWithParam<MatCompression> {};

TEST_P(SettingsRoundTrip, EveryRecordComesBackExactly) {
    ScratchDir dir;
    const Parameters p = richSettings();
    const SigGenSettings s = richSigGen();
    ASSERT_TRUE(saveParameters(dir / "rich.bt", p, s, GetParam()));
    const LoadedSettings loaded = loadParameters(dir / "rich.bt", "bt - Format 1.0", kCtx);
    ASSERT_TRUE(loaded.outcome) << loaded.outcome.message;
    EXPECT_EQ(loaded.parameters, p);
    EXPECT_EQ(loaded.sigGen, s);
}

INSTANTIATE_TEST_SUITE_P(Compression, SettingsRoundTrip, testing::Values(MatCompression::None, MatCompression::Zlib),
                         [](const auto& info) { return info.param == MatCompression::None ? "plain" : "zlib"; });

TEST(SettingsFiles, DefaultsLoadWithTheProjectedLengthFilledIn) {
    ScratchDir dir;
    ASSERT_TRUE(saveParameters(dir / "d.bt", Parameters{}, SigGenSettings{}));
    const LoadedSettings loaded = loadParameters(dir / "d.bt", "bt - Format 1.0", kCtx);
    ASSERT_TRUE(loaded.outcome) << loaded.outcome.message;
    EXPECT_EQ(loaded.parameters.ProjectedLength, 12500);
}

// ------------------------------------------------------------- scipy

// Prints one line per field of fileParameters and sigGenParameters: name,
// numpy kind and shape, as scipy sees them.
constexpr const char* kDescribe = R"(
import sys, scipy.io as sio
d = sio.loadmat(sys.argv[1])
def walk(prefix, s):
    for name in s.dtype.names:
        v = s[0, 0][name]
        if v.dtype.names:
            print(prefix + name, 'struct', v.shape)
            walk(prefix + name + '.', v)
        else:
            print(prefix + name, v.dtype.kind, v.shape)
walk('', d['fileParameters'])
walk('sig.', d['sigGenParameters'])
p = d['fileParameters'][0, 0]
print('values', p['OverSampling'][0, 0], p['BDaddr'][0, 0], p['dtImpairmentsCurrent'][0, 3]['FreqOffset'][0, 0],
      int(p['dataSourceBitstream'].sum()), p['ParameterFileFormat_ID'][0], d['sigGenParameters'][0, 0]['Title'][0])
)";

TEST(SettingsFilesScipy, ReadsEveryFieldWithTheRightType) {
    SKIP_WITHOUT_SCIPY();
    ScratchDir dir;
    const Parameters p = richSettings();
    ASSERT_TRUE(saveParameters(dir / "s.bt", p, richSigGen()));
    const auto r = bttest::runPython(kDescribe, {(dir / "s.bt").string()});
    ASSERT_EQ(r.status, 0) << r.output;

    std::vector<std::string> expected;
    const auto kind = [](const auto& x) -> std::string {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::string>) return "U (1,)";
        else if constexpr (std::is_same_v<T, double>) return "f (1, 1)";
        else if constexpr (std::is_same_v<T, Bits>) return "f (1, " + std::to_string(x.size()) + ")";
        else if constexpr (std::is_same_v<T, DtTestSelect>) return "f (1, 10)";
        else if constexpr (std::is_same_v<T, DtImpairmentTable>) return "struct (1, 10)";
        else return "struct (1, 1)";
    };
    forEachField(p, [&](const char* name, const auto& x) {
        expected.push_back(std::string(name) + " " + kind(x));
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, DtImpairmentTable>) {
            forEachField(x[0], [&](const char* n, const auto& y) { expected.push_back(std::string(name) + "." + n + " " + kind(y)); });
        } else if constexpr (SettingsRecord<T>) {
            forEachField(x, [&](const char* n, const auto& y) {
                expected.push_back(std::string(name) + "." + n + " " + kind(y));
                using U = std::decay_t<decltype(y)>;
                if constexpr (SettingsRecord<U>)
                    forEachField(y, [&](const char* m, const auto& z) {
                        expected.push_back(std::string(name) + "." + n + "." + m + " " + kind(z));
                    });
            });
        }
    });
    const SigGenSettings sig = richSigGen();
    forEachField(sig, [&](const char* name, const auto& x) { expected.push_back("sig." + std::string(name) + " " + kind(x)); });
    for (const auto& line : expected) EXPECT_THAT(r.output, HasSubstr(line + "\n"));
    EXPECT_THAT(r.output, HasSubstr("values 12.0 20015998343868.0 120.0 " +
                                    std::to_string(std::count(p.dataSourceBitstream.begin(), p.dataSourceBitstream.end(), 1)) +
                                    " bt - Format 1.0 MY_WAVE"));
}

// Writes settings files the way the numeric environment stores them.
constexpr const char* kWriteLikeTheNumericEnvironment = R"(
import sys, numpy as np, scipy.io as sio
def table(n):
    t = np.zeros((1, n), dtype=[(f, 'O') for f in ('ModIndexActive', 'ModIndex', 'FreqOffset', 'SymbolTimingError')])
    for k in range(n):
        t[0, k] = (1.0, 0.3, float(k), -20.0)
    return t
full = {'ParameterFileFormat_ID': 'bt - Format 1.0', 'generationMode': 1.0, 'linkType': 2.0, 'packetType': 11.0,
        'multiPacket': 0.0, 'BDaddr': 48879.0, 'AMaddr': 3.0, 'burstLength': 4.0, 'burstSettle': 9.0,
        'payloadType': 5.0, 'patternLength': 1464.0, 'patternReps': 1464.0 / 511, 'OverSampling': 8.0,
        'dataSourceBitstream': np.array([[1.0, 0.0, 1.0]]), 'impairments': {'FreqOffsetActive': 1.0, 'FreqOffset': -40.0},
        'dtImpairmentsCurrent': table(10), 'dtTestSelect': np.ones((1, 10)), 'dtQ7395': {'enable': 1.0}}
sig = {'Title': 'FROM_SCIPY', 'Frequency': 2.44e9, 'Amplitude': -30.0}
sio.savemat(sys.argv[1] + '/full.bt', {'fileParameters': full, 'sigGenParameters': sig}, do_compression=True)
sio.savemat(sys.argv[1] + '/plain.bt', {'fileParameters': full, 'sigGenParameters': sig}, do_compression=False)
older = {'ParameterFileFormat_ID': 'bt - Format 1.0', 'OverSampling': np.int64(4), 'someFieldFromLater': 'ignored',
         'MirrorSpectrum': True}
sio.savemat(sys.argv[1] + '/older.bt', {'fileParameters': older})
)";

TEST(SettingsFilesScipy, FilesFromAnotherWriterLoadWithDefaultsForMissingFields) {
    SKIP_WITHOUT_SCIPY();
    ScratchDir dir;
    const auto r = bttest::runPython(kWriteLikeTheNumericEnvironment, {dir.path().string()});
    ASSERT_EQ(r.status, 0) << r.output;
    for (const char* name : {"full.bt", "plain.bt"}) {
        SCOPED_TRACE(name);
        const LoadedSettings l = loadParameters(dir / name, "bt - Format 1.0", kCtx);
        ASSERT_TRUE(l.outcome) << l.outcome.message;
        EXPECT_EQ(l.parameters.packetType, 11);
        EXPECT_EQ(l.parameters.BDaddr, 48879);
        EXPECT_EQ(l.parameters.OverSampling, 8);
        EXPECT_EQ(l.parameters.dataSourceBitstream, (Bits{1, 0, 1}));
        EXPECT_EQ(l.parameters.impairments.FreqOffset, -40);
        EXPECT_EQ(l.parameters.impairments.AWGNratio, 30);  // missing: default
        EXPECT_EQ(l.parameters.dtImpairmentsCurrent[7].FreqOffset, 7);
        EXPECT_EQ(l.parameters.dtImpairmentsCurrent[7].FreqDriftRate, 1600);  // missing: default
        EXPECT_EQ(l.parameters.dtQ7395.SlotSyncDelay, -703);
        EXPECT_EQ(l.sigGen.Title, "FROM_SCIPY");
        EXPECT_EQ(l.sigGen.SamplingRate, 8e6);  // missing: derived from OverSampling
    }
    const LoadedSettings older = loadParameters(dir / "older.bt", "bt - Format 1.0", kCtx);
    ASSERT_TRUE(older.outcome) << older.outcome.message;
    EXPECT_EQ(older.parameters.OverSampling, 4);
    EXPECT_EQ(older.parameters.MirrorSpectrum, 1);
    EXPECT_EQ(older.sigGen.SamplingRate, 4e6);  // no sigGenParameters: derived from the record
}

// ------------------------------------------------------------ checks

struct LoadCheck {
    const char* what;
    std::vector<MatVariable> variables;
    const char* expected;
};

MatValue settingsWith(const char* field, MatValue v) {
    MatValue s = toMatValue(Parameters{});
    s.setField(field, std::move(v));
    return s;
}
MatValue settingsWithout(const char* field) {
    MatValue full = toMatValue(Parameters{});
    MatValue s = MatValue::structArray({}, 1);
    for (std::size_t f = 0; f < full.fieldNames.size(); ++f)
        if (full.fieldNames[f] != field) s.setField(full.fieldNames[f], full.elements[f]);
    return s;
}

class SettingsLoadCheck : public testing::TestWithParam<LoadCheck> {};

TEST_P(SettingsLoadCheck, RefusesWithTheTextAndLeavesTheStateAlone) {
    ScratchDir dir;
    const fs::path file = dir / "check.bt";
    writeMatFile(file, GetParam().variables);
    AppState state;
    initializeAppState(state);
    state.parameters = edited(state.parameters, "OverSampling", "5");
    const AppState before = state;
    const FileOutcome outcome = openSettingsFile(state, file);
    EXPECT_FALSE(outcome);
    EXPECT_EQ(outcome.title, "Error Loading File");
    EXPECT_EQ(outcome.message, file.string() + "\n" + GetParam().expected);
    EXPECT_EQ(state.parameters, before.parameters);
    EXPECT_EQ(state.SigGenSettings, before.SigGenSettings);
    EXPECT_EQ(state.configuration, before.configuration);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SettingsLoadCheck,
    testing::Values(
        LoadCheck{"no fileParameters", {{"x", MatValue::scalar(1)}}, "has an Invalid File Format."},
        LoadCheck{"not a record", {{"fileParameters", MatValue::scalar(1)}}, "has an Invalid File Structure."},
        LoadCheck{"no identifier", {{"fileParameters", settingsWithout("ParameterFileFormat_ID")}},
                  "has an Invalid File Structure."},
        LoadCheck{"empty record", {{"fileParameters", MatValue::structArray({"ParameterFileFormat_ID"}, 0)}},
                  "has an Invalid File Structure."},
        LoadCheck{"other identifier",
                  {{"fileParameters", settingsWith("ParameterFileFormat_ID", MatValue::string("bt - Format 2.0"))}},
                  "has an Invalid File Parameter ID."},
        LoadCheck{"numeric identifier", {{"fileParameters", settingsWith("ParameterFileFormat_ID", MatValue::scalar(1))}},
                  "has an Invalid File Parameter ID."}),
    [](const auto& info) { return bttest::testName(info.param.what); });

TEST(SettingsFiles, ReadSettingsFileGivesOneLineErrors) {
    ScratchDir dir;
    writeMatFile(dir / "x.bt", {{"x", MatValue::scalar(1)}});
    try {
        readSettingsFile(dir / "x.bt", kCtx);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), (dir / "x.bt").string() + " has an Invalid File Format.");
    }
    EXPECT_THROW(readSettingsFile(dir / "missing.bt", kCtx), Error);
    ASSERT_TRUE(saveParameters(dir / "ok.bt", richSettings(), richSigGen()));
    EXPECT_EQ(readSettingsFile(dir / "ok.bt", kCtx).first, richSettings());
}

TEST(SettingsFiles, OpenAndSaveRecordTheFileNameOnlyOnSuccess) {
    ScratchDir dir;
    AppState state;
    initializeAppState(state);
    state.parameters = edited(state.parameters, "OverSampling", "6");
    ASSERT_TRUE(saveSettingsFile(state, dir / "mine"));
    EXPECT_EQ(state.configuration.LastParameterFilename, (dir / "mine.bt").string());
    ASSERT_TRUE(saveSettingsFile(state, dir / "mine.bt"));  // the extension is not doubled
    EXPECT_FALSE(fs::exists(dir / "mine.bt.bt"));

    const FileOutcome failed = saveSettingsFile(state, dir / "no-such-folder" / "x");
    EXPECT_FALSE(failed);
    EXPECT_EQ(failed.title, "Error Saving " + (dir / "no-such-folder" / "x.bt").string());
    EXPECT_EQ(state.configuration.LastParameterFilename, (dir / "mine.bt").string());

    AppState other;
    initializeAppState(other);
    ASSERT_TRUE(openSettingsFile(other, dir / "mine.bt"));
    EXPECT_EQ(other.parameters.OverSampling, 6);
    EXPECT_EQ(other.configuration.LastParameterFilename, (dir / "mine.bt").string());
}

// ----------------------------------------------------- configuration

TEST(ConfigFile, RoundTripsAndForgetsTheLastSettingsFile) {
    ScratchDir dir;
    Configuration c;
    c.type = "TCPIP";
    c.TCPIP.address = "192.0.2.7";
    c.GPIB.primary = 7;
    c.BBGtype = "001";
    c.LastParameterFilename = "/somewhere/last.bt";
    ASSERT_TRUE(saveConfig(c, dir / kConfigFileName));
    const LoadedConfig loaded = loadConfig(dir / kConfigFileName);
    ASSERT_TRUE(loaded.configuration) << loaded.reason;
    c.LastParameterFilename.clear();
    EXPECT_EQ(*loaded.configuration, c);
}

TEST(ConfigFile, ASerialDeviceIsStoredBesideThePortAndOlderFilesMeanThePort) {
    ScratchDir dir;
    Configuration c;
    c.type = "RS232";
    c.RS232.port = 3;
    c.RS232.device = "/dev/ttyUSB0";
    ASSERT_TRUE(saveConfig(c, dir / kConfigFileName));
    const LoadedConfig loaded = loadConfig(dir / kConfigFileName);
    ASSERT_TRUE(loaded.configuration) << loaded.reason;
    EXPECT_EQ(*loaded.configuration, c);
    // The RS232 record as files held it before device names.
    MatValue older = toMatValue(c);
    MatValue rs232 = MatValue::structArray({"port", "baudrate", "handshake"});
    rs232.setField("port", MatValue::scalar(3));
    rs232.setField("baudrate", MatValue::scalar(9600));
    rs232.setField("handshake", MatValue::string("RTS/CTS"));
    older.setField("RS232", rs232);
    writeMatFile(dir / "old.mat", {{"fileParameters", older}});
    const LoadedConfig old = loadConfig(dir / "old.mat");
    ASSERT_TRUE(old.configuration) << old.reason;
    EXPECT_EQ(old.configuration->RS232.port, 3);
    EXPECT_EQ(old.configuration->RS232.device, "");
    EXPECT_EQ(old.configuration->RS232.handshake, "RTS/CTS");
}

TEST(ConfigFile, FilesFromBeforeTheRadioMeanWhatTheyDidAndARadioRoundTrips) {
    ScratchDir dir;
    Configuration c;
    c.type = "TCPIP";
    c.TCPIP.address = "192.0.2.7:5025";
    c.GPIB.primary = 7;
    // The record as files held it before the radio: no SDR field.
    const MatValue current = toMatValue(c);
    const std::vector<std::string> fields = {"type", "GPIB", "RS232", "TCPIP", "BBGtype", "LastParameterFilename"};
    MatValue older = MatValue::structArray(fields);
    for (const std::string& f : fields) older.setField(f, *current.field(f));
    writeMatFile(dir / "old.mat", {{"fileParameters", older}});
    const LoadedConfig old = loadConfig(dir / "old.mat");
    ASSERT_TRUE(old.configuration) << old.reason;
    EXPECT_EQ(*old.configuration, c);

    c.type = "SDR";
    c.SDR = {"driver=hackrf,serial=0000000000000000f77c60dc2a5c4f83", -3.5, "TX/RX"};
    ASSERT_TRUE(saveConfig(c, dir / kConfigFileName));
    const LoadedConfig radio = loadConfig(dir / kConfigFileName);
    ASSERT_TRUE(radio.configuration) << radio.reason;
    EXPECT_EQ(*radio.configuration, c);
    c.SDR.gain = 1e9;
    ASSERT_TRUE(saveConfig(c, dir / "loud.mat"));
    EXPECT_THAT(loadConfig(dir / "loud.mat").reason, HasSubstr("SDR.gain"));
}

TEST(ConfigFile, MissingOrUnusableFilesGiveNoConfiguration) {
    ScratchDir dir;
    EXPECT_FALSE(loadConfig(dir / kConfigFileName).configuration);
    Configuration c;
    c.type = "USB";
    ASSERT_TRUE(saveConfig(c, dir / "bad.mat"));
    const LoadedConfig bad = loadConfig(dir / "bad.mat");
    EXPECT_FALSE(bad.configuration);
    EXPECT_THAT(bad.reason, HasSubstr("fileParameters.type is \"USB\""));
    bttest::writeBytes(dir / "junk.mat", "junk");
    EXPECT_THAT(loadConfig(dir / "junk.mat").reason, HasSubstr("is not a MAT-file"));
}

// ---------------------------------------------------------- waveforms

constexpr const char* kReadWaveforms = R"(
import sys, scipy.io as sio
a = sio.loadmat(sys.argv[1] + '/a')['samples']
m = sio.loadmat(sys.argv[1] + '/m')['samples']
s = sio.loadmat(sys.argv[1] + '/s')
print(a.dtype, a.shape, a[2, 0], a[2, 1])
print(m.dtype, m.shape, m[2, 0])
print(s['samplePoints'][0, 0], s['sampleRate'][0, 0], s['wave'].shape, s['wave'][4, 1])
)";

TEST(WaveformFiles, ThreeLayoutsReadByScipy) {
    SKIP_WITHOUT_SCIPY();
    ScratchDir dir;
    ComplexRow w;
    for (int k = 0; k < 5; ++k) w.emplace_back(0.5 * k, -0.25 * k);
    ASSERT_TRUE(saveWaveform(dir / "a", WaveformLayout::Ascii, w, 10e6));
    ASSERT_TRUE(saveWaveform(dir / "m", WaveformLayout::Mat, w, 10e6));
    ASSERT_TRUE(saveWaveform(dir / "s", WaveformLayout::SpecialSaveWave, w, 12.5e6));
    const auto r = bttest::runPython(kReadWaveforms, {dir.path().string()});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "float64 (5, 2) 1.0 -0.5\ncomplex128 (5, 1) (1-0.5j)\n5.0 12500000.0 (5, 2) -1.0\n");
}

TEST(WaveformFiles, AFailedSaveNamesTheFile) {
    ScratchDir dir;
    const fs::path file = dir / "missing" / "w.mat";
    const FileOutcome o = saveWaveform(file, WaveformLayout::Mat, ComplexRow(3), 1e6);
    EXPECT_FALSE(o);
    EXPECT_EQ(o.title, "Error Saving " + file.string());
}

// -------------------------------------------------------------- names

TEST(FileNames, ExtensionIsAddedOnce) {
    EXPECT_EQ(addFileExtention("test", ".bt"), "test.bt");
    EXPECT_EQ(addFileExtention("test.bt", ".bt"), "test.bt");
    EXPECT_EQ(addFileExtention(".bt", ".bt"), ".bt.bt");  // not longer than the extension
    EXPECT_EQ(addFileExtention("test.BT", ".bt"), "test.BT.bt");
}

TEST(FileNames, SaveAsPrefixSelectsAWaveformFile) {
    const SaveAsTarget wave = classifySaveAsName("/data/wqxnvle.x", ".bt");
    EXPECT_TRUE(wave.waveform);
    EXPECT_EQ(wave.path, fs::path("/data/x"));
    const SaveAsTarget prefixOnly = classifySaveAsName("/data/wqxnvle.", ".bt");
    EXPECT_FALSE(prefixOnly.waveform);
    EXPECT_EQ(prefixOnly.path, fs::path("/data/wqxnvle..bt"));
    EXPECT_FALSE(classifySaveAsName("/wqxnvle.dir/name", ".bt").waveform);
}

// An EDR packet and its relative power come back from a file; the same
// code on a link without EDR packets is refused with the field named, as an
// older program refuses any EDR file.
TEST(SettingsFiles, EdrSettingsComeBackAndAreRefusedWhereTheLinkHasNone) {
    ScratchDir dir;
    Parameters p;
    p.packetType = 21;  // 3-DH5
    p.patternLength = 1021 * 8;
    p.patternReps = p.patternLength / 511;
    p.edrRelativePower = -2.5;
    ASSERT_TRUE(saveParameters(dir / "edr.bt", p, SigGenSettings{}));
    const LoadedSettings l = loadParameters(dir / "edr.bt", "bt - Format 1.0", kCtx);
    ASSERT_TRUE(l.outcome) << l.outcome.message;
    EXPECT_EQ(l.parameters.packetType, 21);
    EXPECT_EQ(l.parameters.edrRelativePower, -2.5);
    p.linkType = 1;
    ASSERT_TRUE(saveParameters(dir / "sco.bt", p, SigGenSettings{}));
    const LoadedSettings refused = loadParameters(dir / "sco.bt", "bt - Format 1.0", kCtx);
    EXPECT_FALSE(refused.outcome);
    EXPECT_THAT(refused.outcome.message, ::testing::HasSubstr("packetType is 21, not a packet type code"));
}

}  // namespace
}  // namespace bt
