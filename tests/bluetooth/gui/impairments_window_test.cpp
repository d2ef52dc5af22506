// The impairment window driven as a user drives it: typing into its fields,
// ticking its boxes, choosing from its lists and answering it.
#include "bluetooth/gui/impairments_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <functional>
#include <memory>

#include "support/gui/gui_support.h"

namespace bt::gui {
namespace {

class ImpairmentsWindowTest : public ::testing::Test {
protected:
    void SetUp() override { win = std::make_unique<ImpairmentsWindow>(nullptr); }

    template <class T>
    T* get(const char* tag) {
        return win->handles().get<T>(tag);
    }
    // Types `text` over the field's contents and presses Return.
    void type(const char* tag, const QString& text) {
        auto* e = get<QLineEdit>(tag);
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, text);
        QTest::keyClick(e, Qt::Key_Return);
    }
    QString shown(const char* tag) { return get<QLineEdit>(tag)->text(); }
    // Clicks a button; a check box on its box, wherever its text ends.
    void click(const char* tag) {
        auto* b = get<QAbstractButton>(tag);
        if (tag[0] == 'c') QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
        else QTest::mouseClick(b, Qt::LeftButton);
    }
    // Picks list item `item` (from 1) the way a user does: opens the list,
    // moves to the item and presses Return.
    void choose(const char* tag, int item) {
        auto* list = get<QComboBox>(tag);
        list->showPopup();
        list->view()->setCurrentIndex(list->model()->index(item - 1, 0));
        QTest::keyClick(list->view(), Qt::Key_Return);
    }
    // Opens the window on `start` and runs `user` while it waits.
    ImpairmentsAnswer openWith(const std::optional<Impairments>& start, std::function<void(QWidget*)> user) {
        bool ran = false;
        bt::test::onNextModal([&](QWidget* dialog) {
            user(dialog);
            ran = true;
        });
        ImpairmentsAnswer a = win->open(start);
        EXPECT_TRUE(ran) << "the window never showed";
        return a;
    }

