#pragma once
// Receiving from a radio: a reader thread takes the device's samples as
// they come and hands them, converted to complex float with full scale 1,
// to a consumer on the calling thread (a file, the receiver). Overflows are
// counted with the place where samples were lost; a device that stops
// answering ends the capture with what was received so far.
#include <atomic>
#include <complex>
#include <cstdint>
#include <functional>
#include <vector>

#include "radio/radio.h"
#include "radio/transmit.h"

namespace bt::radio {

struct CaptureRequest {
    double rate = 4e6;  // Hz; the nearest rate the radio offers is used
    RadioTuning tuning;
    double seconds = 0;  // 0: until stopped
    const std::atomic<bool>* stop = nullptr;
    // Called about twice a second from the calling thread.
    std::function<void(std::uint64_t samples, std::uint64_t overflows)> progress;
};

struct CaptureReport {
    RadioResult result;
    double rate = 0;  // the rate the radio ran at
    std::uint64_t samples = 0;
    std::uint64_t overflows = 0;
    std::vector<std::uint64_t> gaps;  // sample index after each loss
    bool stopped = false;
};

// `consume` gets each block in order; returning false ends the capture (a
// file that cannot be written). `prepared` is called once the radio runs
// at its rate, before the first block.
using SampleConsumer = std::function<bool(const std::complex<float>* samples, std::size_t count)>;
CaptureReport capture(Radio& radio, const CaptureRequest& request, const SampleConsumer& consume,
                      const std::function<void(double rate)>& prepared = {});

}  // namespace bt::radio
