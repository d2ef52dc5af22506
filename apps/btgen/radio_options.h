#pragma once
// Options shared by the commands that drive a software-defined radio
// (play, capture, measure --sdr): the device, its gains, antenna and
// bandwidth, and Ctrl-C as a request to stop rather than an abrupt end.
#include <CLI/CLI.hpp>
#include <atomic>
#include <string>
#include <vector>

#include "radio/capture.h"
#include "radio/radio.h"
#include "radio/transmit.h"

namespace btgen {

struct RadioOptions {
    std::string device;  // SoapySDR device arguments
    double gain = 0;
    CLI::Option* gainOption = nullptr;
    std::vector<std::string> elementGains;  // NAME=DB
    std::string antenna;
    double bandwidth = 0;
    CLI::Option* bandwidthOption = nullptr;

    // `required`: --sdr must be given (play, capture).
    void add(CLI::App& cmd, bool required);
    // The tuning for `frequency`; bad NAME=DB stops with status 2.
    bt::radio::RadioTuning tuning(double frequency) const;
    // Opens the device; a device that is not there stops with status 4,
    // naming what was not found.
    void open(bt::radio::Radio& radio) const;
    // A capture at `rate` for `seconds` (0: until Ctrl-C) on the carrier
    // the --sg edits give.
    bt::radio::CaptureRequest captureRequest(double rate, double seconds,
                                             const std::vector<std::string>& sgEdits) const;
};

// Status 4 and the description for a radio failure, 2 for bad input.
[[noreturn]] void failRadio(const bt::radio::RadioResult& r);

// Ctrl-C sets the flag (once; a second Ctrl-C ends the program at once).
const std::atomic<bool>& stopOnInterrupt();

// The carrier the --sg Frequency and channel edits give.
double carrierOf(const std::vector<std::string>& sgEdits);

}  // namespace btgen
