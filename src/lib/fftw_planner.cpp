#include "lib/fftw_planner.h"

namespace bt {

std::mutex& fftwPlannerMutex() {
    static std::mutex m;
    return m;
}

}  // namespace bt
