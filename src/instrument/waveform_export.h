#pragma once
// Raw I/Q waveform files as the IXO-C generation loads them as segments:
// interleaved 16-bit two's-complement I and Q, most significant byte first,
// no header.
#include <span>
#include <string>

#include "lib/types.h"
#include "lib/value.h"

namespace bt {

// The factor that scales `v` so that its largest component is `scale` x
// 32766 (`scale` limited to 1e-05 .. 1); 1 for an all-zero waveform.
double exportGain(std::span<const Complex> v, double scale = 1);

// Writes `v` scaled so that its largest component is `scale` x 32766
// (`scale` limited to 1e-05 .. 1). Returns 1 when the file was written,
// 0 otherwise. The file is streamed in chunks: no copy of the waveform.
int SaveMarrowindWaveform(std::span<const Complex> v, const std::string& filename = "IXO-C", double scale = 1);

// Positional form: (v), (v, filename) or (v, filename, scale); any other
// count of arguments writes nothing and returns 0.
int SaveMarrowindWaveform(std::span<const Value> args);

}  // namespace bt
