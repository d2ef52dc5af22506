#include <gtest/gtest.h>

#include "instrument/hw_wrappers.h"
#include "sim_fixture.h"

namespace bt {
namespace {

TEST(Formatconfig, RoundsBusNumbersHalfAwayAndKeepsTexts) {
    Configuration c;
    c.type = "tcpip";
    c.GPIB = {2.5, 18.6, -1.5};
    c.RS232.port = 3.4;
    c.RS232.baudrate = 9600.5;
    c.RS232.handshake = "RTS/CTS";
    c.TCPIP = {"10.0.0.7:5025", 0.49};
    const IoConfig io = Formatconfig(c);
    EXPECT_EQ(io.type, "tcpip");
    EXPECT_EQ(io.GPIB.board, 3);
    EXPECT_EQ(io.GPIB.primary, 19);
    EXPECT_EQ(io.GPIB.secondary, -2);
    EXPECT_EQ(io.RS232.port, 3);
    EXPECT_EQ(io.RS232.baudrate, 9601);
    EXPECT_EQ(io.RS232.handshake, "RTS/CTS");
    EXPECT_EQ(io.TCPIP.board, 0);
    EXPECT_EQ(io.TCPIP.address, "10.0.0.7:5025");
    c.GPIB.primary = 1e12;  // saturates rather than wrapping
    EXPECT_EQ(Formatconfig(c).GPIB.primary, 2147483647);
}

struct VersionCase {
    const char* instrument;
    const char* required;
    int status;
};

class FirmwareVersion : public ::testing::TestWithParam<VersionCase> {};

TEST_P(FirmwareVersion, ComparesFieldByField) {
    const VersionCase& c = GetParam();
    const std::string idn = std::string("Veltor, R7720K, US123, ") + c.instrument;
    const HwResult r = compareFirmwareVersion(idn, c.required);
    EXPECT_EQ(r.status, c.status) << c.instrument << " vs " << c.required << ": " << r.response;
}

INSTANTIATE_TEST_SUITE_P(Versions, FirmwareVersion,
                         ::testing::Values(VersionCase{"B.03.85", "B.03.83", 0},
                                           VersionCase{"B.03.81", "B.03.83", -101},
                                           VersionCase{"C.03.10", "B.03.83", 0},
                                           VersionCase{"B.03", "B.03.83", -101},
                                           VersionCase{"B.03.83.1", "B.03.83", 0},
                                           VersionCase{"B.03.83", "B.03.83", 0},
                                           VersionCase{"b.03.83", "B.03.83", 0},
                                           VersionCase{"A.09.99", "B.03.83", -101},
                                           VersionCase{"B.03", "3.0", -102},
                                           VersionCase{"1.2.3.4.5.6.7.8.9.10.11", "1.2.3.4.5.6.7.8.9.10.11", -103},
                                           // Ten passes without a decision are too many even when
                                           // they used both versions up; nine are not.
                                           VersionCase{"B.1.2.3.4.5.6.7.8.9", "B.1.2.3.4.5.6.7.8.9", -103},
                                           VersionCase{"B.1.2.3.4.5.6.7.8", "B.1.2.3.4.5.6.7.8", 0}));

TEST(FirmwareVersionTexts, NameBothVersionsWhole) {
    EXPECT_EQ(compareFirmwareVersion("Veltor,R7720B,X,B.03.81", "B.03.83").response,
              "The instrument needs firmware B.03.83 or higher to run properly");
    EXPECT_EQ(compareFirmwareVersion("Veltor,R7720B,X,B.03", "3.0").response,
              "The instrument version number (B.03) and the required version number (3.0) are not match");
    EXPECT_EQ(compareFirmwareVersion("Veltor,R7720B,X,B.03.85", "B.03.83").response,
              "Verify firmware version succeed");
    // Fewer than four tokens: no instrument version.
    EXPECT_EQ(compareFirmwareVersion("Veltor R7720B", "B.03.83").status, -101);
    EXPECT_EQ(compareFirmwareVersion("Veltor R7720B", "").status, 0);
}

class ModelLetter : public test::SimInstrumentTest {
protected:
    void SetUp() override {}
    InstrModel modelFor(const std::string& idn) {
        sim::ServerOptions o;
        o.instrument.idn = idn;
        startSim(o);
        return GetInstrModel(config);
    }
};

TEST_F(ModelLetter, IsTheLastLetterOfTheSecondField) {
    const InstrModel k = modelFor("Veltor, R7720K, US1, B.03.85");
    EXPECT_EQ(k.status, 0);
    EXPECT_EQ(k.model, "k");
    EXPECT_EQ(k.desp, "succeed");
}

TEST_F(ModelLetter, GenerationCFromTheSimulatorsOwnIdentification) {
    startSim();
    const InstrModel m = GetInstrModel(config);
    EXPECT_EQ(m.model, "c");
    EXPECT_EQ(VerifyFirmwareVersion(config, "B.03.83").status, 0);
    EXPECT_EQ(VerifyComm(config).status, 0);
}

TEST_F(ModelLetter, ReplyWithoutModelFieldIsReported) {
    const InstrModel m = modelFor("JUSTONEFIELD");
    EXPECT_NE(m.status, 0);
    EXPECT_EQ(m.model, "b");
    EXPECT_NE(m.desp.find("names no instrument model"), std::string::npos);
}

TEST(ModelLetterOffline, FailedQueryKeepsThePresets) {
    Configuration c;
    c.type = "TCPIP";
    c.TCPIP.address = "127.0.0.1:1";  // nothing listens there
    const InstrModel m = GetInstrModel(c);
    EXPECT_NE(m.status, 0);
    EXPECT_EQ(m.model, "b");
    EXPECT_EQ(m.desp, "succeed");
    EXPECT_NE(VerifyFirmwareVersion(c, "B.03.83").status, 0);
}

TEST(Connections, UnusableRecordsAreReportedNotAttempted) {
    Configuration c;
    c.type = "TCPIP";
    c.TCPIP.address = "0.0.0.0";  // the default: not configured
    HwResult r = HwPing(c);
    EXPECT_EQ(r.status, io_status::kArgument);
    EXPECT_NE(r.response.find("0.0.0.0"), std::string::npos);
    c.TCPIP.address = "instrument.local";
    EXPECT_EQ(HwPing(c).status, io_status::kArgument);
    c.type = "USB";
    EXPECT_EQ(HwPing(c).status, io_status::kArgument);
    EXPECT_EQ(HwIO(77, Formatconfig(c)).status, io_status::kUnknownOperation);
}

TEST(Connections, GpibWithoutVisaSaysSo) {
    Configuration c;  // GPIB is the default connection
    for (const HwResult& r : {HwPing(c), HwSend(c, "*RST"), HwQuery(c, "*IDN?"), HwReturnLocal(c)}) {
        EXPECT_EQ(r.status, io_status::kNoDriver);
        EXPECT_NE(r.response.find("VISA"), std::string::npos) << r.response;
    }
}

TEST(Connections, MissingSerialPortFailsAtOnce) {
    Configuration c;
    c.type = "RS232";
    c.RS232.port = 200;
    long long ms = 0;
    HwResult r;
    ms = test::elapsedMs([&] { r = HwQuery(c, "*IDN?"); });
    EXPECT_EQ(r.status, io_status::kOpen) << r.response;
    EXPECT_LT(ms, 1000);
}

TEST(Connections, TimeoutMustBePositive) {
    Configuration c;
    EXPECT_NE(HwSetTimeout(c, 0).status, 0);
    EXPECT_NE(HwSetTimeout(c, std::nan("")).status, 0);
    EXPECT_EQ(HwSetTimeout(c, 1500).status, 0);
    EXPECT_EQ(currentTimeoutMs(Formatconfig(c)), 1500);
}

}  // namespace
}  // namespace bt
