#include "app/gui/plot_menu.h"

#include <QApplication>
#include <QCursor>

#include "bluetooth/noise.h"
#include "lib/dialogs.h"
#include "plots/gui/plots.h"
#include "plots/plot_requests.h"

namespace bt::gui {

namespace {

// The waveform a quantised copy was made from: its storage, length and
// calculation time (the storage of a new waveform may reuse the address).
struct CopyKey {
    const Complex* data = nullptr;
    std::size_t size = 0;
    std::string stamp;
    bool operator==(const CopyKey&) const = default;
};

struct SharedCopy {
    CopyKey key;
    std::weak_ptr<const ComplexRow> wave;
};

SharedCopy& sharedCopy() {
    static SharedCopy c;
    return c;
}

CopyKey keyOf(const AppState& s) { return {s.waveform.data(), s.waveform.size(), s.appInfo.LastCalcTimeStamp}; }

// The I(t) Q(t) window reads the marker rows while it opens and keeps them
// packed to bits: the state's rows are handed over in place, not copied.
std::shared_ptr<const Markers> markersOf(const AppState& s) {
    return std::shared_ptr<const Markers>(std::shared_ptr<const Markers>(), &s.markers);
}

// The busy pointer while a plot is made; restored on every path.
struct BusyPointer {
    BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QApplication::restoreOverrideCursor(); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

std::optional<std::vector<std::string>> ask(const plots::InputRequest& r) {
    auto answers = dialogs().input(r.prompts, r.title, r.defaults);
    if (!answers || answers->empty()) return std::nullopt;
    return answers;
}

// The peak deviation of the settings' GFSK: h/2 of the 1 Msymbol/s rate.
double deviationOf(const AppState& s) { return effectiveModIndex(s.parameters) / 2 * 1e6; }

}  // namespace

std::shared_ptr<const ComplexRow> quantisedWaveform(const AppState& state) {
    SharedCopy& c = sharedCopy();
    const CopyKey key = keyOf(state);
    if (auto w = c.wave.lock(); w && c.key == key) return w;
    auto copy = std::make_shared<ComplexRow>(state.waveform);
    applyDacResInPlace(*copy, 14);
    c.key = key;
    c.wave = copy;
    return copy;
}

QWidget* openPlot(PlotItem item, const AppState& state, const QString& title, QWidget* frame) {
    const double rate = state.SigGenSettings.SamplingRate;
    const double os = state.parameters.OverSampling;
    switch (item) {
        case PlotItem::EyeDiagram: {
            const auto answers = ask(plots::eyeDiagramRequest());
            if (!answers) return nullptr;
            const auto r = plots::eyeRequest(*answers, state.waveform.size(), os, rate);
            if (!r) return nullptr;
            BusyPointer busy;
            return Ux_PlotEyeDiagram(*quantisedWaveform(state), r->n, r->period, r->delay, title, frame);
        }
        case PlotItem::FrequencyEye: {
            const auto answers = ask(plots::eyeDiagramRequest());
            if (!answers) return nullptr;
            const auto r = plots::eyeRequest(*answers, state.waveform.size(), os, rate);
            if (!r) return nullptr;
            BusyPointer busy;
            return Ux_PlotFrequencyEye(*quantisedWaveform(state), r->n, r->period, r->delay, rate,
                                       deviationOf(state), title, frame);
        }
        case PlotItem::ScatterDiagram: {
            const auto answers = ask(plots::scatterDiagramRequest());
            if (!answers) return nullptr;
            const auto r = plots::scatterRequest(*answers, os);
            if (!r) return nullptr;
            BusyPointer busy;
            return Ux_PlotScatterDiagram(*quantisedWaveform(state), r->n, r->delay, r->traceOn, title, frame);
        }
        default: break;
    }
    BusyPointer busy;
    const auto wave = quantisedWaveform(state);
    switch (item) {
        case PlotItem::Spectrum: return Ux_PlotSpectrum(*wave, rate, title, frame);
        case PlotItem::Waterfall:
            return Ux_PlotWaterfall(*wave, rate, plots::waterfallSlice(wave->size(), rate), title, frame);
        case PlotItem::IQTime: return Ux_PlotIQTime(wave, rate, false, title, frame, markersOf(state));
        case PlotItem::IQTimeSameAxes: return Ux_PlotIQTime(wave, rate, true, title, frame, markersOf(state));
        case PlotItem::CCDF: return Ux_PlotCCDF(*wave, title, frame);
        case PlotItem::Frequency: return Ux_PlotFrequency(*wave, rate, deviationOf(state), title, frame);
        default: return nullptr;
    }
}

}  // namespace bt::gui
