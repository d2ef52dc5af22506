// The frame's Plot menu: the readiness check first, the plot windows over
// the frame with the plot title, the eye and scatter settings asked first,
// and every plot window closed at shutdown.
#include <gtest/gtest.h>

#include <QAction>
#include <QRegularExpression>
#include <algorithm>
#include <qcustomplot.h>

#include "support/gui/app_window_fixture.h"
#include "plots/gui/plot_window.h"
#include "support/gui/gui_support.h"

namespace bt::gui {
namespace {

class FramePlotMenu : public testing_support::AppWindowTest {
protected:
    static QAction* item(QWidget* w, const char* tag) { return w->findChild<QAction*>(tag); }
    QWidget* client(std::size_t k) {
        const auto& c = appState().appInfo.ClientWindows;
        return k < c.size() ? reinterpret_cast<QWidget*>(c[k]) : nullptr;
    }
};

TEST_F(FramePlotMenu, ItemsOpenTheirWindowsAndShutdownClosesThem) {
    // Nothing calculated yet: "Calculate & Plot" is the default answer.
    action("menuPlotSpectrum")->trigger();
    ASSERT_EQ(dialogs->shown().size(), 1u);
    EXPECT_EQ(dialogs->shown()[0].title, "Waveform Not Calculated");
    EXPECT_FALSE(appState().waveform.empty());
    ASSERT_EQ(appState().appInfo.ClientWindows.size(), 1u);
    QWidget* spectrum = client(0);
    ASSERT_TRUE(PlotWindow::isOpen(appState().appInfo.ClientWindows[0]));
    const QRegularExpression title("^Magnitude Spectrum BLUETOOTH \\(\\d\\d[A-Z]{3}\\d{4} \\d{1,2}:\\d\\d:\\d\\d\\)$");
    EXPECT_TRUE(title.match(spectrum->windowTitle()).hasMatch()) << spectrum->windowTitle().toStdString();

    // The eye diagram asks for its settings; a cancelled dialog opens nothing.
    dialogs->setInputs({std::vector<std::string>{"2", "0.5"}, std::nullopt});
    action("menuPlotEyeDiagram")->trigger();
    EXPECT_EQ(dialogs->shown().back().title, "Eye Diagram Configuration");
    ASSERT_EQ(appState().appInfo.ClientWindows.size(), 2u);
    EXPECT_TRUE(client(1)->windowTitle().startsWith("Eye Diagram BLUETOOTH ("));
    action("menuPlotEyeDiagram")->trigger();
    EXPECT_EQ(appState().appInfo.ClientWindows.size(), 2u);

    for (const char* item : {"menuPlotWaterfall", "menuPlotIQTime", "menuPlotIQTimeSameAxes", "menuPlotCCDF"})
        action(item)->trigger();
    dialogs->setInputs({std::vector<std::string>{"1", "0"}});
    action("menuPlotScatterDiagram")->trigger();
    ASSERT_EQ(appState().appInfo.ClientWindows.size(), 7u);
    EXPECT_TRUE(client(6)->windowTitle().startsWith("Scatter Diagram BLUETOOTH ("));

    // Edited settings: the check offers to recalculate; Cancel stops.
    appState().parameters.AMaddr = 5;
    dialogs->queueAnswers({"Cancel"});
    action("menuPlotCCDF")->trigger();
    EXPECT_EQ(dialogs->shown().back().title, "Waveform Not Recalculated");
    EXPECT_EQ(appState().appInfo.ClientWindows.size(), 7u);

    // A window the user closed is only struck off at shutdown.
    const auto handles = appState().appInfo.ClientWindows;
    client(0)->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    win->frame()->AppShutDown();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(appState().appInfo.ClientWindows.empty());
    for (const auto h : handles) EXPECT_FALSE(PlotWindow::isOpen(h));
}

// The frequency a GFSK receiver sees: an eye and a trace against time, on
// the plot frame with its zoom, with the +-deviation of the settings'
// modulation index (0.315: 157.5 kHz) marked.
TEST_F(FramePlotMenu, FrequencyEyeAndFrequencyAgainstTime) {
    dialogs->setInputs({std::vector<std::string>{"2", "0"}});
    action("menuPlotFrequencyEye")->trigger();
    EXPECT_EQ(dialogs->shown().back().title, "Eye Diagram Configuration");
    action("menuPlotFrequency")->trigger();
    ASSERT_EQ(appState().appInfo.ClientWindows.size(), 2u);
    const char* titles[] = {"Frequency Eye Diagram BLUETOOTH (", "Frequency (t) BLUETOOTH ("};
    for (std::size_t k = 0; k < 2; ++k) {
        QWidget* w = client(k);
        EXPECT_TRUE(w->windowTitle().startsWith(titles[k])) << w->windowTitle().toStdString();
        PlotWindow* pw = PlotWindow::of(w);
        ASSERT_NE(pw, nullptr);
        QCPAxisRect* r = pw->plot()->axisRect();
        EXPECT_EQ(r->axis(QCPAxis::atLeft)->label(), "Frequency (kHz)");
        std::vector<double> levels;
        for (int i = 0; i < pw->plot()->itemCount(); ++i)
            if (auto* line = qobject_cast<QCPItemStraightLine*>(pw->plot()->item(i)))
                levels.push_back(line->point1->coords().y());
        std::sort(levels.begin(), levels.end());
        ASSERT_EQ(levels.size(), 2u);
        EXPECT_DOUBLE_EQ(levels[0], -157.5);
        EXPECT_DOUBLE_EQ(levels[1], 157.5);
        // Wide enough for the swing, not for noise far beyond it.
        const QCPRange y = r->axis(QCPAxis::atLeft)->range();
        EXPECT_GT(y.upper, 157.5);
        EXPECT_LT(y.upper, 300);
        EXPECT_TRUE(item(w, "Ux_Zoom") != nullptr);
        test::saveShot(w, k == 0 ? "plots_frequency_eye" : "plots_frequency");
    }
    EXPECT_EQ(client(0)->findChild<QCustomPlot*>()->axisRect()->axis(QCPAxis::atBottom)->label(), "Time (\u00b5s)");
}

}  // namespace
}  // namespace bt::gui
