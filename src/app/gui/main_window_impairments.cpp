// The impairment window, figureList["Impairments"]: on "OK" its record
// replaces parameters.impairments, the sample rate follows, then redraw().
#include "bluetooth/gui/impairments_window.h"
#include "app/gui/main_window.h"
#include "bluetooth/impairment_editor.h"
#include "app/app_state.h"

namespace bt::gui {

void MainWindow::initImpairmentsWindow() {
    auto* impairments = new ImpairmentsWindow(parentWidget());
    figureList["Impairments"] = impairments->window();
}

void MainWindow::pbImpairments_Callback() {
    ImpairmentsWindow* impairments = ImpairmentsWindow::of(figureList.value("Impairments"));
    if (!impairments) return;
    AppState& s = appState();
    const ImpairmentsAnswer a = impairments->open(s.parameters.impairments);
    if (a.answer != "OK") return;
    acceptImpairments(s.parameters, s.SigGenSettings, a.impairments);
    redraw();
}

}  // namespace bt::gui
