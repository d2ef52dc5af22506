#pragma once
// The plot windows' entry points. Each opens a window of its own over
// `parent` (the screen when null), shows it once complete, and returns it;
// the eye and scatter plots return null after an error dialog when they
// cannot draw. Waveforms are read in place: the I(t) Q(t) window keeps a
// shared reference for its deepest zoom, the others keep only what they
// draw.
#include <QString>
#include <memory>
#include <span>

#include "lib/types.h"
#include "plots/spectrum.h"

class QWidget;

namespace bt::gui {

QWidget* Ux_PlotCCDF(std::span<const Complex> iqWave, const QString& label, QWidget* parent);
QWidget* Ux_PlotSpectrum(std::span<const Complex> iqWave, double sampleRate, const QString& label, QWidget* parent);
// The spectrum window for data already computed (plots/spectrum.h).
QWidget* plotSpectrumData(plots::SpectrumData data, const QString& label, QWidget* parent);
QWidget* Ux_PlotWaterfall(std::span<const Complex> iqWave, double sampleRate, double period, const QString& label,
                          QWidget* parent);
// `markers`, when given, can be drawn as two rows under the plot (Tools >
// Show Markers); they are read while the window opens and kept as bits, the
// rows of every window on the same waveform shared.
QWidget* Ux_PlotIQTime(std::shared_ptr<const ComplexRow> iqWave, double sampleRate, bool overlay,
                       const QString& label, QWidget* parent, std::shared_ptr<const Markers> markers = {});
QWidget* Ux_PlotEyeDiagram(std::span<const Complex> iqWave, double n, double period, double offset,
                           const QString& label, QWidget* parent);
// What a GFSK receiver's discriminator sees: the instantaneous frequency
// as an eye of `n` samples per trace (the eye's checks and time axis) and
// against time, both with the +-deviation levels (0: none) dashed.
QWidget* Ux_PlotFrequencyEye(std::span<const Complex> iqWave, double n, double period, double offset,
                             double sampleRate, double deviationHz, const QString& label, QWidget* parent);
QWidget* Ux_PlotFrequency(std::span<const Complex> iqWave, double sampleRate, double deviationHz,
                          const QString& label, QWidget* parent);
QWidget* Ux_PlotScatterDiagram(std::span<const Complex> iqWave, double n, double offset, bool traceOn,
                               const QString& label, QWidget* parent);

}  // namespace bt::gui
