#include "app/gui/instrument_actions.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QPushButton>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

#include "instrument/download.h"
#include "instrument/download_play.h"
#include "app/gui/common_frame.h"
#include "windowkit/gui/progress_pacer.h"

namespace bt::gui {

namespace {

// From this many samples on the progress window opens at once; a smaller
// transfer over a LAN is over before the window could be read, so it only
// opens when the transfer lasts (a slow link, a slow instrument).
constexpr std::size_t kLargeWaveform = 1'000'000;
constexpr int kSteps = 1000;

// Runs `work` on a worker thread behind an application-modal progress
// window over `parent`: the windows keep repainting, and nothing can change
// the waveform or the settings the worker reads until it is done. `work`
// receives the transfer's progress routine (true: go on); `cancellable`
// gives the window its Cancel button.
template <class Work>
void runWithProgress(QWidget* parent, const QString& title, const QString& label, bool cancellable,
                     bool showAtOnce, Work&& work) {
    QProgressDialog dialog(label, cancellable ? QStringLiteral("Cancel") : QString(), 0, kSteps, parent);
    dialog.setObjectName("transferProgress");
    dialog.setWindowTitle(title);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    dialog.setMinimumDuration(500);
    dialog.setMinimumWidth(360);

    // Cancel (or Escape, or closing the window) hides it at once, but the
    // worker still has to stop the transfer and put the player back: the
    // window stays up (and modal), saying so, until the worker is done.
    std::atomic<bool> cancelRequested{false};
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&] {
        if (cancellable) {
            cancelRequested = true;
            dialog.setLabelText("Cancelling...");
            if (auto* b = dialog.findChild<QPushButton*>()) b->setEnabled(false);
        }
        dialog.show();
    });
    if (showAtOnce) dialog.show();

    // Each report waits for the window to take it: the bar moves with the
    // transfer, and a Cancel clicked before the report is answered by it.
    ProgressPacer pacer(kSteps);
    const TransferProgress progress = [&](double fraction) {
        QMetaObject::invokeMethod(
            &dialog,
            [&] {
                const int value = static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * kSteps));
                if (pacer.take(value)) dialog.setValue(value);
            },
            Qt::BlockingQueuedConnection);
        return !cancelRequested.load();
    };

    QEventLoop loop;
    std::thread worker([&] {
        work(progress);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
}

}  // namespace

InstrumentOutcome runDownload(QWidget* parent, const ComplexRow& waveform, const Markers& markers,
                              const SigGenSettings& settings, const Configuration& config, char platform) {
    const BusyPointer busy;
    InstrumentOutcome out;
    // The worker reads the waveform where it lies (never copied); the
    // settings are small and taken as they are now.
    const SigGenSettings playSettings = settings;
    const Configuration connection = config;
    runWithProgress(parent, "Download", "Downloading the waveform to the instrument...", true,
                    waveform.size() >= kLargeWaveform, [&](const TransferProgress& progress) {
                        out.download = IXODownLoadWrap(waveform, markers, playSettings.Title, connection, 0, progress);
                        if (out.download.ok()) out.play = refreshSettings(playSettings, connection, platform);
                    });
    return out;
}

HwResult runRefresh(QWidget* parent, const SigGenSettings& settings, const Configuration& config, char platform) {
    const BusyPointer busy;
    HwResult play;
    const SigGenSettings playSettings = settings;
    const Configuration connection = config;
    // Sending half of the settings would leave the instrument in neither
    // state, so Refresh runs to its end: no Cancel.
    runWithProgress(parent, "Refresh", "Sending the settings to the instrument...", false, false,
                    [&](const TransferProgress&) { play = refreshSettings(playSettings, connection, platform); });
    return play;
}

}  // namespace bt::gui
