#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <stdexcept>
#include <string_view>

extern char** environ;

namespace testsupport {

std::string appPath(const std::string& name) { return std::string(BTGEN_BINARY_DIR) + "/apps/" + name; }

ProcessResult btgen(std::vector<std::string> args) {
    args.insert(args.begin(), appPath("btgen"));
    return runProcess(args);
}

ProcessResult runProcess(const std::vector<std::string>& argv) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, err[0]);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    if (rc != 0) {
        close(out[0]);
        close(err[0]);
        throw std::runtime_error("cannot start " + argv[0]);
    }
    ProcessResult r;
    std::array<pollfd, 2> fds = {pollfd{out[0], POLLIN, 0}, pollfd{err[0], POLLIN, 0}};
    std::string* sinks[2] = {&r.out, &r.err};
    int open = 2;
    while (open > 0) {
        if (poll(fds.data(), fds.size(), -1) < 0) break;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[65536];
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<std::size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

std::string errorUnderFileSizeLimit(std::uint64_t limitBytes, const std::function<void()>& work) {
    int pipefd[2];
    if (::pipe(pipefd) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipefd[0]);
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(limitBytes), static_cast<rlim_t>(limitBytes)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::string message = "no error";
        try {
            work();
        } catch (const std::exception& e) {
            message = e.what();
        }
        [[maybe_unused]] auto w = ::write(pipefd[1], message.data(), message.size());
        ::_exit(0);
    }
    ::close(pipefd[1]);
    std::string message;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(pipefd[0], buffer, sizeof buffer)) > 0) message.append(buffer, static_cast<std::size_t>(n));
    ::close(pipefd[0]);
    ::waitpid(pid, nullptr, 0);
    return message;
}

SimProcess::SimProcess(std::vector<std::string> args, std::vector<std::string> extraEnvironment) {
    int out[2];
    if (::pipe(out) != 0) return;
    args.insert(args.begin(), {appPath("ixo-sim"), "--port", "0"});
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        bool replaced = false;
        for (const auto& extra : extraEnvironment)
            replaced |= entry.substr(0, entry.find('=') + 1) == std::string_view(extra).substr(0, extra.find('=') + 1);
        if (!replaced) env.emplace_back(entry);
    }
    env.insert(env.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        const int quiet = ::open("/dev/null", O_WRONLY);  // its "listening on" line
        if (quiet >= 0) ::dup2(quiet, 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    const auto readLine = [fd = out[0]] {
        std::string line;
        char c;
        while (::read(fd, &c, 1) == 1 && c != '\n') line += c;
        return line;
    };
    port_ = static_cast<std::uint16_t>(std::atoi(readLine().c_str()));
    if (std::find(args.begin(), args.end(), "--serial-pty") != args.end()) serialDevice_ = readLine();
    ::close(out[0]);
}

int SimProcess::stop() {
    int status = -1;
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    return status;
}

long SimProcess::residentKb() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

}  // namespace testsupport
