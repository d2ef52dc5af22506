// The application window driven as a user drives it: typing into fields,
// choosing list items with the keyboard, clicking buttons and menu items.
#include "app/gui/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "analysis/receiver.h"
#include "bluetooth/generate.h"
#include "bluetooth/size_est.h"
#include "lib/dialogs.h"
#include "app/app_state.h"
#include "sim/sim_server.h"
#include "support/files.h"
#include "support/gui/gui_support.h"
#include "support/gui/app_window_fixture.h"
#include "app/settings_files.h"

namespace bt::gui {
namespace {

namespace fs = std::filesystem;

using AppWindowTest = testing_support::AppWindowTest;
class MainWindowTest : public AppWindowTest {};

// ------------------------------------------------------------ the layout

TEST_F(MainWindowTest, EveryTagOfTheMainWindowAndFrameHasItsKind) {
    const std::pair<const char*, const char*> tags[] = {
        {"pbGenerationMode", "QPushButton"}, {"pdLinkType", "QComboBox"},
        {"pdPacketType", "QComboBox"}, {"txtEdrRelativePower", "QLineEdit"}, {"pdMultiPacket", "QComboBox"},
        {"txtBDaddr", "QLineEdit"}, {"txtAMaddr", "QLineEdit"},
        {"chkDataWhiteningActive", "QCheckBox"}, {"chkBurstActive", "QCheckBox"},
        {"txtPowerRamp", "QLineEdit"}, {"txtRampSettling", "QLineEdit"},
        {"pdPayload", "QComboBox"}, {"txtBitPattern", "QLineEdit"}, {"txtBitPatternLabel", "QLabel"},
        {"txtPatternReps", "QLineEdit"}, {"txtPatternLength", "QLineEdit"},
        {"txtFullPackets", "QLabel"}, {"txtPartialPackets", "QLabel"}, {"txtPadPackets", "QLabel"},
        {"txtOversampleRate", "QLineEdit"}, {"chkMirrorSpectrum", "QCheckBox"}, {"txtCGdelay", "QLineEdit"},
        {"pbCalibrateDelay", "QPushButton"}, {"pbImpairments", "QPushButton"},
        {"pbDirtyTransmitter", "QPushButton"}, {"txtNumberOfSamples", "QLabel"},
        {"txtEvent1", "QLabel"}, {"txtEvent2", "QLabel"}, {"txtEvent3", "QLabel"}, {"txtEvent4", "QLabel"},
        {"txtMarker1Signal", "QLabel"}, {"txtMarker2Signal", "QLabel"},
        {"txtMarker3Signal", "QLabel"}, {"txtMarker4Signal", "QLabel"},
        {"txtChannel", "QLineEdit"}, {"IXOconfig_b_c", "QWidget"},
        {"pbCalculate", "QPushButton"}, {"pbDownload", "QPushButton"}, {"pbRefresh", "QPushButton"},
        {"main", "QMainWindow"},
    };
    for (const auto& [tag, kind] : tags) {
        QObject* o = win->handles().object(tag);
        ASSERT_NE(o, nullptr) << tag;
        EXPECT_TRUE(o->inherits(kind)) << tag << " is a " << o->metaObject()->className();
    }
    // The carrier fields belong to the signal-generator panel, once it is
    // loaded into its place.
    if (win->sigGenPanel().has("updateFrequency")) {
        for (const auto& [tag, kind] : {std::pair{"txtFrequency", "QLineEdit"}, {"pdFrequencyUnits", "QComboBox"}}) {
            QObject* o = win->handles().object(tag);
            ASSERT_NE(o, nullptr) << tag;
            EXPECT_TRUE(o->inherits(kind)) << tag;
        }
    }
}

TEST_F(MainWindowTest, MenuBarFollowsItsTable) {
    struct Item {
        const char* tag;
        const char* label;
        bool visible;
    };
    const Item items[] = {
        {"menuFileNew", "&New", true},
        {"menuFileOpen", "&Open...", true},
        {"menuFileSave", "&Save", true},
        {"menuFileSaveAs", "Save &As...", true},
        {"menuFileExportRawData", "&Export Raw Data...", false},
        {"menuFileExit", "E&xit", true},
        {"menuPlotSpectrum", "&Spectrum", true},
        {"menuPlotWaterfall", "&Waterfall", false},
        {"menuPlotIQTime", "I(t) Q(t)", true},
        {"menuPlotIQTimeSameAxes", "I(t) Q(t) Overlayed", true},
        {"menuPlotEyeDiagram", "&Eye Diagram", false},
        {"menuPlotScatterDiagram", "S&catter Diagram", false},
        {"menuPlotCCDF", "&CCDF", true},
        {"menuConfigSigGenIO", "&Sig Gen I/O", true},
        {"menuConfigSpecAnIO", "Spec &An I/O", false},
        {"menuConfigBBG1Opt1", "Option 00&1 (8 Msamples)", true},
        {"menuConfigBBG1Opt2", "Option 00&2 (32 Msamples)", true},
        {"menuSpecialSaveWave", "Save &Wave...", true},
        {"menuSpecialImpairments", "&Impairments", false},
        {"menuHelpHelp", "&Help", true},
        {"menuHelpAbout", "&About", true},
    };
    for (const Item& i : items) {
        QAction* a = action(i.tag);
        EXPECT_EQ(a->text(), i.label) << i.tag;
        EXPECT_EQ(a->isVisible(), i.visible) << i.tag;
    }
    EXPECT_FALSE(action("menuSpecialImpairments")->isEnabled());

    const MenuHeaders& m = win->frame()->menus();
    EXPECT_EQ(m.File->title(), "&File");
    EXPECT_EQ(m.Plot->title(), "&Plot");
    EXPECT_EQ(m.Config->title(), "&Configuration");
    EXPECT_EQ(m.Help->title(), "&Help");
    EXPECT_FALSE(m.Special->menuAction()->isVisible());  // the whole Special menu
    auto* bbg = win->handles().get<QMenu>("menuConfigBBG1");
    EXPECT_EQ(bbg->title(), "&Baseband Generator");

    // Separators above Exit, I(t) Q(t), CCDF and the Baseband Generator.
    const auto separatorBefore = [](QMenu* menu, QAction* a) {
        const auto actions = menu->actions();
        const auto k = actions.indexOf(a);
        return k > 0 && actions[k - 1]->isSeparator();
    };
    EXPECT_TRUE(separatorBefore(m.File, action("menuFileExit")));
    EXPECT_TRUE(separatorBefore(m.Plot, action("menuPlotIQTime")));
    EXPECT_TRUE(separatorBefore(m.Plot, action("menuPlotCCDF")));
    EXPECT_TRUE(separatorBefore(m.Config, bbg->menuAction()));
    EXPECT_FALSE(separatorBefore(m.Plot, action("menuPlotIQTimeSameAxes")));

    EXPECT_EQ(action("menuFileNew")->shortcut(), QKeySequence(QKeySequence::New));
    EXPECT_EQ(action("menuFileOpen")->shortcut(), QKeySequence(QKeySequence::Open));
    EXPECT_EQ(action("menuFileSave")->shortcut(), QKeySequence(QKeySequence::Save));
    EXPECT_EQ(action("menuFileExit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
}

TEST_F(MainWindowTest, TooltipsAreSetAtStartUp) {
    EXPECT_EQ(control<QWidget>("txtBDaddr")->toolTip(),
              "Sets the baseband device (BD) address.\nValid Range: 0 to FFFFFFFFFFFF\nHexadecimal representation");
    EXPECT_EQ(control<QWidget>("txtRampSettling")->toolTip(),
              "Sets the settling time after \nthe burst power ramp. This includes\nthe burst power ramp time "
              "Bluetooth requires.\nValid Range: power ramp to \n             power ramp + 10 us");
    EXPECT_EQ(control<QWidget>("pbCalculate")->toolTip(), "Calculates the waveform based\non current settings.");
    EXPECT_EQ(control<QWidget>("txtEvent3")->toolTip(),
              "Description of the signal available on\nthe Event 3 Connector of the rear panel.");
    // The window's own projected-length hint replaces the frame's.
    EXPECT_EQ(control<QWidget>("txtNumberOfSamples")->toolTip(),
              "The number of samples generated \nby the current settings.\n(An IXO can hold 8 or 32 M samples,\n "
              "depending on the hardware option.)");
    EXPECT_TRUE(control<QWidget>("chkDataWhiteningActive")->toolTip().isEmpty());
}

TEST_F(MainWindowTest, StartsWithTheDefaultsShown) {
    EXPECT_EQ(title(), "Veltor Tessaline - BLUETOOTH");
    EXPECT_TRUE(win->window()->isVisible());
    EXPECT_EQ(control<QPushButton>("pbGenerationMode")->text(), "Packet Mode");
    EXPECT_EQ(control<QComboBox>("pdLinkType")->currentText(), "ACL");
    EXPECT_EQ(control<QComboBox>("pdPacketType")->currentText(), "4: DH1");
    EXPECT_EQ(control<QComboBox>("pdMultiPacket")->currentText(), "Single Packet");
    EXPECT_EQ(text("txtBDaddr"), "000000000008");
    EXPECT_EQ(text("txtAMaddr"), "1");
    EXPECT_EQ(control<QComboBox>("pdPayload")->currentText(), "PN9");
    EXPECT_EQ(text("txtNumberOfSamples"), "12500 Samples");
    EXPECT_EQ(text("txtChannel"), "0");
    EXPECT_EQ(text("txtOversampleRate"), "10");
    EXPECT_TRUE(control<QCheckBox>("chkBurstActive")->isChecked());
    EXPECT_FALSE(control<QWidget>("pbCalibrateDelay")->isEnabled());
    EXPECT_TRUE(control<QWidget>("txtEvent3")->isVisibleTo(win->window()));
    EXPECT_EQ(params().ProjectedLength, 12500);
    EXPECT_TRUE(appState().appInfo.LastCalcTimeStamp.empty());
}

TEST_F(MainWindowTest, PlatformBHidesTheThirdAndFourthEventsAndTheBasebandMenu) {
    restart('b');
    for (const char* tag : {"txtEvent3", "txtEvent4", "txtMarker3Signal", "txtMarker4Signal"})
        EXPECT_FALSE(control<QWidget>(tag)->isVisibleTo(win->window())) << tag;
    EXPECT_TRUE(control<QWidget>("txtEvent2")->isVisibleTo(win->window()));
    EXPECT_FALSE(win->handles().has("menuConfigBBG1"));
    EXPECT_EQ(control<QWidget>("txtNumberOfSamples")->toolTip(),
              "The number of samples generated \nby the current settings.\n(An IXO can hold up 1 M samples.)");
    bt::test::saveShot(win->window(), "main_window_platform_b");
}

// ----------------------------------------------------------------- edits

TEST_F(MainWindowTest, TypedAddressesAreReadAsHexadecimalAndClamped) {
    type("txtBDaddr", "1234abcd");
    EXPECT_EQ(params().BDaddr, double(0x1234ABCD));
    EXPECT_EQ(text("txtBDaddr"), "00001234ABCD");
    type("txtAMaddr", "9");
    EXPECT_EQ(params().AMaddr, 7);
    EXPECT_EQ(text("txtAMaddr"), "7");
    type("txtAMaddr", "zz");  // not a number: the field shows the stored value again
    EXPECT_EQ(params().AMaddr, 7);
    EXPECT_EQ(text("txtAMaddr"), "7");
    type("txtOversampleRate", "25");
    EXPECT_EQ(params().OverSampling, 20);
    EXPECT_EQ(appState().SigGenSettings.SamplingRate, 20e6);
    EXPECT_EQ(text("txtNumberOfSamples"), QString::fromStdString(projectedLengthText(Bt_SizeEst(params()))));
}

TEST_F(MainWindowTest, SwitchingTheLinkTypeGivesANullSinglePacket) {
    choose("pdMultiPacket", 2);
    EXPECT_EQ(params().multiPacket, 1);
    EXPECT_EQ(params().ARQN, 1);
    choose("pdLinkType", 1);  // SCO
    EXPECT_EQ(params().linkType, 1);
    EXPECT_EQ(params().packetType, 0);
    EXPECT_EQ(params().multiPacket, 0);
    EXPECT_EQ(params().ARQN, 0);
    // A NULL packet: no payload, blank pattern fields, counts 1, 0, 0.
    EXPECT_EQ(control<QComboBox>("pdPacketType")->currentText(), "0: NULL");
    EXPECT_EQ(control<QComboBox>("pdPayload")->count(), 1);
    EXPECT_EQ(control<QComboBox>("pdPayload")->currentText(), "N/A");
    EXPECT_FALSE(control<QWidget>("pdPayload")->isEnabled());
    EXPECT_EQ(text("txtPatternReps"), "");
    EXPECT_EQ(text("txtPatternLength"), "");
    EXPECT_EQ(text("txtFullPackets"), "1");
    EXPECT_EQ(text("txtPartialPackets"), "0");
    EXPECT_EQ(text("txtPadPackets"), "0");
}

TEST_F(MainWindowTest, EscoLinkOffersEvPacketsAndSizesThem) {
    choose("pdLinkType", 3);
    EXPECT_EQ(params().linkType, 3);
    EXPECT_EQ(control<QComboBox>("pdLinkType")->currentText(), "eSCO");
    QComboBox* packets = control<QComboBox>("pdPacketType");
    EXPECT_EQ(packets->itemText(8), "7: EV3");  // item k shows code k - 1
    EXPECT_EQ(packets->itemText(13), "C: EV4");
    QTest::keyClicks(packets, "D");  // "D: EV5", typed as its first letter
    EXPECT_EQ(params().packetType, 13);
    EXPECT_EQ(packets->currentText(), "D: EV5");
    EXPECT_EQ(params().patternLength, 1440);
    EXPECT_EQ(text("txtNumberOfSamples"), QString::fromStdString(projectedLengthText(Bt_SizeEst(params()))));
    QTest::keyClicks(packets, "E");  // "E: Undefined" on eSCO: the choice is ignored
    EXPECT_EQ(params().packetType, 13);
    EXPECT_EQ(packets->currentText(), "D: EV5");
}

TEST_F(MainWindowTest, MultiPacketDH1CountsItsPackets) {
    choose("pdMultiPacket", 2);
    EXPECT_EQ(params().patternLength, 4088);
    EXPECT_EQ(text("txtFullPackets"), "18");
    EXPECT_EQ(text("txtPartialPackets"), "1");
    EXPECT_EQ(text("txtPadPackets"), "1");
    EXPECT_EQ(control<QComboBox>("pdPayload")->count(), 10);
    EXPECT_EQ(control<QComboBox>("pdPayload")->currentText(), "Continuous PN9");
    EXPECT_TRUE(control<QWidget>("pbCalibrateDelay")->isEnabled());
    EXPECT_FALSE(control<QWidget>("txtPatternLength")->isEnabled());
    choose("pdPayload", 7);  // 8 Bit Pattern
    EXPECT_TRUE(control<QWidget>("txtBitPattern")->isEnabled());
    EXPECT_TRUE(control<QWidget>("txtBitPatternLabel")->isEnabled());
    type("txtBitPattern", "1ff");
    EXPECT_EQ(params().bitPattern, 255);
    EXPECT_EQ(text("txtBitPattern"), "FF");
}

TEST_F(MainWindowTest, StreamModeAndBurstSwitchTheirControls) {
    click("pbGenerationMode");
    EXPECT_EQ(params().generationMode, 2);
    EXPECT_EQ(control<QPushButton>("pbGenerationMode")->text(), "Stream Mode");
    EXPECT_FALSE(control<QWidget>("pdLinkType")->isEnabled());
    EXPECT_EQ(text("txtFullPackets"), "N/A");
    EXPECT_EQ(text("txtEvent2"), "Start of Stream");
    click("pbGenerationMode");
    EXPECT_EQ(params().generationMode, 1);

    click("chkBurstActive");
    EXPECT_EQ(params().burstActive, 0);
    EXPECT_FALSE(control<QCheckBox>("chkBurstActive")->isChecked());
    EXPECT_FALSE(control<QWidget>("txtPowerRamp")->isEnabled());
    EXPECT_FALSE(control<QWidget>("txtRampSettling")->isEnabled());
    click("chkBurstActive");
    EXPECT_TRUE(control<QWidget>("txtPowerRamp")->isEnabled());
    click("chkMirrorSpectrum");
    EXPECT_EQ(params().MirrorSpectrum, 1);
    click("chkDataWhiteningActive");
    EXPECT_EQ(params().dataWhiteningActive, 1);
}

TEST_F(MainWindowTest, ARefusedEditRestoresTheFieldAndSaysWhy) {
    restart('b');
    click("pbGenerationMode");  // stream mode: the pattern length decides the size
    const Parameters before = params();
    type("txtPatternLength", "200000");  // 2 M samples: more than an IXO-B holds
    EXPECT_EQ(params(), before);
    EXPECT_EQ(text("txtPatternLength"), QString::fromStdString(displayText(before, "patternLength")));
    ASSERT_FALSE(dialogs->shown().empty());
    EXPECT_EQ(dialogs->shown().back().kind, "error");
    EXPECT_EQ(dialogs->shown().back().title, "Configuration Invalid");
}

TEST_F(MainWindowTest, ALargeWaveformIsKeptWithAWarning) {
    click("pbGenerationMode");
    type("txtPatternLength", "200000");
    EXPECT_EQ(params().patternLength, 200000);
    ASSERT_FALSE(dialogs->shown().empty());
    EXPECT_EQ(dialogs->shown().back().title, "Calculation Warning!");
}

TEST_F(MainWindowTest, ChannelAndCarrierFollowEachOther) {
    type("txtChannel", "100");
    EXPECT_EQ(text("txtChannel"), "78");
    EXPECT_EQ(appState().SigGenSettings.Frequency, 2.48e9);
    type("txtChannel", "");
    EXPECT_EQ(text("txtChannel"), "0");
    EXPECT_EQ(appState().SigGenSettings.Frequency, 2.402e9);

    appState().SigGenSettings.Frequency = 2.4415e9;
    win->bt_GUI("redraw");
    EXPECT_EQ(text("txtChannel"), "--");
    appState().SigGenSettings.Frequency = 2.480e9;
    win->bt_GUI("redraw");
    EXPECT_EQ(text("txtChannel"), "78");
    appState().SigGenSettings.Frequency = 2.481e9;
    win->bt_GUI("redraw");
    EXPECT_EQ(text("txtChannel"), "--");
}

TEST_F(MainWindowTest, AnErrorInARoutineLeavesTheWindowUsable) {
    testing::internal::CaptureStderr();
    win->bt_GUI("noSuchRoutine");
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_NE(printed.find("noSuchRoutine"), std::string::npos);
    type("txtAMaddr", "3");
    EXPECT_EQ(params().AMaddr, 3);
}

// ------------------------------------------------------------- calculate

// The EDR relative power is reached with Tab from the packet type, but only
// for an EDR packet; it is clamped as its neighbours are, and the DPSK
// section of the calculated packet is that much below its GFSK part, as
// the receiver measures it.
TEST_F(MainWindowTest, EdrRelativePowerIsTypedAfterAnEdrPacketTypeAndSetsTheDpskPower) {
    win->window()->show();
    win->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(win->window()));
    QComboBox* packets = control<QComboBox>("pdPacketType");
    QLineEdit* power = control<QLineEdit>("txtEdrRelativePower");
    const auto tabFromPacketType = [&] {
        packets->setFocus(Qt::TabFocusReason);
        QTest::keyClick(packets, Qt::Key_Tab);
        return QApplication::focusWidget();
    };
    EXPECT_FALSE(power->isEnabled());  // DH1 has no DPSK section
    EXPECT_FALSE(control<QWidget>("lblEdrRelativePower")->isEnabled());
    EXPECT_EQ(tabFromPacketType(), control<QWidget>("pdMultiPacket"));

    // By its first letter, as a user picks: "F: DH5" first, then "F: 3-DH5".
    QTest::keyClicks(packets, "F");
    QTest::qWait(QApplication::keyboardInputInterval() + 100);
    QTest::keyClicks(packets, "F");
    ASSERT_EQ(packets->currentText(), "F: 3-DH5");
    EXPECT_TRUE(power->isEnabled());
    ASSERT_EQ(tabFromPacketType(), power);
    QTest::keyClicks(power, "12");  // Tab selected the shown value: typing replaces it
    QTest::keyClick(power, Qt::Key_Tab);
    EXPECT_EQ(params().edrRelativePower, 10);
    EXPECT_EQ(text("txtEdrRelativePower"), "10");
    type("txtEdrRelativePower", "-25");
    EXPECT_EQ(params().edrRelativePower, -10);
    type("txtEdrRelativePower", "minus two");  // not a number: the stored value shows again
    EXPECT_EQ(text("txtEdrRelativePower"), "-10");
    type("txtEdrRelativePower", "-2.5");
    EXPECT_EQ(params().edrRelativePower, -2.5);
    EXPECT_EQ(power->toolTip(), "Sets the power of the DPSK section of EDR packets\nrelative to their GFSK section "
                                "(access code\nand header). Compliant transmitters: -4 to 1 dB.\nValid Range: -10 to 10 dB");

    click("pbCalculate");
    const ComplexRow& w = appState().waveform;
    const analysis::Reception r = analysis::receive(w.data(), w.size(), params().OverSampling * 1e6);
    ASSERT_EQ(r.packets.size(), 1u);
    EXPECT_TRUE(r.packets[0].decoded.ok()) << r.packets[0].decoded.describe();
    ASSERT_TRUE(r.packets[0].measured.edr && r.packets[0].measured.edr->relativePowerDb);
    EXPECT_NEAR(*r.packets[0].measured.edr->relativePowerDb, -2.5, 0.1);

    // Back on a basic-rate packet the field rests, keeping its value.
    QTest::qWait(QApplication::keyboardInputInterval() + 100);
    QTest::keyClicks(packets, "4");
    ASSERT_EQ(packets->currentText(), "4: DH1");
    EXPECT_FALSE(power->isEnabled());
    EXPECT_EQ(params().edrRelativePower, -2.5);
}


TEST_F(MainWindowTest, CalculateButtonStoresTheCoreSignalAndStampsIt) {
    type("txtOversampleRate", "4");
    click("pbCalculate");
    const GeneratedSignal expected = bt::Calculate(params());
    EXPECT_EQ(appState().waveform, expected.waveform);
    EXPECT_EQ(appState().markers, expected.markers);
    EXPECT_EQ(static_cast<double>(appState().waveform.size()), params().ProjectedLength);
    EXPECT_FALSE(appState().appInfo.LastCalcTimeStamp.empty());
    ASSERT_TRUE(appState().appInfo.LastCaluclatedParameterSet.has_value());
    EXPECT_EQ(*appState().appInfo.LastCaluclatedParameterSet, params());
    EXPECT_TRUE(dialogs->shown().empty());
}

TEST_F(MainWindowTest, SplashStaysItsMinimumTime) {
    EXPECT_EQ(splashRemainingMs(1000, 3000), 2000);
    EXPECT_EQ(splashRemainingMs(3500, 3000), 0);
    win.reset();
    StartOptions o;
    o.showSplash = true;
    o.splashMinimumMs = 400;
    QElapsedTimer t;
    t.start();
    win = std::make_unique<MainWindow>(o);
    EXPECT_GE(t.elapsed(), 400);
    EXPECT_EQ(win->splash(), nullptr);  // closed before the window is shown
    EXPECT_TRUE(win->window()->isVisible());
}

TEST_F(MainWindowTest, ScreenshotOfTheMainWindow) {
    bt::test::saveShot(win->window(), "main_window_platform_c");
    SUCCEED();
}

}  // namespace
}  // namespace bt::gui
