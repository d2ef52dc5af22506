// btgen dirty-tx: the segments written to a MAT-file, and a download to a
// simulated instrument on a free loopback port.
#include <gtest/gtest.h>

#include "bluetooth/dirty_tx_edits.h"
#include "sim/sim_server.h"
#include "lib/matfile.h"
#include "app/settings_files.h"
#include "support/files.h"
#include "support/process.h"

namespace {

testsupport::ProcessResult btgen(std::vector<std::string> args) {
    args.insert(args.begin(), "dirty-tx");
    args.insert(args.begin(), testsupport::appPath("btgen"));
    return testsupport::runProcess(args);
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// From a settings file holding external-trigger mode (DH1 segments of four
// frames), with two sets chosen on the command line.
TEST(BtgenDirtyTx, CalculatesTheSelectedSetsIntoAFile) {
    const bttest::ScratchDir dir;
    bt::Parameters p;
    bt::DirtyTxState s = bt::initialDtState(p);
    bt::dtSetExternalTrigger(s, true);
    bt::saveDtState(s, p);
    ASSERT_TRUE(bt::saveParameters(dir / "dt.bt", p, bt::SigGenSettings{}));
    const std::string file = (dir / "dt.mat").string();
    const auto r = btgen({"--settings", (dir / "dt.bt").string(), "--sets", "1,3", "--set-impairment",
                          "3:FreqOffset=200", "--calculate", "-o", file});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "set FreqOffset of set 3 to 150\n")) << r.err;  // edits echo on stderr
    EXPECT_TRUE(contains(r.out, "Projected Length: 100000\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "set 1: calculated, 50000 samples\nset 3: calculated, 50000 samples\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "8 sets not selected")) << r.out;

    bt::MatReadLimits limits;
    limits.maxFileBytes = limits.maxUnpackedBytes = 64u << 20;
    const bt::MatFileReader reader(file, limits);
    const bt::MatValue w = reader.read("dtWaveform");
    ASSERT_EQ(w.dims, (std::vector<std::size_t>{10, 50000}));
    ASSERT_TRUE(w.complex);
    // Column-major: set n's samples are elements n, n + 10, ...
    for (std::size_t n = 0; n < 10; ++n) {
        double energy = 0;
        for (std::size_t k = n; k < w.re.size(); k += 10) energy += w.re[k] * w.re[k] + w.im[k] * w.im[k];
        EXPECT_EQ(energy > 0, n == 0 || n == 2) << n;
    }
    EXPECT_EQ(reader.read("dtMarkers").dims, (std::vector<std::size_t>{20, 50000}));
    EXPECT_EQ(reader.read("dtRepetitions").re, std::vector<double>{4});
}

// EDR types by name, in any case, laid out by their slots; packets the
// sequence does not send are refused, each with why and the list there is.
TEST(BtgenDirtyTx, TakesEdrTypesAndRefusesOthersSayingWhy) {
    const bttest::ScratchDir dir;
    const std::string file = (dir / "edr.mat").string();
    const auto r = btgen({"--packet", "3-dh3", "--sets", "4", "--calculate", "-o", file});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "set 4: calculated, 75000 samples\n")) << r.out;
    bt::MatReadLimits limits;
    limits.maxFileBytes = limits.maxUnpackedBytes = 64u << 20;
    const bt::MatFileReader reader(file, limits);
    EXPECT_EQ(reader.read("dtPacketType").re, std::vector<double>{20});
    EXPECT_EQ(reader.read("dtRepetitions").re, std::vector<double>{3});

    const std::string list = "DH1 (4), DH3 (11), DH5 (15), 2-DH1 (16), 2-DH3 (17), 2-DH5 (18), 3-DH1 (19), "
                             "3-DH3 (20), 3-DH5 (21).";
    struct Refused {
        std::vector<std::string> args;
        std::string says;
    };
    for (const Refused& c :
         {Refused{{"--packet", "2-EV3"}, "\"2-EV3\" is a packet of the eSCO link; the dirty-transmitter sequence "
                                         "sends ACL packets: " + list},
          Refused{{"--packet", "DM3"}, "\"DM3\" is not a packet the dirty-transmitter sequence sends: " + list},
          Refused{{"--packet", "3-DH7"}, "\"3-DH7\" is none of the dirty-transmitter packet types: " + list},
          Refused{{"--platform", "b", "--packet", "2-DH5"},
                  "\"2-DH5\" takes five slots, which the IXO-B's dirty-transmitter sequence does not offer: DH1 (4), "
                  "DH3 (11), 2-DH1 (16), 2-DH3 (17), 3-DH1 (19), 3-DH3 (20)."}}) {
        std::vector<std::string> args = c.args;
        for (const char* a : {"--calculate", "-o"}) args.push_back(a);
        args.push_back((dir / "refused.mat").string());
        const auto refused = btgen(args);
        EXPECT_EQ(refused.status, 2) << c.args.back();
        EXPECT_TRUE(contains(refused.err, c.says)) << refused.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "refused.mat"));
    }
}

