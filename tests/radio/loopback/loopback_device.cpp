// btloop: a SoapySDR device module for the tests. What a transmit stream
// sends goes to a file (arguments loop=PATH); a receive stream plays that
// file back as the radio would hear it: moved by the tuning difference and
// `offset` Hz, its sample clock off by `ppm`, scaled by the gains and
// `gain` dB, with complex Gaussian noise of `noise` dBFS. It offers only
// the rates in `rates` (values joined by '/'), streams natively in CS16 or
// CF32 (`format`), runs in real time with realtime=1 (then a transmitter
// that falls behind is told of an underflow), and fails on request:
// fault=KIND:SAMPLE[+KIND:SAMPLE...] with KIND underflow, overflow,
// timeout (once), stall (every read times out from then on) or gone (the
// device vanishes: every call fails). BTLOOP_DEFAULTS in the environment
// gives arguments to a device opened without them.
#include <SoapySDR/Device.hpp>
#include <SoapySDR/Formats.hpp>
#include <SoapySDR/Registry.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr char kMagic[8] = {'B', 'T', 'L', 'O', 'O', 'P', '1', 0};
constexpr std::size_t kMtu = 4096;
constexpr std::size_t kOverflowLoss = 10000;  // samples an overflow loses

struct Header {
    char magic[8];
    double rate;
    double frequency;
    double gain;
};

std::vector<std::string> split(const std::string& text, char sep);

// An argument of the device, else of BTLOOP_DEFAULTS (key=value pairs
// joined by ','), for a program that opens the device as enumeration lists
// it, else `fallback`.
std::string arg(const SoapySDR::Kwargs& a, const std::string& key, const std::string& fallback) {
    if (const auto it = a.find(key); it != a.end()) return it->second;
    if (const char* defaults = std::getenv("BTLOOP_DEFAULTS"))
        for (const std::string& pair : split(defaults, ','))
            if (const auto eq = pair.find('='); eq != std::string::npos && pair.substr(0, eq) == key)
                return pair.substr(eq + 1);
    return fallback;
}

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find(sep, start);
        out.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return out;
}

struct Fault {
    std::string kind;
    std::uint64_t at = 0;
    bool fired = false;
};

struct Stream {
    int direction = 0;
    bool cs16 = false;
    bool active = false;
    std::uint64_t count = 0;  // samples passed
    Clock::time_point start;
    std::FILE* file = nullptr;
    std::vector<std::complex<float>> heard;  // receive: what was sent
    double sentRate = 0, sentFrequency = 0, sentGain = 0;
};

class Loopback : public SoapySDR::Device {
public:
    explicit Loopback(const SoapySDR::Kwargs& a)
        : args_(a), path_(arg(a, "loop", "/tmp/btloop.cf32")), cs16_(arg(a, "format", "CS16") != "CF32"),
          offset_(std::stod(arg(a, "offset", "0"))), ppm_(std::stod(arg(a, "ppm", "0"))),
          pathGain_(std::stod(arg(a, "gain", "0"))), noise_(std::stod(arg(a, "noise", "-60"))),
          realtime_(arg(a, "realtime", "0") == "1"), cyclic_(arg(a, "cyclic", "0") == "1"),
          random_(static_cast<std::uint32_t>(std::stoul(arg(a, "seed", std::to_string(std::random_device{}()))))) {
        for (const std::string& r : split(arg(a, "rates", "2e6/4e6/8e6/16e6/20e6"), '/')) rates_.push_back(std::stod(r));
        const std::string faults = arg(a, "fault", "");
        if (!faults.empty())
            for (const std::string& f : split(faults, '+')) {
                const auto parts = split(f, ':');
                if (parts.size() != 2) throw std::runtime_error("btloop: fault " + f + " is not KIND:SAMPLE");
                faults_.push_back({parts[0], static_cast<std::uint64_t>(std::stod(parts[1]))});
            }
        rate_[SOAPY_SDR_TX] = rate_[SOAPY_SDR_RX] = rates_.front();
        std::normal_distribution<float> gauss(0, static_cast<float>(std::pow(10.0, noise_ / 20) / std::sqrt(2.0)));
        noiseTable_.resize(std::size_t(1) << 18);
        for (auto& v : noiseTable_) v = {gauss(random_), gauss(random_)};
        frequency_[SOAPY_SDR_TX] = frequency_[SOAPY_SDR_RX] = 2.4e9;
    }

    std::string getDriverKey() const override { return "btloop"; }
    std::string getHardwareKey() const override { return "btgen loopback"; }
    size_t getNumChannels(const int) const override { return 1; }
    bool getFullDuplex(const int, const size_t) const override { return true; }

