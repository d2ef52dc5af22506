// btgen measure: find the packets of recordings, decode them and measure
// the transmitter, with pass/fail per measurement. Exit status 0 when every
// measured test passes, 3 when one fails or no packet is found, 2 for bad
// input.
#include <filesystem>
#include <iostream>
#include <optional>

#include "analysis/recording.h"
#include "analysis/report.h"
#include "commands.h"
#include "radio/capture.h"
#include "radio/live_receiver.h"
#include "radio_options.h"
#include "sdr_files.h"
#include "lib/errors.h"
#include "lib/numtext.h"

namespace btgen {
namespace {

constexpr int kExitFailed = kExitMeasurement;

struct Options {
    std::vector<std::string> files;
    std::string lap, uap, whitening, format;
    bool sniff = false;
    double rate = 0;
    bool json = false;
    bool summaryOnly = false;
    double refDbm = 0;
    CLI::Option* refDbmOption = nullptr;
    bool noVerify = false;
    double matLimit = 0;
    RadioOptions radio;  // --sdr: measure live from a radio
    std::vector<std::string> sgEdits;
    double duration = 0;
};

Options& options() {
    static Options o;
    return o;
}

// A hexadecimal number of at most `bits` bits ("C0FFEE", "0xC0FFEE").
unsigned long parseHex(std::string text, unsigned bits, const std::string& what) {
    if (text.starts_with("0x") || text.starts_with("0X")) text = text.substr(2);
    std::size_t used = 0;
    unsigned long v = 0;
    try {
        v = std::stoul(text, &used, 16);
    } catch (const std::exception&) {
        used = 0;
    }
    if (text.empty() || used != text.size() || v >= (1ul << bits))
        fail(kExitBadInput, what + " \"" + text + "\" is not a hexadecimal number of " + std::to_string(bits) + " bits.");
    return v;
}

int report(const std::vector<bt::analysis::ReceptionRow>& rows, bool json, bool summaryOnly = false,
           std::optional<double> refDbm = {}) {
    std::vector<const bt::analysis::Reception*> all;
    for (const auto& r : rows) all.push_back(r.reception);
    const bt::analysis::MeasurementSummary summary = bt::analysis::summariseAll(all, refDbm);
    // File names need not be UTF-8: their undecodable bytes are printed as
    // U+FFFD rather than failing the whole report.
    if (json) {
        nlohmann::json j = bt::analysis::reportJson(rows, summary);
        if (summaryOnly) j = {{"units", j["units"]}, {"summary", j["summary"]}};
        std::cout << j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    } else if (summaryOnly) {
        bt::analysis::printSummary(std::cout, rows, summary);
    } else {
        bt::analysis::printReport(std::cout, rows, summary);
    }
    return bt::analysis::verdictOf(rows, summary) == bt::analysis::Verdict::Pass ? 0 : kExitFailed;
}

// The receiver options --lap, --uap and --whitening give.
bt::analysis::ReceiverOptions receiverOptions(const Options& o) {
    bt::analysis::ReceiverOptions ro;
    if (!o.lap.empty()) ro.lap = static_cast<std::uint32_t>(parseHex(o.lap, 24, "The LAP"));
    if (!o.uap.empty()) ro.uap = static_cast<std::uint8_t>(parseHex(o.uap, 8, "The UAP"));
    if (!o.whitening.empty()) {
        const std::optional<double> w = bt::parseNumber(o.whitening);
        if (!w || *w < 0 || *w > 127 || *w != std::floor(*w))
            fail(kExitBadInput, "The whitening start value \"" + o.whitening + "\" must be 0 (none) to 127.");
        ro.whitening = static_cast<unsigned>(*w);
    }
    return ro;
}

// measure --sdr: the radio's samples go straight into the receiver; each
// packet's line is printed as it is found and the running summary after
// each window that found one. Ctrl-C or the end of --duration ends with
// the summary.
void runLive() {
    const Options& o = options();
    if (o.rate <= 0) fail(kExitBadInput, "--sdr needs the sample rate to receive at: --rate HZ (4e6).");
    if (o.json) fail(kExitBadInput, "--json is not offered with --sdr: packets are printed as they come.");
    const bt::analysis::ReceiverOptions ro = receiverOptions(o);
    bt::radio::CaptureRequest request = o.radio.captureRequest(o.rate, o.duration, o.sgEdits);
    bt::radio::Radio radio;
    o.radio.open(radio);
    std::optional<bt::radio::LiveReceiver> receiver;
    std::size_t reported = 0;
    const auto runningSummary = [&] {
        const auto& r = receiver->reception();
        if (r.packets.size() == reported || o.summaryOnly) return;
        reported = r.packets.size();
        std::size_t failing = 0;
        for (const auto& t : r.summary.tests) failing += t.pass ? 0 : 1;
        std::cout << "  -- " << bt::formatNumber(std::round(double(r.samples) / r.sampleRate * 10) / 10) << " s: "
                  << r.packets.size() << " packets, " << r.summary.confirmedPackets << " confirmed, "
                  << r.summary.tests.size() - failing << " of " << r.summary.tests.size() << " tests pass\n"
                  << std::flush;
    };
    const bt::radio::CaptureReport report = bt::radio::capture(
        radio, request,
        [&](const std::complex<float>* s, std::size_t n) {
            receiver->push(s, n);
            runningSummary();
            return true;
        },
        [&](double rate) {
            try {
                receiver.emplace(rate, ro, [&](std::size_t number, const bt::analysis::ReceivedPacket& p) {
                    if (o.summaryOnly) return;
                    if (number == 1) bt::analysis::printPacketHeader(std::cout);
                    bt::analysis::printPacketLine(std::cout, number, p);
                    std::cout << std::flush;
                });
            } catch (const bt::Error& e) {
                fail(kExitBadInput, e.what());
            }
            std::cout << "receiving from " << radio.description() << " at " << bt::formatNumber(rate / 1e6)
                      << " MHz on " << bt::formatNumber(request.tuning.frequency / 1e6) << " MHz\n" << std::flush;
        });
    if (!receiver) failRadio(report.result);
    receiver->finish();
    bt::analysis::Reception r = receiver->reception();
    std::cout << '\n';
    const std::vector<bt::analysis::ReceptionRow> rows = {{"live", &r}};
    r.summary.referenceDbm = o.refDbmOption->count() > 0 ? std::optional<double>(o.refDbm) : std::nullopt;
    bt::analysis::printSummary(std::cout, rows, r.summary);
    std::cout << "received: " << r.samples << " samples, overflows: " << report.overflows << '\n';
    if (report.overflows)
        std::cerr << programName() << ": warning: the radio lost samples " << report.overflows
                  << (report.overflows == 1 ? " time" : " times") << "; packets there were cut.\n";
    if (!report.result.ok()) failRadio(report.result);
    const int status = bt::analysis::verdictOf(rows, r.summary) == bt::analysis::Verdict::Pass ? 0 : kExitFailed;
    if (status != 0) throw CLI::RuntimeError(status);
}

void run() {
    const Options& o = options();
    const bt::analysis::ReceiverOptions ro = receiverOptions(o);
    bt::analysis::SampleFormat format = bt::analysis::SampleFormat::Auto;
    if (!o.format.empty()) format = *bt::analysis::parseSampleFormat(o.format);

    std::vector<bt::analysis::Recording> recordings;
    std::vector<bt::analysis::Reception> receptions;
    std::vector<std::string> labels;
    for (const std::string& file : o.files) {
        bt::analysis::Recording rec;
        // An SDR tool's sample file is named by its layout.
        bt::analysis::SampleFormat fileFormat = format;
        if (format == bt::analysis::SampleFormat::Auto) {
            if (const std::optional<SdrFormat> sdr = sdrFormatOfExtension(file)) fileFormat = readerFormat(*sdr);
        }
        if (fileFormat != bt::analysis::SampleFormat::Auto && fileFormat != bt::analysis::SampleFormat::Raw16 &&
            o.rate <= 0)
            fail(kExitBadInput, file + ": the sample rate is not in a file of bare samples; give it with --rate HZ.");
        try {
            rec = bt::analysis::openRecording(file, fileFormat, {.verify = !o.noVerify, .maxMatBytes = static_cast<std::uint64_t>(o.matLimit)});
        } catch (const bt::Error& e) {
            fail(kExitBadInput, e.what());
        }
        const double rate = o.rate > 0 ? o.rate : rec.sampleRate.value_or(0);
        if (rate <= 0)
            fail(kExitBadInput, file + ": the sample rate is not in the file; give it with --rate HZ.");
        if (rec.rows.empty()) labels.push_back(file), receptions.push_back({rate, 0, {}, {}, {}});
        for (const auto& row : rec.rows) {
            try {
                receptions.push_back(bt::analysis::receive(*row.source, rate, ro));
                bt::analysis::referPowerToFullScale(receptions.back(), rec.fullScale);
            } catch (const bt::Error& e) {
                fail(kExitBadInput, file + ": " + e.what());
            }
            labels.push_back(o.files.size() > 1 || rec.rows.size() > 1 ? file + " " + row.label : file);
        }
        recordings.push_back(std::move(rec));
    }
    std::vector<bt::analysis::ReceptionRow> rows;
    for (std::size_t k = 0; k < receptions.size(); ++k) rows.push_back({labels[k], &receptions[k]});
    const int status = report(rows, o.json, o.summaryOnly,
                              o.refDbmOption->count() > 0 ? std::optional<double>(o.refDbm) : std::nullopt);
    if (status != 0) throw CLI::RuntimeError(status);
}

void setupMeasure(CLI::App& app) {
    Options& o = options();
    auto* cmd = app.add_subcommand("measure",
                                   "Find, decode and measure the packets of recordings (transmitter tests with "
                                   "pass limits). Exit status 0: every measured test passes; 3: a test fails or no "
                                   "packet is found; 2: bad input");
    // A recording is named as in plot: a file, or the base name of a SigMF
    // recording; positional or --input.
    const CLI::Validator recording(
        [](std::string& name) {
            std::error_code ec;
            if (std::filesystem::exists(name, ec) || std::filesystem::exists(name + ".sigmf-meta", ec))
                return std::string();
            return "File does not exist: " + name;
        },
        "FILE");
    auto* files = cmd->add_option("FILE", o.files,
                                  "Recordings: MAT-file (`waveform`, `dtWaveform` row by row, or the frame's "
                                  "`samples` or `wave`), SigMF (.sigmf-meta, .sigmf-data or the base name; cf32_le, "
                                  "ci16_le), or raw samples")
                      ->check(recording);
    auto* input = cmd->add_option("--input", o.files, "A recording, as FILE (the name plot takes it by)")
                      ->check(recording);
    files->excludes(input);
    o.radio.add(*cmd, false);
    cmd->callback([files, input] {
        const Options& opt = options();
        if (!opt.radio.device.empty()) {
            if (files->count() + input->count() > 0) fail(kExitBadInput, "Give recordings or --sdr, not both.");
            runLive();
            return;
        }
        if (files->count() + input->count() == 0) throw CLI::RequiredError("FILE, --input or --sdr");
        run();
    });
    cmd->add_option("--sg", o.sgEdits, "With --sdr: the carrier to tune to, Frequency=2441e6 (Hz) or channel=39")
        ->type_name("FIELD=VALUE");
    addNumberOption(*cmd, "--duration", o.duration, 0, 1e7, false,
                    "With --sdr: seconds to receive; 0 or none: until Ctrl-C")
        ->type_name("S");
    cmd->add_option("--lap", o.lap, "Lower address part to look for (hex); default: any valid sync word")
        ->type_name("HEX");
    cmd->add_option("--uap", o.uap, "Upper address part for HEC and CRC (hex); default: found from HEC and CRC")
        ->type_name("HEX");
    auto* whitening = cmd->add_option("--whitening", o.whitening, "Whitening start value 1..127, 0 for none")
                          ->type_name("INIT");
    cmd->add_flag("--sniff", o.sniff, "Find the whitening by trying every start value (the default)")
        ->excludes(whitening);
    addNumberOption(*cmd, "--rate", o.rate, 1, 1e12, false, "Sample rate in Hz (needed when the file does not tell it)")
        ->type_name("HZ");
    cmd->add_option("--format", o.format,
                    "Raw sample layout: raw (16-bit I/Q, most significant byte first: our raw export), cf32, "
                    "ci16, ci8 or cu8 (I/Q as SDR tools write it: little-endian; cu8 has its zero at 127.5). "
                    "Default: from the name (.mat, .sigmf-*, .cf32/.fc32/.cfile, .cs16, .cs8, .cu8), else raw")
        ->check(CLI::IsMember({"raw", "cf32", "ci16", "ci8", "cu8", "cf32_le", "ci16_le"}))
        ->transform([](std::string name) { return name.ends_with("_le") ? name.substr(0, name.size() - 3) : name; });
    cmd->add_flag("--json", o.json, "Print the results as JSON");
    o.refDbmOption = addNumberOption(*cmd, "--ref-dbm", o.refDbm, -300, 300, false,
                                     "Power in dBm of a full-scale sample in the recording (its reference "
                                     "level): packet output power and channel powers are then stated in dBm too, "
                                     "and the channel powers judged against their limits in dBm")
                         ->type_name("DBM");
    cmd->add_flag("--summary", o.summaryOnly, "Print only the summary (pass/fail per test), not the packet table");
    addNumberOption(*cmd, "--mat-limit", o.matLimit, 1, 1e15, true,
                    "Most bytes a MAT-file's data may unpack to (default: a quarter of the memory); a larger file "
                    "is refused as too large to read")
        ->type_name("BYTES");
    cmd->add_flag("--no-verify", o.noVerify,
                  "Read a SigMF dataset without checking it against the metadata's SHA-512 (faster for large files)");
}

const RegisterCommand measureCommand(setupMeasure);

}  // namespace

int measureGenerated(const bt::Parameters& p, const bt::ComplexRow& waveform) {
    bt::analysis::ReceiverOptions ro;
    const auto addr = static_cast<std::uint64_t>(p.BDaddr);
    ro.lap = static_cast<std::uint32_t>(addr & 0xFFFFFF);
    ro.uap = static_cast<std::uint8_t>((addr >> 24) & 0xFF);
    ro.whitening = p.dataWhiteningActive != 0 ? static_cast<unsigned>(p.dataWhiteningInitValue) : 0u;
    ro.linkType = p.linkType;
    ro.cyclic = true;  // the instrument plays it in a loop
    const bt::analysis::Reception r = bt::analysis::receive(waveform.data(), waveform.size(), p.OverSampling * 1e6, ro);
    std::cout << '\n';
    return report({{"generated waveform", &r}}, false);
}

}  // namespace btgen
