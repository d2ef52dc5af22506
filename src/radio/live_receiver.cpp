#include "radio/live_receiver.h"

#include <algorithm>
#include <cmath>

#include "lib/errors.h"

namespace bt::radio {

namespace {
constexpr double kLongestPacketSeconds = 2964e-6;  // DH5 with its preamble and trailer, and margin
constexpr double kLeadSeconds = 100e-6;            // what the receiver sees before a packet it owns
}  // namespace

LiveReceiver::LiveReceiver(double sampleRate, const analysis::ReceiverOptions& options, PacketHandler onPacket,
                           double windowSeconds)
    : rate_(sampleRate), options_(options), onPacket_(std::move(onPacket)) {
    if (!std::isfinite(sampleRate) || sampleRate < 2e6 || sampleRate > 200e6)
        throw Error("The sample rate must be 2 to 200 MHz for the receiver.");
    options_.cyclic = false;
    overlap_ = static_cast<std::size_t>(std::ceil(kLongestPacketSeconds * rate_));
    lead_ = static_cast<std::size_t>(std::ceil(kLeadSeconds * rate_));
    window_ = static_cast<std::size_t>(windowSeconds * rate_) + overlap_ + lead_;
    // A window in a few blocks, so the receiver spreads it over the cores.
    options_.blockSamples = std::max<std::size_t>(window_ / 4, 1);
    total_.sampleRate = rate_;
}

void LiveReceiver::push(const std::complex<float>* samples, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) buffer_.emplace_back(samples[k].real(), samples[k].imag());
    total_.samples += count;
    if (buffer_.size() >= window_) run(false);
}

void LiveReceiver::finish() {
    if (!buffer_.empty()) run(true);
    buffer_.clear();
}

void LiveReceiver::run(bool last) {
    if (buffer_.size() < 2) return;
    // The part of the window where a packet can start and still end inside it.
    const std::uint64_t end = base_ + buffer_.size();
    const std::uint64_t settledEnd = last ? end + 1 : end - overlap_;
    analysis::Reception r = analysis::receive(buffer_.data(), buffer_.size(), rate_, options_);
    bool found = false;
    for (analysis::ReceivedPacket& p : r.packets) {
        const std::uint64_t start = base_ + p.startSample;
        if (start < settled_ || start >= settledEnd) continue;
        p.startSample = static_cast<std::size_t>(start);
        p.startTime = double(start) / rate_;
        total_.packets.push_back(std::move(p));
        found = true;
        if (onPacket_) onPacket_(total_.packets.size(), total_.packets.back());
    }
    if (found) total_.summary = analysis::summariseAll({&total_});
    settled_ = settledEnd;
    if (last) return;
    // Keep the unsettled tail and a little before it.
    const std::uint64_t keepFrom = settled_ > lead_ ? settled_ - lead_ : 0;
    const std::size_t drop = static_cast<std::size_t>(keepFrom - base_);
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(drop));
    base_ = keepFrom;
}

}  // namespace bt::radio
