#pragma once
// Test helpers for file formats: scratch folders, whole-file reads and
// writes, and a Python interpreter with scipy as an independent MAT-file
// reader and writer.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bttest {

// A fresh folder under the system's temporary folder, removed afterwards.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::string readBytes(const std::filesystem::path& file);
void writeBytes(const std::filesystem::path& file, const std::string& bytes);

// A python3 that can import scipy.io, or nothing (tests then skip).
std::optional<std::string> scipyPython();

struct RunResult {
    int status = -1;     // exit status, -1 when the program did not exit normally
    std::string output;  // standard output and standard error together
};
// Runs `script` with the scipy interpreter; `args` are passed as sys.argv[1:].
RunResult runPython(const std::string& script, const std::vector<std::string>& args = {});
// Runs a program with arguments, capturing its output.
RunResult runProgram(const std::vector<std::string>& argv);

// A parametrised test's name made of letters, digits and underscores.
std::string testName(std::string_view what);

// The btgen executable of this build.
std::filesystem::path btgenPath();

}  // namespace bttest
