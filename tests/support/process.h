#pragma once
// Child processes for tests: a program run to completion with what it
// prints captured, a piece of the test run under a file-size limit, and
// ixo-sim as users start it.
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

struct ProcessResult {
    int status = -1;  // exit status; 128 + signal when killed
    std::string out;
    std::string err;
};

ProcessResult runProcess(const std::vector<std::string>& argv);

// Path of an executable built from apps/<name>.
std::string appPath(const std::string& name);

// The command line program run to completion with `args`.
ProcessResult btgen(std::vector<std::string> args);

// Runs `work` in a forked child whose file size limit is `limitBytes`, the
// way a full disk would stop it, and returns the text of the exception it
// threw ("no error" when it threw none).
std::string errorUnderFileSizeLimit(std::uint64_t limitBytes, const std::function<void()>& work);

// ixo-sim in a process of its own on a free loopback port (it prints the
// port on its first line); stopped with SIGTERM, as a user's Ctrl-C would.
class SimProcess {
public:
    // `extraEnvironment` entries ("NAME=value") replace or add to ours.
    explicit SimProcess(std::vector<std::string> args, std::vector<std::string> extraEnvironment = {});
    ~SimProcess() { stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    std::uint16_t port() const { return port_; }
    // With --serial-pty: the serial device it answers on (its second line).
    const std::string& serialDevice() const { return serialDevice_; }
    // Exit status as waitpid reports it; -1 when it was not running.
    int stop();
    // Resident memory in kB, from /proc/PID/status.
    long residentKb() const;

private:
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    std::string serialDevice_;
};

}  // namespace testsupport
