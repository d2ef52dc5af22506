#include "instrument/waveform_title.h"

namespace bt {

std::string filterWaveformTitle(std::string_view typed) {
    constexpr std::size_t kMaxLength = 20;
    constexpr std::string_view kPunctuation = "_$&#+-[]";
    std::string title;
    for (char c : typed) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        const bool kept = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || kPunctuation.find(c) != std::string_view::npos;
        if (kept) title += c;
        if (title.size() == kMaxLength) break;
    }
    return title.empty() ? "BLANK" : title;
}

}  // namespace bt
