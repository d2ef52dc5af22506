// The signal-generator panel in a host window and its advanced dialog,
// driven by typing and clicking.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <functional>
#include <memory>

#include "instrument/gui/siggen_advanced_dialog.h"
#include "instrument/gui/siggen_panel.h"
#include "support/gui/gui_support.h"
#include "windowkit/gui/dispatch.h"

namespace bt::gui {
namespace {

void typeInto(QLineEdit* e, const QString& text) {
    e->setFocus();
    e->selectAll();
    QTest::keyClicks(e, text);
    QTest::keyClick(e, Qt::Key_Return);
}

// Picks item `item` (from 1) the way a user does: opens the list, moves to
// the item and presses Return. Only the final choice reaches the window.
void chooseItem(QComboBox* list, int item) {
    list->showPopup();
    list->view()->setCurrentIndex(list->model()->index(item - 1, 0));
    QTest::keyClick(list->view(), Qt::Key_Return);
}

// Clicks a check box on its box, wherever its text ends.
void tick(QAbstractButton* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2)); }

// A host window with a container for the panel, as the main window and the
// dirty-transmitter window have.
class SigGenPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        host = std::make_unique<QWidget>();
        host->setWindowTitle("Signal Generator");
        auto* box = new QGroupBox("Signal Generator", host.get());
        (new QVBoxLayout(host.get()))->addWidget(box);
        container = new QWidget(box);
        container->setObjectName("IXOconfig_b_c");
        (new QVBoxLayout(box))->addWidget(container);
        panel = new SigGenPanel(container, [this]() -> SigGenSettings& { return record; });
        panel->addRoutinesTo(hostRoutines);
        hostRoutines.call("InitializeSigGenScreenObjects");
        hostRoutines.call("redrawSigGenSettings");
        host->show();
    }

    QLineEdit* field(const char* tag) { return panel->handles().get<QLineEdit>(tag); }
    QComboBox* units() { return panel->handles().get<QComboBox>("pdFrequencyUnits"); }
    void enterFrequency(const QString& text, int unit) {
        units()->setCurrentIndex(unit - 1);
        typeInto(field("txtFrequency"), text);
    }

    SigGenSettings record;
    std::unique_ptr<QWidget> host;
    QWidget* container = nullptr;
    SigGenPanel* panel = nullptr;
    Dispatcher hostRoutines{"host"};
};

TEST_F(SigGenPanelTest, FrequencyIsShownInTheUnitThatFits) {
    EXPECT_EQ(field("txtFrequency")->text(), "2.402");
    EXPECT_EQ(units()->currentText(), "GHz");
    EXPECT_EQ(SigGenPanel::of(container), panel);

    enterFrequency("2.4", 4);
    EXPECT_EQ(record.Frequency, 2400000000.0);
    EXPECT_EQ(field("txtFrequency")->text(), "2.4");
    EXPECT_EQ(units()->currentText(), "GHz");

    enterFrequency("50", 2);
    EXPECT_EQ(record.Frequency, 100000.0);
    EXPECT_EQ(field("txtFrequency")->text(), "100");
    EXPECT_EQ(units()->currentText(), "kHz");

    enterFrequency("2441.5", 3);
    EXPECT_EQ(record.Frequency, 2441500000.0);
    EXPECT_EQ(field("txtFrequency")->text(), "2.4415");
    EXPECT_EQ(units()->currentText(), "GHz");

    // A new unit reads the number shown in that unit.
    field("txtFrequency")->setText("900");
    chooseItem(units(), 3);
    EXPECT_EQ(record.Frequency, 900e6);
    EXPECT_EQ(field("txtFrequency")->text(), "900");
    EXPECT_EQ(units()->currentText(), "MHz");

    enterFrequency("lots", 3);
    EXPECT_EQ(record.Frequency, 6e9);
    EXPECT_EQ(field("txtFrequency")->text(), "6");
    EXPECT_EQ(units()->currentText(), "GHz");
    bt::test::saveShot(host.get(), "siggen_panel");
}

