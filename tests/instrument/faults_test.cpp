// A misbehaving instrument: every fault comes back as a non-zero status with
// a text, within the timeout plus a second, and the next transfer works.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <thread>

#include "instrument/block_format.h"
#include "instrument/scpi_session.h"
#include "instrument/tcp_transport.h"
#include "sim_fixture.h"

namespace bt {
namespace {

constexpr int kTimeoutMs = 500;

class Faults : public test::SimInstrumentTest {
protected:
    void SetUp() override {
        startSim();
        HwSetTimeout(config, kTimeoutMs);
        const std::size_t n = 100000;
        wave.resize(n);
        marks.resize(n);
        for (std::size_t k = 0; k < n; ++k) {
            wave[k] = std::polar(1.0, 0.001 * static_cast<double>(k));
            marks.row1[k] = k % 10 < 3;
        }
    }

    // Bytes of the last finished connection, waiting for the server to see
    // the client go.
    std::uint64_t lastConnectionBytes(std::size_t before) {
        for (int k = 0; k < 200 && server->connectionBytes().size() <= before; ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return server->connectionBytes().back();
    }

    void expectCleanDownload() {
        server->setFaults({});
        const HwResult r = HwDownload(config, wave, marks, "norm", 1, "BT");
        ASSERT_EQ(r.status, 0) << r.response;
        const auto stored = instrument().waveform("BT");
        ASSERT_TRUE(stored);
        std::vector<std::uint8_t> expected(4 * wave.size());
        IqEncoder(wave).encode(0, wave.size(), expected.data());
        EXPECT_EQ(crc32(stored->iq), crc32(expected));
    }

    // Runs `f`, expecting a failure reported within the timeout plus a second.
    template <class F>
    HwResult expectPromptFailure(F&& f, const std::string& what) {
        HwResult r;
        const long long ms = test::elapsedMs([&] { r = f(); });
        EXPECT_NE(r.status, 0) << what;
        EXPECT_FALSE(r.response.empty()) << what;
        EXPECT_LT(ms, kTimeoutMs + 1000) << what;
        return r;
    }

    ComplexRow wave;
    Markers marks;
};

TEST_F(Faults, DroppedConnectionAtEveryStageOfATransfer) {
    const std::size_t before = server->connectionBytes().size();
    ASSERT_EQ(HwDownload(config, wave, marks, "norm", 1, "BT").status, 0);
    const std::uint64_t total = lastConnectionBytes(before);
    ASSERT_GT(total, 5 * wave.size());

    for (std::uint64_t cut : {std::uint64_t{0}, std::uint64_t{1}, total / 100, total / 2, total * 99 / 100, total - 1}) {
        sim::Faults f;
        f.closeAfter = cut;
        server->setFaults(f);
        const HwResult r = expectPromptFailure([&] { return HwDownload(config, wave, marks, "norm", 1, "BT"); },
                                               "closed after " + std::to_string(cut) + " of " + std::to_string(total));
        EXPECT_TRUE(r.status == io_status::kClosed || r.status == io_status::kTimeout) << r.response;
        expectCleanDownload();
    }
}

TEST_F(Faults, StalledInstrument) {
    for (std::uint64_t at : {std::uint64_t{0}, std::uint64_t{200000}}) {
        sim::Faults f;
        f.stallAfter = at;
        server->setFaults(f);
        const HwResult r =
            expectPromptFailure([&] { return HwDownload(config, wave, marks, "norm", 1, "BT"); }, "stall");
        EXPECT_EQ(r.status, io_status::kTimeout) << r.response;
        expectCleanDownload();
    }
}

TEST_F(Faults, LateAnswers) {
    sim::Faults f;
    f.lateMs = 100;
    server->setFaults(f);
    EXPECT_EQ(HwQuery(config, "*IDN?").status, 0);  // late, but within the timeout
    f.lateMs = kTimeoutMs + 400;
    server->setFaults(f);
    const HwResult r = expectPromptFailure([&] { return HwQuery(config, "*IDN?"); }, "late");
    EXPECT_EQ(r.status, io_status::kTimeout);
}

TEST_F(Faults, GarbledErrorQueueReplyIsNotTakenAsSuccess) {
    sim::Faults f;
    f.garble = true;
    server->setFaults(f);
    const HwResult r = HwSend(config, ":OUTP ON");
    EXPECT_EQ(r.status, io_status::kReply) << r.response;
    EXPECT_NE(HwDownload(config, wave, marks, "norm", 1, "BT").status, 0);
}

TEST_F(Faults, FloodedIdentificationIsRefused) {
    sim::Faults f;
    f.flood = 1 << 20;  // 1 MB, no line feed
    server->setFaults(f);
    const HwResult r = expectPromptFailure([&] { return HwQuery(config, "*IDN?"); }, "flood");
    EXPECT_EQ(r.status, io_status::kReply);
    EXPECT_LT(r.response.size(), 200u);
    EXPECT_NE(GetInstrModel(config).status, 0);
    EXPECT_NE(VerifyFirmwareVersion(config, "B.03.83").status, 0);
}

class BadBlockReply : public Faults, public ::testing::WithParamInterface<const char*> {};

TEST_P(BadBlockReply, IsReportedNeverTrusted) {
    ASSERT_EQ(HwDownload(config, wave, marks, "norm", 1, "BT").status, 0);
    sim::Faults f;
    f.badBlock = GetParam();
    server->setFaults(f);
    const HwResult r = expectPromptFailure([&] { return HwQuery(config, ":MEM:DATA? \"WFM1:BT\""); }, GetParam());
    EXPECT_TRUE(r.status == io_status::kReply || r.status == io_status::kTimeout) << r.response;
}

INSTANTIATE_TEST_SUITE_P(Kinds, BadBlockReply, ::testing::Values("indefinite", "zero", "nondigit", "long"));

// Raw bytes straight to the simulator's socket.
void sendRaw(std::uint16_t port, const std::string& bytes) {
    TcpTransport t({"127.0.0.1", port});
    ASSERT_EQ(t.open(1000).status, 0);
    ASSERT_EQ(t.write({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, 1000).status, 0);
}

TEST_F(Faults, GarbageFillsTheErrorQueueNotACrash) {
    std::string garbage;
    std::uint32_t x = 12345;
    for (int k = 0; k < 200000; ++k) {
        x = x * 1103515245 + 12345;
        garbage += static_cast<char>(x >> 24);
    }
    // Malformed blocks, an overlong line, and last a block far beyond the
    // cap that swallows whatever follows.
    garbage += "\n#0abc\n:MEM:DATA \"WFM1:X\",#3abc\n" + std::string(100000, 'A') + "\n#9999999999\n*RST\n";
    const std::size_t before = server->connectionBytes().size();
    sendRaw(port, garbage);
    lastConnectionBytes(before);
    const HwResult idn = HwQuery(config, "*IDN?");
    EXPECT_EQ(idn.status, 0) << idn.response;
    const auto queue = instrument().errorQueue();
    ASSERT_EQ(queue.size(), 30u);
    EXPECT_EQ(queue.back().first, -350);
    EXPECT_EQ(HwQuery(config, "SYST:ERR?").status, 0);
    expectCleanDownload();
}

TEST_F(Faults, OversizedBlocksAndLinesAreRefused) {
    server->stop();
    sim::ServerOptions o;
    o.maxBlock = 1000;
    o.maxLine = 256;
    startSim(o);
    HwResult r = HwDownload(config, ComplexRow(1000, {1, 1}), Markers{}, "norm", 1, "BIG");
    EXPECT_EQ(r.status, io_status::kInstrument);
    EXPECT_NE(r.response.find("Too much data"), std::string::npos) << r.response;
    r = HwSend(config, ":SOUR:RAD:ARB:WAV \"" + std::string(300, 'x') + "\"");
    EXPECT_EQ(r.status, io_status::kInstrument);
    EXPECT_EQ(HwQuery(config, "*OPC?").response, "1");
}

// A one-connection server that reads the query and then does `behave`.
class RawInstrument {
public:
    explicit RawInstrument(std::function<void(int)> behave) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener_, 1);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        thread_ = std::thread([this, behave] {
            const int fd = ::accept(listener_, nullptr, nullptr);
            char c = 0;
            while (::recv(fd, &c, 1, 0) == 1 && c != '\n') {
            }
            behave(fd);
            ::close(fd);
        });
    }
    ~RawInstrument() {
        thread_.join();
        ::close(listener_);
    }
    Configuration config() const {
        Configuration c;
        c.type = "TCPIP";
        c.TCPIP.address = "127.0.0.1:" + std::to_string(port);
        return c;
    }
    std::uint16_t port = 0;

private:
    int listener_ = -1;
    std::thread thread_;
};

// A reply is read byte by byte as it arrives, however slowly, as long as it
// is complete within the timeout (a reply that drips on beyond it is
// bounded_io_test's).
TEST(Timeouts, ASlowReplyWithinTheTimeoutIsReadWhole) {
    const std::string idn = "Veltor,R7720C,SLOW,C.03.10\n";
    RawInstrument slow([&](int fd) {
        for (char c : idn) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ::send(fd, &c, 1, MSG_NOSIGNAL);
        }
    });
    const Configuration c = slow.config();
    HwSetTimeout(c, 4000);  // more than the 1.35 s the reply takes
    HwResult r;
    const long long ms = test::elapsedMs([&] { r = HwQuery(c, "*IDN?"); });
    EXPECT_EQ(r.status, 0) << r.response;
    EXPECT_EQ(r.response + "\n", idn);
    EXPECT_GT(ms, 1000);
}

TEST(Timeouts, AConnectionClosedByTheInstrumentIsReportedAtOnce) {
    RawInstrument closing([](int) {});
    const Configuration c = closing.config();
    HwSetTimeout(c, 5000);
    HwResult r;
    const long long ms = test::elapsedMs([&] { r = HwQuery(c, "*IDN?"); });
    EXPECT_EQ(r.status, io_status::kClosed) << r.response;
    EXPECT_LT(ms, 1000);
}

}  // namespace
}  // namespace bt
