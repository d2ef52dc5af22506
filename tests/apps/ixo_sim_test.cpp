// ixo-sim as users run it: its own process on a free loopback port, with
// the transcript of every command it received written to a file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"

namespace {

using testsupport::SimProcess;

std::vector<std::string> lines(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

TEST(IxoSim, TranscriptFileHoldsEveryCommandOnALineOfItsOwn) {
    const bttest::ScratchDir dir;
    const auto file = dir / "commands.txt";
    SimProcess sim({"--transcript", file.string()});
    ASSERT_NE(sim.port(), 0);
    const std::string address = "127.0.0.1:" + std::to_string(sim.port());
    const auto btgen = testsupport::appPath("btgen");
    ASSERT_EQ(testsupport::runProcess({btgen, "send", "--tcpip", address, ":SOUR:FREQ 2.44GHZ"}).status, 0);
    ASSERT_EQ(testsupport::runProcess({btgen, "download", "--tcpip", address, "--set", "OverSampling=2"}).status, 0);
    EXPECT_EQ(sim.stop(), 0);

    const std::vector<std::string> got = lines(file);
    const auto has = [&](const std::string& prefix) {
        for (const std::string& l : got)
            if (l.rfind(prefix, 0) == 0) return true;
        return false;
    };
    EXPECT_TRUE(has(":SOUR:FREQ 2.44GHZ"));
    EXPECT_TRUE(has(":SOUR:RAD:ARB:STATe OFF"));
    EXPECT_TRUE(has(":MEM:DATA"));  // the waveform's block, shown by its length
    for (const std::string& l : got) EXPECT_EQ(l.find('\r'), std::string::npos) << l;

    // A file that cannot be written is refused before anything listens.
    const auto bad = testsupport::runProcess(
        {testsupport::appPath("ixo-sim"), "--port", "0", "--transcript", (dir / "no" / "such" / "x.txt").string()});
    EXPECT_NE(bad.status, 0);
    EXPECT_NE(bad.err.find("x.txt"), std::string::npos) << bad.err;
}

// A transcript that is a FIFO would hold the start before the port is
// printed; one that cannot be written (/dev/full) is said once, not lost
// line by line.
TEST(IxoSim, TranscriptsThatCannotBeWrittenAreSaidSo) {
    const bttest::ScratchDir dir;
    const auto fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto r = testsupport::runProcess(
        {"timeout", "20", testsupport::appPath("ixo-sim"), "--port", "0", "--transcript", fifo.string()});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("fifo"), std::string::npos) << r.err;

    const std::string script = R"(
sim="$1"; btgen="$2"; dir="$3"
"$sim" --port 0 --transcript /dev/full > "$dir/port" 2> "$dir/err" &
pid=$!
for i in $(seq 200); do [ -s "$dir/port" ] && break; sleep 0.05; done
port=$(head -n 1 "$dir/port")
for k in 1 2 3; do "$btgen" send --tcpip "127.0.0.1:$port" ":SOUR:FREQ 2.4GHZ" || echo "send failed"; done
kill -TERM $pid; wait $pid; echo "status $?"
cat "$dir/err" >&2
)";
    const auto full = testsupport::runProcess({"sh", "-c", script, "sh", testsupport::appPath("ixo-sim"),
                                               testsupport::appPath("btgen"), dir.path().string()});
    EXPECT_NE(full.out.find("status 0"), std::string::npos) << full.out << full.err;
    EXPECT_EQ(full.out.find("send failed"), std::string::npos) << full.out;
    std::size_t said = 0;
    for (auto at = full.err.find("cannot write the transcript /dev/full"); at != std::string::npos;
         at = full.err.find("cannot write the transcript /dev/full", at + 1))
        ++said;
    EXPECT_EQ(said, 1u) << full.err;
    EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
}

}  // namespace
