#include "instrument/scpi_session.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <charconv>
#include <cstring>

#include "instrument/block_format.h"

namespace bt {

bool expectsBlockReply(std::string_view query) {
    std::string head;
    for (char c : query.substr(0, query.find_first_of(" \t")))
        head += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return head.size() >= 5 && head.ends_with("DATA?");
}

long long ScpiSession::allowanceMs(std::uint64_t bytes) const {
    const std::uint64_t rate = std::max<std::uint64_t>(1, t_.slowestBytesPerSecond());
    // Saturates long before a long long would overflow.
    const double ms = 2000.0 * static_cast<double>(bytes) / static_cast<double>(rate);
    return static_cast<long long>(std::min(ms, 1e12));
}

void ScpiSession::startExchange(std::uint64_t transferBytes) {
    deadlineMs_ = timeoutMs_ + allowanceMs(transferBytes);
    deadline_ = Transport::Clock::now() + std::chrono::milliseconds(deadlineMs_);
    t_.setDeadline(deadline_, deadlineMs_);
}

HwResult ScpiSession::write(std::string_view text) {
    return t_.write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, timeoutMs_);
}

HwResult ScpiSession::fill() {
    if (begin_ == end_) begin_ = end_ = 0;
    if (end_ == buf_.size()) {
        std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    std::size_t got = 0;
    HwResult r = t_.read({buf_.data() + end_, buf_.size() - end_}, got, timeoutMs_);
    end_ += got;
    return r;
}

HwResult ScpiSession::readReply(std::string& reply, std::uint64_t maxBlock) {
    reply.clear();
    if (begin_ == end_)
        if (HwResult r = fill(); !r.ok()) return r;
    if (buf_[begin_] == '#') return readBlock(reply, maxBlock);

    for (;;) {
        const auto* first = buf_.data() + begin_;
        const auto* last = buf_.data() + end_;
        const auto* lf = std::find(first, last, std::uint8_t{'\n'});
        reply.append(first, lf);
        if (lf != last) {
            begin_ = static_cast<std::size_t>(lf - buf_.data()) + 1;
            if (!reply.empty() && reply.back() == '\r') reply.pop_back();
            return {};
        }
        begin_ = end_;
        if (reply.size() > kMaxReplyText) {
            reply.clear();
            return {io_status::kReply, "The instrument's reply exceeds " + std::to_string(kMaxReplyText) +
                                           " bytes without a line end; it was not accepted"};
        }
        if (HwResult r = fill(); !r.ok()) {
            reply.clear();
            return r;
        }
    }
}

HwResult ScpiSession::readBlock(std::string& reply, std::uint64_t maxBlock) {
    BlockHeaderParse h;
    for (;;) {
        h = parseBlockHeader({reinterpret_cast<const char*>(buf_.data() + begin_), end_ - begin_});
        if (h.state != BlockHeaderParse::State::NeedMore) break;
        if (HwResult r = fill(); !r.ok()) return r;
    }
    if (h.state == BlockHeaderParse::State::Malformed)
        return {io_status::kReply, "The instrument sent a malformed block: " + h.error};
    if (h.length > maxBlock)
        return {io_status::kReply, "The instrument announced a block of " + std::to_string(h.length) +
                                       " bytes, more than the " + std::to_string(maxBlock) +
                                       " accepted for this reply"};
    if (deadlineMs_ > 0) {
        const long long extra = allowanceMs(h.length);
        deadlineMs_ += extra;
        deadline_ += std::chrono::milliseconds(extra);
        t_.setDeadline(deadline_, deadlineMs_);
    }
    const std::size_t total = h.headerSize + static_cast<std::size_t>(h.length);
    // Room grows with the data that arrives, not with what a header
    // announces: a lying header costs nothing.
    reply.reserve(std::min<std::size_t>(total, 1u << 20));
    while (reply.size() < total) {
        if (begin_ == end_)
            if (HwResult r = fill(); !r.ok()) {
                const std::size_t data = reply.size() > h.headerSize ? reply.size() - h.headerSize : 0;
                r.response += "; the block ended after " + std::to_string(data) + " of " +
                              std::to_string(h.length) + " bytes";
                reply.clear();
                return r;
            }
        const std::size_t n = std::min(end_ - begin_, total - reply.size());
        reply.append(reinterpret_cast<const char*>(buf_.data() + begin_), n);
        begin_ += n;
    }
    // The block must be followed by the line end; anything else means the
    // header announced a length other than what was sent.
    for (bool sawCr = false;;) {
        if (begin_ == end_)
            if (HwResult r = fill(); !r.ok()) {
                reply.clear();
                return r;
            }
        const std::uint8_t c = buf_[begin_++];
        if (c == '\n') return {};
        if (c == '\r' && !sawCr) {
            sawCr = true;
            continue;
        }
        reply.clear();
        return {io_status::kReply, "The instrument's block of " + std::to_string(h.length) +
                                       " bytes is followed by unexpected data; its header cannot be trusted"};
    }
}

bool parseErrorEntry(std::string_view reply, int& code, std::string& message) {
    const auto comma = reply.find(',');
    if (comma == std::string_view::npos) return false;
    std::string_view num = reply.substr(0, comma);
    if (!num.empty() && num.front() == '+') num.remove_prefix(1);
    const auto res = std::from_chars(num.data(), num.data() + num.size(), code);
    if (res.ec != std::errc{} || res.ptr != num.data() + num.size()) return false;
    std::string_view text = reply.substr(comma + 1);
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return false;
    message.assign(text.substr(1, text.size() - 2));
    return true;
}

HwResult ScpiSession::readErrorReply(std::string_view context) {
    std::string reply;
    if (HwResult r = readReply(reply, 0); !r.ok()) return r;
    int code = 0;
    std::string message;
    if (!parseErrorEntry(reply, code, message))
        return {io_status::kReply,
                "The instrument's error-queue reply is unreadable: \"" + reply.substr(0, 80) + "\""};
    if (code == 0) return {};
    return {io_status::kInstrument, "The instrument reported error " + std::to_string(code) + ", \"" + message +
                                        "\" after " + std::string(context)};
}

}  // namespace bt
