// libFuzzer target: whatever an instrument sends, the reply reader ends in a
// reply within its caps or a failure with a text, never in a crash, a
// sanitizer report, a hang or an allocation beyond what the reply may hold.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "instrument/block_format.h"
#include "instrument/scpi_session.h"

namespace {

// Hands out the fuzz bytes in the slices a network would, then reports the
// connection closed.
class ScriptedTransport : public bt::Transport {
public:
    ScriptedTransport(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::string name() const override { return "fuzz"; }
    bt::HwResult open(int) override { return {}; }
    bt::HwResult write(std::span<const std::uint8_t>, int) override { return {}; }
    bt::HwResult read(std::span<std::uint8_t> buffer, std::size_t& got, int) override {
        got = 0;
        if (at_ == size_) return {bt::io_status::kClosed, "closed"};
        // Slice lengths come from the data itself: 1 to 64 bytes.
        const std::size_t slice = 1 + data_[at_] % 64;
        got = std::min({slice, buffer.size(), size_ - at_});
        std::memcpy(buffer.data(), data_ + at_, got);
        at_ += got;
        return {};
    }
    void abort() noexcept override {}

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks what the reader expects: no block, a text-sized
    // block, or a data block.
    const std::uint64_t caps[] = {0, bt::kMaxReplyText, bt::kMaxReplyBlock};
    const std::uint64_t cap = caps[data[0] % 3];
    ScriptedTransport t(data + 1, size - 1);
    bt::ScpiSession s(t, 1000);
    s.startExchange();
    for (int k = 0; k < 8; ++k) {
        std::string reply;
        const bt::HwResult r = s.readReply(reply, cap);
        if (!r.ok()) {
            if (r.response.empty() || !reply.empty()) std::abort();  // a failure says why, and yields nothing
            break;
        }
        if (!reply.empty() && reply.front() == '#') {
            const bt::BlockHeaderParse h = bt::parseBlockHeader(reply);
            if (h.state != bt::BlockHeaderParse::State::Complete || h.length > cap ||
                reply.size() != h.headerSize + h.length)
                std::abort();  // a block is whole and within its cap
        } else if (reply.size() > bt::kMaxReplyText + 64 * 1024) {
            std::abort();
        }
        int code = 0;
        std::string message;
        if (bt::parseErrorEntry(reply, code, message) && message.size() >= reply.size()) std::abort();
    }
    const bt::BlockHeaderParse h = bt::parseBlockHeader({reinterpret_cast<const char*>(data), size});
    if (h.state == bt::BlockHeaderParse::State::Complete && h.headerSize > size) std::abort();
    if (h.state == bt::BlockHeaderParse::State::Malformed && h.error.empty()) std::abort();
    return 0;
}
