#pragma once
// Software-defined radios through SoapySDR: find them, open one by its
// device arguments ("driver=hackrf", "driver=uhd,serial=..."), tune it and
// move samples in its native format. Like the instrument routines, nothing
// here throws: each routine returns (status, description).
//
// Without SoapySDR in the build every routine answers kNotBuilt.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bt::radio {

namespace radio_status {
inline constexpr int kOk = 0;
inline constexpr int kNotBuilt = 1;     // the program was built without SoapySDR
inline constexpr int kNotFound = 2;     // no device matches the arguments
inline constexpr int kDeviceError = 3;  // the device refused a setting or failed
inline constexpr int kStreamError = 4;  // the stream broke (device gone, timeouts)
inline constexpr int kBadInput = 5;     // a value the routine cannot use
}  // namespace radio_status

struct RadioResult {
    int status = radio_status::kOk;
    std::string description;
    bool ok() const { return status == radio_status::kOk; }
};

enum class Direction { Tx, Rx };
enum class StreamFormat { Cs16, Cf32 };  // the two layouts a device is driven in

// Negative results of writeSamples/readSamples, the same numbers SoapySDR uses.
namespace stream_code {
inline constexpr int kTimeout = -1;
inline constexpr int kStreamError = -2;
inline constexpr int kCorruption = -3;
inline constexpr int kOverflow = -4;
inline constexpr int kNotSupported = -5;
inline constexpr int kTimeError = -6;
inline constexpr int kUnderflow = -7;
}  // namespace stream_code
std::string streamCodeText(int code);

// One device as enumeration reports it: its arguments ("driver=...,serial=...")
// and a label for people.
struct DeviceInfo {
    std::string args;
    std::string label;
};

bool backendBuilt();

// The devices that match `args` (all of them for ""). An empty list is not
// an error.
RadioResult listDevices(const std::string& args, std::vector<DeviceInfo>& out);

// The sample rates a device offers: discrete values and continuous ranges.
struct RateRange {
    double minimum = 0, maximum = 0, step = 0;  // step 0: any rate in between
};
// The supported rate nearest `wanted` (the higher on a tie), none when the
// device offers no rate at all.
std::optional<double> nearestRate(const std::vector<double>& rates, const std::vector<RateRange>& ranges,
                                  double wanted);

class Radio {
public:
    Radio();
    ~Radio();
    Radio(const Radio&) = delete;
    Radio& operator=(const Radio&) = delete;

    // Opens the first device matching `args`; a failure names what was not
    // found (the driver, or the device among those the driver sees).
    RadioResult open(const std::string& args);
    bool isOpen() const;
    void close();

    // "driver=btloop,serial=0 (btgen loopback)": for metadata and messages.
    std::string description() const;

    RadioResult setFrequency(Direction d, double hz);
    RadioResult setSampleRate(Direction d, double hz);
    RadioResult setBandwidth(Direction d, double hz);
    // Overall gain (the device spreads it over its stages), or one stage.
    RadioResult setGain(Direction d, double db);
    RadioResult setGain(Direction d, const std::string& element, double db);
    RadioResult setAntenna(Direction d, const std::string& name);
    double sampleRate(Direction d) const;
    double frequency(Direction d) const;
    double gain(Direction d) const;
    std::vector<std::string> gainElements(Direction d) const;
    std::vector<std::string> antennas(Direction d) const;
    std::vector<double> sampleRates(Direction d) const;
    std::vector<RateRange> sampleRateRanges(Direction d) const;
    // The supported rate nearest `wanted`; the wanted rate itself when the
    // device tells nothing.
    double nearestSampleRate(Direction d, double wanted) const;

    // The device's own sample layout (CS16 or CF32; anything else is driven
    // as CF32 and converted by the driver) and its full-scale value.
    StreamFormat nativeFormat(Direction d, double& fullScale) const;

    // One stream per direction. The counts are of complex samples.
    RadioResult startStream(Direction d, StreamFormat format);
    void stopStream(Direction d);
    std::size_t streamMtu(Direction d) const;
    // Samples written (>= 0) or a stream_code. `endOfBurst` marks the last.
    int writeSamples(const void* data, std::size_t count, long timeoutUs, bool endOfBurst = false);
    int readSamples(void* data, std::size_t count, long timeoutUs);
    // A transmit event (stream_code::kUnderflow...), 0 when none arrived
    // within the timeout, stream_code::kTimeout when the device cannot tell.
    int txStatus(long timeoutUs);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace bt::radio
