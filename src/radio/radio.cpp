#include "radio/radio.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <map>

#ifdef BTGEN_HAVE_SOAPYSDR
#include <SoapySDR/Device.hpp>
#include <SoapySDR/Errors.hpp>
#include <SoapySDR/Formats.hpp>
#include <SoapySDR/Logger.hpp>
#include <SoapySDR/Registry.hpp>
#include <SoapySDR/Types.hpp>
#endif

namespace bt::radio {

std::string streamCodeText(int code) {
    switch (code) {
        case stream_code::kTimeout: return "timeout";
        case stream_code::kStreamError: return "stream error (the device stopped answering)";
        case stream_code::kCorruption: return "corrupted data";
        case stream_code::kOverflow: return "overflow (samples lost)";
        case stream_code::kNotSupported: return "not supported";
        case stream_code::kTimeError: return "time error";
        case stream_code::kUnderflow: return "underflow (the device ran out of samples)";
        default: return "error " + std::to_string(code);
    }
}

std::optional<double> nearestRate(const std::vector<double>& rates, const std::vector<RateRange>& ranges,
                                  double wanted) {
    std::optional<double> best;
    const auto consider = [&](double r) {
        if (!(r > 0) || !std::isfinite(r)) return;
        if (!best || std::abs(r - wanted) < std::abs(*best - wanted) ||
            (std::abs(r - wanted) == std::abs(*best - wanted) && r > *best))
            best = r;
    };
    for (double r : rates) consider(r);
    for (const RateRange& g : ranges) {
        double r = std::clamp(wanted, g.minimum, g.maximum);
        if (g.step > 0 && r > g.minimum) {
            const double k = std::round((r - g.minimum) / g.step);
            r = std::min(g.minimum + k * g.step, g.maximum);
        }
        consider(r);
    }
    return best;
}

#ifndef BTGEN_HAVE_SOAPYSDR

namespace {
RadioResult notBuilt() {
    return {radio_status::kNotBuilt, "This program was built without SoapySDR: software-defined radios are not "
                                     "available (install libsoapysdr-dev and build again)."};
}
}  // namespace

struct Radio::Impl {};
bool backendBuilt() { return false; }
RadioResult listDevices(const std::string&, std::vector<DeviceInfo>& out) {
    out.clear();
    return notBuilt();
}
Radio::Radio() = default;
Radio::~Radio() = default;
RadioResult Radio::open(const std::string&) { return notBuilt(); }
bool Radio::isOpen() const { return false; }
void Radio::close() {}
std::string Radio::description() const { return {}; }
RadioResult Radio::setFrequency(Direction, double) { return notBuilt(); }
RadioResult Radio::setSampleRate(Direction, double) { return notBuilt(); }
RadioResult Radio::setBandwidth(Direction, double) { return notBuilt(); }
RadioResult Radio::setGain(Direction, double) { return notBuilt(); }
RadioResult Radio::setGain(Direction, const std::string&, double) { return notBuilt(); }
RadioResult Radio::setAntenna(Direction, const std::string&) { return notBuilt(); }
double Radio::sampleRate(Direction) const { return 0; }
double Radio::frequency(Direction) const { return 0; }
double Radio::gain(Direction) const { return 0; }
std::vector<std::string> Radio::gainElements(Direction) const { return {}; }
std::vector<std::string> Radio::antennas(Direction) const { return {}; }
std::vector<double> Radio::sampleRates(Direction) const { return {}; }
std::vector<RateRange> Radio::sampleRateRanges(Direction) const { return {}; }
double Radio::nearestSampleRate(Direction, double wanted) const { return wanted; }
StreamFormat Radio::nativeFormat(Direction, double& fullScale) const {
    fullScale = 1;
    return StreamFormat::Cf32;
}
RadioResult Radio::startStream(Direction, StreamFormat) { return notBuilt(); }
void Radio::stopStream(Direction) {}
std::size_t Radio::streamMtu(Direction) const { return 0; }
int Radio::writeSamples(const void*, std::size_t, long, bool) { return stream_code::kNotSupported; }
int Radio::readSamples(void*, std::size_t, long) { return stream_code::kNotSupported; }
int Radio::txStatus(long) { return stream_code::kNotSupported; }

#else

namespace {

int soapyDirection(Direction d) { return d == Direction::Tx ? SOAPY_SDR_TX : SOAPY_SDR_RX; }
const char* directionName(Direction d) { return d == Direction::Tx ? "transmit" : "receive"; }

// SoapySDR prints its own notices to standard error; keep only errors so a
// command's output stays its own.
void quietLogs() {
    static const bool once = [] {
        SoapySDR::setLogLevel(SOAPY_SDR_ERROR);
        return true;
    }();
    (void)once;
}

std::string what(const std::exception& e) {
    std::string text = e.what();
    return text.empty() ? "unknown error" : text;
}

std::string argsText(const SoapySDR::Kwargs& args) {
    std::string out;
    for (const auto& [k, v] : args) out += (out.empty() ? "" : ",") + k + "=" + v;
    return out;
}

std::string driverList() {
    std::string out;
    for (const auto& [name, fn] : SoapySDR::Registry::listFindFunctions()) out += (out.empty() ? "" : ", ") + name;
    return out.empty() ? "none" : out;
}

}  // namespace

struct Radio::Impl {
    SoapySDR::Device* device = nullptr;
    std::string args;
    std::map<Direction, SoapySDR::Stream*> streams;
    std::size_t txMtu = 0, rxMtu = 0;
};

bool backendBuilt() { return true; }

RadioResult listDevices(const std::string& args, std::vector<DeviceInfo>& out) {
    out.clear();
    quietLogs();
    try {
        for (const SoapySDR::Kwargs& k : SoapySDR::Device::enumerate(args)) {
            DeviceInfo info;
            SoapySDR::Kwargs shown = k;
            if (const auto label = shown.find("label"); label != shown.end()) {
                info.label = label->second;
                shown.erase(label);
            }
            info.args = argsText(shown);
            out.push_back(std::move(info));
        }
    } catch (const std::exception& e) {
        return {radio_status::kDeviceError, "Enumerating the radios failed: " + what(e)};
    }
    return {};
}

Radio::Radio() : impl_(std::make_unique<Impl>()) {}
Radio::~Radio() { close(); }

RadioResult Radio::open(const std::string& args) {
    close();
    quietLogs();
    SoapySDR::Kwargs kw;
    try {
        kw = SoapySDR::KwargsFromString(args);
        const auto found = SoapySDR::Device::enumerate(kw);
        if (found.empty()) {
            // Name what was missing: the driver, or the device among those
            // the driver does see.
            const auto drivers = SoapySDR::Registry::listFindFunctions();
            if (const auto d = kw.find("driver"); d != kw.end() && !drivers.contains(d->second))
                return {radio_status::kNotFound, "No radio driver \"" + d->second +
                                                     "\" is installed (drivers found: " + driverList() + ")."};
            std::string seen;
            SoapySDR::Kwargs driverOnly;
            if (const auto d = kw.find("driver"); d != kw.end()) driverOnly["driver"] = d->second;
            for (auto k : SoapySDR::Device::enumerate(driverOnly)) {
                k.erase("label");
                seen += "\n  " + argsText(k);
            }
            return {radio_status::kNotFound, "No radio matches \"" + args + "\"" +
                                                 (seen.empty() ? std::string(": no radio was found.")
                                                               : "; radios found:" + seen)};
        }
        impl_->device = SoapySDR::Device::make(found.front());
    } catch (const std::exception& e) {
        return {radio_status::kNotFound, "Cannot open the radio \"" + args + "\": " + what(e)};
    }
    if (!impl_->device) return {radio_status::kNotFound, "Cannot open the radio \"" + args + "\"."};
    impl_->args = args;
    return {};
}

bool Radio::isOpen() const { return impl_->device != nullptr; }

void Radio::close() {
    if (!impl_->device) return;
    for (auto& [d, s] : impl_->streams) {
        try {
            impl_->device->deactivateStream(s);
            impl_->device->closeStream(s);
        } catch (const std::exception&) {  // a device that is gone cannot close its stream
        }
    }
    impl_->streams.clear();
    try {
        SoapySDR::Device::unmake(impl_->device);
    } catch (const std::exception&) {
    }
    impl_->device = nullptr;
}

std::string Radio::description() const {
    if (!impl_->device) return {};
    try {
        std::string hw = impl_->device->getHardwareKey();
        std::string out = impl_->args.empty() ? impl_->device->getDriverKey() : impl_->args;
        return hw.empty() ? out : out + " (" + hw + ")";
    } catch (const std::exception&) {
        return impl_->args;
    }
}

#define BTGEN_RADIO_CALL(what_text, body)                                                   \
    do {                                                                                    \
        if (!impl_->device) return {radio_status::kDeviceError, "No radio is open."};       \
        try {                                                                               \
            body;                                                                           \
        } catch (const std::exception& e) {                                                 \
            return {radio_status::kDeviceError, std::string(what_text) + ": " + what(e)};   \
        }                                                                                   \
        return {};                                                                          \
    } while (false)

RadioResult Radio::setFrequency(Direction d, double hz) {
    if (!std::isfinite(hz) || hz <= 0) return {radio_status::kBadInput, "The frequency must be a positive number."};
    BTGEN_RADIO_CALL(std::string("The radio refused the ") + directionName(d) + " frequency",
                     impl_->device->setFrequency(soapyDirection(d), 0, hz));
}

RadioResult Radio::setSampleRate(Direction d, double hz) {
    if (!std::isfinite(hz) || hz <= 0) return {radio_status::kBadInput, "The sample rate must be a positive number."};
    BTGEN_RADIO_CALL(std::string("The radio refused the ") + directionName(d) + " sample rate",
                     impl_->device->setSampleRate(soapyDirection(d), 0, hz));
}

RadioResult Radio::setBandwidth(Direction d, double hz) {
    if (!std::isfinite(hz) || hz <= 0) return {radio_status::kBadInput, "The bandwidth must be a positive number."};
    BTGEN_RADIO_CALL(std::string("The radio refused the ") + directionName(d) + " bandwidth",
                     impl_->device->setBandwidth(soapyDirection(d), 0, hz));
}

RadioResult Radio::setGain(Direction d, double db) {
    if (!std::isfinite(db)) return {radio_status::kBadInput, "The gain must be a number."};
    BTGEN_RADIO_CALL(std::string("The radio refused the ") + directionName(d) + " gain",
                     impl_->device->setGain(soapyDirection(d), 0, db));
}

RadioResult Radio::setGain(Direction d, const std::string& element, double db) {
    if (!std::isfinite(db)) return {radio_status::kBadInput, "The gain must be a number."};
    const auto names = gainElements(d);
    if (std::find(names.begin(), names.end(), element) == names.end()) {
        std::string list;
        for (const auto& n : names) list += (list.empty() ? "" : ", ") + n;
        return {radio_status::kBadInput, "The radio has no " + std::string(directionName(d)) + " gain stage \"" +
                                             element + "\" (stages: " + (list.empty() ? "none" : list) + ")."};
    }
    BTGEN_RADIO_CALL("The radio refused the gain of " + element,
                     impl_->device->setGain(soapyDirection(d), 0, element, db));
}

RadioResult Radio::setAntenna(Direction d, const std::string& name) {
    const auto names = antennas(d);
    if (!names.empty() && std::find(names.begin(), names.end(), name) == names.end()) {
        std::string list;
        for (const auto& n : names) list += (list.empty() ? "" : ", ") + n;
        return {radio_status::kBadInput, "The radio has no " + std::string(directionName(d)) + " antenna \"" + name +
                                             "\" (antennas: " + list + ")."};
    }
    BTGEN_RADIO_CALL("The radio refused the antenna " + name, impl_->device->setAntenna(soapyDirection(d), 0, name));
}

#undef BTGEN_RADIO_CALL

template <class T, class F>
T query(SoapySDR::Device* device, T fallback, F f) {
    if (!device) return fallback;
    try {
        return f();
    } catch (const std::exception&) {
        return fallback;
    }
}

double Radio::sampleRate(Direction d) const {
    return query(impl_->device, 0.0, [&] { return impl_->device->getSampleRate(soapyDirection(d), 0); });
}
double Radio::frequency(Direction d) const {
    return query(impl_->device, 0.0, [&] { return impl_->device->getFrequency(soapyDirection(d), 0); });
}
double Radio::gain(Direction d) const {
    return query(impl_->device, 0.0, [&] { return impl_->device->getGain(soapyDirection(d), 0); });
}
std::vector<std::string> Radio::gainElements(Direction d) const {
    return query(impl_->device, std::vector<std::string>{},
                 [&] { return impl_->device->listGains(soapyDirection(d), 0); });
}
std::vector<std::string> Radio::antennas(Direction d) const {
    return query(impl_->device, std::vector<std::string>{},
                 [&] { return impl_->device->listAntennas(soapyDirection(d), 0); });
}
std::vector<double> Radio::sampleRates(Direction d) const {
    return query(impl_->device, std::vector<double>{},
                 [&] { return impl_->device->listSampleRates(soapyDirection(d), 0); });
}
std::vector<RateRange> Radio::sampleRateRanges(Direction d) const {
    return query(impl_->device, std::vector<RateRange>{}, [&] {
        std::vector<RateRange> out;
        for (const SoapySDR::Range& r : impl_->device->getSampleRateRange(soapyDirection(d), 0))
            out.push_back({r.minimum(), r.maximum(), r.step()});
        return out;
    });
}

double Radio::nearestSampleRate(Direction d, double wanted) const {
    // A device that lists discrete rates may also report each as a range of
    // one point: the ranges add nothing then.
    return nearestRate(sampleRates(d), sampleRateRanges(d), wanted).value_or(wanted);
}

StreamFormat Radio::nativeFormat(Direction d, double& fullScale) const {
    fullScale = 1;
    if (!impl_->device) return StreamFormat::Cf32;
    try {
        double scale = 0;
        const std::string f = impl_->device->getNativeStreamFormat(soapyDirection(d), 0, scale);
        if (f == SOAPY_SDR_CS16) {
            fullScale = scale > 0 ? scale : 32767;
            return StreamFormat::Cs16;
        }
    } catch (const std::exception&) {
    }
    return StreamFormat::Cf32;
}

RadioResult Radio::startStream(Direction d, StreamFormat format) {
    if (!impl_->device) return {radio_status::kDeviceError, "No radio is open."};
    stopStream(d);
    try {
        SoapySDR::Stream* s = impl_->device->setupStream(
            soapyDirection(d), format == StreamFormat::Cs16 ? SOAPY_SDR_CS16 : SOAPY_SDR_CF32, {0});
        if (!s) return {radio_status::kStreamError, std::string("The radio gave no ") + directionName(d) + " stream."};
        impl_->streams[d] = s;
        (d == Direction::Tx ? impl_->txMtu : impl_->rxMtu) = impl_->device->getStreamMTU(s);
        if (const int rc = impl_->device->activateStream(s); rc != 0)
            return {radio_status::kStreamError, std::string("The radio did not start its ") + directionName(d) +
                                                    " stream: " + streamCodeText(rc)};
    } catch (const std::exception& e) {
        return {radio_status::kStreamError,
                std::string("The radio did not start its ") + directionName(d) + " stream: " + what(e)};
    }
    return {};
}

void Radio::stopStream(Direction d) {
    const auto it = impl_->streams.find(d);
    if (it == impl_->streams.end()) return;
    try {
        impl_->device->deactivateStream(it->second);
        impl_->device->closeStream(it->second);
    } catch (const std::exception&) {
    }
    impl_->streams.erase(it);
}

std::size_t Radio::streamMtu(Direction d) const {
    const std::size_t mtu = d == Direction::Tx ? impl_->txMtu : impl_->rxMtu;
    return mtu > 0 ? mtu : 4096;
}

int Radio::writeSamples(const void* data, std::size_t count, long timeoutUs, bool endOfBurst) {
    const auto it = impl_->streams.find(Direction::Tx);
    if (it == impl_->streams.end()) return stream_code::kStreamError;
    try {
        int flags = endOfBurst ? SOAPY_SDR_END_BURST : 0;
        const void* buffers[] = {data};
        return impl_->device->writeStream(it->second, buffers, count, flags, 0, timeoutUs);
    } catch (const std::exception&) {
        return stream_code::kStreamError;
    }
}

int Radio::readSamples(void* data, std::size_t count, long timeoutUs) {
    const auto it = impl_->streams.find(Direction::Rx);
    if (it == impl_->streams.end()) return stream_code::kStreamError;
    try {
        int flags = 0;
        long long timeNs = 0;
        void* buffers[] = {data};
        return impl_->device->readStream(it->second, buffers, count, flags, timeNs, timeoutUs);
    } catch (const std::exception&) {
        return stream_code::kStreamError;
    }
}

int Radio::txStatus(long timeoutUs) {
    const auto it = impl_->streams.find(Direction::Tx);
    if (it == impl_->streams.end()) return stream_code::kStreamError;
    try {
        std::size_t mask = 0;
        int flags = 0;
        long long timeNs = 0;
        const int rc = impl_->device->readStreamStatus(it->second, mask, flags, timeNs, timeoutUs);
        return rc == stream_code::kTimeout ? 0 : rc;
    } catch (const std::exception&) {
        return stream_code::kNotSupported;
    }
}

#endif

}  // namespace bt::radio
