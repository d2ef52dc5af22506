#pragma once
// SCPI message exchange over one open transport: command lines, replies
// (text lines or definite-length blocks, never trusted beyond their caps) and
// the instrument's error queue.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "instrument/transport.h"

namespace bt {

// Longest text reply accepted; a reply without a line end beyond this is
// refused rather than read on without end.
inline constexpr std::size_t kMaxReplyText = 64 * 1024;
// Largest block reply accepted (a full waveform memory read back).
inline constexpr std::uint64_t kMaxReplyBlock = 512ull * 1024 * 1024;

class ScpiSession {
public:
    ScpiSession(Transport& transport, int timeoutMs) : t_(transport), timeoutMs_(timeoutMs) {}

    HwResult write(std::string_view text);
    HwResult write(std::span<const std::uint8_t> bytes) { return t_.write(bytes, timeoutMs_); }
    // Reads one response message: a text line (line end removed) or a
    // definite-length block (header and data, terminator removed).
    HwResult readReply(std::string& reply);
    // Reads the first entry of the error queue ("SYST:ERR?" already sent):
    // success for 0, the instrument's error otherwise. `context` names the
    // command the error belongs to.
    HwResult readErrorReply(std::string_view context);

private:
    HwResult fill();  // reads more bytes into the buffer
    HwResult readBlock(std::string& reply);
    Transport& t_;
    int timeoutMs_;
    std::vector<std::uint8_t> buf_ = std::vector<std::uint8_t>(64 * 1024);
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

// Parses an error-queue entry such as -113,"Undefined header". Returns false
// for text of any other form.
bool parseErrorEntry(std::string_view reply, int& code, std::string& message);

}  // namespace bt
