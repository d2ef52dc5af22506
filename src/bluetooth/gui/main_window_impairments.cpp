// The impairment window, figureList["Impairments"]: on "OK" its record
// replaces parameters.impairments, the sample rate follows, then redraw().
#include "bluetooth/gui/main_window.h"

namespace bt::gui {

void MainWindow::initImpairmentsWindow() {}

void MainWindow::pbImpairments_Callback() { showPlaceholder("The impairments window"); }

}  // namespace bt::gui
