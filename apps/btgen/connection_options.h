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
    int serial = 0;
    int baud = 0;
    std::string handshake;
    double timeoutMs = 0;

    void add(CLI::App& cmd);
    // The application's connection record with the options applied.
    bt::Configuration config() const;
};

}  // namespace btgen
