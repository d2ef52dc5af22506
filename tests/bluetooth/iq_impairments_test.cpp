// I/Q modulator and oscillator impairments, measured on the generated
// signal the way a spectrum analyser would: image rejection of a tone
// against the textbook formula for gain and phase error, the leaked
// carrier's level, and the phase-noise spectrum against the single-pole
// shape. The spectra are taken here with FFTW directly.
#include <fftw3.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <vector>

#include "bluetooth/generate.h"
#include "bluetooth/iq_impairments.h"
#include "bluetooth/settings.h"

namespace bt {
namespace {

unsigned drawSeed() {
    static std::mt19937 rng(std::random_device{}());
    return rng() % 65000 + 1;
}

// Power spectrum (|X|^2 / N^2 per bin, Hann-windowed and normalised so a
// tone's bins sum to its power) averaged over the segments of `x`.
std::vector<double> powerSpectrum(const ComplexRow& x, std::size_t n) {
    std::vector<double> window(n), power(n, 0.0);
    double gain = 0;
    for (std::size_t k = 0; k < n; ++k) {
        window[k] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(k) / double(n));
        gain += window[k] * window[k];
    }
    fftw_complex* buf = fftw_alloc_complex(n);
    fftw_plan plan = fftw_plan_dft_1d(int(n), buf, buf, FFTW_FORWARD, FFTW_ESTIMATE);
    const std::size_t segments = x.size() / n;
    for (std::size_t s = 0; s < segments; ++s) {
        for (std::size_t k = 0; k < n; ++k) {
            buf[k][0] = x[s * n + k].real() * window[k];
            buf[k][1] = x[s * n + k].imag() * window[k];
        }
        fftw_execute(plan);
        for (std::size_t k = 0; k < n; ++k)
            power[k] += (buf[k][0] * buf[k][0] + buf[k][1] * buf[k][1]) / (gain * double(n) * double(segments));
    }
    fftw_destroy_plan(plan);
    fftw_free(buf);
    return power;
}

// Power within `half` bins either side of frequency f (Hz).
double powerNear(const std::vector<double>& p, double f, double rate, int half = 4) {
    const auto n = static_cast<long>(p.size());
    const long centre = std::lround(f / rate * double(n));
    double sum = 0;
    for (long k = centre - half; k <= centre + half; ++k) sum += p[std::size_t(((k % n) + n) % n)];
    return sum;
}

double dB(double x) { return 10 * std::log10(x); }

// A continuous GFSK stream of ones: a tone at +h/2 MHz.
GenerationSettings toneSettings() {
    GenerationSettings p;
    p.generationMode = 2;
    p.payloadType = 2;  // 1s
    p.patternLength = 1 << 16;
    p.patternReps = p.patternLength;
    p.OverSampling = 8;
    return p;
}

TEST(IqImpairments, ImageRejectionOfAToneFollowsGainAndPhaseError) {
    const double tone = 0.315 / 2 * 1e6, rate = 8e6;
    for (auto [gain, skew] : {std::pair{0.5, 0.0}, {0.0, 3.0}, {-1.2, -4.5}, {2.0, 10.0}}) {
        GenerationSettings p = toneSettings();
        p.impairments.GainImbalanceActive = 1;
        p.impairments.GainImbalance = gain;
        p.impairments.QuadratureSkewActive = 1;
        p.impairments.QuadratureSkew = skew;
        const std::vector<double> s = powerSpectrum(Calculate(p).waveform, 1 << 14);
        const double measured = dB(powerNear(s, tone, rate) / powerNear(s, -tone, rate));
        // Gain ratio g and phase error phi: (1 + 2g cos phi + g^2) / (1 - 2g cos phi + g^2).
        const double g = std::pow(10.0, gain / 20), c = std::cos(skew * std::numbers::pi / 180);
        const double expected = dB((1 + 2 * g * c + g * g) / (1 - 2 * g * c + g * g));
        EXPECT_NEAR(measured, expected, 0.05) << gain << " dB, " << skew << " degrees";
    }
    // Off, the image is far below any set value.
    const std::vector<double> clean = powerSpectrum(Calculate(toneSettings()).waveform, 1 << 14);
    EXPECT_GT(dB(powerNear(clean, tone, rate) / powerNear(clean, -tone, rate)), 100);
}

TEST(IqImpairments, CarrierLeakageLevelIsTheSetOne) {
    const double tone = 0.315 / 2 * 1e6, rate = 8e6;
    for (double level : {-15.0, -37.5, -60.0}) {
        GenerationSettings p = toneSettings();
        p.impairments.CarrierLeakageActive = 1;
        p.impairments.CarrierLeakage = level;
        const ComplexRow w = Calculate(p).waveform;
        const std::vector<double> s = powerSpectrum(w, 1 << 14);
        EXPECT_NEAR(dB(powerNear(s, 0, rate) / powerNear(s, tone, rate)), level, 0.05) << level;
        // Equal offsets on I and Q.
        Complex mean = 0;
        for (const Complex& z : w) mean += z;
        mean /= double(w.size());
        EXPECT_NEAR(std::arg(mean), std::numbers::pi / 4, 0.02) << level;
    }
}

TEST(IqImpairments, PhaseNoiseSpectrumIsSinglePoleThroughTheSetLevel) {
    const double rate = 10e6, offset = 100e3;
    for (double level : {-95.0, -80.0}) {
        const unsigned seed = drawSeed();
        std::printf("phase noise %g dBc/Hz, seed %u\n", level, seed);
        IqImpairmentSettings s;
        s.phaseNoiseActive = true;
        s.phaseNoiseLevel = level;
        s.phaseNoiseOffset = offset / 1e3;
        s.seed = seed;
        ComplexRow carrier(std::size_t{1} << 21, Complex(1, 0));
        IqFrontEnd(s, rate).apply(carrier, 12345);
        const std::size_t n = 1 << 12;
        const std::vector<double> p = powerSpectrum(carrier, n);
        const double bin = rate / double(n);
        for (double f : {25e3, 50e3, 100e3, 200e3, 500e3, 1000e3}) {
            // Both sidebands, averaged over +-4 bins, as dBc/Hz.
            const double measured = dB((powerNear(p, f, rate) + powerNear(p, -f, rate)) / 2 / 9 / bin);
            const double expected = level + dB(2 / (1 + (f / offset) * (f / offset)));
            EXPECT_NEAR(measured, expected, 0.6) << f << " Hz, seed " << seed;
        }
    }
}

TEST(IqImpairments, PiecesMatchTheWholeAndBurstsGetTheirOwnNoise) {
    IqImpairmentSettings s;
    s.gainImbalanceActive = s.quadratureSkewActive = s.carrierLeakageActive = s.phaseNoiseActive = true;
    s.gainImbalance = 1;
    s.quadratureSkew = 5;
    s.phaseNoiseLevel = -70;
    s.phaseNoiseOffset = 50;
    s.seed = drawSeed();
    const IqFrontEnd f(s, 4e6);
    ComplexRow whole(200000);
    for (std::size_t k = 0; k < whole.size(); ++k) whole[k] = std::polar(1.0, 0.001 * double(k));
    ComplexRow pieces = whole, other = whole;
    f.apply(whole, 70000);
    IqFrontEnd::Run run(f, 70000);
    for (std::size_t at = 0; at < pieces.size();) {  // uneven pieces across block edges
        const std::size_t count = std::min<std::size_t>(pieces.size() - at, 777 + at % 5000);
        run.apply(std::span(pieces).subspan(at, count));
        at += count;
    }
    f.apply(std::span(other).subspan(100000), 170000);  // starts mid-way, alone
    for (std::size_t k = 0; k < whole.size(); ++k) ASSERT_EQ(whole[k], pieces[k]) << k;
    for (std::size_t k = 100000; k < whole.size(); ++k) ASSERT_EQ(whole[k], other[k]) << k;
    // Elsewhere in the waveform the noise is another stretch of the process.
    ComplexRow moved(1000, Complex(1, 0)), here(1000, Complex(1, 0));
    f.apply(here, 0);
    f.apply(moved, 500000);
    EXPECT_NE(here[999], moved[999]);
}

TEST(IqImpairments, FileWithoutTheFieldsMakesTheSameWaveform) {
    // A record without the fields holds their defaults, which change nothing.
    GenerationSettings p;
    p.impairments.CarrierLeakage = -11;
    p.impairments.GainImbalance = 3;
    p.impairments.QuadratureSkew = 7;
    p.impairments.PhaseNoiseLevel = -60;
    const GeneratedSignal a = Calculate(p);
    const GeneratedSignal b = Calculate(GenerationSettings{});
    EXPECT_EQ(a.waveform, b.waveform);
    // Phase noise across the bursts of a packet sequence: every burst has
    // its own stretch of it, not the first one's again.
    GenerationSettings q;
    q.multiPacket = 1;
    q.patternLength = 3 * 27 * 8;
    q.patternReps = q.patternLength / 511;
    const GeneratedSignal clean = Calculate(q);
    q.impairments.PhaseNoiseActive = 1;
    q.impairments.PhaseNoiseLevel = -70;
    q.impairments.AWGNseed = drawSeed();
    const GeneratedSignal noisy = Calculate(q);
    ASSERT_GE(clean.packets.size(), 2u);
    const auto phaseNoiseAt = [&](std::size_t packet, std::size_t k) {
        const std::size_t at = clean.packets[packet].sampleStart + k;
        return std::arg(noisy.waveform[at] / clean.waveform[at]);
    };
    for (std::size_t k : {100u, 1000u}) {
        EXPECT_NE(phaseNoiseAt(0, k), 0.0);
        EXPECT_GT(std::fabs(phaseNoiseAt(0, k) - phaseNoiseAt(1, k)), 1e-6) << k;
    }
}

}  // namespace
}  // namespace bt
