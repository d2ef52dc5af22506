// btgen: Bluetooth basic-rate test signals from the command line.
#include <iostream>

#include "commands.h"
#include "lib/errors.h"
#include "app/app_state.h"
#include "lib/numtext.h"

namespace btgen {

std::vector<Setup>& commandRegistry() {
    static std::vector<Setup> registry;
    return registry;
}

void fail(int status, const std::string& message) {
    std::cerr << "btgen: " << message << '\n';
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

int main(int argc, char** argv) {
    CLI::App app{"Bluetooth basic-rate test signal generator"};
    app.require_subcommand(1);
    for (auto setup : btgen::commandRegistry()) setup(app);
    app.footer(btgen::exitStatusHelp());

    bt::Bt_c_libInitialize();
    int status = 0;
    try {
        app.parse(argc, argv);
    } catch (const CLI::RuntimeError& e) {
        status = e.get_exit_code();  // fail(): the message is out
    } catch (const CLI::ParseError& e) {
        // Help prints and exits 0; every mistake on the command line is bad
        // input, whatever number the parser gives it.
        status = app.exit(e) == 0 ? 0 : btgen::kExitBadInput;
    } catch (const bt::Error& e) {
        std::cerr << "btgen: " << e.what() << '\n';
        status = btgen::kExitBadInput;
    } catch (const std::exception& e) {
        std::cerr << "btgen: " << e.what() << '\n';
        status = btgen::kExitFailure;
    }
    bt::Bt_c_libTerminate();
    return status;
}
