#pragma once
// The sample files SDR tools read and write, named by their extension:
// .cf32/.fc32/.cfile complex float32, .cs16 complex int16, .cs8 complex
// int8, .cu8 complex unsigned 8-bit, all interleaved I/Q, little-endian,
// without markers or sample rate.
#include <filesystem>
#include <optional>
#include <string>

#include "analysis/recording.h"
#include "lib/types.h"

namespace btgen {

enum class SdrFormat { Cf32, Cs16, Cs8, Cu8 };

// The format a name (".cf32", in any case) or a --format word ("cf32")
// stands for.
std::optional<SdrFormat> sdrFormatOfExtension(const std::filesystem::path& file);
std::optional<SdrFormat> sdrFormatOfName(const std::string& name);

// The layout the recording reader reads such a file as.
bt::analysis::SampleFormat readerFormat(SdrFormat format);

// Writes the waveform atomically, scaled so that 1 is the integer formats'
// full scale (32767, 127, 127.5 about 127.5) and clipped there; throws
// bt::Error with the reason.
void writeSdrSamples(const std::filesystem::path& file, SdrFormat format, const bt::ComplexRow& waveform);

}  // namespace btgen
