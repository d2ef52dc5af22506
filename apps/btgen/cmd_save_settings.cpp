// btgen save-settings FILE [--settings F] [--set FIELD=VALUE ...]
#include <filesystem>
#include <iostream>

#include "commands.h"
#include "app/app_state.h"
#include "app/settings_files.h"

namespace btgen {
namespace {

void setupSaveSettings(CLI::App& app) {
    auto* cmd = app.add_subcommand(
        "save-settings", "Apply settings edits to the defaults (or to a settings file) and write a settings file");
    static std::string file;
    static GenerationOptions settings;
    static bool uncompressed = false;
    static bool fromDefaults = false;
    cmd->add_option("FILE", file, "Settings file to write (replaced atomically; may be the --settings file)")->required()->check(nonEmptyFileName());
    settings.add(*cmd);
    settings.addDirtyTx(*cmd);
    cmd->add_flag("--from-defaults", fromDefaults,
                  "Start from the defaults even when FILE exists (without --settings, an existing FILE is the "
                  "starting point, so that an edit changes only what it names)")
        ->excludes("--settings");
    cmd->add_flag("--uncompressed", uncompressed, "Write the variables without compression, for older readers");
    cmd->callback([] {
        std::error_code ec;
        if (settings.settingsFile.empty() && !fromDefaults && std::filesystem::exists(file, ec)) {
            std::cerr << "btgen: " << file << " exists: starting from its settings (--from-defaults starts afresh)\n";
            settings.settingsFile = file;
        }
        const auto [p, sigGen] = settings.resolve(std::cerr);
        const auto compression = uncompressed ? bt::MatCompression::None : bt::MatCompression::Zlib;
        const bt::FileOutcome outcome = bt::saveParameters(file, p, sigGen, compression);
        if (!outcome) fail(kExitSave, outcome.title + ": " + outcome.message);
        std::cout << "wrote " << file << '\n';
    });
}

const RegisterCommand saveSettingsCommand(setupSaveSettings);

}  // namespace
}  // namespace btgen
