// The dirty-transmitter window and its event-marker window driven through
// their real controls on the offscreen platform.
#include "bluetooth/gui/dirty_transmitter_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "bluetooth/dirty_tx_edits.h"
#include "bluetooth/gui/dt_event_markers_window.h"
#include "instrument/gui/siggen_advanced_dialog.h"
#include "instrument/gui/siggen_panel.h"
#include "instrument/sim_fixture.h"
#include "lib/dialogs.h"
#include "app/app_state.h"
#include "app/gui/window_records.h"
#include "support/gui/gui_support.h"

namespace bt::gui {
namespace {

DirtyTxState& dt() { return appState().dirtyTx; }

void type(QLineEdit* e, const QString& text) {
    e->selectAll();
    QTest::keyClicks(e, text);
    QTest::keyClick(e, Qt::Key_Return);
}

// Picks list item `index` (0-based) with the keyboard, as a user would.
void choose(QComboBox* list, int index) {
    QTest::keyClick(list, Qt::Key_Home);
    for (int i = 0; i < index; ++i) QTest::keyClick(list, Qt::Key_Down);
    ASSERT_EQ(list->currentIndex(), index);
}

void toggle(QCheckBox* box) { QTest::keyClick(box, Qt::Key_Space); }

bool highlighted(const QLineEdit* e, const char* colour) { return e->styleSheet().contains(colour); }

// A fresh application state, scripted dialogs, and the window opened as the
// main window opens it.
class DirtyTxWindow : public ::testing::Test {
protected:
    void SetUp() override {
        initializeAppState(appState());
        dialogs = std::make_shared<PresetDialogs>("OK");
        setDialogs(dialogs);
        window = new DirtyTransmitterWindow(dtWindowRecords(appState()));
        root.reset(window->window());
        window->open();
    }
    void TearDown() override {
        root.reset();
        setDialogs(nullptr);
    }

    template <class T>
    T* get(const QString& tag) const {
        return window->handles().get<T>(tag);
    }
    QLineEdit* edit(const QString& tag) const { return get<QLineEdit>(tag); }
    QLineEdit* edit(const char* prefix, int set) const { return edit(prefix + QString::number(set)); }
    QCheckBox* box(const QString& tag) const { return get<QCheckBox>(tag); }
    QWidget* marker(const QString& tag) const { return window->eventMarkers()->handles().get<QWidget>(tag); }

