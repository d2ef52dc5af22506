// btgen dirty-tx: the dirty-transmitter sequence, calculated into a file or
// downloaded to the instrument and played.
#include <cmath>
#include <iostream>
#include <memory>

#include "bluetooth/dirty_tx_download.h"
#include "bluetooth/dirty_tx_edits.h"
#include "commands.h"
#include "connection_options.h"
#include "dt_edits.h"
#include "instrument/hw_wrappers.h"
#include "instrument/signal_files.h"
#include "app/sigmf_recording.h"
#include "lib/dialogs.h"
#include "app/app_state.h"
#include "lib/matfile.h"
#include "lib/numtext.h"
#include "app/settings_files.h"

namespace btgen {
namespace {

struct Options {
    GenerationOptions generation;
    std::string packet;
    bool omitPoll = false;
    bool external = false;
    double slotSyncDelay = 0;
    std::vector<int> sets;
    std::vector<std::string> impairments;
    bool calculate = false;
    bool download = false;
    std::string out;
    std::string format = "mat";
    std::string sigmfType = "cf32_le";
    bool yes = false;
    ConnectionOptions connection;
    CLI::Option* slotSyncOption = nullptr;
};

Options& options() {
    static Options o;
    return o;
}

// The state of the settings file (or the defaults) with the options
// applied; `sigGen` becomes the instrument settings with the --sg edits
// that are not the sequence's own.
bt::DirtyTxState configuredState(bt::SigGenSettings& sigGen) {
    const Options& o = options();
    bt::DirtyTxState s = bt::appState().dirtyTx;
    const auto [p, edited] = o.generation.resolve(std::cerr);
    bt::loadDtState(s, p);
    sigGen = edited;
    if (!o.packet.empty()) {
        try {
            bt::dtSelectPacketType(s, bt::dtPacketTypeOf(o.packet, o.generation.platform.platform.at(0)));
        } catch (const bt::Error& e) {
            fail(kExitBadInput, std::string("--packet: ") + e.what());
        }
    }
    if (o.omitPoll) bt::dtSetOmitPoll(s, true);
    if (o.external) bt::dtSetExternalTrigger(s, true);
    if (o.slotSyncOption->count() > 0) bt::dtSetSlotSyncDelay(s, o.slotSyncDelay);
    if (!o.sets.empty()) {
        for (std::size_t n = 0; n < bt::kDtTestSets; ++n) bt::dtSetTestSelect(s, n, false);
        for (int n : o.sets) bt::dtSetTestSelect(s, static_cast<std::size_t>(n - 1), true);
    }
    for (const std::string& edit : o.impairments) applyImpairmentEdit(s, edit, std::cerr);
    return s;
}

bool printProgress(const bt::DtProgressEvent& e, const bt::DirtyTxState& s) {
    if (!e.finished) return true;
    const std::size_t samples = bt::dtLayout(s).dtLength();
    if (e.stage == bt::DtStage::Calculating)
        std::cout << "set " << e.set << ": calculated, " << samples << " samples\n";
    else
        std::cout << "set " << e.set << ": downloaded as \"" << s.dtSigGenSettings.Title << e.set << "\", "
                  << samples << " samples\n";
    return true;
}

void writeSegments(const std::string& file, const bt::DirtyTxState& s) {
    const std::size_t rows = s.dtWaveform.size();
    const std::size_t cols = rows == 0 ? 0 : s.dtWaveform[0].size();
    const auto scalar = [](const std::string& name, double v) {
        return bt::MatMatrixSource{name, 1, 1, false, [v](std::size_t, std::size_t, bool, double* out) { *out = v; }};
    };
    // Column-major: element i is row i % rows of column i / rows.
    const bt::MatMatrixSource waveform{
        "dtWaveform", rows, cols, true, [&](std::size_t first, std::size_t count, bool imaginary, double* out) {
            for (std::size_t i = first; i < first + count; ++i) {
                const bt::Complex z = s.dtWaveform[i % rows][i / rows];
                *out++ = imaginary ? z.imag() : z.real();
            }
        }};
    const bt::MatMatrixSource markers{
        "dtMarkers", 2 * rows, cols, false, [&](std::size_t first, std::size_t count, bool, double* out) {
            for (std::size_t i = first; i < first + count; ++i) {
                const std::size_t r = i % (2 * rows);
                const bt::Markers& m = s.dtMarkers[r / 2];
                *out++ = (r % 2 == 0 ? m.row1 : m.row2)[i / (2 * rows)];
            }
        }};
    bt::writeMatMatrices(file, {waveform, markers, scalar("dtPacketType", s.dtPacketType),
                                scalar("dtRepetitions", s.dtRepetitions),
                                scalar("SamplingRate", s.dtSigGenSettings.SamplingRate)});
}

void run() {
    const Options& o = options();
    if (o.calculate && o.format == "sigmf")
        if (const auto problem = bt::sigmfNameProblem(o.out)) fail(kExitBadInput, *problem);
    bt::SigGenSettings sigGen = bt::appState().SigGenSettings;
    bt::DirtyTxState s = configuredState(sigGen);
    const char platform = o.generation.platform.platform.at(0);
    std::cout << bt::setDTProjectedLength(s.dtParameters.packetType, platform, s.dtOmitPollPeriods, s.dtTestSelect,
                                          s.dtParameters.OverSampling, s.dtQ7395.enable)
              << '\n';
    const auto progress = [&s](const bt::DtProgressEvent& e) { return printProgress(e, s); };

    if (o.calculate) {
        bt::dtCalculate(s, {}, progress);
        std::size_t unselected = 0;
        for (double x : s.dtTestSelect) unselected += x == 0;
        if (unselected > 0) std::cout << unselected << " sets not selected: rows of zeros\n";
        for (const bt::ComplexRow& segment : s.dtWaveform)
            if (bt::firstNonFiniteSample(segment))
                fail(kExitGeneration, "A test set's waveform holds samples that are not finite numbers; " + o.out +
                                          " was not written.");
        if (o.format == "sigmf") {
            std::vector<bt::SigmfFiles> files;
            try {
                files = bt::writeDirtyTxSigmf(o.out, *bt::parseSigmfDatatype(o.sigmfType), s);
            } catch (const bt::Error& e) {
                fail(kExitSave, "Error Saving " + o.out + ": " + e.what());
            }
            for (const bt::SigmfFiles& f : files) std::cout << "wrote " << f.meta.string() << '\n';
            return;
        }
        try {
            writeSegments(o.out, s);
        } catch (const bt::Error& e) {
            fail(kExitSave, "Error Saving " + o.out + ": " + e.what());
        }
        std::cout << "wrote " << o.out << ": 10 segments of " << s.dtWaveform.at(0).size()
                  << " samples, each played " << s.dtRepetitions << " times by the sequence\n";
        return;
    }

    const bt::Configuration config = o.connection.config();
    ConnectionOptions::checkGeneration(config, platform);
    auto dialogs = std::make_shared<bt::PresetDialogs>(o.yes ? "OK" : "");
    bt::setDialogs(dialogs);
    const bt::DtDownloadOutcome out = bt::dtDownload(s, config, sigGen, platform, {}, progress);
    for (const auto& shown : dialogs->shown()) std::cerr << shown.title << ": " << shown.text << '\n';
    if (!out.result.ok())
        fail(kExitInstrument, out.result.response + " (status " + std::to_string(out.result.status) + ", " +
                    std::to_string(out.ioErrors) + " failed commands)");
    std::cout << out.result.response << '\n';
    if (out.sequence.empty()) return;
    std::cout << "sequence \"" << s.dtSigGenSettings.Title << "\":\n";
    for (const bt::SequenceElement& e : out.sequence)
        std::cout << "  " << e.waveformName << " x " << e.repetitions << '\n';
    const bt::HwResult selected = bt::HwQuery(config, ":SOUR:RAD:ARB:WAV?");
    if (selected.ok()) std::cout << "the instrument plays " << selected.response << '\n';
}

void setupDirtyTx(CLI::App& app) {
    Options& o = options();
    auto* cmd = app.add_subcommand("dirty-tx", "Calculate the dirty-transmitter test sequence, or download and play it");
    o.generation.sgToDirtyTx = true;
    o.generation.add(*cmd);
    std::string names;
    for (const bt::DtPacketType& t : bt::dtPacketTypes('c')) names += (names.empty() ? "" : ", ") + t.name;
    cmd->add_option("--packet", o.packet, "Packet type of every test packet: " + names +
                                              " (default DH1; no five-slot type on an IXO-B); also sets the drift "
                                              "of all sets for the type");
    auto* omit = cmd->add_flag("--omit-poll", o.omitPoll, "Leave the tester's poll slots out of every frame");
    auto* external = cmd->add_flag("--external", o.external,
                                   "Frames synchronised to an external trigger on \"Pattern Trigger In\"");
    external->excludes(omit);
    o.slotSyncOption = addNumberOption(*cmd, "--slot-sync-delay", o.slotSyncDelay, -HUGE_VAL, HUGE_VAL, false,
                                       "Microseconds from the external frame trigger to the packet's first symbol "
                                       "(default -703)")
                           ->needs(external);
    cmd->add_option("--sets", o.sets, "Test sets to generate, e.g. 1,3,5 (default: all ten)")
        ->delimiter(',')
        ->check(CLI::Range(1, 10));
    cmd->add_option("--set-impairment", o.impairments,
                    "Impairment edit: N is a set (1-10) or all; FIELD is FreqOffset, ModIndex, SymbolTimingError, "
                    "or one shared by all sets: FreqDriftRate, FreqDriftDeviation, InitialDriftPhase")
        ->type_name("N:FIELD=VALUE");
    auto* calc = cmd->add_flag("--calculate", o.calculate, "Calculate the ten segments and write them to -o");
    auto* dl = cmd->add_flag("--download", o.download, "Download the selected segments and play the sequence");
    calc->excludes(dl);
    auto* out = cmd->add_option("-o,--output", o.out, "MAT-file for the segments (dtWaveform, dtMarkers)")
                    ->check(nonEmptyFileName());
    calc->needs(out);
    out->needs(calc);
    cmd->add_option("--format", o.format,
                    "mat: the ten segments in one MAT-file; sigmf: one SigMF recording per selected set, "
                    "OUT-setN.sigmf-meta/.sigmf-data, with its packets annotated")
        ->check(CLI::IsMember({"mat", "sigmf"}))
        ->capture_default_str()
        ->needs(calc);
    cmd->add_option("--sigmf-type", o.sigmfType, "Sample type of the SigMF datasets: cf32_le or ci16_le")
        ->check(CLI::IsMember({"cf32_le", "ci16_le"}))
        ->capture_default_str();
    o.connection.add(*cmd);
    cmd->add_flag("--yes", o.yes, "Answer OK when asked to confirm a long RS-232 transfer");
    cmd->callback([] {
        if (!options().calculate && !options().download) throw CLI::RequiredError("--calculate or --download");
        run();
    });
}

const RegisterCommand dirtyTxCommand(setupDirtyTx);

}  // namespace
}  // namespace btgen
