// A software-defined radio chosen in the Sig Gen I/O window, against the
// loopback radio in real time: Download loops the calculated waveform on it,
// Refresh retunes it, a radio that goes away is reported, and the delay
// calibration, which needs the instrument, is refused.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <complex>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "support/gui/app_window_fixture.h"
#include "instrument/gui/connection_dialog.h"
#include "radio/loop_player.h"
#include "support/gui/gui_support.h"

#ifdef BTGEN_LOOPBACK_DIR

namespace bt::gui {
namespace {

class RadioOutputTest : public testing_support::AppWindowTest {
protected:
    void SetUp() override {
        ::setenv("SOAPY_SDR_PLUGIN_PATH", BTGEN_LOOPBACK_DIR, 1);
        testing_support::AppWindowTest::SetUp();
        useDefaults("realtime=1");
    }
    void TearDown() override {
        testing_support::AppWindowTest::TearDown();
        ::unsetenv("BTLOOP_DEFAULTS");
    }
    // The loopback devices as enumeration lists them get these arguments.
    void useDefaults(const std::string& extra) {
        ::setenv("BTLOOP_DEFAULTS", ("loop=" + air() + "," + extra).c_str(), 1);
    }
    std::string air() const { return (scratch_.path() / "air.cf32").string(); }

    static void pick(QComboBox* list, int item) {
        list->showPopup();
        list->view()->setCurrentIndex(list->model()->index(item - 1, 0));
        QTest::keyClick(list->view(), Qt::Key_Return);
    }
    static void typeInto(QLineEdit* e, const QString& text) {
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, text);
        QTest::keyClick(e, Qt::Key_Return);
    }
    // Sig Gen I/O as a user goes through it; `user` works the open dialog.
    void editConnection(const std::function<void(ConnectionDialog&)>& user) {
        bool ran = false;
        bt::test::onNextModal([&](QWidget* d) {
            ConnectionDialog* c = ConnectionDialog::of(d);
            ASSERT_NE(c, nullptr);
            user(*c);
            ran = true;
        });
        action("menuConfigSigGenIO")->trigger();
        ASSERT_TRUE(ran);
    }
    radio::LoopPlayer& player() { return win->frame()->radioPlayer(); }
    const PresetDialogs::Shown& last() { return dialogs->shown().back(); }

