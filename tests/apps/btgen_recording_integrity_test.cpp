// Recordings whose files do not belong together, as a crash between the
// renames of a save or a rename by hand leaves them, read by the measure
// command; names that give no recording; a full disk during the
// dirty-transmitter sets' save.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "analysis/recording.h"
#include "support/files.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using bttest::ScratchDir;

using testsupport::btgen;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(RecordingIntegrity, ADatasetBesideAnotherRecordingsMetadataIsRefused) {
    const ScratchDir dir;
    for (const std::string seed : {"11", "12"})
        ASSERT_EQ(btgen({"generate", "--format", "sigmf", "--set", "impairments.AWGNactive=1", "--set",
                         "impairments.AWGNseed=" + seed, "-o", (dir / ("s" + seed)).string()})
                      .status,
                  0);
    const fs::path meta = dir / "s11.sigmf-meta", data = dir / "s11.sigmf-data";
    ASSERT_NE(btgen({"measure", meta.string()}).status, 2);
    // The other recording's samples, of the same length, under this name.
    fs::copy_file(dir / "s12.sigmf-data", data, fs::copy_options::overwrite_existing);
    auto r = btgen({"measure", meta.string()});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(has(r.err, meta.string()) && has(r.err, data.string()) && has(r.err, "SHA-512")) << r.err;
    // Told to, it reads them anyway.
    r = btgen({"measure", "--no-verify", meta.string()});
    EXPECT_NE(r.status, 2) << r.err;

    // Samples cut short: the annotations reach beyond them, checked even
    // without the checksum.
    fs::resize_file(data, 8 * 100);
    r = btgen({"measure", "--no-verify", meta.string()});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(has(r.err, "do not belong together: an annotation reaches sample")) << r.err;

    // Metadata too large to be a description is not read (a sparse file:
    // nothing is written).
    const fs::path huge = dir / "huge.sigmf-meta";
    std::ofstream(huge) << "{";
    fs::resize_file(huge, std::uintmax_t(65) << 20);
    fs::copy_file(dir / "s12.sigmf-data", dir / "huge.sigmf-data");
    r = btgen({"measure", huge.string()});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(has(r.err, "SigMF metadata of more than 64 MB is not read")) << r.err;

    // Within the size, brackets nested millions deep (each costs some thirty
    // times its byte to hold): refused at the first level too deep.
    const fs::path deep = dir / "deep.sigmf-meta";
    constexpr std::size_t depth = 5'000'000;
    std::ofstream(deep) << R"({"global": {"core:datatype": "cf32_le", "core:sample_rate": 2000000, "x": )"
                        << std::string(depth, '[') << std::string(depth, ']') << "}}";
    fs::copy_file(dir / "s12.sigmf-data", dir / "deep.sigmf-data");
    r = btgen({"measure", deep.string()});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(has(r.err, deep.string() + "\nis nested more than 200 levels deep")) << r.err;
}

// A file name that is not UTF-8 (any bytes but "/" make a Linux name):
// the JSON report shows it with replacement characters instead of failing.
TEST(RecordingIntegrity, AReportOfAFileNameThatIsNotUtf8) {
    const ScratchDir dir;
    ASSERT_EQ(btgen({"generate", "--format", "sigmf", "-o", (dir / "a").string()}).status, 0);
    const std::string odd = (dir / "caf\xe9\xff").string();
    for (const std::string ext : {".sigmf-meta", ".sigmf-data", ".sigmf-data.markers"})
        fs::rename(dir / ("a" + ext), odd + ext);
    const auto r = btgen({"measure", "--json", odd + ".sigmf-meta"});
    EXPECT_TRUE(r.status == 0 || r.status == 3) << r.status << " " << r.err;
    EXPECT_TRUE(has(r.out, "caf\xef\xbf\xbd\xef\xbf\xbd.sigmf-meta")) << r.out.substr(0, 300);
}

// A raw waveform beside the marker file of another (a crash between the
// pair's renames): their lengths differ, and the pair is refused naming
// both.
TEST(RecordingIntegrity, ARawWaveformBesideAnotherMarkerFileIsRefused) {
    const ScratchDir dir;
    ASSERT_EQ(btgen({"generate", "-o", (dir / "a.raw").string()}).status, 0);
    ASSERT_EQ(btgen({"generate", "--set", "packetType=11", "-o", (dir / "b.raw").string()}).status, 0);
    ASSERT_NE(btgen({"measure", (dir / "a.raw").string()}).status, 2);
    fs::copy_file(dir / "b.raw.markers", dir / "a.raw.markers", fs::copy_options::overwrite_existing);
    const auto r = btgen({"measure", (dir / "a.raw").string()});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(has(r.err, (dir / "a.raw").string() + "\nand " + (dir / "a.raw.markers").string() +
                               "\ndo not belong together"))
        << r.err;
}

