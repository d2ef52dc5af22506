#pragma once
// The whole path from a finished waveform to a playing instrument, as the
// Download and Refresh actions run it (windows and command line alike).
#include "instrument/instrument_settings.h"
#include "instrument/transport.h"
#include "lib/types.h"

namespace bt {

// Downloads waveform and markers under settings.Title and, when that
// succeeded, sends the settings and starts playback (IXOPlay_c for platform
// 'c', IXOPlay otherwise).
HwResult downloadAndPlay(const ComplexRow& waveform, const Markers& markers, const SigGenSettings& settings,
                         const Configuration& config, char platform);

// Sends only the settings and starts playback of what the instrument holds.
HwResult refreshSettings(const SigGenSettings& settings, const Configuration& config, char platform);

}  // namespace bt
