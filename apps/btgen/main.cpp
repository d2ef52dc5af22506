// btgen: Bluetooth basic-rate test signals from the command line.
#include <iostream>

#include "commands.h"
#include "lib/errors.h"
#include "lib/library.h"

namespace btgen {

std::vector<Setup>& commandRegistry() {
    static std::vector<Setup> registry;
    return registry;
}

void fail(int status, const std::string& message) {
    std::cerr << "btgen: " << message << '\n';
    throw CLI::RuntimeError(status);
}

}  // namespace btgen

int main(int argc, char** argv) {
    CLI::App app{"Bluetooth basic-rate test signal generator"};
    app.require_subcommand(1);
    for (auto setup : btgen::commandRegistry()) setup(app);

    bt::Bt_c_libInitialize();
    int status = 0;
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        status = app.exit(e);
    } catch (const bt::Error& e) {
        std::cerr << "btgen: " << e.what() << '\n';
        status = btgen::kExitBadInput;
    } catch (const std::exception& e) {
        std::cerr << "btgen: " << e.what() << '\n';
        status = 1;
    }
    bt::Bt_c_libTerminate();
    return status;
}
