#pragma once
// A measuring receiver's front end for tests, written apart from the
// program's: the whole row through the channel filter in the frequency
// domain (zero phase; 1 to 0.55 MHz, a half cosine to 0 at 1 MHz),
// band-limited to 40 samples a symbol or more, and a double-precision
// discriminator. The row is taken as one period of a looped waveform.
#include "lib/types.h"

namespace bt::testing {

struct ChannelReference {
    double rate = 0;    // of the filtered row, Hz
    double period = 0;  // elements per symbol
    RealRow freq;       // Hz; element k between samples k and k + 1
};

// |H(f)| of the channel filter.
double channelResponse(double f);

// `w` at n samples a symbol.
ChannelReference channelReference(const ComplexRow& w, int n);

}  // namespace bt::testing
