#pragma once
// Clock/gate delay calibration: sweeps the delay of the waveform's markers
// against the instrument's bit-error-rate tester and proposes the delay with
// the lowest BER. Everything here is free of any window toolkit; the window
// supplies the pauses (in which it processes user input) and redraws.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "instrument/delay_finder_config.h"
#include "instrument/instrument_settings.h"
#include "instrument/transport.h"

namespace bt {

// The record as the window opens it: -1 entries back to NaN, the delays
// snapped to the sample grid (1 / OversamplingRate), the sweep rebuilt.
DelayFinderConfig openDelayFinder(DelayFinderConfig c);
// The record as it is handed back: NaN entries of BER and MinBERDelay as -1.
DelayFinderConfig storedDelayFinder(DelayFinderConfig c);

// One edit of a field of the window. `message` is the error to show (the
// record is then unchanged); the field must show `shown` afterwards.
struct DelayEdit {
    DelayFinderConfig config;
    std::string message;  // "" when accepted
    std::string shown;    // the stored value as text
};
inline constexpr const char* kInvalidInputTitle = "Error: Invalid Input";
DelayEdit editStart(const DelayFinderConfig& c, const std::string& text);
DelayEdit editEnd(const DelayFinderConfig& c, const std::string& text);
DelayEdit editDelayStep(const DelayFinderConfig& c, const std::string& text);
DelayEdit editRepeat(const DelayFinderConfig& c, const std::string& text);
DelayEdit editTotalBits(const DelayFinderConfig& c, const std::string& text);

// The BERT's set-up, in the order it is applied.
std::vector<std::string> bertPresetCommands(const DelayFinderConfig& c);

// Applies `commands`, sending only those whose value differs from what the
// instrument reports. `oldStates` receives the reported values (one per
// command queried so far). Stops at the first failed query or send.
HwResult setStates(const Configuration& config, const std::vector<std::string>& commands,
                   std::vector<std::string>* oldStates = nullptr);
// The preset commands with the values reported before the calibration.
std::vector<std::string> restoreCommands(const std::vector<std::string>& presets,
                                         const std::vector<std::string>& oldStates);

// Per-delay statistics over the valid (>= 0) measurements; NaN when none.
struct DelayStats {
    std::vector<double> average, maximum, minimum;
};
DelayStats delayStatistics(const DelayFinderConfig& c);
// The delay with the lowest average BER (1-based index), or nothing when no
// delay has a valid measurement.
std::optional<std::size_t> bestDelayIndex(const DelayStats& s);

// What the sweep needs from the window around it.
struct SweepHooks {
    // Waits `seconds`, processing user input; returns false when the sweep
    // must stop (Stop, OK or Cancel pressed, window closing).
    std::function<bool(double seconds)> pause;
    // Called after every measurement, with the delay index (0-based).
    std::function<void(const DelayFinderConfig&, std::size_t delayIndex)> progress;
    // Shows a failure: (title, text).
    std::function<void(const std::string&, const std::string&)> report;
    double triggerPause = 0.2;  // before every trigger, seconds
    double pollPause = 1.0;     // between status polls, seconds
};
inline constexpr const char* kIoErrorTitle = "I/O Error Occured During Calibration";
inline constexpr const char* kErrorTitle = "Error Occured During Calibration";

// Rotates the stored waveform's markers by `samples` (later when positive).
HwResult rotateMarkers(const Configuration& config, const std::string& fileName, long long samples);

// One pass over the sweep points: rotates the markers to each delay,
// triggers and polls the BERT, records BER, then chooses MinBERDelay and
// rotates the markers back to where they were. `c` holds the results.
void runDelaySweep(const Configuration& config, DelayFinderConfig& c, const SweepHooks& hooks);

// The whole measurement started by the Start button: checks the sweep
// points, applies the BERT presets (change only), sweeps, restores the
// instrument's former states. Returns false when it could not start.
bool runDelayMeasurement(const Configuration& config, DelayFinderConfig& c, const SweepHooks& hooks);

// The text of a BER statistic or delay as the window shows it ("N/A" for NaN).
std::string berText(double percent);

}  // namespace bt
