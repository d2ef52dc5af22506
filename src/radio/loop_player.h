#pragma once
// A waveform looping on a radio in the background, for a window: Download
// starts it (replacing what played), Refresh retunes carrier and gain while
// it plays, and the window asks now and then whether the stream ended on
// its own (a device that went away). The streaming itself is play()'s.
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "lib/types.h"
#include "radio/radio.h"
#include "radio/transmit.h"

namespace bt::radio {

class LoopPlayer {
public:
    LoopPlayer();
    ~LoopPlayer();
    LoopPlayer(const LoopPlayer&) = delete;
    LoopPlayer& operator=(const LoopPlayer&) = delete;

    // Stops what plays, opens the radio of `args` (kept open while the
    // arguments stay the same), tunes it and starts looping `waveform`
    // (at `rate` Hz) until stop(). An error from opening or tuning comes
    // back here; one from the stream, through ended().
    RadioResult start(const std::string& args, std::shared_ptr<const ComplexRow> waveform, double rate,
                      const RadioTuning& tuning);
    // Moves the playing carrier and, when given, the overall gain.
    RadioResult retune(double frequency, std::optional<double> gain);
    void stop();
    bool playing() const;
    // The report of a loop that ended without stop(), once.
    std::optional<PlayReport> ended();
    // The radio when it is open with `args` (for questions while it plays),
    // else null.
    const Radio* radioOf(const std::string& args) const;
    // The transmit carrier the radio reports.
    double frequency() const;
    double gain() const;

private:
    void join();

    Radio radio_;
    std::string args_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
    mutable std::mutex mutex_;
    std::optional<PlayReport> ended_;
    std::optional<std::pair<double, std::optional<double>>> retuned_;
};

}  // namespace bt::radio