    std::unique_ptr<ImpairmentsWindow> win;
};

TEST_F(ImpairmentsWindowTest, EntriesAreRoundedClampedAndShownBack) {
    Impairments start;
    start.ModIndexActive = start.AWGNactive = start.FreqDriftActive = 1;
    start.FreqOffsetActive = start.SymbolTimingErrorActive = 1;
    const ImpairmentsAnswer a = openWith(start, [&](QWidget* dialog) {
        type("txtModIndex", "0.3456");
        EXPECT_EQ(shown("txtModIndex"), "0.346");
        type("txtAWGNseed", "70000");
        EXPECT_EQ(shown("txtAWGNseed"), "65535");
        type("txtAWGNseed", "2.5");
        EXPECT_EQ(shown("txtAWGNseed"), "2.5");
        type("txtAWGNratio", "5");
        EXPECT_EQ(shown("txtAWGNratio"), "10");
        type("txtFreqDriftDeviation", "-12.5");
        EXPECT_EQ(shown("txtFreqDriftDeviation"), "-13");
        type("txtFreqOffset", "250");
        EXPECT_EQ(shown("txtFreqOffset"), "100");
        type("txtSymbolTimingError", "-80");
        EXPECT_EQ(shown("txtSymbolTimingError"), "-50");
        // Text that is no number: the upper limit, shown at once.
        type("txtFreqOffset", "ten");
        EXPECT_EQ(shown("txtFreqOffset"), "100");
        bt::test::saveShot(dialog, "impairments_all_on");
        click("pbOk");
    });
    EXPECT_EQ(a.answer, "OK");
    EXPECT_EQ(a.impairments.ModIndex, 0.346);
    EXPECT_EQ(a.impairments.AWGNseed, 2.5);
    EXPECT_EQ(a.impairments.AWGNratio, 10);
    EXPECT_EQ(a.impairments.FreqDriftDeviation, -13);
    EXPECT_EQ(a.impairments.FreqOffset, 100);
    EXPECT_EQ(a.impairments.SymbolTimingError, -50);
    EXPECT_FALSE(win->window()->isVisible());

    // The next opening shows the record it is given, the window reused.
    const ImpairmentsAnswer again = openWith(a.impairments, [&](QWidget*) {
        EXPECT_EQ(shown("txtModIndex"), "0.346");
        type("txtModIndex", "0.2");
        EXPECT_EQ(shown("txtModIndex"), "0.25");
        click("pbOk");
    });
    EXPECT_EQ(again.impairments.ModIndex, 0.25);
}

TEST_F(ImpairmentsWindowTest, IqRowsSwitchRoundAndClampLikeTheOthers) {
    const ImpairmentsAnswer a = openWith(Impairments{}, [&](QWidget* dialog) {
        const char* fields[] = {"txtGainImbalance", "txtQuadratureSkew", "txtCarrierLeakage", "txtPhaseNoiseLevel",
                                "txtPhaseNoiseOffset"};
        for (const char* tag : fields) EXPECT_FALSE(get<QWidget>(tag)->isEnabled()) << tag;
        EXPECT_FALSE(get<QWidget>("lblPhaseNoiseOffsetUnits")->isEnabled());
        for (const char* box : {"chkGainImbalanceActive", "chkQuadratureSkewActive", "chkCarrierLeakageActive",
                                "chkPhaseNoiseActive"})
            click(box);
        for (const char* tag : fields) EXPECT_TRUE(get<QWidget>(tag)->isEnabled()) << tag;
        type("txtGainImbalance", "7.5");
        EXPECT_EQ(shown("txtGainImbalance"), "6");
        type("txtQuadratureSkew", "-2.346");
        EXPECT_EQ(shown("txtQuadratureSkew"), "-2.35");
        type("txtCarrierLeakage", "-25.04");
        EXPECT_EQ(shown("txtCarrierLeakage"), "-25");
        // Tab walks from the level to the offset, as the rows read.
        type("txtPhaseNoiseLevel", "-150");
        EXPECT_EQ(shown("txtPhaseNoiseLevel"), "-140");
        QTest::keyClick(get<QLineEdit>("txtPhaseNoiseLevel"), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), get<QWidget>("txtPhaseNoiseOffset"));
        QTest::keyClicks(QApplication::focusWidget(), "33.4");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(shown("txtPhaseNoiseOffset"), "33");
        bt::test::saveShot(dialog, "impairments_iq");
        click("pbOk");
    });
    EXPECT_EQ(a.answer, "OK");
    EXPECT_EQ(a.impairments.GainImbalanceActive, 1);
    EXPECT_EQ(a.impairments.GainImbalance, 6);
    EXPECT_EQ(a.impairments.QuadratureSkew, -2.35);
    EXPECT_EQ(a.impairments.CarrierLeakage, -25);
    EXPECT_EQ(a.impairments.PhaseNoiseLevel, -140);
    EXPECT_EQ(a.impairments.PhaseNoiseOffset, 33);
    EXPECT_EQ(get<QWidget>("txtPhaseNoiseOffset")->toolTip(),
              "Sets the offset of the phase noise level: the spectrum is\nflat well inside it and falls 20 dB per "
              "decade beyond.\nValid Range: 10 to 400 kHz");
}

TEST_F(ImpairmentsWindowTest, BoxesSwitchTheirFieldsAndTheDriftRateFollowsTheType) {
    const ImpairmentsAnswer a = openWith(Impairments{}, [&](QWidget* dialog) {
        for (const char* tag : {"txtModIndex", "txtAWGNratio", "txtAWGNseed", "pdFreqDriftType",
                                "txtFreqDriftDeviation", "pdFreqDriftRate", "txtFreqOffset", "txtSymbolTimingError"})
            EXPECT_FALSE(get<QWidget>(tag)->isEnabled()) << tag;
        bt::test::saveShot(dialog, "impairments_defaults");

        click("chkFreqDriftActive");
        EXPECT_TRUE(get<QWidget>("pdFreqDriftType")->isEnabled());
        EXPECT_TRUE(get<QWidget>("txtFreqDriftDeviation")->isEnabled());
        EXPECT_FALSE(get<QWidget>("pdFreqDriftRate")->isEnabled());  // linear: no rate
        choose("pdFreqDriftType", 2);
        EXPECT_TRUE(get<QWidget>("pdFreqDriftRate")->isEnabled());
        choose("pdFreqDriftRate", 3);
        EXPECT_EQ(win->workingCopy().FreqDriftRate, 300);
        choose("pdFreqDriftRate", 2);

        click("chkAWGNactive");
        EXPECT_TRUE(get<QWidget>("txtAWGNratio")->isEnabled());
        EXPECT_TRUE(get<QWidget>("txtAWGNseed")->isEnabled());
        EXPECT_FALSE(get<QWidget>("txtModIndex")->isEnabled());
        click("chkSymTimErrActive");
        EXPECT_TRUE(get<QWidget>("txtSymbolTimingError")->isEnabled());
        click("chkSymTimErrActive");
        EXPECT_FALSE(get<QWidget>("txtSymbolTimingError")->isEnabled());
        click("pbOk");
    });
    EXPECT_EQ(a.impairments.FreqDriftActive, 1);
    EXPECT_EQ(a.impairments.FreqDriftType, 2);
    EXPECT_EQ(a.impairments.FreqDriftRate, 500);
    EXPECT_EQ(a.impairments.AWGNactive, 1);
    EXPECT_EQ(a.impairments.SymbolTimingErrorActive, 0);
}

