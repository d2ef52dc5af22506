#pragma once
// The about window: the application's name, revision, date and release
// notes from appInfo, over the frame window; waits until it is closed.
#include <QDialog>

#include "bluetooth/settings.h"

namespace bt::gui {

// Builds the window (not shown), for tests and screenshots.
QDialog* makeAboutWindow(const AppInfo& appInfo, QWidget* parent);
// Shows it modally and deletes it when closed.
void Ux_About(const AppInfo& appInfo, QWidget* parent);

}  // namespace bt::gui
