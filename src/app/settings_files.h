#pragma once
// The frame's files: settings files (`fileParameters` = the settings record,
// `sigGenParameters` = the instrument settings), the I/O configuration file
// "rfIOConfig.mat" (`fileParameters` = the connection record) and the saved
// waveform layouts. The menus and dialogs call these; nothing here shows a
// window. Saves replace files atomically; loads change nothing unless the
// whole file is sound.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "bluetooth/settings.h"
#include "bluetooth/settings_editor.h"
#include "app/app_state.h"
#include "lib/matfile.h"
#include "lib/types.h"

namespace bt {

// A failed file action, as the frame shows it: a modal error box.
struct FileOutcome {
    bool ok = true;
    std::string title;    // "Error Saving <file>" or "Error Loading File"
    std::string message;  // "<file>\nhas an Invalid File Format." and the like
    explicit operator bool() const { return ok; }
};

inline constexpr const char* kConfigFileName = "rfIOConfig.mat";
// A Save As name starting with this prefix saves the waveform instead.
inline constexpr std::string_view kWaveformSavePrefix = "wqxnvle.";

// `name` unchanged when it is longer than `ext` and already ends with it,
// else `name` + `ext`.
std::string addFileExtention(const std::string& name, const std::string& ext);

// ---------------------------------------------------------- settings files

FileOutcome saveParameters(const std::filesystem::path& file, const Parameters& parameters,
                           const SigGenSettings& sigGen, MatCompression compression = MatCompression::Zlib);

struct LoadedSettings {
    FileOutcome outcome;
    Parameters parameters;
    SigGenSettings sigGen;
};
// Reads a settings file of any extension. The file must carry
// `expectedFormatId`; fields missing from it take their defaults, unknown
// ones are ignored, and every value must be one the editors would keep for
// the instrument in `ctx` (ProjectedLength is recomputed). A file without
// `sigGenParameters` gives the default instrument settings for its record.
LoadedSettings loadParameters(const std::filesystem::path& file, const std::string& expectedFormatId,
                              const EditContext& ctx);

// For the command line: the settings of `file`, or bt::Error with the reason
// on one line.
std::pair<Parameters, SigGenSettings> readSettingsFile(const std::filesystem::path& file, const EditContext& ctx);

// ---------------------------------------------------- I/O configuration

FileOutcome saveConfig(const Configuration& configuration, const std::filesystem::path& file = kConfigFileName);

struct LoadedConfig {
    std::optional<Configuration> configuration;  // with LastParameterFilename emptied
    std::string reason;                          // why there is none (missing or unusable file)
};
LoadedConfig loadConfig(const std::filesystem::path& file = kConfigFileName);

// ------------------------------------------------------ saved waveforms

enum class WaveformLayout {
    Ascii,            // `samples`: N x 2 real, [real part, imaginary part]
    Mat,              // `samples`: N x 1 complex
    SpecialSaveWave,  // `samplePoints`, `sampleRate`, `wave` (N x 2 real)
};
FileOutcome saveWaveform(const std::filesystem::path& file, WaveformLayout layout, const ComplexRow& waveform,
                         double sampleRate);

// What a Save As name asks for: a settings file (with the extension added)
// or, behind the prefix, a waveform file named by the rest.
struct SaveAsTarget {
    bool waveform = false;
    std::filesystem::path path;
};
SaveAsTarget classifySaveAsName(const std::filesystem::path& chosen, const std::string& extension);

// ------------------------------------------------ the frame's file actions

// File Open after the dialog: on success the settings, the instrument
// settings and LastParameterFilename change; on failure nothing does.
FileOutcome openSettingsFile(AppState& state, const std::filesystem::path& file);
// File Save / Save As with a settings file name: adds the extension, writes,
// and only then records the name as LastParameterFilename.
FileOutcome saveSettingsFile(AppState& state, const std::filesystem::path& chosen);

}  // namespace bt
