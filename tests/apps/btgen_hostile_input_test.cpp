// btgen against hostile input and a broken instrument: every refusal is an
// exit status of its kind with the reason, nothing waits without end, and
// nothing unusable is written or reported as success.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "bluetooth/settings.h"
#include "support/fake_instrument.h"
#include "support/files.h"
#include "support/process.h"
#include "app/settings_files.h"

namespace {

using bttest::ScratchDir;
using testsupport::FakeInstrument;

// btgen under a time limit: a program that would wait for ever ends with
// status 124 instead of holding up the suite.
testsupport::ProcessResult btgen(std::vector<std::string> args) {
    args.insert(args.begin(), {"timeout", "60", testsupport::appPath("btgen")});
    return testsupport::runProcess(args);
}

bool mentions(const testsupport::ProcessResult& r, const std::string& text) {
    return r.err.find(text) != std::string::npos;
}

TEST(BtgenHostileInput, AnInputThatIsNotARegularFileIsRefusedAtOnce) {
    const ScratchDir dir;
    const std::string fifo = (dir / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string out = (dir / "x.raw").string();

    const auto settings = btgen({"generate", "--settings", fifo, "-o", out});
    EXPECT_EQ(settings.status, 2) << settings.err;
    EXPECT_TRUE(mentions(settings, "not a regular file")) << settings.err;
    const auto dirtyTx = btgen({"dirty-tx", "--settings", fifo, "--calculate", "-o", (dir / "dt.mat").string()});
    EXPECT_EQ(dirtyTx.status, 2) << dirtyTx.err;
    const auto user = btgen({"generate", "--user-file", fifo, "-o", out});
    EXPECT_EQ(user.status, 2) << user.err;
    const auto device = btgen({"generate", "--settings", "/dev/zero", "-o", out});
    EXPECT_EQ(device.status, 2) << device.err;
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(BtgenHostileInput, OptionValuesAreCheckedWithTheReason) {
    const ScratchDir dir;
    const std::string out = (dir / "x.raw").string();
    for (const char* bad : {"nan", "-5", "0.5", "0", "1e400", "inf", ""}) {
        const auto r = btgen({"idn", "--tcpip", "127.0.0.1:9", "--timeout", bad});
        EXPECT_EQ(r.status, 2) << bad << ": " << r.err;
        EXPECT_TRUE(mentions(r, "--timeout")) << r.err;
    }
    const auto slot = btgen({"dirty-tx", "--external", "--slot-sync-delay", "nan", "--calculate", "-o", out});
    EXPECT_EQ(slot.status, 2) << slot.err;
    EXPECT_TRUE(mentions(slot, "--slot-sync-delay")) << slot.err;
    EXPECT_EQ(btgen({"idn", "--tcpip", "127.0.0.1:9", "--baud", "-5"}).status, 2);
    for (const char* bad : {"nan", "inf", "-1"}) {
        const auto rate = btgen({"measure", "/dev/null", "--rate", bad});
        EXPECT_EQ(rate.status, 2) << bad << ": " << rate.err;
        EXPECT_TRUE(mentions(rate, "--rate")) << rate.err;
    }

    // An empty file name is a mistake, not "no file".
    const auto empty = btgen({"generate", "--settings", "", "-o", out});
    EXPECT_EQ(empty.status, 2) << empty.err;
    EXPECT_TRUE(mentions(empty, "empty")) << empty.err;
    EXPECT_EQ(btgen({"generate", "--user-file", "", "-o", out}).status, 2);
    EXPECT_FALSE(std::filesystem::exists(out));

    // 400 digits overflow like 1e400: to the largest value, not the least.
    const auto huge = btgen({"size", "--set", "OverSampling=" + std::string(400, '1')});
    ASSERT_EQ(huge.status, 0) << huge.err;
    EXPECT_NE(huge.err.find("OverSampling: \"20\""), std::string::npos) << huge.err;
}

TEST(BtgenHostileInput, SignalGeneratorEditsPassTheWindowsLimits) {
    // Refused before any connection is tried (nothing listens on port 9).
    for (const char* edit : {"Title=a\";*RST;\"", "Title=", "Frequency=7e9", "Amplitude=1e400", "ALC=0.5"}) {
        const auto r = btgen({"refresh", "--tcpip", "127.0.0.1:9", "--sg", edit});
        EXPECT_EQ(r.status, 2) << edit << ": " << r.err;
        EXPECT_TRUE(mentions(r, "signal-generator settings cannot be used")) << r.err;
    }
    const auto nan = btgen({"refresh", "--tcpip", "127.0.0.1:9", "--sg", "Frequency=nan"});
    EXPECT_EQ(nan.status, 2) << nan.err;
    EXPECT_TRUE(mentions(nan, "is not a number")) << nan.err;
}

TEST(BtgenHostileInput, AFileWhoseSettingsWouldGiveNoNumbersIsRefused) {
    const ScratchDir dir;
    bt::Parameters p;
    p.ModIndex = 1e308;
    ASSERT_TRUE(bt::saveParameters(dir / "bomb.bt", p, bt::defaultSigGenSettings(p), bt::MatCompression::None));
    const std::string out = (dir / "x.raw").string();
    const auto r = btgen({"generate", "--settings", (dir / "bomb.bt").string(), "-o", out});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(mentions(r, "ModIndex")) << r.err;
    EXPECT_FALSE(std::filesystem::exists(out));
}

// Answers each query with what `reply` gives for it, over as many
// connections as the client opens.
FakeInstrument answering(std::function<std::string(const std::string& query)> reply) {
    return FakeInstrument([reply](FakeInstrument& f, int fd) {
        for (std::string line = f.readLine(fd); !line.empty(); line = f.readLine(fd))
            if (line.find('?') != std::string::npos && !f.send(fd, reply(line) + "\n")) return;
    });
}

TEST(BtgenHostileInput, RepliesThatMakeNoSenseAreFailures) {
    auto noModel = answering([](const std::string&) { return "ACME"; });
    const auto idn = btgen({"idn", "--tcpip", noModel.address(), "--timeout", "2000"});
    EXPECT_EQ(idn.status, 4) << idn.out << idn.err;
    EXPECT_TRUE(mentions(idn, "names no instrument model")) << idn.err;

    auto control = answering([](const std::string&) { return std::string("Veltor,R7720C,\x01\x02,C.03.10"); });
    const auto garbled = btgen({"idn", "--tcpip", control.address(), "--timeout", "2000"});
    EXPECT_EQ(garbled.status, 4) << garbled.out << garbled.err;
    EXPECT_TRUE(mentions(garbled, "\\x01\\x02")) << garbled.err;

    // Control characters where numbers belong.
    auto numbers = answering([](const std::string& q) -> std::string {
        if (q.starts_with(":SOUR:RAD:ARB:WAV?")) return "\"WFM1:BT\"";
        if (q.starts_with(":MEM:CAT?")) return "0,0";
        if (q.starts_with(":SOUR:RAD:ARB:STAT?") || q.starts_with(":OUTP?")) return "1";
        return "\x07\x08";
    });
    const auto status = btgen({"status", "--tcpip", numbers.address(), "--timeout", "2000"});
    EXPECT_EQ(status.status, 4) << status.out << status.err;
    EXPECT_TRUE(mentions(status, ":FREQ? makes no sense")) << status.err;
    EXPECT_TRUE(status.out.empty()) << status.out;
}

TEST(BtgenHostileInput, ADrippingInstrumentEndsAtTheTimeout) {
    FakeInstrument drip([](FakeInstrument& f, int fd) {
        if (f.readLine(fd).empty()) return;
        for (int k = 0; k < 300 && f.pause(100); ++k)
            if (!f.send(fd, "V")) return;
    });
    const auto r = btgen({"idn", "--tcpip", drip.address(), "--timeout", "500"});
    EXPECT_EQ(r.status, 4) << r.err;
    EXPECT_TRUE(mentions(r, "did not complete the exchange within 500 ms")) << r.err;
}

TEST(BtgenHostileInput, TheHelpListsTheExitStatuses) {
    const auto r = btgen({"--help"});
    ASSERT_EQ(r.status, 0);
    for (const char* kind : {"Exit status: 0 success", "2 bad input", "3 a measured test failed", "4 the instrument",
                             "5 a file could not be written"})
        EXPECT_NE(r.out.find(kind), std::string::npos) << kind << "\n" << r.out;
}

}  // namespace
