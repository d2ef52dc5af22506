// Configuration > Sig Gen I/O: the instrument connection dialog; on "OK"
// its record replaces appState().configuration.
#include "instrument/gui/connection_dialog.h"
#include "app/app_state.h"
#include "app/gui/common_frame.h"

namespace bt::gui {

void CommonFrame::menuConfigSigGenIO_Callback() {
    // Made once, on first use, and kept hidden between openings.
    ConnectionDialog* dialog = main()->findChild<ConnectionDialog*>(QString(), Qt::FindDirectChildrenOnly);
    if (!dialog) {
        dialog = new ConnectionDialog(main());
        dialog->setRadioSource(radioSource());
    }
    AppState& s = appState();
    const ConnectionAnswer a = dialog->open(s.configuration, std::string(1, s.appInfo.Platform));
    if (a.response != "OK") return;
    // A radio left looping could no longer be reached by Download or Refresh.
    if (a.config.type != s.configuration.type || a.config.SDR.args != s.configuration.SDR.args) stopRadio();
    s.configuration = a.config;
}

}  // namespace bt::gui
