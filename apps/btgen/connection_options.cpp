#include "connection_options.h"

#include "commands.h"
#include "instrument/hw_wrappers.h"
#include "app/app_state.h"

namespace btgen {

void ConnectionOptions::add(CLI::App& cmd) {
    auto* t = cmd.add_option("--tcpip", tcpip, "LAN instrument at an IPv4 address, optionally :PORT (5025)");
    auto* g = cmd.add_option("--gpib", gpib, "GPIB instrument at this primary address");
    auto* s = cmd.add_option("--serial", serial, "RS-232 instrument on serial port N");
    t->excludes(g, s);
    g->excludes(s);
    g->check(CLI::Range(0, 30));
    s->check(CLI::Range(1, 9));
    cmd.add_option("--gpib-board", gpibBoard, "GPIB board number")->capture_default_str()->check(CLI::Range(0, 15));
    cmd.add_option("--gpib-secondary", gpibSecondary, "GPIB secondary address (-1: none)")
        ->capture_default_str()
        ->check(CLI::Range(-1, 31));
    cmd.add_option("--baud", baud, "RS-232 baud rate (default: the configuration's)")->check(CLI::Range(1, 10'000'000));
    cmd.add_option("--handshake", handshake, "RS-232 handshake: None, Xon/Xoff or RTS/CTS");
    addNumberOption(cmd, "--timeout", timeoutMs, 1, 86'400'000, true,
                    "I/O timeout in milliseconds: every reply must be complete within it; a waveform transfer "
                    "waits at least 10000 ms, or this when it is longer, plus the time its size takes");
}

bt::Configuration ConnectionOptions::config() const {
    bt::Configuration c = bt::appState().configuration;
    if (!tcpip.empty()) {
        c.type = "TCPIP";
        c.TCPIP.address = tcpip;
    } else if (gpib >= 0) {
        c.type = "GPIB";
        c.GPIB.board = gpibBoard;
        c.GPIB.primary = gpib;
        c.GPIB.secondary = gpibSecondary;
    } else if (serial > 0) {
        c.type = "RS232";
        c.RS232.port = serial;
    }
    if (baud > 0) c.RS232.baudrate = baud;
    if (!handshake.empty()) c.RS232.handshake = handshake;
    if (timeoutMs > 0) bt::HwSetTimeout(c, timeoutMs);
    return c;
}

}  // namespace btgen
