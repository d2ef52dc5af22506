#include "sim/sim_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "instrument/block_format.h"
#include "lib/numtext.h"

namespace bt::sim {

std::optional<std::string> addFault(Faults& f, std::string_view option) {
    const auto eq = option.find('=');
    const std::string_view key = option.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? std::string_view() : option.substr(eq + 1);
    const auto number = [&]() -> std::optional<std::uint64_t> {
        const auto v = parseNumber(value);
        if (!v || *v < 0 || *v != static_cast<double>(static_cast<std::uint64_t>(*v))) return std::nullopt;
        return static_cast<std::uint64_t>(*v);
    };
    if (key == "garble" && value.empty()) {
        f.garble = true;
        return std::nullopt;
    }
    if (key == "bad-block" && (value == "indefinite" || value == "zero" || value == "nondigit" || value == "long")) {
        f.badBlock = std::string(value);
        return std::nullopt;
    }
    const auto n = number();
    if (n && key == "close-after") f.closeAfter = *n;
    else if (n && key == "stall-after") f.stallAfter = *n;
    else if (n && key == "late" && *n <= 3'600'000) f.lateMs = static_cast<int>(*n);
    else if (n && key == "flood" && *n <= (1u << 30)) f.flood = static_cast<std::size_t>(*n);
    else
        return "unknown fault \"" + std::string(option) +
               "\" (close-after=BYTES, stall-after=BYTES, late=MS, garble, "
               "bad-block=indefinite|zero|nondigit|long, flood=BYTES)";
    return std::nullopt;
}

namespace {

// Splits the byte stream into command lines, taking binary blocks out of
// them as they arrive. Bounded: a line too long, a block too large, blocks
// of one line beyond the waveform memory, or blocks of all connections
// together beyond twice the memory, are an error in the queue, and the rest
// of that line is skipped.
class LineParser {
public:
    LineParser(Instrument& in, const ServerOptions& o, std::atomic<std::uint64_t>& held)
        : in_(in), o_(o), held_(held), lineCap_(4 * in.memoryCapacity()), sharedCap_(2 * lineCap_) {}
    ~LineParser() { release(); }
    LineParser(const LineParser&) = delete;
    LineParser& operator=(const LineParser&) = delete;

    // Feeds bytes; every completed line is executed and its replies are
    // handed to `send` as they are made. False when `send` failed (the
    // client is gone): the rest of the bytes are not looked at.
    bool feed(const std::uint8_t* p, std::size_t n, const std::function<bool(Reply&&)>& send) {
        while (n > 0) {
            switch (state_) {
                case State::Text: {
                    const std::uint8_t c = *p++;
                    --n;
                    if (c == '\n') {
                        bool sent = true;
                        in_.execute(line_, blocks_, raw_, [&](Reply&& r) { return sent = send(std::move(r)); });
                        reset();
                        if (!sent) return false;
                    } else if (c == '#' && !quoted_) {
                        header_ = "#";
                        state_ = State::BlockHeader;
                    } else {
                        if (c == '"') quoted_ = !quoted_;
                        line_ += static_cast<char>(c);
                        raw_ += static_cast<char>(c);
                        if (line_.size() > o_.maxLine) fail(-223, "Too much data;line too long");
                    }
                    break;
                }
                case State::BlockHeader: {
                    header_ += static_cast<char>(*p++);
                    --n;
                    const BlockHeaderParse h = parseBlockHeader(header_);
                    if (h.state == BlockHeaderParse::State::Malformed) {
                        fail(-161, "Invalid block data;" + h.error);
                    } else if (h.state == BlockHeaderParse::State::Complete) {
                        raw_ += header_ + "<" + std::to_string(h.length) + " bytes>";
                        const char* refusal = nullptr;
                        if (h.length > o_.maxBlock) {
                            in_.pushError(-223, "Too much data;block too large");
                            refusal = "";
                        } else if (h.length > lineCap_ - lineBytes_) {
                            refusal = "Out of memory;blocks of one line exceed the waveform memory";
                        } else if (!reserve(h.length)) {
                            refusal = "Out of memory;blocks in transfer exceed the waveform memory";
                        }
                        if (refusal) {
                            if (*refusal) in_.pushError(-225, refusal);
                            dropBlocks();
                            remaining_ = h.length;
                            state_ = remaining_ ? State::Skip : State::Discard;
                        } else {
                            line_ += '\x01';
                            blocks_.emplace_back();
                            blocks_.back().reserve(static_cast<std::size_t>(h.length));
                            remaining_ = h.length;
                            state_ = remaining_ ? State::BlockData : State::Text;
                        }
                    }
                    break;
                }
                case State::BlockData:
                case State::Skip: {
                    const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, n));
                    if (state_ == State::BlockData) blocks_.back().insert(blocks_.back().end(), p, p + take);
                    p += take;
                    n -= take;
                    remaining_ -= take;
                    if (remaining_ == 0) state_ = state_ == State::BlockData ? State::Text : State::Discard;
                    break;
                }
                case State::Discard: {
                    const std::uint8_t c = *p++;
                    --n;
                    if (c == '\n') reset();
                    break;
                }
            }
        }
        return true;
    }

