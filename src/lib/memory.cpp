#include "lib/memory.h"

#include <algorithm>
#include <cstdint>

#include "lib/parallel.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace bt {

std::uint64_t usableMemoryBytes() {
    std::uint64_t bytes = std::uint64_t{8} << 30;  // when the system does not say
#if defined(__linux__)
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGE_SIZE);
    if (pages > 0 && pageSize > 0) bytes = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        bytes = std::min<std::uint64_t>(bytes, limit.rlim_cur);
#endif
    return bytes;
}

void adviseHugePages(const void* p, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHuge = std::uintptr_t{1} << 21;
    const auto begin = reinterpret_cast<std::uintptr_t>(p);
    // Only whole huge pages inside the buffer, so nothing else is affected.
    const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kHuge - 1);
    if (p && last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

void prefaultPages(const void* p, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    // Below this the threads cost more than they save.
    constexpr std::size_t kMinBytes = std::size_t{64} << 20;
    constexpr std::uintptr_t kPage = 4096;
    constexpr std::size_t kPiece = std::size_t{32} << 20;  // a multiple of the huge page
    if (!p || bytes < kMinBytes) return;
    // Whole pages inside the buffer only: the pages at its ends may be
    // shared with other allocations, which are touched as usual.
    const auto begin = (reinterpret_cast<std::uintptr_t>(p) + kPage - 1) & ~(kPage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(kPage - 1);
    if (end <= begin) return;
    const std::size_t pieces = (end - begin + kPiece - 1) / kPiece;
    parallelFor(pieces, [&](std::size_t k) {
        const std::uintptr_t from = begin + k * kPiece;
        const std::size_t length = std::min<std::uintptr_t>(kPiece, end - from);
        // Kernels before 5.14 refuse the request; the pages then come on first touch.
        madvise(reinterpret_cast<void*>(from), length, MADV_POPULATE_WRITE);
    });
#else
    (void)p;
    (void)bytes;
#endif
}

}  // namespace bt
