#include "instrument/hwio.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "instrument/block_format.h"
#include "instrument/scpi_session.h"
#include "instrument/serial_transport.h"
#include "instrument/tcp_transport.h"
#include "instrument/visa_transport.h"

namespace bt {

namespace {

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

// Timeouts live with HwIO per connection, since no connection outlives a
// call.
std::string connectionKey(const IoConfig& c) {
    const std::string type = upper(c.type);
    if (type == "TCPIP") return "TCPIP/" + c.TCPIP.address;
    if (type == "RS232") return "RS232/" + serialDeviceOf(c.RS232.port, c.RS232.device);
    return type + "/" + std::to_string(c.GPIB.board) + "/" + std::to_string(c.GPIB.primary) + "/" +
           std::to_string(c.GPIB.secondary);
}

struct TimeoutTable {
    std::mutex mutex;
    std::map<std::string, int> ms;
};

TimeoutTable& timeouts() {
    static TimeoutTable table;
    return table;
}

HwResult setTimeout(const IoConfig& config, double value) {
    if (!std::isfinite(value) || value < 1)
        return {io_status::kArgument, "The timeout must be a positive number of milliseconds"};
    const int ms = static_cast<int>(std::min(std::round(value), 86'400'000.0));
    auto& t = timeouts();
    std::lock_guard lock(t.mutex);
    t.ms[connectionKey(config)] = ms;
    return {0, "Timeout set to " + std::to_string(ms) + " ms"};
}

HwResult send(Transport& t, int timeout, const std::string& command) {
    ScpiSession s(t, timeout);
    // Clearing the error queue first lets the error check after the command
    // speak for this command alone.
    std::string message = "*CLS\n" + command;
    if (command.empty() || command.back() != '\n') message += '\n';
    message += "SYST:ERR?\n";
    s.startExchange(message.size());
    if (HwResult r = s.write(message); !r.ok()) return r;
    std::string shown;  // line ends made visible in messages
    for (char c : command) shown += c == '\n' ? std::string("\\n") : std::string(1, c);
    return s.readErrorReply("\"" + shown + "\"");
}

HwResult query(Transport& t, int timeout, const std::string& q) {
    ScpiSession s(t, timeout);
    std::string message = q;
    if (message.empty() || message.back() != '\n') message += '\n';
    s.startExchange(message.size());
    if (HwResult r = s.write(message); !r.ok()) return r;
    std::string reply;
    if (HwResult r = s.readReply(reply, expectsBlockReply(q) ? kMaxReplyBlock : kMaxReplyText); !r.ok()) return r;
    return {0, std::move(reply)};
}

HwResult ping(Transport& t, int timeout) {
    ScpiSession s(t, timeout);
    s.startExchange();
    if (HwResult r = s.write(std::string_view("*IDN?\n")); !r.ok()) return r;
    std::string idn;
    if (HwResult r = s.readReply(idn, 0); !r.ok()) return r;
    if (idn.empty()) return {io_status::kReply, "The instrument answered the identification query with nothing"};
    return {0, idn};
}

HwResult checkDownloadArgs(const HwDownloadArgs& a) {
    if (!a.data || a.data->empty()) return {io_status::kArgument, "The waveform is empty: there is nothing to download"};
    if (!a.markers) return {io_status::kArgument, "No markers were given"};
    const std::size_t n = a.data->size();
    if (!a.markers->empty() && (a.markers->row1.size() != n || a.markers->row2.size() != n))
        return {io_status::kArgument, "The markers (" + std::to_string(a.markers->row1.size()) + " and " +
                                          std::to_string(a.markers->row2.size()) +
                                          " samples) do not match the waveform (" + std::to_string(n) + " samples)"};
    if (a.filename.empty() || a.filename.find_first_of("\"\r\n") != std::string::npos)
        return {io_status::kArgument, "The waveform name \"" + a.filename + "\" cannot be stored on the instrument"};
    if (upper(a.mode) != "NORM") return {io_status::kArgument, "Unknown download mode \"" + a.mode + "\""};
    if (!(a.scale > 0 && a.scale <= 1))
        return {io_status::kArgument, "The download scale must be above 0 and at most 1"};
    if (4 * static_cast<std::uint64_t>(n) > kMaxBlockBytes)
        return {io_status::kArgument, "The waveform (" + std::to_string(n) + " samples) is too long for one transfer"};
    return {};
}

HwResult download(Transport& t, int timeout, const HwDownloadArgs& a) {
    const ComplexRow& data = *a.data;
    const std::size_t n = data.size();
    IqEncoder encoder(data, a.scale);
    if (!encoder.valid()) return {io_status::kArgument, "The waveform holds a sample that is not a finite number"};

    // Progress counts the block bytes: 4 per sample of waveform, 1 of markers.
    const double totalBytes = 5.0 * static_cast<double>(n);
    std::uint64_t sentBytes = 0;
    const auto goOn = [&]() noexcept {
        if (!a.progress) return true;
        try {
            return a.progress(std::min(1.0, static_cast<double>(sentBytes) / totalBytes));
        } catch (...) {
            return false;
        }
    };
    const HwResult cancelled{io_status::kCancelled, "Download cancelled"};
    if (!goOn()) return cancelled;

    ScpiSession s(t, timeout);
    std::vector<std::uint8_t> chunk(4 * std::min(n, kDownloadChunkSamples));
    // Only the waveform's block can be cancelled: once the instrument has
    // taken the new waveform its markers always follow, so the two never
    // disagree (later reports still come, their answer is not asked for).
    const auto sendBlock = [&](const std::string& path, std::size_t bytesPerSample, bool cancellable,
                               auto encode) -> HwResult {
        const std::string head = ":MEM:DATA \"" + path + "\"," + *blockHeader(bytesPerSample * n);
        if (HwResult r = s.write(head); !r.ok()) return r;
        for (std::size_t first = 0; first < n; first += kDownloadChunkSamples) {
            const std::size_t count = std::min(kDownloadChunkSamples, n - first);
            encode(first, count, chunk.data());
            if (HwResult r = s.write(std::span<const std::uint8_t>(chunk.data(), bytesPerSample * count)); !r.ok())
                return r;
            sentBytes += bytesPerSample * count;
            // The block's line is left unfinished: the connection is dropped
            // (HwIO aborts on failure) and the instrument discards it.
            if (!goOn() && cancellable) return cancelled;
        }
        return s.write(std::string_view("\n"));
    };

    // The whole transfer has a deadline scaled to its size, so an instrument
    // that takes a byte now and then cannot hold it for ever.
    s.startExchange(5 * static_cast<std::uint64_t>(n) + 2 * 512);
    if (HwResult r = s.write(std::string_view("*CLS\n")); !r.ok()) return r;
    HwResult r = sendBlock(waveformPath(a.filename), 4, true,
                           [&](std::size_t f, std::size_t c, std::uint8_t* out) { encoder.encode(f, c, out); });
    if (!r.ok()) return r;
    r = sendBlock(markerPath(a.filename), 1, false,
                  [&](std::size_t f, std::size_t c, std::uint8_t* out) { encodeMarkers(*a.markers, f, c, out); });
    if (!r.ok()) return r;
    // The error check is also the proof that every byte reached the
    // instrument and was taken: a write into a socket buffer proves nothing.
    if (r = s.write(std::string_view("SYST:ERR?\n")); !r.ok()) return r;
    if (r = s.readErrorReply("the download of \"" + a.filename + "\""); !r.ok()) return r;
    return {0, "Downloaded " + std::to_string(n) + " samples as \"" + a.filename + "\""};
}

}  // namespace

std::unique_ptr<Transport> makeTransport(const IoConfig& config, HwResult& failure) {
    const std::string type = upper(config.type);
    if (type == "TCPIP") {
        auto ep = parseTcpAddress(config.TCPIP.address);
        if (!ep) {
            failure = {io_status::kArgument,
                       "\"" + config.TCPIP.address + "\" is not an IPv4 address (a.b.c.d, optionally :port)"};
            return nullptr;
        }
        return std::make_unique<TcpTransport>(*ep);
    }
    if (type == "RS232")
        return std::make_unique<SerialTransport>(serialDeviceOf(config.RS232.port, config.RS232.device),
                                                 config.RS232.baudrate,
                                                 config.RS232.handshake);
    if (type == "GPIB")
        return std::make_unique<VisaTransport>(
            gpibResourceName(config.GPIB.board, config.GPIB.primary, config.GPIB.secondary));
    // The radio is reached through its own routines; an instrument command
    // sent to it would otherwise read as a broken connection.
    if (type == "SDR") {
        failure = {io_status::kArgument,
                   "The connection is a software-defined radio, which takes no instrument commands: choose GPIB, "
                   "RS-232 or TCP/IP in Configuration > Sig Gen I/O to reach the IXO."};
        return nullptr;
    }
    failure = {io_status::kArgument, "Unknown connection type \"" + config.type + "\" (GPIB, RS232 or TCPIP)"};
    return nullptr;
}

std::string waveformPath(const std::string& name) { return "WFM1:" + name; }
std::string markerPath(const std::string& name) { return "MKR1:" + name; }

int currentTimeoutMs(const IoConfig& config) {
    auto& t = timeouts();
    std::lock_guard lock(t.mutex);
    const auto it = t.ms.find(connectionKey(config));
    return it == t.ms.end() ? kDefaultTimeoutMs : it->second;
}

namespace {
HwResult checkArgs(std::int32_t code, const HwArgs& args) {
    switch (code) {
        case hw_op::kSend:
        case hw_op::kQuery:
            if (!std::holds_alternative<std::string>(args)) return {io_status::kArgument, "The operation needs a command text"};
            return {};
        case hw_op::kDownload:
            if (const auto* dl = std::get_if<HwDownloadArgs>(&args)) return checkDownloadArgs(*dl);
            return {io_status::kArgument, "HwDownload needs a waveform and markers"};
        case hw_op::kPing:
        case hw_op::kReturnLocal:
            return {};
        default:
            return {io_status::kUnknownOperation, "Unknown I/O operation " + std::to_string(code)};
    }
}
}  // namespace

HwResult runOperation(Transport& t, std::int32_t code, const HwArgs& args, int timeout) {
    if (HwResult r = checkArgs(code, args); !r.ok()) return r;
    switch (code) {
        case hw_op::kPing: return ping(t, timeout);
        case hw_op::kSend: return send(t, timeout, std::get<std::string>(args));
        case hw_op::kQuery: return query(t, timeout, std::get<std::string>(args));
        case hw_op::kDownload: return download(t, timeout, std::get<HwDownloadArgs>(args));
        default: return t.hasBusLocal() ? t.goToLocal(timeout) : send(t, timeout, "SYST:LOC");
    }
}

HwResult HwIO(std::int32_t code, const IoConfig& config, const HwArgs& args) {
    if (code == hw_op::kSetTimeout) {
        const auto* v = std::get_if<double>(&args);
        return v ? setTimeout(config, *v) : HwResult{io_status::kArgument, "HwSetTimeout needs a number"};
    }
    if (HwResult r = checkArgs(code, args); !r.ok()) return r;
    HwResult failure;
    auto t = makeTransport(config, failure);
    if (!t) return failure;
    const int timeout = currentTimeoutMs(config);
    HwResult r = t->open(timeout);
    if (r.ok()) r = runOperation(*t, code, args, timeout);
    if (!r.ok()) t->abort();
    return r;
}

}  // namespace bt
