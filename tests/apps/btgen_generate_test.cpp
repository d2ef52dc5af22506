// btgen generate and download end to end: the files read back by an
// independent reader (scipy, text parsing) and the signal received by the
// test demodulator and packet decoder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "bluetooth/generate.h"
#include "bluetooth/settings_editor.h"
#include "sim/sim_server.h"
#include "support/bt_decoder.h"
#include "support/demod.h"
#include "support/files.h"
#include "support/process.h"

namespace {

using bttest::ScratchDir;

using testsupport::btgen;

// The raw file's big-endian 16-bit I/Q words as samples.
bt::ComplexRow readRaw(const std::filesystem::path& file) {
    const std::string bytes = bttest::readBytes(file);
    bt::ComplexRow w(bytes.size() / 4);
    const auto word = [&](std::size_t at) {
        return double(std::int16_t(std::uint16_t(std::uint8_t(bytes[at]) << 8 | std::uint8_t(bytes[at + 1]))));
    };
    for (std::size_t k = 0; k < w.size(); ++k) w[k] = {word(4 * k), word(4 * k + 2)};
    return w;
}

bt::Parameters edited(const std::vector<std::pair<std::string, std::string>>& edits) {
    bt::Parameters p;
    for (const auto& [f, v] : edits) p = bt::editField(p, f, v, bt::EditContext{}).parameters;
    return p;
}

// The three formats hold the same signal: the text file has the library's
// samples to the last bit, scipy reads the MAT-file as the same numbers,
// the raw file is them at full scale.
TEST(BtgenGenerate, EveryFormatHoldsTheSignal) {
    const ScratchDir dir;
    const std::vector<std::string> sets = {"--set", "multiPacket=1", "--set", "dataWhiteningActive=1",
                                           "--set", "impairments.AWGNactive=1", "--set", "CGdelay=2"};
    for (const char* name : {"w.raw", "w.mat", "w.csv"}) {
        std::vector<std::string> args = {"generate", "-o", (dir / name).string()};
        args.insert(args.end(), sets.begin(), sets.end());
        const auto r = btgen(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("samples: 250000\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("packets: 20\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("projected length: 250000 Samples\n"), std::string::npos) << r.out;
    }
    const bt::GeneratedSignal expected = bt::Calculate(
        edited({{"multiPacket", "1"}, {"dataWhiteningActive", "1"}, {"impairments.AWGNactive", "1"}, {"CGdelay", "2"}}));

    std::ifstream csv(dir / "w.csv");
    std::string line;
    std::size_t k = 0;
    for (; std::getline(csv, line); ++k) {
        ASSERT_LT(k, expected.waveform.size());
        double i = 0, q = 0;
        int m1 = 0, m2 = 0;
        char c1, c2, c3;
        std::istringstream(line) >> i >> c1 >> q >> c2 >> m1 >> c3 >> m2;
        ASSERT_EQ(bt::Complex(i, q), expected.waveform[k]) << k;
        ASSERT_EQ(m1, expected.markers.row1[k]) << k;
        ASSERT_EQ(m2, expected.markers.row2[k]) << k;
    }
    EXPECT_EQ(k, expected.waveform.size());

    const bt::ComplexRow raw = readRaw(dir / "w.raw");
    ASSERT_EQ(raw.size(), expected.waveform.size());
    double peak = 0;
    for (const auto& z : expected.waveform) peak = std::max({peak, std::abs(z.real()), std::abs(z.imag())});
    for (std::size_t j = 0; j < raw.size(); ++j)
        ASSERT_LE(std::abs(raw[j] - expected.waveform[j] * (32766 / peak)), 0.71) << j;
    const std::string markers = bttest::readBytes(dir / "w.raw.markers");
    ASSERT_EQ(markers.size(), raw.size());
    for (std::size_t j = 0; j < raw.size(); ++j)
        ASSERT_EQ(int(markers[j]), expected.markers.row1[j] | expected.markers.row2[j] << 1) << j;

    if (!bttest::scipyPython()) GTEST_SKIP() << "no python3 with scipy";
    const auto py = bttest::runPython(R"(
import sys, numpy as np, scipy.io
m = scipy.io.loadmat(sys.argv[1])
w, k = m['waveform'], m['markers']
t = np.loadtxt(sys.argv[2], delimiter=',')
assert w.shape == (1, len(t)) and w.dtype == np.complex128, w.shape
assert k.shape == (2, len(t)), k.shape
assert (w[0].real == t[:, 0]).all() and (w[0].imag == t[:, 1]).all()
assert (k == t[:, 2:].T).all()
print('ok')
)",
                                      {(dir / "w.mat").string(), (dir / "w.csv").string()});
    EXPECT_EQ(py.output, "ok\n");
}

// A settings file, then a user data file as the payload: the packets the
// receiver finds carry the file's bytes, most significant bit first.
TEST(BtgenGenerate, UserFilePayloadArrives) {
    const ScratchDir dir;
    std::string data;
    for (int b = 0; b < 100; ++b) data += char(b * 37 + 11);
    bttest::writeBytes(dir / "user.bin", data);
    ASSERT_EQ(btgen({"save-settings", (dir / "s.bt").string(), "--set", "OverSampling=4"}).status, 0);
    const auto r = btgen({"generate", "--settings", (dir / "s.bt").string(), "--set", "multiPacket=1", "--user-file",
                          (dir / "user.bin").string(), "-o", (dir / "u.raw").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("packets: 4\n"), std::string::npos) << r.out;  // 800 bits in DH1 packets
    EXPECT_NE(r.out.find("samples: 20000\n"), std::string::npos) << r.out;

    const bt::Bits air = bt::testing::sliceWaveform(readRaw(dir / "u.raw"), 4, 48, 60);
    const auto packets = bt::test::decodeAll(air, bt::test::keyFor(8));
    ASSERT_EQ(packets.size(), 4u);
    bt::Bits received;
    for (const auto& d : packets) {
        ASSERT_TRUE(d.ok()) << d.describe();
        received.insert(received.end(), d.body.begin(), d.body.end());
    }
    ASSERT_EQ(received.size(), 800u);
    for (std::size_t k = 0; k < 800; ++k) ASSERT_EQ(received[k], (std::uint8_t(data[k / 8]) >> (7 - k % 8)) & 1) << k;
}

TEST(BtgenGenerate, BadInputIsRefused) {
    const ScratchDir dir;
    const std::string out = (dir / "x.raw").string();
    const auto missing = btgen({"generate", "--user-file", "/no/such/data.bin", "-o", out});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("File Error: Could not open\n/no/such/data.bin"), std::string::npos) << missing.err;

    const auto refused = btgen({"generate", "--platform", "b", "--set", "multiPacket=1", "--set", "payloadType=10",
                                "-o", out});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("Configuration Invalid"), std::string::npos) << refused.err;

