// Cancelling Calculate and Download from their progress windows: what the
// window and the instrument keep, and that the window goes on working.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <complex>

#include "support/gui/app_window_fixture.h"
#include "bluetooth/settings_editor.h"
#include "sim/sim_server.h"
#include "support/gui/gui_support.h"
#include "app/frame_logic.h"

namespace bt::gui {
namespace {

// Watches for the progress window named `name`. It records every value the
// bar shows and, when told to, clicks Cancel the first time the bar moves
// past its start: from inside the window's own update, so the cancel is
// answered at a known point of the work, whatever the machine's speed.
class ProgressWatch : public QObject {
public:
    ProgressWatch(const char* name, bool cancel) : name_(name), cancel_(cancel) { qApp->installEventFilter(this); }
    ~ProgressWatch() override { qApp->removeEventFilter(this); }

    std::vector<int> values;
    bool shown = false;
    bool clicked = false;
    bool modalWhenClicked = false;
    int maximum = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* dialog = qobject_cast<QProgressDialog*>(watched);
        if (event->type() != QEvent::Show || !dialog || dialog->objectName() != name_ || shown) return false;
        shown = true;
        maximum = dialog->maximum();
        auto* bar = dialog->findChild<QProgressBar*>();
        connect(bar, &QProgressBar::valueChanged, this, [this, dialog](int value) {
            values.push_back(value);
            if (!cancel_ || clicked || value <= 0) return;
            clicked = true;
            modalWhenClicked = QApplication::activeModalWidget() == dialog;
            test::saveShot(dialog, "main_" + name_);
            QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
        });
        return false;
    }

private:
    QString name_;
    bool cancel_;
};

class TransferTest : public testing_support::AppWindowTest {
protected:
    void TearDown() override {
        testing_support::AppWindowTest::TearDown();
        if (server) server->stop();
    }
    void useSimulator() {
        server = std::make_unique<sim::Server>();
        std::string error;
        const auto port = server->start(0, error);
        ASSERT_NE(port, 0) << error;
        appState().configuration.type = "TCPIP";
        appState().configuration.TCPIP.address = "127.0.0.1:" + std::to_string(port);
    }
    // A waveform of `n` samples as the last calculated one (a few pieces of
    // the transfer; made here, calculating it is not the point).
    static void useCalculatedWaveform(std::size_t n) {
        AppState& s = appState();
        s.waveform.assign(n, {});
        for (std::size_t k = 0; k < n; ++k) s.waveform[k] = std::polar(0.6, 0.003 * static_cast<double>(k % 2000));
        s.markers.resize(n);
        for (std::size_t k = 0; k < n; ++k) s.markers.row1[k] = k % 20 == 0;
        stampCalculation(s.appInfo, s.parameters);
    }
    std::optional<sim::StoredWaveform> stored() {
        return server->instrument().waveform(appState().SigGenSettings.Title);
    }
    const PresetDialogs::Shown& last() { return dialogs->shown().back(); }

    std::unique_ptr<sim::Server> server;
};

constexpr std::size_t kLarge = 1'100'000;

TEST_F(TransferTest, TheStatusLineSaysWhetherTheWaveformIsCurrentAndWhereItWent) {
    auto* line = win->window()->findChild<QLabel*>("txtWaveformStatus");
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(), "Not calculated yet");
    click("pbCalculate");
    const QString calculated = line->text();
    EXPECT_TRUE(QRegularExpression("^Calculated \\d{1,2}:\\d\\d:\\d\\d, \\d+ samples$").match(calculated).hasMatch())
        << calculated.toStdString();
    EXPECT_TRUE(calculated.endsWith(QString(", %1 samples").arg(appState().waveform.size()))) << calculated.toStdString();

    const QString address = text("txtAMaddr");
    type("txtAMaddr", address == "5" ? "6" : "5");
    EXPECT_EQ(line->text(), "Settings changed since the last Calculate");
    type("txtAMaddr", address);  // back as calculated
    EXPECT_EQ(line->text(), calculated);

