#pragma once
// The instrument behind the simulator: waveform memory, sequences, player,
// settings, marker rotation, the bit-error-rate tester and the SCPI error
// queue, driven one program message at a time. Thread-safe: every
// connection of the server talks to the same instrument.
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_bert.h"

namespace bt::sim {

struct InstrumentOptions {
    char model = 'c';                 // 'b' IXO-B, 'c' IXO-C
    std::string idn;                  // empty: the model's own identification
    std::uint64_t memorySamples = 0;  // 0: 1 M samples for 'b', 32 M for 'c'
    std::size_t errorQueueSize = 30;
    // The transcript kept in memory is the tail of at most this many lines
    // and bytes; the whole of it goes to the transcript sink, if any.
    std::size_t transcriptLines = 10'000;
    std::size_t transcriptBytes = 4u << 20;
    ReceiverModel receiver;  // the test bench behind the BERT
};

// A response to a query: text, or a definite-length block.
struct Reply {
    std::string bytes;
    bool block = false;
};

using Block = std::vector<std::uint8_t>;

struct StoredWaveform {
    std::string name;  // as first downloaded
    Block iq;          // big-endian I, Q words as received
    Block markers;     // one byte per sample
    std::uint64_t samples() const { return iq.size() / 4; }
};

struct SequenceEntry {
    std::string segment;
    long repetitions = 1;
    long marker1 = 0;
    long marker2 = 0;
};

class Instrument {
public:
    explicit Instrument(InstrumentOptions options = {});

    // Executes one program message line. Blocks of the line appear in the
    // text as "\x01" and are taken from `blocks` in order (moved, not
    // copied). `raw` is the line as received, for the transcript. Returns
    // the responses of the queries, in order.
    std::vector<Reply> execute(const std::string& line, std::vector<Block>& blocks, const std::string& raw);
    // The same, handing each response to `sink` as soon as its query has
    // run; a false from the sink ends the line (the client has gone).
    void execute(const std::string& line, std::vector<Block>& blocks, const std::string& raw,
                 const std::function<bool(Reply&&)>& sink);
    // Records an error found before a line could be executed (a malformed
    // block, a line too long).
    void pushError(int code, const std::string& message);
    // Receives every line of the transcript as it is received (for writing
    // the whole transcript to a file while memory keeps only its tail).
    void setTranscriptSink(std::function<void(const std::string& line)> sink);
    // Waveform memory in samples.
    std::uint64_t memoryCapacity() const;

    // ------------------------------------------------ views for tests
    // The tail of the transcript, oldest line first.
    std::vector<std::string> transcript() const;
    void clearTranscript();
    std::optional<StoredWaveform> waveform(const std::string& name) const;
    std::optional<std::vector<SequenceEntry>> sequence(const std::string& name) const;
    // The reply the query form of a setting gives ("" for none).
    std::string setting(const std::string& header) const;
    std::vector<std::pair<int, std::string>> errorQueue() const;
    bool remote() const;
    char model() const { return options_.model; }
    std::string identification() const;

private:
    struct Impl;
    void resetSettings();
    void pushLocked(int code, const std::string& message);
    InstrumentOptions options_;
    mutable std::mutex mutex_;
    std::deque<std::string> transcript_;
    std::size_t transcriptSize_ = 0;  // bytes in transcript_
    std::function<void(const std::string&)> transcriptSink_;
    std::deque<std::pair<int, std::string>> errors_;
    std::map<std::string, StoredWaveform> memory_;  // key: upper-case name
    std::map<std::string, std::vector<SequenceEntry>> sequences_;
    std::map<std::string, std::string> settings_;  // pattern text -> reply
    bool remote_ = false;
    std::optional<double> ber_;
    std::uint64_t triggers_ = 0;
    std::chrono::steady_clock::time_point measuringUntil_{};
    friend struct Impl;
};

}  // namespace bt::sim