// Plots under an address-space limit (sparse recordings: nothing is
// written). One far larger than memory is refused before anything is read;
// one just within what the limit allows is drawn (the spectrum, the plot
// that holds the most per sample) without running out of memory.
TEST(RecordingIntegrity, APlotOfARecordingLargerThanMemoryIsRefused) {
    if (!fs::exists(testsupport::appPath("btgen-plot-gui"))) GTEST_SKIP() << "built without the windows";
    const ScratchDir dir;
    const auto plotUnder = [&](const std::string& kilobytes, std::uintmax_t samples) {
        std::ofstream(dir / "rec.sigmf-meta")
            << R"({"global": {"core:datatype": "cf32_le", "core:sample_rate": 2000000}, "captures": []})";
        std::ofstream(dir / "rec.sigmf-data").close();
        fs::resize_file(dir / "rec.sigmf-data", 8 * samples);
        const std::string limited = "ulimit -v " + kilobytes + "; exec \"$0\" \"$@\"";
        return testsupport::runProcess({"bash", "-c", limited, testsupport::appPath("btgen"), "plot", "spectrum",
                                        "--input", (dir / "rec.sigmf-meta").string(), "-o",
                                        (dir / "rec.png").string()});
    };
    auto r = plotUnder("4000000", (std::uintmax_t(10) << 30) / 8);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(has(r.err, "holds 1342177280 samples; the plots read at most")) << r.err;
    // 600,000 kB allow 4.8 million samples.
    r = plotUnder("600000", 4'700'000);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_GT(fs::file_size(dir / "rec.png"), 1000u);
    r = plotUnder("600000", 4'900'000);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(has(r.err, "holds 4900000 samples; the plots read at most 4800000 on this machine")) << r.err;
}

TEST(RecordingIntegrity, ARenamedRecordingKeepsItsMarkers) {
    const ScratchDir dir;
    ASSERT_EQ(btgen({"generate", "--format", "sigmf", "-o", (dir / "a").string()}).status, 0);
    for (const std::string ext : {".sigmf-meta", ".sigmf-data", ".sigmf-data.markers"})
        fs::rename(dir / ("a" + ext), dir / ("b" + ext));
    const auto rec = bt::analysis::openRecording(dir / "b.sigmf-meta");
    ASSERT_EQ(rec.rows.size(), 1u);
    const auto markers = bt::analysis::readMarkers(rec.rows[0]);
    ASSERT_TRUE(markers);
    EXPECT_EQ(markers->size(), rec.rows[0].source->size());
}

TEST(RecordingIntegrity, NamesWithoutABaseAreRefused) {
    const ScratchDir dir;
    fs::create_directory(dir / "sub");
    for (const std::string& name : {(dir / "sub").string() + "/", (dir / "sub" / ".").string(), (dir / "sub" / "..").string()}) {
        auto r = btgen({"generate", "--format", "sigmf", "-o", name});
        EXPECT_EQ(r.status, 2) << name << ": " << r.err;
        EXPECT_TRUE(has(r.err, "names no recording")) << r.err;
        r = btgen({"dirty-tx", "--calculate", "--sets", "1", "--format", "sigmf", "-o", name});
        EXPECT_EQ(r.status, 2) << name << ": " << r.err;
    }
    EXPECT_TRUE(fs::is_empty(dir / "sub"));
    for (const auto& e : fs::directory_iterator(dir.path())) EXPECT_EQ(e.path().filename(), "sub") << e.path();
}

