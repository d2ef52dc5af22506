#pragma once
// Phase-domain impairments of the modulator: carrier frequency offset,
// periodic frequency drift, and the end-phase correction that lets a burst
// loop without a phase step. Phases in radians; 1 Msymbol/s.
#include <cstddef>

#include "lib/types.h"

namespace bt {

inline constexpr double kSymbolRate = 1e6;  // symbols per second

struct FreqImpairmentSettings {
    bool freqDriftActive = false;
    double freqDriftDeviation = 0;  // kHz, peak
    double freqDriftType = 1;       // 1 linear ramp (sawtooth), 2 sinusoidal, other: none
    double initialDriftPhase = 0;   // degrees, sinusoidal drift
    double freqDriftRate = 1600;    // Hz: drift periods per second
    bool freqOffsetActive = false;
    double freqOffsetFreq = 0;  // kHz
};

// Extra phase that the offset and the drift add to `len` samples at
// `oversampleRate` samples per symbol.
RealRow Bt_FreqImpairments(double len, double oversampleRate, const FreqImpairmentSettings& s);
// The exported argument order; flags are true when non-zero.
RealRow Bt_FreqImpairments(double len, double oversampleRate, double freqDriftActive,
                           double freqDriftDeviation, double freqDriftType, double initialDriftPhase,
                           double freqDriftRate, double freqOffsetActive, double freqOffsetFreq);

// The phase row reduced to [0, 2*pi), with a linear ramp spread over it so
// that its last sample lands on a multiple of 2*pi and its first is kept.
RealRow Bt_PhaseCorrection(RealRow inputPhase);

// ---- Pieces shared with the modulator's fast path.

// Whether the settings make any drift (active, and type 1 or 2).
bool driftApplies(const FreqImpairmentSettings& s);

// The drift phase of one period (at most `len` samples of it): the row that
// repeats along the signal. Empty when no drift applies. Throws bt::Error
// for a drift rate that is not positive or a period under 2 samples.
RealRow driftPeriodPhase(double len, double oversampleRate, const FreqImpairmentSettings& s);

// Phase step per sample of the frequency offset (0 when inactive).
double offsetPhaseStep(double oversampleRate, const FreqImpairmentSettings& s);

// The correction that brings a row ending at `phaseEnd` to a multiple of
// 2*pi: the smaller way round for |phaseEnd| <= pi.
double phaseCorrectionAmount(double phaseEnd);

// Samples of a row of `len` (whole, non-negative) as a count.
std::size_t checkedLength(double len);

}  // namespace bt
