#include "instrument/download.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <locale>

#include "instrument/block_format.h"
#include "instrument/download_play.h"
#include "instrument/sequence.h"
#include "lib/dialogs.h"
#include "sim_fixture.h"

namespace bt {
namespace {

ComplexRow tone(std::size_t n, double amplitude = 0.8) {
    ComplexRow w(n);
    for (std::size_t k = 0; k < n; ++k) w[k] = std::polar(amplitude, 0.01 * static_cast<double>(k * k % 977));
    return w;
}

Markers clockMarkers(std::size_t n, std::size_t os = 10) {
    Markers m;
    m.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        m.row1[k] = k % os < 3;
        m.row2[k] = k > n / 2;
    }
    return m;
}

// The data of a block reply ("#<d><len><data>").
std::string blockData(const std::string& reply) {
    const auto h = parseBlockHeader(reply);
    EXPECT_EQ(h.state, BlockHeaderParse::State::Complete);
    return reply.substr(h.headerSize);
}

std::uint32_t crcOf(const std::string& s) {
    return crc32({reinterpret_cast<const std::uint8_t*>(s.data()), s.size()});
}

std::string encoded(const ComplexRow& w) {
    std::string out(4 * w.size(), '\0');
    IqEncoder(w).encode(0, w.size(), reinterpret_cast<std::uint8_t*>(out.data()));
    return out;
}

using Download = test::SimInstrumentTest;

TEST_F(Download, StoresWaveformAndMarkersUnderTheName) {
    const ComplexRow w = tone(5000);
    const Markers m = clockMarkers(5000);
    const HwResult r = IXODownLoadWrap(w, m, "BT", config);
    ASSERT_EQ(r.status, 0) << r.response;

    // Read back over the connection, as a user would.
    const HwResult iq = HwQuery(config, ":MEM:DATA? \"WFM1:BT\"");
    const HwResult mk = HwQuery(config, ":MEM:DATA? \"MKR1:BT\"");
    ASSERT_EQ(iq.status, 0) << iq.response;
    ASSERT_EQ(mk.status, 0) << mk.response;
    const std::string data = blockData(iq.response);
    ASSERT_EQ(data.size(), 4 * w.size());
    // Decode independently: the peak component is full scale and each
    // sample comes back within half a step.
    double peak = 0;
    for (auto z : w) peak = std::max({peak, std::abs(z.real()), std::abs(z.imag())});
    for (std::size_t k = 0; k < w.size(); k += 97) {
        const auto word = [&](std::size_t at) {
            return static_cast<std::int16_t>((static_cast<std::uint8_t>(data[at]) << 8) |
                                             static_cast<std::uint8_t>(data[at + 1]));
        };
        EXPECT_NEAR(word(4 * k) / 32767.0 * peak, w[k].real(), peak / 32767.0);
        EXPECT_NEAR(word(4 * k + 2) / 32767.0 * peak, w[k].imag(), peak / 32767.0);
    }
    const std::string markers = blockData(mk.response);
    ASSERT_EQ(markers.size(), w.size());
    for (std::size_t k = 0; k < w.size(); ++k)
        ASSERT_EQ(markers[k], (m.row1[k] ? 1 : 0) | (m.row2[k] ? 2 : 0)) << k;
}

TEST_F(Download, CommandOrderAndPlayerRestored) {
    const ComplexRow w = tone(100);
    const Markers m = clockMarkers(100);
    ASSERT_EQ(IXODownLoadWrap(w, m, "A", config).status, 0);
    ASSERT_EQ(IXOPlay_c("A", SigGenSettings{}, config).status, 0);
    EXPECT_EQ(instrument().setting(":SOUR:RAD:ARB:STAT"), "1");

    // Player on before the download: switched on again at the end.
    instrument().clearTranscript();
    ASSERT_EQ(IXODownLoadWrap(w, m, "B", config).status, 0);
    const std::vector<std::string> on = {
        ":SOUR:RAD:ARB:STATe?",     ":SOUR:RAD:ARB:STATe OFF", ":MEM:DATA \"WFM1:B\",#3400<400 bytes>",
        ":MEM:DATA \"MKR1:B\",#3100<100 bytes>", "", ":SOUR:RAD:ARB:STATe ON", ":OUTPUT:MOD ON"};
    EXPECT_EQ(commands(), on);
    EXPECT_EQ(instrument().setting(":SOUR:RAD:ARB:STAT"), "1");

    // Player off before: it stays off until playback.
    ASSERT_EQ(HwSend(config, ":SOUR:RAD:ARB:STATe OFF").status, 0);
    instrument().clearTranscript();
    ASSERT_EQ(IXODownLoadWrap(w, m, "B", config).status, 0);
    auto off = on;
    off.erase(off.begin() + 5);
    EXPECT_EQ(commands(), off);
    EXPECT_EQ(instrument().setting(":SOUR:RAD:ARB:STAT"), "0");
}

TEST_F(Download, PlaybackSendsTheTableAndLeavesTheInstrumentPlaying) {
    const SigGenSettings s;
    ASSERT_EQ(IXODownLoadWrap(tone(64), clockMarkers(64), s.Title, config).status, 0);
    for (char platform : {'b', 'c'}) {
        instrument().clearTranscript();
        const HwResult r = refreshSettings(s, config, platform);
        if (platform == 'b') {
            // The IXO-C simulator does not know the IXO-B filter command;
            // the failure is reported though every command was sent.
            EXPECT_NE(r.status, 0);
            EXPECT_NE(r.response.find("rfilter"), std::string::npos) << r.response;
        } else {
            EXPECT_EQ(r.status, 0) << r.response;
        }
        auto expected = playCommands(s.Title, s, platform);
        expected.push_back("SYST:LOC");
        EXPECT_EQ(commands(), expected);
    }
    EXPECT_EQ(instrument().setting(":SOUR:RAD:ARB:WAV"), "\"arbi:BT\"");
    EXPECT_EQ(instrument().setting(":OUTP"), "1");
    EXPECT_EQ(instrument().setting(":FREQ"), "2402000000");
    EXPECT_FALSE(instrument().remote());
}

TEST_F(Download, NumbersIgnoreTheProcessLocale) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "de_DE.utf8"))
        GTEST_SKIP() << "no German locale installed";
    std::locale::global(std::locale(std::setlocale(LC_ALL, nullptr)));
    SigGenSettings s;
    s.Amplitude = -13.5;
    s.Frequency = 2441.25e6;
    s.Scaling = 87.25;
    s.SamplingRate = 12.5e6;
    const HwResult r = downloadAndPlay(tone(64), clockMarkers(64), s, config, 'c');
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, saved.c_str());
    ASSERT_EQ(r.status, 0) << r.response;
    EXPECT_EQ(instrument().setting(":POW"), "-13.5");
    EXPECT_EQ(instrument().setting(":FREQ"), "2441250000");
    EXPECT_EQ(instrument().setting(":RAD:ARB:RSC"), "87.25");
    EXPECT_EQ(instrument().setting(":RAD:ARB:CLOC:SRAT"), "12500000");
}

