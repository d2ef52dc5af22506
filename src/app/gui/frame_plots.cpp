// The frame's Plot menu. Each item runs the readiness check with "Plot",
// opens its plot window over main() and lists it with addClientWindow().
#include "app/app_state.h"
#include "app/gui/plot_menu.h"
#include "app/frame_logic.h"
#include "app/gui/common_frame.h"

namespace bt::gui {

namespace {

// The plot title is the application's name and the time of the plot.
void openItem(CommonFrame& frame, PlotItem item) {
    if (!frame.checkWaveformReady("Plot")) return;
    const QString title = QString::fromStdString(plotTitle(appState().appInfo));
    frame.addClientWindow(openPlot(item, appState(), title, frame.main()));
}

}  // namespace

void CommonFrame::menuPlotSpectrum_Callback() { openItem(*this, PlotItem::Spectrum); }
void CommonFrame::menuPlotWaterfall_Callback() { openItem(*this, PlotItem::Waterfall); }
void CommonFrame::menuPlotIQTime_Callback() { openItem(*this, PlotItem::IQTime); }
void CommonFrame::menuPlotIQTimeSameAxes_Callback() { openItem(*this, PlotItem::IQTimeSameAxes); }
void CommonFrame::menuPlotEyeDiagram_Callback() { openItem(*this, PlotItem::EyeDiagram); }
void CommonFrame::menuPlotScatterDiagram_Callback() { openItem(*this, PlotItem::ScatterDiagram); }
void CommonFrame::menuPlotCCDF_Callback() { openItem(*this, PlotItem::CCDF); }
void CommonFrame::menuPlotFrequencyEye_Callback() { openItem(*this, PlotItem::FrequencyEye); }
void CommonFrame::menuPlotFrequency_Callback() { openItem(*this, PlotItem::Frequency); }

}  // namespace bt::gui