TEST_F(SigGenPanelTest, ANumberTypedThenAUnitChosenIsOneEntry) {
    host->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(host.get()));
    record.Frequency = 915e6;
    hostRoutines.call("redrawSigGenSettings");
    // Typed in the field, the unit then picked from the list.
    auto* f = field("txtFrequency");
    f->setFocus();
    f->selectAll();
    QTest::keyClicks(f, "250");
    chooseItem(units(), 2);
    EXPECT_EQ(record.Frequency, 250e3);
    EXPECT_EQ(f->text(), "250");
    EXPECT_EQ(units()->currentText(), "kHz");

    // Typed, the list visited and left without a choice: the unit shown.
    f->setFocus();
    f->selectAll();
    QTest::keyClicks(f, "2400000");
    units()->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(record.Frequency, 250e3);  // not yet
    field("txtAmplitude")->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(record.Frequency, 2400e6);
    EXPECT_EQ(f->text(), "2.4");
    EXPECT_EQ(units()->currentText(), "GHz");
}

TEST_F(SigGenPanelTest, PowerAndTitle) {
    typeInto(field("txtAmplitude"), "-140.4");
    EXPECT_EQ(record.Amplitude, -136);
    EXPECT_EQ(field("txtAmplitude")->text(), "-136");
    typeInto(field("txtAmplitude"), "3.6");
    EXPECT_EQ(record.Amplitude, 4);
    // A slip of the keyboard keeps the power as it was.
    typeInto(field("txtAmplitude"), "-1O");
    EXPECT_EQ(record.Amplitude, 4);
    EXPECT_EQ(field("txtAmplitude")->text(), "4");

    typeInto(field("txtWaveformTitle"), "bt test-1/ab");
    EXPECT_EQ(record.Title, "BTTEST-1AB");
    EXPECT_EQ(field("txtWaveformTitle")->text(), "BTTEST-1AB");
    int edits = 0;
    panel->setEditedCallback([&] { ++edits; });
    typeInto(field("txtWaveformTitle"), "bt test!");
    EXPECT_EQ(record.Title, "BTTEST");
    typeInto(field("txtWaveformTitle"), "    ");
    EXPECT_EQ(record.Title, "BLANK");
    typeInto(field("txtWaveformTitle"), "abcdefghijklmnopqrstuvwxy");
    EXPECT_EQ(record.Title, "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(edits, 3);
}

TEST_F(SigGenPanelTest, HostActionsAndTooltips) {
    record.Frequency = 915e6;
    record.Amplitude = -20;
    record.Title = "LAB";
    hostRoutines.call("redrawSigGenSettings");
    EXPECT_EQ(field("txtFrequency")->text(), "915");
    EXPECT_EQ(units()->currentText(), "MHz");
    EXPECT_EQ(field("txtAmplitude")->text(), "-20");
    EXPECT_EQ(field("txtWaveformTitle")->text(), "LAB");

    // updateFrequency reads what the host wrote into the field.
    field("txtFrequency")->setText("2.48");
    units()->setCurrentIndex(3);
    hostRoutines.call("updateFrequency");
    EXPECT_EQ(record.Frequency, 2480e6);

    EXPECT_EQ(field("txtAmplitude")->toolTip(),
              "Sets the output power.\nValid Range: -136 dBm to +20 dBm\n(Note: IXO option determines the\nmaximum "
              "amplitude.)");
    EXPECT_EQ(panel->handles().get<QWidget>("pbAdvancedSettings")->toolTip(),
              "Configures advanced Signal Generator options.");

    // A host that follows the carrier gets the entry instead.
    int followed = 0;
    panel->setFrequencyCallback([&] {
        ++followed;
        hostRoutines.call("updateFrequency");
    });
    typeInto(field("txtFrequency"), "2.45");
    EXPECT_EQ(followed, 1);
    EXPECT_EQ(record.Frequency, 2450e6);
}

TEST_F(SigGenPanelTest, AdvancedButtonEditsACopyKeptOnlyOnOK) {
    record.Scaling = 80;
    auto* adv = panel->handles().get<QAbstractButton>("pbAdvancedSettings");
    bool ran = false;
    bt::test::onNextModal([&](QWidget* dialog) {
        auto* h = SigGenAdvancedDialog::of(dialog);
        ASSERT_NE(h, nullptr);
        typeInto(h->handles().get<QLineEdit>("txtScaling"), "50");
        EXPECT_EQ(record.Scaling, 80);  // the record waits for OK
        QTest::mouseClick(h->handles().get<QAbstractButton>("pbCancel"), Qt::LeftButton);
        ran = true;
    });
    QTest::mouseClick(adv, Qt::LeftButton);
    ASSERT_TRUE(ran);
    EXPECT_EQ(record.Scaling, 80);

    int changed = 0;
    panel->setEditedCallback([&] { ++changed; });
    ran = false;
    bt::test::onNextModal([&](QWidget* dialog) {
        auto* h = SigGenAdvancedDialog::of(dialog);
        EXPECT_EQ(h->handles().get<QLineEdit>("txtScaling")->text(), "80");  // Cancel left nothing behind
        typeInto(h->handles().get<QLineEdit>("txtScaling"), "50");
        QTest::mouseClick(h->handles().get<QAbstractButton>("pbOK"), Qt::LeftButton);
        ran = true;
    });
    QTest::mouseClick(adv, Qt::LeftButton);
    ASSERT_TRUE(ran);
    EXPECT_EQ(record.Scaling, 50);
    EXPECT_EQ(changed, 1);
}

class SigGenAdvancedTest : public ::testing::TestWithParam<char> {
protected:
    void SetUp() override { dlg = std::make_unique<SigGenAdvancedDialog>(nullptr, GetParam()); }

    template <class T>
    T* get(const char* tag) {
        return dlg->handles().get<T>(tag);
    }
    SigGenAnswer openWith(const SigGenSettings& s, std::function<void(QWidget*)> user) {
        bool ran = false;
        bt::test::onNextModal([&](QWidget* d) {
            user(d);
            ran = true;
        });
        SigGenAnswer a = dlg->open(s);
        EXPECT_TRUE(ran);
        return a;
    }

    std::unique_ptr<SigGenAdvancedDialog> dlg;
};

TEST_P(SigGenAdvancedTest, ControlsOfTheOtherGenerationAreHidden) {
    const bool b = GetParam() == 'b';
    openWith(SigGenSettings{}, [&](QWidget* d) {
        for (const char* tag : {"pdReconFilter", "txtReconstructionFilterLabel"})
            EXPECT_EQ(get<QWidget>(tag)->isVisible(), b) << tag;
        for (const char* tag : {"pdBBfilter", "txtBasebandFilterLabel", "txtScaling", "txtWaveformScalingLabel",
                                "txtWaveformScalingUnits", "txtModAtten", "txtModulatorAttenuationLabel",
                                "txtModulatorAttenuationUnits"})
            EXPECT_EQ(get<QWidget>(tag)->isVisible(), !b) << tag;
        for (const char* tag : {"txtSamplingRate", "pdSamplingRateUnits", "chkRFblanking", "chkALC", "chkBBrefSource",
                                "chkMarkerPolarity", "pbOK", "pbCancel"})
            EXPECT_TRUE(get<QWidget>(tag)->isVisible()) << tag;
        EXPECT_NE(get<QWidget>("txtSamplingRate")->toolTip().indexOf(b ? "1 Hz - 40 MHz" : "1 Hz - 100 MHz"), -1);
        bt::test::saveShot(d, QString("siggen_advanced_%1").arg(GetParam()));
        QTest::mouseClick(get<QAbstractButton>("pbCancel"), Qt::LeftButton);
    });
}

TEST_P(SigGenAdvancedTest, EntriesAreLimitedAndKeptOnOK) {
    const bool b = GetParam() == 'b';
    SigGenSettings start;
    start.RFblanking = 0;
    const SigGenAnswer a = openWith(start, [&](QWidget*) {
        EXPECT_EQ(get<QLineEdit>("txtSamplingRate")->text(), "10");
        EXPECT_EQ(get<QComboBox>("pdSamplingRateUnits")->currentText(), "MHz");
        typeInto(get<QLineEdit>("txtSamplingRate"), "50");
        EXPECT_EQ(get<QLineEdit>("txtSamplingRate")->text(), b ? "40" : "50");
        get<QLineEdit>("txtSamplingRate")->setText("250");
        chooseItem(get<QComboBox>("pdSamplingRateUnits"), 2);
        EXPECT_EQ(get<QLineEdit>("txtSamplingRate")->text(), "250");
        EXPECT_EQ(get<QComboBox>("pdSamplingRateUnits")->currentText(), "kHz");
        if (b) {
            chooseItem(get<QComboBox>("pdReconFilter"), 4);
        } else {
            typeInto(get<QLineEdit>("txtScaling"), "0.5");
            EXPECT_EQ(get<QLineEdit>("txtScaling")->text(), "1");
            typeInto(get<QLineEdit>("txtScaling"), "99.996");
            EXPECT_EQ(get<QLineEdit>("txtScaling")->text(), "100");
            typeInto(get<QLineEdit>("txtModAtten"), "41");
            EXPECT_EQ(get<QLineEdit>("txtModAtten")->text(), "40");
            chooseItem(get<QComboBox>("pdBBfilter"), 3);
        }
        tick(get<QAbstractButton>("chkRFblanking"));
        tick(get<QAbstractButton>("chkBBrefSource"));
        QTest::mouseClick(get<QAbstractButton>("pbOK"), Qt::LeftButton);
    });
    EXPECT_EQ(a.answer, "OK");
    EXPECT_EQ(a.settings.SamplingRate, 250e3);
    EXPECT_EQ(a.settings.RFblanking, 1);
    EXPECT_EQ(a.settings.ArbRefSource, 1);
    EXPECT_EQ(a.settings.ALC, start.ALC);
    if (b) {
        EXPECT_EQ(a.settings.ReconFilter, 4);
    } else {
        EXPECT_EQ(a.settings.Scaling, 100);
        EXPECT_EQ(a.settings.ModAtten, 40);
        EXPECT_EQ(a.settings.BBfilter, 3);
    }
}

TEST_P(SigGenAdvancedTest, CancelAndCloseGiveTheSettingsBack) {
    SigGenSettings start;
    start.SamplingRate = 20e6;
    SigGenAnswer a = openWith(start, [&](QWidget*) {
        typeInto(get<QLineEdit>("txtSamplingRate"), "1");
        tick(get<QAbstractButton>("chkALC"));
        QTest::mouseClick(get<QAbstractButton>("pbCancel"), Qt::LeftButton);
    });
    EXPECT_EQ(a.answer, "Cancel");
    EXPECT_EQ(a.settings, start);
    a = openWith(start, [&](QWidget* d) {
        EXPECT_EQ(get<QLineEdit>("txtSamplingRate")->text(), "20");
        tick(get<QAbstractButton>("chkALC"));
        d->close();
    });
    EXPECT_EQ(a.answer, "Cancel");
    EXPECT_EQ(a.settings, start);
    EXPECT_FALSE(dlg->window()->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Generations, SigGenAdvancedTest, ::testing::Values('b', 'c'),
                         [](const auto& info) { return std::string(1, info.param); });

}  // namespace
}  // namespace bt::gui
