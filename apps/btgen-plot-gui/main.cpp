// btgen-plot-gui: the analysis plots drawn into image files without a
// display (the offscreen platform unless another is asked for). `btgen
// plot ...` runs this program.
//
//   btgen-plot-gui ccdf|spectrum|waterfall|iq|iq-overlay|eye|scatter
//       [--settings F] [--set FIELD=VALUE ...] [--input waveform.mat|rec.sigmf-meta]
//       -o out.png|svg|pdf [--width W --height H] [--symbols N --delay D --trace 0|1] [--markers]
#include <CLI/CLI.hpp>
#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <qcustomplot.h>

#include "bluetooth/generate.h"
#include "bluetooth/noise.h"
#include "bluetooth/settings_editor.h"
#include "lib/dialogs.h"
#include "lib/errors.h"
#include "app/app_state.h"
#include "plots/gui/plot_window.h"
#include "plots/gui/plots.h"
#include "plots/plot_requests.h"
#include "plots/waveform_file.h"
#include "app/settings_files.h"
#include "commands.h"
#include "sdr_files.h"

namespace {

constexpr int kBadInput = 2;
constexpr int kNotWritten = 5;

struct Options {
    std::string kind;
    btgen::GenerationOptions settings;
    std::string input;
    double rate = 0;
    std::string output;
    int width = 800;
    int height = 600;
    std::string symbols = "1";
    std::string delay = "0";
    std::string trace = "1";
    bool markers = false;
    bool noVerify = false;
};

using btgen::fail;

int run(const Options& o) {
    // Refused before any work: a wrong name is the user's input, not a failed write.
    const QString ext = QFileInfo(QString::fromStdString(o.output)).suffix().toLower();
    if (ext != "png" && ext != "svg" && ext != "pdf")
        fail(kBadInput, "cannot write " + o.output + " (the name must end in .png, .svg or .pdf)");
    if (!(o.rate == 0 || (o.rate >= bt::plots::kLowestPlotRate && o.rate <= bt::plots::kHighestPlotRate)))
        fail(kBadInput, "--rate takes a sample rate in Hz, 1 to 1e12.");  // nan too
    // Every edit is echoed, as generate does; ignored ones stop unless
    // --keep-going.
    const auto [p, sigGen] = o.settings.resolve(std::cerr);
    double rate = sigGen.SamplingRate;
    auto wave = std::make_shared<bt::ComplexRow>();
    std::shared_ptr<bt::Markers> markers;
    if (!o.input.empty()) {
        // A SigMF recording by its base name, as it was written.
        std::string name = o.input;
        std::error_code ec;
        if (!std::filesystem::exists(name, ec) && std::filesystem::exists(name + ".sigmf-meta", ec))
            name += ".sigmf-meta";
        // An SDR tool's sample file is named by its layout and holds no rate.
        const std::optional<btgen::SdrFormat> sdr = btgen::sdrFormatOfExtension(name);
        if (sdr && o.rate <= 0)
            fail(kBadInput, name + ": the sample rate is not in a file of bare samples; give it with --rate HZ.");
        bt::plots::WaveformFile f;
        try {
            f = bt::plots::readWaveformFile(name, !o.noVerify,
                                            sdr ? std::optional(btgen::readerFormat(*sdr)) : std::nullopt);
        } catch (const bt::Error& e) {
            // The reader's message may leave out which file it speaks of.
            const std::string what = e.what();
            fail(kBadInput, what.find(name) == std::string::npos ? name + ": " + what : what);
        }
        *wave = std::move(f.waveform);
        if (f.sampleRate > 0) rate = f.sampleRate;
        if (f.markers) markers = std::make_shared<bt::Markers>(std::move(*f.markers));
    } else {
        bt::GeneratedSignal s = bt::Calculate(p);
        *wave = std::move(s.waveform);
        markers = std::make_shared<bt::Markers>(std::move(s.markers));
    }
    if (o.rate > 0) rate = o.rate;
    else if (!o.input.empty()) bt::plots::checkPlotRate(rate, o.input + ": ");
    // The plots see the waveform as the instrument's converters would.
    bt::applyDacResInPlace(*wave, 14);
    const QString label = QString::fromStdString(bt::appState().appInfo.Name);
    // A recording's samples per symbol follow from its rate (one symbol a
    // microsecond), not from the settings it was not made with.
    double os = p.OverSampling;
    if (!o.input.empty() && (o.kind == "eye" || o.kind == "scatter" || o.kind == "freq-eye")) {
        os = std::round(rate / 1e6);
        if (os < 1 || std::abs(rate / 1e6 - os) > 1e-6)
            fail(kBadInput, "the eye and scatter plots need a whole number of samples per symbol; the rate of " +
                                o.input + " gives " + std::to_string(rate / 1e6) + ".");
    }

    QWidget* w = nullptr;
    if (o.kind == "ccdf") {
        w = bt::gui::Ux_PlotCCDF(*wave, label, nullptr);
    } else if (o.kind == "spectrum") {
        w = bt::gui::Ux_PlotSpectrum(*wave, rate, label, nullptr);
    } else if (o.kind == "waterfall") {
        w = bt::gui::Ux_PlotWaterfall(*wave, rate, bt::plots::waterfallSlice(wave->size(), rate), label, nullptr);
    } else if (o.kind == "iq" || o.kind == "iq-overlay") {
        w = bt::gui::Ux_PlotIQTime(wave, rate, o.kind == "iq-overlay", label, nullptr, markers);
        if (o.markers) {
            auto* show = w->findChild<QAction*>("Ux_ShowMarkers");
            if (!show || !show->isVisible()) fail(kBadInput, "this waveform has no markers to show.");
            show->trigger();
        }
    } else if (o.kind == "eye") {
        const auto r = bt::plots::eyeRequest({o.symbols, o.delay}, wave->size(), os, rate);
        if (!r) fail(kBadInput, "--symbols and --delay take numbers.");
        w = bt::gui::Ux_PlotEyeDiagram(*wave, r->n, r->period, r->delay, label, nullptr);
    } else if (o.kind == "freq-eye" || o.kind == "freq") {
        const double deviation = bt::effectiveModIndex(p) / 2 * 1e6;
        if (o.kind == "freq") {
            w = bt::gui::Ux_PlotFrequency(*wave, rate, deviation, label, nullptr);
        } else {
            const auto r = bt::plots::eyeRequest({o.symbols, o.delay}, wave->size(), os, rate);
            if (!r) fail(kBadInput, "--symbols and --delay take numbers.");
            w = bt::gui::Ux_PlotFrequencyEye(*wave, r->n, r->period, r->delay, rate, deviation, label, nullptr);
        }
    } else if (o.kind == "scatter") {
        const auto r = bt::plots::scatterRequest({o.trace, o.delay}, os);
        if (!r) fail(kBadInput, "--trace and --delay take numbers.");
        w = bt::gui::Ux_PlotScatterDiagram(*wave, r->n, r->delay, r->traceOn, label, nullptr);
    }
    if (!w) return kBadInput;  // the refusal was printed by the dialog service
    bt::gui::PlotWindow* pw = bt::gui::PlotWindow::of(w);
    // Laid out at the size asked for, so that the envelopes are made for it.
    pw->plot()->setFixedSize(o.width, o.height);
    w->adjustSize();
    QCoreApplication::processEvents();
    pw->plot()->replot();
    if (!pw->saveImage(QString::fromStdString(o.output), o.width, o.height)) fail(kNotWritten, "cannot write " + o.output);
    std::cout << o.output << '\n';
    return 0;
}

// The toolkit's notes about the platform it draws on (no runtime folder,
// size hints the offscreen platform ignores) are no business of a script
// reading standard error; its errors still show.
void quietToolkit(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg) return;
    std::cerr << "btgen plot: " << message.toStdString() << '\n';
}

