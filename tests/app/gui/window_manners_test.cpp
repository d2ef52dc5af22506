// The windows as a person meets them: focus moved with clicks and Tab (the
// toolkit reports the end of an entry on every focus change), the real
// message boxes closed and escaped, and the resets that must bring every
// dependent setting with them.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "app/app_state.h"
#include "app/gui/main_window.h"
#include "app/settings_files.h"
#include "bluetooth/gui/dirty_transmitter_window.h"
#include "bluetooth/gui/dt_event_markers_window.h"
#include "lib/dialogs.h"
#include "support/gui/app_window_fixture.h"
#include "support/gui/gui_support.h"
#include "windowkit/gui/qt_dialogs.h"

namespace bt::gui {
namespace {

namespace fs = std::filesystem;

class WindowManners : public testing_support::AppWindowTest {
protected:
    void showActive(QWidget* w) {
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    }
    // Puts the focus into `field` with a click, as a user would.
    static void clickInto(QLineEdit* field) {
        QTest::mouseClick(field, Qt::LeftButton, {}, field->rect().center());
        ASSERT_TRUE(field->hasFocus());
    }
    DirtyTransmitterWindow* openDirtyTx() {
        click("pbDirtyTransmitter");
        auto* w = DirtyTransmitterWindow::of(win->figureList.value("DirtyTransmitter"));
        EXPECT_NE(w, nullptr);
        return w;
    }
};

TEST_F(WindowManners, TabbingThroughTheChannelBetweenChannelsKeepsTheCarrier) {
    appState().SigGenSettings.Frequency = 2450.5e6;
    win->redraw();
    showActive(win->window());
    QLineEdit* channel = control<QLineEdit>("txtChannel");
    ASSERT_EQ(channel->text(), "--");
    clickInto(channel);
    QTest::keyClick(channel, Qt::Key_Tab);
    EXPECT_FALSE(channel->hasFocus());
    EXPECT_EQ(appState().SigGenSettings.Frequency, 2450.5e6);
    EXPECT_EQ(channel->text(), "--");

    // A channel typed and left with Tab, without Return, is taken.
    clickInto(channel);
    channel->selectAll();
    QTest::keyClicks(channel, "5");
    QTest::keyClick(channel, Qt::Key_Tab);
    EXPECT_EQ(appState().SigGenSettings.Frequency, 2407e6);
    // Return on an unchanged field is an entry as well.
    appState().SigGenSettings.Frequency = 2450.5e6;
    win->redraw();
    clickInto(channel);
    QTest::keyClick(channel, Qt::Key_Return);
    EXPECT_EQ(appState().SigGenSettings.Frequency, 2402e6);
}

TEST_F(WindowManners, TabbingThroughTheDirtyTransmitterWindowChangesNothing) {
    appState().SigGenSettings.Frequency = 2450.5e6;
    DirtyTransmitterWindow* dtw = openDirtyTx();
    ASSERT_NE(dtw, nullptr);
    DirtyTxState& dt = appState().dirtyTx;
    dt.dtSigGenSettings.Frequency = 2450.5e6;
    dt.dtSigGenSettings.Title = "Lab";
    dtw->call("redrawDtImpairments");
    showActive(dtw->window());
    auto* channel = dtw->handles().get<QLineEdit>("editChannel");
    auto* title = dtw->handles().get<QLineEdit>("txtWaveformTitle");
    ASSERT_EQ(channel->text(), "--");
    dt.dtCalcNeeded = 0;  // as after a Calculate

    clickInto(channel);
    QTest::keyClick(channel, Qt::Key_Tab);
    EXPECT_EQ(dt.dtSigGenSettings.Frequency, 2450.5e6);
    clickInto(title);
    QTest::keyClick(title, Qt::Key_Tab);
    EXPECT_EQ(dt.dtSigGenSettings.Title, "Lab");
    EXPECT_EQ(dt.dtCalcNeeded, 0);

    // Typed and left with Tab: taken.
    clickInto(title);
    title->selectAll();
    QTest::keyClicks(title, "bench");
    QTest::keyClick(title, Qt::Key_Tab);
    EXPECT_EQ(dt.dtSigGenSettings.Title, "BENCH");
    EXPECT_NE(dt.dtCalcNeeded, 0);
}

// Markers are written into the sets when they are calculated, so an edit of
// the marker window after a Calculate must make the download calculate again.
TEST_F(WindowManners, MarkerEditsAfterCalculateMarkTheSets) {
    DirtyTransmitterWindow* dtw = openDirtyTx();
    ASSERT_NE(dtw, nullptr);
    QTest::mouseClick(dtw->handles().get<QPushButton>("pbEventMarkerSetup"), Qt::LeftButton);
    DtEventMarkersWindow* markers = dtw->eventMarkers();
    ASSERT_TRUE(markers->window()->isVisible());
    DirtyTxState& dt = appState().dirtyTx;

    dt.dtCalcNeeded = 0;  // Calculate with the marker window still open
    auto* timing = markers->handles().get<QLineEdit>("editMarker1Timing");
    timing->selectAll();
    QTest::keyClicks(timing, "3.2");
    QTest::keyClick(timing, Qt::Key_Return);
    EXPECT_EQ(dt.dtParameters.marker1Timing, 3.2);
    EXPECT_EQ(dt.dtCalcNeeded, 1);

    dt.dtCalcNeeded = 0;
    auto* event2 = markers->handles().get<QComboBox>("pdEvent2Marker");
    QTest::keyClick(event2, Qt::Key_Home);
    EXPECT_EQ(dt.dtParameters.marker2Type, 1);
    EXPECT_EQ(dt.dtCalcNeeded, 1);

    // The same value again leaves the sets as they are.
    dt.dtCalcNeeded = 0;
    timing->selectAll();
    QTest::keyClicks(timing, "3.2");
    QTest::keyClick(timing, Qt::Key_Return);
    EXPECT_EQ(dt.dtCalcNeeded, 0);
}

TEST_F(WindowManners, TheSampleRateFollowsTheSettingsAfterEveryReset) {
    type("txtOversampleRate", "20");
    ASSERT_EQ(appState().SigGenSettings.SamplingRate, 20e6);

    // Option 001 with a waveform too large for it, answered Yes.
    dialogs->queueAnswers({"Yes"});
    params().ProjectedLength = 8000001;
    action("menuConfigBBG1Opt1")->trigger();
    EXPECT_EQ(params().OverSampling, 10);
    EXPECT_EQ(appState().SigGenSettings.SamplingRate, 10e6);

    // A settings file whose sample rate disagrees with its oversampling.
    type("txtOversampleRate", "4");
    appState().SigGenSettings.SamplingRate = 20e6;
    const fs::path file = scratch_.path() / "mixed.bt";
    ASSERT_TRUE(saveSettingsFile(appState(), file));
    type("txtOversampleRate", "10");
    ASSERT_TRUE(win->frame()->rfCommonUI("loadParameters", {QString::fromStdString(file.string())}).toBool());
    EXPECT_EQ(params().OverSampling, 4);
    EXPECT_EQ(appState().SigGenSettings.SamplingRate, 4e6);

    type("txtOversampleRate", "20");
    action("menuFileNew")->trigger();
    EXPECT_EQ(appState().SigGenSettings.SamplingRate, 10e6);
}

// With no test set selected Calculate makes nothing, and says so rather
// than "Calculated 0 of 10 test sets".
TEST_F(WindowManners, CalculateWithoutATestSetSaysSo) {
    DirtyTransmitterWindow* dtw = openDirtyTx();
    ASSERT_NE(dtw, nullptr);
    for (int n = 1; n <= 10; ++n) {
        auto* box = dtw->handles().get<QCheckBox>(QString("chkTestSelect%1").arg(n));
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
        ASSERT_FALSE(box->isChecked()) << n;
    }
    QTest::mouseClick(dtw->handles().get<QPushButton>("pbCalculate"), Qt::LeftButton);
    EXPECT_EQ(dtw->handles().get<QLabel>("txtStatus")->text(), "No test set is selected: nothing was calculated.");
}

// A caption looks as usable as its field: greyed with it.
TEST_F(WindowManners, LabelsGreyOutWithTheirFields) {
    ASSERT_FALSE(control<QLineEdit>("txtPatternReps")->isEnabled());  // single DH1 packet
    EXPECT_FALSE(control<QLabel>("lblPatternReps")->isEnabled());
    EXPECT_TRUE(control<QLabel>("lblPatternLength")->isEnabled());
    choose("pdPayload", 8);  // the bit pattern
    EXPECT_TRUE(control<QLineEdit>("txtBitPattern")->isEnabled());
    EXPECT_TRUE(control<QLabel>("txtBitPatternLabel")->isEnabled());
    choose("pdLinkType", 1);
    choose("pdPacketType", 1);  // NULL: no payload, no pattern
    ASSERT_FALSE(control<QLineEdit>("txtPatternLength")->isEnabled());
    EXPECT_FALSE(control<QLabel>("lblPatternLength")->isEnabled());
}

// ------------------------------------------------------ the real boxes

class RealQuestions : public WindowManners {
protected:
    void SetUp() override {
        WindowManners::SetUp();
        setDialogs(std::make_shared<QtDialogs>(win->window()));
        showActive(win->window());
    }
};

TEST_F(RealQuestions, EscapingOrClosingTheSpecialSaveSavesNothing) {
    const fs::path target = scratch_.path() / "w";
    for (const bool escape : {true, false}) {
        QString shownTitle;
        bool extraButtonShown = true;
        test::onNextModal([&](QWidget* box) {
            shownTitle = box->windowTitle();
            extraButtonShown = false;
            for (QAbstractButton* b : box->findChildren<QAbstractButton*>())
                if (b->isVisible() && !QStringList{"ASCII", "Marrowind", "MAT"}.contains(b->text())) extraButtonShown = true;
            if (escape)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->close();
            // A box that refuses to close is answered, so that the test
            // fails on the file written instead of waiting for ever.
            QTimer::singleShot(300, [box = QPointer<QWidget>(box)] {
                if (box && box->isVisible()) test::clickButton(box, "ASCII");
            });
        });
        win->frame()->rfCommonUI("saveWaveform", {QString::fromStdString(target.string())});
        EXPECT_EQ(shownTitle, "Special Save");
        EXPECT_FALSE(extraButtonShown) << "the box offers only its three formats";
        EXPECT_FALSE(QApplication::activeModalWidget()) << "the question is still open";
        EXPECT_FALSE(fs::exists(target));
    }
}

TEST_F(RealQuestions, ClosingTheReadinessQuestionIsCancel) {
    test::onNextModal([&](QWidget* box) { box->close(); });
    const int go = win->frame()->rfCommonUI("checkWaveformReady", {QString("Plot")}).toInt();
    EXPECT_EQ(go, 0);
    EXPECT_TRUE(appState().appInfo.LastCalcTimeStamp.empty());
}

}  // namespace
}  // namespace bt::gui