    EXPECT_EQ(btgen({"generate", "--set", "impairments.ModIndex=abc", "-o", out}).status, 2);
    EXPECT_EQ(btgen({"generate", "--settings", "/no/such/settings.bt", "-o", out}).status, 2);
    EXPECT_FALSE(std::filesystem::exists(out));

    const auto unwritable = btgen({"generate", "-o", "/no/such/folder/x.raw"});
    EXPECT_EQ(unwritable.status, 5);
    EXPECT_NE(unwritable.err.find("Error Saving /no/such/folder/x.raw"), std::string::npos) << unwritable.err;

    const auto impairment = btgen({"generate", "--set", "impairments.ModIndex=0.3456", "-o", out});
    ASSERT_EQ(impairment.status, 0) << impairment.err;
    EXPECT_NE(impairment.err.find("impairments.ModIndex: \"0.346\""), std::string::npos) << impairment.err;
}

// btgen download sends the generated signal: what the instrument stores
// decodes to the packets of the settings.
TEST(BtgenDownload, TheInstrumentHoldsTheGeneratedPackets) {
    bt::sim::Server server;
    std::string error;
    const std::uint16_t port = server.start(0, error);
    ASSERT_NE(port, 0) << error;
    const auto r = btgen({"download", "--tcpip", "127.0.0.1:" + std::to_string(port), "--set", "multiPacket=1",
                          "--set", "dataWhiteningActive=1"});
    server.stop();
    ASSERT_EQ(r.status, 0) << r.err;
    const auto stored = server.instrument().waveform("BT");
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->samples(), 250000u);
    bt::ComplexRow w(stored->samples());
    const auto& iq = stored->iq;
    for (std::size_t k = 0; k < w.size(); ++k)
        w[k] = {double(std::int16_t(iq[4 * k] << 8 | iq[4 * k + 1])), double(std::int16_t(iq[4 * k + 2] << 8 | iq[4 * k + 3]))};
    const auto packets = bt::test::decodeAll(bt::testing::sliceWaveform(w, 10, 120, 60), bt::test::keyFor(8, 1));
    ASSERT_EQ(packets.size(), 20u);
    for (const auto& d : packets) EXPECT_TRUE(d.ok()) << d.describe();
}

}  // namespace
