// libFuzzer target: any bytes handed to the settings and configuration
// loaders must end in a loaded record or a clear error, never in a crash, a
// sanitizer report or an outsized allocation.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/settings_files.h"

namespace {

const std::filesystem::path& scratchFile() {
    static const std::filesystem::path path = [] {
        const auto dir = std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                              : std::filesystem::temp_directory_path();
        auto p = dir / ("btgen-fuzz-" + std::to_string(::getpid()) + ".bt");
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove(scratchFile(), ec);
        });
        return p;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(scratchFile(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const bt::LoadedSettings settings = bt::loadParameters(scratchFile(), "bt - Format 1.0", bt::EditContext{});
    if (!settings.outcome && settings.outcome.message.empty()) std::abort();  // a failure must say why
    const bt::LoadedConfig config = bt::loadConfig(scratchFile());
    if (!config.configuration && config.reason.empty()) std::abort();
    return 0;
}
