// The simulator behaves like the instrument for what the application sends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "bluetooth/generate.h"
#include "bluetooth/shift_registers.h"
#include "instrument/download.h"
#include "sim/sim_scpi.h"
#include "lib/numtext.h"
#include "sim_fixture.h"

namespace bt {
namespace {

TEST(HeaderPattern, LongShortAndOptionalNodes) {
    const sim::HeaderPattern p("[:SOURce]:RADio:ARB[:STATe]");
    for (const char* h : {":SOUR:RAD:ARB:STAT", ":source:rad:arb:state", "SOURCE:RADIO:ARB", ":RAD:ARB", "rad:arb:stat"})
        EXPECT_TRUE(p.matches(h)) << h;
    for (const char* h : {":SOUR:RAD", ":SOU:RAD:ARB", ":SOUR:RAD:ARB:STA", ":SOUR:RAD:ARB:STAT:X", "", ":SOUR::RAD:ARB"})
        EXPECT_FALSE(p.matches(h)) << h;
}

TEST(ScpiUnits, QuantitiesWithSuffixes) {
    using sim::UnitKind;
    EXPECT_EQ(sim::parseQuantity("2.5MHz", UnitKind::Frequency), 2.5e6);
    EXPECT_EQ(sim::parseQuantity("2402000000Hz", UnitKind::Frequency), 2402e6);
    EXPECT_EQ(sim::parseQuantity("-14dbm", UnitKind::Power), -14);
    EXPECT_DOUBLE_EQ(*sim::parseQuantity("1167 us", UnitKind::Time), 1167e-6);
    EXPECT_EQ(sim::parseQuantity("1e3", UnitKind::None), 1000);
    EXPECT_FALSE(sim::parseQuantity("5 Hz", UnitKind::Power));
    EXPECT_FALSE(sim::parseQuantity("2,5", UnitKind::Frequency));
}

TEST(FaultOptions, ParseWhatIxoSimAccepts) {
    sim::Faults f;
    for (const char* ok : {"close-after=1000", "stall-after=0", "late=250", "garble", "bad-block=zero", "flood=1048576"})
        EXPECT_FALSE(sim::addFault(f, ok)) << ok;
    EXPECT_EQ(f.closeAfter, 1000u);
    EXPECT_EQ(f.stallAfter, 0u);
    EXPECT_EQ(f.lateMs, 250);
    EXPECT_TRUE(f.garble);
    EXPECT_EQ(f.badBlock, "zero");
    EXPECT_EQ(f.flood, 1048576u);
    for (const char* bad : {"close-after=-1", "late=x", "garble=1", "bad-block=odd", "explode", "close-after=1.5"})
        EXPECT_TRUE(sim::addFault(f, bad)) << bad;
}

using Simulator = test::SimInstrumentTest;

TEST_F(Simulator, IdentificationAndCommonCommands) {
    EXPECT_EQ(HwQuery(config, "*IDN?").response, "Veltor,R7720C,SIM0000001,C.03.10");
    EXPECT_EQ(HwQuery(config, "*OPC?").response, "1");
    EXPECT_EQ(HwSend(config, "*TRG").status, 0);
    EXPECT_EQ(HwSend(config, ":OUTP ON").status, 0);
    EXPECT_EQ(HwSend(config, "*RST").status, 0);
    EXPECT_EQ(HwQuery(config, ":OUTP?").response, "0");
}

TEST_F(Simulator, SettingsAnswerTheirQueryForm) {
    struct Case {
        const char* command;
        const char* query;
        const char* reply;
    };
    const Case cases[] = {
        {":SOURce:FREQuency:FIXed 2.48GHz", ":FREQ?", "2480000000"},
        {" :source:power:level:immediate:amplitude -7dbm", ":POW?", "-7"},
        {":source:dm:bbfilter 2.1MHz", ":DM:BBF?", "2.1MHZ"},
        {":INPut:BERT:CLOCk:POLarity Neg", ":INP:BERT:CLOC:POL?", "NEG"},
        {":SENSe:BERT:TBITs 10000", ":BERT:TBIT?", "10000"},
        {":SENSe:BERT:PRBS PN15", ":SENS:BERT:PRBS?", "PN15"},
        {":SOUR:RAD:ARB:TRIG:SOUR:EXT:DEL 1167 us", ":RAD:ARB:TRIG:SOUR:EXT:DEL?", "0.001167"},
        {":SOUR:RAD:ARB:TRIG:SOUR EXT", ":RAD:ARB:TRIG?", "EXT"},
        {":SOUR:RAD:ARB:TRIG:SOUR:EXT EPT1", ":RAD:ARB:TRIG:SOUR:EXT?", "EPT1"},
        {":pow:alc:state off", ":POW:ALC?", "0"},
    };
    for (const Case& c : cases) {
        const HwResult set = HwSend(config, c.command);
        EXPECT_EQ(set.status, 0) << c.command << ": " << set.response;
        EXPECT_EQ(HwQuery(config, c.query).response, c.reply) << c.query;
    }
}

TEST_F(Simulator, RefusedValuesGoToTheErrorQueue) {
    struct Case {
        const char* command;
        const char* error;
    };
    const Case cases[] = {
        {":FREQ 10 Hz", "-222"},                     // below the range
        {":POW 5 Hz", "-131"},                       // wrong suffix
        {":POW -13,5dbm", "-108"},                   // a locale's decimal comma
        {":DM:BBF 3MHz", "-224"},                    // not a choice
        {":SOUR:RAD:ARB:RFIL through", "-113"},      // IXO-B only
        {":SOUR:RAD:ARB:STAT ON", "-221"},           // nothing selected
        {":SOUR:RAD:ARB:WAV \"arbi:none\"", "-256"}, // not stored
        {":NO:SUCH:THING 1", "-113"},
    };
    for (const Case& c : cases) {
        const HwResult r = HwSend(config, c.command);
        EXPECT_EQ(r.status, io_status::kInstrument) << c.command;
        EXPECT_NE(r.response.find(std::string("error ") + c.error), std::string::npos) << r.response;
    }
    EXPECT_EQ(HwQuery(config, "SYST:ERR?").response, "+0,\"No error\"");
}

TEST_F(Simulator, ErrorQueueOverflows) {
    for (int k = 0; k < 40; ++k) HwQuery(config, "SYST:ERR?");  // empty it
    std::string many;
    for (int k = 0; k < 40; ++k) many += ":BAD" + std::to_string(k) + ";";
    // Sent as one line through a query that answers, so it is processed.
    EXPECT_EQ(HwQuery(config, many + "*OPC?").response, "1");
    std::vector<std::string> queue;
    for (int k = 0; k < 31; ++k) queue.push_back(HwQuery(config, "SYST:ERR?").response);
    EXPECT_EQ(queue[0], "-113,\"Undefined header\"");
    EXPECT_EQ(queue[29], "-350,\"Queue overflow\"");
    EXPECT_EQ(queue[30], "+0,\"No error\"");
}

TEST_F(Simulator, ModelBKnowsItsOwnCommands) {
    server->stop();
    sim::ServerOptions o;
    o.instrument.model = 'b';
    startSim(o);
    EXPECT_EQ(GetInstrModel(config).model, "b");
    EXPECT_EQ(HwSend(config, " :source:rad:arb:rfilter 250.0khz").status, 0);
    EXPECT_NE(HwSend(config, " :source:dm:bbfilter 40MHz").status, 0);
    EXPECT_NE(HwSend(config, ":SOUR:RAD:ARB:CLOC:SRAT 50MHz").status, 0);  // IXO-B tops out at 40 MHz
}

// The BERT samples the simulated receiver's output at the clock marker's
// edges: moving the edges through a symbol walks from the eye's centre
// (no errors) to its edge (many), and the checker needs the right pattern
// and data polarity to lock.
TEST_F(Simulator, BertMeasuresTheReceiverAtTheClockEdges) {
    const GeneratedSignal s = playPn9Stream();
    EXPECT_EQ(HwQuery(config, ":STATus:QUEStionable:BERT:CONDition?").response, "7");  // BERT off
    for (const char* c : {":SENSe:BERT:STATe 1", ":SENSe:BERT:TRIGger BUS", ":SENSe:BERT:TBITs 3000"})
        ASSERT_EQ(HwSend(config, c).status, 0) << c;
    const auto measure = [&] {
        EXPECT_EQ(HwSend(config, "*Trg").status, 0);
        EXPECT_EQ(HwQuery(config, ":STATus:QUEStionable:BERT:CONDition?").response, "0");
        return *parseNumber(HwQuery(config, ":DATA? TBER").response);
    };
    std::vector<double> ber;
    for (int step = 0; step < 10; ++step) {
        ASSERT_EQ(HwSend(config, step ? "RADio:ARB:MARKer:ROTate \"BT\",1" : "RADio:ARB:MARKer:ROTate \"BT\",0").status,
                  0);
        ber.push_back(measure());
    }
    EXPECT_LT(*std::min_element(ber.begin(), ber.end()), 0.01);
    EXPECT_GT(*std::max_element(ber.begin(), ber.end()), 0.1);

    // At the best delay: inverted data or the wrong pattern never lock.
    const long best = std::min_element(ber.begin(), ber.end()) - ber.begin();
    ASSERT_EQ(HwSend(config, "RADio:ARB:MARKer:ROTate \"BT\"," + std::to_string(best - 9)).status, 0);
    EXPECT_LT(measure(), 0.01);
    ASSERT_EQ(HwSend(config, ":INPut:BERT:DATA:POLarity NEG").status, 0);
    EXPECT_GT(measure(), 0.3);
    ASSERT_EQ(HwSend(config, ":INPut:BERT:DATA:POLarity POS;:SENSe:BERT:PRBS PN15").status, 0);
    EXPECT_GT(measure(), 0.3);

    // Rotating back restores the stored markers.
    ASSERT_EQ(HwSend(config, "RADio:ARB:MARKer:ROTate \"BT\"," + std::to_string(-best)).status, 0);
    std::vector<std::uint8_t> expected(s.markers.size());
    for (std::size_t k = 0; k < expected.size(); ++k) expected[k] = std::uint8_t(s.markers.row1[k] | s.markers.row2[k] << 1);
    EXPECT_EQ(instrument().waveform("BT")->markers, expected);
}

TEST_F(Simulator, WaveformInUseCannotBeOverwritten) {
    ComplexRow w(16, {1, 0});
    ASSERT_EQ(HwDownload(config, w, Markers{}, "norm", 1, "BT").status, 0);
    ASSERT_EQ(IXOPlay_c("BT", SigGenSettings{}, config).status, 0);
    const HwResult r = HwDownload(config, w, Markers{}, "norm", 1, "BT");
    EXPECT_EQ(r.status, io_status::kInstrument);
    EXPECT_NE(r.response.find("in use"), std::string::npos) << r.response;
    // The wrapped download stops the player first, so it succeeds.
    EXPECT_EQ(IXODownLoadWrap(w, Markers{}, "BT", config).status, 0);
}

TEST_F(Simulator, CommandLineDownloadsAndPlays) {
    const std::string btgen = std::string(BTGEN_BINARY_DIR) + "/apps/btgen";
    const std::string target = " --tcpip 127.0.0.1:" + std::to_string(port);
    FILE* out = ::popen((btgen + " download" + target + " --sg Frequency=2.44e9 2>&1").c_str(), "r");
    ASSERT_NE(out, nullptr);
    std::string text;
    char buf[256];
    while (std::fgets(buf, sizeof buf, out)) text += buf;
    EXPECT_EQ(::pclose(out), 0) << text;
    const auto w = instrument().waveform("BT");
    ASSERT_TRUE(w) << text;
    EXPECT_EQ(w->samples(), 12500u);
    EXPECT_EQ(instrument().setting(":SOUR:RAD:ARB:STAT"), "1");
    EXPECT_EQ(instrument().setting(":FREQ"), "2440000000");

    out = ::popen((btgen + " status" + target + " 2>&1").c_str(), "r");
    text.clear();
    while (std::fgets(buf, sizeof buf, out)) text += buf;
    EXPECT_EQ(::pclose(out), 0) << text;
    EXPECT_NE(text.find("waveform: \"arbi:BT\" (12500 samples)"), std::string::npos) << text;
    EXPECT_NE(text.find("player: on"), std::string::npos) << text;

    // A failure is an exit status and a message, not a crash.
    EXPECT_NE(std::system((btgen + " send" + target + " \":NO:SUCH 1\" 2>/dev/null").c_str()), 0);
}

}  // namespace
}  // namespace bt
