// The application window, offscreen: start-up to the window shown (no
// splash wait), one edit with its redraw, and Calculate of the largest
// waveform from the button against the core's own Calculate.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QKeyEvent>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>

#include "bluetooth/generate.h"
#include "bluetooth/gui/main_window.h"
#include "bluetooth/settings_editor.h"
#include "lib/dialogs.h"
#include "lib/library.h"

namespace {

bt::gui::StartOptions quickStart() {
    bt::gui::StartOptions o;
    o.showSplash = false;
    return o;
}

void BM_StartUpToWindowShown(benchmark::State& state) {
    for (auto _ : state) {
        auto win = std::make_unique<bt::gui::MainWindow>(quickStart());
        benchmark::DoNotOptimize(win->window());
        state.PauseTiming();
        win.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartUpToWindowShown)->Unit(benchmark::kMillisecond)->UseRealTime();

// Typing a value and Return: the editor, the size check and the redraw.
void BM_EditWithRedraw(benchmark::State& state) {
    bt::gui::MainWindow win(quickStart());
    auto* field = win.handles().get<QLineEdit>("txtAMaddr");
    int k = 0;
    for (auto _ : state) {
        field->setText(QString::number(k++ % 8));
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(field, &press);
    }
}
BENCHMARK(BM_EditWithRedraw)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The largest waveform the instrument holds (multi-packet continuous PN15
// at 20 samples per symbol, 30.35 M samples).
void makeLargest(bt::Parameters& p) {
    for (const auto& [field, value] : {std::pair{"multiPacket", "1"}, {"payloadType", "10"}, {"OverSampling", "20"}})
        p = bt::editField(p, field, value, bt::EditContext{}).parameters;
}

void BM_CalculateLargestFromButton(benchmark::State& state) {
    bt::gui::MainWindow win(quickStart());
    makeLargest(bt::appState().parameters);
    win.redraw();
    auto* button = win.handles().get<QPushButton>("pbCalculate");
    for (auto _ : state) {
        button->click();
        benchmark::DoNotOptimize(bt::appState().waveform.data());
    }
    state.counters["samples"] = static_cast<double>(bt::appState().waveform.size());
}
BENCHMARK(BM_CalculateLargestFromButton)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_CalculateLargestCore(benchmark::State& state) {
    bt::Parameters p;
    makeLargest(p);
    bt::ComplexRow keep;  // the window keeps the previous waveform as well
    for (auto _ : state) {
        bt::GeneratedSignal s = bt::Calculate(p);
        keep = std::move(s.waveform);
        benchmark::DoNotOptimize(keep.data());
    }
    state.counters["samples"] = static_cast<double>(keep.size());
}
BENCHMARK(BM_CalculateLargestCore)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

double processCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return 1e3 * static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_nsec);
}

// The two above in turns, in one process, the order swapped every time.
// Most of this calculation is the kernel supplying half a gigabyte of fresh
// pages, whose cost on a shared machine changes from one second to the
// next; separate runs would compare that rather than the window with the
// core. Reports both means (wall and CPU time of all threads, page faults
// included) and the window's share over the core.
void BM_CalculateLargestButtonAgainstCore(benchmark::State& state) {
    bt::gui::MainWindow win(quickStart());
    makeLargest(bt::appState().parameters);
    win.redraw();
    auto* button = win.handles().get<QPushButton>("pbCalculate");
    bt::Parameters p;
    makeLargest(p);
    bt::ComplexRow keep;
    double wall[2] = {0, 0};
    double cpu[2] = {0, 0};
    const auto measure = [&](int which) {
        const double cpu0 = processCpuMs();
        const auto t0 = std::chrono::steady_clock::now();
        if (which == 0) {
            bt::GeneratedSignal s = bt::Calculate(p);
            keep = std::move(s.waveform);
        } else {
            button->click();
        }
        wall[which] += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        cpu[which] += processCpuMs() - cpu0;
    };
    int k = 0;
    for (auto _ : state) {
        measure(k % 2);
        measure(1 - k % 2);
        ++k;
    }
    state.counters["core_ms"] = wall[0] / k;
    state.counters["button_ms"] = wall[1] / k;
    state.counters["core_cpu_ms"] = cpu[0] / k;
    state.counters["button_cpu_ms"] = cpu[1] / k;
    state.counters["extra_pct"] = 100 * (wall[1] / wall[0] - 1);
    state.counters["extra_cpu_pct"] = 100 * (cpu[1] / cpu[0] - 1);
}
BENCHMARK(BM_CalculateLargestButtonAgainstCore)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(6);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    bt::Bt_c_libInitialize();
    // The window reads and writes its I/O configuration in the working folder.
    const auto dir = std::filesystem::temp_directory_path() / "btgen-main-window-bench";
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    bt::Bt_c_libTerminate();
    return 0;
}
