// The frame's Plot menu: the readiness check first, the plot windows over
// the frame with the plot title, the eye and scatter settings asked first,
// and every plot window closed at shutdown.
#include <gtest/gtest.h>

#include <QAction>
#include <QRegularExpression>

#include "support/gui/app_window_fixture.h"
#include "plots/gui/plot_window.h"

namespace bt::gui {
namespace {

class FramePlotMenu : public testing_support::AppWindowTest {
protected:
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

}  // namespace
}  // namespace bt::gui
