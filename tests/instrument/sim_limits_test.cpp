// The simulator against hostile clients: idle clients are closed so others
// get in, and neither a long transcript nor lines full of blocks grow its
// memory beyond the instrument's own.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "instrument/block_format.h"
#include "instrument/hw_wrappers.h"
#include "sim/sim_server.h"
#include "support/process.h"

extern char** environ;

namespace bt {
namespace {

int connectTo(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// True once the server has closed `fd`, waiting at most `ms`.
bool closedByServer(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return false;
    char c;
    return ::recv(fd, &c, 1, MSG_DONTWAIT) == 0;
}

bool sendAll(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string readLine(int fd) {
    std::string line;
    char c;
    while (::recv(fd, &c, 1, 0) == 1 && c != '\n') line += c;
    return line;
}

TEST(SimLimits, IdleClientsAreClosedSoOthersGetIn) {
    sim::ServerOptions options;
    options.idleTimeoutMs = 300;
    std::mutex logMutex;
    std::vector<std::string> log;
    options.log = [&](const std::string& line) {
        std::lock_guard lock(logMutex);
        log.push_back(line);
    };
    sim::Server server(options);
    std::string error;
    const std::uint16_t port = server.start(0, error);
    ASSERT_NE(port, 0) << error;

    std::vector<int> idle;
    for (std::size_t k = 0; k < options.maxConnections; ++k) idle.push_back(connectTo(port));
    for (int fd : idle) {
        EXPECT_TRUE(closedByServer(fd, 10'000)) << "an idle client was kept";
        ::close(fd);
    }
    Configuration c;
    c.type = "TCPIP";
    c.TCPIP.address = "127.0.0.1:" + std::to_string(port);
    HwSetTimeout(c, 5000);
    const HwResult r = HwQuery(c, "*IDN?");
    EXPECT_EQ(r.status, 0) << r.response;
    server.stop();
    std::lock_guard lock(logMutex);
    ASSERT_EQ(log.size(), options.maxConnections);
    EXPECT_TRUE(log[0].starts_with("closed the connection from 127.0.0.1:")) << log[0];
    EXPECT_TRUE(log[0].ends_with(": idle for 0.3 s")) << log[0];
}

TEST(SimLimits, BlocksBeyondTheWaveformMemoryAreAnsweredWithTheInstrumentsError) {
    sim::ServerOptions options;
    options.instrument.memorySamples = 1000;  // 4000 bytes of I/Q
    sim::Server server(options);
    std::string error;
    const std::uint16_t port = server.start(0, error);
    ASSERT_NE(port, 0) << error;
    const int fd = connectTo(port);
    const std::string block = *blockHeader(3000) + std::string(3000, 'x');

    // Two blocks of 3000 bytes on one line: the second is refused and the
    // line is not executed.
    ASSERT_TRUE(sendAll(fd, ":MEM:DATA \"WFM1:A\"," + block + ";:MEM:DATA \"WFM1:B\"," + block + "\nSYST:ERR?\n"));
    EXPECT_EQ(readLine(fd), "-225,\"Out of memory;blocks of one line exceed the waveform memory\"");
    EXPECT_FALSE(server.instrument().waveform("A"));
    // One per line is fine.
    ASSERT_TRUE(sendAll(fd, ":MEM:DATA \"WFM1:A\"," + block + "\nSYST:ERR?\n"));
    EXPECT_EQ(readLine(fd), "+0,\"No error\"");
    EXPECT_TRUE(server.instrument().waveform("A"));

    // Blocks that several connections hold at once share a cap of twice
    // the memory: a third connection's block waits for nothing, it is refused.
    const int a = connectTo(port);
    const int b = connectTo(port);
    const int third = connectTo(port);
    ASSERT_TRUE(sendAll(a, ":MEM:DATA \"WFM1:C\"," + block.substr(0, 100)));
    ASSERT_TRUE(sendAll(b, ":MEM:DATA \"WFM1:D\"," + block.substr(0, 100)));
    for (int k = 0; k < 500 && server.heldBlockBytes() < 6000; ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(server.heldBlockBytes(), 6000u);
    ASSERT_TRUE(sendAll(third, ":MEM:DATA \"WFM1:E\"," + block + "\nSYST:ERR?\n"));
    EXPECT_EQ(readLine(third), "-225,\"Out of memory;blocks in transfer exceed the waveform memory\"");
    for (int s : {a, b, third, fd}) ::close(s);
    for (int k = 0; k < 500 && server.heldBlockBytes() > 0; ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(server.heldBlockBytes(), 0u) << "a closed connection's blocks are released";
    server.stop();
}

// Under AddressSanitizer freed memory would sit in its quarantine and count
// as resident: the measurement wants it reused at once.
std::string asanReleasingAtOnce() {
    const char* asan = std::getenv("ASAN_OPTIONS");
    return std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : std::string()) +
           "quarantine_size_mb=0:allocator_release_to_os_interval_ms=0";
}

TEST(SimLimits, HostileLinesDoNotGrowTheSimulatorsMemory) {
    // 1 M samples of waveform memory: at most 4 MB of blocks on one line.
    testsupport::SimProcess sim({"--memory", "1000000"}, {asanReleasingAtOnce()});
    ASSERT_NE(sim.port(), 0);
    const int fd = connectTo(sim.port());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendAll(fd, "*IDN?\n"));
    ASSERT_FALSE(readLine(fd).empty());
    const long before = sim.residentKb();
    ASSERT_GT(before, 0);

    // 600 lines of 60 kB: 36 MB of transcript if all of it were kept.
    const std::string line = ":SOUR:RAD:ARB:WAV \"" + std::string(60'000, 'A') + "\"\n";
    for (int k = 0; k < 600; ++k) ASSERT_TRUE(sendAll(fd, line));
    ASSERT_TRUE(sendAll(fd, "*OPC?\n"));
    EXPECT_EQ(readLine(fd), "1");
    const long afterTranscript = sim.residentKb();
    EXPECT_LT(afterTranscript - before, 16'000) << "kB held after the long transcript";

    // 30 blocks of 1 MB on one line that never ends: held, they would be 30 MB.
    const std::string block = *blockHeader(1'000'000) + std::string(1'000'000, 'x');
    ASSERT_TRUE(sendAll(fd, ":MEM:DATA \"WFM1:X\"," + block));
    for (int k = 0; k < 29; ++k) ASSERT_TRUE(sendAll(fd, ";:MEM:DATA \"WFM1:X\"," + block));
    // Every byte taken by the simulator's side, then a moment to read them.
    int unsent = 1;
    for (int k = 0; k < 1000 && unsent > 0; ++k) {
        ::ioctl(fd, SIOCOUTQ, &unsent);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const long afterBlocks = sim.residentKb();
    EXPECT_LT(afterBlocks - afterTranscript, 12'000) << "kB held for the unfinished line";
    ::close(fd);
}

}  // namespace
}  // namespace bt

namespace bt {
namespace {

TEST(SimLimits, OptionValuesThatAreNotUsableAreRefused) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--idle-timeout", "nan"},
                                                 {"--idle-timeout", "-1"},
                                                 {"--idle-timeout", "0"},
                                                 {"--memory", "-5"},
                                                 {"--memory", "0.5"},
                                                 {"--memory", "1e400"},
                                                 {"--rx-noise", "nan"},
                                                 {"--port", "70000"}}) {
        // On a free port, should a value be taken after all.
        std::vector<std::string> argv = {"timeout", "20", testsupport::appPath("ixo-sim")};
        if (args[0] != "--port") argv.insert(argv.end(), {"--port", "0"});
        argv.insert(argv.end(), args.begin(), args.end());
        const auto r = testsupport::runProcess(argv);
        EXPECT_EQ(r.status, 2) << args[0] << " " << args[1] << ": " << r.err;
        EXPECT_NE(r.err.find(args[0]), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace bt
