#pragma once
// The clock/gate delay calibration record, which the application state
// holds between calibrations.
#include <string>
#include <vector>

namespace bt {

// The calibration record. Delays are in microseconds.
struct DelayFinderConfig {
    double Start = 0;
    double End = 2;
    double DelayStep = 0.1;
    double Repeat = 1;
    double TotalBits = 10000;
    double ClockPolarity = 2;  // 1 negative, 2 positive
    double DataPolarity = 2;
    double GatePolarity = 2;
    double GateOnOff = 2;      // 1: the clock gate is used
    double Impedance = 2;      // 1 75 ohm, 2 TTL
    double PatternIgnore = 3;  // 1 all-zero data, 2 all-one data, 3 nothing
    double BERTData = 1;       // 1 PN9, 2 PN15
    std::vector<double> Delay;  // the sweep points Start:DelayStep:End
    // BER in percent: BER[r][i] for repetition r and delay i; NaN = not measured.
    std::vector<std::vector<double>> BER;
    double MinBERDelay;  // NaN: none chosen
    double CurSelDelayIdx = 1;
    std::string FileName = "BT";
    double OversamplingRate = 10;
    double CurrentCGDelay = 0;

    DelayFinderConfig();
};

// Start:Step:End as the colon operator builds it (nothing when End < Start).
std::vector<double> delayPoints(double start, double step, double end);

// Delay and an all-NaN BER table rebuilt from Start, DelayStep, End, Repeat.
void rebuildSweep(DelayFinderConfig& c);

}  // namespace bt
