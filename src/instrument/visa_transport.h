#pragma once
// GPIB through a VISA library loaded at run time. Without one installed,
// every operation fails with a status that says so.
#include <string>

#include "instrument/transport.h"

namespace bt {

// "GPIB<board>::<primary>[::<secondary>]::INSTR"
std::string gpibResourceName(int board, int primary, int secondary);

class VisaTransport : public Transport {
public:
    explicit VisaTransport(std::string resource) : resource_(std::move(resource)) {}
    ~VisaTransport() override;

    std::string name() const override { return resource_; }
    HwResult open(int timeoutMs) override;
    HwResult write(std::span<const std::uint8_t> bytes, int timeoutMs) override;
    HwResult read(std::span<std::uint8_t> buffer, std::size_t& got, int timeoutMs) override;
    bool hasBusLocal() const override { return true; }
    HwResult goToLocal(int timeoutMs) override;
    void abort() noexcept override;

private:
    HwResult fail(int status, const std::string& what, long visaStatus) const;
    bool setTimeout(int timeoutMs);
    std::string resource_;
    unsigned rm_ = 0;
    unsigned vi_ = 0;
};

}  // namespace bt
