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

// The indented lines of the section whose heading starts with `heading`.
std::vector<std::string> readmeCommands(std::string_view heading = "## Using the command line") {
    std::ifstream in(std::string(BTGEN_SOURCE_DIR) + "/README.md");
    std::vector<std::string> commands;
    bool inside = false;
    bool afterBreak = true;  // blank line or code: where a code block may start
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("## ")) inside = line.starts_with(heading);
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

TEST(BtgenReadme, TheSetUpSectionRunsAsItStands) {
    const std::vector<std::string> blocks = readmeCommands("## Set-up");
    ASSERT_EQ(blocks.size(), 3u);
    // The main job, as a fresh clone runs it (without a display): it
    // installs what is missing (here nothing, so no package is touched),
    // builds the programs the job needs and plays the waveform on the
    // simulator.
    EXPECT_EQ(blocks[0], "scripts/run.sh");
    const auto job = testsupport::runProcess(
        {"/bin/sh", "-c", "cd \"$1\" && unset DISPLAY WAYLAND_DISPLAY && " + blocks[0], "sh", BTGEN_SOURCE_DIR});
    ASSERT_EQ(job.status, 0) << job.err << job.out;
    EXPECT_THAT(job.out, testing::Not(testing::HasSubstr("Installing:")));
    EXPECT_THAT(job.out, testing::HasSubstr("Downloaded 12500 samples"));
    EXPECT_THAT(job.out, testing::HasSubstr("player: on"));
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(BTGEN_SOURCE_DIR) / "build/main-job/default.mat"));

    // The desktop program's synopsis: every option it shows is one the
    // program takes (its --help needs no display).
    EXPECT_TRUE(blocks[1].starts_with("build/apps/btgen-gui ")) << blocks[1];
    const std::string gui = testsupport::appPath("btgen-gui");
    if (std::filesystem::exists(gui)) {
        const auto help = testsupport::runProcess({gui, "--help"});
        EXPECT_EQ(help.status, 0);
        std::istringstream words(blocks[1]);
        for (std::string w; words >> w;) {
            w.erase(0, w.find_first_not_of('['));
            w.erase(w.find_last_not_of(']') + 1);
            if (w.starts_with("--")) {
                EXPECT_THAT(help.out, testing::HasSubstr(w)) << w;
            }
        }
    }
    // The suite itself, which this test is part of.
    EXPECT_EQ(blocks[2], "scripts/test.sh");
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(BTGEN_SOURCE_DIR) / blocks[2]));
}

}  // namespace