    // Part of a line has arrived and its end has not.
    bool midLine() const { return state_ != State::Text || !raw_.empty(); }
    std::uint64_t linesEnded() const { return linesEnded_; }

private:
    enum class State { Text, BlockHeader, BlockData, Skip, Discard };
    void fail(int code, const std::string& message) {
        in_.pushError(code, message);
        dropBlocks();
        state_ = State::Discard;
    }
    // The line will not be executed: its blocks need not be held.
    void dropBlocks() {
        blocks_.clear();
        release();
    }
    // Counts `bytes` against the blocks all connections hold; false when
    // they would exceed the shared cap.
    bool reserve(std::uint64_t bytes) {
        std::uint64_t now = held_.load();
        do {
            if (bytes > sharedCap_ || now > sharedCap_ - bytes) return false;
        } while (!held_.compare_exchange_weak(now, now + bytes));
        lineBytes_ += bytes;
        return true;
    }
    void release() {
        held_ -= lineBytes_;
        lineBytes_ = 0;
    }
    void reset() {
        ++linesEnded_;
        release();
        line_.clear();
        raw_.clear();
        blocks_.clear();
        quoted_ = false;
        state_ = State::Text;
    }

    Instrument& in_;
    const ServerOptions& o_;
    std::atomic<std::uint64_t>& held_;
    const std::uint64_t lineCap_;
    const std::uint64_t sharedCap_;
    std::uint64_t lineBytes_ = 0;  // block bytes of the current line, counted in held_
    State state_ = State::Text;
    std::string line_;
    std::string raw_;
    std::string header_;
    std::vector<Block> blocks_;
    std::uint64_t remaining_ = 0;
    bool quoted_ = false;
    std::uint64_t linesEnded_ = 0;
};

// The reply as a misbehaving instrument would send it.
std::string wireReply(const Reply& r, const Faults& f) {
    if (f.flood) return std::string(*f.flood, 'A');
    std::string bytes = r.bytes;
    if (r.block && !f.badBlock.empty()) {
        const auto h = parseBlockHeader(bytes);
        const std::string data = bytes.substr(h.headerSize);
        if (f.badBlock == "indefinite") bytes = "#0" + data;
        else if (f.badBlock == "zero") bytes = "#10" + data;
        else if (f.badBlock == "nondigit") bytes = "#3x" + data;
        else bytes = *blockHeader(data.size() + 100) + data;  // announces more than is sent
    }
    if (f.garble)
        for (char& c : bytes) {
            c = static_cast<char>(c ^ 0x2A);
            if (c == '\n') c = '*';
        }
    return bytes + "\n";
}

}  // namespace

Server::Server(ServerOptions options) : options_(std::move(options)), instrument_(options_.instrument) {}

