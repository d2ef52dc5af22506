#include "instrument/serial_transport.h"

#include <libserialport.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace bt {

std::string serialDeviceName(int port) {
#ifdef _WIN32
    return "COM" + std::to_string(port);
#else
    return "/dev/ttyS" + std::to_string(port - 1);
#endif
}

std::string serialDeviceOf(int port, const std::string& device) {
    return device.empty() ? serialDeviceName(port) : device;
}

std::vector<std::string> listSerialDevices() {
    std::vector<std::string> names;
    sp_port** ports = nullptr;
    if (sp_list_ports(&ports) != SP_OK) return names;
    for (sp_port** p = ports; *p; ++p)
        if (const char* name = sp_get_port_name(*p)) names.emplace_back(name);
    sp_free_port_list(ports);
    return names;
}

namespace {
std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string lastError() {
    char* msg = sp_last_error_message();
    std::string text = msg ? msg : "unknown error";
    sp_free_error_message(msg);
    return text;
}
}  // namespace

SerialTransport::~SerialTransport() {
    if (port_) {
        sp_close(port_);
        sp_free_port(port_);
    }
#ifndef _WIN32
    if (fd_ >= 0) ::close(fd_);
#endif
}

HwResult SerialTransport::fail(int status, const std::string& what) const {
    return {status, what + " (" + name() + ")"};
}

HwResult SerialTransport::open(int /*timeoutMs*/) {
    if (baudrate_ <= 0) return fail(io_status::kArgument, "The baud rate must be a positive number");
    // The port library knows only devices the system describes as serial
    // ports, and needs modem lines a pseudo-terminal lacks.
    std::string why;
    if (sp_get_port_by_name(device_.c_str(), &port_) != SP_OK) {
        port_ = nullptr;
        const std::string error = lastError();
        if (openTerminal(why)) return {};
        return fail(io_status::kOpen, "No such serial port: " + (why.empty() ? error : why));
    }
    if (sp_open(port_, SP_MODE_READ_WRITE) != SP_OK) {
        const std::string error = lastError();
        sp_free_port(port_);
        port_ = nullptr;
        if (openTerminal(why)) return {};
        return fail(io_status::kOpen, "Cannot open the serial port: " + error);
    }
    const std::string hs = lower(handshake_);
    sp_flowcontrol flow = SP_FLOWCONTROL_NONE;
    if (hs.find("rts") != std::string::npos) flow = SP_FLOWCONTROL_RTSCTS;
    const bool ok = sp_set_baudrate(port_, baudrate_) == SP_OK && sp_set_bits(port_, 8) == SP_OK &&
                    sp_set_parity(port_, SP_PARITY_NONE) == SP_OK && sp_set_stopbits(port_, 1) == SP_OK &&
                    sp_set_flowcontrol(port_, flow) == SP_OK &&
                    // Only our output is paced by XON/XOFF: binary replies
                    // may hold those bytes and must not be swallowed.
                    sp_set_xon_xoff(port_, hs.find("xon") != std::string::npos ? SP_XONXOFF_OUT
                                                                               : SP_XONXOFF_DISABLED) == SP_OK;
    if (!ok) return fail(io_status::kOpen, "Cannot configure the serial port: " + lastError());
    return {};
}

HwResult SerialTransport::write(std::span<const std::uint8_t> bytes, int timeoutMs) {
    if (fd_ >= 0) return terminalWrite(bytes, timeoutMs);
    // Write in slices of about a tenth of a second of line time, so the
    // timeout measures silence rather than the length of the transfer.
    const std::size_t slice = std::max<std::size_t>(64, static_cast<std::size_t>(baudrate_) / 100);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t n = std::min(slice, bytes.size() - done);
        // A zero timeout would wait for ever in the port library.
        const int budget = waitBudget(timeoutMs);
        const sp_return r = budget <= 0 ? SP_OK
                                        : sp_blocking_write(port_, bytes.data() + done, n, static_cast<unsigned>(budget));
        if (r < 0) return fail(io_status::kWrite, "Write failed: " + lastError());
        if (r == 0)
            return fail(io_status::kTimeout,
                        timeoutText("The instrument took no data for " + std::to_string(timeoutMs) + " ms") + " (" +
                            std::to_string(done) + " of " + std::to_string(bytes.size()) + " bytes sent)");
        done += static_cast<std::size_t>(r);
    }
    return {};
}

