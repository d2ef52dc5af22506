#pragma once
// What the frame's Plot menu items open: the last calculated waveform,
// quantised to the 14 bits of the instrument's converters, in the plot
// window of the item, over the frame. The quantised copy is made once per
// calculated waveform and shared by all its windows; the eye and scatter
// items first ask for their settings through the dialog service.
#include <QString>
#include <memory>

#include "app/app_state.h"

class QWidget;

namespace bt::gui {

enum class PlotItem { Spectrum, Waterfall, IQTime, IQTimeSameAxes, EyeDiagram, ScatterDiagram, CCDF, FrequencyEye, Frequency };

// Opens `item` for the waveform in `state` titled `title` over `frame`.
// Returns the window, or null when a dialog was cancelled or the plot
// failed (its error already shown).
QWidget* openPlot(PlotItem item, const AppState& state, const QString& title, QWidget* frame);

// The quantised copy the windows of the current waveform share (made on
// first use; a new calculation makes a new one).
std::shared_ptr<const ComplexRow> quantisedWaveform(const AppState& state);

}  // namespace bt::gui