    std::vector<std::string> listAntennas(const int, const size_t) const override { return {"LOOP", "ALT"}; }
    void setAntenna(const int d, const size_t, const std::string& name) override { antenna_[d] = name; }
    std::string getAntenna(const int d, const size_t) const override {
        const auto it = antenna_.find(d);
        return it == antenna_.end() ? "LOOP" : it->second;
    }

    using SoapySDR::Device::getGain;
    using SoapySDR::Device::setGain;
    std::vector<std::string> listGains(const int d, const size_t) const override {
        return d == SOAPY_SDR_TX ? std::vector<std::string>{"PA"} : std::vector<std::string>{"LNA", "VGA"};
    }
    SoapySDR::Range getGainRange(const int, const size_t, const std::string&) const override { return {0, 30}; }
    void setGain(const int d, const size_t, const std::string& name, const double value) override {
        std::lock_guard lock(mutex_);
        gains_[{d, name}] = std::clamp(value, 0.0, 30.0);
    }
    double getGain(const int d, const size_t, const std::string& name) const override {
        std::lock_guard lock(mutex_);
        const auto it = gains_.find({d, name});
        return it == gains_.end() ? 0 : it->second;
    }

    void setFrequency(const int d, const size_t, const double f, const SoapySDR::Kwargs&) override {
        frequency_[d] = f;
    }
    double getFrequency(const int d, const size_t) const override { return frequency_.at(d); }
    std::vector<std::string> listFrequencies(const int, const size_t) const override { return {"RF"}; }
    SoapySDR::RangeList getFrequencyRange(const int, const size_t) const override { return {{1e6, 6e9}}; }

    std::vector<double> listSampleRates(const int, const size_t) const override { return rates_; }
    SoapySDR::RangeList getSampleRateRange(const int, const size_t) const override {
        SoapySDR::RangeList out;
        for (double r : rates_) out.emplace_back(r, r);
        return out;
    }
    void setSampleRate(const int d, const size_t, const double rate) override {
        if (std::find(rates_.begin(), rates_.end(), rate) == rates_.end())
            throw std::runtime_error("btloop: " + std::to_string(rate) + " S/s is not one of its rates");
        rate_[d] = rate;
    }
    double getSampleRate(const int d, const size_t) const override { return rate_.at(d); }
    void setBandwidth(const int d, const size_t, const double bw) override { bandwidth_[d] = bw; }
    double getBandwidth(const int d, const size_t) const override {
        const auto it = bandwidth_.find(d);
        return it == bandwidth_.end() ? rate_.at(d) : it->second;
    }

    std::vector<std::string> getStreamFormats(const int, const size_t) const override {
        return {SOAPY_SDR_CS16, SOAPY_SDR_CF32};
    }
    std::string getNativeStreamFormat(const int, const size_t, double& fullScale) const override {
        fullScale = cs16_ ? 32767 : 1;
        return cs16_ ? SOAPY_SDR_CS16 : SOAPY_SDR_CF32;
    }

    SoapySDR::Stream* setupStream(const int d, const std::string& format, const std::vector<size_t>& channels,
                                  const SoapySDR::Kwargs&) override {
        if (format != SOAPY_SDR_CS16 && format != SOAPY_SDR_CF32)
            throw std::runtime_error("btloop: no stream format " + format);
        if (channels.size() > 1 || (!channels.empty() && channels[0] != 0))
            throw std::runtime_error("btloop: one channel only");
        auto* s = new Stream;
        s->direction = d;
        s->cs16 = format == SOAPY_SDR_CS16;
        return reinterpret_cast<SoapySDR::Stream*>(s);
    }
    void closeStream(SoapySDR::Stream* stream) override {
        Stream* s = reinterpret_cast<Stream*>(stream);
        if (s->file) std::fclose(s->file);
        delete s;
    }
    size_t getStreamMTU(SoapySDR::Stream*) const override { return kMtu; }

