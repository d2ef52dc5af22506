// The desktop program's command line as a user types it: its own options
// beside the window toolkit's, help and version without any display.
#include <gtest/gtest.h>

#include <string>

#include "support/process.h"

namespace {

using testsupport::appPath;
using testsupport::runProcess;

// No display of any kind: what needs none must still work.
const std::vector<std::string> kNoDisplay = {"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM"};

std::vector<std::string> without(std::vector<std::string> args) {
    std::vector<std::string> all = kNoDisplay;
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

TEST(BtgenGuiOptions, HelpAndVersionNeedNoDisplay) {
    const auto help = runProcess(without({appPath("btgen-gui"), "--help"}));
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_NE(help.out.find("--platform"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("--tcpip"), std::string::npos);
    const auto version = runProcess(without({appPath("btgen-gui"), "--version"}));
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out.rfind("btgen-gui ", 0), 0u) << version.out;
}

TEST(BtgenGuiOptions, AnUnknownInstrumentGenerationIsRefusedByTheProgramNotTheToolkit) {
    const auto r = runProcess(without({appPath("btgen-gui"), "--platform", "x"}));
    EXPECT_NE(r.status, 0);
    EXPECT_LT(r.status, 128) << "killed by a signal: " << r.err;
    EXPECT_NE(r.err.find("--platform"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("plugin"), std::string::npos) << r.err;
}

// "--platform b" is the program's instrument generation; the toolkit's
// plug-in is chosen with its own single-dash option beside it. The program
// must come up and keep running until stopped.
TEST(BtgenGuiOptions, InstrumentGenerationBesideTheToolkitsPlatform) {
    for (const char* generation : {"b", "c"}) {
        const auto r = runProcess(without({"timeout", "-s", "TERM", "3", appPath("btgen-gui"), "--platform",
                                           generation, "--no-splash-wait", "-platform", "offscreen"}));
        EXPECT_EQ(r.status, 124) << generation << ": ended before it was stopped\n" << r.err;
        EXPECT_EQ(r.err.find("plugin"), std::string::npos) << r.err;
    }
}

}  // namespace