    // The samples the radio sent so far (after the header: magic, rate, carrier, gain).
    struct Air {
        double rate = 0, carrier = 0, gain = 0;
        std::vector<std::complex<float>> samples;
    };
    Air readAir() {
        Air a;
        std::ifstream in(air(), std::ios::binary);
        char magic[8];
        double head[3];
        if (!in.read(magic, 8) || !in.read(reinterpret_cast<char*>(head), sizeof head)) return a;
        a.rate = head[0], a.carrier = head[1], a.gain = head[2];
        std::complex<float> x;
        while (in.read(reinterpret_cast<char*>(&x), sizeof x)) a.samples.push_back(x);
        return a;
    }
    // The share of samples above half the peak: the packets' share of the
    // waveform, whatever the scale and rate it plays at.
    template <class Row>
    static double dutyCycle(const Row& y, std::size_t n) {
        double peak = 0;
        for (std::size_t k = 0; k < n; ++k) peak = std::max(peak, double(std::abs(y[k])));
        std::size_t on = 0;
        for (std::size_t k = 0; k < n; ++k) on += double(std::abs(y[k])) > peak / 2;
        return double(on) / double(n);
    }
};

TEST_F(RadioOutputTest, DownloadLoopsTheWaveformOnTheChosenRadioAndRefreshRetunesIt) {
    editConnection([&](ConnectionDialog& c) {
        const Handles& h = c.handles();
        pick(h.get<QComboBox>("pmConnection"), kConnectionSdr);
        EXPECT_TRUE(h.get<QWidget>("configSDR")->isVisible());
        EXPECT_FALSE(h.get<QWidget>("configTCPIP")->isVisible());
        auto* devices = h.get<QComboBox>("pmSdrDevice");
        const int loopback = devices->findText("btgen loopback 0");
        ASSERT_GE(loopback, 0);
        pick(devices, loopback + 1);
        typeInto(h.get<QLineEdit>("editSdrGain"), "7");
        auto* antennas = h.get<QComboBox>("pmSdrAntenna");
        EXPECT_EQ(antennas->itemText(0), "Default");
        pick(antennas, antennas->findText("ALT") + 1);
        QTest::mouseClick(h.get<QAbstractButton>("pbCheckHardware"), Qt::LeftButton);
        EXPECT_NE(h.get<QLabel>("lblStatus")->text().indexOf("btloop"), -1) << h.get<QLabel>("lblStatus")->text().toStdString();
        bt::test::saveShot(c.window(), "connection_dialog_radio");
        QTest::mouseClick(h.get<QAbstractButton>("pbOK"), Qt::LeftButton);
    });
    const Configuration& config = appState().configuration;
    EXPECT_EQ(config.type, "SDR");
    EXPECT_NE(config.SDR.args.find("serial=0"), std::string::npos) << config.SDR.args;
    EXPECT_EQ(config.SDR.gain, 7);
    EXPECT_EQ(config.SDR.antenna, "ALT");

    click("pbDownload");  // calculates the default waveform first
    ASSERT_EQ(last().title, "Download Completed") << last().text;
    EXPECT_NE(last().text.find("2402 MHz"), std::string::npos) << last().text;
    EXPECT_TRUE(win->frame()->radioPlaying());
    EXPECT_EQ(win->frame()->waveformStatus().toStdString(), "Downloaded to radio " + config.SDR.args + " as BT");

    // The 10 MHz waveform plays at the loopback's 8 MHz, again and again.
    const ComplexRow& w = appState().waveform;
    const double period = double(w.size()) * 8e6 / appState().SigGenSettings.SamplingRate;
    Air a;
    ASSERT_TRUE(bt::test::waitUntil([&] { return (a = readAir()).samples.size() > 6 * period; }, 3000));
    EXPECT_EQ(a.rate, 8e6);
    EXPECT_EQ(a.carrier, 2402e6);
    EXPECT_EQ(a.gain, 7);
    const auto whole = static_cast<std::size_t>(std::floor(5 * period));
    EXPECT_NEAR(dutyCycle(a.samples, whole), dutyCycle(w, w.size()), 0.01);

    // A new channel and gain reach the playing radio with Refresh.
    type("txtChannel", "39");
    editConnection([&](ConnectionDialog& c) {
        typeInto(c.handles().get<QLineEdit>("editSdrGain"), "3");
        QTest::mouseClick(c.handles().get<QAbstractButton>("pbOK"), Qt::LeftButton);
    });
    const std::size_t shown = dialogs->shown().size();
    click("pbRefresh");
    EXPECT_EQ(dialogs->shown().size(), shown);  // nothing to say on success
    EXPECT_EQ(player().frequency(), 2441e6);
    EXPECT_EQ(player().gain(), 3);
    EXPECT_TRUE(win->frame()->radioPlaying());

    // A new calculation ends the loop over the waveform it replaces.
    click("pbCalculate");
    EXPECT_FALSE(win->frame()->radioPlaying());
    EXPECT_TRUE(win->frame()->waveformStatus().startsWith("Calculated "));

    // The delay calibration needs the instrument's markers: said at once,
    // the delay left as it was.
    choose("pdMultiPacket", 2);
    ASSERT_TRUE(control<QWidget>("pbCalibrateDelay")->isEnabled());
    params().CGdelay = 3;
    click("pbCalibrateDelay");
    EXPECT_EQ(last().kind, "error");
    EXPECT_NE(last().text.find("delay calibration"), std::string::npos) << last().text;
    EXPECT_EQ(params().CGdelay, 3);
    EXPECT_FALSE(win->frame()->radioPlaying());
}

TEST_F(RadioOutputTest, ARadioThatGoesAwayIsReportedAndOldKindsStayAsTheyWere) {
    useDefaults("realtime=1,fault=gone:40000");
    editConnection([&](ConnectionDialog& c) {
        pick(c.handles().get<QComboBox>("pmConnection"), kConnectionSdr);
        // Typed as device arguments, as for a radio that enumeration misses.
        typeInto(c.handles().get<QComboBox>("pmSdrDevice")->lineEdit(), "driver=btloop,serial=1");
        QTest::mouseClick(c.handles().get<QAbstractButton>("pbOK"), Qt::LeftButton);
    });
    EXPECT_EQ(appState().configuration.SDR.args, "driver=btloop,serial=1");
    click("pbDownload");
    ASSERT_EQ(last().title, "Download Completed") << last().text;
    ASSERT_TRUE(bt::test::waitUntil([&] { return last().title == "Radio Stopped"; }, 3000));
    EXPECT_EQ(last().kind, "error");
    EXPECT_FALSE(win->frame()->radioPlaying());
    EXPECT_TRUE(win->frame()->waveformStatus().startsWith("Calculated "));

    // Back to an instrument kind: the radio fields stay aside, the kind as before.
    editConnection([&](ConnectionDialog& c) {
        EXPECT_TRUE(c.handles().get<QWidget>("configSDR")->isVisible());
        pick(c.handles().get<QComboBox>("pmConnection"), kConnectionGpib);
        EXPECT_FALSE(c.handles().get<QWidget>("configSDR")->isVisible());
        QTest::mouseClick(c.handles().get<QAbstractButton>("pbOK"), Qt::LeftButton);
    });
    EXPECT_EQ(appState().configuration.type, "GPIB");
    EXPECT_EQ(appState().configuration.SDR.args, "driver=btloop,serial=1");
}

}  // namespace
}  // namespace bt::gui

#endif
