// The impairment window, the signal-generator panel and its advanced
// dialog, and the connection dialog as the application window opens them.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QDialog>
#include <QLabel>

#include "support/gui/app_window_fixture.h"
#include "bluetooth/gui/impairments_window.h"
#include "instrument/gui/connection_dialog.h"
#include "instrument/gui/siggen_advanced_dialog.h"
#include "sim/sim_server.h"
#include "support/gui/gui_support.h"

namespace bt::gui {
namespace {

using testing_support::AppWindowTest;

class AppWindowsTest : public AppWindowTest {
protected:
    // Runs `user` on the next modal window; false when none showed.
    template <class F>
    void onModal(F user) {
        bt::test::onNextModal([this, user](QWidget* d) {
            user(d);
            ranModal = true;
        });
    }
    static void typeInto(QLineEdit* e, const QString& text) {
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, text);
        QTest::keyClick(e, Qt::Key_Return);
    }
    static void pick(QComboBox* list, int item) {
        list->showPopup();
        list->view()->setCurrentIndex(list->model()->index(item - 1, 0));
        QTest::keyClick(list->view(), Qt::Key_Return);
    }
    bool ranModal = false;
};

TEST_F(AppWindowsTest, ImpairmentsOkAppliesTheRecordAndTheSampleRate) {
    const double rate = appState().SigGenSettings.SamplingRate;
    onModal([&](QWidget* d) {
        auto* w = ImpairmentsWindow::of(d);
        ASSERT_NE(w, nullptr);
        QTest::mouseClick(w->handles().get<QAbstractButton>("chkSymTimErrActive"), Qt::LeftButton, {}, QPoint(8, 8));
        typeInto(w->handles().get<QLineEdit>("txtSymbolTimingError"), "-20.4");
        QTest::mouseClick(w->handles().get<QAbstractButton>("pbCancel"), Qt::LeftButton);
    });
    click("pbImpairments");
    ASSERT_TRUE(ranModal);
    EXPECT_EQ(params().impairments.SymbolTimingErrorActive, 0);
    EXPECT_EQ(appState().SigGenSettings.SamplingRate, rate);

    ranModal = false;
    onModal([&](QWidget* d) {
        auto* w = ImpairmentsWindow::of(d);
        QTest::mouseClick(w->handles().get<QAbstractButton>("chkSymTimErrActive"), Qt::LeftButton, {}, QPoint(8, 8));
        typeInto(w->handles().get<QLineEdit>("txtSymbolTimingError"), "-20.4");
        bt::test::saveShot(d, "impairments_from_main_window");
        QTest::mouseClick(w->handles().get<QAbstractButton>("pbOk"), Qt::LeftButton);
    });
    click("pbImpairments");
    ASSERT_TRUE(ranModal);
    EXPECT_EQ(params().impairments.SymbolTimingErrorActive, 1);
    EXPECT_EQ(params().impairments.SymbolTimingError, -20);
    EXPECT_EQ(appState().SigGenSettings.SamplingRate, params().OverSampling * (1e6 - 20));
}

TEST_F(AppWindowsTest, PanelFrequencyMovesTheChannel) {
    auto* units = control<QComboBox>("pdFrequencyUnits");
    EXPECT_EQ(text("txtFrequency"), "2.402");
    EXPECT_EQ(units->currentText(), "GHz");
    type("txtFrequency", "2.48");
    EXPECT_EQ(appState().SigGenSettings.Frequency, 2480e6);
    EXPECT_EQ(text("txtChannel"), "78");
    type("txtFrequency", "2.4415");
    EXPECT_EQ(text("txtChannel"), "--");
    // Typed, then the unit picked: one entry.
    auto* f = control<QLineEdit>("txtFrequency");
    f->setFocus();
    f->selectAll();
    QTest::keyClicks(f, "2441");
    pick(units, 3);
    EXPECT_EQ(appState().SigGenSettings.Frequency, 2441e6);
    EXPECT_EQ(text("txtChannel"), "39");
    EXPECT_EQ(text("txtFrequency"), "2.441");
    // The channel writes the frequency through the panel.
    type("txtChannel", "100");
    EXPECT_EQ(text("txtFrequency"), "2.48");
    EXPECT_EQ(appState().SigGenSettings.Frequency, 2480e6);
    type("txtAmplitude", "-140.4");
    EXPECT_EQ(appState().SigGenSettings.Amplitude, -136);
    type("txtWaveformTitle", "bt test!");
    EXPECT_EQ(appState().SigGenSettings.Title, "BTTEST");
}

TEST_F(AppWindowsTest, AdvancedSettingsOfTheGenerationInUse) {
    for (char platform : {'c', 'b'}) {
        if (platform == 'b') restart('b');
        ranModal = false;
        onModal([&](QWidget* d) {
            auto* a = SigGenAdvancedDialog::of(d);
            ASSERT_NE(a, nullptr);
            EXPECT_EQ(a->handles().get<QWidget>("pdReconFilter")->isVisible(), platform == 'b');
            typeInto(a->handles().get<QLineEdit>("txtSamplingRate"), "50");
            bt::test::saveShot(win->window(), QString("siggen_main_window_%1").arg(platform));
            QTest::mouseClick(a->handles().get<QAbstractButton>("pbOK"), Qt::LeftButton);
        });
        click("pbAdvancedSettings");
        ASSERT_TRUE(ranModal);
        EXPECT_EQ(appState().SigGenSettings.SamplingRate, platform == 'b' ? 40e6 : 50e6);
    }
}

TEST_F(AppWindowsTest, SigGenIoMenuEditsTheConnection) {
    sim::Server server;
    std::string error;
    const std::uint16_t port = server.start(0, error);
    ASSERT_NE(port, 0) << error;
    const QString address = QString("127.0.0.1:%1").arg(port);
    onModal([&](QWidget* d) {
        auto* c = ConnectionDialog::of(d);
        ASSERT_NE(c, nullptr);
        pick(c->handles().get<QComboBox>("pmConnection"), 3);
        typeInto(c->handles().get<QLineEdit>("editTCPIPAddress"), address);
        QTest::mouseClick(c->handles().get<QAbstractButton>("pbCheckHardware"), Qt::LeftButton);
        EXPECT_NE(c->handles().get<QLabel>("lblStatus")->text().indexOf("R7720C"), -1);
        QTest::mouseClick(c->handles().get<QAbstractButton>("pbOK"), Qt::LeftButton);
    });
    action("menuConfigSigGenIO")->trigger();
    ASSERT_TRUE(ranModal);
    EXPECT_EQ(appState().configuration.type, "TCPIP");
    EXPECT_EQ(appState().configuration.TCPIP.address, address.toStdString());
    server.stop();
}

}  // namespace
}  // namespace bt::gui