    useSimulator();
    click("pbDownload");
    ASSERT_EQ(last().title, "Download Completed");
    EXPECT_EQ(line->text().toStdString(), "Downloaded to " + appState().configuration.TCPIP.address + " as " +
                                              appState().SigGenSettings.Title);
    click("pbCalculate");  // a new waveform is not on the instrument yet
    EXPECT_TRUE(line->text().startsWith("Calculated ")) << line->text().toStdString();
}

TEST_F(TransferTest, CancelledDownloadKeepsThePlayingWaveformAndTheWindowWorks) {
    useSimulator();
    click("pbDownload");  // calculates the default waveform and plays it
    ASSERT_EQ(last().title, "Download Completed");
    const auto before = stored();
    ASSERT_TRUE(before);

    useCalculatedWaveform(kLarge);
    {
        ProgressWatch watch("transferProgress", true);
        click("pbDownload");
        ASSERT_TRUE(watch.shown);
        ASSERT_TRUE(watch.clicked);
        EXPECT_TRUE(watch.modalWhenClicked);  // nothing else can be edited meanwhile
    }
    EXPECT_EQ(last().kind, "error");
    EXPECT_EQ(last().title, "Error Occured During Waveform Download");
    EXPECT_EQ(last().text, "Download cancelled");
    // The instrument still holds and plays what it had.
    const auto after = stored();
    ASSERT_TRUE(after);
    EXPECT_EQ(after->iq, before->iq);
    EXPECT_EQ(after->markers, before->markers);
    EXPECT_EQ(server->instrument().setting(":SOUR:RAD:ARB:STAT"), "1");

    // The window is free again, and the same download now goes through
    // with its bar rising to the end.
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    ProgressWatch watch("transferProgress", false);
    click("pbDownload");
    EXPECT_EQ(last().title, "Download Completed");
    ASSERT_TRUE(watch.shown);
    ASSERT_FALSE(watch.values.empty());
    EXPECT_TRUE(std::is_sorted(watch.values.begin(), watch.values.end()));
    EXPECT_EQ(watch.values.back(), watch.maximum);
    ASSERT_TRUE(stored());
    EXPECT_EQ(stored()->samples(), kLarge);
}

TEST_F(TransferTest, CancelledCalculateKeepsThePreviousWaveform) {
    click("pbCalculate");
    const ComplexRow previous = appState().waveform;
    const Markers previousMarkers = appState().markers;
    const std::string stamp = appState().appInfo.LastCalcTimeStamp;
    const Parameters calculated = params();
    ASSERT_FALSE(previous.empty());

    // Multi-packet PN15: a few million samples, many pieces of work.
    for (const auto& [field, value] : {std::pair{"multiPacket", "1"}, {"payloadType", "10"}, {"OverSampling", "2"}})
        params() = editField(params(), field, value, EditContext{}).parameters;
    win->redraw();
    ASSERT_GE(params().ProjectedLength, 1e6);
    {
        ProgressWatch watch("calculateProgress", true);
        click("pbCalculate");
        ASSERT_TRUE(watch.shown);
        ASSERT_TRUE(watch.clicked);
    }
    EXPECT_TRUE(dialogs->shown().empty());  // a cancel is no error
    EXPECT_EQ(appState().waveform, previous);
    EXPECT_EQ(appState().markers.row1, previousMarkers.row1);
    EXPECT_EQ(appState().appInfo.LastCalcTimeStamp, stamp);
    ASSERT_TRUE(appState().appInfo.LastCaluclatedParameterSet);
    EXPECT_TRUE(*appState().appInfo.LastCaluclatedParameterSet == calculated);

    // Still usable: the next Calculate runs to its end.
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    click("pbCalculate");
    EXPECT_EQ(static_cast<double>(appState().waveform.size()), params().ProjectedLength);
    EXPECT_TRUE(*appState().appInfo.LastCaluclatedParameterSet == params());
}

}  // namespace
}  // namespace bt::gui
