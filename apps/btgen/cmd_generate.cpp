// btgen generate: the waveform and markers of the settings, written to a
// file.
#include <cctype>
#include <optional>
#include <iostream>

#include "bluetooth/generate.h"
#include "bluetooth/size_est.h"
#include "commands.h"
#include "sdr_files.h"
#include "app/sigmf_recording.h"
#include "instrument/signal_files.h"
#include "lib/errors.h"
#include "lib/numtext.h"
#include "app/records_json.h"

namespace btgen {
namespace {

struct Options {
    GenerationOptions generation;
    std::string output;
    std::string format;
    std::string sigmfType = "cf32_le";
    bool measure = false;
};

Options& options() {
    static Options o;
    return o;
}

// --format, or else the output's extension in any case: ".mat" and ".csv"
// name their format, anything else is raw.
bt::SignalFormat outputFormat(const Options& o) {
    if (!o.format.empty()) return *bt::parseSignalFormat(o.format);
    std::string ext = std::filesystem::path(o.output).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));  // W.MAT is a MAT-file
    return bt::parseSignalFormat(ext.empty() ? "" : ext.substr(1)).value_or(bt::SignalFormat::Raw);
}

// --format cf32|cs16|cs8|cu8, or an output named like an SDR tool's sample
// file (.cf32, .fc32, .cfile, .cs16, .cs8, .cu8).
std::optional<SdrFormat> sdrOutput(const Options& o) {
    if (!o.format.empty()) return sdrFormatOfName(o.format);
    return sdrFormatOfExtension(o.output);
}

// --format sigmf, or an output named like a recording's file.
bool sigmfOutput(const Options& o) {
    if (!o.format.empty()) return o.format == "sigmf";
    std::string ext = std::filesystem::path(o.output).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".sigmf-meta" || ext == ".sigmf-data" || ext == ".sigmf";
}

// Writes the recording and says which files it wrote.
std::string writeRecording(const Options& o, const bt::Parameters& p, const bt::SigGenSettings& sigGen,
                           const bt::GeneratedSignal& s) {
    bt::SigmfDescription d;
    d.settings = p;
    d.sampleRate = sigGen.SamplingRate;
    d.frequency = sigGen.Frequency;
    d.record = {{"fileParameters", bt::toJson(p)}, {"sigGenParameters", bt::toJson(sigGen)}};
    const bt::SigmfFiles files = bt::writeSigmfRecording(o.output, *bt::parseSigmfDatatype(o.sigmfType),
                                                         s.waveform, s.markers, s.packets, d);
    return files.meta.string() + ", " + files.data.string() + " and " + files.markers.string();
}

void setupGenerate(CLI::App& app) {
    Options& o = options();
    auto* cmd = app.add_subcommand("generate", "Generate the waveform and markers of the settings and write them");
    o.generation.add(*cmd);
    cmd->add_option("-o,--output", o.output, "File to write (raw: its markers go to FILE.markers)")
        ->required()
        ->type_name("FILE")
        ->check(nonEmptyFileName());
    cmd->add_option("--format", o.format,
                    "raw: 16-bit big-endian I/Q pairs and a marker byte per sample (bit 0 marker 1, bit 1 "
                    "marker 2); mat: `waveform` and `markers` in a MAT-file; csv: I,Q,marker 1,marker 2 per "
                    "line; sigmf: a SigMF recording OUT.sigmf-meta/.sigmf-data with one annotation per packet "
                    "and the markers in OUT.sigmf-data.markers; cf32 (also fc32, cfile): complex float32, cs16: "
                    "complex int16, cs8: complex int8, cu8: complex unsigned 8-bit (127.5 is zero), all "
                    "little-endian I/Q without markers, as SDR tools read them. Default: from the extension "
                    "(.mat, .csv, .sigmf-meta, .cf32, .fc32, .cfile, .cs16, .cs8, .cu8, in any case), else raw")
        ->check(CLI::IsMember({"raw", "mat", "csv", "sigmf", "cf32", "fc32", "cfile", "cs16", "cs8", "cu8"}));
    cmd->add_option("--sigmf-type", o.sigmfType,
                    "Sample type of a SigMF dataset: cf32_le (as generated) or ci16_le (the instrument's 16-bit "
                    "scaling)")
        ->check(CLI::IsMember({"cf32_le", "ci16_le", "cf32", "ci16"}))
        ->transform([](std::string name) { return name.ends_with("_le") ? name : name + "_le"; })
        ->capture_default_str();
    cmd->add_flag("--measure", o.measure, "Receive and measure the generated waveform (exit status 3 when a test fails)");
    cmd->callback([] {
        const Options& opt = options();
        if (sigmfOutput(opt))
            if (const auto problem = bt::sigmfNameProblem(opt.output)) fail(kExitBadInput, *problem);
        const auto [p, sigGen] = opt.generation.resolve(std::cerr);
        const bt::GeneratedSignal s = generateWithProgress(p);
        const bool sigmf = sigmfOutput(opt);
        const std::optional<SdrFormat> sdr = sigmf ? std::nullopt : sdrOutput(opt);
        const bt::SignalFormat format = sigmf || sdr ? bt::SignalFormat::Raw : outputFormat(opt);
        std::string written = opt.output;
        if (format == bt::SignalFormat::Raw && !sigmf && !sdr)
            written += " and " + bt::markerFilePath(opt.output).string();
        if (const auto k = bt::firstNonFiniteSample(s.waveform))
            fail(kExitGeneration, "Sample " + std::to_string(*k + 1) + " of the waveform is not a finite number; " +
                                      opt.output + " was not written.");
        try {
            if (sigmf)
                written = writeRecording(opt, p, sigGen, s);
            else if (sdr)
                writeSdrSamples(opt.output, *sdr, s.waveform);
            else
                bt::writeSignal(opt.output, format, s.waveform, s.markers);
        } catch (const bt::Error& e) {
            fail(kExitSave, "Error Saving " + opt.output + ": " + e.what());
        }

        const double samples = double(s.waveform.size());
        std::cout << "samples: " << bt::formatNumber(samples) << '\n';
        std::cout << "duration: " << bt::formatNumber(samples / (p.OverSampling * 1e6)) << " s at "
                  << bt::formatNumber(p.OverSampling) << " MHz\n";
        if (p.generationMode == 1)
            std::cout << "packets: " << bt::generatedPacketCount(p) << '\n';
        else
            std::cout << "packets: none (stream mode)\n";
        std::cout << "projected length: " << bt::projectedLengthText(bt::Bt_SizeEst(p)) << '\n';
        std::cout << "wrote " << written << '\n';
        if (opt.measure)
            if (const int status = measureGenerated(p, s.waveform)) throw CLI::RuntimeError(status);
    });
}

const RegisterCommand generateCommand(setupGenerate);

}  // namespace
}  // namespace btgen
