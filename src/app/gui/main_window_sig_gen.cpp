// The signal-generator panel inside the main window (loaded into
// sigGenPanelHost(), its routines registered in sigGenPanel()) and its
// advanced dialog, figureList["AdvSettings"].
#include <QGridLayout>
#include <algorithm>

#include "app/gui/main_window.h"
#include "instrument/gui/siggen_advanced_dialog.h"
#include "instrument/gui/siggen_panel.h"
#include "app/app_state.h"

namespace bt::gui {

void MainWindow::initSigGenWindows() {
    auto* advanced = new SigGenAdvancedDialog(parentWidget(), appState().appInfo.Platform);
    figureList["AdvSettings"] = advanced->window();
    auto* panel = new SigGenPanel(
        sigGenPanelHost(), []() -> SigGenSettings& { return appState().SigGenSettings; },
        [] { return appState().appInfo.Platform; }, advanced);
    panel->addRoutinesTo(sigGenPanel());
    // The panel's fields line up with the channel field above them.
    if (auto* grid = qobject_cast<QGridLayout*>(panel->widget()->layout())) {
        const QWidget* channel = handles().has("lblChannel") ? handles().get<QWidget>("lblChannel") : nullptr;
        auto* outer = qobject_cast<QGridLayout*>(sigGenPanelHost()->parentWidget()->layout());
        if (channel && outer) {
            int width = channel->sizeHint().width();
            for (const char* tag : {"lblFrequency", "lblAmplitude", "lblWaveformTitle"})
                width = std::max(width, panel->handles().get<QWidget>(tag)->sizeHint().width());
            grid->setColumnMinimumWidth(0, width);
            outer->setColumnMinimumWidth(0, width);
            grid->setHorizontalSpacing(outer->horizontalSpacing());
        }
    }
    // A new carrier moves the channel read-out too.
    panel->setFrequencyCallback([this] { bt_GUI("txtFrequency_Callback"); });
    panel->setEditedCallback([this] {
        if (frame()) frame()->redrawAppTitle();
    });
}

}  // namespace bt::gui
