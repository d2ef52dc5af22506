#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "bluetooth/user_data_file.h"

using namespace bt;

namespace {
std::string writeFile(const std::string& name, const std::string& content) {
    const auto p = std::filesystem::temp_directory_path() / ("btgen-user-" + std::to_string(::getpid()) + "-" + name);
    std::ofstream(p, std::ios::binary) << content;
    return p.string();
}
}  // namespace

TEST(UserDataFile, BitsInByteOrderCutToTheLimit) {
    const std::string p = writeFile("three", std::string("\x01\xF0\xA5", 3));
    const UserDataFile twenty = readUserDataFile(p, 20, "left-msb");
    EXPECT_EQ(twenty.status, 1);
    EXPECT_EQ(twenty.bits, (Bits{0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1, 0, 1, 0}));
    EXPECT_EQ(readUserDataFile(p, 100, "left-msb").bits.size(), 24u);
    const Bits lsb = readUserDataFile(p, 8).bits;  // default: least significant bit first
    EXPECT_EQ(lsb, (Bits{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(readUserDataFile(p, 8, "rightish").bits, lsb);  // only "right" is compared
    EXPECT_EQ(readUserDataFile(p, 0, "left-msb").bits.size(), 0u);
    std::filesystem::remove(p);

    const std::string empty = writeFile("empty", "");
    const UserDataFile e = readUserDataFile(empty, 80000, "left-msb");
    EXPECT_EQ(e.status, 1);
    EXPECT_TRUE(e.bits.empty());
    std::filesystem::remove(empty);
}

TEST(UserDataFile, LargeFilesAreReadOnlyAsFarAsNeededAndDevicesAreRefused) {
    // A sparse file of a gigabyte: reading must stop at the limit.
    const auto big = std::filesystem::temp_directory_path() / ("btgen-big-" + std::to_string(::getpid()));
    { std::ofstream(big).put('\xff'); }
    std::filesystem::resize_file(big, 1ull << 30);
    const UserDataFile z = readUserDataFile(big.string(), 80000, "left-msb");
    std::filesystem::remove(big);
    EXPECT_EQ(z.status, 1);
    ASSERT_EQ(z.bits.size(), 80000u);
    EXPECT_EQ(z.bits[0], 1);
    EXPECT_EQ(z.bits[8], 0);

    // Neither a device that never ends nor a FIFO without a writer may
    // hang the reader: only plain files are read.
    const UserDataFile d = readUserDataFile("/dev/zero", 80000, "left-msb");
    EXPECT_NE(d.status, 1);
    EXPECT_TRUE(d.bits.empty());
    const auto fifo = std::filesystem::temp_directory_path() / ("btgen-fifo-" + std::to_string(::getpid()));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const UserDataFile f = readUserDataFile(fifo.string(), 80, "left-msb");
    std::filesystem::remove(fifo);
    EXPECT_NE(f.status, 1);
    EXPECT_EQ(f.errorText, "Could not open\n" + fifo.string());
}

TEST(UserDataFile, UnreadableFilesReportTheName) {
    const UserDataFile r = readUserDataFile("/no/such/file.bin", 80, "left-msb");
    EXPECT_EQ(r.status, -1);
    EXPECT_TRUE(r.bits.empty());
    EXPECT_EQ(r.errorText, "Could not open\n/no/such/file.bin");
    EXPECT_EQ(readUserDataFile("/tmp", 80).status, -1);  // a folder is no data file
}

// The dialogs go through the dialog service: cancelling shows nothing more,
// a file that fails shows the "File Error" box, a good one none.
TEST(UserDataFile, LoadAsksForTheFileAndReportsFailures) {
    PresetDialogs cancel;
    EXPECT_EQ(loadUserDatafile(80000, "left-msb", cancel).status, -1);
    ASSERT_EQ(cancel.shown().size(), 1u);
    EXPECT_EQ(cancel.shown()[0].kind, "open file");
    EXPECT_EQ(cancel.shown()[0].title, "Select data source file.");
    EXPECT_EQ(cancel.shown()[0].text, "*.*");

    const std::string good = writeFile("good", "\x80");
    PresetDialogs pick("", good);
    const UserDataFile r = loadUserDatafile(80000, "left-msb", pick);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.bits, (Bits{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(pick.shown().size(), 1u);
    std::filesystem::remove(good);

    // /proc/self/mem opens but its first page cannot be read.
    for (auto [path, text] : {std::pair{"/no/such/file.bin", "Could not open\n/no/such/file.bin"},
                              {"/proc/self/mem", "Could not read\n/proc/self/mem"}}) {
        PresetDialogs failing("", path);
        const UserDataFile f = loadUserDatafile(80000, "left-msb", failing);
        EXPECT_EQ(f.status, -1);
        EXPECT_TRUE(f.bits.empty());
        ASSERT_EQ(failing.shown().size(), 2u);
        EXPECT_EQ(failing.shown()[1].kind, "error");
        EXPECT_EQ(failing.shown()[1].title, "File Error");
        EXPECT_EQ(failing.shown()[1].text, text);
    }
}
