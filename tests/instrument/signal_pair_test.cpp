// A raw waveform and its marker file are one pair: saved together or not at
// all, through links, without leftovers from interrupted saves, and never
// with samples that are not numbers.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <functional>

#include "instrument/signal_files.h"
#include "lib/errors.h"
#include "support/files.h"
#include "support/process.h"

namespace bt {
namespace {

namespace fs = std::filesystem;
using bttest::readBytes;
using bttest::ScratchDir;

struct Signal {
    ComplexRow waveform;
    Markers markers;
};

Signal ramp(std::size_t n, double phase) {
    Signal s;
    s.waveform.resize(n);
    s.markers.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        s.waveform[k] = std::polar(1.0, phase + 0.01 * double(k));
        s.markers.row1[k] = (k + static_cast<std::size_t>(phase)) % 3 == 0;
    }
    return s;
}

void write(const fs::path& file, const Signal& s) { writeSignal(file, SignalFormat::Raw, s.waveform, s.markers); }

std::string failureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "no error";
}

std::size_t entries(const fs::path& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
    return n;
}

TEST(PairSave, AMarkerFileThatCannotBeWrittenLeavesTheOldWaveform) {
    const ScratchDir dir;
    const fs::path file = dir / "w.raw";
    write(file, ramp(5000, 0));
    const std::string oldWaveform = readBytes(file);
    // The marker file now names a folder that does not exist.
    fs::remove(dir / "w.raw.markers");
    fs::create_symlink(dir / "gone" / "w.raw.markers", dir / "w.raw.markers");

    const std::string message = failureOf([&] { write(file, ramp(7000, 1)); });
    EXPECT_NE(message.find("the marker file " + (dir / "w.raw.markers").string()), std::string::npos) << message;
    EXPECT_NE(message.find("No such file or directory"), std::string::npos) << message;
    EXPECT_EQ(readBytes(file), oldWaveform);
    EXPECT_EQ(entries(dir.path()), 2u) << "a temporary file was left behind";
}

TEST(PairSave, AFullDiskKeepsTheOldPairAndSaysWhichFileAndWhy) {
    const ScratchDir dir;
    const fs::path file = dir / "w.raw";
    write(file, ramp(1000, 0));
    const std::string oldWaveform = readBytes(file);
    const std::string oldMarkers = readBytes(dir / "w.raw.markers");

    // Room for the markers (one byte a sample) but not the waveform (four).
    const std::string message = testsupport::errorUnderFileSizeLimit(100'000, [&] { write(file, ramp(50'000, 1)); });
    EXPECT_NE(message.find("the waveform file " + file.string()), std::string::npos) << message;
    EXPECT_NE(message.find("File too large"), std::string::npos) << message;
    EXPECT_EQ(readBytes(file), oldWaveform);
    EXPECT_EQ(readBytes(dir / "w.raw.markers"), oldMarkers);
    EXPECT_EQ(entries(dir.path()), 2u) << "a temporary file was left behind";
}

TEST(PairSave, LeftoversOfInterruptedSavesOfTheSameFileAreRemoved) {
    const ScratchDir dir;
    for (const char* name : {".w.raw.saving-Ab12Cd", ".w.raw.markers.saving-Xy34Zw", ".v.raw.saving-Qq12Qq",
                             ".w.raw.saving-Busy00", ".w.raw.saving-toolong1"})
        bttest::writeBytes(dir / name, "partial");
    // A save in progress elsewhere holds a lock on its temporary file.
    const int busy = ::open((dir / ".w.raw.saving-Busy00").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(busy, 0);
    ASSERT_EQ(::flock(busy, LOCK_EX), 0);

    write(dir / "w.raw", ramp(100, 0));
    ::close(busy);
    EXPECT_FALSE(fs::exists(dir / ".w.raw.saving-Ab12Cd"));
    EXPECT_FALSE(fs::exists(dir / ".w.raw.markers.saving-Xy34Zw"));
    EXPECT_TRUE(fs::exists(dir / ".v.raw.saving-Qq12Qq")) << "another file's";
    EXPECT_TRUE(fs::exists(dir / ".w.raw.saving-Busy00")) << "a save in progress";
    EXPECT_TRUE(fs::exists(dir / ".w.raw.saving-toolong1")) << "not a temporary name";
}

TEST(PairSave, SavingOntoALinkWritesTheFileItNames) {
    const ScratchDir dir;
    fs::create_directory(dir / "data");
    // A chain of links, relative, ending at a file that does not exist yet.
    fs::create_symlink("data/w.raw", dir / "first.raw");
    fs::create_symlink("first.raw", dir / "second.raw");
    const Signal s = ramp(300, 0);
    write(dir / "second.raw", s);
    EXPECT_TRUE(fs::is_symlink(dir / "second.raw"));
    EXPECT_TRUE(fs::is_symlink(dir / "first.raw"));
    ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "data" / "w.raw")));
    EXPECT_EQ(fs::file_size(dir / "data" / "w.raw"), 4 * s.waveform.size());
}

TEST(PairSave, SamplesThatAreNotNumbersWriteNothing) {
    const ScratchDir dir;
    Signal s = ramp(100, 0);
    s.waveform[41] = {std::nan(""), 0};
    EXPECT_EQ(firstNonFiniteSample(s.waveform), 41u);
    for (SignalFormat f : {SignalFormat::Raw, SignalFormat::Mat, SignalFormat::Csv}) {
        const std::string message = failureOf([&] { writeSignal(dir / "x", f, s.waveform, s.markers); });
        EXPECT_NE(message.find("sample 42 of the waveform is not a finite number"), std::string::npos) << message;
    }
    s.waveform[41] = {0, HUGE_VAL};
    EXPECT_EQ(firstNonFiniteSample(s.waveform), 41u);
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
}  // namespace bt
