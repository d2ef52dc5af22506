#include "ui/gui/instrument_actions.h"

#include "instrument/download.h"
#include "instrument/download_play.h"
#include "ui/gui/common_frame.h"

namespace bt::gui {

InstrumentOutcome runDownload(QWidget*, const ComplexRow& waveform, const Markers& markers,
                              const SigGenSettings& settings, const Configuration& config, char platform) {
    const BusyPointer busy;
    InstrumentOutcome out;
    out.download = IXODownLoadWrap(waveform, markers, settings.Title, config);
    if (out.download.ok()) out.play = refreshSettings(settings, config, platform);
    return out;
}

HwResult runRefresh(QWidget*, const SigGenSettings& settings, const Configuration& config, char platform) {
    const BusyPointer busy;
    return refreshSettings(settings, config, platform);
}

}  // namespace bt::gui
