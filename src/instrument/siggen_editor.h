#pragma once
// Editing rules of the signal-generator panel and its advanced dialog,
// without the windows: every entry is rounded and limited the way its
// control keeps it, never refused, and the edit says what the control shows
// afterwards. The windows call these; so may the command line.
#include <string>
#include <string_view>

#include "instrument/instrument_settings.h"

namespace bt {

// The instrument generation a platform letter names: 'b' (IXO-B) or 'c'
// (IXO-C, also for any other letter).
enum class SigGenModel { IxoB, IxoC };
SigGenModel sigGenModelOf(char platform);

// A number with the unit list item it is shown in: frequency units 1 Hz,
// 2 kHz, 3 MHz, 4 GHz; sample-rate units 1 Hz, 2 kHz, 3 MHz.
struct ScaledText {
    std::string text;
    int unit = 1;
};

struct SigGenEdit {
    SigGenSettings settings;  // after the edit
    ScaledText shown;         // what the field (and its unit list) shows now
    bool unreadable = false;  // the entry did not read as a number
};

// ------------------------------------------------------------------ panel

inline constexpr double kMinFrequency = 100e3;  // Hz
inline constexpr double kMaxFrequency = 6e9;
inline constexpr double kMinAmplitude = -136;  // dBm
inline constexpr double kMaxAmplitude = 20;
inline constexpr std::size_t kMaxTitleLength = 20;

// `text` in unit item `unit` (1 Hz .. 4 GHz), limited to 100 kHz .. 6 GHz;
// text that is no number stores the upper limit.
SigGenEdit editFrequency(const SigGenSettings& s, std::string_view text, int unit);
// In the largest unit that keeps the number at or above 1.
ScaledText frequencyText(double hz);

// Whole dBm, -136 .. 20. Text that is no number keeps the stored power: a
// typing slip must never turn the output up to full power.
SigGenEdit editAmplitude(const SigGenSettings& s, std::string_view text);
std::string amplitudeText(double dBm);

// The waveform title filter: upper case; only A-Z, 0-9 and _ $ & # + - [ ]
// remain; the first 20 characters; "BLANK" when nothing is left. Every name
// that reaches the instrument's waveform memory passes through it.
std::string filterWaveformTitle(std::string_view title);
// True when `name` is not empty and each of its characters survives the
// filter (letters of either case, digits, _ $ & # + - [ ]); the length is
// not looked at.
bool passesTitleFilter(std::string_view name);
SigGenEdit editTitle(const SigGenSettings& s, std::string_view text);

// The panel's tooltips.
namespace siggen_tips {
inline constexpr const char* kFrequency =
    "Sets the carrier frequency.\nValid Range: 100 kHz - 6 GHz\n(Note: IXO option determines the\nmaximum "
    "frequency.)";
inline constexpr const char* kAmplitude =
    "Sets the output power.\nValid Range: -136 dBm to +20 dBm\n(Note: IXO option determines the\nmaximum amplitude.)";
inline constexpr const char* kWaveformTitle = "Enter the title used to store the \nwaveform in the IXO.";
inline constexpr const char* kAdvancedSettings = "Configures advanced Signal Generator options.";
}  // namespace siggen_tips

// -------------------------------------------------------- advanced dialog

double maxSamplingRate(SigGenModel model);  // 40 MHz on IXO-B, 100 MHz on IXO-C

// `text` in unit item `unit` (1 Hz, 2 kHz, 3 MHz), limited to 1 Hz .. the
// model's maximum; text that is no number stores the maximum.
SigGenEdit editSamplingRate(const SigGenSettings& s, std::string_view text, int unit, SigGenModel model);
// MHz from 1e6, kHz from 1e3, else Hz.
ScaledText samplingRateText(double hz);

// Percent, rounded to 0.01, 1 .. 100.
SigGenEdit editScaling(const SigGenSettings& s, std::string_view text);
// Whole dB, 0 .. 40.
SigGenEdit editModAtten(const SigGenSettings& s, std::string_view text);
// List items: ReconFilter 1..4, BBfilter 1..3; other items change nothing.
SigGenSettings selectReconFilter(const SigGenSettings& s, int item);
SigGenSettings selectBBfilter(const SigGenSettings& s, int item);
// The check boxes: RFblanking, ALC, ArbRefSource, MarkerPolarity. Throws
// bt::Error for any other name.
SigGenSettings setSigGenFlag(const SigGenSettings& s, std::string_view field, bool on);

// Which of the advanced dialog's controls the model has: the IXO-B has the
// reconstruction filter, the IXO-C the baseband filter, scaling and
// modulator attenuation.
struct AdvancedControls {
    bool reconFilter = false;
    bool bbFilter = false;
    bool scaling = false;
    bool modAtten = false;
};
AdvancedControls advancedControlsOf(SigGenModel model);
std::string samplingRateTooltip(SigGenModel model);

namespace siggen_tips {
inline constexpr const char* kReconFilter = "Selects the IXO reconstruction filter.";
inline constexpr const char* kBBfilter = "Selects the IXO IQ Baseband filter.";
inline constexpr const char* kScaling =
    "Sets the I & Q scaling ratio.             \nIf this value is too high, it will cause: \nError 628 Baseband "
    "Generator DAC overrange\nValid Range: 1 - 100 %";
inline constexpr const char* kModAtten = "Sets the Modulator Attenuation.\nValid Range: 0 - 40 dB";
inline constexpr const char* kRFblanking = "Toggles the state of the\nRF Blanking feature.";
inline constexpr const char* kALC = "Toggles the state of the\nAutomatic Level Control (ALC).";
inline constexpr const char* kBBrefSource =
    "Toggles the source of the ARB reference\nbetween internal and external.\n(Note: Ensure that an external "
    "reference\nis connected to the IXO before setting\nthe ARB reference source to external.)";
inline constexpr const char* kMarkerPolarity =
    "Toggles the Event markers' polarity.\n(Note: The Event 2 Marker is used by\nthe internal RF Blanking feature; "
    "using the\nopposite polarity while RF Blanking is active \nwill likely cause unexpected behavior.)";
inline constexpr const char* kOK = "Apply all changes.";
inline constexpr const char* kCancel = "Discards all changes.";
}  // namespace siggen_tips

}  // namespace bt
