#pragma once
// SCPI over a raw TCP socket (port 5025 unless the address names one).
#include <cstdint>
#include <optional>
#include <string>

#include "instrument/transport.h"

namespace bt {

inline constexpr std::uint16_t kDefaultScpiPort = 5025;

struct TcpEndpoint {
    std::string host;  // dotted IPv4
    std::uint16_t port = kDefaultScpiPort;
};

// Reads "a.b.c.d" or "a.b.c.d:port". Nothing for anything else.
std::optional<TcpEndpoint> parseTcpAddress(const std::string& address);

class TcpTransport : public Transport {
public:
    explicit TcpTransport(TcpEndpoint endpoint) : ep_(std::move(endpoint)) {}
    ~TcpTransport() override;

    std::string name() const override;
    HwResult open(int timeoutMs) override;
    HwResult write(std::span<const std::uint8_t> bytes, int timeoutMs) override;
    HwResult read(std::span<std::uint8_t> buffer, std::size_t& got, int timeoutMs) override;
    void abort() noexcept override;
    // A LAN instrument takes several megabytes a second; a tenth of that
    // still counts as working.
    std::uint64_t slowestBytesPerSecond() const override { return 1'000'000; }

private:
    HwResult fail(int status, const std::string& what) const;
    TcpEndpoint ep_;
    int fd_ = -1;
};

}  // namespace bt
