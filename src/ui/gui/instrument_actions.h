#pragma once
// Download and Refresh as the frame runs them: the instrument calls of the
// core, with the busy pointer and a progress window while they last.
#include <QWidget>

#include "bluetooth/settings.h"
#include "instrument/transport.h"
#include "lib/types.h"

namespace bt::gui {

struct InstrumentOutcome {
    HwResult download;
    HwResult play;  // not run (status 0, empty) when the download failed
};

// The download and, when it succeeded, playback of the settings.
InstrumentOutcome runDownload(QWidget* parent, const ComplexRow& waveform, const Markers& markers,
                              const SigGenSettings& settings, const Configuration& config, char platform);

// Sends only the settings and starts playback.
HwResult runRefresh(QWidget* parent, const SigGenSettings& settings, const Configuration& config, char platform);

}  // namespace bt::gui
