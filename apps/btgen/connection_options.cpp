#include "connection_options.h"

#include <arpa/inet.h>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <netdb.h>
#include <sys/socket.h>

#include "commands.h"
#include "instrument/connection_editor.h"
#include "instrument/hw_wrappers.h"
#include "instrument/serial_transport.h"
#include "app/app_state.h"
#include "app/settings_files.h"
#include "lib/numtext.h"

namespace btgen {

void ConnectionOptions::add(CLI::App& cmd) {
    auto* t = cmd.add_option("--tcpip", tcpip, "LAN instrument at an IPv4 address or host name, optionally :PORT (5025)");
    auto* g = cmd.add_option("--gpib", gpib, "GPIB instrument at this primary address");
    auto* s = cmd.add_option("--serial", serial,
                             "RS-232 instrument on serial port N (1..9) or on a device by name (/dev/ttyUSB0)")
                  ->type_name("N|DEVICE");
    t->excludes(g, s);
    g->excludes(s);
    g->check(CLI::Range(0, 30));
    s->check([](const std::string& text) {
        bt::Configuration probe;
        return bt::chooseSerialPort(probe, text);
    });
    cmd.add_option("--gpib-board", gpibBoard, "GPIB board number")->capture_default_str()->check(CLI::Range(0, 15));
    cmd.add_option("--gpib-secondary", gpibSecondary, "GPIB secondary address (-1: none)")
        ->capture_default_str()
        ->check(CLI::Range(-1, 31));
    cmd.add_option("--baud", baud, "RS-232 baud rate (default: the configuration's)")->check(CLI::Range(1, 10'000'000));
    cmd.add_option("--handshake", handshake, "RS-232 handshake: None, Xon/Xoff or RTS/CTS");
    addNumberOption(cmd, "--timeout", timeoutMs, 1, 86'400'000, false,
                    "I/O timeout in milliseconds: every reply must be complete within it; a waveform transfer "
                    "waits at least 10000 ms, or this when it is longer, plus the time its size takes");
}

bt::Configuration ConnectionOptions::config() const {
    bt::Configuration c = bt::appState().configuration;
    // Without a connection option, the one the desktop application keeps
    // in the working folder's I/O configuration, as it would use it.
    std::error_code ec;
    if (!given() && std::filesystem::exists(bt::kConfigFileName, ec)) {
        const bt::LoadedConfig loaded = bt::loadConfig();
        if (!loaded.configuration)
            fail(kExitBadInput, std::string(bt::kConfigFileName) + " cannot be used: " + loaded.reason);
        c = *loaded.configuration;
        std::cerr << programName() << ": using the connection of " << bt::kConfigFileName << ": " << describe(c)
                  << '\n';
    }
    if (!tcpip.empty()) {
        c.type = "TCPIP";
        c.TCPIP.address = tcpip;
        const auto colon = tcpip.find(':');
        const std::string host = tcpip.substr(0, colon);
        in_addr probe{};
        if (!host.empty() && inet_pton(AF_INET, host.c_str(), &probe) != 1) {
            addrinfo hints{};
            hints.ai_family = AF_INET;
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* found = nullptr;
            const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
            if (rc != 0 || !found)
                fail(kExitBadInput, "--tcpip: cannot find the host \"" + host + "\": " + ::gai_strerror(rc));
            char text[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr, text, sizeof text);
            ::freeaddrinfo(found);
            c.TCPIP.address = text + (colon == std::string::npos ? std::string() : tcpip.substr(colon));
        }
    } else if (gpib >= 0) {
        c.type = "GPIB";
        c.GPIB.board = gpibBoard;
        c.GPIB.primary = gpib;
        c.GPIB.secondary = gpibSecondary;
    } else if (!serial.empty()) {
        c.type = "RS232";
        bt::chooseSerialPort(c, serial);
    }
    if (baud > 0) c.RS232.baudrate = baud;
    if (!handshake.empty()) c.RS232.handshake = handshake;
    if (timeoutMs > 0) bt::HwSetTimeout(c, timeoutMs);
    return c;
}

std::string ConnectionOptions::describe(const bt::Configuration& c) {
    if (c.type == "TCPIP") return "LAN " + c.TCPIP.address;
    if (c.type == "SDR") return "software-defined radio " + c.SDR.args + " (give --tcpip, --gpib or --serial for the IXO)";
    if (c.type == "RS232")
        return c.RS232.device.empty() ? "RS-232 port " + bt::formatNumber(c.RS232.port) + " (" +
                                            bt::serialDeviceName(static_cast<int>(c.RS232.port)) + ")"
                                      : "RS-232 " + c.RS232.device;
    return "GPIB " + bt::formatNumber(c.GPIB.primary) + " on board " + bt::formatNumber(c.GPIB.board);
}

void ConnectionOptions::checkGeneration(const bt::Configuration& c, char platform) {
    const bt::InstrModel m = bt::GetInstrModel(c);
    if (m.status != 0 || (m.model != "b" && m.model != "c") || m.model[0] == platform) return;
    const std::string letter = m.model.substr(0, 1);
    std::string upper = letter;
    upper[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[0])));
    fail(kExitBadInput, "the instrument is an IXO-" + upper + ": use --platform " + letter);
}

}  // namespace btgen
