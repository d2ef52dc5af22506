#pragma once
// The generated signal written to files for use outside the application:
// the instrument's raw I/Q layout with a marker file, a MAT-file, or text.
// Every file is replaced atomically and streamed from the signal as it
// stands: a 30-million-sample waveform is never copied.
#include <filesystem>
#include <optional>
#include <string_view>

#include "lib/atomic_save.h"
#include "lib/types.h"

namespace bt {

enum class SignalFormat {
    Raw,  // SaveMarrowindWaveform's layout, plus the marker file
    Mat,  // `waveform` (1 x N complex) and `markers` (2 x N), MAT-file version 5
    Csv,  // one line per sample: I,Q,marker 1,marker 2
};

// "raw", "mat" or "csv".
std::optional<SignalFormat> parseSignalFormat(std::string_view name);

// The marker file beside a raw waveform file: the same name with
// ".markers" added, one byte per sample, bit 0 marker 1 and bit 1 marker 2.
std::filesystem::path markerFilePath(const std::filesystem::path& waveformFile);

// The position (from 0) of the first sample that is not a finite number.
std::optional<std::size_t> firstNonFiniteSample(const ComplexRow& waveform);

// Writes the marker file `file` (the raw format's layout) atomically.
// Throws bt::Error with the reason when it cannot be written.
void writeMarkerFile(const std::filesystem::path& file, const Markers& markers);
// The marker file as one file of a set saved together (saveTogether); it
// refers to `markers`, which must outlive the save.
FileToSave markerFileToSave(const std::filesystem::path& file, const Markers& markers);

// Writes the signal in `format` to `file` (and its marker file for Raw, the
// two saved together). Throws bt::Error with the reason when a file cannot
// be written, or when a sample is not a finite number (before anything is
// written); a file not written is left as it was.
void writeSignal(const std::filesystem::path& file, SignalFormat format, const ComplexRow& waveform,
                 const Markers& markers);

}  // namespace bt
