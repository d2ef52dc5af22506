#pragma once
// The name a waveform is stored under in the instrument. The instrument
// accepts only a short upper-case name from a small character set, so
// whatever the user types is filtered into one.
#include <string>
#include <string_view>

namespace bt {

// Upper case; only A-Z, 0-9 and _ $ & # + - [ ] kept; at most the first 20
// characters; "BLANK" when nothing is left.
std::string filterWaveformTitle(std::string_view typed);

}  // namespace bt
