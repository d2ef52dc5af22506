#include "bluetooth/user_data_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>

namespace bt {

namespace {

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

UserDataFile readUserDataFile(const std::string& path, double maxLengthInBits, std::string_view bitorder) {
    UserDataFile r;
    // Non-blocking open so that a FIFO without a writer cannot hang us.
    Fd f{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    struct stat st {};
    // Only a plain file: a FIFO, a terminal or a socket could keep the read
    // waiting for ever.
    if (f.fd < 0 || ::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        r.errorText = "Could not open\n" + path;
        return r;
    }
    ::fcntl(f.fd, F_SETFL, ::fcntl(f.fd, F_GETFL) & ~O_NONBLOCK);

    const double maxBits = std::isnan(maxLengthInBits) ? 0 : std::max(0.0, std::floor(maxLengthInBits));
    const auto byteCount = static_cast<std::size_t>(std::ceil(std::min(maxBits, 1e12) / 8));
    const bool lsbFirst = bitorder.substr(0, 5) == "right";
    unsigned char chunk[65536];
    std::size_t done = 0;
    while (done < byteCount) {
        const ssize_t n = ::read(f.fd, chunk, std::min(sizeof chunk, byteCount - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {  // a failing disk: part of a file is not the file
            r.bits.clear();
            r.errorText = "Could not read\n" + path;
            return r;
        }
        if (n == 0) break;
        for (ssize_t i = 0; i < n; ++i)
            for (int k = 0; k < 8; ++k)
                r.bits.push_back(static_cast<std::uint8_t>((chunk[i] >> (lsbFirst ? k : 7 - k)) & 1));
        done += static_cast<std::size_t>(n);
    }
    if (r.bits.size() > maxBits) r.bits.resize(static_cast<std::size_t>(maxBits));
    r.status = 1;
    return r;
}

UserDataFile loadUserDatafile(double maxLengthInBits, std::string_view bitorder, Dialogs& dialogs) {
    const std::optional<std::string> path = dialogs.openFile("*.*", "Select data source file.");
    if (!path) return {};
    UserDataFile r = readUserDataFile(*path, maxLengthInBits, bitorder);
    if (r.status != 1) dialogs.error(r.errorText, kUserFileErrorTitle);
    return r;
}

}  // namespace bt