TEST_F(Download, FailedTransferIsNotMaskedByLaterSteps) {
    // Only the transfer's connection carries enough bytes to be dropped;
    // every other step succeeds.
    sim::Faults f;
    f.closeAfter = 2000;
    server->setFaults(f);
    const HwResult r = IXODownLoadWrap(tone(5000), clockMarkers(5000), "BT", config);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.response.find("closed"), std::string::npos) << r.response;
    EXPECT_FALSE(instrument().waveform("BT"));
}

TEST_F(Download, PlaybackReportsTheFirstFailure) {
    // Nothing named NOPE is stored: selecting it fails, later commands work.
    const HwResult r = IXOPlay_c("NOPE", SigGenSettings{}, config);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.response.find("File name not found"), std::string::npos) << r.response;
    EXPECT_EQ(commands().size(), 17u);  // all sixteen sent, then local
}

TEST_F(Download, BadArgumentsSendNothing) {
    const ComplexRow w = tone(10);
    Markers shortMarkers = clockMarkers(9);
    EXPECT_EQ(HwDownload(config, ComplexRow{}, Markers{}, "norm", 1, "X").status, io_status::kArgument);
    EXPECT_EQ(HwDownload(config, w, shortMarkers, "norm", 1, "X").status, io_status::kArgument);
    EXPECT_EQ(HwDownload(config, w, Markers{}, "norm", 1, "a\"b").status, io_status::kArgument);
    ComplexRow bad = w;
    bad[3] = {std::nan(""), 0};
    EXPECT_EQ(HwDownload(config, bad, Markers{}, "norm", 1, "X").status, io_status::kArgument);
    EXPECT_TRUE(commands().empty());
    // Empty markers are stored as zeros.
    ASSERT_EQ(HwDownload(config, w, Markers{}, "norm", 1, "Z").status, 0);
    EXPECT_EQ(instrument().waveform("Z")->markers, std::vector<std::uint8_t>(10, 0));
}

