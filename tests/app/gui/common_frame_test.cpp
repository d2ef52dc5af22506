// The common frame around the application window: the readiness check,
// Download and Refresh against the simulated instrument, settings files,
// waveform saving, the baseband-generator options, Help, About, shutdown.
#include "app/gui/common_frame.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <filesystem>

#include "support/gui/app_window_fixture.h"
#include "bluetooth/size_est.h"
#include "lib/matfile.h"
#include "sim/sim_server.h"
#include "support/gui/gui_support.h"
#include "app/gui/about_window.h"
#include "windowkit/gui/qt_dialogs.h"
#include "app/settings_files.h"

namespace bt::gui {
namespace {

namespace fs = std::filesystem;

class FrameTest : public testing_support::AppWindowTest {
protected:
    void TearDown() override {
        testing_support::AppWindowTest::TearDown();
        if (server) server->stop();
    }
    // A simulated instrument on a free loopback port as the LAN instrument.
    void useSimulator(char model = 'c') {
        sim::ServerOptions options;
        options.instrument.model = model;
        server = std::make_unique<sim::Server>(options);
        std::string error;
        const auto port = server->start(0, error);
        ASSERT_NE(port, 0) << error;
        appState().configuration.type = "TCPIP";
        appState().configuration.TCPIP.address = "127.0.0.1:" + std::to_string(port);
    }
    void trigger(const char* tag) { action(tag)->trigger(); }
    const PresetDialogs::Shown& last() { return dialogs->shown().back(); }

