// The clock/gate delay calibration window, figureList["CalibrateDelay"].
#include "bluetooth/gui/main_window.h"

#include "lib/library.h"

namespace bt::gui {

void MainWindow::initCalibrateDelayWindow() {}

void MainWindow::openCalibrateDelayWindow(double keptDelay) {
    showPlaceholder("The clock/gate delay calibration window");
    appState().parameters.CGdelay = keptDelay;
}

}  // namespace bt::gui
