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

// Plans live until the process ends: there are few distinct lengths (one
// per waveform and one per waterfall slice).
std::map<PlanKey, fftw_plan>& plans() {
    static std::map<PlanKey, fftw_plan> p;
    return p;
}

fftw_complex* asFftw(const Complex* p) {
    // std::complex<double> is layout-compatible with double[2]; FFTW's
    // new-array execute never writes its input in an out-of-place plan.
    return reinterpret_cast<fftw_complex*>(const_cast<Complex*>(p));
}

fftw_plan planFor(const Complex* in, Complex* out, std::size_t n) {
    const int threads = n >= kThreadedLength ? static_cast<int>(std::max(1u, workerThreads())) : 1;
    const PlanKey key{n, fftw_alignment_of(reinterpret_cast<double*>(const_cast<Complex*>(in))),
                      fftw_alignment_of(reinterpret_cast<double*>(out)), in == out, threads};
    std::lock_guard lock(planMutex());
    static const bool threadsReady = fftw_init_threads() != 0;
    fftw_plan_with_nthreads(threadsReady ? threads : 1);
    auto it = plans().find(key);
    if (it != plans().end()) return it->second;
    const int flags = FFTW_ESTIMATE | (key.inPlace ? 0 : FFTW_PRESERVE_INPUT);
    fftw_plan p = fftw_plan_dft_1d(static_cast<int>(n), asFftw(in), asFftw(out), FFTW_FORWARD, flags);
    if (p == nullptr) throw std::runtime_error("No FFT plan for this length.");
    plans().emplace(key, p);
    return p;
}

}  // namespace

void fft(std::span<const Complex> in, std::span<Complex> out) {
    if (in.size() != out.size()) throw std::invalid_argument("fft: input and output lengths differ");
    if (in.empty()) return;
    if (in.size() > static_cast<std::size_t>(INT32_MAX)) throw std::length_error("fft: too long");
    fftw_plan p = planFor(in.data(), out.data(), in.size());
    fftw_execute_dft(p, asFftw(in.data()), reinterpret_cast<fftw_complex*>(out.data()));
}

std::size_t fftPlanCount() {
    std::lock_guard lock(planMutex());
    return plans().size();
}

}  // namespace bt::plots
