// The signal-generator panel inside the main window (loaded into
// sigGenPanelHost(), its routines registered in sigGenPanel()) and its
// advanced dialog, figureList["AdvSettings"].
#include "bluetooth/gui/main_window.h"
#include "instrument/gui/siggen_advanced_dialog.h"
#include "instrument/gui/siggen_panel.h"
#include "lib/library.h"

namespace bt::gui {

void MainWindow::initSigGenWindows() {
    auto* advanced = new SigGenAdvancedDialog(parentWidget(), appState().appInfo.Platform);
    figureList["AdvSettings"] = advanced->window();
    auto* panel = new SigGenPanel(
        sigGenPanelHost(), []() -> SigGenSettings& { return appState().SigGenSettings; }, advanced);
    panel->addRoutinesTo(sigGenPanel());
    // A new carrier moves the channel read-out too.
    panel->setFrequencyCallback([this] { bt_GUI("txtFrequency_Callback"); });
    panel->setEditedCallback([this] {
        if (frame()) frame()->redrawAppTitle();
    });
}

}  // namespace bt::gui
