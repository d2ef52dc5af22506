// The calibration window driven as a person would: typing into its fields,
// pressing Start, Stop, OK, against the simulated bench.
#include "instrument/gui/calibrate_delay_window.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cmath>

#include "bluetooth/generate.h"
#include "bluetooth/shift_registers.h"
#include "instrument/download.h"
#include "instrument/sim_fixture.h"
#include "lib/dialogs.h"
#include "lib/numtext.h"
#include "support/gui/gui_support.h"

namespace bt::gui {
namespace {

class CalibrationWindow : public test::SimInstrumentTest {
protected:
    void SetUp() override {
        startSim();
        playPn9Stream();
        dialogs = std::make_shared<PresetDialogs>();
        previous = setDialogs(dialogs);
        window.InitializeFigure();
        window.setPauseScale(0.002);
    }
    void TearDown() override {
        setDialogs(previous);
        test::SimInstrumentTest::TearDown();
    }

    QPushButton* button(const char* tag) { return window.handles().get<QPushButton>(tag); }
    void type(const char* tag, const QString& text) {
        auto* e = window.handles().get<QLineEdit>(tag);
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, text);
        QTest::keyClick(e, Qt::Key_Return);
    }
    QString shown(const char* tag) {
        if (auto* e = qobject_cast<QLineEdit*>(window.handles().object(tag))) return e->text();
        return window.handles().get<QLabel>(tag)->text();
    }

    CalibrateDelayWindow window;
    std::shared_ptr<PresetDialogs> dialogs;
    std::shared_ptr<Dialogs> previous;
};

TEST_F(CalibrationWindow, SweepFromTheStartButtonProposesADelayThatOkHandsBack) {
    DelayFinderConfig c;
    c.End = 1;
    c.Repeat = 2;
    QTimer::singleShot(0, [&] {
        type("editStart", "0.37");  // snapped to the sample grid
        EXPECT_EQ(shown("editStart"), "0.4");
        type("editStart", "0");
        type("editRepeat", "abc");  // refused, keeps 2
        EXPECT_EQ(shown("editRepeat"), "2");
        QTest::mouseClick(button("pbStart"), Qt::LeftButton);  // runs the sweep
        EXPECT_EQ(button("pbStart")->text(), "Start");
        EXPECT_NE(shown("textAvgBER"), "N/A");
        EXPECT_EQ(shown("lblProgress"), "Sweep finished");
        test::saveShot(window.window(), "calibrate_delay_after_sweep");
        QTest::mouseClick(button("pbOK"), Qt::LeftButton);
    });
    const auto r = window.Bt_CalibrateDelay(config, c);
    EXPECT_EQ(r.answer, "OK");
    ASSERT_GE(r.config.MinBERDelay, 0);
    EXPECT_EQ(r.config.Delay.size(), 11u);
    ASSERT_FALSE(dialogs->shown().empty());
    EXPECT_EQ(dialogs->shown()[0].text, "The input should be a number");
    EXPECT_EQ(dialogs->shown()[0].title, "Error: Invalid Input");
    EXPECT_EQ(r.config.CurrentCGDelay, 0);  // markers back where they were
    // The cursor shows the chosen delay.
    EXPECT_EQ(shown("textDelay").toStdString(), formatNumber(r.config.MinBERDelay) + " us");
}

TEST_F(CalibrationWindow, StopEndsTheSweepAndCancelKeepsNothing) {
    DelayFinderConfig c;
    QTimer::singleShot(0, [&] {
        // Cursor buttons wrap around the ends.
        QTest::mouseClick(button("pbLeft"), Qt::LeftButton);
        EXPECT_EQ(shown("textDelay"), "2 us");
        QTest::mouseClick(button("pbRight"), Qt::LeftButton);
        EXPECT_EQ(shown("textDelay"), "0 us");
        QTimer::singleShot(30, [&] {
            EXPECT_EQ(button("pbStart")->text(), "Stop");
            QTest::mouseClick(button("pbStart"), Qt::LeftButton);
        });
        QTest::mouseClick(button("pbStart"), Qt::LeftButton);
        EXPECT_EQ(button("pbStart")->text(), "Start");
        EXPECT_EQ(shown("lblProgress"), "Sweep stopped");
        window.window()->close();  // closing answers Cancel
    });
    const auto r = window.Bt_CalibrateDelay(config, c);
    EXPECT_EQ(r.answer, "Cancel");
    EXPECT_EQ(r.config.MinBERDelay, -1);
    EXPECT_EQ(window.symbolDelayFinderStatus(), 0);
}

// A sweep that could not run says so under the plot, not "Sweep finished".
TEST_F(CalibrationWindow, ASweepThatCannotTalkToTheInstrumentSaysWhatHappened) {
    QTimer::singleShot(0, [&] {
        server->stop();
        QTest::mouseClick(button("pbStart"), Qt::LeftButton);
        EXPECT_EQ(button("pbStart")->text(), "Start");
        EXPECT_TRUE(shown("lblProgress").startsWith("Sweep not started: ") ||
                    shown("lblProgress").startsWith("Sweep ended by an error: "))
            << shown("lblProgress").toStdString();
        QTest::mouseClick(button("pbCancel"), Qt::LeftButton);
    });
    const auto r = window.Bt_CalibrateDelay(config, DelayFinderConfig{});
    EXPECT_EQ(r.answer, "Cancel");
    ASSERT_FALSE(dialogs->shown().empty());
}

TEST_F(CalibrationWindow, AnInstrumentThatDoesNotAnswerIsAWarningAndTheWindowStaysUsable) {
    server->stop();
    server.reset();
    QTimer::singleShot(0, [&] { QTest::mouseClick(button("pbCancel"), Qt::LeftButton); });
    const auto r = window.Bt_CalibrateDelay(config, DelayFinderConfig{});
    EXPECT_EQ(r.answer, "Cancel");
    ASSERT_FALSE(dialogs->shown().empty());
    EXPECT_EQ(dialogs->shown()[0].title, "Warning");
}

}  // namespace
}  // namespace bt::gui
