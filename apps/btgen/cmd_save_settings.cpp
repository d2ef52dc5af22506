// btgen save-settings FILE [--set FIELD=VALUE ...]
#include <iostream>

#include "commands.h"
#include "lib/library.h"
#include "ui/settings_files.h"

namespace btgen {
namespace {

void setupSaveSettings(CLI::App& app) {
    auto* cmd = app.add_subcommand("save-settings", "Apply settings edits to the defaults and write a settings file");
    static std::string file;
    static PlatformOptions platform;
    static std::vector<std::string> edits;
    static bool uncompressed = false;
    cmd->add_option("FILE", file, "Settings file to write (replaced atomically)")->required()->check(nonEmptyFileName());
    platform.add(*cmd);
    cmd->add_option("--set", edits, "FIELD=VALUE edit, as for the size command")->type_name("FIELD=VALUE");
    cmd->add_flag("--uncompressed", uncompressed, "Write the variables without compression, for older readers");
    cmd->callback([] {
        bt::Parameters p = bt::appState().parameters;
        applyEdits(p, edits, platform.context(), std::cout, true);
        const bt::SigGenSettings sigGen = bt::defaultSigGenSettings(p);
        const auto compression = uncompressed ? bt::MatCompression::None : bt::MatCompression::Zlib;
        const bt::FileOutcome outcome = bt::saveParameters(file, p, sigGen, compression);
        if (!outcome) fail(kExitSave, outcome.title + ": " + outcome.message);
        std::cout << "wrote " << file << '\n';
    });
}

const RegisterCommand saveSettingsCommand(setupSaveSettings);

}  // namespace
}  // namespace btgen
