#include "radio_options.h"

#include <csignal>
#include <iostream>
#include <sstream>

#include "commands.h"
#include "lib/numtext.h"

namespace btgen {

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) {
    if (interrupted.exchange(true)) {
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
    }
}

}  // namespace

void RadioOptions::add(CLI::App& cmd, bool required) {
    auto* sdr = cmd.add_option("--sdr", device,
                               "Software-defined radio by its SoapySDR device arguments (driver=hackrf, "
                               "driver=uhd,serial=...); btgen sdr list shows them")
                    ->type_name("ARGS");
    if (required) sdr->required();
    gainOption = addNumberOption(cmd, "--gain", gain, -100, 200, false,
                                 "Overall gain in dB, spread by the radio over its stages")
                     ->type_name("DB");
    cmd.add_option("--gain-element", elementGains, "Gain of one stage, after --gain: NAME=DB (LNA=20)")
        ->type_name("NAME=DB");
    cmd.add_option("--antenna", antenna, "Antenna port by name; default: the radio's own");
    bandwidthOption = addNumberOption(cmd, "--bandwidth", bandwidth, 1, 1e10, false,
                                      "Analog filter bandwidth in Hz; default: the radio's own")
                          ->type_name("HZ");
}

bt::radio::RadioTuning RadioOptions::tuning(double frequency) const {
    bt::radio::RadioTuning t;
    t.frequency = frequency;
    if (gainOption && gainOption->count()) t.gain = gain;
    for (const std::string& e : elementGains) {
        const auto eq = e.find('=');
        const std::optional<double> db = eq == std::string::npos ? std::nullopt : bt::parseNumber(e.substr(eq + 1));
        if (eq == 0 || !db || !std::isfinite(*db))
            fail(kExitBadInput, "--gain-element \"" + e + "\" is not NAME=DB.");
        t.elementGains.emplace_back(e.substr(0, eq), *db);
    }
    t.antenna = antenna;
    if (bandwidthOption && bandwidthOption->count()) t.bandwidth = bandwidth;
    return t;
}

void RadioOptions::open(bt::radio::Radio& radio) const {
    if (const bt::radio::RadioResult r = radio.open(device); !r.ok()) failRadio(r);
}

bt::radio::CaptureRequest RadioOptions::captureRequest(double rate, double seconds,
                                                      const std::vector<std::string>& sgEdits) const {
    bt::radio::CaptureRequest request;
    request.rate = rate;
    request.seconds = seconds;
    request.tuning = tuning(carrierOf(sgEdits));
    request.stop = &stopOnInterrupt();
    return request;
}

void failRadio(const bt::radio::RadioResult& r) {
    fail(r.status == bt::radio::radio_status::kBadInput ? kExitBadInput : kExitInstrument, r.description);
}

const std::atomic<bool>& stopOnInterrupt() {
    std::signal(SIGINT, onInterrupt);
    return interrupted;
}

double carrierOf(const std::vector<std::string>& sgEdits) {
    bt::SigGenSettings s;
    std::ostringstream log;
    applySigGenEdits(s, sgEdits, 'c', log);
    return s.Frequency;
}

}  // namespace btgen
