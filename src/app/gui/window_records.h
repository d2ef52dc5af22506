#pragma once
// The application records each secondary window works on.
#include "app/app_state.h"
#include "bluetooth/gui/dirty_transmitter_window.h"

namespace bt::gui {

inline DtWindowRecords dtWindowRecords(AppState& s) {
    return {s.dirtyTx, s.parameters, s.configuration, s.SigGenSettings, s.appInfo};
}

}  // namespace bt::gui