    std::shared_ptr<PresetDialogs> dialogs;
    DirtyTransmitterWindow* window = nullptr;
    std::unique_ptr<QWidget> root;  // the window, with the object behind it
};

TEST_F(DirtyTxWindow, EveryControlWithItsTooltipAndTheDefaults) {
    for (const char* tag : {"editMasterAddr", "editAM_Addr", "editPowerRamp", "editRampSettling", "editRFBurstPower",
                            "editRFFrequency", "editChannel", "editTriggerDelay", "txtWaveformTitle",
                            "editFreqDriftDeviation", "editInitialDriftPhase"})
        EXPECT_FALSE(edit(tag)->toolTip().isEmpty()) << tag;
    EXPECT_EQ(get<QComboBox>("pdPacketType")->toolTip(), "Selects the packet type for \nthe Dirty Transmitter tests.");
    EXPECT_EQ(get<QLabel>("txtSelectLabel")->toolTip(),
              "Select which tests to run.  All tests must be\nselected to meet the Bluetooth spec.  Other "
              "\ncombinations may be used for other verification.");
    EXPECT_EQ(edit("editSymbolTiming", 7)->toolTip(), "Sets the symbol timing error for test set 7.");
    EXPECT_EQ(box("chkTestSelect10")->toolTip(), "Selects test set 10 to run.");
    EXPECT_EQ(get<QComboBox>("pdPacketType")->count(), 9);  // DH1, DH3, DH5, then the EDR types
    EXPECT_NE(get<QWidget>("IXOconfig_b_c"), nullptr);

    // The ten default sets of the Bluetooth RF test.
    const char* offsets[] = {"75", "14", "-2", "1", "39", "0", "-42", "74", "-19", "-75"};
    const char* indices[] = {"0.28", "0.3", "0.29", "0.32", "0.33", "0.34", "0.29", "0.31", "0.28", "0.35"};
    for (int n = 1; n <= 10; ++n) {
        EXPECT_EQ(edit("editFreqOffset", n)->text(), offsets[n - 1]);
        EXPECT_EQ(edit("editModIndex", n)->text(), indices[n - 1]);
        EXPECT_EQ(edit("editSymbolTiming", n)->text(), n == 3 || n == 4 || n == 5 || n == 10 ? "20" : "-20");
        EXPECT_TRUE(box("chkTestSelect" + QString::number(n))->isChecked());
    }
    EXPECT_EQ(edit("editMasterAddr")->text(), "BDBDBDBDBDBD");
    EXPECT_EQ(edit("editChannel")->text(), "0");
    EXPECT_EQ(get<QLabel>("txtDTProjectedLength")->text(), "Projected Length: 250000");

    // An IXO-B offers no five-slot type.
    appState().appInfo.Platform = 'b';
    auto* b = new DirtyTransmitterWindow(dtWindowRecords(appState()));
    const std::unique_ptr<QWidget> bWindow(b->window());
    EXPECT_EQ(DirtyTransmitterWindow::of(bWindow.get()), b);
    EXPECT_EQ(b->handles().get<QComboBox>("pdPacketType")->count(), 6);
    EXPECT_EQ(b->handles().get<QLabel>("txtDTProjectedLength")->text(), "Projected Length: 500000");
}

TEST_F(DirtyTxWindow, PacketTypeOverwritesTheDriftOfAllSets) {
    choose(get<QComboBox>("pdFreqDriftRate"), 2);
    type(edit("editFreqDriftDeviation"), "-12");
    EXPECT_EQ(dt().dtImpairmentsCurrent[9].FreqDriftRate, 300);
    EXPECT_EQ(dt().dtImpairmentsCurrent[9].FreqDriftDeviation, -12);
    EXPECT_TRUE(edit("editFreqDriftDeviation")->styleSheet().contains("bold"));  // differs from DH1's

    choose(get<QComboBox>("pdPacketType"), 1);
    EXPECT_EQ(dt().dtParameters.packetType, 11);
    EXPECT_EQ(dt().dtParameters.patternLength, 1464);
    EXPECT_DOUBLE_EQ(dt().dtParameters.patternReps, 1464.0 / 511);
    for (const Impairments& i : dt().dtImpairmentsCurrent) {
        EXPECT_EQ(i.FreqDriftRate, 500);
        EXPECT_EQ(i.FreqDriftDeviation, 40);
    }
    EXPECT_EQ(get<QComboBox>("pdFreqDriftRate")->currentIndex(), 1);
    EXPECT_EQ(edit("editFreqDriftDeviation")->text(), "40");
    EXPECT_FALSE(edit("editFreqDriftDeviation")->styleSheet().contains("bold"));
    EXPECT_EQ(get<QLabel>("txtDTProjectedLength")->text(), "Projected Length: 750000");

    // An EDR type: the drift of its slots, its own largest payload.
    choose(get<QComboBox>("pdPacketType"), 6);
    EXPECT_EQ(get<QComboBox>("pdPacketType")->currentText(), "3-DH1");
    EXPECT_EQ(dt().dtParameters.packetType, 19);
    EXPECT_EQ(dt().dtParameters.patternLength, 83 * 8);
    EXPECT_EQ(dt().dtImpairmentsCurrent[0].FreqDriftRate, 1600);
    EXPECT_EQ(get<QLabel>("txtDTProjectedLength")->text(), "Projected Length: 250000");
}

TEST_F(DirtyTxWindow, EntriesAreRoundedAndClampedAndShownAsStored) {
    type(edit("editModIndex", 2), "0.3154");
    EXPECT_DOUBLE_EQ(dt().dtImpairmentsCurrent[1].ModIndex, 0.315);
    EXPECT_EQ(edit("editModIndex", 2)->text(), "0.315");
    type(edit("editModIndex", 2), "0.5");
    EXPECT_EQ(dt().dtImpairmentsCurrent[1].ModIndex, 0.4);
    type(edit("editFreqOffset", 5), "200");
    EXPECT_EQ(dt().dtImpairmentsCurrent[4].FreqOffset, 150);
    EXPECT_EQ(edit("editFreqOffset", 5)->text(), "150");

    type(edit("editPowerRamp"), "3");
    type(edit("editRampSettling"), "1");
    EXPECT_EQ(dt().dtParameters.burstSettle, 0);
    EXPECT_EQ(edit("editRampSettling")->text(), "3");

    type(edit("editRFFrequency"), "2480");
    EXPECT_EQ(edit("editChannel")->text(), "78");
    type(edit("editRFFrequency"), "2402.5");
    EXPECT_EQ(edit("editChannel")->text(), "--");
    type(edit("editChannel"), "100");
    EXPECT_EQ(edit("editChannel")->text(), "78");
    EXPECT_EQ(edit("editRFFrequency")->text(), "2480");
    EXPECT_EQ(dt().dtSigGenSettings.Frequency, 2480e6);

    type(edit("txtWaveformTitle"), "dt run/1");
    EXPECT_EQ(edit("txtWaveformTitle")->text(), "DTRUN1");
    type(edit("editTriggerDelay"), "-99999");
    EXPECT_EQ(edit("editTriggerDelay")->text(), "-1754");
}

TEST_F(DirtyTxWindow, TestSelectionMarksOnlyWhenChecked) {
    dt().dtCalcNeeded = 0;
    QCheckBox* set4 = box("chkTestSelect4");
    toggle(set4);
    EXPECT_EQ(dt().dtTestSelect[3], 0);
    EXPECT_EQ(dt().dtCalcNeeded, 0);
    EXPECT_EQ(get<QLabel>("txtDTProjectedLength")->text(), "Projected Length: 225000");
    // The row of a set that is not run is greyed; an edited row is marked.
    EXPECT_TRUE(edit("editModIndex", 4)->styleSheet().contains("color: #a0a0a0"));
    EXPECT_FALSE(edit("editModIndex", 3)->styleSheet().contains("color"));
    toggle(set4);
    EXPECT_EQ(dt().dtCalcNeeded, 1);
    EXPECT_FALSE(edit("editModIndex", 4)->styleSheet().contains("color"));

    EXPECT_TRUE(get<QLabel>("txtEdited6")->text().isEmpty());
    type(edit("editSymbolTiming", 6), "5");
    EXPECT_EQ(get<QLabel>("txtEdited6")->text(), "edited");
    EXPECT_TRUE(edit("editSymbolTiming", 6)->styleSheet().contains("bold"));
    EXPECT_FALSE(edit("editFreqOffset", 6)->styleSheet().contains("bold"));

    QTest::mouseClick(get<QPushButton>("pbSetDefaults"), Qt::LeftButton);
    EXPECT_EQ(edit("editSymbolTiming", 6)->text(), "-20");
    EXPECT_TRUE(get<QLabel>("txtEdited6")->text().isEmpty());
}

TEST_F(DirtyTxWindow, ExternalTestSetForcesThePollPeriodsIn) {
    QCheckBox* omit = box("chkOmitPollPeriods");
    toggle(omit);
    EXPECT_EQ(dt().dtOmitPollPeriods, 1);
    EXPECT_EQ(get<QLabel>("txtDTProjectedLength")->text(), "Projected Length: 125000");
    toggle(box("chkUseQ7395"));
    EXPECT_EQ(dt().dtQ7395.enable, 1);
    EXPECT_FALSE(omit->isChecked());
    EXPECT_FALSE(omit->isEnabled());
    EXPECT_EQ(get<QLabel>("txtDTProjectedLength")->text(), "Projected Length: 500000");
    toggle(box("chkUseQ7395"));
    EXPECT_TRUE(omit->isChecked());
    EXPECT_TRUE(omit->isEnabled());
    EXPECT_EQ(dt().dtOmitPollPeriods, 1);
}

TEST_F(DirtyTxWindow, EventMarkerWindow) {
    dt().dtCalcNeeded = 0;
    QTest::mouseClick(get<QPushButton>("pbEventMarkerSetup"), Qt::LeftButton);
    EXPECT_EQ(dt().dtCalcNeeded, 1);  // opening it marks the segments
    QWidget* w = window->eventMarkers()->window();
    EXPECT_TRUE(w->isVisible());
    auto* timing = qobject_cast<QLineEdit*>(marker("editMarker1Timing"));
    EXPECT_EQ(marker("pdEvent2Marker")->toolTip(),
              "Sets the use of Event Marker 2 rear panel \nBNC output. When \"Burst\" is selected, this\nsignal is "
              "also connected to RF Blanking to\nblank the carrier when the burst is off.");

    type(timing, "12.34");
    EXPECT_DOUBLE_EQ(dt().dtParameters.marker1Timing, 12.3);
    EXPECT_EQ(timing->text(), "12.3");
    type(timing, "600");
    EXPECT_EQ(timing->text(), "500");
    type(timing, "-700");
    EXPECT_EQ(dt().dtParameters.marker1Timing, -625);

    auto* event1 = qobject_cast<QComboBox*>(marker("pdEvent1Marker"));
    choose(event1, 0);
    EXPECT_EQ(dt().dtParameters.marker1Type, 1);
    for (const char* tag : {"textMarker1TimingLabel", "editMarker1Timing", "textMarker1TimingUnits"})
        EXPECT_FALSE(marker(tag)->isVisible()) << tag;
    choose(event1, 1);
    for (const char* tag : {"textMarker1TimingLabel", "editMarker1Timing", "textMarker1TimingUnits"})
        EXPECT_TRUE(marker(tag)->isVisible()) << tag;

    auto* event2 = qobject_cast<QComboBox*>(marker("pdEvent2Marker"));
    choose(event2, 0);
    EXPECT_EQ(dt().dtSigGenSettings.RFblanking, 0);
    choose(event2, 3);
    EXPECT_EQ(dt().dtParameters.marker2Type, 4);
    choose(event2, 1);
    EXPECT_EQ(dt().dtSigGenSettings.RFblanking, 1);
    EXPECT_EQ(dt().dtCalcNeeded, 1);
    test::saveShot(w, "bt_DT_EventMarkers");

    // Omitting the poll periods leaves no room for a pulse ahead of the packet.
    toggle(box("chkOmitPollPeriods"));
    EXPECT_EQ(dt().dtParameters.marker1Timing, 0);
    EXPECT_EQ(timing->text(), "0");
    type(timing, "-700");
    EXPECT_EQ(dt().dtParameters.marker1Timing, 0);

    QTest::mouseClick(qobject_cast<QPushButton*>(marker("pbExit")), Qt::LeftButton);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(DirtyTxWindow, ExitWritesTheStateBackAndReopeningShowsIt) {
    const Parameters before = appState().parameters;
    type(edit("editFreqOffset", 1), "-33");
    toggle(box("chkTestSelect2"));
    type(edit("editAM_Addr"), "5");
    type(edit("editRFBurstPower"), "-30.5");
    toggle(box("chkUseQ7395"));
    type(edit("editTriggerDelay"), "-500");
    EXPECT_EQ(appState().parameters, before);  // nothing reaches parameters before Exit

    QTest::mouseClick(get<QPushButton>("pbExit"), Qt::LeftButton);
    EXPECT_FALSE(window->window()->isVisible());
    const Parameters& p = appState().parameters;
    EXPECT_EQ(p.dtImpairmentsCurrent[0].FreqOffset, -33);
    EXPECT_EQ(p.dtTestSelect[1], 0);
    EXPECT_EQ(p.dtParameters.AMaddr, 5);
    EXPECT_EQ(p.dtSigGenSettings.Amplitude, -30.5);
    EXPECT_EQ(p.dtQ7395.enable, 1);
    EXPECT_EQ(p.dtQ7395.SlotSyncDelay, -500);
    Parameters expected = before;
    saveDtState(dt(), expected);
    EXPECT_EQ(p, expected);  // everything else as before

    // The module state is gone (another window, a settings file); reopening
    // shows what parameters holds.
    Parameters fresh;
    dt() = initialDtState(fresh);
    window->open();
    EXPECT_TRUE(window->window()->isVisible());
    EXPECT_EQ(edit("editFreqOffset", 1)->text(), "-33");
    EXPECT_FALSE(box("chkTestSelect2")->isChecked());
    EXPECT_EQ(edit("editRFBurstPower")->text(), "-30.5");
    EXPECT_EQ(edit("editTriggerDelay")->text(), "-500");
    EXPECT_FALSE(box("chkOmitPollPeriods")->isEnabled());
    EXPECT_EQ(dt().dtCalcNeeded, 1);

    // Closing the window is its Exit.
    type(edit("editFreqOffset", 1), "12");
    window->window()->close();
    EXPECT_FALSE(window->window()->isVisible());
    EXPECT_EQ(appState().parameters.dtImpairmentsCurrent[0].FreqOffset, 12);
}

TEST_F(DirtyTxWindow, CancelBetweenSetsKeepsWhatWasThere) {
    choose(get<QComboBox>("pdPacketType"), 0);
    const Qt::CursorShape pointer = window->window()->cursor().shape();
    std::vector<int> shown;
    QObject::connect(window, &DirtyTransmitterWindow::progressShown, [&](int set, bool downloading) {
        shown.push_back(set);
        EXPECT_FALSE(downloading);
        EXPECT_TRUE(highlighted(edit("editModIndex", set), "#ffff00"));
        EXPECT_EQ(get<QPushButton>("pbCalculate")->text(), "Calculating");
        EXPECT_FALSE(get<QPushButton>("pbDownload")->isEnabled());
        EXPECT_FALSE(edit("editFreqOffset", 1)->isEnabled());
        EXPECT_TRUE(get<QPushButton>("pbCancel")->isEnabled());
        EXPECT_EQ(window->window()->cursor().shape(), Qt::WaitCursor);
        if (set == 3) QTest::mouseClick(get<QPushButton>("pbCancel"), Qt::LeftButton);
    });
    QTest::mouseClick(get<QPushButton>("pbCalculate"), Qt::LeftButton);
    EXPECT_EQ(shown, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(dt().dtCalcNeeded, 1);
    EXPECT_TRUE(dt().dtWaveform.empty());
    EXPECT_TRUE(get<QLabel>("txtStatus")->text().contains("cancelled"));
    // Everything back as it was.
    EXPECT_EQ(get<QPushButton>("pbCalculate")->text(), "Calculate");
    EXPECT_TRUE(get<QPushButton>("pbDownload")->isEnabled());
    EXPECT_FALSE(get<QPushButton>("pbCancel")->isEnabled());
    EXPECT_FALSE(highlighted(edit("editModIndex", 3), "#ffff00"));
    EXPECT_EQ(window->window()->cursor().shape(), pointer);
}

// Packet settings from a settings file that cannot make the test's frames.
TEST_F(DirtyTxWindow, AFailedCalculationIsShownAndTheWindowStaysUsable) {
    appState().parameters.dtParameters.generationMode = 2;
    window->open();
    QTest::mouseClick(get<QPushButton>("pbCalculate"), Qt::LeftButton);
    ASSERT_EQ(dialogs->shown().size(), 1u);
    EXPECT_EQ(dialogs->shown()[0].kind, "error");
    EXPECT_NE(dialogs->shown()[0].text.find("does not fill"), std::string::npos);
    EXPECT_EQ(dt().dtCalcNeeded, 1);
    EXPECT_TRUE(get<QPushButton>("pbDownload")->isEnabled());
    EXPECT_EQ(get<QPushButton>("pbCalculate")->text(), "Calculate");
    EXPECT_FALSE(get<QPushButton>("pbCancel")->isEnabled());
    for (int n = 1; n <= 10; ++n) EXPECT_FALSE(highlighted(edit("editModIndex", n), "#ffff00"));
}

// Against the simulated instrument.
class DirtyTxWindowSim : public test::SimInstrumentTest {
protected:
    void SetUp() override {
        test::SimInstrumentTest::SetUp();
        initializeAppState(appState());
        appState().configuration = config;
        dialogs = std::make_shared<PresetDialogs>("OK");
        setDialogs(dialogs);
        window = new DirtyTransmitterWindow(dtWindowRecords(appState()));
        root.reset(window->window());
        window->open();
    }
    void TearDown() override {
        root.reset();
        setDialogs(nullptr);
        test::SimInstrumentTest::TearDown();
    }
    QPushButton* button(const char* tag) const { return window->handles().get<QPushButton>(tag); }
    QLineEdit* edit(const QString& tag) const { return window->handles().get<QLineEdit>(tag); }
    bool controlsEnabled() const {
        for (const char* tag : {"pbCalculate", "pbDownload", "pbExit", "editFreqOffset4", "chkTestSelect4", "pdPacketType"})
            if (!window->handles().get<QWidget>(tag)->isEnabled()) return false;
        return true;
    }

    std::shared_ptr<PresetDialogs> dialogs;
    DirtyTransmitterWindow* window = nullptr;
    std::unique_ptr<QWidget> root;
};

TEST_F(DirtyTxWindowSim, CalculateThenDownloadDefinesTheSequence) {
    bool shot = false;
    QObject::connect(window, &DirtyTransmitterWindow::progressShown, [&](int set, bool downloading) {
        if (set == 3 && !shot) {
            test::saveShot(window->window(), "bt_DirtyTransmitter_calculating");
            shot = true;
        }
        if (downloading) {
            EXPECT_TRUE(highlighted(edit("editFreqOffset" + QString::number(set)), "#00ff00"));
            EXPECT_EQ(button("pbDownload")->text(), "Downloading");
        }
    });
    QTest::mouseClick(button("pbCalculate"), Qt::LeftButton);
    ASSERT_EQ(dt().dtWaveform.size(), 10u);
    EXPECT_EQ(dt().dtWaveform[0].size(), 25000u);
    EXPECT_EQ(dt().dtCalcNeeded, 0);

    QTest::mouseClick(button("pbDownload"), Qt::LeftButton);
    EXPECT_TRUE(dialogs->shown().empty());
    const auto sequence = instrument().sequence("Bluetooth_DT");
    ASSERT_TRUE(sequence);
    ASSERT_EQ(sequence->size(), 10u);
    for (int n = 1; n <= 10; ++n) {
        const auto stored = instrument().waveform("Bluetooth_DT" + std::to_string(n));
        ASSERT_TRUE(stored) << n;
        EXPECT_EQ(stored->samples(), 25000u);
        EXPECT_EQ((*sequence)[static_cast<std::size_t>(n - 1)].repetitions, 8);
    }
    EXPECT_TRUE(controlsEnabled());
    EXPECT_EQ(button("pbDownload")->text(), "Download");
    test::saveShot(window->window(), "bt_DirtyTransmitter");

    // Only the RF settings changed: just frequency and power go out.
    instrument().clearTranscript();
    type(edit("editChannel"), "39");
    QTest::mouseClick(button("pbDownload"), Qt::LeftButton);
    const std::vector<std::string> sent = commands();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(), ":source:freq:fix 2441000000Hz");
    for (const std::string& c : sent) EXPECT_EQ(c.find(":MEM:DATA"), std::string::npos) << c;
}

// The instrument runs out of memory at set 4, or the link drops while set 4
// goes down.
class DirtyTxWindowFault : public DirtyTxWindowSim, public ::testing::WithParamInterface<bool> {};

TEST_P(DirtyTxWindowFault, AFaultAtSetFourStopsThereWithTheErrorBox) {
    const bool outOfMemory = GetParam();
    if (outOfMemory) {
        sim::ServerOptions o;
        o.instrument.memorySamples = 3 * 25000 + 1000;
        server->stop();
        startSim(o);
        appState().configuration = config;
    }
    std::vector<int> downloaded;
    QObject::connect(window, &DirtyTransmitterWindow::progressShown, [&](int set, bool downloading) {
        if (!downloading) return;
        downloaded.push_back(set);
        if (set == 4 && !outOfMemory) {
            sim::Faults f;
            f.closeAfter = 10000;
            server->setFaults(f);
        }
    });
    QTest::mouseClick(button("pbDownload"), Qt::LeftButton);  // calculates first
    EXPECT_EQ(downloaded, (std::vector<int>{1, 2, 3, 4}));
    ASSERT_EQ(dialogs->shown().size(), 1u);
    EXPECT_EQ(dialogs->shown()[0].kind, "error");
    EXPECT_EQ(dialogs->shown()[0].title, "Error Occurred During Waveform Download");
    EXPECT_FALSE(instrument().sequence("Bluetooth_DT"));
    EXPECT_TRUE(instrument().waveform("Bluetooth_DT3"));
    EXPECT_FALSE(instrument().waveform("Bluetooth_DT5"));
    EXPECT_TRUE(controlsEnabled());
    EXPECT_FALSE(button("pbCancel")->isEnabled());
    EXPECT_EQ(button("pbDownload")->text(), "Download");
}

INSTANTIATE_TEST_SUITE_P(DirtyTx, DirtyTxWindowFault, ::testing::Values(true, false),
                         [](const auto& info) { return std::string(info.param ? "OutOfMemory" : "LinkDropped"); });

// The advanced instrument settings of the panel go out with the sequence;
// its carrier, power and title are this window's own.
TEST_F(DirtyTxWindowSim, AdvancedSettingsOfThePanelPlayWithTheSequence) {
    SigGenPanel* panel = window->sigGenPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(window->handles().get<QWidget>("IXOconfig_b_c")->isAncestorOf(panel->widget()));
    EXPECT_FALSE(panel->handles().get<QWidget>("txtFrequency")->isVisible());
    auto* advanced = panel->handles().get<QAbstractButton>("pbAdvancedSettings");
    EXPECT_TRUE(advanced->isVisible());
    bool ran = false;
    test::onNextModal([&](QWidget* dialog) {
        auto* h = SigGenAdvancedDialog::of(dialog);
        ASSERT_NE(h, nullptr);
        type(h->handles().get<QLineEdit>("txtScaling"), "50");
        QTest::mouseClick(h->handles().get<QAbstractButton>("pbOK"), Qt::LeftButton);
        ran = true;
    });
    QTest::mouseClick(advanced, Qt::LeftButton);
    ASSERT_TRUE(ran);
    EXPECT_EQ(appState().SigGenSettings.Scaling, 50);

    type(edit("editRFFrequency"), "2450");
    QTest::mouseClick(button("pbDownload"), Qt::LeftButton);
    ASSERT_TRUE(instrument().sequence("Bluetooth_DT"));
    const std::vector<std::string> sent = commands();
    const auto has = [&](const std::string& text) {
        return std::any_of(sent.begin(), sent.end(), [&](const std::string& c) { return c.find(text) != std::string::npos; });
    };
    EXPECT_TRUE(has("rscaling 50"));
    EXPECT_TRUE(has("2450000000"));
}

TEST_F(DirtyTxWindowSim, CancelledDownloadDefinesNoSequence) {
    QTest::mouseClick(button("pbCalculate"), Qt::LeftButton);
    QObject::connect(window, &DirtyTransmitterWindow::progressShown, [&](int set, bool downloading) {
        if (downloading && set == 2) QTest::mouseClick(button("pbCancel"), Qt::LeftButton);
    });
    QTest::mouseClick(button("pbDownload"), Qt::LeftButton);
    ASSERT_EQ(dialogs->shown().size(), 1u);
    EXPECT_EQ(dialogs->shown()[0].text, "Download cancelled");
    EXPECT_TRUE(instrument().waveform("Bluetooth_DT1"));
    EXPECT_FALSE(instrument().waveform("Bluetooth_DT2"));
    EXPECT_FALSE(instrument().sequence("Bluetooth_DT"));
    EXPECT_TRUE(controlsEnabled());
}

}  // namespace
}  // namespace bt::gui
