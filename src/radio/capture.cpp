#include "radio/capture.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace bt::radio {

namespace {

constexpr long kReadTimeoutUs = 100000;
constexpr int kMaxTimeouts = 20;  // 2 s without a sample
constexpr double kQueueSeconds = 2;  // what the reader may run ahead of the consumer

struct Block {
    std::vector<std::complex<float>> samples;
    bool gapBefore = false;
};

}  // namespace

CaptureReport capture(Radio& radio, const CaptureRequest& request, const SampleConsumer& consume,
                      const std::function<void(double rate)>& prepared) {
    CaptureReport report;
    if (!(request.rate > 0) || !std::isfinite(request.rate) || !(request.seconds >= 0) ||
        !std::isfinite(request.seconds)) {
        report.result = {radio_status::kBadInput, "The sample rate and duration must be positive numbers."};
        return report;
    }
    report.rate = radio.nearestSampleRate(Direction::Rx, request.rate);
    if (RadioResult r = radio.setSampleRate(Direction::Rx, report.rate); !r.ok()) {
        report.result = r;
        return report;
    }
    if (RadioResult r = tune(radio, Direction::Rx, request.tuning); !r.ok()) {
        report.result = r;
        return report;
    }
    double fullScale = 1;
    const StreamFormat format = radio.nativeFormat(Direction::Rx, fullScale);
    if (RadioResult r = radio.startStream(Direction::Rx, format); !r.ok()) {
        report.result = r;
        return report;
    }
    if (prepared) prepared(report.rate);

    const std::uint64_t wanted =
        request.seconds > 0 ? static_cast<std::uint64_t>(std::llround(request.seconds * report.rate)) : 0;
    const std::size_t mtu = radio.streamMtu(Direction::Rx);
    const auto queueLimit = static_cast<std::size_t>(kQueueSeconds * report.rate / double(mtu)) + 2;

    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Block> queue;
    bool readerDone = false;
    std::atomic<bool> consumerDone{false};
    RadioResult readerResult;
    std::uint64_t overflows = 0;
    bool stopped = false;

    std::thread reader([&] {
        std::vector<std::int16_t> raw16(format == StreamFormat::Cs16 ? 2 * mtu : 0);
        std::uint64_t got = 0;
        int timeouts = 0;
        bool gap = false;
        while (wanted == 0 || got < wanted) {
            if (consumerDone) break;
            if (request.stop && request.stop->load()) {
                stopped = true;
                break;
            }
            const std::size_t ask = wanted ? static_cast<std::size_t>(std::min<std::uint64_t>(mtu, wanted - got)) : mtu;
            Block b;
            b.samples.resize(ask);
            const int rc = format == StreamFormat::Cs16 ? radio.readSamples(raw16.data(), ask, kReadTimeoutUs)
                                                        : radio.readSamples(b.samples.data(), ask, kReadTimeoutUs);
            if (rc > 0) {
                timeouts = 0;
                b.samples.resize(std::size_t(rc));
                if (format == StreamFormat::Cs16) {
                    const float s = static_cast<float>(1 / fullScale);
                    for (std::size_t k = 0; k < std::size_t(rc); ++k)
                        b.samples[k] = {float(raw16[2 * k]) * s, float(raw16[2 * k + 1]) * s};
                }
                got += std::uint64_t(rc);
                b.gapBefore = gap;
                gap = false;
                std::lock_guard lock(mutex);
                if (queue.size() >= queueLimit) {
                    // The consumer fell behind: this block is lost; a run of
                    // lost blocks is one overflow.
                    if (!gap) ++overflows;
                    gap = true;
                    got -= std::uint64_t(rc);
                    continue;
                }
                queue.push_back(std::move(b));
                ready.notify_one();
            } else if (rc == stream_code::kOverflow) {
                std::lock_guard lock(mutex);
                ++overflows;
                gap = true;
            } else if (rc == stream_code::kTimeout || rc == 0) {
                if (++timeouts > kMaxTimeouts) {
                    readerResult = {radio_status::kStreamError, "The radio sent no samples for 2 s."};
                    break;
                }
            } else {
                readerResult = {radio_status::kStreamError, "The radio stopped receiving: " + streamCodeText(rc)};
                break;
            }
        }
        std::lock_guard lock(mutex);
        readerDone = true;
        ready.notify_one();
    });

    using Clock = std::chrono::steady_clock;
    auto lastProgress = Clock::now();
    for (;;) {
        Block b;
        {
            std::unique_lock lock(mutex);
            ready.wait_for(lock, std::chrono::milliseconds(100), [&] { return !queue.empty() || readerDone; });
            if (queue.empty()) {
                if (readerDone) break;
            } else {
                b = std::move(queue.front());
                queue.pop_front();
            }
        }
        try {
            if (!b.samples.empty() && !consumerDone) {
                if (b.gapBefore) report.gaps.push_back(report.samples);
                if (!consume(b.samples.data(), b.samples.size())) consumerDone = true;
                else report.samples += b.samples.size();
            }
            if (request.progress && Clock::now() - lastProgress > std::chrono::milliseconds(500)) {
                lastProgress = Clock::now();
                std::uint64_t o;
                {
                    std::lock_guard lock(mutex);
                    o = overflows;
                }
                request.progress(report.samples, o);
            }
        } catch (...) {
            // The reader must stop before the error leaves.
            consumerDone = true;
            reader.join();
            radio.stopStream(Direction::Rx);
            throw;
        }
    }
    reader.join();
    radio.stopStream(Direction::Rx);
    report.overflows = overflows;
    report.stopped = stopped;
    report.result = readerResult;
    if (consumerDone && report.result.ok())
        report.result = {radio_status::kBadInput, "The received samples could not be kept."};
    return report;
}

}  // namespace bt::radio
