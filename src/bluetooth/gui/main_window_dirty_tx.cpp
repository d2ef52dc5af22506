// The dirty-transmitter window, figureList["DirtyTransmitter"], and its
// event-marker window, figureList["bt_DT_EventMarkers"].
#include "bluetooth/gui/main_window.h"

namespace bt::gui {

void MainWindow::initDirtyTransmitterWindows() {}

void MainWindow::pbDirtyTransmitter_Callback() { showPlaceholder("The dirty transmitter window"); }

}  // namespace bt::gui
