#include "instrument/serial_transport.h"

#include <libserialport.h>

#include <algorithm>
#include <cctype>

namespace bt {

std::string serialDeviceName(int port) {
#ifdef _WIN32
    return "COM" + std::to_string(port);
#else
    return "/dev/ttyS" + std::to_string(port - 1);
#endif
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
}

HwResult SerialTransport::fail(int status, const std::string& what) const {
    return {status, what + " (" + name() + ")"};
}

HwResult SerialTransport::open(int /*timeoutMs*/) {
    if (baudrate_ <= 0) return fail(io_status::kArgument, "The baud rate must be a positive number");
    if (sp_get_port_by_name(device_.c_str(), &port_) != SP_OK) {
        port_ = nullptr;
        return fail(io_status::kOpen, "No such serial port: " + lastError());
    }
    if (sp_open(port_, SP_MODE_READ_WRITE) != SP_OK) {
        sp_free_port(port_);
        port_ = nullptr;
        return fail(io_status::kOpen, "Cannot open the serial port: " + lastError());
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
}

}  // namespace bt
