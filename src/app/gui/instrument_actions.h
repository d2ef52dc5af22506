#pragma once
// Download and Refresh as the frame runs them: the instrument calls of the
// core on a worker thread, with the busy pointer and an application-modal
// progress window while they last (the windows keep repainting; nothing can
// change the waveform or the settings meanwhile).
#include <QWidget>

#include "bluetooth/settings.h"
#include "instrument/transport.h"
#include "lib/types.h"

namespace bt::gui {

struct InstrumentOutcome {
    HwResult download;
    HwResult play;  // not run (status 0, empty) when the download failed
};

// The download and, when it succeeded, playback of the settings. The
// progress window has a Cancel button; a cancelled transfer gives download
// io_status::kCancelled "Download cancelled" and starts no playback (the
// instrument keeps, and plays as before, what it held).
InstrumentOutcome runDownload(QWidget* parent, const ComplexRow& waveform, const Markers& markers,
                              const SigGenSettings& settings, const Configuration& config, char platform);

// Sends only the settings and starts playback (not cancellable: half the
// settings would leave the instrument in neither state).
HwResult runRefresh(QWidget* parent, const SigGenSettings& settings, const Configuration& config, char platform);

}  // namespace bt::gui
