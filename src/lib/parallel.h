#pragma once
// Work spread over the machine's cores with plain threads. Results must not
// depend on how the work was split: tasks write disjoint parts of their
// output, and anything order-dependent (noise positions) is decided before
// the tasks run.
#include <cstddef>
#include <functional>

namespace bt {

// Threads that parallel work uses: the hardware's count unless set.
unsigned workerThreads();
// Sets it (0 restores the hardware's count). Tests use 1 to get the
// single-threaded reference.
void setWorkerThreads(unsigned count);

// Runs task(k) for every k in [0, count), each exactly once, in any order,
// on up to workerThreads() threads, the calling one included. `poll`, when
// given, runs on the calling thread between its tasks (for progress
// reports). The first exception a task or `poll` throws is rethrown here
// once every thread has stopped; tasks not yet started are then skipped.
void parallelFor(std::size_t count, const std::function<void(std::size_t)>& task,
                 const std::function<void()>& poll = {});

}  // namespace bt