Server::~Server() { stop(); }

bool Server::makeWakePipe(std::string& error) {
    if (wake_[0] >= 0) return true;
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) == 0) return true;
    error = std::string("pipe: ") + std::strerror(errno);
    return false;
}

std::uint16_t Server::start(std::uint16_t port, std::string& error) {
    if (!makeWakePipe(error)) return 0;
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 16) != 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        return 0;
    }
    acceptor_ = std::thread([this] { acceptLoop(); });
    return ntohs(addr.sin_port);
}

std::string Server::startTerminal(std::string& error) {
    if (!makeWakePipe(error)) return {};
    int controller = -1;
    int device = -1;
    char name[256] = {};
    if (::openpty(&controller, &device, name, nullptr, nullptr) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return {};
    }
    // Raw on the device side until the client sets its own mode, so that
    // nothing it sends comes back as an echo.
    termios t{};
    ::tcgetattr(device, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(device, TCSANOW, &t);
    ::fcntl(controller, F_SETFL, ::fcntl(controller, F_GETFL) | O_NONBLOCK);
    ::fcntl(controller, F_SETFD, FD_CLOEXEC);
    ::fcntl(device, F_SETFD, FD_CLOEXEC);
    std::lock_guard lock(mutex_);
    terminalSide_ = device;
    Connection& c = connections_.emplace_back();
    c.thread = std::thread([this, controller, &c] {
        // Each pass is one client's session; a line left half-sent by a
        // client that went away is dropped with its pass.
        for (;;) {
            pollfd stopping{wake_[0], POLLIN, 0};
            if (::poll(&stopping, 1, 0) > 0) break;
            const int fd = ::dup(controller);
            if (fd < 0) break;
            Faults faults;
            {
                std::lock_guard faultLock(mutex_);
                faults = options_.faults;
            }
            serve(fd, faults, true);
        }
        ::close(controller);
        c.done = true;
    });
    return name;
}

void Server::stop() {
    if (wake_[1] >= 0) {
        const char b = 1;
        [[maybe_unused]] const auto w = ::write(wake_[1], &b, 1);
    }
    if (acceptor_.joinable()) acceptor_.join();
    std::list<Connection> finishing;
    {
        std::lock_guard lock(mutex_);
        finishing.swap(connections_);
    }
    for (auto& c : finishing)
        if (c.thread.joinable()) c.thread.join();
    for (int* fd : {&listenFd_, &wake_[0], &wake_[1], &terminalSide_})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
}

void Server::setFaults(const Faults& faults) {
    std::lock_guard lock(mutex_);
    options_.faults = faults;
}

std::vector<std::uint64_t> Server::connectionBytes() const {
    std::lock_guard lock(mutex_);
    return connectionBytes_;
}

Server::Wait Server::waitFor(int fd, int timeoutMs, short events) const {
    pollfd p[2] = {{fd, events, 0}, {wake_[0], POLLIN, 0}};
    for (;;) {
        const int r = ::poll(p, 2, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 || (p[1].revents & POLLIN)) return Wait::Stopping;
        return r == 0 ? Wait::TimedOut : Wait::Ready;
    }
}

bool Server::sendAll(int fd, std::string_view bytes, bool& idle) const {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == ENOTSOCK) n = ::write(fd, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            // A client that takes no reply is as idle as one that sends nothing.
            const Wait w = waitFor(fd, idleWaitMs(), POLLOUT);
            idle = w == Wait::TimedOut;
            if (w != Wait::Ready) return false;
        } else {
            return false;
        }
    }
    return true;
}

void Server::logLine(const std::string& line) const {
    if (options_.log) options_.log(line);
}

namespace {
std::string peerName(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return "a client";
    char host[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &addr.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(addr.sin_port));
}
}  // namespace