HwResult SerialTransport::read(std::span<std::uint8_t> buffer, std::size_t& got, int timeoutMs) {
    got = 0;
    if (fd_ >= 0) return terminalRead(buffer, got, timeoutMs);
    const int budget = waitBudget(timeoutMs);
    const sp_return r = budget <= 0 ? SP_OK
                                    : sp_blocking_read_next(port_, buffer.data(), buffer.size(),
                                                            static_cast<unsigned>(budget));
    if (r < 0) return fail(io_status::kRead, "Read failed: " + lastError());
    if (r == 0)
        return fail(io_status::kTimeout,
                    timeoutText("No reply from the instrument within " + std::to_string(timeoutMs) + " ms"));
    got = static_cast<std::size_t>(r);
    return {};
}

void SerialTransport::abort() noexcept {
    if (port_) sp_flush(port_, SP_BUF_BOTH);
#ifndef _WIN32
    if (fd_ >= 0) ::tcflush(fd_, TCIOFLUSH);
#endif
}

#ifndef _WIN32
bool SerialTransport::openTerminal(std::string& why) {
    const int fd = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    termios t{};
    if (!::isatty(fd) || ::tcgetattr(fd, &t) != 0) {
        why = "not a terminal";
        ::close(fd);
        return false;
    }
    // Raw bytes both ways: 8 data bits, no parity, one stop bit, nothing
    // translated or echoed.
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | CRTSCTS);
    const std::string hs = lower(handshake_);
    if (hs.find("rts") != std::string::npos) t.c_cflag |= CRTSCTS;
    // As above: only our output is paced by XON/XOFF.
    if (hs.find("xon") != std::string::npos) t.c_iflag |= IXON;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (::cfsetspeed(&t, static_cast<speed_t>(baudrate_)) != 0) {
        why = "the terminal has no baud rate " + std::to_string(baudrate_);
        ::close(fd);
        return false;
    }
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        why = std::string("cannot configure the terminal: ") + std::strerror(errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

namespace {
// Waits for `events` on `fd`: 1 ready, 0 timed out, -1 failed.
int waitFd(int fd, short events, int ms) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = ::poll(&p, 1, ms);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 || (p.revents & (POLLERR | POLLNVAL))) return -1;
        return r > 0 ? 1 : 0;
    }
}
}  // namespace

HwResult SerialTransport::terminalWrite(std::span<const std::uint8_t> bytes, int timeoutMs) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int budget = waitBudget(timeoutMs);
        const int ready = budget <= 0 ? 0 : waitFd(fd_, POLLOUT, budget);
        if (ready < 0) return fail(io_status::kWrite, "Write failed: the device was closed");
        if (ready == 0)
            return fail(io_status::kTimeout,
                        timeoutText("The instrument took no data for " + std::to_string(timeoutMs) + " ms") + " (" +
                            std::to_string(done) + " of " + std::to_string(bytes.size()) + " bytes sent)");
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n < 0) return fail(io_status::kWrite, std::string("Write failed: ") + std::strerror(errno));
        done += static_cast<std::size_t>(n);
    }
    return {};
}

HwResult SerialTransport::terminalRead(std::span<std::uint8_t> buffer, std::size_t& got, int timeoutMs) {
    for (;;) {
        const int budget = waitBudget(timeoutMs);
        const int ready = budget <= 0 ? 0 : waitFd(fd_, POLLIN, budget);
        if (ready < 0) return fail(io_status::kRead, "Read failed: the device was closed");
        if (ready == 0)
            return fail(io_status::kTimeout,
                        timeoutText("No reply from the instrument within " + std::to_string(timeoutMs) + " ms"));
        const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return fail(io_status::kRead, std::string("Read failed: ") + (n == 0 ? "end of data" : std::strerror(errno)));
        got = static_cast<std::size_t>(n);
        return {};
    }
}
#else
bool SerialTransport::openTerminal(std::string&) { return false; }
HwResult SerialTransport::terminalWrite(std::span<const std::uint8_t>, int) { return {}; }
HwResult SerialTransport::terminalRead(std::span<std::uint8_t>, std::size_t&, int) { return {}; }
#endif

}  // namespace bt
