// Generation with a progress bar.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>

#include "bluetooth/generate.h"
#include "bluetooth/user_data_file.h"
#include "commands.h"
#include "dt_edits.h"
#include "lib/dialogs.h"
#include "app/app_state.h"
#include "lib/numtext.h"
#include "app/settings_files.h"

namespace btgen {

namespace {

// "[#######.............]  35%" redrawn in place, shown only once a
// generation has run for a moment.
class ProgressBar {
public:
    ProgressBar() : enabled_(::isatty(STDERR_FILENO) == 1), start_(Clock::now()) {}
    ~ProgressBar() {
        if (drawn_) std::cerr << "\r\033[K" << std::flush;
    }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(double fraction) {
        if (!enabled_ || Clock::now() - start_ < std::chrono::milliseconds(300)) return;
        const int percent = std::clamp(static_cast<int>(fraction * 100), 0, 100);
        if (drawn_ && percent == percent_) return;
        constexpr int kWidth = 30;
        const int filled = percent * kWidth / 100;
        std::cerr << "\rgenerating [" << std::string(std::size_t(filled), '#')
                  << std::string(std::size_t(kWidth - filled), '.') << "] " << percent << "%" << std::flush;
        drawn_ = true;
        percent_ = percent;
    }

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    Clock::time_point start_;
    bool drawn_ = false;
    int percent_ = -1;
};

}  // namespace

bt::GeneratedSignal generateWithProgress(const bt::Parameters& p) {
    ProgressBar bar;
    return bt::Calculate(p, [&](double fraction) { bar.update(fraction); });
}

}  // namespace btgen
