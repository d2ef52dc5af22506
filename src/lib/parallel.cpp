#include "lib/parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace bt {

namespace {

std::atomic<unsigned> configuredThreads{0};

}  // namespace

unsigned workerThreads() {
    const unsigned set = configuredThreads.load();
    if (set > 0) return set;
    return std::max(1u, std::thread::hardware_concurrency());
}

void setWorkerThreads(unsigned count) { configuredThreads.store(count); }

void parallelFor(std::size_t count, const std::function<void(std::size_t)>& task,
                 const std::function<void()>& poll) {
    const auto threads = static_cast<std::size_t>(std::min<std::size_t>(workerThreads(), count));
    if (threads <= 1) {
        for (std::size_t k = 0; k < count; ++k) {
            task(k);
            if (poll) poll();
        }
        return;
    }

    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;
    std::mutex errorLock;
    const auto work = [&](bool caller) {
        for (std::size_t k; !failed.load(std::memory_order_relaxed) && (k = next.fetch_add(1)) < count;) {
            try {
                task(k);
                // A poll that throws (a cancelled progress window) stops the
                // helpers too, instead of leaving them to finish every task.
                if (caller && poll && !failed.load(std::memory_order_relaxed)) poll();
            } catch (...) {
                const std::lock_guard lock(errorLock);
                if (!error) error = std::current_exception();
                failed.store(true);
            }
        }
    };
    {
        std::vector<std::jthread> helpers;
        helpers.reserve(threads - 1);
        for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(work, false);
        work(true);
    }  // joined here
    if (error) std::rethrow_exception(error);
}

}  // namespace bt
