#include "instrument/visa_transport.h"

#include <dlfcn.h>

#include <cstdint>
#include <mutex>

namespace bt {

std::string gpibResourceName(int board, int primary, int secondary) {
    std::string r = "GPIB" + std::to_string(board) + "::" + std::to_string(primary);
    if (secondary >= 0) r += "::" + std::to_string(secondary);
    return r + "::INSTR";
}

namespace {

// The few entry points of the VISA C interface that GPIB needs, declared
// here so nothing of a VISA installation is needed to build.
using ViStatus = std::int32_t;
using ViSession = std::uint32_t;
using ViUInt32 = std::uint32_t;
using ViAttr = std::uint32_t;
using ViAttrState = std::uint64_t;
constexpr ViAttr kAttrTimeout = 0x3FFF001Au;
constexpr ViAttr kAttrTermCharEnable = 0x3FFF0038u;
constexpr ViStatus kErrorTimeout = static_cast<ViStatus>(0xBFFF0015u);
constexpr std::uint16_t kGpibAddressGoToLocal = 6;

struct VisaApi {
    ViStatus (*openDefaultRM)(ViSession*) = nullptr;
    ViStatus (*open)(ViSession, const char*, ViUInt32, ViUInt32, ViSession*) = nullptr;
    ViStatus (*close)(ViSession) = nullptr;
    ViStatus (*setAttribute)(ViSession, ViAttr, ViAttrState) = nullptr;
    ViStatus (*write)(ViSession, const unsigned char*, ViUInt32, ViUInt32*) = nullptr;
    ViStatus (*read)(ViSession, unsigned char*, ViUInt32, ViUInt32*) = nullptr;
    ViStatus (*gpibControlREN)(ViSession, std::uint16_t) = nullptr;
    ViStatus (*clear)(ViSession) = nullptr;
    bool loaded = false;
};

template <class F>
bool bind(void* lib, F& f, const char* name) {
    f = reinterpret_cast<F>(::dlsym(lib, name));
    return f != nullptr;
}

const VisaApi& visa() {
    static VisaApi api;
    static std::once_flag once;
    std::call_once(once, [] {
        for (const char* name : {"libvisa.so", "libvisa.so.0", "libvisa.so.1"}) {
            void* lib = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
            if (!lib) continue;
            api.loaded = bind(lib, api.openDefaultRM, "viOpenDefaultRM") && bind(lib, api.open, "viOpen") &&
                         bind(lib, api.close, "viClose") && bind(lib, api.setAttribute, "viSetAttribute") &&
                         bind(lib, api.write, "viWrite") && bind(lib, api.read, "viRead") &&
                         bind(lib, api.gpibControlREN, "viGpibControlREN") && bind(lib, api.clear, "viClear");
            if (api.loaded) return;
            ::dlclose(lib);
        }
    });
    return api;
}

std::string hexStatus(long s) {
    static constexpr char digits[] = "0123456789ABCDEF";
    auto v = static_cast<std::uint32_t>(s);
    std::string out = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) out += digits[(v >> shift) & 0xF];
    return out;
}

}  // namespace

VisaTransport::~VisaTransport() {
    if (!visa().loaded) return;
    if (vi_) visa().close(vi_);
    if (rm_) visa().close(rm_);
}

HwResult VisaTransport::fail(int status, const std::string& what, long visaStatus) const {
    return {status, what + " (" + resource_ + ", VISA status " + hexStatus(visaStatus) + ")"};
}

bool VisaTransport::setTimeout(int timeoutMs) {
    return visa().setAttribute(vi_, kAttrTimeout, static_cast<ViAttrState>(timeoutMs)) >= 0;
}

HwResult VisaTransport::open(int timeoutMs) {
    const VisaApi& api = visa();
    if (!api.loaded)
        return {io_status::kNoDriver,
                "GPIB needs a VISA library, and none is installed (libvisa.so was not found); "
                "use a LAN (TCPIP) or RS-232 connection instead"};
    ViStatus s = api.openDefaultRM(&rm_);
    if (s < 0) return fail(io_status::kOpen, "The VISA resource manager cannot be opened", s);
    s = api.open(rm_, resource_.c_str(), 0, static_cast<ViUInt32>(timeoutMs), &vi_);
    if (s < 0) {
        vi_ = 0;
        return fail(io_status::kOpen, "Cannot open the instrument", s);
    }
    // Replies end with EOI; binary blocks may hold line-feed bytes.
    api.setAttribute(vi_, kAttrTermCharEnable, 0);
    return {};
}

HwResult VisaTransport::write(std::span<const std::uint8_t> bytes, int timeoutMs) {
    // Slices keep the timeout a measure of silence on a slow bus.
    constexpr std::size_t kSlice = 1 << 16;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int budget = waitBudget(timeoutMs);
        if (budget <= 0) return fail(io_status::kTimeout, timeoutText(""), 0);
        if (!setTimeout(budget)) return fail(io_status::kWrite, "Cannot set the timeout", 0);
        const auto n = static_cast<ViUInt32>(std::min(kSlice, bytes.size() - done));
        ViUInt32 sent = 0;
        const ViStatus s = visa().write(vi_, bytes.data() + done, n, &sent);
        done += sent;
        if (s == kErrorTimeout)
            return fail(io_status::kTimeout,
                        timeoutText("The instrument took no data for " + std::to_string(timeoutMs) + " ms"), s);
        if (s < 0) return fail(io_status::kWrite, "Write failed", s);
        if (sent == 0) return fail(io_status::kWrite, "The bus took no data", s);
    }
    return {};
}

HwResult VisaTransport::read(std::span<std::uint8_t> buffer, std::size_t& got, int timeoutMs) {
    got = 0;
    const int budget = waitBudget(timeoutMs);
    if (budget <= 0) return fail(io_status::kTimeout, timeoutText(""), 0);
    if (!setTimeout(budget)) return fail(io_status::kRead, "Cannot set the timeout", 0);
    ViUInt32 n = 0;
    const auto want = static_cast<ViUInt32>(std::min<std::size_t>(buffer.size(), 1u << 30));
    const ViStatus s = visa().read(vi_, buffer.data(), want, &n);
    got = n;
    if (s == kErrorTimeout && n == 0)
        return fail(io_status::kTimeout,
                    timeoutText("No reply from the instrument within " + std::to_string(timeoutMs) + " ms"), s);
    if (s < 0 && n == 0) return fail(io_status::kRead, "Read failed", s);
    return {};
}

HwResult VisaTransport::goToLocal(int /*timeoutMs*/) {
    const ViStatus s = visa().gpibControlREN(vi_, kGpibAddressGoToLocal);
    if (s < 0) return fail(io_status::kWrite, "Cannot return the instrument to local control", s);
    return {};
}

void VisaTransport::abort() noexcept {
    if (visa().loaded && vi_) visa().clear(vi_);
}

}  // namespace bt
