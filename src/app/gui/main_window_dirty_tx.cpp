// The dirty-transmitter window, figureList["DirtyTransmitter"], and its
// event-marker window, figureList["bt_DT_EventMarkers"].
#include "bluetooth/gui/dirty_transmitter_window.h"
#include "bluetooth/gui/dt_event_markers_window.h"
#include "app/gui/main_window.h"
#include "app/gui/window_records.h"

namespace bt::gui {

void MainWindow::initDirtyTransmitterWindows() {
    auto* dt = new DirtyTransmitterWindow(dtWindowRecords(appState()), parentWidget());
    figureList["DirtyTransmitter"] = dt->window();
    figureList["bt_DT_EventMarkers"] = dt->eventMarkers()->window();
}

// Opens the window on the dirty-transmitter state kept in `parameters`;
// its Exit writes the state back there.
void MainWindow::pbDirtyTransmitter_Callback() {
    if (DirtyTransmitterWindow* dt = DirtyTransmitterWindow::of(figureList.value("DirtyTransmitter"))) dt->open();
}

}  // namespace bt::gui
