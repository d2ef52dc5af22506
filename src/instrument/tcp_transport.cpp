#include "instrument/tcp_transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace bt {

std::optional<TcpEndpoint> parseTcpAddress(const std::string& address) {
    TcpEndpoint ep;
    const auto colon = address.find(':');
    ep.host = address.substr(0, colon);
    in_addr probe{};
    if (inet_pton(AF_INET, ep.host.c_str(), &probe) != 1) return std::nullopt;
    if (colon != std::string::npos) {
        const std::string port = address.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        const unsigned long p = std::stoul(port);
        if (p == 0 || p > 65535) return std::nullopt;
        ep.port = static_cast<std::uint16_t>(p);
    }
    return ep;
}

TcpTransport::~TcpTransport() {
    if (fd_ >= 0) ::close(fd_);
}

std::string TcpTransport::name() const { return "TCPIP " + ep_.host + ":" + std::to_string(ep_.port); }

HwResult TcpTransport::fail(int status, const std::string& what) const {
    return {status, what + " (" + name() + ")"};
}

namespace {
// Waits for `events` on `fd`; 1 ready, 0 timed out, -1 error (errno set).
int waitFor(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        return r < 0 ? -1 : (r == 0 ? 0 : 1);
    }
}
}  // namespace

HwResult TcpTransport::open(int timeoutMs) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(ep_.port);
    inet_pton(AF_INET, ep_.host.c_str(), &addr.sin_addr);
    if (addr.sin_addr.s_addr == htonl(INADDR_ANY))
        return {io_status::kArgument, "No instrument address is set (TCPIP.address is 0.0.0.0)"};

    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return fail(io_status::kOpen, std::string("Cannot create a socket: ") + std::strerror(errno));
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // Room for a few chunks of a waveform in flight.
    const int buffer = 4 << 20;
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);

    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        if (errno != EINPROGRESS)
            return fail(io_status::kOpen, std::string("Cannot connect to the instrument: ") + std::strerror(errno));
        const int ready = waitFor(fd_, POLLOUT, timeoutMs);
        if (ready == 0) return fail(io_status::kTimeout, "The instrument did not accept the connection in time");
        int err = 0;
        socklen_t len = sizeof err;
        if (ready < 0 || ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        if (err != 0)
            return fail(io_status::kOpen, std::string("Cannot connect to the instrument: ") + std::strerror(err));
    }
    return {};
}

HwResult TcpTransport::write(std::span<const std::uint8_t> bytes, int timeoutMs) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (pastDeadline())
            return fail(io_status::kTimeout, timeoutText("") + " (" + std::to_string(done) + " of " +
                                                 std::to_string(bytes.size()) + " bytes sent)");
        const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int ready = waitFor(fd_, POLLOUT, waitBudget(timeoutMs));
            if (ready == 0)
                return fail(io_status::kTimeout,
                            timeoutText("The instrument took no data for " + std::to_string(timeoutMs) + " ms") +
                                " (" + std::to_string(done) + " of " + std::to_string(bytes.size()) +
                                " bytes sent)");
            if (ready > 0) continue;
        }
        if (errno == EPIPE || errno == ECONNRESET)
            return fail(io_status::kClosed, "The instrument closed the connection (" + std::to_string(done) + " of " +
                                                std::to_string(bytes.size()) + " bytes sent)");
        return fail(io_status::kWrite, std::string("Write failed: ") + std::strerror(errno));
    }
    return {};
}

HwResult TcpTransport::read(std::span<std::uint8_t> buffer, std::size_t& got, int timeoutMs) {
    got = 0;
    for (;;) {
        if (pastDeadline()) return fail(io_status::kTimeout, timeoutText(""));
        const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), 0);
        if (n > 0) {
            got = static_cast<std::size_t>(n);
            return {};
        }
        if (n == 0) return fail(io_status::kClosed, "The instrument closed the connection");
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            const int ready = waitFor(fd_, POLLIN, waitBudget(timeoutMs));
            if (ready == 0)
                return fail(io_status::kTimeout,
                            timeoutText("No reply from the instrument within " + std::to_string(timeoutMs) + " ms"));
            if (ready > 0) continue;
        }
        if (errno == ECONNRESET) return fail(io_status::kClosed, "The instrument closed the connection");
        return fail(io_status::kRead, std::string("Read failed: ") + std::strerror(errno));
    }
}

void TcpTransport::abort() noexcept {
    if (fd_ < 0) return;
    // A reset instead of an orderly close: unsent data is dropped, so an
    // instrument that stopped reading is not left waiting for it.
    const linger hard{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(fd_);
    fd_ = -1;
}

}  // namespace bt
