// What a user's own settings do to a download and to the files written for
// other tools: a longer I/O timeout survives the transfer, and text files
// hold no negative zeros.
#include <gtest/gtest.h>

#include "instrument/download.h"
#include "instrument/hwio.h"
#include "instrument/signal_files.h"
#include "sim_fixture.h"
#include "support/files.h"

namespace bt {
namespace {

class DownloadTimeout : public test::SimInstrumentTest {};

TEST_F(DownloadTimeout, ALongerTimeoutIsKeptForTheTransferAndAShorterOneRaisedTo10s) {
    const ComplexRow iq(1000, Complex(0.5, -0.5));
    Markers m;
    m.row1.assign(1000, 0);
    m.row2.assign(1000, 1);
    HwSetTimeout(config, 30000);
    ASSERT_EQ(IXODownLoadWrap(iq, m, "SLOW", config).status, 0);
    EXPECT_EQ(currentTimeoutMs(Formatconfig(config)), 30000);
    HwSetTimeout(config, 2000);
    ASSERT_EQ(IXODownLoadWrap(iq, m, "FAST", config).status, 0);
    EXPECT_EQ(currentTimeoutMs(Formatconfig(config)), 10000);
}

TEST(SignalFilesCsv, NegativeZeroIsWrittenAsZero) {
    const bttest::ScratchDir dir;
    const ComplexRow iq = {Complex(-0.0, -0.0), Complex(-0.25, 0.0), Complex(0.0, -0.0)};
    Markers m;
    m.row1 = {1, 0, 0};
    m.row2 = {0, 0, 1};
    writeSignal(dir / "w.csv", SignalFormat::Csv, iq, m);
    EXPECT_EQ(bttest::readBytes(dir / "w.csv"), "0,0,1,0\n-0.25,0,0,0\n0,0,0,1\n");
}

}  // namespace
}  // namespace bt
