#pragma once
// Editing rules of the impairment window, without the window: each entry is
// rounded and clamped the way its control keeps it, never refused, so the
// control always shows the stored value. The window's callbacks, the
// command line and the settings-file check all go through these.
#include <string>
#include <string_view>
#include <vector>

#include "bluetooth/settings.h"

namespace bt {

struct ImpairmentEdit {
    Impairments impairments;  // after the edit (unchanged when ignored)
    std::string shown;        // what the field's control shows now
    std::string ignored;      // why nothing was applied (no such list item)
    // The entry did not read as a number; the window then stores the
    // field's upper limit, as its clamping does with an empty value.
    bool unreadable = false;
};

// The window's defaults (`initImpairments`), used when it opens without a
// record. Note the ratio of 0 dB, which the first entry clamps.
Impairments initImpairments();

// Text fields: ModIndex (3 decimals, 0.25 .. 0.4), AWGNratio (10 .. 40 dB),
// AWGNseed (1 .. 65535), FreqDriftDeviation and FreqOffset (whole kHz,
// -100 .. 100), SymbolTimingError (whole ppm, -50 .. 50), GainImbalance
// (2 decimals, -6 .. 6 dB), QuadratureSkew (2 decimals, -30 .. 30 degrees),
// CarrierLeakage (1 decimal, -80 .. -10 dBc), PhaseNoiseLevel (1 decimal,
// -140 .. -60 dBc/Hz), PhaseNoiseOffset (whole kHz, 10 .. 400).
ImpairmentEdit editImpairmentText(const Impairments& imp, std::string_view field, std::string_view text);
// Check boxes: the nine ...Active fields.
ImpairmentEdit setImpairmentActive(const Impairments& imp, std::string_view field, bool on);
// The drift type list: item 1 linear ramp, 2 sinusoidal.
ImpairmentEdit selectDriftType(const Impairments& imp, int item);
// The drift rate list: item 1 1600 Hz, 2 500 Hz, 3 300 Hz, any other 1600.
ImpairmentEdit selectDriftRate(const Impairments& imp, int item);
double driftRateOfItem(int item);
int driftRateItem(double rate);  // 1600 -> 1, 500 -> 2, 300 -> 3, other -> 1

// One edit by field name, as the command line names it: flags 0/1, the
// drift type its item, the drift rate its item 1..3 or its rate 1600, 500
// or 300 Hz, text fields what a user would type. Unknown fields and
// non-numeric list values throw bt::Error.
ImpairmentEdit editImpairment(const Impairments& imp, std::string_view field, std::string_view value);
// The field names editImpairment accepts.
const std::vector<std::string>& editableImpairmentFields();
// Text a field's control shows for the stored value.
std::string impairmentDisplayText(const Impairments& imp, std::string_view field);

// Which fields take input: each value only while its impairment is on; the
// drift rate only for sinusoidal drift.
struct ImpairmentEnables {
    bool ModIndex = false;
    bool AWGNratio = false;
    bool AWGNseed = false;
    bool FreqDriftType = false;
    bool FreqDriftDeviation = false;
    bool FreqDriftRate = false;
    bool FreqOffset = false;
    bool SymbolTimingError = false;
    bool GainImbalance = false;
    bool QuadratureSkew = false;
    bool CarrierLeakage = false;
    bool PhaseNoiseLevel = false;
    bool PhaseNoiseOffset = false;
};
ImpairmentEnables impairmentEnables(const Impairments& imp);

// What the main window does when the impairment window answers "OK": the
// edited record replaces the settings' one and the instrument sample rate
// follows the symbol timing error.
void acceptImpairments(Parameters& p, SigGenSettings& sigGen, const Impairments& edited);

}  // namespace bt
