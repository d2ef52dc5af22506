// The signal-generator panel inside the main window (loaded into
// sigGenPanelHost(), its routines registered in sigGenPanel()) and its
// advanced dialog, figureList["AdvSettings"].
#include "bluetooth/gui/main_window.h"

namespace bt::gui {

void MainWindow::initSigGenWindows() {}

}  // namespace bt::gui