    int activateStream(SoapySDR::Stream* stream, const int, const long long, const size_t) override {
        Stream* s = reinterpret_cast<Stream*>(stream);
        s->active = true;
        s->count = 0;
        s->start = Clock::now();
        if (s->direction == SOAPY_SDR_TX) {
            s->file = std::fopen(path_.c_str(), "wb");
            if (!s->file) return SOAPY_SDR_STREAM_ERROR;
            Header h{};
            std::memcpy(h.magic, kMagic, sizeof kMagic);
            h.rate = rate_[SOAPY_SDR_TX];
            h.frequency = frequency_[SOAPY_SDR_TX];
            h.gain = getGain(SOAPY_SDR_TX, 0);
            std::fwrite(&h, sizeof h, 1, s->file);
            return 0;
        }
        // Receive: what was sent so far, read once.
        s->heard.clear();
        if (std::FILE* f = std::fopen(path_.c_str(), "rb")) {
            Header h{};
            if (std::fread(&h, sizeof h, 1, f) == 1 && std::memcmp(h.magic, kMagic, sizeof kMagic) == 0) {
                s->sentRate = h.rate, s->sentFrequency = h.frequency, s->sentGain = h.gain;
                std::complex<float> block[kMtu];
                std::size_t n;
                while ((n = std::fread(block, sizeof block[0], kMtu, f)) > 0) s->heard.insert(s->heard.end(), block, block + n);
            }
            std::fclose(f);
        }
        return 0;
    }
    int deactivateStream(SoapySDR::Stream* stream, const int, const long long) override {
        Stream* s = reinterpret_cast<Stream*>(stream);
        s->active = false;
        if (s->file) std::fflush(s->file);
        return 0;
    }

    int writeStream(SoapySDR::Stream* stream, const void* const* buffs, const size_t numElems, int&, const long long,
                    const long) override {
        Stream* s = reinterpret_cast<Stream*>(stream);
        if (fault("gone", s->count, false)) return SOAPY_SDR_STREAM_ERROR;
        const std::size_t n = std::min(numElems, kMtu);
        if (fault("underflow", s->count + n, true)) event(SOAPY_SDR_UNDERFLOW);
        std::complex<float> block[kMtu];
        for (std::size_t k = 0; k < n; ++k) {
            if (s->cs16) {
                const auto* v = static_cast<const std::int16_t*>(buffs[0]);
                block[k] = {float(v[2 * k]) / 32767.0f, float(v[2 * k + 1]) / 32767.0f};
            } else {
                block[k] = static_cast<const std::complex<float>*>(buffs[0])[k];
            }
        }
        if (std::fwrite(block, sizeof block[0], n, s->file) != n) return SOAPY_SDR_STREAM_ERROR;
        pace(*s, SOAPY_SDR_TX, n);
        return static_cast<int>(n);
    }

    int readStreamStatus(SoapySDR::Stream* stream, size_t&, int&, long long&, const long timeoutUs) override {
        Stream* s = reinterpret_cast<Stream*>(stream);
        if (s->direction != SOAPY_SDR_TX) return SOAPY_SDR_NOT_SUPPORTED;
        std::unique_lock lock(mutex_);
        if (!eventReady_.wait_for(lock, std::chrono::microseconds(timeoutUs), [&] { return !events_.empty(); }))
            return SOAPY_SDR_TIMEOUT;
        const int e = events_.front();
        events_.erase(events_.begin());
        return e;
    }

    int readStream(SoapySDR::Stream* stream, void* const* buffs, const size_t numElems, int& flags, long long& timeNs,
                   const long) override {
        Stream* s = reinterpret_cast<Stream*>(stream);
        flags = 0;
        timeNs = 0;
        if (fault("gone", s->count, false)) return SOAPY_SDR_STREAM_ERROR;
        if (fault("stall", s->count, false)) return SOAPY_SDR_TIMEOUT;
        if (fault("timeout", s->count, true)) return SOAPY_SDR_TIMEOUT;
        if (fault("overflow", s->count, true)) {
            s->count += kOverflowLoss;  // those samples went by unread
            return SOAPY_SDR_OVERFLOW;
        }
        const double rate = rate_[SOAPY_SDR_RX];
        if (realtime_) {
            // A reader more than 100 ms late has let the device's buffer
            // overflow: those samples are gone.
            const double late = std::chrono::duration<double>(Clock::now() - s->start).count() - double(s->count) / rate;
            if (late > 0.1) {
                s->count += static_cast<std::uint64_t>(late * rate);
                return SOAPY_SDR_OVERFLOW;
            }
        }
        const std::size_t n = std::min(numElems, kMtu);
        const double amplitude =
            std::pow(10.0, (s->sentGain + getGain(SOAPY_SDR_RX, 0) + pathGain_) / 20);
        const double shift = s->sentFrequency - frequency_[SOAPY_SDR_RX] + offset_;
        // The noise comes from a table read from a random place per block
        // (cheap enough for real time); the rotation is stepped per sample
        // from an exact start per block.
        const double dt = (1 + ppm_ * 1e-6) / rate;
        const double t0 = double(s->count) * dt;
        std::complex<double> turn = std::polar(1.0, std::fmod(2 * std::numbers::pi * shift * t0, 2 * std::numbers::pi));
        const std::complex<double> step = std::polar(1.0, 2 * std::numbers::pi * shift * dt);
        std::size_t at = random_() % noiseTable_.size();
        for (std::size_t k = 0; k < n; ++k) {
            const double t = t0 + double(k) * dt;
            std::complex<double> v = s->heard.empty() ? 0.0 : amplitude * heardAt(*s, t * s->sentRate);
            v *= turn;
            turn *= step;
            const std::complex<float> out = std::complex<float>(v) + noiseTable_[at];
            at = at + 1 == noiseTable_.size() ? 0 : at + 1;
            if (s->cs16) {
                auto* d = static_cast<std::int16_t*>(buffs[0]);
                d[2 * k] = static_cast<std::int16_t>(std::clamp(std::lround(out.real() * 32767.0f), -32768l, 32767l));
                d[2 * k + 1] = static_cast<std::int16_t>(std::clamp(std::lround(out.imag() * 32767.0f), -32768l, 32767l));
            } else {
                static_cast<std::complex<float>*>(buffs[0])[k] = out;
            }
        }
        pace(*s, SOAPY_SDR_RX, n);
        return static_cast<int>(n);
    }

private:
    // Whether a fault of `kind` is due by sample `position`; a `once` fault
    // fires a single time.
    bool fault(const std::string& kind, std::uint64_t position, bool once) {
        for (Fault& f : faults_)
            if (f.kind == kind && position >= f.at && !(once && f.fired)) {
                f.fired = true;
                return true;
            }
        return false;
    }

