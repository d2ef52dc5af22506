// The application window, offscreen: start-up to the window shown (no
// splash wait), one edit with its redraw, and Calculate of the largest
// waveform from the button against the core's own Calculate.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QKeyEvent>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <vector>

#include "bluetooth/generate.h"
#include "app/gui/main_window.h"
#include "bluetooth/settings_editor.h"
#include "lib/dialogs.h"
#include "app/app_state.h"
#include "bench_support.h"

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

void BM_CalculateLargestFromButton(benchmark::State& state) {
    bt::gui::MainWindow win(quickStart());
    bt::appState().parameters = benchsupport::largestSettings();
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
    const bt::Parameters p = benchsupport::largestSettings();
    bt::ComplexRow keep;  // the window keeps the previous waveform as well
    for (auto _ : state) {
        bt::GeneratedSignal s = bt::Calculate(p);
        keep = std::move(s.waveform);
        benchmark::DoNotOptimize(keep.data());
    }
    state.counters["samples"] = static_cast<double>(keep.size());
}
BENCHMARK(BM_CalculateLargestCore)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The two above in turns, in one process, the order swapped every round.
// Most of this calculation is the kernel supplying half a gigabyte of fresh
// pages, whose cost on a shared machine changes from one second to the
// next, and what the allocator can recycle depends on what is still held:
// the core here keeps the whole previous signal, as the window must (a
// cancelled Calculate leaves it in place). Separate runs would compare the
// machine's moods rather than the window with the core. Reports medians
// over the rounds: wall time, CPU time of all threads (page faults
// included), and the window's extra over the core in the same round.
void BM_CalculateLargestButtonAgainstCore(benchmark::State& state) {
    bt::gui::MainWindow win(quickStart());
    bt::appState().parameters = benchsupport::largestSettings();
    win.redraw();
    auto* button = win.handles().get<QPushButton>("pbCalculate");
    const bt::Parameters p = benchsupport::largestSettings();
    bt::GeneratedSignal kept;
    std::vector<double> wall[2], cpu[2], extraWall, extraCpu;
    const auto measure = [&](int which) {
        const double cpu0 = 1e3 * benchsupport::processCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        if (which == 0)
            kept = bt::Calculate(p);
        else
            button->click();
        wall[which].push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        cpu[which].push_back(1e3 * benchsupport::processCpuSeconds() - cpu0);
    };
    // The first calculations of a process wait for the kernel to assemble
    // huge pages; later ones get back the pages the previous ones freed.
    // Whichever runs first pays, so both run once before measuring (the
    // separate benchmarks above show that cost in their first repetition).
    measure(0);
    measure(1);
    for (auto& w : wall) w.clear();
    for (auto& c : cpu) c.clear();
    int k = 0;
    for (auto _ : state) {
        measure(k % 2);
        measure(1 - k % 2);
        extraWall.push_back(100 * (wall[1].back() / wall[0].back() - 1));
        extraCpu.push_back(100 * (cpu[1].back() / cpu[0].back() - 1));
        ++k;
    }
    state.counters["core_ms"] = median(wall[0]);
    state.counters["button_ms"] = median(wall[1]);
    state.counters["core_cpu_ms"] = median(cpu[0]);
    state.counters["button_cpu_ms"] = median(cpu[1]);
    state.counters["extra_pct"] = median(extraWall);
    state.counters["extra_cpu_pct"] = median(extraCpu);
}
BENCHMARK(BM_CalculateLargestButtonAgainstCore)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

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
