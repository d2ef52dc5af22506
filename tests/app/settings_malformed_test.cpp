// Malformed and hostile settings files, generated from a good one: every one
// must give a clear error, never crash, and leave the settings as they were.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "support/files.h"
#include "app/settings_files.h"

namespace bt {
namespace {

namespace fs = std::filesystem;
using bttest::ScratchDir;
using testing::HasSubstr;
using testing::StartsWith;

// Opens `file` into a state with non-default settings and checks that a
// failure names the file and changes nothing. Returns the error text
// ("" on success).
std::string openAndCheck(const fs::path& file) {
    AppState state;
    initializeAppState(state);
    state.parameters.OverSampling = 5;
    state.SigGenSettings.Title = "KEEP";
    const AppState before = state;
    const FileOutcome outcome = openSettingsFile(state, file);
    if (outcome) return "";
    EXPECT_EQ(outcome.title, "Error Loading File");
    EXPECT_THAT(outcome.message, StartsWith(file.string() + "\n"));
    EXPECT_GT(outcome.message.size(), file.string().size() + 10);
    EXPECT_EQ(state.parameters, before.parameters);
    EXPECT_EQ(state.SigGenSettings, before.SigGenSettings);
    EXPECT_EQ(state.configuration, before.configuration);
    return outcome.message.substr(file.string().size() + 1);
}

class TruncatedSettings : public testing::TestWithParam<MatCompression> {};

TEST_P(TruncatedSettings, EveryCutIsRefused) {
    ScratchDir dir;
    ASSERT_TRUE(saveParameters(dir / "good.bt", Parameters{}, SigGenSettings{}, GetParam()));
    const std::string good = bttest::readBytes(dir / "good.bt");
    ASSERT_EQ(openAndCheck(dir / "good.bt"), "");
    const fs::path cut = dir / "cut.bt";
    for (std::size_t size = 0; size < good.size(); size += size < 300 ? 1 : 11) {
        bttest::writeBytes(cut, good.substr(0, size));
        EXPECT_NE(openAndCheck(cut), "") << "cut at " << size;
    }
}

INSTANTIATE_TEST_SUITE_P(Compression, TruncatedSettings, testing::Values(MatCompression::None, MatCompression::Zlib),
                         [](const auto& info) { return info.param == MatCompression::None ? "plain" : "zlib"; });

TEST(MalformedSettings, RandomByteDamageNeverCrashes) {
    ScratchDir dir;
    for (auto compression : {MatCompression::None, MatCompression::Zlib}) {
        ASSERT_TRUE(saveParameters(dir / "good.bt", Parameters{}, SigGenSettings{}, compression));
        const std::string good = bttest::readBytes(dir / "good.bt");
        std::mt19937 rng(compression == MatCompression::None ? 1 : 2);
        int refused = 0;
        for (int trial = 0; trial < 400; ++trial) {
            std::string bytes = good;
            const int flips = 1 + static_cast<int>(rng() % 4);
            for (int k = 0; k < flips; ++k) bytes[rng() % bytes.size()] = static_cast<char>(rng());
            bttest::writeBytes(dir / "damaged.bt", bytes);
            refused += openAndCheck(dir / "damaged.bt").empty() ? 0 : 1;
        }
        EXPECT_GT(refused, 100);  // most damage is caught; the rest altered a value harmlessly
    }
}

TEST(MalformedSettings, HeadersOfOtherFormatsAndHugeDimensions) {
    ScratchDir dir;
    bttest::writeBytes(dir / "empty.bt", "");
    EXPECT_EQ(openAndCheck(dir / "empty.bt"), "is empty (0 bytes), not a MAT-file.");

    ASSERT_TRUE(saveParameters(dir / "good.bt", Parameters{}, SigGenSettings{}, MatCompression::None));
    std::string bytes = bttest::readBytes(dir / "good.bt");
    std::string v73 = bytes;
    v73.replace(0, 10, "MATLAB 7.3");
    v73[124] = 0x00;
    v73[125] = 0x02;
    bttest::writeBytes(dir / "v73.bt", v73);
    EXPECT_THAT(openAndCheck(dir / "v73.bt"), HasSubstr("version 7.3 (HDF5)"));

    // The first variable's dimensions sit after its tag, flags and dimension tag.
    const std::size_t dims = 128 + 8 + 16 + 8;
    for (std::uint32_t rows : {0x7FFFFFFFu, 0u, 100000u}) {
        std::string huge = bytes;
        for (int k = 0; k < 4; ++k) huge[dims + static_cast<std::size_t>(k)] = static_cast<char>(rows >> (8 * k));
        bttest::writeBytes(dir / "dims.bt", huge);
        EXPECT_NE(openAndCheck(dir / "dims.bt"), "") << rows;
    }
}

// ------------------------------------------- values of the wrong kind

constexpr const char* kWriteBadFiles = R"(
import copy, sys, numpy as np, scipy.io as sio
base = sio.loadmat(sys.argv[1], simplify_cells=True)
out = sys.argv[2]
def struct_array(items):
    names = list(items[0].keys())
    a = np.zeros((1, len(items)), dtype=[(n, 'O') for n in names])
    for k, e in enumerate(items):
        a[0, k] = tuple(e[n] for n in names)
    return a
def save(name, change):
    fp = copy.deepcopy(base['fileParameters'])
    sg = copy.deepcopy(base['sigGenParameters'])
    change(fp, sg)
    if isinstance(fp['dtImpairmentsCurrent'], list):
        fp['dtImpairmentsCurrent'] = struct_array(fp['dtImpairmentsCurrent'])
    sio.savemat(out + '/' + name + '.bt', {'fileParameters': fp, 'sigGenParameters': sg})
def setf(key, value):
    return lambda fp, sg: fp.__setitem__(key, value)
cases = {
    'text_number': setf('OverSampling', '10'),
    'row_number': setf('OverSampling', np.array([[1.0, 2.0, 3.0]])),
    'complex_number': setf('OverSampling', np.array([[10 + 1j]])),
    'empty_number': setf('OverSampling', np.zeros((0, 0))),
    'cell_number': setf('OverSampling', np.array([[10.0]], dtype=object)),
    'number_record': setf('impairments', 5.0),
    'short_table': lambda fp, sg: fp.__setitem__('dtImpairmentsCurrent', fp['dtImpairmentsCurrent'][:9]),
    'bits_of_two': setf('dataSourceBitstream', np.array([[0.0, 2.0]])),
    'too_many_bits': setf('dataSourceBitstream', np.ones((1, 100000))),
    'huge_address': setf('BDaddr', 2.0 ** 60),
    'oversampling': setf('OverSampling', 25.0),
    'undefined_packet': setf('packetType', 5.0),
    'settle': setf('burstSettle', 20.0),
    'reps': setf('patternReps', 3.0),
    'too_large': lambda fp, sg: fp.update(generationMode=2.0, patternLength=4e6, patternReps=4e6 / 511),
    'nan': setf('CGdelay', float('nan')),
    'dt_timing': lambda fp, sg: fp['dtImpairmentsCurrent'][3].__setitem__('SymbolTimingError', 1e6),
    'dt_packet': lambda fp, sg: fp['dtParameters'].__setitem__('packetType', 3.0),
    'amplitude': lambda fp, sg: sg.__setitem__('Amplitude', 50.0),
    'long_title': lambda fp, sg: sg.__setitem__('Title', 'A' * 10000),
    'number_title': lambda fp, sg: sg.__setitem__('Title', 7.0),
}
for name, change in cases.items():
    save(name, change)
sio.savemat(out + '/v4.bt', {'fileParameters': np.ones((20, 20))}, format='4')
)";

struct BadValue {
    const char* file;
    const char* expected;
};

class MalformedValues : public testing::TestWithParam<BadValue> {
protected:
    static void SetUpTestSuite() {
        if (!bttest::scipyPython()) return;
        dir_ = new ScratchDir;
        ASSERT_TRUE(saveParameters(*dir_ / "base.bt", Parameters{}, SigGenSettings{}));
        const auto r = bttest::runPython(kWriteBadFiles, {(*dir_ / "base.bt").string(), dir_->path().string()});
        ASSERT_EQ(r.status, 0) << r.output;
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static ScratchDir* dir_;
};
ScratchDir* MalformedValues::dir_ = nullptr;

TEST_P(MalformedValues, AreRefusedNamingTheField) {
    if (!dir_) GTEST_SKIP() << "python3 with scipy is not available";
    EXPECT_THAT(openAndCheck(*dir_ / (std::string(GetParam().file) + ".bt")), HasSubstr(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Files, MalformedValues,
    testing::Values(
        BadValue{"text_number", "fileParameters.OverSampling holds text where a number belongs."},
        BadValue{"row_number", "fileParameters.OverSampling holds 1x3 double where a single number belongs."},
        BadValue{"complex_number", "fileParameters.OverSampling holds a complex value where a number belongs."},
        BadValue{"empty_number", "fileParameters.OverSampling holds 0x0 double where a single number belongs."},
        BadValue{"cell_number", "fileParameters.OverSampling holds 1x1 cell where a number belongs."},
        BadValue{"number_record", "fileParameters.impairments holds 1x1 double where a 1x1 struct belongs."},
        BadValue{"short_table", "fileParameters.dtImpairmentsCurrent holds 1x9 struct where a 1x10 struct array"},
        BadValue{"bits_of_two", "fileParameters.dataSourceBitstream holds values other than 0 and 1."},
        BadValue{"too_many_bits", "fileParameters.dataSourceBitstream holds 100000 bits; a user file gives at most 80000."},
        BadValue{"huge_address", "fileParameters.BDaddr is 1.152921504606847e+18, out of range."},
        BadValue{"oversampling", "fileParameters.OverSampling is 25; the settings editor keeps 20."},
        BadValue{"undefined_packet", "fileParameters.packetType is 5 (\"5: Undefined\"), which cannot be chosen"},
        BadValue{"settle", "fileParameters.burstSettle is 20; the settings editor keeps 16."},
        BadValue{"reps", "fileParameters.patternReps is 3 but patternLength 216 makes it 0.4227005870841487."},
        BadValue{"too_large", "fileParameters.patternLength makes a waveform the instrument cannot hold"},
        BadValue{"nan", "fileParameters.CGdelay is not a finite number."},
        BadValue{"dt_timing", "fileParameters.dtImpairmentsCurrent(4).SymbolTimingError is 1000000, outside -150 .. 150."},
        BadValue{"dt_packet", "fileParameters.dtParameters.packetType is 3; it must be one of 4, 11, 15."},
        BadValue{"amplitude", "sigGenParameters.Amplitude is 50, outside -136 .. 20."},
        BadValue{"long_title", "sigGenParameters.Title holds a text longer than 4096 characters."},
        BadValue{"number_title", "sigGenParameters.Title holds 1x1 double where a text belongs."},
        BadValue{"v4", "is not a version 5 or 7 MAT-file."}),
    [](const auto& info) { return bttest::testName(info.param.file); });

// ---------------------------------------------------- interrupted saves

// Kills the writer at random moments: the file is always the old one or the
// new one, whole.
TEST(InterruptedSave, LeavesTheOldOrTheNewFileNeverABrokenOne) {
    ScratchDir dir;
    const fs::path target = dir / "settings.bt";
    const std::string btgen = bttest::btgenPath().string();
    ASSERT_EQ(bttest::runProgram({btgen, "save-settings", target.string()}).status, 0);

    // How long one save takes, so that the kills spread over all of it.
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(bttest::runProgram({btgen, "save-settings", target.string()}).status, 0);
    const auto full = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);

    std::mt19937 rng(11);
    int completed = 0;
    // Some writers must be stopped in the middle of a save, leaving their
    // unfinished temporary file; on a loaded machine the kills may need
    // more trials to land there.
    bool interruptedMidSave = false;
    for (int trial = 0; trial < 60 || (!interruptedMidSave && trial < 400); ++trial) {
        const std::string oversampling = trial % 2 ? "12" : "8";
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
            ::execl(btgen.c_str(), btgen.c_str(), "save-settings", target.c_str(), "--set",
                    ("OverSampling=" + oversampling).c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % (full.count() + 1)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        completed += WIFEXITED(status) && WEXITSTATUS(status) == 0;

        const LoadedSettings loaded = loadParameters(target, "bt - Format 1.0", EditContext{});
        ASSERT_TRUE(loaded.outcome) << "trial " << trial << ": " << loaded.outcome.message;
        const double os = loaded.parameters.OverSampling;
        EXPECT_TRUE(os == 10 || os == 8 || os == 12) << os;
        for (const auto& e : fs::directory_iterator(dir.path()))
            interruptedMidSave |= e.path().filename().string().starts_with(".settings.bt.saving-");
    }
    EXPECT_TRUE(interruptedMidSave) << completed << " saves completed";
}

}  // namespace
}  // namespace bt
