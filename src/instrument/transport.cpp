#include "instrument/transport.h"

#include <algorithm>

namespace bt {

int Transport::waitBudget(int timeoutMs) const {
    if (!deadline_) return timeoutMs;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, timeoutMs));
}

std::string Transport::timeoutText(const std::string& silence) const {
    if (!pastDeadline()) return silence;
    return "The instrument did not complete the exchange within " + std::to_string(deadlineMs_) +
           " ms (it kept the connection busy without finishing)";
}

}  // namespace bt
