// The desktop application: btgen-gui [SETTINGS.bt] [--platform b|c]
// [--no-splash-wait] [--tcpip HOST[:PORT]].
#include <CLI/CLI.hpp>
#include <QApplication>
#include <iostream>
#include <memory>

#include "app/gui/main_window.h"
#include "lib/dialogs.h"
#include "app/app_state.h"
#include "windowkit/gui/qt_dialogs.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);  // takes the toolkit's own options out of argv
    QApplication::setApplicationName("btgen-gui");

    CLI::App cli{"Bluetooth test signals for IXO signal generators: the desktop application."};
    bt::gui::StartOptions options;
    std::string platform = "c";
    bool noSplashWait = false;
    cli.add_option("settings", options.settingsFile, "Settings file (.bt) to open at start-up");
    cli.add_option("--platform", platform, "Instrument generation: c (R7720K) or b (IXO-B)")
        ->check(CLI::IsMember({"b", "c"}));
    cli.add_flag("--no-splash-wait", noSplashWait, "Show the main window as soon as it is ready");
    cli.add_option("--tcpip", options.lanAddress, "Use the LAN instrument at HOST[:PORT]");
    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return cli.exit(e);
    }
    options.platform = platform[0];
    if (noSplashWait) options.splashMinimumMs = 0;

    if (!bt::Bt_c_libInitialize()) {
        std::cerr << "btgen-gui: the library could not be initialised\n";
        return 1;
    }
    int rc = 1;
    {
        bt::setDialogs(std::make_shared<bt::gui::QtDialogs>());
        try {
            bt::gui::MainWindow window(options);
            rc = QApplication::exec();
        } catch (const std::exception& e) {
            std::cerr << "btgen-gui: " << e.what() << "\n";
        }
        bt::setDialogs(nullptr);
    }
    bt::Bt_c_libTerminate();
    return rc;
}
