// An RS-232 instrument reached by its device name, as a USB adapter is: the
// simulator answers on a pseudo-terminal, btgen talks to it through
// --serial DEVICE or through the I/O configuration file that names it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "app/settings_files.h"
#include "support/files.h"
#include "support/process.h"

namespace {

using bttest::ScratchDir;
using testing::HasSubstr;
using testsupport::SimProcess;

using testsupport::btgen;

TEST(BtgenSerial, AnInstrumentOnASerialDeviceIsReachedByItsName) {
    const ScratchDir dir;
    SimProcess sim({"--model", "b", "--serial-pty"});
    const std::string device = sim.serialDevice();
    ASSERT_THAT(device, testing::StartsWith("/dev/"));

    const auto idn = btgen({"idn", "--serial", device, "--baud", "38400", "--timeout", "5000"});
    ASSERT_EQ(idn.status, 0) << idn.err;
    EXPECT_THAT(idn.out, HasSubstr("generation: b"));

    // A waveform goes over the line as a binary block, which arrives whole
    // only if nothing on the way translates or swallows a byte.
    // (At the default 19200 baud a DH5 would take over a minute: asked and
    // answered.)
    const auto dl = btgen({"download", "--serial", device, "--platform", "b", "--set", "packetType=DH5", "--yes",
                           "--timeout", "20000"});
    ASSERT_EQ(dl.status, 0) << dl.err;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(dl.out, m, std::regex("Downloaded ([0-9]+) samples"))) << dl.out;
    const auto st = btgen({"status", "--serial", device});
    ASSERT_EQ(st.status, 0) << st.err;
    EXPECT_THAT(st.out, HasSubstr("(" + m[1].str() + " samples)"));
    EXPECT_THAT(st.out, HasSubstr("player: on"));

    // The I/O configuration file names the device beside the port number.
    bt::Configuration c;
    c.type = "RS232";
    c.RS232.port = 2;
    c.RS232.device = device;
    ASSERT_TRUE(bt::saveConfig(c, dir / bt::kConfigFileName));
    const auto fromFile = testsupport::runProcess({"/bin/sh", "-c", "cd \"$1\" && exec \"$2\" idn", "sh",
                                                   dir.path().string(), testsupport::appPath("btgen")});
    EXPECT_EQ(fromFile.status, 0) << fromFile.err;
    EXPECT_THAT(fromFile.err, HasSubstr("using the connection of rfIOConfig.mat: RS-232 " + device));
    EXPECT_THAT(fromFile.out, HasSubstr("generation: b"));
    EXPECT_EQ(sim.stop(), 0);

    const auto number = btgen({"idn", "--serial", "12"});
    EXPECT_EQ(number.status, 2);
    EXPECT_THAT(number.err, HasSubstr("port 12 is not 1..9; give a device name (/dev/ttyUSB0)"));
    const auto missing = btgen({"idn", "--serial", (dir / "ttyUSB9").string(), "--timeout", "200"});
    EXPECT_NE(missing.status, 0);
    EXPECT_THAT(missing.err, HasSubstr((dir / "ttyUSB9").string()));
}

}  // namespace
