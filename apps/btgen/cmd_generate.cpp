// btgen generate: the waveform and markers of the settings, written to a
// file.
#include <cctype>
#include <iostream>

#include "bluetooth/generate.h"
#include "bluetooth/size_est.h"
#include "commands.h"
#include "instrument/signal_files.h"
#include "lib/errors.h"
#include "lib/numtext.h"

namespace btgen {
namespace {

struct Options {
    GenerationOptions generation;
    std::string output;
    std::string format;
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
                    "line. Default: from the extension (.mat, .csv, in any case), else raw")
        ->check(CLI::IsMember({"raw", "mat", "csv"}));
    cmd->add_flag("--measure", o.measure, "Receive and measure the generated waveform (exit status 3 when a test fails)");
    cmd->callback([] {
        const Options& opt = options();
        const auto [p, sigGen] = opt.generation.resolve(std::cout);
        const bt::GeneratedSignal s = generateWithProgress(p);
        const bt::SignalFormat format = outputFormat(opt);
        if (const auto k = bt::firstNonFiniteSample(s.waveform))
            fail(kExitGeneration, "Sample " + std::to_string(*k + 1) + " of the waveform is not a finite number; " +
                                      opt.output + " was not written.");
        try {
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
        std::cout << "wrote " << opt.output;
        if (format == bt::SignalFormat::Raw) std::cout << " and " << bt::markerFilePath(opt.output).string();
        std::cout << '\n';
        if (opt.measure)
            if (const int status = measureGenerated(p, s.waveform)) throw CLI::RuntimeError(status);
    });
}

const RegisterCommand generateCommand(setupGenerate);

}  // namespace
}  // namespace btgen
