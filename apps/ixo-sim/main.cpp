// ixo-sim: an IXO-family signal generator simulated on a loopback SCPI
// socket, for tests, CI and trying the application without an instrument.
#include <CLI/CLI.hpp>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <csignal>
#include <fstream>
#include <iostream>
#include <mutex>

#include "lib/numtext.h"
#include "sim/sim_server.h"

int main(int argc, char** argv) {
    CLI::App app{"IXO signal generator simulator (SCPI over TCP on 127.0.0.1)"};
    int port = 5025;
    std::string model = "c";
    std::string idn;
    std::vector<std::string> faults;
    std::uint64_t memory = 0;
    double idleSeconds = 60;
    bt::sim::ReceiverModel receiver;
    app.add_option("--port", port, "TCP port; 0 picks a free port, printed on the first line")
        ->check(CLI::Range(0, 65535))
        ->capture_default_str();
    app.add_option("--model", model, "Instrument generation: b (IXO-B) or c (IXO-C)")
        ->check(CLI::IsMember({"b", "c"}))
        ->capture_default_str();
    app.add_option("--idn", idn, "Reply to *IDN? (default: the model's own)");
    // Read as text: the parser would take "-5" as an enormous unsigned number.
    app.add_option_function<std::string>(
           "--memory",
           [&memory](const std::string& text) {
               const bt::OptionNumber n = bt::readOptionNumber(text, 1, 1e12, true);
               if (!n.value) throw CLI::ValidationError("--memory", "\"" + text + "\" " + n.error);
               memory = static_cast<std::uint64_t>(*n.value);
           },
           "Waveform memory in samples (default 1 M for b, 32 M for c)")
        ->type_name("SAMPLES");
    app.add_option("--fault", faults,
                   "Misbehave: close-after=BYTES, stall-after=BYTES, late=MS, garble, "
                   "bad-block=indefinite|zero|nondigit|long, flood=BYTES");
    // Numbers are read as text and checked here: a range check alone lets
    // "nan" through.
    const auto number = [&app](const std::string& name, double& target, double min, double max,
                               const std::string& help) {
        return app.add_option_function<std::string>(
            name,
            [&target, name, min, max](const std::string& text) {
                const bt::OptionNumber n = bt::readOptionNumber(text, min, max, false);
                if (!n.value) throw CLI::ValidationError(name, "\"" + text + "\" " + n.error);
                target = *n.value;
            },
            help);
    };
    number("--rx-latency", receiver.latencyUs, 0.0, 1000.0,
           "Latency of the simulated receiver behind the BERT, microseconds (default 0.5)");
    number("--rx-noise", receiver.noise, 0.0, 10.0,
           "Input noise of the simulated receiver, its rms in 1 MHz against the signal's (default 0.1: 20 dB)");
    number("--idle-timeout", idleSeconds, 0.001, 86'400,
           "Close a connection that sends nothing (or takes no reply) for this many seconds (default 60)")
        ->type_name("SECONDS");
    double lineSeconds = 60;
    number("--line-timeout", lineSeconds, 0.001, 86'400,
           "Close a connection whose command line has not arrived whole this many seconds after its first byte "
           "(default 60)")
        ->type_name("SECONDS");
    std::string transcriptFile;
    app.add_option("--transcript", transcriptFile,
                   "Write every command received to FILE as it arrives, one per line (a block as its header and "
                   "length)")
        ->type_name("FILE");
    bool serialLine = false;
    app.add_flag("--serial-pty", serialLine,
                 "Also answer on a pseudo-terminal, as an instrument on an RS-232 line; its device is printed on "
                 "the second line (give it to --serial)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // A mistake on the command line is status 2, whatever the parser's
        // own number for it.
        return app.exit(e) == 0 ? 0 : 2;
    }

    bt::sim::ServerOptions options;
    options.instrument.model = model.at(0);
    options.instrument.idn = idn;
    options.instrument.memorySamples = memory;
    options.idleTimeoutMs = static_cast<int>(std::lround(idleSeconds * 1000));
    options.lineTimeoutMs = static_cast<int>(std::lround(lineSeconds * 1000));
    std::mutex logMutex;
    options.log = [&logMutex](const std::string& line) {
        std::lock_guard lock(logMutex);
        std::cerr << "ixo-sim: " << line << std::endl;
    };
    options.instrument.receiver = receiver;
    for (const auto& f : faults)
        if (auto error = bt::sim::addFault(options.faults, f)) {
            std::cerr << "ixo-sim: " << *error << '\n';
            return 2;
        }

    // The whole transcript goes to the file; memory keeps only its tail.
    // A FIFO would hold the opening until a reader came, before the port is
    // printed: refused. Anything else that takes writes (a file, a
    // terminal, /dev/null) is opened without waiting.
    std::ofstream transcript;
    if (!transcriptFile.empty()) {
        struct stat st{};
        if (::stat(transcriptFile.c_str(), &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
            std::cerr << "ixo-sim: cannot write the transcript " << transcriptFile
                      << ": a pipe or socket is not taken; give a file\n";
            return 2;
        }
        transcript.open(transcriptFile, std::ios::out | std::ios::trunc);
        if (!transcript) {
            std::cerr << "ixo-sim: cannot write the transcript " << transcriptFile << ": " << std::strerror(errno) << '\n';
            return 2;
        }
    }

    // Wait for the stop signal on this thread only; blocked only now, so
    // that until the server runs the signals end the program as usual.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    bt::sim::Server server(options);
    bool transcriptFailed = false;
    if (transcript.is_open())
        server.instrument().setTranscriptSink([&](const std::string& line) {
            if (transcriptFailed) return;
            transcript << line << '\n' << std::flush;
            if (!transcript) {
                // Said once: every later line would fail the same way.
                transcriptFailed = true;
                options.log("cannot write the transcript " + transcriptFile + ": " + std::strerror(errno) +
                            "; commands are no longer written to it");
            }
        });
    std::string error;
    const std::uint16_t bound = server.start(static_cast<std::uint16_t>(port), error);
    if (bound == 0) {
        std::cerr << "ixo-sim: " << error << '\n';
        return 1;
    }
    std::string device;
    if (serialLine) {
        device = server.startTerminal(error);
        if (device.empty()) {
            std::cerr << "ixo-sim: " << error << '\n';
            return 1;
        }
    }
    std::cout << bound << '\n';
    if (!device.empty()) std::cout << device << '\n';
    std::cout << std::flush;
    std::cerr << "ixo-sim: " << server.instrument().identification() << " listening on 127.0.0.1:" << bound
              << (device.empty() ? "" : " and on " + device) << '\n';
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    return 0;
}
