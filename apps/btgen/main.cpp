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
