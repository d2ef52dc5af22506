// Helpers of the command line shared by btgen and the plot program it runs.
#include <iostream>

#include "commands.h"
#include "lib/numtext.h"

namespace btgen {

std::string& programName() {
    static std::string name = "btgen";
    return name;
}

void fail(int status, const std::string& message) {
    std::cerr << programName() << ": " << message << '\n';
    throw CLI::RuntimeError(status);
}

std::string exitStatusHelp() {
    return "Exit status: 0 success; " + std::to_string(kExitFailure) + " unforeseen failure; " +
           std::to_string(kExitBadInput) + " bad input (option, value, field, refused edit, unusable settings or "
           "user file); " + std::to_string(kExitMeasurement) + " a measured test failed (measure); " +
           std::to_string(kExitInstrument) + " the instrument failed, did not answer or answered "
           "nonsense; " + std::to_string(kExitSave) + " a file could not be written; " +
           std::to_string(kExitGeneration) + " the signal came out unusable.";
}

const CLI::Validator& nonEmptyFileName() {
    static const CLI::Validator v([](std::string& s) { return s.empty() ? std::string("the file name is empty") : ""; },
                                  "FILE");
    return v;
}

CLI::Option* addNumberOption(CLI::App& cmd, const std::string& name, double& target, double min, double max,
                             bool whole, const std::string& description) {
    const std::string flag = name.substr(0, name.find(','));
    return cmd
        .add_option_function<std::string>(
            name,
            [&target, flag, min, max, whole](const std::string& text) {
                const bt::OptionNumber n = bt::readOptionNumber(text, min, max, whole);
                if (!n.value) throw CLI::ValidationError(flag, "\"" + text + "\" " + n.error);
                target = *n.value;
            },
            description)
        ->type_name("NUMBER");
}

}  // namespace btgen
