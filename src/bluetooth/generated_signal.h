#pragma once
// The generated signal and the inputs of the waveform builders.
#include <functional>

#include "bluetooth/modulator.h"
#include "bluetooth/packet_layout.h"
#include "lib/types.h"

namespace bt {

// Samples at OverSampling x 1e6 per second (I real, Q imaginary) and the two
// marker rows, as long as the waveform; and where its packets lie (none in
// stream mode).
struct GeneratedSignal {
    ComplexRow waveform;
    Markers markers;
    PacketLayout packets;
};

// The 24 inputs that the single- and multi-packet builders share, after the
// data bits: the packet's fields, then the modulation (whose phase
// correction the builders choose themselves).
struct PacketWaveformSettings {
    double linkType = 2;    // 1 SCO, 3 eSCO, anything else ACL
    double PacketType = 4;  // TYPE code, -1 for the ID packet
    double BDaddr = 8;
    double AMaddr = 1;
    double SeqNum = 0;  // not used by the multi-packet builder
    double ArqNum = 0;
    double scramblerActive = 0;
    double scramblerInit = 1;
    ModulatorSettings modulation;
};

// Called now and then during a long generation with the part done, 0..1,
// always on the thread that started the generation.
using GenerationProgress = std::function<void(double fraction)>;

// How a builder makes its samples.
struct BuildOptions {
    // Mirror the spectrum (negate Q) as the samples are made, sparing the
    // driver a second pass over the whole waveform.
    bool conjugate = false;
    GenerationProgress progress;
};

}  // namespace bt
