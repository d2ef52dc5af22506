#include "lib/atomic_save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "lib/errors.h"

namespace bt {

namespace fs = std::filesystem;

namespace {

std::string systemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// The process umask, read without changing it (other threads may be
// creating files at the same time).
mode_t currentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    return 022;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

void syncFile(const fs::path& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) throw Error(systemError("cannot reopen the new file"));
    if (::fsync(fd.get()) != 0) throw Error(systemError("cannot write the new file to disk"));
    if (::close(fd.release()) != 0) throw Error(systemError("cannot close the new file"));
}

// The rename is only durable once the folder itself is synced; a failure
// here no longer endangers either file, so it is not reported.
void syncFolder(const fs::path& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

}  // namespace

void saveAtomically(const fs::path& targetIn, const std::function<void(const fs::path&)>& write) {
    std::error_code ec;
    fs::path target = targetIn;
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        target = fs::weakly_canonical(target, ec);
        if (ec) throw Error("cannot follow the link " + targetIn.string() + ": " + ec.message());
    }
    if (target.filename().empty()) throw Error("no file name given");
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");

    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) throw Error(target.string() + " is not a regular file");
    const mode_t mode = exists ? (old.st_mode & 07777) : (0666 & ~currentUmask());

    std::string pattern = (folder / ("." + target.filename().string() + ".saving-XXXXXX")).string();
    FileDescriptor fd(::mkstemp(pattern.data()));
    if (fd.get() < 0) throw Error(systemError(("cannot create a file in " + folder.string()).c_str()));
    const fs::path temporary = pattern;
    try {
        if (::fchmod(fd.get(), mode) != 0) throw Error(systemError("cannot set the file permissions"));
        ::close(fd.release());
        write(temporary);
        syncFile(temporary);
        if (::rename(temporary.c_str(), target.c_str()) != 0) throw Error(systemError("cannot replace the file"));
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    syncFolder(folder);
}

}  // namespace bt
