#pragma once
// Is a settings record one that the editors could have produced? Used on
// records that come from outside (settings files), so that a file cannot put
// a value into the generator that no control would ever let through.
//
// The main record's rules are the settings editor's own: a value is accepted
// when entering it again through its editor would keep it unchanged, so the
// clamping, rounding and coupling rules live in settings_editor.cpp only.
// The impairment record is checked the same way through the impairment
// editor. Records whose editors are other windows (dirty-transmitter
// settings, instrument settings, connection) are checked against the entry
// limits those windows apply, listed in settings_validate.cpp.
#include <optional>
#include <string>

#include "bluetooth/settings.h"
#include "bluetooth/settings_editor.h"

namespace bt {

struct FieldProblem {
    std::string field;    // full field name, e.g. "dtParameters.burstSettle"
    std::string message;  // completes "<field> ...", e.g. "is 25; the editor keeps 20."
    std::string text() const { return field + " " + message; }
};

// The first field that breaks the editors' rules, in field order, or
// nothing. The projected size is checked against the instrument in `ctx`.
std::optional<FieldProblem> findInconsistentField(const Parameters& p, const EditContext& ctx);
std::optional<FieldProblem> findInconsistentField(const SigGenSettings& s, char platform);
std::optional<FieldProblem> findInconsistentField(const Configuration& c);

}  // namespace bt
