#include "support/files.h"

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
    int pipefd[2];
    if (::pipe(pipefd) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipefd[1], 1);
        ::dup2(pipefd[1], 2);
        ::close(pipefd[0]);
        ::close(pipefd[1]);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(pipefd[1]);
    RunResult r;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipefd[0], buffer, sizeof buffer)) > 0) r.output.append(buffer, static_cast<std::size_t>(n));
    ::close(pipefd[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
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

fs::path btgenPath() { return fs::path(BTGEN_BINARY_DIR) / "apps" / "btgen"; }

}  // namespace bttest
