#pragma once
// The instrument simulator's SCPI server: a TCP listener on the loopback
// interface, one thread per connection (a few at most), a bounded stream
// parser for command lines and binary blocks, and fault injection for
// testing how clients cope with a misbehaving instrument.
#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sim/sim_instrument.h"

namespace bt::sim {

struct Faults {
    std::optional<std::uint64_t> closeAfter;  // drop a connection after this many bytes received
    std::optional<std::uint64_t> stallAfter;  // stop reading and answering after this many bytes
    int lateMs = 0;                           // delay before every reply
    bool garble = false;                      // corrupt every reply (line end kept)
    std::string badBlock;                     // block replies get a bad header: indefinite, zero, nondigit, long
    std::optional<std::size_t> flood;         // replies become this many bytes without a line end
};

// Applies one "--fault" option: close-after=BYTES, stall-after=BYTES,
// late=MS, garble, bad-block=KIND, flood=BYTES. Returns an error text for
// anything else.
std::optional<std::string> addFault(Faults& faults, std::string_view option);

struct ServerOptions {
    InstrumentOptions instrument;
    std::size_t maxLine = 64 * 1024;                 // longest command line without its blocks
    std::uint64_t maxBlock = 256ull * 1024 * 1024;   // largest block accepted
    std::size_t maxConnections = 8;
    // A connection that sends nothing (or takes no reply) for this long is
    // closed, so idle clients cannot lock the others out.
    int idleTimeoutMs = 60'000;
    // A command line (its blocks included) must arrive whole within this
    // long of its first byte: a client trickling bytes keeps no connection
    // for ever. 0: no limit.
    int lineTimeoutMs = 60'000;
    Faults faults;
    // Receives the server's log lines (connections closed for idling).
    std::function<void(const std::string&)> log;
};

class Server {
public:
    explicit Server(ServerOptions options = {});
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens on 127.0.0.1:`port` (0 picks a free port). Returns the port,
    // or 0 with the reason in `error`.
    std::uint16_t start(std::uint16_t port, std::string& error);
    // Also answers on a pseudo-terminal, as an instrument on a serial line
    // would. Returns the device a client opens ("/dev/pts/3"), or "" with
    // the reason in `error`. The device stays until stop(), whoever opens
    // and closes it meanwhile.
    std::string startTerminal(std::string& error);
    // Closes every connection and waits for their threads.
    void stop();

    Instrument& instrument() { return instrument_; }
    // Faults for connections accepted from now on.
    void setFaults(const Faults& faults);
    // Bytes received on each finished connection, oldest first.
    std::vector<std::uint64_t> connectionBytes() const;
    // Block bytes held by all connections for lines not yet complete.
    std::uint64_t heldBlockBytes() const { return held_; }

private:
    struct Connection {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    void acceptLoop();
    // `terminal`: a serial line, which never idles out.
    void serve(int fd, Faults faults, bool terminal = false);
    bool makeWakePipe(std::string& error);
    enum class Wait { Ready, TimedOut, Stopping };
    Wait waitFor(int fd, int timeoutMs, short events = 0x001) const;
    bool waitReadable(int fd, int timeoutMs, short events = 0x001) const {
        return waitFor(fd, timeoutMs, events) == Wait::Ready;
    }
    bool sendAll(int fd, std::string_view bytes, bool& idle) const;
    void logLine(const std::string& line) const;
    int idleWaitMs() const { return options_.idleTimeoutMs > 0 ? options_.idleTimeoutMs : -1; }

    ServerOptions options_;
    Instrument instrument_;
    int listenFd_ = -1;
    int wake_[2] = {-1, -1};
    int terminalSide_ = -1;  // our hold on the pseudo-terminal's device side
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::list<Connection> connections_;
    std::vector<std::uint64_t> connectionBytes_;
    std::atomic<std::size_t> active_{0};
    std::atomic<std::uint64_t> held_{0};
};

}  // namespace bt::sim
