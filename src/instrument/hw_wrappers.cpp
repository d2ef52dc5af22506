#include "instrument/hw_wrappers.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <string_view>
#include <vector>

#include "lib/numtext.h"

namespace bt {

namespace {
std::int32_t toInt32(double x) {
    if (std::isnan(x)) return 0;
    const double r = roundHalfAway(x);
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(r, lo, hi));
}

// Pieces of `s` between any of `delims`, empty pieces skipped.
std::vector<std::string> tokens(std::string_view s, std::string_view delims) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < s.size()) {
        i = s.find_first_not_of(delims, i);
        if (i == std::string_view::npos) break;
        const std::size_t j = std::min(s.find_first_of(delims, i), s.size());
        out.emplace_back(s.substr(i, j - i));
        i = j;
    }
    return out;
}

// Takes the next "."-separated field off `rest` (leading dots skipped).
std::string nextField(std::string& rest) {
    const std::size_t i = rest.find_first_not_of('.');
    if (i == std::string::npos) {
        rest.clear();
        return {};
    }
    const std::size_t j = rest.find('.', i);
    std::string field = rest.substr(i, j == std::string::npos ? std::string::npos : j - i);
    rest = j == std::string::npos ? std::string() : rest.substr(j);
    return field;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}
}  // namespace

IoConfig Formatconfig(const Configuration& c) {
    IoConfig io;
    io.type = c.type;
    io.GPIB = {toInt32(c.GPIB.board), toInt32(c.GPIB.primary), toInt32(c.GPIB.secondary)};
    io.RS232 = {toInt32(c.RS232.port), toInt32(c.RS232.baudrate), c.RS232.handshake, c.RS232.device};
    io.TCPIP = {toInt32(c.TCPIP.board), c.TCPIP.address};
    return io;
}

HwResult HwPing(const Configuration& config) { return HwIO(hw_op::kPing, Formatconfig(config)); }

HwResult HwSend(const Configuration& config, const std::string& command) {
    return HwIO(hw_op::kSend, Formatconfig(config), command);
}

HwResult HwQuery(const Configuration& config, const std::string& query) {
    return HwIO(hw_op::kQuery, Formatconfig(config), query);
}

HwResult HwDownload(const Configuration& config, const ComplexRow& data, const Markers& markers,
                    const std::string& /*unusedMode*/, double /*unusedScale*/, const std::string& filename,
                    const TransferProgress& progress) {
    return HwIO(hw_op::kDownload, Formatconfig(config), HwDownloadArgs{&data, &markers, "norm", 1, filename, progress});
}

HwResult HwReturnLocal(const Configuration& config) { return HwIO(hw_op::kReturnLocal, Formatconfig(config)); }

HwResult HwSetTimeout(const Configuration& config, double timeOutValue) {
    return HwIO(hw_op::kSetTimeout, Formatconfig(config), timeOutValue);
}

HwResult VerifyComm(const Configuration& config) { return HwPing(config); }

InstrModel GetInstrModel(const Configuration& config) {
    InstrModel m;
    const HwResult r = HwQuery(config, "*IDN?");
    if (!r.ok()) {
        m.status = r.status;
        return m;
    }
    const auto pieces = tokens(r.response, ",");
    if (pieces.size() < 2 || pieces[1].back() == ' ') {
        // No model letter can be read; say so instead of guessing.
        m.status = io_status::kReply;
        m.desp = "The identification reply \"" + r.response.substr(0, 80) + "\" names no instrument model";
        return m;
    }
    m.model = std::string(1, static_cast<char>(std::tolower(static_cast<unsigned char>(pieces[1].back()))));
    return m;
}

HwResult compareFirmwareVersion(const std::string& idnReply, const std::string& FMVersion) {
    const auto words = tokens(idnReply, " ,");
    const std::string instrument = words.size() >= 4 ? words[3] : std::string();
    const HwResult tooOld{-101, "The instrument needs firmware " + FMVersion + " or higher to run properly"};
    const HwResult mismatch{-102, "The instrument version number (" + instrument + ") and the required version number (" +
                                      FMVersion + ") are not match"};
    const HwResult ok{0, "Verify firmware version succeed"};

    std::string inst = instrument;
    std::string req = FMVersion;
    const HwResult tooLong{-103, "The version number is too long"};
    int pass = 0;
    for (; !inst.empty() || !req.empty(); ++pass) {
        if (pass == 10) return tooLong;
        if (inst.empty()) return tooOld;
        if (req.empty()) return ok;
        const std::string a = nextField(inst);
        const std::string b = nextField(req);
        const auto na = parseNumber(a);
        const auto nb = parseNumber(b);
        if (na && nb) {
            if (*na < *nb) return tooOld;
            if (*na > *nb) return ok;
            continue;
        }
        if (na || nb) return mismatch;
        const std::string la = lower(a);
        const std::string lb = lower(b);
        // Position by position; a single character stands against every
        // character of the other field.
        const std::size_t n = (la.size() == 1 || lb.size() == 1) ? std::max(la.size(), lb.size())
                                                                 : std::min(la.size(), lb.size());
        bool below = false;
        bool above = false;
        for (std::size_t k = 0; k < n && !la.empty() && !lb.empty(); ++k) {
            const char x = la[la.size() == 1 ? 0 : k];
            const char y = lb[lb.size() == 1 ? 0 : k];
            below |= x < y;
            above |= x > y;
        }
        if (below) return tooOld;
        if (above) return ok;
    }
    // Ten passes without a decision mean the versions are too long to
    // compare, even when the tenth pass used both of them up.
    return pass >= 10 ? tooLong : ok;
}

HwResult VerifyFirmwareVersion(const Configuration& config, const std::string& FMVersion) {
    const HwResult r = HwQuery(config, "*IDN?");
    if (!r.ok()) return r;
    return compareFirmwareVersion(r.response, FMVersion);
}

}  // namespace bt
