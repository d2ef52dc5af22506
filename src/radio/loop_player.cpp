#include "radio/loop_player.h"

#include <utility>

namespace bt::radio {

LoopPlayer::LoopPlayer() = default;

LoopPlayer::~LoopPlayer() { stop(); }

void LoopPlayer::join() {
    if (thread_.joinable()) thread_.join();
}

void LoopPlayer::stop() {
    stop_ = true;
    join();
    running_ = false;
}

RadioResult LoopPlayer::start(const std::string& args, std::shared_ptr<const ComplexRow> waveform, double rate,
                              const RadioTuning& tuning) {
    stop();
    {
        std::lock_guard lock(mutex_);
        ended_.reset();
        retuned_.reset();
    }
    if (!waveform || waveform->empty()) return {radio_status::kBadInput, "There is no waveform to play."};
    if (!radio_.isOpen() || args != args_) {
        radio_.close();
        args_.clear();
        if (RadioResult r = radio_.open(args); !r.ok()) return r;
        args_ = args;
    }
    // Settings the radio refuses are said now, not from the thread.
    if (RadioResult r = tune(radio_, Direction::Tx, tuning); !r.ok()) return r;
    stop_ = false;
    running_ = true;
    PlayRequest request;
    request.waveformRate = rate;
    request.tuning = tuning;
    request.repeat = 0;
    request.stop = &stop_;
    // play() tunes before it streams: a retune that came in between is
    // applied again once the stream runs.
    request.progress = [this, applied = false](double, std::uint64_t) mutable {
        if (applied) return;
        applied = true;
        std::lock_guard lock(mutex_);
        if (retuned_) {
            radio_.setFrequency(Direction::Tx, retuned_->first);
            if (retuned_->second) radio_.setGain(Direction::Tx, *retuned_->second);
        }
    };
    thread_ = std::thread([this, waveform = std::move(waveform), request] {
        PlayReport report = play(radio_, *waveform, request);
        if (!report.stopped || !report.result.ok()) {
            std::lock_guard lock(mutex_);
            ended_ = std::move(report);
        }
        running_ = false;
    });
    return {};
}

RadioResult LoopPlayer::retune(double frequency, std::optional<double> gain) {
    if (!radio_.isOpen()) return {radio_status::kBadInput, "No radio is playing."};
    std::lock_guard lock(mutex_);
    retuned_ = {frequency, gain};
    if (RadioResult r = radio_.setFrequency(Direction::Tx, frequency); !r.ok()) return r;
    if (gain)
        if (RadioResult r = radio_.setGain(Direction::Tx, *gain); !r.ok()) return r;
    return {};
}

bool LoopPlayer::playing() const { return running_; }

const Radio* LoopPlayer::radioOf(const std::string& args) const {
    return radio_.isOpen() && args == args_ ? &radio_ : nullptr;
}

std::optional<PlayReport> LoopPlayer::ended() {
    std::lock_guard lock(mutex_);
    return std::exchange(ended_, std::nullopt);
}

double LoopPlayer::frequency() const { return radio_.isOpen() ? radio_.frequency(Direction::Tx) : 0; }

double LoopPlayer::gain() const { return radio_.isOpen() ? radio_.gain(Direction::Tx) : 0; }

}  // namespace bt::radio
