// ixo-sim as users run it: its own process on a free loopback port, with
// the transcript of every command it received written to a file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"

namespace {

// Starts ixo-sim on port 0 and reads the port it prints; stops it with
// SIGTERM, as a user's Ctrl-C would.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args) {
        int out[2];
        if (::pipe(out) != 0) return;
        args.insert(args.begin(), {testsupport::appPath("ixo-sim"), "--port", "0"});
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            const int quiet = ::open("/dev/null", O_WRONLY);  // its "listening on" line
            if (quiet >= 0) ::dup2(quiet, 2);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        std::string line;
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
        ::close(out[0]);
        port_ = static_cast<std::uint16_t>(std::atoi(line.c_str()));
    }
    ~SimProcess() { stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    std::uint16_t port() const { return port_; }
    int stop() {
        int status = -1;
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
        }
        return status;
    }

private:
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
};

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

}  // namespace
