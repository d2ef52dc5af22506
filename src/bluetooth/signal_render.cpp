#include "bluetooth/signal_render.h"

#include <algorithm>
#include <atomic>

#include "lib/errors.h"
#include "lib/memory.h"
#include "lib/parallel.h"

namespace bt {

namespace {

// Samples per task when one modulation is split: large enough that finding
// the start symbol of a stretch costs nothing next to rendering it, small
// enough that the threads finish together.
constexpr std::size_t kStretch = std::size_t{1} << 18;

// Samples done, reported from the calling thread between its tasks.
class ProgressCount {
public:
    ProgressCount(const GenerationProgress& report, std::size_t total) : report_(report), total_(total) {}
    void add(std::size_t samples) { done_.fetch_add(samples, std::memory_order_relaxed); }
    void poll() const {
        if (report_ && total_ > 0) report_(double(done_.load(std::memory_order_relaxed)) / double(total_));
    }

private:
    const GenerationProgress& report_;
    std::size_t total_;
    std::atomic<std::size_t> done_{0};
};

void conjugate(std::span<Complex> w) {
    for (Complex& z : w) z = std::conj(z);
}

}  // namespace

void allocateSignal(GeneratedSignal& out, std::size_t samples) {
    resizeLarge(out.waveform, samples);
    resizeLarge(out.markers.row1, samples);
    resizeLarge(out.markers.row2, samples);
}

void renderBursts(std::span<const BurstPlacement> bursts, const ModulatorSettings& s, GeneratedSignal& out,
                  const GaussianRandom& noise, const BuildOptions& options) {
    std::size_t total = 0;
    for (const BurstPlacement& b : bursts) total += GfskModulator::sizeFor(b.bits.size(), s);
    ProgressCount progress(options.progress, total);
    const std::size_t samples = out.waveform.size();
    parallelFor(
        bursts.size(),
        [&](std::size_t k) {
            const BurstPlacement& b = bursts[k];
            const GfskModulator m(b.bits, s, b.overlay, b.overlayOrigin);
            if (b.at > samples || m.size() > samples - b.at || b.markerFirst > b.markerLast ||
                b.markerLast > samples)
                throw Error("A burst does not fit into the waveform.");
            const std::span<Complex> w(out.waveform.data() + b.at, m.size());
            m.render(0, w, std::span(out.markers.row1.data() + b.at, m.size()), noise, b.noiseStart, b.at);
            if (options.conjugate) conjugate(w);
            std::fill(out.markers.row2.begin() + std::ptrdiff_t(b.markerFirst),
                      out.markers.row2.begin() + std::ptrdiff_t(b.markerLast), std::uint8_t{1});
            progress.add(m.size());
        },
        [&] { progress.poll(); });
}

void renderRow(const GfskModulator& m, std::span<const std::uint8_t> bitMarker, std::size_t oversampling,
               GeneratedSignal& out, std::uint64_t noiseStart, const GaussianRandom& noise,
               const BuildOptions& options) {
    const std::size_t samples = m.size();
    if (out.waveform.size() < samples) throw Error("The modulated row does not fit into the waveform.");
    ProgressCount progress(options.progress, samples);
    parallelFor(
        (samples + kStretch - 1) / kStretch,
        [&](std::size_t k) {
            const std::size_t first = k * kStretch;
            const std::size_t count = std::min(kStretch, samples - first);
            const std::span<Complex> w(out.waveform.data() + first, count);
            m.render(first, w, std::span(out.markers.row1.data() + first, count), noise, noiseStart);
            if (options.conjugate) conjugate(w);
            std::uint8_t* row2 = out.markers.row2.data();
            for (std::size_t j = first, end = first + count; j < end;) {  // symbol by symbol
                const std::size_t symbol = j / oversampling;
                const std::size_t runEnd = std::min(end, (symbol + 1) * oversampling);
                std::fill(row2 + j, row2 + runEnd, symbol < bitMarker.size() ? bitMarker[symbol] : std::uint8_t{0});
                j = runEnd;
            }
            progress.add(count);
        },
        [&] { progress.poll(); });
}

}  // namespace bt
