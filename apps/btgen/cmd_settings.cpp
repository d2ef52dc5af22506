// btgen settings / btgen size
#include <iostream>

#include "bluetooth/size_est.h"
#include "commands.h"
#include "app/app_state.h"
#include "app/records_json.h"

namespace btgen {
namespace {

void setupSettings(CLI::App& app) {
    auto* cmd = app.add_subcommand(
        "settings", "Print the settings record as JSON: the defaults, or a settings file's, with any edits applied");
    static bool all = false;
    static GenerationOptions settings;
    cmd->add_flag("--all", all, "Also print appInfo, configuration and SigGenSettings");
    settings.add(*cmd);
    settings.addDirtyTx(*cmd);
    cmd->callback([] {
        // Standard output carries the record only; what the edits did goes
        // to standard error.
        const auto [p, sigGen] = settings.resolve(std::cerr);
        const bt::AppState& s = bt::appState();
        if (all) {
            bt::Json j = bt::Json::object();
            j["appInfo"] = bt::toJson(s.appInfo);
            j["configuration"] = bt::toJson(s.configuration);
            j["parameters"] = bt::toJson(p);
            j["SigGenSettings"] = bt::toJson(sigGen);
            std::cout << j.dump(2) << '\n';
        } else {
            std::cout << bt::toJson(p).dump(2) << '\n';
        }
    });
}

void setupSize(CLI::App& app) {
    auto* cmd = app.add_subcommand("size", "Apply settings edits and print the projected waveform length");
    static GenerationOptions settings;
    settings.add(*cmd);
    cmd->callback([] {
        // Standard output is the length alone, for $(btgen size ...).
        const auto [p, sigGen] = settings.resolve(std::cerr);
        std::cout << bt::projectedLengthText(bt::Bt_SizeEst(p)) << '\n';
    });
}

const RegisterCommand settingsCommand(setupSettings);
const RegisterCommand sizeCommand(setupSize);

}  // namespace
}  // namespace btgen