void Server::acceptLoop() {
    for (;;) {
        if (!waitReadable(listenFd_, -1)) return;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) continue;
        std::lock_guard lock(mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            if (it->done) {
                it->thread.join();
                it = connections_.erase(it);
            } else {
                ++it;
            }
        }
        if (connections_.size() >= options_.maxConnections) {
            // Told why, so that it does not read a bare close as a fault.
            const std::string refusal = "ixo-sim: too many connections (" + std::to_string(options_.maxConnections) +
                                        " at most); try again later\n";
            [[maybe_unused]] const auto sent = ::send(fd, refusal.data(), refusal.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            logLine("refused a connection from " + peerName(fd) + ": " + std::to_string(options_.maxConnections) +
                    " clients are connected");
            ::close(fd);
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const int buffer = 4 << 20;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        Connection& c = connections_.emplace_back();
        c.thread = std::thread([this, fd, faults = options_.faults, &c] {
            serve(fd, faults);
            c.done = true;
        });
    }
}


void Server::serve(int fd, Faults faults, bool terminal) {
    LineParser parser(instrument_, options_, held_);
    bool idle = false;
    std::vector<std::uint8_t> buffer(1 << 20);
    std::uint64_t received = 0;
    bool slow = false;
    auto lineStart = std::chrono::steady_clock::now();
    bool open = !(faults.closeAfter && *faults.closeAfter == 0);
    while (open) {
        if (faults.stallAfter && received >= *faults.stallAfter) {
            // Neither read nor answer; wait for the client to give up.
            waitReadable(fd, -1, POLLRDHUP);
            break;
        }
        std::uint64_t limit = buffer.size();
        if (faults.closeAfter) limit = std::min(limit, *faults.closeAfter - received);
        if (faults.stallAfter) limit = std::min(limit, *faults.stallAfter - received);
        int waitMs = terminal ? -1 : idleWaitMs();
        bool lineDeadline = false;  // the wait ends at the line's deadline
        if (options_.lineTimeoutMs > 0 && parser.midLine()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                                  lineStart + std::chrono::milliseconds(options_.lineTimeoutMs) -
                                  std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) {
                slow = true;
                break;
            }
            if (waitMs < 0 || left <= waitMs) {
                waitMs = static_cast<int>(left);
                lineDeadline = true;
            }
        }
        const Wait w = waitFor(fd, waitMs);
        if (w == Wait::TimedOut && lineDeadline) {
            slow = true;
            break;
        }
        if (w != Wait::Ready) {
            idle = w == Wait::TimedOut;
            break;
        }
        ssize_t n = ::recv(fd, buffer.data(), static_cast<std::size_t>(limit), 0);
        if (n < 0 && errno == ENOTSOCK) n = ::read(fd, buffer.data(), static_cast<std::size_t>(limit));
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) break;
        received += static_cast<std::uint64_t>(n);
        // The deadline runs from the first byte of a line; a buffer that
        // ends lines and starts another restarts it (a slow line started
        // in this buffer gets its full time).
        const bool wasMidLine = parser.midLine();
        const std::uint64_t linesBefore = parser.linesEnded();
        open = parser.feed(buffer.data(), static_cast<std::size_t>(n), [&](Reply&& r) {
            pollfd stopping{wake_[0], POLLIN, 0};
            if (faults.lateMs > 0 && ::poll(&stopping, 1, faults.lateMs) > 0) return false;
            return sendAll(fd, wireReply(r, faults), idle);
        });
        if (!open) break;
        if (!wasMidLine || parser.linesEnded() != linesBefore)
            lineStart = std::chrono::steady_clock::now();
        if (faults.closeAfter && received >= *faults.closeAfter) break;
    }
    if (slow)
        logLine("closed the connection from " + peerName(fd) + ": a command line took longer than " +
                formatNumber(options_.lineTimeoutMs / 1000.0) + " s to arrive");
    if (idle)
        logLine("closed the connection from " + peerName(fd) + ": idle for " +
                formatNumber(options_.idleTimeoutMs / 1000.0) + " s");
    ::close(fd);
    std::lock_guard lock(mutex_);
    connectionBytes_.push_back(received);
}

}  // namespace bt::sim
