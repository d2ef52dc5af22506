#pragma once
// A misbehaving instrument in a few lines of socket code: it listens on a
// free loopback port and runs a script against each connection (one at a
// time), so tests can send what no well-behaved simulator would.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace testsupport {

class FakeInstrument {
public:
    // What to do with one accepted connection; the socket is closed after.
    using Script = std::function<void(FakeInstrument& self, int fd)>;

    explicit FakeInstrument(Script script);
    ~FakeInstrument();  // stops serving and closes the listener
    FakeInstrument(const FakeInstrument&) = delete;
    FakeInstrument& operator=(const FakeInstrument&) = delete;

    std::uint16_t port() const { return port_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

    // Helpers for scripts. All give up once the fake is stopping.
    // Reads up to and including the next line end; empty when the peer is gone.
    std::string readLine(int fd);
    bool send(int fd, std::string_view bytes);
    // Waits `ms`; false when the fake is stopping.
    bool pause(int ms);
    bool stopping() const { return stopping_; }

private:
    void serve();
    Script script_;
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace testsupport
