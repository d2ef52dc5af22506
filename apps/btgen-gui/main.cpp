// The desktop application: btgen-gui [SETTINGS.bt] [--platform b|c]
// [--no-splash-wait] [--tcpip HOST[:PORT]] [toolkit options such as
// -platform offscreen or -style fusion].
#include <CLI/CLI.hpp>
#include <QApplication>
#include <algorithm>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/gui/main_window.h"
#include "lib/dialogs.h"
#include "app/app_state.h"
#include "windowkit/gui/qt_dialogs.h"

namespace {

// The toolkit reads "-platform", "--platform" and the other options below
// from the whole command line, so the program's own "--platform b" would be
// taken as a plug-in name. The command line is therefore split first: the
// toolkit sees only its options (single dash), the program's parser the rest.
bool toolkitOptionWithValue(const std::string& a) {
    static const char* const names[] = {"-platform", "-platformpluginpath", "-platformtheme", "-plugin",
                                        "-qwindowgeometry", "-qwindowtitle", "-qwindowicon", "-display",
                                        "-geometry", "-title", "-style", "-stylesheet", "-session", "-name",
                                        "-qmljsdebugger", "-qdevicepixelratio", "-font", "-fn"};
    return std::any_of(std::begin(names), std::end(names), [&](const char* n) { return a == n; });
}

bool toolkitFlag(const std::string& a) {
    static const char* const names[] = {"-reverse", "-nograb", "-dograb", "-sync", "-widgetcount", "-testability"};
    if (std::any_of(std::begin(names), std::end(names), [&](const char* n) { return a == n; })) return true;
    // "-style=fusion" and the like.
    const auto eq = a.find('=');
    return a.size() > 1 && a[0] == '-' && a[1] != '-' && eq != std::string::npos &&
           toolkitOptionWithValue(a.substr(0, eq));
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> toolkitArgs{argv[0]};
    std::vector<std::string> ownArgs;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (toolkitOptionWithValue(a) && i + 1 < argc) {
            toolkitArgs.push_back(argv[i]);
            toolkitArgs.push_back(argv[++i]);
        } else if (toolkitFlag(a)) {
            toolkitArgs.push_back(argv[i]);
        } else {
            ownArgs.push_back(a);
        }
    }

    CLI::App cli{"Bluetooth test signals for IXO signal generators: the desktop application.\n"
                 "Options of the window toolkit (-platform NAME, -style NAME, -display NAME, ...) are passed on."};
    cli.name("btgen-gui");
    cli.set_version_flag("--version", std::string("btgen-gui ") + BTGEN_VERSION);
    bt::gui::StartOptions options;
    std::string platform = "c";
    bool noSplashWait = false;
    cli.add_option("settings", options.settingsFile, "Settings file (.bt) to open at start-up");
    cli.add_option("--platform", platform, "Instrument generation: c (R7720K) or b (IXO-B)")
        ->check(CLI::IsMember({"b", "c"}));
    cli.add_flag("--no-splash-wait", noSplashWait, "Show the main window as soon as it is ready");
    cli.add_option("--tcpip", options.lanAddress, "Use the LAN instrument at HOST[:PORT]");
    try {
        std::reverse(ownArgs.begin(), ownArgs.end());  // CLI11 takes the vector last argument first
        cli.parse(ownArgs);
    } catch (const CLI::ParseError& e) {
        return cli.exit(e);
    }
    options.platform = platform[0];
    if (noSplashWait) options.splashMinimumMs = 0;

    int qtArgc = static_cast<int>(toolkitArgs.size());
    toolkitArgs.push_back(nullptr);
    QApplication app(qtArgc, toolkitArgs.data());
    QApplication::setApplicationName("btgen-gui");

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
