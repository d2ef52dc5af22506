#pragma once
// Runs a program (a path, or a name looked up on PATH) and captures what it
// prints.
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

}  // namespace testsupport
