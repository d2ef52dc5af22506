#pragma once
// Moving a finished waveform into the instrument and playing it.
//
// Every step is attempted even after a failure (the instrument is left as
// consistent as it can be), but the first failure is what the caller gets:
// a failed transfer followed by a successful later step is never reported
// as success.
#include <functional>
#include <string>
#include <vector>

#include "instrument/hwio.h"
#include "instrument/instrument_settings.h"
#include "instrument/transport.h"
#include "lib/types.h"

namespace bt {

// Stores waveform and markers under `Filename` in the instrument's volatile
// memory, with the waveform player stopped during the transfer and restored
// afterwards. Over RS-232 a transfer estimated above 0.75 minutes is first
// put to the user through the dialog service; any answer but "OK" returns
// -1 "Download cancelled". `num_wfm_segments` (0 counts as 1; negative: no
// estimate) only scales the estimate.
//
// `progress` (optional) follows the transfer and may cancel it between
// pieces: the result is then io_status::kCancelled (-1) "Download
// cancelled", the instrument keeps what it held under `Filename` before,
// and its player is restored as for any other ending (the previous
// waveform plays again when it was playing).
HwResult IXODownLoadWrap(const ComplexRow& IQData, const Markers& Marker, const std::string& Filename,
                         const Configuration& config, double num_wfm_segments = 0,
                         const TransferProgress& progress = {});

// Selects the stored waveform, sends the settings and starts playback on an
// IXO-B (IXOPlay) or IXO-C (IXOPlay_c) instrument, then returns the
// instrument to local control.
HwResult IXOPlay(const std::string& FileName, const SigGenSettings& setting, const Configuration& config);
HwResult IXOPlay_c(const std::string& FileName, const SigGenSettings& setting, const Configuration& config);

// The RS-232 transfer estimate in minutes.
double rs232DownloadMinutes(std::size_t samples, double baudrate, double segments);

// Collects the results of a series of steps: the first failure wins, and
// with none the last step's result stands.
class StepResult {
public:
    void add(const HwResult& r) {
        if (result_.ok()) result_ = r;
    }
    const HwResult& result() const { return result_; }

private:
    HwResult result_;
};

// Builds a command list and sends every command in order (none skipped
// after a failure), then returns the instrument to local control. A list
// that cannot be built (a setting outside its choices) sends nothing.
HwResult sendAllThenLocal(const std::function<std::vector<std::string>()>& build, const Configuration& config);

}  // namespace bt
