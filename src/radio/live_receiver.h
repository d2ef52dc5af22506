#pragma once
// The receiver fed as samples arrive from a radio: samples gather into a
// window; each time a window's worth is there, the receiver runs over it
// and the packets that start in its settled part are handed on, numbered
// and timed from the first sample of the stream. The window keeps the
// longest packet's length behind, so a packet cut by one window is found
// whole by the next.
#include <complex>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "analysis/receiver.h"
#include "lib/types.h"

namespace bt::radio {

class LiveReceiver {
public:
    using PacketHandler = std::function<void(std::size_t number, const analysis::ReceivedPacket& packet)>;
    // Throws bt::Error for a rate the receiver cannot use.
    LiveReceiver(double sampleRate, const analysis::ReceiverOptions& options, PacketHandler onPacket,
                 double windowSeconds = 0.25);

    void push(const std::complex<float>* samples, std::size_t count);
    // Receives what is left (at the end of the stream).
    void finish();
    // Every packet so far, with the summary over them.
    const analysis::Reception& reception() const { return total_; }

private:
    void run(bool last);

    double rate_;
    analysis::ReceiverOptions options_;
    PacketHandler onPacket_;
    std::size_t window_, overlap_, lead_;
    std::vector<Complex> buffer_;
    std::uint64_t base_ = 0;   // stream index of buffer_[0]
    std::uint64_t settled_ = 0;  // packets that start before this were reported
    analysis::Reception total_;
};

}  // namespace bt::radio
