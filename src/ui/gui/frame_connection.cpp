// Configuration > Sig Gen I/O: the instrument connection dialog; on "OK"
// its record replaces appState().configuration.
#include "ui/gui/common_frame.h"

namespace bt::gui {

void CommonFrame::menuConfigSigGenIO_Callback() { showPlaceholder("The instrument connection window"); }

}  // namespace bt::gui
