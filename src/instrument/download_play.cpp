#include "instrument/download_play.h"

#include "instrument/download.h"

namespace bt {

HwResult refreshSettings(const SigGenSettings& settings, const Configuration& config, char platform) {
    return platform == 'c' ? IXOPlay_c(settings.Title, settings, config) : IXOPlay(settings.Title, settings, config);
}

HwResult downloadAndPlay(const ComplexRow& waveform, const Markers& markers, const SigGenSettings& settings,
                         const Configuration& config, char platform, const TransferProgress& progress) {
    HwResult r = IXODownLoadWrap(waveform, markers, settings.Title, config, 0, progress);
    if (!r.ok()) return r;
    return refreshSettings(settings, config, platform);
}

}  // namespace bt