TEST_F(Download, InstrumentMemoryLimitIsReported) {
    sim::ServerOptions o;
    o.instrument.model = 'b';
    o.instrument.memorySamples = 1000;
    server->stop();
    startSim(o);
    const HwResult r = HwDownload(config, tone(1001), Markers{}, "norm", 1, "BIG");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.response.find("Out of memory"), std::string::npos) << r.response;
}

TEST_F(Download, TwentyDownloadsReadBackIntact) {
    // Rewritten under one name, as repeated downloads from the application do.
    for (int k = 0; k < 20; ++k) {
        const ComplexRow w = tone(200000, 0.1 + k);
        ASSERT_EQ(HwDownload(config, w, clockMarkers(w.size()), "norm", 1, "BT").status, 0) << k;
        const HwResult back = HwQuery(config, ":MEM:DATA? \"WFM1:BT\"");
        ASSERT_EQ(back.status, 0);
        EXPECT_EQ(crcOf(blockData(back.response)), crcOf(encoded(w))) << k;
    }
}

// --------------------------------------------------------------- RS-232

class Rs232Estimate : public ::testing::Test {
protected:
    void SetUp() override { previous = setDialogs(dialogs); }
    void TearDown() override { setDialogs(previous); }
    Configuration rs232() {
        Configuration c;
        c.type = "RS232";
        c.RS232.port = 200;  // no such device: the transfer itself fails fast
        c.RS232.baudrate = 9600;
        return c;
    }
    std::shared_ptr<PresetDialogs> dialogs = std::make_shared<PresetDialogs>();
    std::shared_ptr<Dialogs> previous;
};

TEST_F(Rs232Estimate, HalfAMinuteIsNotAsked) {
    EXPECT_DOUBLE_EQ(rs232DownloadMinutes(8000, 9600, 1), 0.5);
    const HwResult r = IXODownLoadWrap(tone(8000), clockMarkers(8000), "BT", rs232());
    EXPECT_TRUE(dialogs->shown().empty());
    EXPECT_NE(r.status, -1);
}

TEST_F(Rs232Estimate, OneMinuteIsAskedAndCancelledByDefault) {
    const HwResult r = IXODownLoadWrap(tone(16000), clockMarkers(16000), "BT", rs232());
    ASSERT_EQ(dialogs->shown().size(), 1u);
    EXPECT_EQ(dialogs->shown()[0].title, "RS-232 Download");
    EXPECT_EQ(dialogs->shown()[0].text, "This download will take approximately 1.0 minutes. Do you want to continue?");
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.response, "Download cancelled");
}

