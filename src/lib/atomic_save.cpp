#include "lib/atomic_save.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include "lib/errors.h"

namespace bt {

namespace fs = std::filesystem;

namespace {

std::string systemError(const std::string& what) { return what + ": " + std::strerror(errno); }

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
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& o) noexcept : fd_(o.release()) {}
    FileDescriptor& operator=(FileDescriptor&& o) noexcept {
        if (this != &o) {
            reset();
            fd_ = o.release();
        }
        return *this;
    }
    ~FileDescriptor() { reset(); }
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
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

fs::path folderOf(const fs::path& target) { return target.has_parent_path() ? target.parent_path() : fs::path("."); }

std::string temporaryPrefix(const fs::path& target) { return "." + target.filename().string() + ".saving-"; }

// Temporary files of earlier saves of `target` that nobody is writing any
// more: a save holds a lock on its temporary until it is done, so a file
// whose lock can be taken was left by a save that was killed.
void removeStaleTemporaries(const fs::path& target) {
    const std::string prefix = temporaryPrefix(target);
    std::error_code ec;
    for (fs::directory_iterator it(folderOf(target), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + 6 || !name.starts_with(prefix)) continue;
        FileDescriptor fd(::open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;  // a save in progress
        ::unlink(it->path().c_str());
    }
}

// One file on its way: its temporary, locked while the save runs.
struct Staged {
    fs::path target;
    fs::path temporary;
    FileDescriptor lock;
    bool existed = false;
    bool swapped = false;   // target and temporary exchanged: the temporary holds the old file
    bool replaced = false;  // renamed over the target
};

void stage(Staged& s, const fs::path& requested, const FileWriter& write) {
    s.target = saveTargetOf(requested);
    if (s.target.filename().empty()) throw Error("no file name given");
    removeStaleTemporaries(s.target);

    struct stat old {};
    s.existed = ::stat(s.target.c_str(), &old) == 0;
    if (s.existed && !S_ISREG(old.st_mode)) throw Error(s.target.string() + " is not a regular file");
    const mode_t mode = s.existed ? (old.st_mode & 07777) : (0666 & ~currentUmask());

    const fs::path folder = folderOf(s.target);
    std::string pattern = (folder / (temporaryPrefix(s.target) + "XXXXXX")).string();
    s.lock = FileDescriptor(::mkostemp(pattern.data(), O_CLOEXEC));
    if (s.lock.get() < 0) throw Error(systemError("cannot create a file in " + folder.string()));
    s.temporary = pattern;
    ::flock(s.lock.get(), LOCK_EX | LOCK_NB);
    if (::fchmod(s.lock.get(), mode) != 0) throw Error(systemError("cannot set the file permissions"));
    write(s.temporary);
    syncFile(s.temporary);
}

// Puts the new file in place. `undoable`: swapped with an existing target
// where the file system can, so that the swap can be undone; renamed
// otherwise.
void replace(Staged& s, bool undoable) {
#ifdef RENAME_EXCHANGE
    if (undoable && s.existed) {
        if (::renameat2(AT_FDCWD, s.temporary.c_str(), AT_FDCWD, s.target.c_str(), RENAME_EXCHANGE) == 0) {
            s.swapped = true;
            return;
        }
        if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP && errno != ENOENT)
            throw Error(systemError("cannot replace the file"));
    }
#endif
    if (::rename(s.temporary.c_str(), s.target.c_str()) != 0) throw Error(systemError("cannot replace the file"));
    s.replaced = true;
}

void undo(Staged& s) noexcept {
#ifdef RENAME_EXCHANGE
    if (s.swapped &&
        ::renameat2(AT_FDCWD, s.temporary.c_str(), AT_FDCWD, s.target.c_str(), RENAME_EXCHANGE) == 0)
        s.swapped = false;
#endif
    if (s.replaced && !s.existed && ::unlink(s.target.c_str()) == 0) s.replaced = false;
}

void removeTemporaries(std::vector<Staged>& staged) noexcept {
    for (Staged& s : staged)
        // A swap that could not be undone left the old file in the
        // temporary: it stays.
        if (!s.temporary.empty() && !s.replaced && !s.swapped) ::unlink(s.temporary.c_str());
}

std::string named(const FileToSave& f, const std::string& reason) {
    return (f.what.empty() ? std::string() : f.what + " ") + f.target.string() + ": " + reason;
}

}  // namespace

fs::path saveTargetOf(const fs::path& path) {
    fs::path p = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) return p;
        const fs::path next = fs::read_symlink(p, ec);
        if (ec) throw Error("cannot follow the link " + p.string() + ": " + ec.message());
        p = next.is_absolute() ? next : folderOf(p) / next;
    }
    throw Error("cannot follow the link " + path.string() + ": too many levels of links");
}

void saveAtomically(const fs::path& target, const FileWriter& write) {
    std::vector<Staged> staged(1);
    try {
        stage(staged[0], target, write);
        replace(staged[0], false);
    } catch (...) {
        removeTemporaries(staged);
        throw;
    }
    syncFolder(folderOf(staged[0].target));
}

void saveTogether(const std::vector<FileToSave>& files) {
    std::vector<Staged> staged(files.size());
    std::size_t k = 0;
    try {
        for (; k < files.size(); ++k) stage(staged[k], files[k].target, files[k].write);
    } catch (const std::exception& e) {
        removeTemporaries(staged);
        throw Error(named(files[k], e.what()));
    }
    for (k = 0; k < files.size(); ++k) {
        try {
            replace(staged[k], true);
        } catch (const std::exception& e) {
            for (std::size_t j = k; j-- > 0;) undo(staged[j]);
            removeTemporaries(staged);
            throw Error(named(files[k], e.what()));
        }
    }
    for (Staged& s : staged) {
        if (s.swapped) ::unlink(s.temporary.c_str());  // the old file
        syncFolder(folderOf(s.target));
    }
}

}  // namespace bt