    std::unique_ptr<sim::Server> server;
};

// -------------------------------------------------------- readiness check

TEST_F(FrameTest, DownloadBeforeCalculatingAsksFirstAndCancelStops) {
    dialogs->queueAnswers({"Cancel"});
    click("pbDownload");
    ASSERT_EQ(dialogs->shown().size(), 1u);
    EXPECT_EQ(last().title, "Waveform Not Calculated");
    EXPECT_EQ(last().text,
              "The waveform has not yet been calculated. Do you wish to calculate\nthe waveform and then download ?");
    EXPECT_TRUE(appState().waveform.empty());
    EXPECT_TRUE(appState().appInfo.LastCalcTimeStamp.empty());
}

TEST_F(FrameTest, DownloadButtonCalculatesAndPlaysOnTheSimulator) {
    useSimulator('c');
    click("pbDownload");  // "Calculate & Download" is the default button
    ASSERT_EQ(dialogs->shown().size(), 2u);
    EXPECT_EQ(last().kind, "message");
    EXPECT_EQ(last().title, "Download Completed");
    EXPECT_EQ(last().text, "Waveform has been successfully transferred to the instrument");
    const auto stored = server->instrument().waveform(appState().SigGenSettings.Title);
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->samples(), appState().waveform.size());
    EXPECT_EQ(static_cast<double>(stored->samples()), params().ProjectedLength);
}

TEST_F(FrameTest, EditedSettingsOfferToRecalculate) {
    click("pbCalculate");
    const auto calculated = appState().waveform;
    type("txtOversampleRate", "4");
    dialogs->queueAnswers({"Cancel", "Recalc & Download"});
    click("pbDownload");
    ASSERT_EQ(dialogs->shown().size(), 1u);
    EXPECT_EQ(last().title, "Waveform Not Recalculated");
    EXPECT_EQ(last().text,
              "Settings have changed since last calculating the waveform.\nDownload will use the last calculated "
              "waveform.\nDo you wish to download anyway ?");
    EXPECT_EQ(appState().waveform, calculated);
    // Recalculating replaces the waveform; the download then fails (no
    // instrument at the default address) and says so.
    appState().configuration.type = "TCPIP";
    appState().configuration.TCPIP.address = "127.0.0.1:1";
    click("pbDownload");
    EXPECT_EQ(static_cast<double>(appState().waveform.size()), params().ProjectedLength);
    EXPECT_EQ(last().kind, "error");
    EXPECT_EQ(last().title, "Error Occured During Waveform Download");
}

TEST_F(FrameTest, RefreshFailureIsShownWithItsTitle) {
    appState().configuration.type = "TCPIP";
    appState().configuration.TCPIP.address = "127.0.0.1:1";
    click("pbRefresh");
    ASSERT_EQ(dialogs->shown().size(), 1u);
    EXPECT_EQ(last().kind, "error");
    EXPECT_EQ(last().title, "Error Occured During Instrument Setup");
}

TEST_F(FrameTest, RefreshSendsTheSettings) {
    useSimulator('c');
    click("pbDownload");
    ASSERT_EQ(last().title, "Download Completed");
    const auto before = dialogs->shown().size();
    type("txtChannel", "39");
    click("pbRefresh");
    ASSERT_EQ(dialogs->shown().size(), before) << last().title << ": " << last().text;
    EXPECT_NE(server->instrument().setting(":SOUR:FREQ").find("2441"), std::string::npos)
        << server->instrument().setting(":SOUR:FREQ");
}

// ---------------------------------------------------------- settings files

TEST_F(FrameTest, SaveAndOpenRoundTripWithTheStarInTheTitle) {
    const fs::path file = scratch_.path() / "mine";
    dialogs->setFile(file.string());
    type("txtAMaddr", "5");
    EXPECT_EQ(title(), "Veltor Tessaline - BLUETOOTH *");
    QTest::keyClick(win->window(), Qt::Key_S, Qt::ControlModifier);
    if (!fs::exists(file.string() + ".bt")) trigger("menuFileSave");  // shortcuts need an active window
    const std::string saved = fs::absolute(file.string() + ".bt").string();
    ASSERT_TRUE(fs::exists(saved));
    EXPECT_EQ(appState().configuration.LastParameterFilename, saved);
    EXPECT_EQ(title(), "Veltor Tessaline - BLUETOOTH : " + saved);

    type("txtAMaddr", "2");
    EXPECT_EQ(title(), "Veltor Tessaline - BLUETOOTH : " + saved + " *");
    dialogs->setFile(saved);
    trigger("menuFileOpen");
    EXPECT_EQ(params().AMaddr, 5);
    EXPECT_EQ(text("txtAMaddr"), "5");
    EXPECT_EQ(title(), "Veltor Tessaline - BLUETOOTH : " + saved);

    // File New: defaults, no file name, the title without the file.
    type("txtAMaddr", "6");
    trigger("menuFileNew");
    EXPECT_EQ(params().AMaddr, 1);
    EXPECT_TRUE(appState().configuration.LastParameterFilename.empty());
    EXPECT_EQ(title(), "Veltor Tessaline - BLUETOOTH");
}

TEST_F(FrameTest, SaveAsKeepsASingleExtension) {
    dialogs->setFile((scratch_.path() / "twice.bt").string());
    trigger("menuFileSaveAs");
    EXPECT_TRUE(fs::exists(scratch_.path() / "twice.bt"));
    EXPECT_FALSE(fs::exists(scratch_.path() / "twice.bt.bt"));
}

TEST_F(FrameTest, OpeningAForeignFileChangesNothing) {
    const fs::path foreign = scratch_.path() / "foreign.bt";
    writeMatFile(foreign, {{"somethingElse", MatValue::scalar(1)}});
    type("txtAMaddr", "4");
    const Parameters before = params();
    dialogs->setFile(foreign.string());
    trigger("menuFileOpen");
    EXPECT_EQ(params(), before);
    ASSERT_FALSE(dialogs->shown().empty());
    EXPECT_EQ(last().kind, "error");
    EXPECT_EQ(last().title, "Error Loading File");
    EXPECT_NE(last().text.find("has an Invalid File Format."), std::string::npos) << last().text;
    EXPECT_NE(last().text.find("foreign.bt"), std::string::npos);

    const fs::path garbage = scratch_.path() / "garbage.bt";
    bttest::writeBytes(garbage, "not a MAT-file at all");
    dialogs->setFile(garbage.string());
    trigger("menuFileOpen");
    EXPECT_EQ(params(), before);
    EXPECT_EQ(last().title, "Error Loading File");
    EXPECT_TRUE(appState().configuration.LastParameterFilename.empty());
}

TEST_F(FrameTest, FileNamedOnTheCommandLineIsOpenedAtStartUp) {
    Parameters p;
    p.AMaddr = 6;
    const fs::path file = scratch_.path() / "start.bt";
    ASSERT_TRUE(saveParameters(file, p, SigGenSettings{}));
    restart('c', file.string());
    EXPECT_EQ(params().AMaddr, 6);
    EXPECT_EQ(text("txtAMaddr"), "6");
    EXPECT_EQ(title(), "Veltor Tessaline - BLUETOOTH : " + fs::absolute(file).string());
}

// ------------------------------------------------------- waveform saving

TEST_F(FrameTest, SaveAsWithThePrefixSavesTheWaveform) {
    click("pbCalculate");
    dialogs->setFile((scratch_.path() / "wqxnvle.w").string());
    dialogs->queueAnswers({"MAT"});
    trigger("menuFileSaveAs");
    EXPECT_EQ(dialogs->shown().back().title, "Special Save");
    ASSERT_TRUE(fs::exists(scratch_.path() / "w"));
    EXPECT_TRUE(appState().configuration.LastParameterFilename.empty());
    MatFileReader reader(scratch_.path() / "w");
    const MatValue samples = reader.read("samples");
    EXPECT_TRUE(samples.complex);
    EXPECT_EQ(samples.numel(), appState().waveform.size());

    dialogs->setFile((scratch_.path() / "wqxnvle.").string());  // the prefix alone names a settings file
    trigger("menuFileSaveAs");
    EXPECT_TRUE(fs::exists(scratch_.path() / "wqxnvle..bt"));
}

TEST_F(FrameTest, SpecialSaveWaveWritesSamplesRateAndWave) {
    action("menuSpecialSaveWave")->setVisible(true);
    dialogs->setFile((scratch_.path() / "wave.txt").string());
    trigger("menuSpecialSaveWave");  // calculates first (default button)
    MatFileReader reader(scratch_.path() / "wave.txt");
    EXPECT_EQ(reader.read("samplePoints").re.at(0), static_cast<double>(appState().waveform.size()));
    EXPECT_EQ(reader.read("sampleRate").re.at(0), appState().SigGenSettings.SamplingRate);
    const MatValue wave = reader.read("wave");
    ASSERT_EQ(wave.dims.size(), 2u);
    EXPECT_EQ(wave.dims[0], appState().waveform.size());
    EXPECT_EQ(wave.dims[1], 2u);
}

// ------------------------------------------- baseband generator, help

TEST_F(FrameTest, Option001AsksWhenTheWaveformIsTooLarge) {
    EXPECT_TRUE(action("menuConfigBBG1Opt2")->isChecked());
    type("txtAMaddr", "3");
    params().ProjectedLength = 8000001;  // as a large setting would leave it
    trigger("menuConfigBBG1Opt1");       // the default answer keeps everything
    EXPECT_EQ(last().title, "Waveform too large");
    EXPECT_EQ(appState().configuration.BBGtype, "002");
    EXPECT_TRUE(action("menuConfigBBG1Opt2")->isChecked());
    EXPECT_FALSE(action("menuConfigBBG1Opt1")->isChecked());

    params().ProjectedLength = 8000001;
    dialogs->queueAnswers({"Yes"});
    trigger("menuConfigBBG1Opt1");
    EXPECT_EQ(appState().configuration.BBGtype, "001");
    EXPECT_EQ(params().AMaddr, 1);  // reset to the defaults
    EXPECT_TRUE(action("menuConfigBBG1Opt1")->isChecked());
    EXPECT_FALSE(action("menuConfigBBG1Opt2")->isChecked());

    const auto asked = dialogs->shown().size();
    trigger("menuConfigBBG1Opt2");
    params().ProjectedLength = 8000000;
    trigger("menuConfigBBG1Opt1");
    EXPECT_EQ(dialogs->shown().size(), asked);  // exactly 8 M samples: no question
    EXPECT_EQ(appState().configuration.BBGtype, "001");
}

TEST_F(FrameTest, HelpSaysItIsNotAvailable) {
    trigger("menuHelpHelp");
    EXPECT_EQ(last().title, "Option unavailable");
    EXPECT_EQ(last().text, "HTML help is not available in this version.");
}

TEST_F(FrameTest, AboutShowsTheApplicationRecord) {
    QDialog* about = makeAboutWindow(appState().appInfo, win->window());
    about->show();
    const Handles h(about);
    EXPECT_EQ(h.get<QLabel>("txtName")->text(), "BLUETOOTH");
    EXPECT_EQ(h.get<QLabel>("txtRev")->text(), "Revision A.03.01.001");
    EXPECT_TRUE(h.get<QLabel>("txtNotes")->text().contains("Veltor R7720K series RF Signal Generators."));
    bt::test::saveShot(about, "about_window");
    delete about;

    bool shown = false;
    bt::test::onNextModal([&](QWidget* d) {
        shown = Handles(d).has("txtName");
        bt::test::clickButton(d, "OK");
    });
    trigger("menuHelpAbout");
    EXPECT_TRUE(shown);
}

// ---------------------------------------------------------------- shutdown

TEST_F(FrameTest, ExitClosesPlotWindowsAndWritesTheConfiguration) {
    auto* plot = new QWidget;
    plot->show();
    QPointer<QWidget> watch(plot);
    win->frame()->addClientWindow(plot);
    auto* gone = new QWidget;
    win->frame()->addClientWindow(gone);
    delete gone;  // closed by the user: only removed from the list
    EXPECT_EQ(appState().appInfo.ClientWindows.size(), 2u);

    appState().configuration.TCPIP.address = "10.1.2.3";
    trigger("menuFileExit");
    EXPECT_TRUE(watch.isNull());
    EXPECT_TRUE(appState().appInfo.ClientWindows.empty());
    const LoadedConfig saved = loadConfig(scratch_.path() / "rfIOConfig.mat");
    ASSERT_TRUE(saved.configuration.has_value()) << saved.reason;
    EXPECT_EQ(saved.configuration->TCPIP.address, "10.1.2.3");
    EXPECT_TRUE(bt::test::waitUntil([&] { return win->window() == nullptr; }));

    // The next start reads it back.
    restart('c');
    EXPECT_EQ(appState().configuration.TCPIP.address, "10.1.2.3");
}

// ---------------------------------------------------- real dialogs, shots

TEST_F(FrameTest, ReadinessDialogsAsShown) {
    setDialogs(std::make_shared<QtDialogs>(win->window()));
    QString seen;
    bt::test::onNextModal([&](QWidget* d) {
        seen = d->windowTitle();
        bt::test::saveShot(d, "frame_waveform_not_calculated");
        EXPECT_TRUE(bt::test::clickButton(d, "Cancel"));
    });
    click("pbDownload");
    EXPECT_EQ(seen, "Waveform Not Calculated");

    setDialogs(dialogs);
    click("pbCalculate");
    type("txtAMaddr", "2");
    setDialogs(std::make_shared<QtDialogs>(win->window()));
    seen.clear();
    bt::test::onNextModal([&](QWidget* d) {
        seen = d->windowTitle();
        bt::test::saveShot(d, "frame_waveform_not_recalculated");
        EXPECT_TRUE(bt::test::clickButton(d, "Cancel"));
    });
    trigger("menuSpecialSaveWave");
    EXPECT_EQ(seen, "Waveform Not Recalculated");
    setDialogs(dialogs);
}

}  // namespace
}  // namespace bt::gui
