// An instrument that drips, lies about block lengths or sends blocks nobody
// asked for: every exchange ends within its deadline, and no client holds
// more than the reply it expects.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "instrument/hw_wrappers.h"
#include "instrument/hwio.h"
#include "instrument/scpi_session.h"
#include "support/fake_instrument.h"

namespace bt {
namespace {

using testsupport::FakeInstrument;

Configuration lan(const FakeInstrument& fake, double timeoutMs) {
    Configuration c;
    c.type = "TCPIP";
    c.TCPIP.address = fake.address();
    HwSetTimeout(c, timeoutMs);
    return c;
}

TEST(BoundedIo, ADrippingReplyEndsAtTheConnectionTimeout) {
    // One byte every 100 ms, no line end, for up to 6 s: each read is quick,
    // but the reply never completes.
    FakeInstrument fake([](FakeInstrument& f, int fd) {
        if (f.readLine(fd).empty()) return;
        for (int k = 0; k < 60 && f.pause(100); ++k)
            if (!f.send(fd, "A")) return;
    });
    const Configuration c = lan(fake, 400);
    const HwResult r = HwQuery(c, "*IDN?");
    EXPECT_EQ(r.status, io_status::kTimeout) << r.response;
    EXPECT_NE(r.response.find("did not complete the exchange within 400 ms"), std::string::npos) << r.response;

    // The error check of a command is held to the same deadline.
    const HwResult s = HwSend(c, ":OUTP ON");
    EXPECT_EQ(s.status, io_status::kTimeout) << s.response;
}

// A bus that takes 10 kB every 10 ms (1 MB/s) and answers every error
// query with "no error", holding to the deadline as the real buses do.
class SlowBus : public Transport {
public:
    std::string name() const override { return "slow bus"; }
    HwResult open(int) override { return {}; }
    HwResult write(std::span<const std::uint8_t> bytes, int timeoutMs) override {
        for (std::size_t done = 0; done < bytes.size();) {
            if (pastDeadline() || waitBudget(timeoutMs) == 0) return {io_status::kTimeout, timeoutText("")};
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const std::size_t step = std::min<std::size_t>(10'000, bytes.size() - done);
            done += step;
            taken += step;
        }
        return {};
    }
    HwResult read(std::span<std::uint8_t> buffer, std::size_t& got, int) override {
        const std::string reply = "+0,\"No error\"\n";
        got = std::min(buffer.size(), reply.size());
        std::copy_n(reply.begin(), got, buffer.begin());
        return {};
    }
    void abort() noexcept override {}
    // Claims ten times the rate it has.
    std::uint64_t slowestBytesPerSecond() const override { return 10'000'000; }
    std::size_t taken = 0;
};

TEST(BoundedIo, ADownloadHasADeadlineScaledToItsSize) {
    Markers marks;
    HwDownloadArgs args;
    args.markers = &marks;
    args.filename = "BT";

    // 10000 samples, 50 kB: 10 ms of allowance plus a timeout of 2 s; the
    // bus needs 50 ms and makes it.
    ComplexRow small(10'000, Complex(0.5, 0.25));
    marks.resize(small.size());
    args.data = &small;
    SlowBus fast;
    const HwResult ok = runOperation(fast, hw_op::kDownload, args, 2000);
    EXPECT_EQ(ok.status, 0) << ok.response;

    // 1 M samples, 5 MB: 1 s of allowance plus the timeout; the bus would
    // need 5 s, never silent for 200 ms.
    ComplexRow big(1'000'000, Complex(0.5, 0.25));
    marks.resize(big.size());
    args.data = &big;
    SlowBus slow;
    const HwResult r = runOperation(slow, hw_op::kDownload, args, 200);
    EXPECT_EQ(r.status, io_status::kTimeout) << r.response;
    EXPECT_NE(r.response.find("did not complete the exchange within 1200 ms"), std::string::npos) << r.response;
    EXPECT_LT(slow.taken, 2'000'000u);
}

// Answers every line with `reply` and then closes.
FakeInstrument answering(std::string reply) {
    return FakeInstrument([reply](FakeInstrument& f, int fd) {
        if (!f.readLine(fd).empty()) f.send(fd, reply);
    });
}

TEST(BoundedIo, OnlyADataQueryAcceptsABlockAndOnlyUpToTheWaveformMemory) {
    // A 512 MiB block announced in answer to the identification: refused at
    // its header, before a byte of it is held.
    {
        auto fake = answering("#9536870912" + std::string(1000, 'x'));
        const Configuration c = lan(fake, 1000);
        for (const HwResult& r : {HwQuery(c, "*IDN?"), HwPing(c), HwQuery(c, ":FREQ?")}) {
            EXPECT_EQ(r.status, io_status::kReply) << r.response;
            EXPECT_NE(r.response.find("536870912 bytes, more than the"), std::string::npos) << r.response;
        }
    }
    // A command's error check takes no block at all.
    {
        auto fake = answering("#15hello\n");
        const HwResult r = HwSend(lan(fake, 1000), ":OUTP ON");
        EXPECT_EQ(r.status, io_status::kReply) << r.response;
    }
    // A waveform read-back may be large, but not beyond the largest memory.
    {
        auto fake = answering("#9300000000" + std::string(1000, 'x'));
        const HwResult r = HwQuery(lan(fake, 1000), ":MEM:DATA? \"WFM1:BT\"");
        EXPECT_EQ(r.status, io_status::kReply) << r.response;
        EXPECT_NE(r.response.find("300000000 bytes"), std::string::npos) << r.response;
    }
    {
        auto fake = answering("#212abcdefghijkl\n");
        const HwResult r = HwQuery(lan(fake, 1000), ":mem:data? \"WFM1:BT\"");
        ASSERT_EQ(r.status, 0) << r.response;
        EXPECT_EQ(r.response, "#212abcdefghijkl");
    }
    EXPECT_TRUE(expectsBlockReply(":MEM:DATA? \"x\""));
    EXPECT_TRUE(expectsBlockReply("MMEM:DATA?"));
    EXPECT_FALSE(expectsBlockReply("*IDN?"));
    EXPECT_FALSE(expectsBlockReply(":MEM:DATA \"x\",#10"));
}

}  // namespace
}  // namespace bt
