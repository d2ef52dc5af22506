#pragma once
// Dirty-transmitter edits from the command line, with the rules of its
// window: --set-impairment N:FIELD=VALUE for the test-set table and
// --set dt.FIELD=VALUE for the rest.
#include <iosfwd>
#include <string>

#include "bluetooth/dirty_tx_state.h"

namespace btgen {

// Applies N:FIELD=VALUE (N a set 1-10 or "all") and prints what was stored.
// A malformed edit stops with exit status 2.
void applyImpairmentEdit(bt::DirtyTxState& s, const std::string& edit, std::ostream& out);

inline bool isDtEdit(const std::string& edit) { return edit.starts_with("dt."); }

// Applies dt.FIELD=VALUE as the window's control for FIELD would and prints
// what was stored. An unknown field or an unusable value stops with exit
// status 2; so does an edit of a control the window has disabled, unless
// `keepGoing`, when it is printed as ignored. `platform` is the instrument
// generation, whose packet list lacks DH5 on an IXO-B ('b').
void applyDtEdit(bt::DirtyTxState& s, const std::string& edit, std::ostream& out, bool keepGoing, char platform);

// The dt.FIELD names, for --help.
std::string dtEditFieldsHelp();

}  // namespace btgen
