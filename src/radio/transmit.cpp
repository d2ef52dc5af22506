#include "radio/transmit.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>

#include "lib/errors.h"
#include "radio/resampler.h"

namespace bt::radio {

namespace {

constexpr double kBackoff = 0.9;   // peak component relative to full scale
constexpr long kWriteTimeoutUs = 100000;
constexpr int kMaxTimeouts = 30;   // 3 s without the device taking a sample
constexpr double kHalfChannel = 1e6;  // Hz the signal needs either side of its carrier

// One loop of samples in the device's layout.
struct LoopBuffer {
    StreamFormat format = StreamFormat::Cf32;
    std::vector<std::int16_t> cs16;
    std::vector<float> cf32;
    std::size_t samples = 0;
    const void* at(std::size_t k) const {
        return format == StreamFormat::Cs16 ? static_cast<const void*>(cs16.data() + 2 * k)
                                            : static_cast<const void*>(cf32.data() + 2 * k);
    }
};

LoopBuffer convert(const ComplexRow& y, StreamFormat format, double fullScale) {
    double peak = 0;
    for (const Complex& v : y) peak = std::max({peak, std::abs(v.real()), std::abs(v.imag())});
    const double scale = peak > 0 ? kBackoff * fullScale / peak : 0;
    LoopBuffer b;
    b.format = format;
    b.samples = y.size();
    if (format == StreamFormat::Cs16) {
        b.cs16.resize(2 * y.size());
        for (std::size_t k = 0; k < y.size(); ++k) {
            b.cs16[2 * k] = static_cast<std::int16_t>(std::lround(y[k].real() * scale));
            b.cs16[2 * k + 1] = static_cast<std::int16_t>(std::lround(y[k].imag() * scale));
        }
    } else {
        b.cf32.resize(2 * y.size());
        for (std::size_t k = 0; k < y.size(); ++k) {
            b.cf32[2 * k] = static_cast<float>(y[k].real() * scale);
            b.cf32[2 * k + 1] = static_cast<float>(y[k].imag() * scale);
        }
    }
    return b;
}

}  // namespace

double loopCompatibleOffset(double offset, double rate, std::size_t loopSamples) {
    if (offset == 0 || loopSamples == 0) return offset;
    const double step = rate / double(loopSamples);
    return std::round(offset / step) * step;
}

RadioResult tune(Radio& radio, Direction d, const RadioTuning& t, double loOffset) {
    if (RadioResult r = radio.setFrequency(d, t.frequency + loOffset); !r.ok()) return r;
    if (t.gain)
        if (RadioResult r = radio.setGain(d, *t.gain); !r.ok()) return r;
    for (const auto& [element, db] : t.elementGains)
        if (RadioResult r = radio.setGain(d, element, db); !r.ok()) return r;
    if (!t.antenna.empty())
        if (RadioResult r = radio.setAntenna(d, t.antenna); !r.ok()) return r;
    if (t.bandwidth)
        if (RadioResult r = radio.setBandwidth(d, *t.bandwidth); !r.ok()) return r;
    return {};
}

PlayReport play(Radio& radio, const ComplexRow& waveform, const PlayRequest& request) {
    PlayReport report;
    PlayPlan& plan = report.plan;
    if (waveform.empty()) {
        report.result = {radio_status::kBadInput, "The waveform is empty."};
        return report;
    }
    if (!(request.waveformRate > 0) || !std::isfinite(request.loOffset)) {
        report.result = {radio_status::kBadInput, "The waveform's sample rate must be a positive number."};
        return report;
    }
    plan.deviceRate = radio.nearestSampleRate(Direction::Tx, request.waveformRate);
    if (!(plan.deviceRate > 0)) {
        report.result = {radio_status::kDeviceError, "The radio offers no transmit sample rate."};
        return report;
    }
    if (std::abs(request.loOffset) + kHalfChannel > plan.deviceRate / 2) {
        report.result = {radio_status::kBadInput,
                         "An LO offset of " + std::to_string(request.loOffset / 1e6) + " MHz leaves the channel " +
                             "outside the radio's band at " + std::to_string(plan.deviceRate / 1e6) +
                             " MHz: the offset and 1 MHz must fit in half the sample rate."};
        return report;
    }

    // Everything that costs time happens here, before the stream starts.
    ComplexRow y;
    try {
        const PolyphaseResampler resampler(request.waveformRate, plan.deviceRate);
        plan.up = resampler.ratio().up;
        plan.down = resampler.ratio().down;
        plan.periods = resampler.periodsPerLoop(waveform.size());
        y = resampler.resampleLoop(waveform);
    } catch (const Error& e) {
        report.result = {radio_status::kBadInput, e.what()};
        return report;
    }
    plan.loopSamples = y.size();
    plan.loOffset = loopCompatibleOffset(request.loOffset, plan.deviceRate, y.size());
    if (plan.loOffset != 0) {
        // The radio sits at carrier + offset: the signal moves by -offset.
        const double step = -2 * std::numbers::pi * plan.loOffset / plan.deviceRate;
        for (std::size_t k = 0; k < y.size(); ++k) y[k] *= std::polar(1.0, std::fmod(step * double(k), 2 * std::numbers::pi));
    }
    double fullScale = 1;
    const StreamFormat format = radio.nativeFormat(Direction::Tx, fullScale);
    const LoopBuffer buffer = convert(y, format, fullScale);
    ComplexRow().swap(y);

    if (RadioResult r = radio.setSampleRate(Direction::Tx, plan.deviceRate); !r.ok()) {
        report.result = r;
        return report;
    }
    if (RadioResult r = tune(radio, Direction::Tx, request.tuning, plan.loOffset); !r.ok()) {
        report.result = r;
        return report;
    }
    if (RadioResult r = radio.startStream(Direction::Tx, format); !r.ok()) {
        report.result = r;
        return report;
    }

    // Samples for the requested repetitions; a loop of several periods
    // ends part-way through when fewer are asked for.
    const std::uint64_t total =
        request.repeat == 0 ? 0
                            : static_cast<std::uint64_t>(std::llround(double(request.repeat) * double(buffer.samples) /
                                                                      double(plan.periods)));
    std::atomic<std::uint64_t> written{0}, underflows{0};
    std::atomic<bool> writerDone{false}, stopped{false}, abandon{false};
    RadioResult writerResult;
    const std::size_t mtu = radio.streamMtu(Direction::Tx);
    std::thread writer([&] {
        std::size_t pos = 0;
        std::uint64_t sent = 0;
        int timeouts = 0;
        while (total == 0 || sent < total) {
            if (abandon || (request.stop && request.stop->load())) {
                stopped = true;
                break;
            }
            std::size_t chunk = std::min(mtu, buffer.samples - pos);
            if (total != 0) chunk = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, total - sent));
            const bool last = total != 0 && sent + chunk == total;
            const int rc = radio.writeSamples(buffer.at(pos), chunk, kWriteTimeoutUs, last);
            if (rc > 0) {
                timeouts = 0;
                sent += std::uint64_t(rc);
                pos = (pos + std::size_t(rc)) % buffer.samples;
                written = sent;
            } else if (rc == stream_code::kUnderflow) {
                ++underflows;  // reported on the write itself by some drivers; the samples go again
            } else if (rc == stream_code::kTimeout || rc == 0) {
                if (++timeouts > kMaxTimeouts) {
                    writerResult = {radio_status::kStreamError, "The radio took no samples for 3 s."};
                    break;
                }
            } else {
                writerResult = {radio_status::kStreamError, "The radio stopped transmitting: " + streamCodeText(rc)};
                break;
            }
        }
        writerDone = true;
    });

    using Clock = std::chrono::steady_clock;
    auto lastProgress = Clock::now();
    bool statusWorks = true;
    while (!writerDone) {
        if (statusWorks) {
            const int rc = radio.txStatus(50000);
            if (rc == stream_code::kUnderflow) ++underflows;
            else if (rc == stream_code::kNotSupported || rc == stream_code::kStreamError) statusWorks = false;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (request.progress && Clock::now() - lastProgress > std::chrono::milliseconds(500)) {
            lastProgress = Clock::now();
            try {
                request.progress(double(written.load()) / plan.deviceRate, underflows.load());
            } catch (...) {
                // The writer must stop before the error leaves.
                abandon = true;
                writer.join();
                radio.stopStream(Direction::Tx);
                throw;
            }
        }
    }
    writer.join();
    // Underflows the device reports once the last samples have gone out.
    if (statusWorks)
        for (int k = 0; k < 4; ++k)
            if (radio.txStatus(10000) == stream_code::kUnderflow) ++underflows;
    radio.stopStream(Direction::Tx);
    report.result = writerResult;
    report.samplesWritten = written;
    report.underflows = underflows;
    report.stopped = stopped;
    report.repetitions = double(report.samplesWritten) * double(plan.periods) / double(buffer.samples);
    return report;
}

}  // namespace bt::radio
