// The README's command-line section as a user follows it: every indented
// command runs as it stands, in order, in one folder, the simulator's port
// the only change.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/files.h"
#include "support/process.h"

namespace {

std::vector<std::string> readmeCommands() {
    std::ifstream in(std::string(BTGEN_SOURCE_DIR) + "/README.md");
    std::vector<std::string> commands;
    bool inside = false;
    bool afterBreak = true;  // blank line or code: where a code block may start
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("## ")) inside = line == "## Using the command line";
        // An indented line right after prose continues that prose (a list
        // item's wrapped text), as Markdown reads it.
        const bool code = inside && afterBreak && line.starts_with("    ") && line.size() > 4 && line[4] != ' ';
        if (code) commands.push_back(line.substr(4));
        afterBreak = code || line.find_first_not_of(' ') == std::string::npos;
    }
    return commands;
}

std::string withPort(std::string command, std::uint16_t port) {
    for (auto at = command.find("5025"); at != std::string::npos; at = command.find("5025", at + 1))
        command.replace(at, 4, std::to_string(port));
    return command;
}

TEST(BtgenReadme, EveryCommandOfTheCommandLineSectionRunsAsItStands) {
    const std::vector<std::string> commands = readmeCommands();
    ASSERT_GT(commands.size(), 25u);
    const bttest::ScratchDir dir;
    // The simulator as the README starts it, on a free port instead.
    const auto sim = std::find_if(commands.begin(), commands.end(),
                                  [](const std::string& c) { return c.starts_with("ixo-sim "); });
    ASSERT_NE(sim, commands.end());
    std::istringstream words(*sim);
    std::vector<std::string> args;
    // (SimProcess gives the port: the README's --port and its number are left out.)
    for (std::string w; words >> w;)
        if (w != "ixo-sim" && w != "--port" && w != "5025") args.push_back(w == "sent.txt" ? (dir / w).string() : w);
    testsupport::SimProcess simulator(args);
    ASSERT_NE(simulator.port(), 0);

    const std::string apps = std::filesystem::path(testsupport::appPath("btgen")).parent_path().string();
    for (const std::string& command : commands) {
        if (command.starts_with("ixo-sim ")) continue;
        // btgen plot needs btgen-plot-gui, built only with the windows.
        if (command.starts_with("btgen plot ") && !std::filesystem::exists(testsupport::appPath("btgen-plot-gui")))
            continue;
        ASSERT_TRUE(command.starts_with("btgen ")) << command;
        const auto r = testsupport::runProcess({"/bin/sh", "-c", "cd \"$1\" && PATH=\"$2:$PATH\" && " +
                                                                     withPort(command, simulator.port()),
                                                "sh", dir.path().string(), apps});
        EXPECT_EQ(r.status, 0) << command << "\n" << r.err << r.out;
    }
    EXPECT_EQ(simulator.stop(), 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "sent.txt"));
}

}  // namespace