// The ten sets saved as one: a set that cannot be replaced (its name taken
// by a folder) leaves every old recording as it was, and a full disk's
// message names the file and the system's reason.
TEST(RecordingIntegrity, DirtyTransmitterSetsAreSavedTogether) {
    const ScratchDir dir;
    const std::string out = (dir / "dt").string();
    auto r = btgen({"dirty-tx", "--calculate", "--format", "sigmf", "-o", out});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto set = [&](int n, const std::string& ext) { return dir / ("dt-set" + std::to_string(n) + ext); };
    fs::remove(set(9, ".sigmf-data"));
    fs::create_directory(set(9, ".sigmf-data"));
    std::vector<std::string> before;
    for (int n = 1; n <= 10; ++n) before.push_back(bttest::readBytes(set(n, ".sigmf-meta")));
    // Another packet type: other samples in every set.
    r = btgen({"dirty-tx", "--calculate", "--packet", "DH3", "--format", "sigmf", "-o", out});
    EXPECT_EQ(r.status, 5) << r.err;
    EXPECT_TRUE(has(r.err, set(9, ".sigmf-data").string())) << r.err;
    for (int n = 1; n <= 10; ++n)
        EXPECT_EQ(bttest::readBytes(set(n, ".sigmf-meta")), before[std::size_t(n - 1)]) << "set " << n << " was replaced";

    // A file size limit, the way a full disk stops the writes (the signal
    // it raises ignored, as the shell passes that on).
    fs::remove(set(9, ".sigmf-data"));
    const std::uintmax_t one = fs::file_size(set(1, ".sigmf-data"));
    const std::string script = "trap '' XFSZ; ulimit -f " + std::to_string(one / 2 / 1024) + "; exec \"$0\" \"$@\"";
    r = testsupport::runProcess({"bash", "-c", script, testsupport::appPath("btgen"), "dirty-tx", "--calculate",
                                 "--format", "sigmf", "-o", out});
    EXPECT_EQ(r.status, 5) << r.err;
    EXPECT_TRUE(has(r.err, "the dataset " + set(1, ".sigmf-data").string() + ": cannot write the file: File too large"))
        << r.err;
    EXPECT_FALSE(has(r.err, ".saving-")) << r.err;
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_FALSE(has(e.path().filename().string(), ".saving-")) << e.path();
}

// A MAT-file of a few megabytes whose waveform unpacks to 1.6 GB, read
// under an address-space limit of 3 GB: refused as too large (exit 2)
// instead of running out of memory, and read when the limit is raised by
// the option (to fail only on the memory limit, never with a crash).
constexpr const char* kMatBomb = R"(
import struct, sys, zlib
n = int(sys.argv[2])
name = b'waveform'
body = (struct.pack('<II', 6, 8) + struct.pack('<II', 6, 0) + struct.pack('<II', 5, 8) + struct.pack('<ii', 1, n)
        + struct.pack('<II', 1, len(name)) + name + struct.pack('<II', 9, 8 * n))
c = zlib.compressobj(1)
parts = [c.compress(struct.pack('<II', 14, len(body) + 8 * n) + body)]
zeros = bytes(1 << 24)
left = 8 * n
while left:
    k = min(left, len(zeros))
    parts.append(c.compress(zeros[:k]))
    left -= k
parts.append(c.flush())
data = b''.join(parts)
head = b'MATLAB 5.0 MAT-file'.ljust(116, b' ') + bytes(8) + struct.pack('<H', 0x0100) + b'IM'
open(sys.argv[1], 'wb').write(head + struct.pack('<II', 15, len(data)) + data)
print(len(data))
)";

TEST(RecordingIntegrity, ACompressedMatFileIsRefusedBeforeMemoryRunsOut) {
    if (!bttest::scipyPython()) GTEST_SKIP() << "no python3 with scipy";
    const ScratchDir dir;
    const fs::path mat = dir / "bomb.mat";
    const auto made = bttest::runPython(kMatBomb, {mat.string(), "200000000"});
    ASSERT_EQ(made.status, 0) << made.output;
    EXPECT_LT(fs::file_size(mat), std::uintmax_t(8) << 20);
    const std::string limited = "ulimit -v 3000000; exec \"$0\" \"$@\"";
    testsupport::ProcessResult r;
#ifndef __SANITIZE_ADDRESS__  // the sanitizer reserves terabytes of address space: no limit lets it start
    r = testsupport::runProcess({"bash", "-c", limited, testsupport::appPath("btgen"), "measure", "--rate", "2e6",
                                 mat.string()});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(has(r.err, mat.string() + "\nis too large to read")) << r.err;
#endif
    // Without a memory limit, a cap below the data refuses it too.
    r = btgen({"measure", "--rate", "2e6", "--mat-limit", "100000000", mat.string()});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(has(r.err, mat.string() + "\nis too large to read")) << r.err;
    // Plotted, the same (the name said once).
    if (fs::exists(testsupport::appPath("btgen-plot-gui"))) {
        r = testsupport::runProcess({"bash", "-c", limited, testsupport::appPath("btgen"), "plot", "iq", "--rate", "2e6",
                                     "--input", mat.string(), "-o", (dir / "bomb.png").string()});
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_TRUE(has(r.err, "btgen plot: " + mat.string() + "\nis too large to read")) << r.err;
    }
}

}  // namespace
