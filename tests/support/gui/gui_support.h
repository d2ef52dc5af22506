#pragma once
// Helpers for driving windows in tests.
#include <QApplication>
#include <QString>
#include <QWidget>
#include <functional>

namespace bt::test {

// Saves what a person would see of `w` as <dir>/<name>.png when
// BTGEN_SCREENSHOTS names a folder (scripts/screenshots.sh sets it);
// otherwise does nothing. Returns the path written, or "".
QString saveShot(QWidget* w, const QString& name);

// Runs `action` on the next modal dialog that opens (for example clicking
// one of its buttons) once it is shown, polling for up to `timeoutMs`.
// Call it before the code that opens the dialog.
void onNextModal(std::function<void(QWidget* dialog)> action, int timeoutMs = 5000);

// Clicks the button labelled `text` (mnemonic '&' ignored) in `dialog`;
// returns false when there is none.
bool clickButton(QWidget* dialog, const QString& text);

// Processes events until `done` holds or `timeoutMs` passes.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

}  // namespace bt::test
