#include "plots/fft.h"

#include <fftw3.h>

#include <algorithm>
#include <list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <tuple>
#include <type_traits>
#include <vector>

#include "lib/fftw_planner.h"
#include "lib/parallel.h"

namespace bt::plots {

namespace {

// Transforms this long are split over the worker threads by FFTW itself;
// shorter ones (waterfall slices) run one per thread of ours.
constexpr std::size_t kThreadedLength = std::size_t{1} << 20;

struct PlanKey {
    std::size_t n;
    int inAlign;
    int outAlign;
    bool inPlace;
    int threads;
    auto operator<=>(const PlanKey&) const = default;
};

using Plan = std::shared_ptr<std::remove_pointer_t<fftw_plan>>;

// Freed under the planner's lock, by whoever lets go of the plan last (the
// cache, or a transform still running when the cache dropped it). Never
// called with the lock held: evicted plans are let go after unlocking.
Plan owned(fftw_plan p) {
    return Plan(p, [](fftw_plan q) {
        std::lock_guard lock(fftwPlannerMutex());
        fftw_destroy_plan(q);
    });
}

// FFTW's tables for a plan of n points, about: the twiddle factors and the
// codelets' buffers, a few complex numbers a point.
std::size_t planBytes(std::size_t n) { return 32 * n + 4096; }

// The plans in use lately, most recent first, within kFftPlanCacheBytes
// together: a waterfall's slice length stays while it is drawn, and a
// dozen long lengths do not pile up for the rest of the process.
struct Cached {
    PlanKey key;
    Plan plan;
    std::size_t bytes;
};
std::list<Cached>& plans() {
    static std::list<Cached> p;
    return p;
}
std::size_t cachedBytes = 0;

fftw_complex* asFftw(const Complex* p) {
    // std::complex<double> is layout-compatible with double[2]; FFTW's
    // new-array execute never writes its input in an out-of-place plan.
    return reinterpret_cast<fftw_complex*>(const_cast<Complex*>(p));
}

// A plan for this length and alignment, from the cache or made (and
// cached when it is short enough).
Plan planFor(const Complex* in, Complex* out, std::size_t n) {
    const int threads = n >= kThreadedLength ? static_cast<int>(std::max(1u, workerThreads())) : 1;
    const PlanKey key{n, fftw_alignment_of(reinterpret_cast<double*>(const_cast<Complex*>(in))),
                      fftw_alignment_of(reinterpret_cast<double*>(out)), in == out, threads};
    std::vector<Plan> evicted;  // let go of after the lock
    std::unique_lock lock(fftwPlannerMutex());
    auto& cache = plans();
    for (auto it = cache.begin(); it != cache.end(); ++it)
        if (it->key == key) {
            cache.splice(cache.begin(), cache, it);
            return cache.front().plan;
        }
    static const bool threadsReady = fftw_init_threads() != 0;
    fftw_plan_with_nthreads(threadsReady ? threads : 1);
    const int flags = FFTW_ESTIMATE | (key.inPlace ? 0 : FFTW_PRESERVE_INPUT);
    fftw_plan p = fftw_plan_dft_1d(static_cast<int>(n), asFftw(in), asFftw(out), FFTW_FORWARD, flags);
    if (p == nullptr) throw std::runtime_error("No FFT plan for this length.");
    // A whole waveform's plan holds twiddle tables of about a sixth of the
    // waveform's size, and is made in a fraction of the transform's time:
    // it is not kept.
    lock.unlock();
    Plan plan = owned(p);
    lock.lock();
    const std::size_t bytes = planBytes(n);
    if (n < kThreadedLength && bytes <= kFftPlanCacheBytes) {
        while (!cache.empty() && cachedBytes + bytes > kFftPlanCacheBytes) {
            cachedBytes -= cache.back().bytes;
            evicted.push_back(std::move(cache.back().plan));
            cache.pop_back();
        }
        cache.push_front({key, plan, bytes});
        cachedBytes += bytes;
    }
    lock.unlock();
    evicted.clear();
    return plan;
}

}  // namespace

void fft(std::span<const Complex> in, std::span<Complex> out) {
    if (in.size() != out.size()) throw std::invalid_argument("fft: input and output lengths differ");
    if (in.empty()) return;
    if (in.size() > static_cast<std::size_t>(INT32_MAX)) throw std::length_error("fft: too long");
    const Plan p = planFor(in.data(), out.data(), in.size());
    fftw_execute_dft(p.get(), asFftw(in.data()), reinterpret_cast<fftw_complex*>(out.data()));
}

std::size_t fftPlanCount() {
    std::lock_guard lock(fftwPlannerMutex());
    return plans().size();
}

std::size_t fftPlanCacheBytes() {
    std::lock_guard lock(fftwPlannerMutex());
    return cachedBytes;
}

}  // namespace bt::plots
