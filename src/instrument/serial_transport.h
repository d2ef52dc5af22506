#pragma once
// SCPI over an RS-232 port through libserialport. Binary transfers are
// passed through untouched (no line-end translation). A terminal that the
// port library refuses (a pseudo-terminal: a virtual serial port, a serial
// bridge) is driven through the terminal interface instead.
#include <string>
#include <vector>

#include "instrument/transport.h"

struct sp_port;

namespace bt {

// The platform's n-th serial device: /dev/ttyS<n-1> on Linux, COM<n> on
// Windows.
std::string serialDeviceName(int port);
// The device a connection record reaches: `device` when it names one, else
// the platform's device of `port`.
std::string serialDeviceOf(int port, const std::string& device);

// The serial devices the system reports (libserialport's port list), by
// name; empty where it reports none.
std::vector<std::string> listSerialDevices();

class SerialTransport : public Transport {
public:
    // `handshake`: "None", "Xon/Xoff" (the instrument paces us with XON/XOFF)
    // or "RTS/CTS"; compared without regard to case.
    SerialTransport(std::string device, int baudrate, std::string handshake)
        : device_(std::move(device)), baudrate_(baudrate), handshake_(std::move(handshake)) {}
    ~SerialTransport() override;

    std::string name() const override { return "RS232 " + device_; }
    HwResult open(int timeoutMs) override;
    HwResult write(std::span<const std::uint8_t> bytes, int timeoutMs) override;
    HwResult read(std::span<std::uint8_t> buffer, std::size_t& got, int timeoutMs) override;
    void abort() noexcept override;
    // Ten bits on the line per byte.
    std::uint64_t slowestBytesPerSecond() const override {
        return baudrate_ >= 10 ? static_cast<std::uint64_t>(baudrate_) / 10 : 1;
    }

private:
    HwResult fail(int status, const std::string& what) const;
    // Opens the device as a plain terminal; false when it is none.
    bool openTerminal(std::string& why);
    HwResult terminalWrite(std::span<const std::uint8_t> bytes, int timeoutMs);
    HwResult terminalRead(std::span<std::uint8_t> buffer, std::size_t& got, int timeoutMs);
    std::string device_;
    int baudrate_;
    std::string handshake_;
    sp_port* port_ = nullptr;
    int fd_ = -1;  // the terminal, when the port library refused it
};

}  // namespace bt
