#pragma once
// The whole path from a finished waveform to a playing instrument, as the
// Download and Refresh actions run it (windows and command line alike).
#include "instrument/hwio.h"
#include "instrument/instrument_settings.h"
#include "instrument/transport.h"
#include "lib/types.h"

namespace bt {

// Downloads waveform and markers under settings.Title and, when that
// succeeded, sends the settings and starts playback (IXOPlay_c for platform
// 'c', IXOPlay otherwise). A transfer cancelled through `progress` returns
// io_status::kCancelled and starts no playback (see IXODownLoadWrap).
HwResult downloadAndPlay(const ComplexRow& waveform, const Markers& markers, const SigGenSettings& settings,
                         const Configuration& config, char platform, const TransferProgress& progress = {});

// Sends only the settings and starts playback of what the instrument holds.
HwResult refreshSettings(const SigGenSettings& settings, const Configuration& config, char platform);

}  // namespace bt
