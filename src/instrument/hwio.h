#pragma once
// HwIO: the one entry through which every exchange with the instrument
// passes. It takes an operation code, the connection record (after
// Formatconfig) and the operation's arguments, opens the connection, does
// the operation, closes it, and returns (status, response). It never throws.
#include <cstdint>
#include <functional>
#include <string>
#include <variant>

#include "instrument/io_config.h"
#include "instrument/transport.h"
#include "lib/types.h"

namespace bt {

namespace hw_op {
inline constexpr std::int32_t kPing = 1;
inline constexpr std::int32_t kSend = 2;
inline constexpr std::int32_t kQuery = 3;
inline constexpr std::int32_t kDownload = 4;
inline constexpr std::int32_t kReturnLocal = 5;
inline constexpr std::int32_t kSetTimeout = 50;
}  // namespace hw_op

// Told how far a download has come, as the fraction of its bytes written
// (0 before the first, 1 after the last, never decreasing). Returning false
// (or throwing) cancels the transfer before its next piece: the connection
// is dropped with the block unfinished, so the instrument stores nothing of
// it, and the download returns io_status::kCancelled "Download cancelled".
// Runs on the thread that downloads.
using TransferProgress = std::function<bool(double fraction)>;

// The waveform and markers are referred to, never copied.
struct HwDownloadArgs {
    const ComplexRow* data = nullptr;
    const Markers* markers = nullptr;
    std::string mode = "norm";  // "norm": scale the peak component to full scale
    double scale = 1;           // peak level relative to full scale, (0, 1]
    std::string filename;
    TransferProgress progress;  // may be empty
};

// No argument (ping, return to local), a command or query line, a download,
// or a timeout in milliseconds.
using HwArgs = std::variant<std::monostate, std::string, HwDownloadArgs, double>;

HwResult HwIO(std::int32_t code, const IoConfig& config, const HwArgs& args = {});

// One operation (not the timeout) on a transport that is already open:
// what HwIO does between opening and closing the connection.
HwResult runOperation(Transport& transport, std::int32_t code, const HwArgs& args, int timeoutMs);

// The timeout used before HwSetTimeout is called for a connection.
inline constexpr int kDefaultTimeoutMs = 5000;
// The timeout in force for the connection `config` describes.
int currentTimeoutMs(const IoConfig& config);

// Samples encoded per write during a download (4 bytes each).
inline constexpr std::size_t kDownloadChunkSamples = 256 * 1024;

// The names under which a download stores waveform and markers; "arbi:" +
// name selects them for playback.
std::string waveformPath(const std::string& name);
std::string markerPath(const std::string& name);

}  // namespace bt
