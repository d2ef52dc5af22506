// btgen plot: the analysis plots into image files. Drawing needs Qt, which
// this program does without; the plots are drawn by btgen-plot-gui, built
// beside it with the windows, which this command runs with its arguments.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "commands.h"

namespace btgen {
namespace {

std::filesystem::path plotProgram() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const auto dir = ec ? std::filesystem::current_path() : self.parent_path();
    // Each program is built into a folder of its own under apps/.
    for (const auto& candidate : {dir / "btgen-plot-gui", dir.parent_path() / "btgen-plot-gui" / "btgen-plot-gui"})
        if (std::filesystem::exists(candidate)) return candidate;
    return {};
}

void setupPlot(CLI::App& app) {
    auto* cmd = app.add_subcommand(
        "plot", "Analysis plot into an image: plot ccdf|spectrum|waterfall|iq|iq-overlay|eye|scatter|freq-eye|freq "
                "[--settings F] [--set ...] [--input waveform.mat|rec.sigmf-meta] -o out.png|svg|pdf "
                "[--width W --height H] (run plot --help for all options)");
    cmd->prefix_command();
    cmd->set_help_flag();
    cmd->callback([cmd] {
        const std::filesystem::path program = plotProgram();
        if (program.empty())
            fail(1, "plot needs btgen-plot-gui, which is built with the windows (cmake -DBTGEN_GUI=ON).");
        std::vector<std::string> args = {program.string()};
        for (const std::string& a : cmd->remaining()) args.push_back(a);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        fail(1, "cannot run " + program.string());
    });
}

const RegisterCommand plotCommand(setupPlot);

}  // namespace
}  // namespace btgen
