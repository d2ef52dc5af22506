#include "support/channel_reference.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace bt::testing {

namespace {
constexpr double kPi = std::numbers::pi;
}  // namespace

// |H(f)| of the channel filter: 1 to 0.55 MHz, a half cosine to 0 at 1 MHz.
double channelResponse(double f) {
    const double a = std::fabs(f), lo = 0.55e6, hi = 1.0e6;
    if (a <= lo) return 1;
    if (a >= hi) return 0;
    return 0.5 * (1 + std::cos(kPi * (a - lo) / (hi - lo)));
}

ChannelReference channelReference(const ComplexRow& w, int n) {
    const std::size_t len = w.size();
    const std::size_t factor = std::max<std::size_t>(1, (40 + std::size_t(n) - 1) / std::size_t(n));
    const std::size_t wide = len * factor;
    const double rate = n * 1e6;
    std::vector<fftw_complex> in(len), out(wide);
    for (std::size_t k = 0; k < len; ++k) in[k][0] = w[k].real(), in[k][1] = w[k].imag();
    fftw_plan fwd = fftw_plan_dft_1d(int(len), in.data(), in.data(), FFTW_FORWARD, FFTW_ESTIMATE);
    fftw_execute(fwd);
    fftw_destroy_plan(fwd);
    for (auto& v : out) v[0] = v[1] = 0;
    for (std::size_t k = 0; k < len; ++k) {
        const bool negative = k > len / 2;
        const double f = (negative ? double(k) - double(len) : double(k)) * rate / double(len);
        const double g = channelResponse(f) / double(len);
        const std::size_t at = negative ? wide - (len - k) : k;
        out[at][0] = in[k][0] * g, out[at][1] = in[k][1] * g;
    }
    fftw_plan back = fftw_plan_dft_1d(int(wide), out.data(), out.data(), FFTW_BACKWARD, FFTW_ESTIMATE);
    fftw_execute(back);
    fftw_destroy_plan(back);
    ChannelReference r;
    r.rate = rate * double(factor);
    r.period = double(n) * double(factor);
    r.freq.resize(wide - 1);
    for (std::size_t k = 0; k + 1 < wide; ++k) {
        const std::complex<double> a(out[k][0], out[k][1]), b(out[k + 1][0], out[k + 1][1]);
        r.freq[k] = std::arg(b * std::conj(a)) * r.rate / (2 * kPi);
    }
    return r;
}

}  // namespace bt::testing
