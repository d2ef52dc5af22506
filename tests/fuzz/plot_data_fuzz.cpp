// libFuzzer target: the plots' data from any samples a recording can hold.
// The input is laid out as a cf32 recording and read as the recording
// reader's exact read hands samples on (NaN, infinities and 1e38 included):
// 8 bytes of sample rate (a double, as core:sample_rate may say anything),
// one byte of eye symbols, one of delay (its top bit set: the samples are
// doubles, as a MAT-file's, whose squares can overflow), then interleaved
// little-endian I/Q. Every plot's data must be made or refused with bt::Error;
// nothing may crash, index out of bounds or hang.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "lib/errors.h"
#include "plots/ccdf.h"
#include "plots/envelope.h"
#include "plots/plot_requests.h"
#include "plots/spectrum.h"
#include "plots/time_plots.h"

namespace {

template <class F>
void refusedOrMade(F&& f) {
    try {
        f();
    } catch (const bt::Error&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bt::plots;
    if (size < 10) return 0;
    double rate;
    std::memcpy(&rate, data, 8);
    const std::string symbols = std::to_string(data[8] % 9);
    const std::string delay = std::to_string(((data[9] & 0x7f) % 5) / 4.0);
    data += 10;
    size -= 10;
    // At most 64 k samples: the transforms stay quick.
    const bool doubles = (data[-1] & 0x80) != 0;
    const std::size_t bytes = doubles ? 16 : 8;
    const std::size_t n = std::min<std::size_t>(size / bytes, 1 << 16);
    bt::ComplexRow wave(n);
    for (std::size_t k = 0; k < n; ++k) {
        if (doubles) {
            double re, im;
            std::memcpy(&re, data + bytes * k, 8);
            std::memcpy(&im, data + bytes * k + 8, 8);
            wave[k] = bt::Complex(re, im);
        } else {
            float re, im;
            std::memcpy(&re, data + bytes * k, 4);
            std::memcpy(&im, data + bytes * k + 4, 4);
            wave[k] = bt::Complex(re, im);
        }
    }
    // The plots take the rates the command line takes; the data functions
    // are fed the others too.
    const double os = std::round(rate / 1e6);

    refusedOrMade([&] { (void)ccdfData(wave); });
    refusedOrMade([&] {
        const IqTimeData d = iqTimeData(wave, rate, "x");
        (void)d.time(d.points ? d.points - 1 : 0);
    });
    for (int component : {0, 1}) {
        const Envelope e = Envelope::ofComponent(wave, component);
        if (e.size() > 0) {
            (void)e.view(0, double(e.size()), 100);
            (void)e.view(double(e.size()) / 3, double(e.size()) / 2, 7);
        }
    }
    refusedOrMade([&] { (void)spectrumData(wave, rate); });
    refusedOrMade([&] {
        const WaterfallData w = waterfallData(wave, rate, waterfallSlice(wave.size(), rate), 256);
        for (std::size_t c = 0; c < w.columns; c += 17) (void)w.columnFrequency(c);
    });
    if (os >= 1 && os <= 64 && !wave.empty()) {
        refusedOrMade([&] {
            const auto r = eyeRequest({symbols, delay}, wave.size(), os, rate);
            if (!r) return;
            const EyeData e = eyeDiagram(wave, r->n, r->period, r->delay);
            for (int c = 0; c < (e.complex ? 2 : 1); ++c) (void)eyeDensity(wave, e, c, 64, 48);
        });
        refusedOrMade([&] {
            const auto r = scatterRequest({"1", delay}, os);
            if (!r) return;
            const ScatterData s = scatterPlot(wave, r->n, r->delay);
            (void)scatterDensity(wave, s.limit, 64, s.offset, s.n, true);
            (void)scatterDensity(wave, s.limit, 64, s.offset, s.n, false);
        });
    }
    return 0;
}
