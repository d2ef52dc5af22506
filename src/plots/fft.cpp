#include "plots/fft.h"

#include <fftw3.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <stdexcept>
#include <tuple>

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

std::mutex& planMutex() {
    static std::mutex m;
    return m;
}

// Cached plans live until the process ends: there are few distinct short
// lengths (one per waterfall slice).
std::map<PlanKey, fftw_plan>& plans() {
    static std::map<PlanKey, fftw_plan> p;
    return p;
}

fftw_complex* asFftw(const Complex* p) {
    // std::complex<double> is layout-compatible with double[2]; FFTW's
    // new-array execute never writes its input in an out-of-place plan.
    return reinterpret_cast<fftw_complex*>(const_cast<Complex*>(p));
}

// A plan for this length and alignment; `keep` says whether it stays in
// the cache (otherwise the caller destroys it after use).
fftw_plan planFor(const Complex* in, Complex* out, std::size_t n, bool& keep) {
    const int threads = n >= kThreadedLength ? static_cast<int>(std::max(1u, workerThreads())) : 1;
    const PlanKey key{n, fftw_alignment_of(reinterpret_cast<double*>(const_cast<Complex*>(in))),
                      fftw_alignment_of(reinterpret_cast<double*>(out)), in == out, threads};
    std::lock_guard lock(planMutex());
    static const bool threadsReady = fftw_init_threads() != 0;
    fftw_plan_with_nthreads(threadsReady ? threads : 1);
    auto it = plans().find(key);
    if (it != plans().end()) {
        keep = true;
        return it->second;
    }
    const int flags = FFTW_ESTIMATE | (key.inPlace ? 0 : FFTW_PRESERVE_INPUT);
    fftw_plan p = fftw_plan_dft_1d(static_cast<int>(n), asFftw(in), asFftw(out), FFTW_FORWARD, flags);
    if (p == nullptr) throw std::runtime_error("No FFT plan for this length.");
    // A whole waveform's plan holds twiddle tables of about a sixth of the
    // waveform's size, and is made in a fraction of the transform's time:
    // it is not kept for the rest of the process.
    keep = n < kThreadedLength;
    if (keep) plans().emplace(key, p);
    return p;
}

}  // namespace

void fft(std::span<const Complex> in, std::span<Complex> out) {
    if (in.size() != out.size()) throw std::invalid_argument("fft: input and output lengths differ");
    if (in.empty()) return;
    if (in.size() > static_cast<std::size_t>(INT32_MAX)) throw std::length_error("fft: too long");
    bool keep = true;
    fftw_plan p = planFor(in.data(), out.data(), in.size(), keep);
    fftw_execute_dft(p, asFftw(in.data()), reinterpret_cast<fftw_complex*>(out.data()));
    if (!keep) {
        std::lock_guard lock(planMutex());
        fftw_destroy_plan(p);
    }
}

std::size_t fftPlanCount() {
    std::lock_guard lock(planMutex());
    return plans().size();
}

}  // namespace bt::plots
