#pragma once
// Axis units and small numeric helpers shared by every plot's data.
#include <cstddef>
#include <string>
#include <vector>

namespace bt::plots {

// A unit name with the factor that converts to it: frequencies are divided
// by `factor`, times multiplied by it.
struct Unit {
    std::string name;
    double factor = 1;
    bool operator==(const Unit&) const = default;
};

// Frequency units of a rate x (Hz): "Hz", "kHz", "MHz", and "GHz" for every
// other power of a thousand, chosen by floor(log10(x) / 3).
Unit frequencyUnits(double x);
// Time units of a duration x (s): "S", "mS", "uS", "nS", and "pS" for every
// other power of a thousand.
Unit timeUnits(double x);

// Rounds to the nearest integer, halves away from zero.
double roundHalfAway(double x);

// Ticks from `first` in steps of `step` up to `last` (inclusive within
// rounding).
std::vector<double> ticksUpTo(double first, double step, double last);

}  // namespace bt::plots
