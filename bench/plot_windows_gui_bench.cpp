// Plot windows on the largest waveform (30.35 M samples), offscreen: the
// time from data to a shown window, one redraw after a zoom or pan at
// several zoom levels (the envelope read for the new range, the plot
// drawn), and the memory all windows on one waveform keep.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <vector>
#include <qcustomplot.h>

#include "bluetooth/generate.h"
#include "bluetooth/noise.h"
#include "bluetooth/settings_editor.h"
#include "app/app_state.h"
#include "plots/gui/plot_window.h"
#include "plots/gui/plots.h"
#include "plots/spectrum.h"
#include "bench_support.h"

namespace {

constexpr double kRate = 20e6;

std::shared_ptr<const bt::ComplexRow> largest() {
    static const std::shared_ptr<const bt::ComplexRow> w = [] {
        return std::make_shared<const bt::ComplexRow>(
            bt::ApplyDacRes(bt::Calculate(benchsupport::largestSettings()).waveform, 14));
    }();
    return w;
}


void closeWindow(QWidget* w) {
    bt::gui::PlotWindow::close(bt::gui::PlotWindow::handleOf(w));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// I(t) Q(t): the envelope levels of both components are built when the
// window opens.
void BM_OpenIqTime(benchmark::State& state) {
    const auto w = largest();
    const benchsupport::ProcessCpu cpu{state};
    for (auto _ : state) {
        QWidget* win = bt::gui::Ux_PlotIQTime(w, kRate, false, "bench", nullptr);
        QCoreApplication::processEvents();
        state.PauseTiming();
        closeWindow(win);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenIqTime)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Spectrum: from its data (computed once, outside the timing, as the
// window asks for it: the levels of 30 M points in dB) to the shown
// window.
void BM_OpenSpectrumFromData(benchmark::State& state) {
    static const bt::plots::SpectrumData data = bt::plots::spectrumData(*largest(), kRate, true);
    const benchsupport::ProcessCpu cpu{state};
    for (auto _ : state) {
        state.PauseTiming();
        bt::plots::SpectrumData copy = data;
        state.ResumeTiming();
        QWidget* win = bt::gui::plotSpectrumData(std::move(copy), "bench", nullptr);
        QCoreApplication::processEvents();
        state.PauseTiming();
        closeWindow(win);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenSpectrumFromData)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Eye diagram of one symbol a trace (1.5 M traces) and the constellation
// with its trajectory: drawn as density pictures.
void BM_OpenEye(benchmark::State& state) {
    const auto w = largest();
    const benchsupport::ProcessCpu cpu{state};
    for (auto _ : state) {
        QWidget* win = bt::gui::Ux_PlotEyeDiagram(*w, 20, 1e-6, 0, "bench", nullptr);
        QCoreApplication::processEvents();
        state.PauseTiming();
        closeWindow(win);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenEye)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_OpenScatterWithTrace(benchmark::State& state) {
    const auto w = largest();
    const benchsupport::ProcessCpu cpu{state};
    for (auto _ : state) {
        QWidget* win = bt::gui::Ux_PlotScatterDiagram(*w, 20, 0, true, "bench", nullptr);
        QCoreApplication::processEvents();
        state.PauseTiming();
        closeWindow(win);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenScatterWithTrace)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// Resident memory now, in bytes, after handing freed memory back.
double residentBytes() {
    ::malloc_trim(0);
    std::ifstream statm("/proc/self/statm");
    double pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * double(::sysconf(_SC_PAGESIZE));
}

// The largest waveform's marker rows.
std::shared_ptr<const bt::Markers> largestMarkers() {
    static const std::shared_ptr<const bt::Markers> m = [] {
        bt::Parameters p;
        for (const auto& [field, value] : {std::pair{"multiPacket", "1"}, {"payloadType", "10"}, {"OverSampling", "20"}}) {
            bt::EditResult r = bt::editField(p, field, value, bt::EditContext{});
            p = std::move(r.parameters);
        }
        return std::make_shared<const bt::Markers>(bt::Calculate(p).markers);
    }();
    return m;
}

std::vector<QWidget*> openAll(const std::shared_ptr<const bt::ComplexRow>& w) {
    const double period = double(w->size()) / kRate / 200;
    const auto markers = largestMarkers()->size() == w->size() ? largestMarkers() : nullptr;
    return {bt::gui::Ux_PlotCCDF(*w, "bench", nullptr),
            bt::gui::Ux_PlotSpectrum(*w, kRate, "bench", nullptr),
            bt::gui::Ux_PlotWaterfall(*w, kRate, period, "bench", nullptr),
            bt::gui::Ux_PlotIQTime(w, kRate, false, "bench", nullptr, markers),
            bt::gui::Ux_PlotIQTime(w, kRate, true, "bench", nullptr, markers),
            bt::gui::Ux_PlotEyeDiagram(*w, 20, 1e-6, 0, "bench", nullptr),
            bt::gui::Ux_PlotScatterDiagram(*w, 20, 0, true, "bench", nullptr)};
}

// Every plot window open on one waveform, as the plot menu opens them: the
// 14-bit copy made, each window opened on it, the marker rows shown. The memory they keep
// together (resident, after the transients are freed) against the budget
// of one copy of the waveform plus an eighth of it for the envelope
// levels.
void BM_AllWindowsMemory(benchmark::State& state) {
    const auto original = largest();
    largestMarkers();
    // Qt's own one-off costs (fonts, layouts) first, on a short waveform;
    // whatever the long one leaves cached (transform plans) is counted.
    {
        auto small = std::make_shared<const bt::ComplexRow>(original->begin(), original->begin() + 100000);
        for (QWidget* win : openAll(small)) closeWindow(win);
    }
    const double waveBytes = double(original->size() * sizeof(bt::Complex));
    double extra = 0;
    for (auto _ : state) {
        const double before = residentBytes();
        auto copy = std::make_shared<const bt::ComplexRow>(bt::ApplyDacRes(*original, 14));
        std::vector<QWidget*> wins = openAll(copy);
        // The marker rows shown in both I(t) Q(t) windows.
        for (QWidget* win : {wins[3], wins[4]})
            if (auto* show = win->findChild<QAction*>("Ux_ShowMarkers"); show && show->isVisible()) show->trigger();
        QCoreApplication::processEvents();
        extra = residentBytes() - before;
        state.PauseTiming();
        for (QWidget* win : wins) closeWindow(win);
        state.ResumeTiming();
    }
    state.counters["extra_MB"] = extra / 1e6;
    state.counters["budget_MB"] = waveBytes * 1.125 / 1e6;
    state.counters["beyond_copy_over_waveform"] = (extra - waveBytes) / waveBytes;
}
BENCHMARK(BM_AllWindowsMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// One redraw of the two-axes I(t) Q(t) window after a zoom to the
// argument's number of samples (the whole waveform down to 500).
void BM_RedrawIqTimeZoomed(benchmark::State& state) {
    const auto w = largest();
    QWidget* win = bt::gui::Ux_PlotIQTime(w, kRate, false, "bench", nullptr);
    win->resize(1200, 800);
    QCoreApplication::processEvents();
    auto* pw = bt::gui::PlotWindow::of(win);
    QCustomPlot* plot = pw->plot();
    const double span = double(state.range(0)) / kRate * 1e3;  // ms
    double start = 1.0;
    for (auto _ : state) {
        // A pan of a tenth of the view each time, so every redraw reads a
        // new range.
        start += span / 10;
        if (start + span > 1500) start = 0;
        for (QCPAxisRect* r : plot->axisRects()) r->axis(QCPAxis::atBottom)->setRange(start, start + span);
        plot->replot(QCustomPlot::rpImmediateRefresh);
    }
    closeWindow(win);
}
BENCHMARK(BM_RedrawIqTimeZoomed)->Arg(30'350'000)->Arg(3'000'000)->Arg(100'000)->Arg(5'000)->Arg(500)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    bt::Bt_c_libInitialize();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    bt::Bt_c_libTerminate();
    return 0;
}
