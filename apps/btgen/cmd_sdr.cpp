// btgen sdr list, play and capture: the signals on a software-defined
// radio through SoapySDR. Status 4 when the radio is not there or fails,
// 2 for bad input.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <optional>

#include "analysis/recording.h"
#include "commands.h"
#include "instrument/signal_files.h"
#include "lib/errors.h"
#include "lib/numtext.h"
#include "radio/capture.h"
#include "radio/capture_file.h"
#include "radio/radio.h"
#include "radio/transmit.h"
#include "radio_options.h"
#include "sdr_files.h"

namespace btgen {
namespace {

std::string mhz(double hz) { return bt::formatNumber(hz / 1e6) + " MHz"; }

// A line redrawn in place on a terminal, printed every few seconds
// otherwise (a log keeps some trace of a long run).
class ProgressLine {
public:
    ProgressLine() : terminal_(::isatty(STDERR_FILENO) == 1) {}
    ~ProgressLine() { finish(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    // Ends the line so that what follows starts on its own.
    void finish() {
        if (terminal_ && drawn_) std::cerr << '\n';
        drawn_ = false;
    }
    void show(const std::string& text) {
        if (terminal_) {
            std::cerr << "\r\033[K" << text << std::flush;
            drawn_ = true;
        } else if (++calls_ % 10 == 1) {
            std::cerr << text << '\n';
        }
    }

private:
    bool terminal_;
    bool drawn_ = false;
    int calls_ = 0;
};

void setupList(CLI::App& sdr) {
    static std::string filter;
    auto* list = sdr.add_subcommand("list", "List the radios SoapySDR finds (their device arguments)");
    list->add_option("ARGS", filter, "Only those matching these device arguments (driver=hackrf)");
    list->callback([] {
        std::vector<bt::radio::DeviceInfo> devices;
        if (const auto r = bt::radio::listDevices(filter, devices); !r.ok()) failRadio(r);
        if (devices.empty()) std::cout << "no radio found\n";
        for (const auto& d : devices) std::cout << d.args << (d.label.empty() ? "" : "  (" + d.label + ")") << '\n';
    });
}

struct PlayOptions {
    GenerationOptions generation;
    RadioOptions radio;
    std::string input, format;
    double rate = 0;
    double loOffset = 0;
    double repeat = 1;
    CLI::Option* repeatOption = nullptr;
    bool loop = false;
};

PlayOptions& playOptions() {
    static PlayOptions o;
    return o;
}

// The samples of a recording's first row and their rate.
std::pair<bt::ComplexRow, double> readInput(const PlayOptions& o) {
    bt::analysis::SampleFormat format = bt::analysis::SampleFormat::Auto;
    if (!o.format.empty()) format = *bt::analysis::parseSampleFormat(o.format);
    else if (const auto sdr = sdrFormatOfExtension(o.input)) format = readerFormat(*sdr);
    try {
        const bt::analysis::Recording rec = bt::analysis::openRecording(o.input, format, {});
        const double rate = o.rate > 0 ? o.rate : rec.sampleRate.value_or(0);
        if (!(rate > 0)) fail(kExitBadInput, o.input + ": the sample rate is not in the file; give it with --rate HZ.");
        if (rec.rows.empty() || rec.rows.front().source->size() == 0) fail(kExitBadInput, o.input + " holds no samples.");
        const auto& source = *rec.rows.front().source;
        bt::ComplexRow w(source.size());
        source.readExact(0, w.size(), w.data());
        if (const auto k = bt::firstNonFiniteSample(w))
            fail(kExitBadInput, o.input + ": sample " + std::to_string(*k + 1) + " is not a finite number.");
        return {std::move(w), rate};
    } catch (const bt::Error& e) {
        fail(kExitBadInput, e.what());
    }
}

void runPlay() {
    const PlayOptions& o = playOptions();
    bt::ComplexRow waveform;
    bt::radio::PlayRequest request;
    if (!o.input.empty()) {
        std::tie(waveform, request.waveformRate) = readInput(o);
        request.tuning = o.radio.tuning(carrierOf(o.generation.sgEdits));
    } else {
        const auto [p, sigGen] = o.generation.resolve(std::cerr);
        bt::GeneratedSignal s = generateWithProgress(p);
        if (const auto k = bt::firstNonFiniteSample(s.waveform))
            fail(kExitGeneration, "Sample " + std::to_string(*k + 1) + " of the waveform is not a finite number.");
        waveform = std::move(s.waveform);
        request.waveformRate = sigGen.SamplingRate;
        request.tuning = o.radio.tuning(sigGen.Frequency);
    }
    request.loOffset = o.loOffset;
    request.repeat = o.loop ? 0 : static_cast<std::uint64_t>(o.repeat);
    request.stop = &stopOnInterrupt();
    ProgressLine progress;
    request.progress = [&](double seconds, std::uint64_t underflows) {
        progress.show("playing: " + bt::formatNumber(std::round(seconds * 10) / 10) + " s" +
                      (underflows ? ", " + std::to_string(underflows) + " underflows" : ""));
    };

    bt::radio::Radio radio;
    o.radio.open(radio);
    std::cout << "radio: " << radio.description() << '\n';
    std::cout << "carrier: " << mhz(request.tuning.frequency) << std::endl;  // seen before the stream runs
    const bt::radio::PlayReport r = bt::radio::play(radio, waveform, request);
    progress.finish();
    if (r.plan.deviceRate > 0) {
        std::cout << "sample rate: " << mhz(r.plan.deviceRate);
        if (r.plan.up != r.plan.down)
            std::cout << " (resampled from " << mhz(request.waveformRate) << ", x" << r.plan.up << "/" << r.plan.down
                      << ")";
        std::cout << '\n';
    }
    if (r.plan.loOffset != 0)
        std::cout << "LO offset: " << bt::formatNumber(r.plan.loOffset) << " Hz (the radio tuned to "
                  << mhz(request.tuning.frequency + r.plan.loOffset) << ")\n";
    if (!r.result.ok()) failRadio(r.result);
    std::cout << "played: " << bt::formatNumber(std::round(r.repetitions * 1000) / 1000) << " times, "
              << r.samplesWritten << " samples" << (r.stopped ? " (stopped)" : "") << '\n';
    std::cout << "underflows: " << r.underflows << '\n';
    if (r.underflows)
        std::cerr << programName() << ": warning: the radio ran out of samples " << r.underflows
                  << (r.underflows == 1 ? " time" : " times") << ": the signal had gaps there.\n";
}

void setupPlay(CLI::App& app) {
    PlayOptions& o = playOptions();
    auto* cmd = app.add_subcommand("play",
                                   "Play the settings' waveform (or a recording) on a software-defined radio: once, "
                                   "--repeat N times or --loop until Ctrl-C, without gaps between repetitions. The "
                                   "carrier is --sg Frequency or channel. SDRs have no marker outputs");
    o.generation.add(*cmd);
    o.radio.add(*cmd, true);
    auto* input = cmd->add_option("--input", o.input,
                                  "Play this recording (MAT-file, SigMF, raw or SDR sample file) instead of "
                                  "generating from the settings")
                      ->check(CLI::Validator(
                          [](std::string& name) {
                              std::error_code ec;
                              if (std::filesystem::exists(name, ec) || std::filesystem::exists(bt::sigmfFiles(name).meta, ec))
                                  return std::string();
                              return "File does not exist: " + name;
                          },
                          "FILE"));
    for (const char* opt : {"--settings", "--set", "--user-file"}) input->excludes(cmd->get_option(opt));
    addNumberOption(*cmd, "--rate", o.rate, 1, 1e12, false, "Sample rate of an --input file that does not tell it")
        ->type_name("HZ");
    cmd->add_option("--format", o.format, "Sample layout of a raw --input (raw, cf32, ci16, ci8, cu8)")
        ->check(CLI::IsMember({"raw", "cf32", "ci16", "ci8", "cu8"}));
    addNumberOption(*cmd, "--lo-offset", o.loOffset, -1e9, 1e9, false,
                    "Tune the radio this many Hz beside the carrier and move the waveform back digitally, so "
                    "the radio's carrier leakage and I/Q image fall outside the channel (default 0)")
        ->type_name("HZ");
    o.repeatOption = addNumberOption(*cmd, "--repeat", o.repeat, 1, 1e12, true, "Play the waveform N times")
                         ->type_name("N");
    auto* loop = cmd->add_flag("--loop", o.loop, "Play until Ctrl-C");
    loop->excludes(o.repeatOption);
    cmd->callback(runPlay);
}

struct CaptureOptions {
    RadioOptions radio;
    std::vector<std::string> sgEdits;
    double rate = 0, duration = 0;
    std::string output;
};

CaptureOptions& captureOptions() {
    static CaptureOptions o;
    return o;
}

void runCapture() {
    const CaptureOptions& o = captureOptions();
    if (const auto problem = bt::sigmfNameProblem(o.output)) fail(kExitBadInput, *problem);
    bt::radio::CaptureRequest request = o.radio.captureRequest(o.rate, o.duration, o.sgEdits);

    bt::radio::Radio radio;
    o.radio.open(radio);
    std::optional<bt::radio::SigmfCaptureWriter> writer;
    try {
        writer.emplace(o.output);
    } catch (const bt::Error& e) {
        fail(kExitSave, "Error Saving " + o.output + ": " + e.what());
    }
    const std::string started = bt::radio::utcNow();
    ProgressLine progress;
    double rate = 0;
    request.progress = [&](std::uint64_t samples, std::uint64_t overflows) {
        const double seconds = rate > 0 ? double(samples) / rate : 0;
        std::string text = "capturing: " + bt::formatNumber(std::round(seconds * 10) / 10) + " s";
        if (o.duration > 0) text += " of " + bt::formatNumber(o.duration) + " s";
        if (overflows) text += ", " + std::to_string(overflows) + " overflows";
        progress.show(text);
    };
    const bt::radio::CaptureReport r = bt::radio::capture(
        radio, request, [&](const std::complex<float>* s, std::size_t n) { return writer->append(s, n); },
        [&](double actual) {
            rate = actual;
            if (actual != o.rate)
                std::cerr << programName() << ": note: the radio runs at " << mhz(actual) << ", the rate nearest "
                          << mhz(o.rate) << "\n";
        });
    if (r.result.status == bt::radio::radio_status::kBadInput && !writer->error().empty())
        fail(kExitSave, "Error Saving " + o.output + ": " + writer->error());
    if (r.samples == 0 && !r.result.ok()) failRadio(r.result);
    bt::radio::CaptureDescription d;
    d.hardware = radio.description();
    d.frequency = request.tuning.frequency;
    d.sampleRate = r.rate;
    d.gain = radio.gain(bt::radio::Direction::Rx);
    d.antenna = o.radio.antenna;
    d.gaps = r.gaps;
    d.datetime = started;
    bt::SigmfFiles files;
    try {
        files = writer->finish(d);
    } catch (const bt::Error& e) {
        fail(kExitSave, "Error Saving " + o.output + ": " + e.what());
    }
    std::cout << "captured: " << r.samples << " samples, " << bt::formatNumber(double(r.samples) / r.rate)
              << " s at " << mhz(r.rate) << " on " << mhz(d.frequency) << (r.stopped ? " (stopped)" : "") << '\n';
    std::cout << "overflows: " << r.overflows << '\n';
    std::cout << "wrote " << files.meta.string() << " and " << files.data.string() << '\n';
    // A capture cut short by the radio keeps what came, and says so.
    if (!r.result.ok()) {
        std::string text = r.result.description;
        if (!text.ends_with(".")) text += ".";
        failRadio({r.result.status, text + " The " + std::to_string(r.samples) + " samples received before it were kept in " +
                                        files.meta.string() + "."});
    }
}

void setupCapture(CLI::App& app) {
    CaptureOptions& o = captureOptions();
    auto* cmd = app.add_subcommand("capture",
                                   "Receive from a software-defined radio into a SigMF recording (the frequency, "
                                   "rate, gain and radio in its metadata)");
    o.radio.add(*cmd, true);
    cmd->add_option("--sg", o.sgEdits, "The carrier to tune to: Frequency=2441e6 (Hz) or channel=39")
        ->type_name("FIELD=VALUE");
    addNumberOption(*cmd, "--rate", o.rate, 1, 1e10, false, "Sample rate in Hz (the nearest the radio offers)")
        ->type_name("HZ")
        ->required();
    addNumberOption(*cmd, "--duration", o.duration, 0, 1e7, false, "Seconds to capture; 0 or none: until Ctrl-C")
        ->type_name("S");
    cmd->add_option("-o,--output", o.output, "The recording OUT.sigmf-meta / OUT.sigmf-data")
        ->required()
        ->type_name("OUT")
        ->check(nonEmptyFileName());
    cmd->callback(runCapture);
}

void setupSdr(CLI::App& app) {
    auto* sdr = app.add_subcommand("sdr", "Software-defined radios through SoapySDR");
    sdr->require_subcommand(1);
    setupList(*sdr);
    setupPlay(app);
    setupCapture(app);
}

const RegisterCommand sdrCommand(setupSdr);

}  // namespace
}  // namespace btgen
