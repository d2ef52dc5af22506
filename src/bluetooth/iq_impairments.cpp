#include "bluetooth/iq_impairments.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <vector>

#include "lib/detmath.h"
#include "lib/errors.h"

namespace bt {

namespace {

// The pole's start is forgotten to double precision once pole^n < 1e-17.
constexpr double kForgetLog = 39.2;  // -ln(1e-17)
constexpr std::size_t kMinBlock = std::size_t{1} << 14;
constexpr std::size_t kChunk = 4096;

}  // namespace

IqFrontEnd::IqFrontEnd(const IqImpairmentSettings& s, double sampleRate) {
    const double imbalance = s.gainImbalanceActive ? s.gainImbalance : 0.0;
    const double skew = s.quadratureSkewActive ? s.quadratureSkew * std::numbers::pi / 180 : 0.0;
    if (imbalance != 0 || skew != 0) {
        mixOn_ = true;
        const double gI = std::pow(10.0, imbalance / 40), gQ = 1 / gI;
        const double c = std::cos(skew / 2), sn = std::sin(skew / 2);
        iRe_ = gI * c;
        iIm_ = -gI * sn;
        qRe_ = -gQ * sn;
        qIm_ = gQ * c;
    }
    if (s.carrierLeakageActive) {
        leakOn_ = true;
        const double each = std::pow(10.0, s.carrierLeakage / 20) / std::numbers::sqrt2;
        leak_ = Complex(each, each);
    }
    if (s.phaseNoiseActive) {
        const double corner = s.phaseNoiseOffset * 1e3;
        if (!(corner > 0) || !(sampleRate > 0) || !(corner < sampleRate / 4))
            throw Error("The phase-noise offset must lie between 0 and a quarter of the sample rate.");
        noiseOn_ = true;
        const double w = 2 * std::numbers::pi * corner / sampleRate;
        pole_ = std::exp(-w);
        // The pole's spectrum, sigma^2 / (fs |1 - a e^-jw|^2) per Hz, meets
        // the set level exactly at the offset.
        const double gap = 1 - 2 * pole_ * std::cos(w) + pole_ * pole_;
        scale_ = std::sqrt(std::pow(10.0, s.phaseNoiseLevel / 10) * sampleRate * gap);
        warmUp_ = static_cast<std::size_t>(std::ceil(kForgetLog / w));
        block_ = std::bit_ceil(std::max(kMinBlock, 4 * warmUp_));
        noise_.reseed(s.seed);
    }
}

double IqFrontEnd::imageRejection() const {
    const Complex cI(iRe_, iIm_), cQ(qRe_, qIm_), j(0, 1);
    return std::norm(cI - j * cQ) / std::norm(cI + j * cQ);
}

void IqFrontEnd::apply(std::span<Complex> w, std::uint64_t position) const {
    Run run(*this, position);
    run.apply(w);
}

IqFrontEnd::Run::Run(const IqFrontEnd& frontEnd, std::uint64_t position) : f_(frontEnd), position_(position) {
    if (f_.noiseOn_) deviates_.resize(kChunk);
}

// Sample j's phase is the pole's output started from rest warmUp_ samples
// before the block holding j, so it depends on j alone, not on how the
// samples are cut into pieces.
void IqFrontEnd::Run::restart() {
    const std::uint64_t blockStart = position_ - position_ % f_.block_;
    blockEnd_ = blockStart + f_.block_;
    phi_ = 0;
    at_ = kPhaseNoiseStream + blockStart - f_.warmUp_;
    for (std::uint64_t left = position_ - blockStart + f_.warmUp_; left > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, kChunk));
        f_.noise_.fillAt(at_, deviates_.data(), n);
        for (std::size_t k = 0; k < n; ++k) phi_ = f_.pole_ * phi_ + f_.scale_ * deviates_[k];
        at_ += n;
        left -= n;
    }
}

void IqFrontEnd::Run::apply(std::span<Complex> w) {
    if (f_.mixOn_)
        for (Complex& z : w) {
            const double i = z.real(), q = z.imag();
            z = Complex(f_.iRe_ * i + f_.qRe_ * q, f_.iIm_ * i + f_.qIm_ * q);
        }
    if (f_.leakOn_)
        for (Complex& z : w) z += f_.leak_;
    if (!f_.noiseOn_) {
        position_ += w.size();
        return;
    }
    for (std::size_t done = 0; done < w.size();) {
        if (position_ >= blockEnd_) restart();
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>({blockEnd_ - position_, w.size() - done, kChunk}));
        f_.noise_.fillAt(at_, deviates_.data(), n);
        Complex* out = w.data() + done;
        for (std::size_t k = 0; k < n; ++k) {
            phi_ = f_.pole_ * phi_ + f_.scale_ * deviates_[k];
            double s, c;
            detmath::sincos(phi_, s, c);
            const double re = out[k].real(), im = out[k].imag();
            out[k] = Complex(re * c - im * s, re * s + im * c);
        }
        at_ += n;
        position_ += n;
        done += n;
    }
}

}  // namespace bt
