#include "bluetooth/dirty_tx_download.h"

#include "instrument/connection_editor.h"
#include "instrument/download.h"
#include "instrument/hw_wrappers.h"
#include "instrument/sequence.h"
#include "lib/numtext.h"

namespace bt {

namespace {

// io_error: failures are counted, never summed, so codes of either sign
// cannot cancel out, and the first one is what the user is told.
class IoErrors {
public:
    explicit IoErrors(const Configuration& config) : config_(config) {}

    void add(const HwResult& r) {
        if (r.ok()) return;
        ++count_;
        if (first_.ok()) first_ = r;
    }
    // ioCmdCheck: waits for the instrument to finish the last command.
    void check() { add(HwQuery(config_, "*OPC?")); }
    void send(const std::string& command) {
        add(HwSend(config_, command));
        check();
    }
    bool ok() const { return count_ == 0; }
    int count() const { return count_; }
    const HwResult& first() const { return first_; }

private:
    const Configuration& config_;
    int count_ = 0;
    HwResult first_;
};

void finish(DtDownloadOutcome& out, const IoErrors& io, std::string success) {
    out.ioErrors = io.count();
    out.result = io.ok() ? HwResult{0, std::move(success)} : io.first();
}

}  // namespace

double dtTriggerDelay(const DirtyTxState& s) {
    const double frameUs = 625.0 * static_cast<double>(dtSegmentLayout(s.dtPacketType, false, false, 1).frameSlots);
    return 1.5 * frameUs + s.dtQ7395.SlotSyncDelay - s.dtParameters.burstSettle - s.dtParameters.burstLength;
}

std::vector<std::string> dtTriggerCommands(const DirtyTxState& s, char platform) {
    if (s.dtQ7395.enable == 0) return {":SOUR:RAD:ARB:TRIG:TYPE CONT", ":SOUR:RAD:ARB:TRIG:SOUR:EXT:DEL:STAT OFF"};
    std::vector<std::string> c = {":SOUR:RAD:ARB:RETRigger ON"};
    if (platform == 'c') c.push_back(":SOUR:RAD:ARB:TRIG:SOUR:EXT EPT1");
    c.push_back(":SOUR:RAD:ARB:TRIG:SOUR EXT");
    c.push_back(":SOUR:RAD:ARB:TRIG:SOUR:EXT:DEL " + formatNumber(dtTriggerDelay(s)) + " us");
    c.push_back(":SOUR:RAD:ARB:TRIG:SOUR:EXT:DEL:STAT ON");
    c.push_back(":SOUR:RAD:ARB:TRIG:TYPE SING");
    return c;
}

SigGenSettings dtCombinedSigGen(const SigGenSettings& mainSigGen, const DtSigGenSettings& dt) {
    SigGenSettings c = mainSigGen;
    c.SamplingRate = dt.SamplingRate;
    c.Title = dt.Title;
    c.RFblanking = dt.RFblanking;
    c.MarkerPolarity = dt.MarkerPolarity;
    c.Amplitude = dt.Amplitude;
    c.Frequency = dt.Frequency;
    return c;
}

DtDownloadOutcome dtDownload(DirtyTxState& s, const Configuration& config, const SigGenSettings& mainSigGen,
                             char platform, const DtGenerator& generate, const DtProgress& progress) {
    DtDownloadOutcome out;
    // Said before anything is calculated or marked as sent.
    if (std::string why = instrumentOnlyRefusal(config, "The dirty-transmitter test"); !why.empty()) {
        out.result = {io_status::kArgument, std::move(why)};
        return out;
    }
    IoErrors io(config);
    const DtSigGenSettings& sg = s.dtSigGenSettings;

    if (s.dtCalcNeeded == 2) {
        s.dtCalcNeeded = 0;
        out.rfOnly = true;
        io.send(":source:freq:fix " + formatNumber(sg.Frequency) + "Hz");
        io.send(":source:power:level:immediate:amplitude " + formatNumber(sg.Amplitude) + "dbm");
        HwReturnLocal(config);
        finish(out, io, "Frequency and power sent");
        return out;
    }

    const std::size_t selected = dtSelectedCount(s.dtTestSelect);
    if (selected == 0) {
        out.result = {0, "No test set is selected: nothing was downloaded"};
        return out;
    }
    // Stored segments are reused only when they are there for every set.
    if ((s.dtCalcNeeded & 1) != 0 || s.dtWaveform.size() != kDtTestSets || s.dtMarkers.size() != kDtTestSets) {
        out.calculated = true;
        if (!dtCalculate(s, generate, progress)) {
            out.cancelled = true;
            out.result = {-1, "Download cancelled"};
            return out;
        }
    }

    std::vector<SequenceElement> sequence;
    double segments = static_cast<double>(selected);  // the transfer estimate counts them once
    for (std::size_t n = 0; n < kDtTestSets && io.ok(); ++n) {
        if (s.dtTestSelect[n] == 0) continue;
        if (progress && !progress({DtStage::Downloading, static_cast<int>(n) + 1, false})) {
            out.cancelled = true;
            out.result = {-1, "Download cancelled"};
            return out;
        }
        const std::string name = sg.Title + std::to_string(n + 1);
        io.add(IXODownLoadWrap(s.dtWaveform[n], s.dtMarkers[n], name, config, segments));
        io.check();
        segments = -1;
        // A segment the instrument did not take (refused, out of memory,
        // transfer cancelled) is not reported as finished.
        if (!io.ok()) break;
        sequence.push_back({name, static_cast<int>(s.dtRepetitions), 1, 1});
        if (progress) progress({DtStage::Downloading, static_cast<int>(n) + 1, true});
    }
    if (io.ok()) {
        io.add(IXOCreateWaveformSequence(sequence, sg.Title, config, platform));
        io.check();
    }
    if (io.ok()) {
        out.sequence = std::move(sequence);
        for (const std::string& c : dtTriggerCommands(s, platform)) io.send(c);
        io.add(IXOPlayWaveformSequence(sg.Title, dtCombinedSigGen(mainSigGen, sg), config, platform));
        io.check();
        HwReturnLocal(config);
    }
    finish(out, io, "Sequence \"" + sg.Title + "\" of " + std::to_string(selected) +
                        (selected == 1 ? " segment" : " segments") + " is playing");
    return out;
}

}  // namespace bt
