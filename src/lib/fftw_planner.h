#pragma once
// FFTW's planner (making and freeing plans) is not thread-safe; executing a
// plan is. Everything in the process that makes or frees a plan holds this
// one lock, wherever it lives.
#include <mutex>

namespace bt {

std::mutex& fftwPlannerMutex();

}  // namespace bt