TEST(BtgenDirtyTx, DownloadsAndPlaysTheSequence) {
    bt::sim::Server server;
    std::string error;
    const std::uint16_t port = server.start(0, error);
    ASSERT_NE(port, 0) << error;
    const std::string address = "127.0.0.1:" + std::to_string(port);
    const auto r = btgen({"--packet", "DH5", "--omit-poll", "--sets", "2", "--download", "--tcpip", address});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "Projected Length: 62500\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "set 2: downloaded as \"Bluetooth_DT2\", 62500 samples\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "sequence \"Bluetooth_DT\":\n  Bluetooth_DT2 x 4\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "the instrument plays \"SEQ:Bluetooth_DT\"")) << r.out;
    const auto sequence = server.instrument().sequence("Bluetooth_DT");
    ASSERT_TRUE(sequence);
    ASSERT_EQ(sequence->size(), 1u);
    EXPECT_EQ((*sequence)[0].repetitions, 4);

    // A failure says what happened and exits with the instrument's status.
    server.stop();
    const auto failed = btgen({"--download", "--tcpip", address, "--timeout", "500"});
    EXPECT_EQ(failed.status, 4);
    EXPECT_FALSE(failed.err.empty());
}

// Three DH1 segments of 25000 samples in a memory of 60000: the third one
// fails and must not be reported as downloaded.
TEST(BtgenDirtyTx, ASegmentTheInstrumentRefusedIsNotReportedAsDownloaded) {
    bt::sim::ServerOptions options;
    options.instrument.memorySamples = 60000;
    bt::sim::Server server(options);
    std::string error;
    const std::uint16_t port = server.start(0, error);
    ASSERT_NE(port, 0) << error;
    const auto r = btgen({"--sets", "1,2,3", "--download", "--tcpip", "127.0.0.1:" + std::to_string(port)});
    EXPECT_NE(r.status, 0) << r.out;  // the instrument's failure
    EXPECT_TRUE(contains(r.out, "set 2: downloaded as \"Bluetooth_DT2\"")) << r.out;
    EXPECT_FALSE(contains(r.out, "set 3: downloaded")) << r.out;
    EXPECT_FALSE(contains(r.out, "sequence")) << r.out;
    EXPECT_FALSE(r.err.empty());
}

TEST(BtgenDirtyTx, BadInputIsRefused) {
    for (const char* edit : {"11:ModIndex=0.3", "1:AWGNratio=3", "1:ModIndex=high", "ModIndex=0.3"}) {
        const auto r = btgen({"--set-impairment", edit, "--calculate", "-o", "x.mat"});
        EXPECT_EQ(r.status, 2) << edit;
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_NE(btgen({"--omit-poll", "--external", "--calculate", "-o", "x.mat"}).status, 0);
    EXPECT_NE(btgen({"--calculate"}).status, 0);
}

}  // namespace