TEST_F(Rs232Estimate, SegmentsScaleTheEstimateAndLanNeverAsks) {
    IXODownLoadWrap(tone(4000), clockMarkers(4000), "BT", rs232(), 4);  // 4 x 0.25 min
    EXPECT_EQ(dialogs->shown().size(), 1u);
    IXODownLoadWrap(tone(16000), clockMarkers(16000), "BT", rs232(), -1);  // later segments: no estimate
    EXPECT_EQ(dialogs->shown().size(), 1u);
    Configuration lan;
    lan.type = "TCPIP";
    lan.TCPIP.address = "127.0.0.1:1";
    IXODownLoadWrap(tone(1000000), Markers{}, "BT", lan);
    EXPECT_EQ(dialogs->shown().size(), 1u);
}

TEST_F(Rs232Estimate, OkGoesAhead) {
    auto ok = std::make_shared<PresetDialogs>("OK");
    setDialogs(ok);
    const HwResult r = IXODownLoadWrap(tone(16000), clockMarkers(16000), "BT", rs232());
    EXPECT_EQ(ok->shown().size(), 1u);
    EXPECT_EQ(r.status, io_status::kOpen);  // went on to the (missing) port
}

// ------------------------------------------------------------ sequences

using Sequences = test::SimInstrumentTest;

TEST_F(Sequences, CreateAndPlay) {
    for (const char* name : {"s1", "s2"}) ASSERT_EQ(IXODownLoadWrap(tone(64), clockMarkers(64), name, config).status, 0);
    instrument().clearTranscript();
    const std::vector<SequenceElement> e = {{"s1", 3, 1, 0}, {"s2", 1, 0, 0}};
    ASSERT_EQ(IXOCreateWaveformSequence(e, "dt", config, 'c').status, 0);
    const std::vector<std::string> expected = {":SOUR:RAD:ARB:STATe?", ":SOUR:RAD:ARB:STATe OFF",
                                               sequenceDefinition(e, "dt", 'c'), "SYST:LOC"};
    EXPECT_EQ(commands(), expected);
    const auto stored = instrument().sequence("dt");
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->size(), 2u);
    EXPECT_EQ((*stored)[0].repetitions, 3);
    EXPECT_EQ((*stored)[0].marker1, 1);

    SigGenSettings s;
    ASSERT_EQ(IXOPlayWaveformSequence("dt", s, config, 'c').status, 0);
    EXPECT_EQ(instrument().setting(":SOUR:RAD:ARB:WAV"), "\"SEQ:dt\"");
    EXPECT_EQ(instrument().setting(":SOUR:RAD:ARB:STAT"), "1");
    EXPECT_EQ(instrument().setting(":OUTP:MOD"), "1");
}

TEST_F(Sequences, MissingSegmentIsAFailure) {
    ASSERT_EQ(IXODownLoadWrap(tone(64), clockMarkers(64), "s1", config).status, 0);
    const HwResult r = IXOCreateWaveformSequence({{"s1", 1, 0, 0}, {"gone", 1, 0, 0}}, "dt", config, 'b');
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.response.find("File name not found"), std::string::npos) << r.response;
    EXPECT_FALSE(instrument().sequence("dt"));
    EXPECT_NE(IXOPlayWaveformSequence("dt", SigGenSettings{}, config, 'c').status, 0);
}

TEST_F(Sequences, PlayerStateIsKept) {
    ASSERT_EQ(downloadAndPlay(tone(64), clockMarkers(64), SigGenSettings{}, config, 'c').status, 0);
    ASSERT_EQ(IXOCreateWaveformSequence({{"BT", 2, 1, 1}}, "one", config, 'c').status, 0);
    EXPECT_EQ(commands()[commands().size() - 2], ":SOUR:RAD:ARB:STATe ON");
    EXPECT_EQ(instrument().setting(":SOUR:RAD:ARB:STAT"), "1");
}

}  // namespace
}  // namespace bt