    void event(int code) {
        std::lock_guard lock(mutex_);
        events_.push_back(code);
        eventReady_.notify_one();
    }

    // The sent signal at fractional sample position p (Catmull-Rom).
    std::complex<double> heardAt(const Stream& s, double p) const {
        const auto n = static_cast<long long>(s.heard.size());
        const auto i = static_cast<long long>(std::floor(p));
        const double f = p - double(i);
        const auto at = [&](long long k) -> std::complex<double> {
            if (cyclic_) k = ((k % n) + n) % n;
            return k < 0 || k >= n ? std::complex<double>{} : std::complex<double>(s.heard[std::size_t(k)]);
        };
        const auto a = at(i - 1), b = at(i), c = at(i + 1), d = at(i + 2);
        return b + 0.5 * f * (c - a + f * (2.0 * a - 5.0 * b + 4.0 * c - d + f * (3.0 * (b - c) + d - a)));
    }

    // Real time: wait until the samples are due; a transmitter that is
    // late by more than a buffer's worth has let the device run dry.
    void pace(Stream& s, int d, std::size_t n) {
        s.count += n;
        if (!realtime_) return;
        const auto due = s.start + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(double(s.count) / rate_[d]));
        const auto now = Clock::now();
        if (now < due) {
            std::this_thread::sleep_until(due);
        } else if (d == SOAPY_SDR_TX && now - due > std::chrono::milliseconds(20)) {
            event(SOAPY_SDR_UNDERFLOW);
            s.start += now - due;  // the device starts again from now
        }
    }

    SoapySDR::Kwargs args_;
    std::string path_;
    bool cs16_;
    double offset_, ppm_, pathGain_, noise_;
    bool realtime_, cyclic_;
    std::mt19937 random_;
    std::vector<double> rates_;
    std::vector<std::complex<float>> noiseTable_;
    std::vector<Fault> faults_;
    std::map<int, double> rate_, frequency_, bandwidth_;
    std::map<int, std::string> antenna_;
    std::map<std::pair<int, std::string>, double> gains_;
    mutable std::mutex mutex_;
    std::condition_variable eventReady_;
    std::vector<int> events_;
};

// Two loopback devices, serial 0 and 1; the other arguments pass through.
SoapySDR::KwargsList findLoopback(const SoapySDR::Kwargs& args) {
    SoapySDR::KwargsList out;
    for (const char* serial : {"0", "1"}) {
        if (const auto it = args.find("serial"); it != args.end() && it->second != serial) continue;
        SoapySDR::Kwargs k = args;
        k["driver"] = "btloop";
        k["serial"] = serial;
        k["label"] = std::string("btgen loopback ") + serial;
        out.push_back(k);
    }
    return out;
}

SoapySDR::Device* makeLoopback(const SoapySDR::Kwargs& args) { return new Loopback(args); }

const SoapySDR::Registry registerLoopback("btloop", &findLoopback, &makeLoopback, SOAPY_SDR_ABI_VERSION);

}  // namespace
