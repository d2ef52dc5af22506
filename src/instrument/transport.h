#pragma once
// One connection to an instrument: open, write, read with a timeout, close.
// One implementation per bus (LAN socket, serial port, GPIB through VISA),
// chosen from the connection record. Nothing here throws; every failure is
// a non-zero status with a text that says what happened.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace bt {

// (status, response): 0 is success; `response` is the reply of a query or a
// text for the user.
struct HwResult {
    int status = 0;
    std::string response;
    bool ok() const { return status == 0; }
};

// Status codes of the I/O layer. Callers only test against 0; the codes tell
// failures apart in tests and logs.
namespace io_status {
inline constexpr int kCancelled = -1;         // the user cancelled the transfer
inline constexpr int kArgument = -10;          // impossible argument (empty waveform, bad address)
inline constexpr int kOpen = -11;              // the connection could not be opened
inline constexpr int kTimeout = -12;           // the instrument went silent
inline constexpr int kClosed = -13;            // the instrument closed the connection
inline constexpr int kWrite = -14;             // a write failed
inline constexpr int kRead = -15;              // a read failed
inline constexpr int kReply = -16;             // a reply that cannot be trusted
inline constexpr int kInstrument = -17;        // the instrument reported an error
inline constexpr int kNoDriver = -18;          // the bus driver is not installed
inline constexpr int kUnknownOperation = -19;  // no such HwIO operation
}  // namespace io_status

class Transport {
public:
    virtual ~Transport() = default;  // closes the connection

    // Names the connection in messages ("TCPIP 127.0.0.1:5025").
    virtual std::string name() const = 0;
    virtual HwResult open(int timeoutMs) = 0;
    // Writes every byte or fails. The timeout measures silence: a link that
    // keeps taking bytes never times out.
    virtual HwResult write(std::span<const std::uint8_t> bytes, int timeoutMs) = 0;
    // Waits up to the timeout for data and reads at least one byte.
    virtual HwResult read(std::span<std::uint8_t> buffer, std::size_t& got, int timeoutMs) = 0;
    // Hands the instrument back to front-panel control where the bus has a
    // way of its own (GPIB's go-to-local); the others send a command.
    virtual bool hasBusLocal() const { return false; }
    virtual HwResult goToLocal(int /*timeoutMs*/) { return {}; }
    // Drops the connection at once, discarding unsent data (after a failure,
    // so a stalled instrument is not left holding a half-sent transfer).
    virtual void abort() noexcept = 0;
    // The slowest rate at which a working instrument on this bus takes a
    // transfer: a download may take its size at this rate (twice over)
    // before it is given up.
    virtual std::uint64_t slowestBytesPerSecond() const { return 100'000; }

    using Clock = std::chrono::steady_clock;
    // Bounds every later read and write, whatever the timeout: an
    // instrument that drips a byte now and then never stretches an exchange
    // beyond it. `totalMs` names the allowance in messages.
    void setDeadline(Clock::time_point deadline, long long totalMs) {
        deadline_ = deadline;
        deadlineMs_ = totalMs;
    }
    void clearDeadline() { deadline_.reset(); }

protected:
    // The wait allowed now: the timeout, cut short by the deadline; 0 once
    // the deadline has passed.
    int waitBudget(int timeoutMs) const;
    bool pastDeadline() const { return deadline_ && Clock::now() >= *deadline_; }
    // What a timeout means: `silence` when the instrument was silent for
    // the timeout, the deadline's text when the exchange ran out of time.
    std::string timeoutText(const std::string& silence) const;

private:
    std::optional<Clock::time_point> deadline_;
    long long deadlineMs_ = 0;
};

struct IoConfig;
// The transport for `config.type` ("TCPIP", "RS232", "GPIB", any case), or
// a failure saying why there is none.
std::unique_ptr<Transport> makeTransport(const IoConfig& config, HwResult& failure);

}  // namespace bt
