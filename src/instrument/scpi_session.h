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
// Largest block reply accepted, and only from a query that asks for data (a
// full waveform memory of 32 M samples read back). Every other reply is
// held to kMaxReplyText, block or not.
inline constexpr std::uint64_t kMaxReplyBlock = 4ull * 32 * 1024 * 1024;

// True for a query whose reply is a block of data (":MEM:DATA? ...").
bool expectsBlockReply(std::string_view query);

class ScpiSession {
public:
    ScpiSession(Transport& transport, int timeoutMs) : t_(transport), timeoutMs_(timeoutMs) {}

    // Starts the clock of one exchange: everything until the next start
    // must be done within the timeout, plus the time `transferBytes` take
    // at the bus's slowest working rate (twice over). A block reply adds
    // its own length when its header arrives.
    void startExchange(std::uint64_t transferBytes = 0);

    HwResult write(std::string_view text);
    HwResult write(std::span<const std::uint8_t> bytes) { return t_.write(bytes, timeoutMs_); }
    // Reads one response message: a text line (line end removed) or a
    // definite-length block (header and data, terminator removed) of at
    // most `maxBlock` data bytes.
    HwResult readReply(std::string& reply, std::uint64_t maxBlock = kMaxReplyText);
    // Reads the first entry of the error queue ("SYST:ERR?" already sent):
    // success for 0, the instrument's error otherwise. `context` names the
    // command the error belongs to.
    HwResult readErrorReply(std::string_view context);

private:
    HwResult fill();  // reads more bytes into the buffer
    HwResult readBlock(std::string& reply, std::uint64_t maxBlock);
    long long allowanceMs(std::uint64_t bytes) const;
    Transport& t_;
    int timeoutMs_;
    Transport::Clock::time_point deadline_{};
    long long deadlineMs_ = 0;
    std::vector<std::uint8_t> buf_ = std::vector<std::uint8_t>(64 * 1024);
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

// Parses an error-queue entry such as -113,"Undefined header". Returns false
// for text of any other form.
bool parseErrorEntry(std::string_view reply, int& code, std::string& message);

}  // namespace bt
