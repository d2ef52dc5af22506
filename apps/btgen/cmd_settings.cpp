// btgen settings / btgen size
#include <iostream>

#include "bluetooth/size_est.h"
#include "commands.h"
#include "lib/library.h"
#include "ui/records_json.h"

namespace btgen {
namespace {

void setupSettings(CLI::App& app) {
    auto* cmd = app.add_subcommand("settings", "Print the default settings record as JSON");
    static bool all = false;
    cmd->add_flag("--all", all, "Also print appInfo, configuration and SigGenSettings");
    cmd->callback([] {
        const bt::AppState& s = bt::appState();
        if (all) {
            bt::Json j = bt::Json::object();
            j["appInfo"] = bt::toJson(s.appInfo);
            j["configuration"] = bt::toJson(s.configuration);
            j["parameters"] = bt::toJson(s.parameters);
            j["SigGenSettings"] = bt::toJson(s.SigGenSettings);
            std::cout << j.dump(2) << '\n';
        } else {
            std::cout << bt::toJson(s.parameters).dump(2) << '\n';
        }
    });
}

void setupSize(CLI::App& app) {
    auto* cmd = app.add_subcommand("size", "Apply settings edits and print the projected waveform length");
    static PlatformOptions platform;
    static std::vector<std::string> edits;
    platform.add(*cmd);
    cmd->add_option("--set", edits,
                    "FIELD=VALUE edit as typed into the field's control (hexadecimal for BDaddr, AMaddr, "
                    "bitPattern; packetType, linkType, multiPacket and generationMode take their code; "
                    "payloadType its list item 1..10)")
        ->type_name("FIELD=VALUE");
    cmd->callback([] {
        bt::Parameters p = bt::appState().parameters;
        applyEdits(p, edits, platform.context(), std::cout, false);
        std::cout << bt::projectedLengthText(bt::Bt_SizeEst(p)) << '\n';
    });
}

const RegisterCommand settingsCommand(setupSettings);
const RegisterCommand sizeCommand(setupSize);

}  // namespace
}  // namespace btgen
