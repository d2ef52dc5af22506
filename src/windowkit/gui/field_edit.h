#pragma once
// When a text field's callback runs. The toolkit reports the end of an
// entry on every focus change, also when the user only passed through the
// field; a callback run then would store what the field shows, which is not
// always the stored value ("--" for a frequency between channels). Every
// window connects its fields through here, so the rule holds for all: the
// callback runs when the user changed the text since the field was last
// taken, or pressed Return.
#include <QLineEdit>
#include <QObject>
#include <functional>

namespace bt::gui {

// Runs `callback` when the entry of `field` ends after the user edited it,
// and on every Return. The connection ends with `context`.
void onFieldEdited(QLineEdit* field, QObject* context, std::function<void()> callback);

}  // namespace bt::gui