// Dialogs have nobody to answer them here: errors go to standard error.
class ConsoleDialogs : public bt::PresetDialogs {
public:
    void error(const std::string& text, const std::string& title) override {
        std::cerr << "btgen plot: " << title << ": " << text << '\n';
    }
    void message(const std::string& text, const std::string& title) override {
        std::cerr << "btgen plot: " << title << ": " << text << '\n';
    }
};

}  // namespace

int main(int argc, char** argv) {
    Options o;
    btgen::programName() = "btgen plot";
    CLI::App app{"Analysis plots of a generated or recorded waveform, written to an image file", "btgen plot"};
    app.add_option("kind", o.kind,
                   "ccdf, spectrum, waterfall, iq, iq-overlay, eye, scatter, freq-eye (instantaneous frequency "
                   "as an eye) or freq (instantaneous frequency against time)")
        ->required()
        ->check(CLI::IsMember({"ccdf", "spectrum", "waterfall", "iq", "iq-overlay", "eye", "scatter", "freq-eye", "freq"}));
    o.settings.add(app);
    auto* input = app.add_option("--input", o.input,
                                 "Plot this waveform instead of generating one: a MAT-file (waveform, the first row "
                                 "of dtWaveform, samples or wave), a SigMF recording (.sigmf-meta or its base "
                                 "name, cf32_le or ci16_le) or an SDR tool's sample file (.cf32/.fc32/.cfile, "
                                 ".cs16, .cs8, .cu8, with --rate); also taken after the kind, as measure takes it");
    app.add_option("recording", o.input, "The recording, as --input")->excludes(input);
    app.add_option("--rate", o.rate,
                   "Sample rate in Hz (default: the file's, else the settings'; needed for an SDR sample file)");
    app.add_option("-o,--output", o.output, "Image file: .png, .svg or .pdf")->required();
    app.add_option("--width", o.width, "Image width in pixels")->check(CLI::Range(100, 10000))->capture_default_str();
    app.add_option("--height", o.height, "Image height in pixels")->check(CLI::Range(100, 10000))->capture_default_str();
    app.add_option("--symbols", o.symbols, "Eye diagrams: symbols per trace")->capture_default_str();
    app.add_option("--delay", o.delay, "Eye and scatter: symbol delay, 0 to 1")
        ->capture_default_str()
        ->check([](const std::string& text) { return bt::plots::symbolDelayProblem(text); });
    app.add_option("--trace", o.trace, "Scatter: draw the trajectory too (0 or 1)")->capture_default_str();
    app.add_flag("--markers", o.markers, "I(t) Q(t): draw the marker rows under the plot");
    app.add_flag("--no-verify", o.noVerify, "Read a SigMF dataset without checking it against the metadata's SHA-512");
    app.footer(btgen::exitStatusHelp());
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Every mistake on the command line is bad input, as in btgen.
        return app.exit(e) == 0 ? 0 : kBadInput;
    }

    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt would read btgen's own options (--platform) as its own: it gets
    // the program name only.
    qInstallMessageHandler(quietToolkit);
    int qtArgc = 1;
    QApplication qapp(qtArgc, argv);
    bt::Bt_c_libInitialize();
    bt::setDialogs(std::make_shared<ConsoleDialogs>());
    int status = 0;
    try {
        status = run(o);
    } catch (const CLI::RuntimeError& e) {
        status = e.get_exit_code();  // fail(): the message is out
    } catch (const bt::Error& e) {
        std::cerr << "btgen plot: " << e.what() << '\n';
        status = kBadInput;
    } catch (const std::exception& e) {
        std::cerr << "btgen plot: " << e.what() << '\n';
        status = 1;
    }
    bt::Bt_c_libTerminate();
    return status;
}
