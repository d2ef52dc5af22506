// A software-defined radio in the instrument's place: Download loops the
// calculated waveform on it, Refresh retunes carrier and gain, and a loop
// that ends on its own (the radio unplugged) is reported once.
#include <memory>

#include "app/app_state.h"
#include "app/frame_logic.h"
#include "app/gui/common_frame.h"
#include "instrument/gui/connection_dialog.h"
#include "lib/dialogs.h"
#include "radio/loop_player.h"
#include "radio/radio_output.h"

namespace bt::gui {

radio::LoopPlayer& CommonFrame::radioPlayer() {
    if (!radio_) radio_ = std::make_unique<radio::LoopPlayer>();
    return *radio_;
}

bool CommonFrame::radioPlaying() const { return radio_ && radio_->playing(); }

void CommonFrame::stopRadio() {
    radioWatch_.stop();
    if (!radio_ || !radio_->playing()) return;
    radio_->stop();
    // What played was the last download; the status line must not claim it still does.
    lastDownload_.reset();
    redrawWaveformStatus();
}

RadioSource CommonFrame::radioSource() {
    radio::LoopPlayer& player = radioPlayer();
    RadioSource source;
    source.devices = [](const Configuration::Sdr& current) { return radio::radioChoices(current); };
    source.antennas = [&player](const std::string& args) { return radio::radioAntennas(player, args); };
    source.check = [&player](const Configuration::Sdr& r) { return radio::radioCheck(player, r); };
    return source;
}

void CommonFrame::radioDownload() {
    const AppState& s = appState();
    HwResult r;
    {
        const BusyPointer busy;
        // The loop reads the waveform where it lies: no copy of up to
        // hundreds of megabytes. stopRadio() ends it before a calculation
        // replaces the waveform.
        const std::shared_ptr<const ComplexRow> waveform(std::shared_ptr<const ComplexRow>(), &s.waveform);
        r = radio::radioDownload(radioPlayer(), s.configuration.SDR, waveform, s.SigGenSettings);
    }
    if (r.ok()) {
        lastDownload_ = DownloadRecord{s.appInfo.LastCalcTimeStamp, connectionText(s.configuration), s.SigGenSettings.Title};
        radioWatch_.start();
    } else {
        lastDownload_.reset();
    }
    redrawWaveformStatus();
    const FrameMessage m = radioDownloadMessage(r);
    if (m.error)
        dialogs().error(m.text, m.title);
    else
        dialogs().message(m.text, m.title);
}

void CommonFrame::radioRefresh() {
    const AppState& s = appState();
    HwResult r;
    {
        const BusyPointer busy;
        r = radio::radioRefresh(radioPlayer(), s.configuration.SDR, s.SigGenSettings);
    }
    const FrameMessage m = refreshMessage(r);
    if (!m.title.empty()) dialogs().error(m.text, m.title);
}

void CommonFrame::watchRadio() {
    if (!radio_) return radioWatch_.stop();
    // Asked in this order: a loop that ends on its own leaves its report
    // before it stops counting as playing.
    const bool playing = radio_->playing();
    const std::optional<HwResult> ended = radio::radioEnded(*radio_);
    if (!ended) {
        if (!playing) radioWatch_.stop();
        return;
    }
    radioWatch_.stop();
    lastDownload_.reset();
    redrawWaveformStatus();
    const FrameMessage m = radioStoppedMessage(*ended);
    dialogs().error(m.text, m.title);
}

}  // namespace bt::gui