TEST_F(ImpairmentsWindowTest, ListsShowTheStoredChoices) {
    Impairments start;
    start.FreqDriftActive = 1;
    start.FreqDriftType = 2;
    start.FreqDriftRate = 750;  // no list item: shown as the first
    openWith(start, [&](QWidget* dialog) {
        EXPECT_EQ(get<QComboBox>("pdFreqDriftType")->currentIndex(), 1);
        EXPECT_EQ(get<QComboBox>("pdFreqDriftRate")->currentIndex(), 0);
        bt::test::saveShot(dialog, "impairments_sinusoidal_drift");
        click("pbCancel");
    });
}

TEST_F(ImpairmentsWindowTest, CancelAndCloseAnswerCancel) {
    Impairments start;
    start.FreqOffsetActive = 1;
    start.FreqOffset = 20;
    ImpairmentsAnswer a = openWith(start, [&](QWidget*) {
        type("txtFreqOffset", "-40");
        click("pbCancel");
    });
    EXPECT_EQ(a.answer, "Cancel");
    EXPECT_FALSE(win->window()->isVisible());

    a = openWith(start, [&](QWidget* dialog) {
        EXPECT_EQ(shown("txtFreqOffset"), "20");  // the edit before Cancel is gone
        type("txtFreqOffset", "-40");
        dialog->close();
    });
    EXPECT_EQ(a.answer, "Cancel");

    a = openWith(start, [&](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    EXPECT_EQ(a.answer, "Cancel");
}

TEST_F(ImpairmentsWindowTest, AWindowDestroyedWhileOpenAnswersCancel) {
    const ImpairmentsAnswer a = openWith(Impairments{}, [&](QWidget* dialog) {
        click("chkFreqOffsetActive");
        dialog->deleteLater();
    });
    EXPECT_EQ(a.answer, "Cancel");
    EXPECT_EQ(win->window(), nullptr);
    EXPECT_EQ(win->open().answer, "Cancel");  // nothing left to show
}

TEST_F(ImpairmentsWindowTest, OpeningWithoutARecordStartsFromTheDefaults) {
    const ImpairmentsAnswer a = openWith(std::nullopt, [&](QWidget*) {
        EXPECT_EQ(shown("txtModIndex"), "0.315");
        EXPECT_EQ(shown("txtAWGNratio"), "0");
        EXPECT_EQ(shown("txtAWGNseed"), "1");
        EXPECT_FALSE(get<QAbstractButton>("chkAWGNactive")->isChecked());
        click("pbOk");
    });
    EXPECT_EQ(a.answer, "OK");
    EXPECT_EQ(a.impairments.AWGNratio, 0);
    EXPECT_EQ(a.impairments.ModIndex, 0.315);
}

TEST_F(ImpairmentsWindowTest, ReturnInAFieldOnlyFinishesTheEntry) {
    openWith(Impairments{.ModIndexActive = 1}, [&](QWidget* dialog) {
        type("txtModIndex", "0.33");
        EXPECT_TRUE(dialog->isVisible());
        click("pbCancel");
    });
}

TEST_F(ImpairmentsWindowTest, TooltipsAndRoutinesByName) {
    EXPECT_EQ(get<QWidget>("txtModIndex")->toolTip(), "Sets the modulation index.\nValid Range: 0.250 to 0.400");
    EXPECT_EQ(get<QWidget>("chkSymTimErrActive")->toolTip(), "Enables/disables the symbol timing error impairment.");
    // A routine called by name with an impossible argument is reported, and
    // the window goes on.
    testing::internal::CaptureStderr();
    win->Bt_gui_impairments("noSuchRoutine");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Bt_gui_impairments('noSuchRoutine')"), std::string::npos);
}

}  // namespace
}  // namespace bt::gui
