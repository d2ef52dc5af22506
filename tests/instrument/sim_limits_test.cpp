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

#include <cerrno>
#include <chrono>
#include <cstdio>
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

// Exactly n bytes, or fewer when the connection ends.
std::string readBytes(int fd, std::size_t n) {
    std::string out(n, '\0');
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::recv(fd, out.data() + done, n - done, 0);
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    out.resize(done);
    return out;
}

// One definite-length block reply and its line end: the data.
std::string readBlockReply(int fd) {
    const std::string head = readBytes(fd, 2);
    if (head.size() != 2 || head[0] != '#' || head[1] < '1' || head[1] > '9') return {};
    const std::string digits = readBytes(fd, static_cast<std::size_t>(head[1] - '0'));
    const std::string data = readBytes(fd, std::stoul(digits));
    return readBytes(fd, 1) == "\n" ? data : std::string();
}

TEST(SimLimits, RepliesOfALineLeaveAsTheyAreMade) {
    testsupport::SimProcess sim({"--memory", "1000000"}, {asanReleasingAtOnce()});
    ASSERT_NE(sim.port(), 0);
    const int fd = connectTo(sim.port());
    ASSERT_GE(fd, 0);
    std::string iq(4'000'000, '\0');
    for (std::size_t k = 0; k < iq.size(); ++k) iq[k] = static_cast<char>(k * 7 % 251);
    ASSERT_TRUE(sendAll(fd, ":MEM:DATA \"WFM1:W\"," + *blockHeader(iq.size()) + iq + "\n*OPC?\n"));
    ASSERT_EQ(readLine(fd), "1");
    const long before = sim.residentKb();
    // 150 queries of the 4 MB waveform on one line: 600 MB if every reply
    // were made before the first is sent.
    constexpr int queries = 150;
    std::string line;
    for (int k = 0; k < queries; ++k) line += (k ? ";" : "") + std::string(":MEM:DATA? \"WFM1:W\"");
    ASSERT_TRUE(sendAll(fd, line + "\n"));
    ASSERT_EQ(readBlockReply(fd), iq);
    // The client reads slowly: the simulator waits with one reply, not all.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long held = sim.residentKb() - before;
    EXPECT_LT(held, 60'000) << "kB held while the client had read one reply of " << queries;
    int complete = 1;
    for (int k = 1; k < queries; ++k) complete += readBlockReply(fd) == iq;
    EXPECT_EQ(complete, queries);
    ASSERT_TRUE(sendAll(fd, "*OPC?\n"));
    EXPECT_EQ(readLine(fd), "1");
    ::close(fd);
    std::printf("resident growth with one reply of %d taken: %ld kB\n", queries, held);
}

TEST(SimLimits, TricklingClientsAreClosedAndTheOneTooManyIsTold) {
    sim::ServerOptions options;
    options.lineTimeoutMs = 400;
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
    std::vector<int> slow;
    for (std::size_t k = 0; k < options.maxConnections; ++k) slow.push_back(connectTo(port));
    // Every slow client sends a byte now and then: each resets an idle
    // timer, none completes a line.
    for (int fd : slow) ASSERT_TRUE(sendAll(fd, "*"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int extra = connectTo(port);
    EXPECT_EQ(readLine(extra), "ixo-sim: too many connections (8 at most); try again later");
    ::close(extra);
    std::vector<bool> closed(slow.size(), false);
    for (int round = 0; round < 100; ++round) {
        bool all = true;
        for (std::size_t k = 0; k < slow.size(); ++k) {
            if (!closed[k]) {
                char c;
                const ssize_t r = ::recv(slow[k], &c, 1, MSG_DONTWAIT);
                closed[k] = r == 0 || (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
                if (!closed[k]) sendAll(slow[k], "I");
            }
            all = all && closed[k];
        }
        if (all) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    for (std::size_t k = 0; k < slow.size(); ++k) {
        EXPECT_TRUE(closed[k]) << "slow client " << k << " was kept";
        ::close(slow[k]);
    }
    Configuration c;
    c.type = "TCPIP";
    c.TCPIP.address = "127.0.0.1:" + std::to_string(port);
    HwSetTimeout(c, 5000);
    EXPECT_EQ(HwQuery(c, "*IDN?").status, 0);
    server.stop();
    std::lock_guard lock(logMutex);
    int refusals = 0, slowLines = 0;
    for (const std::string& l : log) {
        refusals += l.starts_with("refused a connection from 127.0.0.1:");
        slowLines += l.ends_with(": a command line took longer than 0.4 s to arrive");
    }
    EXPECT_EQ(refusals, 1);
    EXPECT_EQ(slowLines, static_cast<int>(options.maxConnections));
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
