#pragma once
// Where the instrument is and how long to wait for it: the options every
// instrument command of btgen takes.
#include <CLI/CLI.hpp>
#include <string>

#include "bluetooth/settings.h"

namespace btgen {

struct ConnectionOptions {
    std::string tcpip;
    int gpib = -1;
    int gpibBoard = 0;
    int gpibSecondary = -1;
    std::string serial;  // a port number or a device name
    int baud = 0;
    std::string handshake;
    double timeoutMs = 0;

    void add(CLI::App& cmd);
    // The application's connection record with the options applied; a host
    // name given to --tcpip is looked up here (IPv4), an unknown one stops
    // with exit status 2.
    bt::Configuration config() const;
    // Whether an option named the instrument.
    bool given() const { return !tcpip.empty() || gpib >= 0 || !serial.empty(); }
    // Where config() leads, for messages: "GPIB 19 on board 0".
    static std::string describe(const bt::Configuration& c);
    // Reads the identification before anything is sent and stops with exit
    // status 2 when the instrument is of the other generation than
    // `platform`; an instrument that does not answer is left to the
    // command's own first exchange.
    static void checkGeneration(const bt::Configuration& c, char platform);
};

}  // namespace btgen
