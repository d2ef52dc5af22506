#pragma once
// Large result buffers. A 30-million-sample waveform is half a gigabyte;
// touched for the first time 4 KB at a time it costs a page fault per page,
// more than the modulation itself. Asking the kernel for 2 MB pages on the
// untouched capacity cuts that by a factor of 500.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace bt {

// The memory this process can count on: the machine's physical memory, or
// less when an address-space limit (ulimit -v) says so. Readers size their
// caps from it, so that a file is refused as too large before an
// allocation fails.
std::uint64_t usableMemoryBytes();

// Advises the kernel to back [p, p + bytes) with huge pages where it can
// (Linux; elsewhere, and for small buffers, a no-op). Only a hint: memory
// behaves the same either way.
void adviseHugePages(const void* p, std::size_t bytes);

// Has the kernel back [p, p + bytes) with zeroed pages now, the work split
// over the worker threads (Linux; elsewhere a no-op): the first touch of a
// fresh buffer then finds its pages present. Only a hint, like the above.
void prefaultPages(const void* p, std::size_t bytes);

// v resized to n value-initialised elements, its storage advised for huge
// pages and faulted in on all worker threads before the first touch.
template <class T>
void resizeLarge(std::vector<T>& v, std::size_t n) {
    if (n > v.capacity()) {
        std::vector<T> fresh;
        fresh.reserve(n);
        adviseHugePages(fresh.data(), n * sizeof(T));
        prefaultPages(fresh.data(), n * sizeof(T));
        fresh.assign(v.begin(), v.end());
        v.swap(fresh);
    }
    v.resize(n);
}

}  // namespace bt
