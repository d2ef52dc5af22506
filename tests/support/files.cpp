#include "support/files.h"

#include "support/process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace bttest {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "btgen-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a scratch folder");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

RunResult runProgram(const std::vector<std::string>& argv) {
    try {
        const auto r = testsupport::runProcess(argv);
        return {r.status < 128 ? r.status : -1, r.out + r.err};
    } catch (const std::exception&) {
        return {127, "cannot start " + argv.front()};
    }
}

std::optional<std::string> scipyPython() {
    static const std::optional<std::string> found = []() -> std::optional<std::string> {
        // The distribution's interpreter first: a user-installed python3
        // earlier on PATH may lack the packaged scipy.
        for (const char* candidate : {"/usr/bin/python3", "python3"})
            if (runProgram({candidate, "-c", "import scipy.io"}).status == 0) return std::string(candidate);
        return std::nullopt;
    }();
    return found;
}

RunResult runPython(const std::string& script, const std::vector<std::string>& args) {
    const auto python = scipyPython();
    if (!python) return {};
    std::vector<std::string> argv = {*python, "-c", script};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv);
}

std::string testName(std::string_view what) {
    std::string name;
    for (char c : what) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

fs::path btgenPath() { return testsupport::appPath("btgen"); }

}  // namespace bttest
